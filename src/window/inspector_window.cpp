// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/inspector_window.hpp"

#include <utility>

namespace fennelview {

InspectorWindow::InspectorWindow(WebKitWebView* inspected, std::function<std::string()> title)
    : inspector_(GObjectPtr<WebKitWebInspector>::retain(webkit_web_view_get_inspector(inspected))),
      title_(std::move(title)) {
  g_signal_connect(inspector_.get(), "open-window", G_CALLBACK(openWindow), this);
  g_signal_connect(inspector_.get(), "bring-to-front", G_CALLBACK(bringToFront), this);
  g_signal_connect(inspector_.get(), "attach", G_CALLBACK(attach), this);
  g_signal_connect(inspector_.get(), "closed", G_CALLBACK(closed), this);
}

InspectorWindow::~InspectorWindow() {
  close();
  // The inspector belongs to the view, which may outlive this.
  g_signal_handlers_disconnect_by_data(inspector_.get(), this);
  destroyWindow(false);
}

void InspectorWindow::close() { webkit_web_inspector_close(inspector_.get()); }

gboolean InspectorWindow::openWindow(WebKitWebInspector* inspector, InspectorWindow* self) {
  GtkWidget* view = GTK_WIDGET(webkit_web_inspector_get_web_view(inspector));
  if (!view) return FALSE;
  if (self->window_ && gtk_window_get_child(self->window_) == view) return bringToFront(inspector, self);
  self->destroyWindow(false);
  self->window_ = GTK_WINDOW(gtk_window_new());
  gtk_window_set_default_size(self->window_, 800, 600);
  gtk_window_set_title(self->window_, self->title_ ? self->title_().c_str() : nullptr);
  // Closing the window closes the inspector, whose "closed" then destroys the window.
  g_signal_connect_object(self->window_, "close-request", G_CALLBACK(+[](GtkWindow*, WebKitWebInspector* inspector) {
                            webkit_web_inspector_close(inspector);
                            return TRUE;
                          }),
                          inspector, G_CONNECT_DEFAULT);
  gtk_window_set_child(self->window_, view);
  gtk_window_present(self->window_);
  if (self->openChanged_) self->openChanged_(true);
  return TRUE;
}

gboolean InspectorWindow::bringToFront(WebKitWebInspector*, InspectorWindow* self) {
  if (!self->window_) return FALSE;
  if (self->title_) gtk_window_set_title(self->window_, self->title_().c_str());
  gtk_window_present(self->window_);
  return TRUE;
}

gboolean InspectorWindow::attach(WebKitWebInspector*, InspectorWindow* self) {
  // WebKit holds the view while it moves it into the inspected one.
  self->destroyWindow(true);
  if (self->openChanged_) self->openChanged_(true);
  return FALSE;
}

void InspectorWindow::closed(WebKitWebInspector*, InspectorWindow* self) {
  self->destroyWindow(false);
  if (self->openChanged_) self->openChanged_(false);
}

void InspectorWindow::destroyWindow(bool keepView) {
  if (!window_) return;
  if (keepView) gtk_window_set_child(window_, nullptr);
  gtk_window_destroy(std::exchange(window_, nullptr));
}

}  // namespace fennelview
