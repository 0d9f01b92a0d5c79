// SPDX-License-Identifier: GPL-3.0-or-later
#include "warnings_view.hpp"

#include <glib/gi18n.h>

#include <string>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

constexpr int kColumns = 80;

GtkWidget* row(const std::string& text) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  // A width of its own: a wrapping label in a popover otherwise shrinks to a few characters.
  gtk_label_set_width_chars(GTK_LABEL(label), kColumns);
  gtk_label_set_max_width_chars(GTK_LABEL(label), kColumns);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_widget_add_css_class(label, "monospace");
  gtk_widget_set_margin_top(label, 6);
  gtk_widget_set_margin_bottom(label, 6);
  gtk_widget_set_margin_start(label, 6);
  gtk_widget_set_margin_end(label, 6);
  return label;
}

}  // namespace

void WarningsView::show(const CompilerWarnings& warnings) {
  gtk_widget_set_visible(button_, warnings.total > 0);
  while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(list_))) gtk_list_box_remove(list_, child);
  if (warnings.total == 0) return;
  const auto total = static_cast<unsigned long>(warnings.total);
  gtk_label_set_text(count_, std::to_string(warnings.total).c_str());
  // The bare number is read with what it counts.
  GCharPtr counted(g_strdup_printf(ngettext("%lu warning", "%lu warnings", total), total));
  gtk_accessible_update_property(GTK_ACCESSIBLE(count_), GTK_ACCESSIBLE_PROPERTY_LABEL, counted.get(), -1);
  gtk_accessible_update_property(GTK_ACCESSIBLE(button_), GTK_ACCESSIBLE_PROPERTY_LABEL, counted.get(), -1);
  for (const auto& group : warnings.groups) {
    std::string text = group.text;
    if (group.count > 1) {
      /* Translators: a warning the compiler gave %1$lu times; %2$s is its text. */
      GCharPtr times(g_strdup_printf(_("%1$lu\u00D7 %2$s"), static_cast<unsigned long>(group.count), group.text.c_str()));
      text = times.get();
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    gtk_list_box_append(list_, row(text));
  }
  if (warnings.hiddenGroups > 0) {
    const auto hidden = static_cast<unsigned long>(warnings.hiddenGroups);
    GCharPtr more(g_strdup_printf(ngettext("\u2026and %lu more kind of warning.", "\u2026and %lu more kinds of warning.", hidden), hidden));
    gtk_list_box_append(list_, row(more.get()));
  }
}

}  // namespace fennelview
