// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/browser_share.hpp"

#include <adwaita.h>
#include <glib/gi18n.h>

#include "common/formatted.hpp"
#include "present/error_link.hpp"
#include "share/live_page.hpp"
#include "share/qr_code.hpp"
#include "window/render_view_controller.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

namespace {

// Tried first, so a bookmark of the address keeps working while one window shows in a browser.
constexpr unsigned preferredPort = 8437;

void drawQrCode(GtkDrawingArea*, cairo_t* cairo, int width, int height, gpointer data) {
  const auto& code = *static_cast<const QrCode*>(data);
  // A quiet zone of four modules around the code, as readers expect.
  const double module = std::min(width, height) / static_cast<double>(code.width + 8);
  const double left = (width - module * code.width) / 2, top = (height - module * code.width) / 2;
  cairo_set_source_rgb(cairo, 1, 1, 1);
  cairo_paint(cairo);
  cairo_set_source_rgb(cairo, 0, 0, 0);
  for (int row = 0; row < code.width; ++row) {
    for (int column = 0; column < code.width; ++column) {
      if (code.dark[static_cast<std::size_t>(row) * code.width + column]) {
        cairo_rectangle(cairo, left + column * module, top + row * module, module, module);
      }
    }
  }
  cairo_fill(cairo);
}

}  // namespace

BrowserShare::BrowserShare(WindowController& window) : window_(window) {
  allowed_ = window_.settings().observe(Settings::Entry::allowOtherDevices, [this] {
    g_object_notify(G_OBJECT(window_.window()), "allow-other-devices");
    // Another choice ends every connection made under the old one.
    if (server_ && serverAllowsOthers_ != allowsOtherDevices()) {
      server_.reset();
      address_.clear();
      if (start()) showDeviceAddress();
    }
  });
}

BrowserShare::~BrowserShare() {
  results_.dispose();
  if (following_) g_signal_handlers_disconnect_by_data(window_.renderViewController().webView(), this);
}

bool BrowserShare::start() {
  if (server_) return true;
  serverAllowsOthers_ = allowsOtherDevices();
  auto server = std::make_unique<ShareServer>(ShareServer::Options{
      .otherDevices = serverAllowsOthers_, .token = serverAllowsOthers_ ? newToken() : std::string(), .preferredPort = preferredPort});
  std::string error;
  if (!server->start(error)) {
    /* Translators: %1$s is the system's reason, such as "Address already in use". */
    window_.showToast(formatted(_("The page could not be served to browsers: %1$s"), error.c_str()));
    return false;
  }
  server_ = std::move(server);
  address_ = server_->address();
  if (!following_) {
    following_ = true;
    results_ = window_.documentChangeSignal().observeNext([this](const ParsingResult&) { push(); });
    // Another page chosen, or a link followed in the preview: the browsers follow too.
    g_signal_connect(window_.renderViewController().webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, BrowserShare* self) {
                       if (event == WEBKIT_LOAD_COMMITTED) self->push();
                     }),
                     this);
  }
  push();
  return true;
}

void BrowserShare::push() {
  const auto& model = window_.renderViewController().viewModel();
  if (!server_ || !model) return;
  SharedView view;
  const auto& page = window_.renderViewController().previewPage();
  if (page.site()) {
    view.site = page.site();
    view.page = page.sitePage();
  } else if (const auto* server = page.server()) {
    view.server = SharedServerPage{server->address(), server->stem(), server->compiledCss(), server->loads()};
  } else {
    view.sampleHtml = model->fullPageString();
    view.sampleStyle = model->styleText();
    view.sampleTemplate = model->baseURL() + '\n' + model->templateText();
  }
  if (model->isFailure()) {
    view.error = model->errorText();
    if (const auto& place = errorPlace(*model)) view.place = ErrorLink::text(*place);
  }
  server_->show(std::move(view));
}

void BrowserShare::open() {
  if (!start()) return;
  push();
  GError* rawError = nullptr;
  if (!g_app_info_launch_default_for_uri(address_.c_str(), nullptr, &rawError)) {
    GErrorPtr error(rawError);
    /* Translators: %1$s is the address, %2$s the system's reason. */
    window_.showToast(formatted(_("No browser could open %1$s: %2$s"), address_.c_str(), error->message),
                      _("Copy Address"), "win.copy-browser-address");
  } else {
    /* Translators: %1$s is the page's address, such as http://127.0.0.1:8437/. */
    window_.showToast(formatted(_("Shown in the browser at %1$s"), address_.c_str()), _("Copy Address"),
                      "win.copy-browser-address");
  }
  if (serverAllowsOthers_) showDeviceAddress();
}

void BrowserShare::copyAddress() {
  if (address_.empty()) return;
  gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(window_.window())), address_.c_str());
}

bool BrowserShare::allowsOtherDevices() const { return window_.settings().allowOtherDevices(); }

void BrowserShare::setAllowOtherDevices(bool allowed) {
  if (!allowed || allowsOtherDevices()) return window_.settings().setAllowOtherDevices(allowed);
  auto* dialog = ADW_MESSAGE_DIALOG(adw_message_dialog_new(
      window_.window(), _("Allow Other Devices?"),
      _("Pages shown in a browser can then be opened from phones and other computers on your network, by anyone "
        "who has the address with its secret token. They see this project's files and its CSS. Turn it on only "
        "on a network you trust; turning it off ends every connection.")));
  adw_message_dialog_add_responses(dialog, "cancel", _("_Cancel"), "allow", _("_Allow"), nullptr);
  adw_message_dialog_set_response_appearance(dialog, "allow", ADW_RESPONSE_DESTRUCTIVE);
  adw_message_dialog_set_default_response(dialog, "cancel");
  adw_message_dialog_set_close_response(dialog, "cancel");
  g_signal_connect_object(dialog, "response::allow", G_CALLBACK(+[](AdwMessageDialog*, const char*, GtkWindow* window) {
                            if (auto controller = WindowController::fromWindow(window)) {
                              controller->settings().setAllowOtherDevices(true);
                            }
                          }),
                          window_.window(), GConnectFlags(0));
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  gtk_window_present(GTK_WINDOW(dialog));
}

void BrowserShare::showDeviceAddress() {
  if (!server_ || !serverAllowsOthers_) return;
  const auto hosts = networkAddresses();
  const std::string address = hosts.empty() ? std::string() : server_->addressAt(hosts.front());
  auto* dialog = ADW_MESSAGE_DIALOG(adw_message_dialog_new(
      window_.window(), _("Open on Another Device"),
      address.empty() ? _("This computer has no address on a network.") : _("Scan the code with a phone, or type the address.")));
  if (!address.empty()) {
    auto* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    auto* area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, 240, 240);
    gtk_widget_set_halign(area, GTK_ALIGN_CENTER);
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area), drawQrCode, new QrCode(qrCodeOf(address)),
                                   +[](gpointer data) { delete static_cast<QrCode*>(data); });
    gtk_accessible_update_property(GTK_ACCESSIBLE(area), GTK_ACCESSIBLE_PROPERTY_LABEL, _("QR code of the address"), -1);
    auto* label = gtk_label_new(address.c_str());
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_CHAR);
    gtk_box_append(GTK_BOX(box), area);
    gtk_box_append(GTK_BOX(box), label);
    adw_message_dialog_set_extra_child(dialog, box);
    adw_message_dialog_add_response(dialog, "copy", _("_Copy Address"));
    g_object_set_data_full(G_OBJECT(dialog), "address", g_strdup(address.c_str()), g_free);
    g_signal_connect(dialog, "response::copy", G_CALLBACK(+[](AdwMessageDialog* shown, const char*, gpointer) {
                       gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(shown)),
                                              static_cast<const char*>(g_object_get_data(G_OBJECT(shown), "address")));
                     }),
                     nullptr);
  }
  adw_message_dialog_add_response(dialog, "close", _("_Close"));
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  adw_message_dialog_set_default_response(dialog, "close");
  gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace fennelview
