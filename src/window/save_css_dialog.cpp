// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/save_css_dialog.hpp"

#include <glib/gi18n.h>
#include <glib/gstdio.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

namespace fennelview {

namespace {

// The proposed folder, made when it does not exist yet so that the chooser can show it; the
// folders made go again with the dialog while they are empty, and a save makes them anew.
class MadeFolders {
 public:
  explicit MadeFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    // Only folders known to be absent: one that cannot be looked at may be the user's.
    for (auto missing = folder; missing != missing.parent_path() && !std::filesystem::exists(missing, ec) && !ec;
         missing = missing.parent_path()) {
      made_.push_back(missing);
    }
    if (!made_.empty()) g_mkdir_with_parents(folder.c_str(), 0777);
  }
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;
  ~MadeFolders() { removeEmpty(); }

  void removeEmpty() {
    for (const auto& folder : std::exchange(made_, {})) g_rmdir(folder.c_str());
  }

 private:
  std::vector<std::filesystem::path> made_;  // deepest first
};

struct Pending {
  Pending(const CssExportChoice& proposal, std::function<void(CssExportChoice)> chosen)
      : proposal(proposal), chosen(std::move(chosen)), folders(proposal.target.parent_path()) {}

  CssExportChoice proposal;
  std::function<void(CssExportChoice)> chosen;
  MadeFolders folders;
};

void respond(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  pending->folders.removeEmpty();
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
  auto pending = std::make_unique<Pending>(proposal, std::move(chosen));
  GObjectPtr<GFile> folder(g_file_new_for_path(proposal.target.parent_path().c_str()));
  gtk_file_chooser_set_current_folder(chooser, folder.get(), nullptr);
  GCharPtr name(g_filename_display_basename(proposal.target.c_str()));
  gtk_file_chooser_set_current_name(chooser, name.get());

  // The proposed style comes first: GTK 4.8's own dialog ignores a selection set by id.
  const bool compressed = proposal.style == OutputStyle::kCompressed;
  const char* expandedId = "expanded";
  const char* compressedId = "compressed";
  const char* expandedLabel = _("Expanded");
  const char* compressedLabel = _("Compressed");
  const char* styles[] = {compressed ? compressedId : expandedId, compressed ? expandedId : compressedId, nullptr};
  const char* styleLabels[] = {compressed ? compressedLabel : expandedLabel,
                               compressed ? expandedLabel : compressedLabel, nullptr};
  gtk_file_chooser_add_choice(chooser, "style", _("Style"), styles, styleLabels);
  gtk_file_chooser_set_choice(chooser, "style", styles[0]);
  gtk_file_chooser_add_choice(chooser, "sourceMap", _("Source map beside it"), nullptr, nullptr);
  gtk_file_chooser_set_choice(chooser, "sourceMap", proposal.sourceMap ? "true" : "false");

  g_signal_connect_data(dialog.get(), "response", G_CALLBACK(respond), pending.release(),
                        [](gpointer data, GClosure*) { std::unique_ptr<Pending>(static_cast<Pending*>(data)); },
                        G_CONNECT_DEFAULT);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog.get()));
  return dialog;
}

}  // namespace fennelview
