// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/server_address_dialog.hpp"

#include <adwaita.h>
#include <glib/gi18n.h>

#include <memory>

#include "site/server_pages.hpp"

namespace fennelview {

namespace {

struct Asked {
  GtkEntry* entry;
  std::function<void(const std::string&)> chosen;
};

}  // namespace

void askServerAddress(GtkWindow* parent, const std::string& initial, std::function<void(const std::string&)> chosen) {
  GtkWidget* dialog = adw_message_dialog_new(parent, _("Server Address"),
                                             _("The address of a page that a development server makes, such as http://localhost:8000/."));
  GtkWidget* entry = gtk_entry_new();
  gtk_editable_set_text(GTK_EDITABLE(entry), initial.empty() ? "http://localhost:8000/" : initial.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_URL);
  adw_message_dialog_set_extra_child(ADW_MESSAGE_DIALOG(dialog), entry);
  adw_message_dialog_add_responses(ADW_MESSAGE_DIALOG(dialog), "cancel", _("_Cancel"), "show", _("_Show"), nullptr);
  adw_message_dialog_set_default_response(ADW_MESSAGE_DIALOG(dialog), "show");
  adw_message_dialog_set_close_response(ADW_MESSAGE_DIALOG(dialog), "cancel");
  adw_message_dialog_set_response_appearance(ADW_MESSAGE_DIALOG(dialog), "show", ADW_RESPONSE_SUGGESTED);
  adw_message_dialog_set_response_enabled(ADW_MESSAGE_DIALOG(dialog), "show", serverAddress(initial).has_value() || initial.empty());
  auto* asked = new Asked{GTK_ENTRY(entry), std::move(chosen)};
  g_signal_connect_data(dialog, "response", G_CALLBACK(+[](AdwMessageDialog*, const char* response, gpointer data) {
                          auto* asked = static_cast<Asked*>(data);
                          if (g_strcmp0(response, "show") != 0) return;
                          if (const auto address = serverAddress(gtk_editable_get_text(GTK_EDITABLE(asked->entry)))) {
                            asked->chosen(*address);
                          }
                        }),
                        asked, +[](gpointer data, GClosure*) { delete static_cast<Asked*>(data); }, G_CONNECT_DEFAULT);
  // Show stays off while the text is no http: or https: address.
  g_signal_connect_object(entry, "changed", G_CALLBACK(+[](GtkEditable* entry, gpointer dialog) {
                            adw_message_dialog_set_response_enabled(ADW_MESSAGE_DIALOG(dialog), "show",
                                                                    serverAddress(gtk_editable_get_text(entry)).has_value());
                          }),
                          dialog, G_CONNECT_DEFAULT);
  gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace fennelview
