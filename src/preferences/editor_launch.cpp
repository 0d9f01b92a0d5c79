// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/editor_launch.hpp"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <glib/gi18n.h>

#include "common/glib_ptr.hpp"
#include "preferences/preferences_controller.hpp"
#include "preferences/url_text.hpp"

namespace fennelview {

namespace {

bool fail(std::string* failure, std::string why) {
  if (failure) *failure = std::move(why);
  return false;
}

// The desktop's terminal running the editor's own command; none when Debian's alternative for
// it is missing, and GIO looks for a terminal of its own.
GObjectPtr<GAppInfo> inTerminal(GDesktopAppInfo* app) {
  GCharPtr terminal(g_find_program_in_path("x-terminal-emulator"));
  const char* command = g_app_info_get_commandline(G_APP_INFO(app));
  if (!terminal || !command) return GObjectPtr<GAppInfo>();
  GCharPtr quoted(g_shell_quote(terminal.get()));
  const std::string line = std::string(quoted.get()) + " -e " + command;
  return GObjectPtr<GAppInfo>(
      g_app_info_create_from_commandline(line.c_str(), g_app_info_get_name(G_APP_INFO(app)), G_APP_INFO_CREATE_NONE, nullptr));
}

}  // namespace

bool launchEditor(const std::string& editorURL, const std::string& fileURL, std::string* failure,
                  GAppLaunchContext* context) {
  GCharPtr desktopFile(g_filename_from_uri(editorURL.c_str(), nullptr, nullptr));
  if (!desktopFile) return fail(failure, _("The chosen editor is not a file: choose another one in Preferences."));
  GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new_from_filename(desktopFile.get()));
  if (!app) return fail(failure, _("The chosen editor is no longer installed: choose another one in Preferences."));

  GObjectPtr<GAppInfo> terminal;
  if (g_desktop_app_info_get_boolean(app.get(), G_KEY_FILE_DESKTOP_KEY_TERMINAL)) terminal = inTerminal(app.get());
  GAppInfo* launched = terminal ? terminal.get() : G_APP_INFO(app.get());
  GObjectPtr<GFile> file(g_file_new_for_uri(fileURL.c_str()));
  GList files{file.get(), nullptr, nullptr};
  GError* rawError = nullptr;
  const bool started = g_app_info_launch(launched, &files, context, &rawError);
  GErrorPtr error(rawError);
  if (started) return true;
  /* Translators: %1$s is an editor's name, %2$s the system's reason, such as "No such file or directory". */
  GCharPtr text(g_strdup_printf(_("%1$s could not start: %2$s"), g_app_info_get_display_name(G_APP_INFO(app.get())),
                                error ? error->message : _("no reason given")));
  return fail(failure, text.get());
}

bool openFileInDefaultEditor(UserDefaults& defaults, const std::optional<std::string>& fileURL, std::string* failure,
                             GAppLaunchContext* context) {
  const auto editorURL = defaults.stringForKey(Settings::defaultEditorPathKey);
  if (!editorURL || !isValidURL(*editorURL)) return fail(failure, _("No editor is chosen: choose one in Preferences."));
  if (!fileURL || !isValidURL(*fileURL)) return fail(failure, _("The document has no file to open."));
  return launchEditor(*editorURL, *fileURL, failure, context);
}

}  // namespace fennelview
