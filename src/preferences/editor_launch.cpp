// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/editor_launch.hpp"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "common/glib_ptr.hpp"
#include "preferences/preferences_controller.hpp"
#include "preferences/url_text.hpp"

namespace fennelview {

bool launchEditor(const std::string& editorURL, const std::string& fileURL) {
  GCharPtr desktopFile(g_filename_from_uri(editorURL.c_str(), nullptr, nullptr));
  if (!desktopFile) return false;
  GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new_from_filename(desktopFile.get()));
  if (!app) return false;

  GObjectPtr<GFile> file(g_file_new_for_uri(fileURL.c_str()));
  GList files{file.get(), nullptr, nullptr};
  GError* rawError = nullptr;
  const bool launched = g_app_info_launch(G_APP_INFO(app.get()), &files, nullptr, &rawError);
  GErrorPtr error(rawError);
  return launched;
}

bool openFileInDefaultEditor(UserDefaults& defaults, const std::optional<std::string>& fileURL) {
  const auto editorURL = defaults.stringForKey(PreferencesController::defaultEditorPathKey);
  if (!editorURL || !fileURL || !isValidURL(*editorURL) || !isValidURL(*fileURL)) return false;
  return launchEditor(*editorURL, *fileURL);
}

}  // namespace fennelview
