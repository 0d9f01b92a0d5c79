#include "test_desktop.hpp"

#include <glib.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <stdexcept>

#include "common/glib_ptr.hpp"

namespace fennelview::test {

namespace {

// Writes atomically, so a waiting test never reads half a call.
constexpr const char* recorderScript = R"(#!/bin/sh
dir=$1
shift
mkdir -p "$dir"
tmp=$(mktemp "$dir/.call.XXXXXX")
printf '%s\0' "$@" > "$tmp"
mv "$tmp" "$dir/call-$(date +%s%N)-$$"
)";

std::vector<std::string> splitAtNul(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  return parts;
}

struct StrvDeleter {
  void operator()(gchar** v) const { g_strfreev(v); }
};

}  // namespace

TestDesktop& TestDesktop::standard() {
  static TestDesktop desktop(Editors::Registered);
  static const bool selected = [] {
    for (const auto& [name, value] : desktop.environment()) setenv(name.c_str(), value.c_str(), 1);
    // Without a session bus GIO would otherwise autolaunch one on the X display for each launch.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DISPLAY");
    unsetenv("XDG_CURRENT_DESKTOP");
    return true;
  }();
  (void)selected;
  return desktop;
}

TestDesktop::TestDesktop(Editors editors) {
  for (const char* folder : {"data/applications", "data-home", "config", "config-dirs", "cache", "bin"}) {
    std::filesystem::create_directories(root() / folder);
  }
  // The real MIME database, so main.css is text/css as on any desktop.
  std::filesystem::create_directory_symlink("/usr/share/mime", root() / "data/mime");
  writeFile(root() / "bin/record", recorderScript);
  std::filesystem::permissions(root() / "bin/record", std::filesystem::perms::owner_all);

  std::string cssOrder;
  if (editors == Editors::Registered) {
    addApplication("zed", "Name=Zed Edit", "text/css;", "%f");
    addApplication("nameless", "Name=", "text/css;", "%f");
    addApplication("alpha", "Name=Alpha Pad", "text/css;", "%f");
    addApplication("mid", "Name=Mid Writer", "text/css;", "%f");
    cssOrder = "text/css=zed.desktop;nameless.desktop;alpha.desktop;mid.desktop;\n";
  }
  addApplication("viewer", "Name=Picture Viewer", "image/png;", "%f");
  addApplication("mail", "Name=Test Mail", "x-scheme-handler/mailto;", "%u");
  // Added associations fix GIO's order, which would otherwise follow the directory listing.
  writeFile(root() / "config/mimeapps.list", "[Added Associations]\n" + cssOrder +
                                                 "\n[Default Applications]\n"
                                                 "x-scheme-handler/mailto=mail.desktop;\n");
}

void TestDesktop::addApplication(const std::string& id, const std::string& nameLine, const std::string& mimeTypes,
                                 const std::string& fieldCode) {
  writeFile(root() / "data/applications" / (id + ".desktop"),
            "[Desktop Entry]\nType=Application\n" + nameLine + "\nExec=" + (root() / "bin/record").string() + " " +
                (root() / "calls" / id).string() + " " + fieldCode + "\nMimeType=" + mimeTypes + "\n");
}

std::map<std::string, std::string> TestDesktop::environment() const {
  return {{"XDG_DATA_DIRS", (root() / "data").string()},
          {"XDG_DATA_HOME", (root() / "data-home").string()},
          {"XDG_CONFIG_HOME", (root() / "config").string()},
          {"XDG_CONFIG_DIRS", (root() / "config-dirs").string()},
          {"XDG_CACHE_HOME", (root() / "cache").string()}};
}

std::string TestDesktop::applicationURL(const std::string& id) const {
  const auto file = root() / "data/applications" / (id + ".desktop");
  GCharPtr uri(g_filename_to_uri(file.c_str(), nullptr, nullptr));
  return uri.get();
}

std::vector<std::vector<std::string>> TestDesktop::calls(const std::string& id) const {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(root() / "calls" / id, ec)) {
    if (entry.path().filename().string().starts_with("call-")) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::vector<std::string>> result;
  for (const auto& file : files) result.push_back(splitAtNul(readFile(file)));
  return result;
}

bool TestDesktop::waitForCalls(const std::string& id, size_t count) const {
  return runUntil([&] { return calls(id).size() >= count; });
}

void TestDesktop::forgetCalls() const {
  std::error_code ec;
  std::filesystem::remove_all(root() / "calls", ec);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
  std::unique_ptr<gchar*, StrvDeleter> env(g_get_environ());
  for (const auto& [name, value] : environment) {
    env.reset(g_environ_setenv(env.release(), name.c_str(), value.c_str(), TRUE));
  }
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  GError* rawError = nullptr;
  if (!g_spawn_sync(nullptr, args.data(), env.get(), G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status,
                    &rawError)) {
    GErrorPtr error(rawError);
    throw std::runtime_error(std::string("cannot run ") + argv.front() + ": " + error->message);
  }
  GCharPtr ownedOut(out);
  GCharPtr ownedErr(err);
  ProcessResult result;
  result.exitStatus = g_spawn_check_wait_status(status, nullptr) ? 0 : (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  result.out = ownedOut.get();
  result.err = ownedErr.get();
  return result;
}

}  // namespace fennelview::test
