// The document window's own actions ("win."); their shortcuts are set with the application's.
#include <gtk/gtk.h>

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
}

}  // namespace fennelview
