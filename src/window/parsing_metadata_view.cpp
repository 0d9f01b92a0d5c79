// SPDX-License-Identifier: GPL-3.0-or-later
#include "parsing_metadata_view.hpp"

#include <glib/gi18n.h>

#include <chrono>
#include <utility>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {
constexpr std::chrono::milliseconds kCompilingDelay{150};
}

ParsingMetadataView::ParsingMetadataView(GtkLabel* label, GtkSpinner* spinner)
    : label_(GObjectPtr<GtkLabel>::retain(label)), spinner_(spinner) {}

ParsingMetadataView::~ParsingMetadataView() { stop(); }

std::string ParsingMetadataView::labelText(const std::string& compilerName,
                                           const std::optional<std::string>& durationString) {
  if (!durationString) return _("Compiling\u2026");
  /* Translators: the header after a compile: %1$s is the compile time, such as "12ms". */
  if (compilerName.empty()) return GCharPtr(g_strdup_printf(_("\U0001F552 %1$s"), durationString->c_str())).get();
  /* Translators: the header after a compile: %1$s is the compiler, such as "LibSass 3.6.5", %2$s the compile time. */
  return GCharPtr(g_strdup_printf(_("%1$s \U0001F552 %2$s"), compilerName.c_str(), durationString->c_str())).get();
}

std::string ParsingMetadataView::failureText(const std::string& compilerName,
                                             const std::optional<std::string>& failedAfter) {
  GCharPtr text;
  if (compilerName.empty()) {
    /* Translators: the header when a compile failed; %1$s is how long it ran, such as "12ms". */
    text.reset(failedAfter ? g_strdup_printf(_("failed after %1$s"), failedAfter->c_str()) : g_strdup(_("failed")));
  } else if (failedAfter) {
    /* Translators: the header when a compile failed: %1$s is the compiler, %2$s how long it ran. */
    text.reset(g_strdup_printf(_("%1$s \u00B7 failed after %2$s"), compilerName.c_str(), failedAfter->c_str()));
  } else {
    /* Translators: the header when a compile failed; %1$s is the compiler, such as "Dart Sass 1.69.5". */
    text.reset(g_strdup_printf(_("%1$s \u00B7 failed"), compilerName.c_str()));
  }
  return text.get();
}

std::string ParsingMetadataView::text() const { return gtk_label_get_text(label_.get()); }

void ParsingMetadataView::setCompiling(bool compiling) {
  compiling_ = compiling;
  if (stopped_) return;
  compilingTimer_.reset();
  if (!compiling) {
    gtk_spinner_stop(spinner_);
    gtk_widget_set_visible(GTK_WIDGET(spinner_), FALSE);
    if (shown_) gtk_label_set_text(label_.get(), shown_->c_str());
    return;
  }
  compilingTimer_ = MainLoopSource::after(kCompilingDelay, [this] { showCompilingNow(); });
}

void ParsingMetadataView::show(const RenderPresenter& model) {
  if (model.isFailure()) {
    std::optional<std::string> took;
    if (const auto seconds = model.compileSeconds()) took = formatter_.stringFromDuration(*seconds);
    shown_ = failureText(model.compilerName(), took);
  } else {
    shown_ = labelText(model.compilerName(), model.durationString());
  }
  if (stopped_) return;
  // A compile under way keeps saying so; its end writes the text.
  if (compiling_ && gtk_widget_get_visible(GTK_WIDGET(spinner_))) return;
  gtk_label_set_text(label_.get(), shown_->c_str());
}

void ParsingMetadataView::stop() {
  stopped_ = true;
  compilingTimer_.reset();
}

void ParsingMetadataView::showCompilingNow() {
  gtk_widget_set_visible(GTK_WIDGET(spinner_), TRUE);
  gtk_spinner_start(spinner_);
  gtk_label_set_text(label_.get(), labelText({}, std::nullopt).c_str());
}

void ParsingMetadataView::setNote(const std::string& note) {
  gtk_widget_set_tooltip_text(GTK_WIDGET(label_.get()), note.empty() ? nullptr : note.c_str());
}

}  // namespace fennelview
