// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/save_css_dialog.hpp"

#include <glib/gi18n.h>

#include <cstring>
#include <utility>

namespace fennelview {

namespace {

struct Pending {
  CssExportChoice proposal;
  std::function<void(CssExportChoice)> chosen;
};

void respond(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  if (response != GTK_RESPONSE_ACCEPT) return;
  GObjectPtr<GFile> file(gtk_file_chooser_get_file(chooser));
  GCharPtr path(file ? g_file_get_path(file.get()) : nullptr);
  if (!path) return;  // a place with no local path cannot be written by name
  const char* style = gtk_file_chooser_get_choice(chooser, "style");
  const char* map = gtk_file_chooser_get_choice(chooser, "sourceMap");
  CssExportChoice choice = pending->proposal;
  choice.target = path.get();
  choice.style = style && std::strcmp(style, "compressed") == 0 ? OutputStyle::kCompressed : OutputStyle::kExpanded;
  choice.sourceMap = map && std::strcmp(map, "true") == 0;
  // A copy: the callback may drop the dialog, and with it `pending`.
  auto chosen = pending->chosen;
  chosen(std::move(choice));
}

}  // namespace

GObjectPtr<GtkFileChooserNative> showSaveCssDialog(GtkWindow* parent, const CssExportChoice& proposal,
                                                   std::function<void(CssExportChoice)> chosen) {
  GObjectPtr<GtkFileChooserNative> dialog(
      gtk_file_chooser_native_new(_("Save CSS"), parent, GTK_FILE_CHOOSER_ACTION_SAVE, _("_Save"), _("_Cancel")));
  auto* chooser = GTK_FILE_CHOOSER(dialog.get());
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog.get()), TRUE);
  GObjectPtr<GFile> folder(g_file_new_for_path(proposal.target.parent_path().c_str()));
  gtk_file_chooser_set_current_folder(chooser, folder.get(), nullptr);
  GCharPtr name(g_filename_display_basename(proposal.target.c_str()));
  gtk_file_chooser_set_current_name(chooser, name.get());

  const char* styles[] = {"expanded", "compressed", nullptr};
  const char* styleLabels[] = {_("Expanded"), _("Compressed"), nullptr};
  gtk_file_chooser_add_choice(chooser, "style", _("Style"), styles, styleLabels);
  gtk_file_chooser_set_choice(chooser, "style", proposal.style == OutputStyle::kCompressed ? "compressed" : "expanded");
  gtk_file_chooser_add_choice(chooser, "sourceMap", _("Source map beside it"), nullptr, nullptr);
  gtk_file_chooser_set_choice(chooser, "sourceMap", proposal.sourceMap ? "true" : "false");

  auto* pending = new Pending{proposal, std::move(chosen)};
  g_signal_connect_data(dialog.get(), "response", G_CALLBACK(respond), pending,
                        [](gpointer data, GClosure*) { delete static_cast<Pending*>(data); }, G_CONNECT_DEFAULT);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog.get()));
  return dialog;
}

}  // namespace fennelview
