// SPDX-License-Identifier: GPL-3.0-or-later
// The application's actions ("app.") and their shortcuts; the windows' own are in window_actions.cpp.
#include <gtk/gtk.h>

#include "app/app_delegate.hpp"
#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "window/document_window.hpp"

namespace fennelview {

namespace {

AppDelegate& delegateOf(gpointer data) { return *static_cast<AppDelegate*>(data); }

struct Accelerator {
  const char* action;
  const char* keys;
};
constexpr Accelerator accelerators[] = {
    {"app.open", "<Control>o"},
    {"app.preferences", "<Control>comma"},
    {"app.quit", "<Control>q"},
};

}  // namespace

void AppDelegate::installActions() {
  static const GActionEntry entries[] = {
      {"open", +[](GSimpleAction*, GVariant*, gpointer d) { delegateOf(d).showOpenDialog(delegateOf(d).activeWindow()); },
       nullptr, nullptr, nullptr, {}},
      {"preferences",
       +[](GSimpleAction*, GVariant*, gpointer d) { delegateOf(d).showPreferences(delegateOf(d).activeWindow()); },
       nullptr, nullptr, nullptr, {}},
      {"contact-support", +[](GSimpleAction*, GVariant*, gpointer d) { delegateOf(d).contactSupport(); }, nullptr,
       nullptr, nullptr, {}},
      {"about", +[](GSimpleAction*, GVariant*, gpointer d) { delegateOf(d).showAbout(delegateOf(d).activeWindow()); },
       nullptr, nullptr, nullptr, {}},
      {"quit", +[](GSimpleAction*, GVariant*, gpointer d) { delegateOf(d).quit(); }, nullptr, nullptr, nullptr, {}},
      // A second document on a file that is open already, on purpose (a window's New Window).
      {"new-window",
       +[](GSimpleAction*, GVariant* uri, gpointer d) {
         GObjectPtr<GFile> file(g_file_new_for_uri(g_variant_get_string(uri, nullptr)));
         DocumentController::openDocument(file.get(), delegateOf(d).application(), UserDefaults::standard(),
                                          DocumentController::Reuse::never);
       },
       "s", nullptr, nullptr, {}},
  };
  g_action_map_add_action_entries(G_ACTION_MAP(application_.get()), entries, G_N_ELEMENTS(entries), this);
  for (const auto& [action, keys] : accelerators) {
    const char* list[] = {keys, nullptr};
    gtk_application_set_accels_for_action(application_.get(), action, list);
  }
  registerWindowShortcuts(application_.get());
  updateSupportAction();
  // A mail program may be installed or removed while the app runs.
  appInfoMonitor_ = GObjectPtr<GAppInfoMonitor>(g_app_info_monitor_get());
  g_signal_connect_swapped(appInfoMonitor_.get(), "changed", G_CALLBACK(+[](AppDelegate* self) {
                             self->updateSupportAction();
                           }),
                           this);
}

void AppDelegate::updateSupportAction() {
  auto* action = g_action_map_lookup_action(G_ACTION_MAP(application_.get()), "contact-support");
  g_simple_action_set_enabled(G_SIMPLE_ACTION(action), SupportController::canSendMail());
}

}  // namespace fennelview
