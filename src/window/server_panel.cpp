// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/server_panel.hpp"

#include "window/error_panel.hpp"
#include "window/window_resources.hpp"

struct _FennelviewServerPanel {
  GtkBox parent_instance;
  GtkLabel* message_label;
  GtkButton* continue_button;
};

G_DEFINE_FINAL_TYPE(FennelviewServerPanel, fennelview_server_panel, GTK_TYPE_BOX)

static void fennelview_server_panel_init(FennelviewServerPanel* self) { gtk_widget_init_template(GTK_WIDGET(self)); }

static void fennelview_server_panel_dispose(GObject* object) {
  gtk_widget_dispose_template(GTK_WIDGET(object), FENNELVIEW_TYPE_SERVER_PANEL);
  G_OBJECT_CLASS(fennelview_server_panel_parent_class)->dispose(object);
}

static void fennelview_server_panel_class_init(FennelviewServerPanelClass* klass) {
  fennelview::registerWindowResources();
  G_OBJECT_CLASS(klass)->dispose = fennelview_server_panel_dispose;
  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/server_panel.ui");
  gtk_widget_class_set_accessible_role(widgetClass, GTK_ACCESSIBLE_ROLE_ALERT);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewServerPanel, message_label);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewServerPanel, continue_button);
}

namespace fennelview {

GtkWidget* serverPanelNew() { return GTK_WIDGET(g_object_new(FENNELVIEW_TYPE_SERVER_PANEL, nullptr)); }

void showServerProblem(FennelviewServerPanel* panel, const std::string& text, bool canTrust) {
  if (shownServerProblem(panel) == text) return;  // retries say it again: no new announcement
  announce(GTK_WIDGET(panel), text);
  gtk_label_set_text(panel->message_label, text.c_str());
  gtk_widget_set_visible(GTK_WIDGET(panel->continue_button), canTrust);
}

std::string shownServerProblem(FennelviewServerPanel* panel) {
  return gtk_widget_get_visible(GTK_WIDGET(panel)) ? gtk_label_get_text(panel->message_label) : std::string();
}

}  // namespace fennelview
