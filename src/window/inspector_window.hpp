// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "common/glib_ptr.hpp"

namespace fennelview {

// Hosts a view's Web Inspector, when detached, in a window of the app's own titled by `title`:
// WebKit's own window shows the page's origin, a random host that must stay unguessable.
// Attaching, detaching and closing, from the inspector or the window, stay WebKit's.
class InspectorWindow {
 public:
  InspectorWindow(WebKitWebView* inspected, std::function<std::string()> title);
  ~InspectorWindow();
  InspectorWindow(const InspectorWindow&) = delete;
  InspectorWindow& operator=(const InspectorWindow&) = delete;

  // Closes the inspector, as its inspected view's window goes.
  void close();
  // Told each time the inspector opens, in a window or attached, and when it closes. Other
  // handlers of WebKit's "open-window" never run once this one has shown the window.
  void setOpenChanged(std::function<void(bool)> openChanged) { openChanged_ = std::move(openChanged); }

 private:
  static gboolean openWindow(WebKitWebInspector* inspector, InspectorWindow* self);
  static gboolean bringToFront(WebKitWebInspector* inspector, InspectorWindow* self);
  static gboolean attach(WebKitWebInspector* inspector, InspectorWindow* self);
  static void closed(WebKitWebInspector* inspector, InspectorWindow* self);
  // Destroys the window; the inspector's view goes with it unless it was taken out first.
  void destroyWindow(bool keepView);

  GObjectPtr<WebKitWebInspector> inspector_;
  std::function<std::string()> title_;
  std::function<void(bool)> openChanged_;
  GtkWindow* window_ = nullptr;  // ours while shown; destroyed by destroyWindow
};

}  // namespace fennelview
