// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compilers.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <regex>

#include "build_config.hpp"
#include "common/resources.hpp"

extern char** environ;

namespace fennelview {
namespace {

using Clock = std::chrono::steady_clock;

// A `sass` on the search path is whatever the user put there; one that hangs must not hang us.
constexpr auto kVersionTimeLimit = std::chrono::seconds(10);
constexpr std::size_t kVersionOutputLimit = 64 * 1024;

// Standard output of `executable --version`, or none when it cannot be started, fails, or
// outlives the time limit.
std::optional<std::string> versionOutput(const std::filesystem::path& executable) {
  if (access(executable.c_str(), X_OK) != 0) return std::nullopt;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so that a launcher script dies with what it started.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const std::string path = executable.string();
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("--version"), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return std::nullopt;
  }

  std::string text;
  bool complete = false;
  const auto deadline = Clock::now() + kVersionTimeLimit;
  while (text.size() < kVersionOutputLimit) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd ready{out[0], POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) break;
    char buffer[4096];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      complete = n == 0;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  // A child that closed its output may still linger; it gets what is left of the time limit.
  int status = 0;
  pid_t waited = 0;
  while (complete && (waited = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
    usleep(1000);
  }
  if (waited != pid) {
    kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return std::nullopt;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}

// sassc reports "libsass: 3.6.5+20220909" among other lines; the build suffix is left out.
std::optional<std::string> libSassVersion(const std::string& output) {
  static const std::regex line(R"((?:^|\n)libsass: ([0-9][^\s+]*))");
  std::smatch match;
  if (!std::regex_search(output, match, line)) return std::nullopt;
  return match[1].str();
}

// Dart Sass reports its version alone ("1.108.2"), its JavaScript build adds
// "compiled with dart2js ..."; any other program named sass says something else.
std::optional<std::string> dartSassVersion(const std::string& output) {
  static const std::regex first(R"(^([0-9]+\.[0-9]+\.[0-9]+[^\s]*)(\s|$))");
  std::smatch match;
  if (!std::regex_search(output, match, first)) return std::nullopt;
  return match[1].str();
}

std::optional<std::filesystem::path> findInSearchPath(const std::string& searchPath, const std::string& name) {
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    const auto end = std::min(searchPath.find(':', start), searchPath.size());
    // An empty entry means the current folder, which is no place to pick up a compiler from.
    if (end > start) {
      const auto candidate = std::filesystem::path(searchPath.substr(start, end - start)) / name;
      std::error_code ec;
      if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

Compilers::Compilers(std::filesystem::path resourceFolder, std::string searchPath)
    : resourceFolder_(std::move(resourceFolder)), searchPath_(std::move(searchPath)) {}

Compilers& Compilers::shared() {
  static Compilers compilers(resourceDirectory(), [] {
    const char* path = build::dartSassOffered ? std::getenv("PATH") : nullptr;
    return std::string(path ? path : "");
  }());
  return compilers;
}

const std::optional<Compiler>& Compilers::libSass() {
  if (!libSass_.probed && !resourceFolder_.empty()) {
    const auto sassc = resourceFolder_ / "sassc";
    if (const auto output = versionOutput(sassc)) {
      if (const auto version = libSassVersion(*output)) {
        libSass_.compiler = Compiler{std::string(kLibSassId), sassc, "LibSass " + *version};
      }
    }
  }
  libSass_.probed = true;
  return libSass_.compiler;
}

const std::optional<Compiler>& Compilers::dartSass() {
  if (!dartSass_.probed) {
    std::vector<std::filesystem::path> candidates;
    if (auto bundled = bundledDartSass(resourceFolder_)) candidates.push_back(std::move(*bundled));
    if (auto onPath = findInSearchPath(searchPath_, "sass")) candidates.push_back(std::move(*onPath));
    for (const auto& sass : candidates) {
      const auto output = versionOutput(sass);
      const auto version = output ? dartSassVersion(*output) : std::nullopt;
      if (version) {
        dartSass_.compiler = Compiler{std::string(kDartSassId), sass, "Dart Sass " + *version};
        break;
      }
    }
  }
  dartSass_.probed = true;
  return dartSass_.compiler;
}

std::vector<Compiler> Compilers::found() {
  std::lock_guard lock(mutex_);
  std::vector<Compiler> compilers;
  for (const auto* compiler : {&libSass(), &dartSass()}) {
    if (*compiler) compilers.push_back(**compiler);
  }
  return compilers;
}

Compiler Compilers::forChoice(const std::optional<std::string>& stored) {
  std::lock_guard lock(mutex_);
  if (stored == kDartSassId && dartSass()) return *dartSass();
  if (libSass()) return *libSass();
  return Compiler{std::string(kLibSassId), resourceFolder_.empty() ? std::filesystem::path() : resourceFolder_ / "sassc",
                  "LibSass"};
}

Compiler compilerForChoice(const std::optional<std::string>& stored) { return Compilers::shared().forChoice(stored); }

}  // namespace fennelview
