// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/error_panel.hpp"

#include "window/window_resources.hpp"

struct _FennelviewErrorPanel {
  GtkBox parent_instance;
  GtkButton* place_button;
  GtkLabel* error_label;
};

G_DEFINE_FINAL_TYPE(FennelviewErrorPanel, fennelview_error_panel, GTK_TYPE_BOX)

static void fennelview_error_panel_init(FennelviewErrorPanel* self) { gtk_widget_init_template(GTK_WIDGET(self)); }

static void fennelview_error_panel_dispose(GObject* object) {
  gtk_widget_dispose_template(GTK_WIDGET(object), FENNELVIEW_TYPE_ERROR_PANEL);
  G_OBJECT_CLASS(fennelview_error_panel_parent_class)->dispose(object);
}

static void fennelview_error_panel_class_init(FennelviewErrorPanelClass* klass) {
  fennelview::registerWindowResources();
  G_OBJECT_CLASS(klass)->dispose = fennelview_error_panel_dispose;
  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/error_panel.ui");
  gtk_widget_class_set_accessible_role(widgetClass, GTK_ACCESSIBLE_ROLE_ALERT);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewErrorPanel, place_button);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewErrorPanel, error_label);
}

namespace fennelview {

GtkWidget* errorPanelNew() { return GTK_WIDGET(g_object_new(FENNELVIEW_TYPE_ERROR_PANEL, nullptr)); }

void showError(FennelviewErrorPanel* panel, const std::string& text, const std::string& place) {
  announce(GTK_WIDGET(panel), text.substr(0, text.find('\n')));
  if (text.empty()) return;
  gtk_button_set_label(panel->place_button, place.c_str());
  gtk_widget_set_visible(GTK_WIDGET(panel->place_button), !place.empty());
  gtk_label_set_text(panel->error_label, text.c_str());
}

std::string shownError(FennelviewErrorPanel* panel) {
  return gtk_widget_get_visible(GTK_WIDGET(panel)) ? gtk_label_get_text(panel->error_label) : std::string();
}

void announce(GtkWidget* alert, const std::string& text) {
  // A hidden widget that appears is not heard, a new name on a shown one is: in a revealer the
  // alert stays in the tree, folded away while there is nothing to say. Shown first, since only
  // a shown alert's new name is sent.
  if (auto* revealer = gtk_widget_get_parent(alert); GTK_IS_REVEALER(revealer)) {
    gtk_revealer_set_reveal_child(GTK_REVEALER(revealer), !text.empty());
  } else {
    gtk_widget_set_visible(alert, !text.empty());
  }
  gtk_accessible_update_property(GTK_ACCESSIBLE(alert), GTK_ACCESSIBLE_PROPERTY_LABEL, text.c_str(), -1);
}

}  // namespace fennelview
