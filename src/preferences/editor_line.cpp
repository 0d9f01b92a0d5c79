// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/editor_line.hpp"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <filesystem>

#include "common/glib_ptr.hpp"
#include "preferences/editor_launch.hpp"

namespace fennelview {

std::optional<std::vector<std::string>> editorLineArguments(const std::string& executable, const std::string& file,
                                                            int line, int column) {
  if (line <= 0) return std::nullopt;
  const auto name = std::filesystem::path(executable).filename().string();
  const auto at = file + ":" + std::to_string(line) + ":" + std::to_string(column > 0 ? column : 1);
  if (name == "gnome-text-editor" || name == "gedit") return std::vector<std::string>{"+" + std::to_string(line), file};
  if (name == "kate") return std::vector<std::string>{"--line", std::to_string(line), file};
  if (name == "code" || name == "code-oss" || name == "codium") return std::vector<std::string>{"--goto", at};
  if (name == "subl" || name == "sublime_text") return std::vector<std::string>{at};
  return std::nullopt;
}

bool openFileAtLineInDefaultEditor(Settings& settings, const std::string& file, int line, int column) {
  GCharPtr fileURL(g_filename_to_uri(file.c_str(), nullptr, nullptr));
  if (!fileURL) return false;
  const auto stored = settings.defaultEditorPath();
  if (!stored) return false;
  GCharPtr desktopFile(g_filename_from_uri(stored->c_str(), nullptr, nullptr));
  GObjectPtr<GDesktopAppInfo> app(desktopFile ? g_desktop_app_info_new_from_filename(desktopFile.get()) : nullptr);
  const char* executable = app ? g_app_info_get_executable(G_APP_INFO(app.get())) : nullptr;
  const auto arguments = executable ? editorLineArguments(executable, file, line, column) : std::nullopt;
  if (!arguments) return openFileInDefaultEditor(settings.store(), std::string(fileURL.get()));

  std::vector<char*> argv{const_cast<char*>(executable)};
  for (const auto& argument : *arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // Without DO_NOT_REAP_CHILD GLib detaches the editor, so it outlives the app and leaves no zombie.
  return g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace fennelview
