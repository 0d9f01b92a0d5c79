// SPDX-License-Identifier: GPL-3.0-or-later
// The document window's actions ("win.") and their shortcuts: here and nowhere else.
#include <gtk/gtk.h>

#include "preferences/preferences_controller.hpp"
#include "window/document_window.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

namespace {

struct Shortcut {
  const char* action;
  const char* keys[4];
};
// Application shortcuts are taken before the web view sees the keys, which would otherwise keep
// Ctrl+F and the zoom keys; menus and the Keyboard Shortcuts window show them from this list.
constexpr Shortcut kShortcuts[] = {
    {"win.new-window", {"<Control><Shift>n", nullptr}},
    {"win.open-in-editor", {"<Control>e", nullptr}},
    {"win.close", {"<Control>w", nullptr}},
    {"win.find", {"<Control>f", nullptr}},
    {"win.zoom-in", {"<Control>plus", "<Control>equal", "<Control>KP_Add", nullptr}},
    {"win.zoom-out", {"<Control>minus", "<Control>KP_Subtract", nullptr}},
    {"win.zoom-reset", {"<Control>0", "<Control>KP_0", nullptr}},
};

WindowController* controllerOf(GtkWidget* widget) {
  return documentWindowController(FENNELVIEW_DOCUMENT_WINDOW(widget)).get();
}

void withController(GtkWidget* widget, void (*act)(WindowController&)) {
  if (auto* controller = controllerOf(widget)) act(*controller);
}

}  // namespace

void installWindowActions(GtkWidgetClass* windowClass) {
  gtk_widget_class_install_action(windowClass, "win.open-in-editor", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.openInEditor(); });
  });
  gtk_widget_class_install_action(windowClass, "win.new-window", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.openNewWindow(); });
  });
  gtk_widget_class_install_action(windowClass, "win.close", nullptr,
                                  [](GtkWidget* w, const char*, GVariant*) { gtk_window_close(GTK_WINDOW(w)); });
  gtk_widget_class_install_property_action(windowClass, "win.show-css", "show-css");
  gtk_widget_class_install_property_action(windowClass, "win.preview-width", "preview-width");
  gtk_widget_class_install_action(windowClass, "win.find", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    g_object_set(w, "show-css", TRUE, nullptr);
    withController(w, [](WindowController& c) { c.renderViewController().find(); });
  });
  gtk_widget_class_install_action(windowClass, "win.zoom-in", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.renderViewController().pageSize().zoom(1); });
  });
  gtk_widget_class_install_action(windowClass, "win.zoom-out", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.renderViewController().pageSize().zoom(-1); });
  });
  gtk_widget_class_install_action(windowClass, "win.zoom-reset", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.renderViewController().pageSize().zoom(0); });
  });
}

void registerWindowShortcuts(GtkApplication* application) {
  for (const auto& shortcut : kShortcuts) gtk_application_set_accels_for_action(application, shortcut.action, shortcut.keys);
}

void WindowController::updateEditorAction() {
  canOpenInEditor_ = !PreferencesController(userDefaults_).editors().empty();
  gtk_widget_action_set_enabled(GTK_WIDGET(window_), "win.open-in-editor", canOpenInEditor_);
}

}  // namespace fennelview
