// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_desktop.hpp"

#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <set>
#include <sstream>

#include "common/glib_ptr.hpp"

namespace fennelview::test {

// One file per call, one argument a line, renamed into place so a waiting test never reads half a call.
constexpr const char* recorderScript = R"(#!/bin/sh
dir=$1; shift; mkdir -p "$dir"; t=$(mktemp "$dir.XXXXXX"); printf '%s\n' "$@" >"$t"; mv "$t" "$dir/$(date +%s%N)-$$"
)";

TestDesktop& TestDesktop::standard() {
  static TestDesktop desktop;
  return desktop;
}

TestDesktop::TestDesktop() {
  const auto& root = dir_.path();
  // Each XDG variable names a folder of its own name.
  std::filesystem::create_directories(root / "XDG_DATA_DIRS/applications");
  // The real MIME database, so main.css is text/css as on any desktop.
  std::filesystem::create_directory_symlink("/usr/share/mime", root / "XDG_DATA_DIRS/mime");
  // The real settings schemas, which libadwaita reads for the desktop's style.
  std::filesystem::create_directory_symlink("/usr/share/glib-2.0", root / "XDG_DATA_DIRS/glib-2.0");
  writeFile(root / "record", recorderScript);
  using Entry = std::array<std::string, 3>;
  for (const auto& [id, name, types] :
       {Entry{"zed", "Zed Edit", "text/css;"}, Entry{"nameless", "", "text/css;"},
        Entry{"alpha", "Alpha Pad", "text/css;"}, Entry{"mid", "Mid Writer", "text/css;"},
        Entry{"viewer", "Viewer", "image/png;"}, Entry{"mail", "Test Mail", "x-scheme-handler/mailto;"},
        Entry{"browser", "Test Browser", "x-scheme-handler/http;"}}) {
    writeFile(root / "XDG_DATA_DIRS/applications" / (id + ".desktop"),
              "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/sh " + (root / "record").string() + " " +
                  (root / "calls" / id).string() + (id == "mail" || id == "browser" ? " %u" : " %f") + "\nMimeType=" + types + "\n");
  }
  // An editor that takes a line: it is started as its own program name with "+LINE FILE", without the
  // entry's arguments, so it knows where to record.
  writeScript(root / "bin/gedit",
              "exec /bin/sh " + (root / "record").string() + " " + (root / "calls/gedit").string() + " \"$@\"");
  writeFile(root / "XDG_DATA_DIRS/applications/gedit.desktop",
            "[Desktop Entry]\nType=Application\nName=Line Editor\nExec=" + (root / "bin/gedit").string() +
                " %f\nMimeType=text/x-scss;\n");
  // Added associations fix GIO's order, which would otherwise follow the directory listing; the
  // desktop's default for style sheets is one in the middle of it.
  writeFile(root / "XDG_DATA_DIRS/applications/mimeapps.list",
            "[Added Associations]\ntext/css=zed.desktop;nameless.desktop;alpha.desktop;mid.desktop;\n\n"
            "[Default Applications]\nx-scheme-handler/mailto=mail.desktop;\nx-scheme-handler/http=browser.desktop;\ntext/css=alpha.desktop;\n");
  for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_CACHE_HOME"}) {
    setenv(name, (root / name).c_str(), 1);
  }
  // Without a session bus GIO would otherwise autolaunch one on the X display for each launch.
  for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XDG_CURRENT_DESKTOP"}) unsetenv(name);
}

std::string TestDesktop::applicationURL(const std::string& id) const {
  const auto file = dir_.path() / "XDG_DATA_DIRS/applications" / (id + ".desktop");
  GCharPtr uri(g_filename_to_uri(file.c_str(), nullptr, nullptr));
  return uri.get();
}

std::vector<std::vector<std::string>> TestDesktop::calls(const std::string& id) const {
  std::set<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "calls" / id, ec)) files.insert(entry);
  std::vector<std::vector<std::string>> result;
  for (const auto& file : files) {
    std::istringstream text(readFile(file));
    auto& arguments = result.emplace_back();
    for (std::string line; std::getline(text, line);) arguments.push_back(line);
  }
  return result;
}

bool TestDesktop::waitForCalls(const std::string& id, size_t count) const {
  return runUntil([&] { return calls(id).size() >= count; });
}

void TestDesktop::setInstalled(const std::vector<std::string>& ids, bool installed) const {
  const auto shown = dir_.path() / "XDG_DATA_DIRS/applications", hidden = dir_.path() / "uninstalled";
  std::filesystem::create_directories(hidden);
  for (const auto& id : ids) {
    std::error_code absent;
    std::filesystem::rename((installed ? hidden : shown) / (id + ".desktop"), (installed ? shown : hidden) / (id + ".desktop"), absent);
  }
}

void TestDesktop::forgetCalls() const { std::filesystem::remove_all(dir_.path() / "calls"); }

ProcessResult runProcess(const std::vector<std::string>& argv) {
  std::string command;
  for (const auto& arg : argv) command += GCharPtr(g_shell_quote(arg.c_str())).get() + std::string(" ");
  gchar *out = nullptr, *err = nullptr;
  gint status = 0;
  if (!g_spawn_command_line_sync(command.c_str(), &out, &err, &status, nullptr)) return {};
  GCharPtr ownedOut(out), ownedErr(err);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ownedOut.get(), ownedErr.get()};
}

}  // namespace fennelview::test
