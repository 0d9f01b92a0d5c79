// SPDX-License-Identifier: GPL-3.0-or-later
// The document window's actions ("win.") and their shortcuts: here and nowhere else.
#include <gtk/gtk.h>

#include "preferences/preferences_controller.hpp"
#include "window/browser_share.hpp"
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
    {"win.show-css", {"<Control>u", nullptr}},
    {"win.show-warnings", {"F8", nullptr}},
    {"win.show-view-menu", {"F9", nullptr}},
    {"win.preview-width::phone", {"<Control>1", nullptr}},
    {"win.preview-width::tablet", {"<Control>2", nullptr}},
    {"win.preview-width::desktop", {"<Control>3", nullptr}},
    {"win.preview-width::fill", {"<Control>4", nullptr}},
    {"panes.side-by-side", {"<Control><Shift>m", nullptr}},
    // The web view keeps Tab to itself; F6 takes focus between the page and the header.
    {"win.cycle-focus", {"F6", "<Shift>F6", nullptr}},
    {"win.pick-element", {"<Control><Shift>c", nullptr}},
    {"win.show-inspector", {"<Control><Shift>i", nullptr}},
    // As a browser's address bar.
    {"page.server-address", {"<Control>l", nullptr}},
    {"win.open-in-browser", {"<Control><Shift>b", nullptr}},
    // Saving the compiled CSS.
    {"win.save-css", {"<Control>s", nullptr}},
    {"win.save-css-as", {"<Control><Shift>s", nullptr}},
};

WindowController* controllerOf(GtkWidget* widget) {
  return documentWindowController(FENNELVIEW_DOCUMENT_WINDOW(widget)).get();
}

void withController(GtkWidget* widget, void (*act)(WindowController&)) {
  if (auto* controller = controllerOf(widget)) act(*controller);
}

void popup(GtkWidget* window, const char* name) {
  auto* button = documentWindowHeaderChild(FENNELVIEW_DOCUMENT_WINDOW(window), name);
  if (button && gtk_widget_get_visible(button)) gtk_menu_button_popup(GTK_MENU_BUTTON(button));
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
  gtk_widget_class_install_action(windowClass, "win.show-warnings", nullptr,
                                  [](GtkWidget* w, const char*, GVariant*) { popup(w, "warnings_button"); });
  gtk_widget_class_install_action(windowClass, "win.show-view-menu", nullptr,
                                  [](GtkWidget* w, const char*, GVariant*) { popup(w, "view_menu_button"); });
  gtk_widget_class_install_action(windowClass, "win.cycle-focus", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    auto* header = documentWindowHeaderChild(FENNELVIEW_DOCUMENT_WINDOW(w), "header_view");
    auto* focus = gtk_root_get_focus(GTK_ROOT(w));
    if (header && (!focus || !gtk_widget_is_ancestor(focus, header))) {
      gtk_widget_child_focus(header, GTK_DIR_TAB_FORWARD);
    } else if (auto* controller = controllerOf(w)) {
      controller->renderViewController().focusContent();
    }
  });
  gtk_widget_class_install_property_action(windowClass, "win.pick-element", "picking");
  gtk_widget_class_install_action(windowClass, "win.zoom-in", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.renderViewController().pageSize().zoom(1); });
  });
  gtk_widget_class_install_action(windowClass, "win.zoom-out", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.renderViewController().pageSize().zoom(-1); });
  });
  // Saving the compiled CSS.
  gtk_widget_class_install_action(windowClass, "win.save-css", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.saveCss(); });
  });
  gtk_widget_class_install_action(windowClass, "win.save-css-as", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.saveCssAs(); });
  });
  gtk_widget_class_install_property_action(windowClass, "win.write-css-on-save", "write-css-on-save");
  gtk_widget_class_install_action(windowClass, "win.zoom-reset", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.renderViewController().pageSize().zoom(0); });
  });
  // The page in any browser, live.
  gtk_widget_class_install_action(windowClass, "win.open-in-browser", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.browserShare().open(); });
  });
  gtk_widget_class_install_action(windowClass, "win.copy-browser-address", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) { c.browserShare().copyAddress(); });
  });
  gtk_widget_class_install_property_action(windowClass, "win.allow-other-devices", "allow-other-devices");
  // WebKit's own inspector for the preview; on an own page its styles name the Sass files.
  gtk_widget_class_install_action(windowClass, "win.show-inspector", nullptr, [](GtkWidget* w, const char*, GVariant*) {
    withController(w, [](WindowController& c) {
      webkit_web_inspector_show(webkit_web_view_get_inspector(c.renderViewController().webView()));
    });
  });
}

void registerWindowShortcuts(GtkApplication* application) {
  for (const auto& shortcut : kShortcuts) gtk_application_set_accels_for_action(application, shortcut.action, shortcut.keys);
}

void WindowController::updateEditorAction() {
  canOpenInEditor_ = !PreferencesController(settings_).editors().empty();
  gtk_widget_action_set_enabled(GTK_WIDGET(window_), "win.open-in-editor", canOpenInEditor_);
}

}  // namespace fennelview
