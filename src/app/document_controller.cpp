// SPDX-License-Identifier: GPL-3.0-or-later
#include "document_controller.hpp"

#include <filesystem>
#include <string>

#include "common/glib_ptr.hpp"
#include "document/sass_document.hpp"

namespace fennelview {

namespace {
std::string typeName(GFile* file) {
  GCharPtr name(g_file_get_basename(file));
  const std::string base = name ? name.get() : "";
  const auto dot = base.rfind('.');
  return dot == std::string::npos ? "scss" : base.substr(dot + 1);
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

std::shared_ptr<WindowController> DocumentController::openDocument(GFile* file, GtkApplication* application,
                                                                  UserDefaults& defaults, Reuse reuse) {
  if (reuse == Reuse::openWindow) {
    if (auto shown = windowShowing(file, application)) {
      shown->showWindow();
      return shown;
    }
  }
  auto document = SassDocument::create(defaults);
  GCharPtr uri(g_file_get_uri(file));
  document->setFileURL(std::string(uri.get()));
  document->readFromURL(uri.get(), typeName(file));
  addToRecentFiles(file, uri.get());
  auto controller = makeWindowControllers(document, application, defaults);
  controller->showWindow();
  return controller;
}

}  // namespace fennelview
