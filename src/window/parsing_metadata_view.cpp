// SPDX-License-Identifier: GPL-3.0-or-later
#include "parsing_metadata_view.hpp"

#include <utility>

namespace fennelview {

namespace {
constexpr auto kCompilingDelay = 150;  // ms
}

ParsingMetadataView::ParsingMetadataView(GtkLabel* label, GtkSpinner* spinner)
    : label_(GObjectPtr<GtkLabel>::retain(label)), spinner_(spinner) {}

ParsingMetadataView::~ParsingMetadataView() { stop(); }

std::string ParsingMetadataView::labelText(const std::string& compilerName,
                                           const std::optional<std::string>& durationString) {
  if (!durationString) return "Compiling\u2026";
  return (compilerName.empty() ? "" : compilerName + " ") + "\U0001F552 " + *durationString;
}

std::string ParsingMetadataView::failureText(const std::string& compilerName,
                                             const std::optional<std::string>& failedAfter) {
  const std::string failed = failedAfter ? "failed after " + *failedAfter : "failed";
  return compilerName.empty() ? failed : compilerName + " \u00B7 " + failed;
}

std::string ParsingMetadataView::text() const { return gtk_label_get_text(label_.get()); }

void ParsingMetadataView::setCompiling(bool compiling) {
  // The result has no time for a failed compile; the header measures it from here.
  if (compiling && !compiling_) compileStart_ = g_get_monotonic_time();
  if (!compiling && compiling_ && compileStart_) {
    lastCompileSeconds_ = static_cast<double>(g_get_monotonic_time() - compileStart_) / G_USEC_PER_SEC;
  }
  compiling_ = compiling;
  if (stopped_) return;
  if (compilingTimer_) g_source_remove(std::exchange(compilingTimer_, 0));
  if (!compiling) {
    gtk_spinner_stop(spinner_);
    gtk_widget_set_visible(GTK_WIDGET(spinner_), FALSE);
    if (shown_) gtk_label_set_text(label_.get(), shown_->c_str());
    return;
  }
  compilingTimer_ = g_timeout_add_full(
      G_PRIORITY_DEFAULT, kCompilingDelay,
      +[](gpointer data) -> gboolean {
        auto* self = static_cast<ParsingMetadataView*>(data);
        self->compilingTimer_ = 0;
        self->showCompilingNow();
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

void ParsingMetadataView::show(const RenderPresenter& model) {
  if (model.isFailure()) {
    // The result may come just before the compile is reported ended.
    auto seconds = lastCompileSeconds_;
    if (!seconds && compiling_ && compileStart_) {
      seconds = static_cast<double>(g_get_monotonic_time() - compileStart_) / G_USEC_PER_SEC;
    }
    std::optional<std::string> took;
    if (seconds) took = formatter_.stringFromDuration(*seconds);
    shown_ = failureText(model.compilerName(), took);
  } else {
    shown_ = labelText(model.compilerName(), model.durationString());
  }
  lastCompileSeconds_.reset();
  if (stopped_) return;
  // A compile under way keeps saying so; its end writes the text.
  if (compiling_ && gtk_widget_get_visible(GTK_WIDGET(spinner_))) return;
  gtk_label_set_text(label_.get(), shown_->c_str());
}

void ParsingMetadataView::stop() {
  stopped_ = true;
  if (compilingTimer_) g_source_remove(std::exchange(compilingTimer_, 0));
}

void ParsingMetadataView::showCompilingNow() {
  gtk_widget_set_visible(GTK_WIDGET(spinner_), TRUE);
  gtk_spinner_start(spinner_);
  gtk_label_set_text(label_.get(), labelText({}, std::nullopt).c_str());
}

}  // namespace fennelview
