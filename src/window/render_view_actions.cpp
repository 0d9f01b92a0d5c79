// SPDX-License-Identifier: GPL-3.0-or-later
// The render view's own actions ("win."), with their shortcuts: the page's width and zoom,
// the CSS toggle and its search.
#include <gtk/gtk.h>

#include "window/render_view_controller.hpp"

namespace fennelview {

void RenderViewController::installActions(GtkWindow* window) {
  const GActionEntry entries[] = {
      {"show-css", nullptr, nullptr, "false",
       +[](GSimpleAction* action, GVariant* state, gpointer data) {
         g_simple_action_set_state(action, state);
         static_cast<RenderViewController*>(data)->showCSS(g_variant_get_boolean(state));
       },
       {}},
      {"find",
       +[](GSimpleAction*, GVariant*, gpointer data) {
         auto* view = static_cast<RenderViewController*>(data);
         g_action_group_change_action_state(G_ACTION_GROUP(view->window_), "show-css", g_variant_new_boolean(TRUE));
         view->cssView().toggleSearch();
       },
       nullptr, nullptr, nullptr, {}},
      {"preview-width", nullptr, "s", "'fill'",
       +[](GSimpleAction*, GVariant* preset, gpointer data) {
         static_cast<RenderViewController*>(data)->setPreviewWidth(g_variant_get_string(preset, nullptr));
       },
       {}},
      {"zoom-in", +[](GSimpleAction*, GVariant*, gpointer data) { static_cast<RenderViewController*>(data)->zoom(1); },
       nullptr, nullptr, nullptr, {}},
      {"zoom-out", +[](GSimpleAction*, GVariant*, gpointer data) { static_cast<RenderViewController*>(data)->zoom(-1); },
       nullptr, nullptr, nullptr, {}},
      {"zoom-reset", +[](GSimpleAction*, GVariant*, gpointer data) { static_cast<RenderViewController*>(data)->zoom(0); },
       nullptr, nullptr, nullptr, {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(window), entries, G_N_ELEMENTS(entries), this);

  // Taken before the web view sees the keys, which would otherwise keep Ctrl+F and the zoom keys.
  auto* shortcuts = gtk_shortcut_controller_new();
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(shortcuts), GTK_PHASE_CAPTURE);
  const std::pair<const char*, const char*> bindings[] = {
      {"<Control>plus|<Control>equal|<Control>KP_Add", "win.zoom-in"},
      {"<Control>minus|<Control>KP_Subtract", "win.zoom-out"},
      {"<Control>0|<Control>KP_0", "win.zoom-reset"},
      {"<Control>f", "win.find"},
  };
  for (const auto& [trigger, action] : bindings) {
    gtk_shortcut_controller_add_shortcut(GTK_SHORTCUT_CONTROLLER(shortcuts),
                                         gtk_shortcut_new(gtk_shortcut_trigger_parse_string(trigger),
                                                          gtk_named_action_new(action)));
  }
  gtk_widget_add_controller(GTK_WIDGET(window), shortcuts);
}

}  // namespace fennelview
