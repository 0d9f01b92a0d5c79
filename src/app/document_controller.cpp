// SPDX-License-Identifier: GPL-3.0-or-later
#include "document_controller.hpp"

#include <filesystem>
#include <string>

#include <adwaita.h>
#include <glib/gi18n.h>

#include <algorithm>
#include <variant>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "document/sass_document.hpp"
#include "site/project_root.hpp"
#include "site/site_pages.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {

namespace {
std::string typeName(GFile* file) {
  GCharPtr name(g_file_get_basename(file));
  const std::string base = name ? name.get() : "";
  const auto dot = base.rfind('.');
  return dot == std::string::npos ? "scss" : base.substr(dot + 1);
}

std::string lowercase(std::string text) {
  std::ranges::transform(text, text.begin(), [](unsigned char c) { return g_ascii_tolower(static_cast<char>(c)); });
  return text;
}

enum class FileKind { styleSheet, page, other };

FileKind kindOf(const std::filesystem::path& file) {
  const std::string extension = lowercase(file.extension().string());
  if (extension == ".scss" || extension == ".sass" || extension == ".css") return FileKind::styleSheet;
  if (extension == ".html" || extension == ".htm") return FileKind::page;
  return FileKind::other;
}

std::string displayName(const std::filesystem::path& file) {
  GCharPtr name(g_filename_display_basename(file.c_str()));
  return name.get();
}

// Whatever way the file came (command line, Open dialog, file manager, drop), the desktop's
// recent files list it with this app.
void addToRecentFiles(GFile* file, const std::string& uri) {
  GObjectPtr<GFileInfo> info(g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                               nullptr, nullptr));
  const char* type = info ? g_file_info_get_content_type(info.get()) : nullptr;
  GCharPtr mimeType(type ? g_content_type_get_mime_type(type) : nullptr);
  GtkRecentData data{};
  data.app_name = const_cast<char*>(DocumentController::applicationName);
  data.app_exec = const_cast<char*>("fennelview %u");
  data.mime_type = mimeType ? mimeType.get() : const_cast<char*>("text/x-scss");
  gtk_recent_manager_add_full(gtk_recent_manager_get_default(), uri.c_str(), &data);
}
}  // namespace

std::shared_ptr<WindowController> DocumentController::windowShowing(GFile* file, GtkApplication* application) {
  GCharPtr path(g_file_get_path(file));
  if (!application || !path) return nullptr;
  for (GList* item = gtk_application_get_windows(application); item; item = item->next) {
    auto controller = WindowController::fromWindow(GTK_WINDOW(item->data));
    if (!controller || !controller->sassDocument() || controller->sassDocument()->path().empty()) continue;
    // The same file by another path (a symbolic link, "..") is the same device and inode.
    std::error_code ec;
    if (std::filesystem::equivalent(path.get(), controller->sassDocument()->path(), ec)) return controller;
  }
  return nullptr;
}

void DocumentController::refuse(GtkApplication* application, const std::string& message) {
  g_printerr("fennelview: %s\n", message.c_str());
  GtkWindow* active = application ? gtk_application_get_active_window(application) : nullptr;
  if (auto controller = active ? WindowController::fromWindow(active) : nullptr) {
    controller->showToast(message);
    return;
  }
  if (!application) return;
  GtkWidget* dialog = adw_message_dialog_new(active, _("Cannot Open the File"), message.c_str());
  adw_message_dialog_add_response(ADW_MESSAGE_DIALOG(dialog), "close", _("_Close"));
  gtk_window_set_application(GTK_WINDOW(dialog), application);
  gtk_window_present(GTK_WINDOW(dialog));
}

std::shared_ptr<WindowController> DocumentController::openDocument(GFile* file, GtkApplication* application,
                                                                  Settings& settings, Reuse reuse,
                                                                  std::optional<std::filesystem::path> page) {
  GCharPtr localPath(g_file_get_path(file));
  if (localPath) {
    const std::filesystem::path path = localPath.get();
    switch (kindOf(path)) {
      case FileKind::styleSheet: break;
      case FileKind::page: {
        // The page opens with the document of the style sheet it links.
        const auto root = projectRootOf(path, g_get_home_dir()).value_or(path.parent_path());
        auto document = documentOfPage(path, root);
        if (const auto* problem = std::get_if<PageProblem>(&document)) {
          refuse(application, problem->message);
          return nullptr;
        }
        GObjectPtr<GFile> sheet(g_file_new_for_path(std::get<std::filesystem::path>(document).c_str()));
        return openDocument(sheet.get(), application, settings, reuse, path);
      }
      case FileKind::other:
        /* Translators: %1$s is a file's name. */
        refuse(application, formatted(_("%1$s is neither a style sheet (.scss, .sass, .css) nor a page (.html)."),
                                      displayName(path).c_str()));
        return nullptr;
    }
  }
  if (reuse == Reuse::openWindow) {
    if (auto shown = windowShowing(file, application)) {
      if (page) shown->renderViewController().choosePage(page);
      shown->showWindow();
      return shown;
    }
  }
  auto document = SassDocument::create(settings);
  GCharPtr uri(g_file_get_uri(file));
  document->setFileURL(std::string(uri.get()));
  document->readFromURL(uri.get(), typeName(file));
  addToRecentFiles(file, uri.get());
  auto controller = makeWindowControllers(document, application, settings);
  if (page) controller->renderViewController().choosePage(page);
  controller->showWindow();
  return controller;
}

}  // namespace fennelview
