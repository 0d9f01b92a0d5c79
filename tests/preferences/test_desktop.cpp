#include "test_desktop.hpp"

#include <glib.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "common/glib_ptr.hpp"

namespace fennelview::test {

namespace {

// One file per call, renamed into place, so a waiting test never reads half a call.
constexpr const char* recorderScript = R"(#!/bin/sh
dir=$1; shift; mkdir -p "$dir"; tmp=$(mktemp "$dir/.call.XXXXXX")
printf '%s\0' "$@" > "$tmp" && mv "$tmp" "$dir/call-$(date +%s%N)-$$"
)";

}  // namespace

TestDesktop& TestDesktop::standard() {
  static TestDesktop desktop;
  return desktop;
}

TestDesktop::TestDesktop() {
  const auto& root = dir_.path();
  std::filesystem::create_directories(root / "data/applications");
  std::filesystem::create_directories(root / "config");
  // The real MIME database, so main.css is text/css as on any desktop.
  std::filesystem::create_directory_symlink("/usr/share/mime", root / "data/mime");
  writeFile(root / "record", recorderScript);
  std::filesystem::permissions(root / "record", std::filesystem::perms::owner_all);
  using Entry = std::array<std::string, 3>;
  for (const auto& [id, name, types] : {Entry{"zed", "Zed Edit", "text/css;"}, Entry{"nameless", "", "text/css;"},
                                        Entry{"alpha", "Alpha Pad", "text/css;"}, Entry{"mid", "Mid Writer", "text/css;"},
                                        Entry{"viewer", "Viewer", "image/png;"}, Entry{"mail", "Test Mail", "x-scheme-handler/mailto;"}}) {
    writeFile(root / "data/applications" / (id + ".desktop"),
              "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + (root / "record").string() + " " +
                  (root / "calls" / id).string() + (id == "mail" ? " %u" : " %f") + "\nMimeType=" + types + "\n");
  }
  // Added associations fix GIO's order, which would otherwise follow the directory listing.
  writeFile(root / "config/mimeapps.list",
            "[Added Associations]\ntext/css=zed.desktop;nameless.desktop;alpha.desktop;mid.desktop;\n\n"
            "[Default Applications]\nx-scheme-handler/mailto=mail.desktop;\n");
  const std::pair<const char*, const char*> folders[] = {{"XDG_DATA_DIRS", "data"}, {"XDG_DATA_HOME", "data-home"},
      {"XDG_CONFIG_HOME", "config"}, {"XDG_CONFIG_DIRS", "config-dirs"}, {"XDG_CACHE_HOME", "cache"}};
  for (const auto& [name, folder] : folders) setenv(name, (root / folder).c_str(), 1);
  // Without a session bus GIO would otherwise autolaunch one on the X display for each launch.
  for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XDG_CURRENT_DESKTOP"}) unsetenv(name);
}

std::string TestDesktop::applicationURL(const std::string& id) const {
  GCharPtr uri(g_filename_to_uri((dir_.path() / "data/applications" / (id + ".desktop")).c_str(), nullptr, nullptr));
  return uri.get();
}

std::vector<std::vector<std::string>> TestDesktop::calls(const std::string& id) const {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "calls" / id, ec)) {
    if (entry.path().filename().string().starts_with("call-")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::vector<std::string>> result;
  for (const auto& file : files) {
    const auto text = readFile(file);
    auto& arguments = result.emplace_back();
    for (size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
      arguments.push_back(text.substr(start, end - start));
    }
  }
  return result;
}

bool TestDesktop::waitForCalls(const std::string& id, size_t count) const {
  return runUntil([&] { return calls(id).size() >= count; });
}

void TestDesktop::forgetCalls() const {
  std::error_code ec;
  std::filesystem::remove_all(dir_.path() / "calls", ec);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
  gchar** env = g_get_environ();
  for (const auto& [name, value] : environment) env = g_environ_setenv(env, name.c_str(), value.c_str(), TRUE);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  gchar *out = nullptr, *err = nullptr;
  gint status = 0;
  GError* rawError = nullptr;
  const bool ran = g_spawn_sync(nullptr, args.data(), env, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status,
                                &rawError);
  g_strfreev(env);
  GErrorPtr error(rawError);
  if (!ran) throw std::runtime_error("cannot run " + argv.front() + ": " + error->message);
  GCharPtr ownedOut(out), ownedErr(err);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ownedOut.get(), ownedErr.get()};
}

}  // namespace fennelview::test
