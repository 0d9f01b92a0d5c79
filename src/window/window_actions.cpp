// SPDX-License-Identifier: GPL-3.0-or-later
// The document window's own actions ("win."); their shortcuts are set with the application's.
#include <gtk/gtk.h>

#include "preferences/preferences_controller.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

void WindowController::installActions() {
  static const GActionEntry entries[] = {
      {"open-in-editor",
       +[](GSimpleAction*, GVariant*, gpointer window) {
         if (auto self = WindowController::fromWindow(GTK_WINDOW(window))) self->openInEditor();
       },
       nullptr, nullptr, nullptr, {}},
      {"close", +[](GSimpleAction*, GVariant*, gpointer window) { gtk_window_close(GTK_WINDOW(window)); }, nullptr,
       nullptr, nullptr, {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(window_), entries, G_N_ELEMENTS(entries), window_);
  updateEditorAction();
  // Editors come and go with packages; the monitor reports each change of the installed ones.
  appInfoMonitor_ = GObjectPtr<GAppInfoMonitor>(g_app_info_monitor_get());
  g_signal_connect_object(appInfoMonitor_.get(), "changed", G_CALLBACK(+[](GAppInfoMonitor*, gpointer window) {
                            if (auto self = WindowController::fromWindow(GTK_WINDOW(window))) self->updateEditorAction();
                          }),
                          window_, G_CONNECT_DEFAULT);
}

void WindowController::updateEditorAction() {
  auto* action = g_action_map_lookup_action(G_ACTION_MAP(window_), "open-in-editor");
  g_simple_action_set_enabled(G_SIMPLE_ACTION(action), !PreferencesController(settings_).editors().empty());
}

}  // namespace fennelview
