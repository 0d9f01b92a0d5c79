// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/editor_line.hpp"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <glib/gi18n.h>

#include <filesystem>
#include <utility>

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

std::string editorCommandLine(std::string_view exec, const std::vector<std::string>& arguments) {
  std::string quoted;
  for (const auto& argument : arguments) {
    GCharPtr shell(g_shell_quote(argument.c_str()));
    if (!quoted.empty()) quoted += ' ';
    // In an Exec line a lone % starts a field code.
    for (const char* c = shell.get(); *c; ++c) quoted += *c == '%' ? std::string("%%") : std::string(1, *c);
  }
  std::string line;
  bool placed = false;
  for (std::size_t at = 0; at < exec.size();) {
    const bool atWord = at == 0 || exec[at - 1] == ' ';
    const bool fileCode = atWord && exec[at] == '%' && at + 1 < exec.size() &&
                          std::string_view("fFuU").find(exec[at + 1]) != std::string_view::npos &&
                          (at + 2 == exec.size() || exec[at + 2] == ' ');
    if (fileCode) {
      if (!std::exchange(placed, true)) line += quoted;
      at += 2;
    } else if (exec[at] == '%' && at + 1 < exec.size()) {
      line += exec.substr(at, 2);  // %% and the codes GIO fills in itself stay whole
      at += 2;
    } else {
      line += exec[at++];
    }
  }
  if (!placed) line += (line.empty() ? "" : " ") + quoted;
  return line;
}

bool openFileAtLineInDefaultEditor(Settings& settings, const std::string& file, int line, int column,
                                   GAppLaunchContext* context, std::string* failure) {
  GCharPtr fileURL(g_filename_to_uri(file.c_str(), nullptr, nullptr));
  if (!fileURL) return false;
  const auto stored = settings.defaultEditorPath();
  GCharPtr desktopFile(stored ? g_filename_from_uri(stored->c_str(), nullptr, nullptr) : nullptr);
  GObjectPtr<GDesktopAppInfo> app(desktopFile ? g_desktop_app_info_new_from_filename(desktopFile.get()) : nullptr);
  const char* executable = app ? g_app_info_get_executable(G_APP_INFO(app.get())) : nullptr;
  const char* exec = app ? g_app_info_get_commandline(G_APP_INFO(app.get())) : nullptr;
  const auto arguments = executable && exec ? editorLineArguments(executable, file, line, column) : std::nullopt;
  if (!arguments) return openFileInDefaultEditor(settings.store(), std::string(fileURL.get()), failure, context);

  // The entry's own command, so its options and environment wrappers stay; GIO adds a file code
  // to it, which no file fills.
  GObjectPtr<GAppInfo> atLine(g_app_info_create_from_commandline(editorCommandLine(exec, *arguments).c_str(),
                                                                 g_app_info_get_name(G_APP_INFO(app.get())),
                                                                 G_APP_INFO_CREATE_NONE, nullptr));
  GError* rawError = nullptr;
  const bool started = atLine && g_app_info_launch(atLine.get(), nullptr, context, &rawError);
  GErrorPtr error(rawError);
  if (!started && failure) {
    /* Translators: %1$s is an editor's name, %2$s the system's reason, such as "No such file or directory". */
    GCharPtr text(g_strdup_printf(_("%1$s could not start: %2$s"), g_app_info_get_display_name(G_APP_INFO(app.get())),
                                  error ? error->message : _("no reason given")));
    *failure = text.get();
  }
  return started;
}

}  // namespace fennelview
