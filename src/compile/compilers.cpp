// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compilers.hpp"

#include <glib/gi18n.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "build_config.hpp"
#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "common/resources.hpp"
#include "common/utf8.hpp"
#include "compile/child_process.hpp"

namespace fennelview {
namespace {

// A `sass` on the search path is whatever the user put there; one that hangs must not hang us.
constexpr auto kAnswerTimeLimit = std::chrono::seconds(10);
constexpr std::size_t kAnswerLimit = 64 * 1024;

// The first line of what a program said, short enough to show.
std::string firstLine(std::string_view text) {
  const auto start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  auto line = text.substr(start, text.find('\n', start) - start);
  if (line.size() > 200) line = line.substr(0, 200);
  GCharPtr valid(g_utf8_make_valid(line.data(), static_cast<gssize>(line.size())));
  return valid.get();
}

// sassc reports "libsass: 3.6.5+20220909" among other lines; the build suffix is left out.
std::optional<std::string> libSassVersion(std::string_view output) {
  constexpr std::string_view kLabel = "libsass: ";
  for (std::size_t at = 0; at < output.size();) {
    const auto end = std::min(output.find('\n', at), output.size());
    const auto line = output.substr(at, end - at);
    if (line.starts_with(kLabel)) {
      const auto version = line.substr(kLabel.size(), line.find_first_of(" \t\r+", kLabel.size()) - kLabel.size());
      if (!version.empty() && version[0] >= '0' && version[0] <= '9') return std::string(version);
    }
    at = end + 1;
  }
  return std::nullopt;
}

// `sass --embedded --version` answers with the protocol's version response as JSON.
std::optional<std::string> embeddedVersion(const std::string& output) {
  const auto answer = nlohmann::json::parse(output, nullptr, false);
  if (!answer.is_object()) return std::nullopt;
  const auto version = answer.find("compilerVersion");
  const auto protocol = answer.find("protocolVersion");
  if (version == answer.end() || !version->is_string() || protocol == answer.end() || !protocol->is_string()) {
    return std::nullopt;
  }
  const auto text = version->get<std::string>();
  if (text.empty() || text.size() > 64 || !isValidUtf8(text)) return std::nullopt;
  return text;
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

Compilers::~Compilers() {
  if (prober_.joinable()) prober_.join();
}

Compilers& Compilers::shared() {
  static Compilers compilers = [] {
    const char* path = build::dartSassOffered ? std::getenv("PATH") : nullptr;
    return Compilers(resourceDirectory(), path ? path : "");
  }();
  static std::once_flag started;
  std::call_once(started, [] { compilers.probeInBackground(); });
  return compilers;
}

void Compilers::probeInBackground() {
  std::lock_guard lock(mutex_);
  if (prober_.joinable()) return;
  prober_ = std::thread([this] {
    libSass();
    dartSass();
  });
}

Compilers::Answer Compilers::ask(const std::filesystem::path& executable, std::string_view id) {
  std::error_code ec;
  const auto modified = std::filesystem::last_write_time(executable, ec);
  const std::string key = std::string(id) + '\n' + executable.string();
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto it = answers_.find(key);
    if (it == answers_.end() || it->second.modified != modified) break;
    if (it->second.ready) return it->second.answer;
    answered_.wait(lock);  // the other thread is asking it
  }
  answers_[key] = Entry{modified, false, {}};
  lock.unlock();

  Answer answer;
  const bool dart = id == kDartSassId;
  int error = 0;
  std::vector<std::string> argv{executable.string(), "--version"};
  if (dart) argv.insert(argv.begin() + 1, "--embedded");
  auto child = ChildProcess::start(argv, "", error);
  const auto ended = child ? child->collect(kAnswerTimeLimit, kAnswerLimit) : std::nullopt;
  const auto path = executable.string();
  if (!child) {
    /* Translators: %1$s is a program's path, %2$s the system's reason, such as "Permission denied". */
    answer.refusal = formatted(_("\u201C%1$s\u201D could not be run: %2$s."), path.c_str(), g_strerror(error));
  } else if (!ended) {
    /* Translators: %1$s is a program's path. */
    answer.refusal = formatted(_("\u201C%1$s\u201D did not answer within 10 seconds."), path.c_str());
  } else if (const auto version = !WIFEXITED(ended->status) || WEXITSTATUS(ended->status) != 0 ? std::nullopt
                                  : dart ? embeddedVersion(ended->output)
                                         : libSassVersion(ended->output)) {
    answer.compiler = Compiler{std::string(id), executable, (dart ? "Dart Sass " : "LibSass ") + *version};
  } else if (const auto said = firstLine(ended->error.empty() ? ended->output : ended->error); said.empty()) {
    /* Translators: %1$s is a program's path. */
    answer.refusal = formatted(_("\u201C%1$s\u201D is not a Sass compiler that the app can use: it cannot compile "
                                 "through Dart Sass's embedded protocol."),
                               path.c_str());
  } else {
    /* Translators: %1$s is a program's path, %2$s the first line it wrote. */
    answer.refusal = formatted(_("\u201C%1$s\u201D is not a Sass compiler that the app can use: it cannot compile "
                                 "through Dart Sass's embedded protocol (it said \u201C%2$s\u201D)."),
                               path.c_str(), said.c_str());
  }
  lock.lock();
  answers_[key] = Entry{modified, true, answer};
  answered_.notify_all();
  return answer;
}

std::optional<Compiler> Compilers::libSass() {
  if (resourceFolder_.empty()) return std::nullopt;
  return ask(resourceFolder_ / "sassc", kLibSassId).compiler;
}

std::optional<Compiler> Compilers::dartSass(std::vector<RefusedCompiler>* refusals) {
  std::vector<std::filesystem::path> candidates;
  if (auto bundled = bundledDartSass(resourceFolder_)) candidates.push_back(std::move(*bundled));
  if (auto onPath = findInSearchPath(searchPath_, "sass")) candidates.push_back(std::move(*onPath));
  for (const auto& sass : candidates) {
    auto answer = ask(sass, kDartSassId);
    if (answer.compiler) return answer.compiler;
    if (refusals) refusals->push_back({sass, std::move(answer.refusal)});
  }
  return std::nullopt;
}

std::vector<Compiler> Compilers::found() {
  std::vector<Compiler> compilers;
  for (auto compiler : {libSass(), dartSass()}) {
    if (compiler) compilers.push_back(std::move(*compiler));
  }
  return compilers;
}

std::vector<RefusedCompiler> Compilers::refused() {
  std::vector<RefusedCompiler> refusals;
  dartSass(&refusals);
  return refusals;
}

Compiler Compilers::forChoice(const std::optional<std::string>& stored) {
  if (stored == kDartSassId) {
    if (auto dart = dartSass()) return *dart;
  }
  if (auto libsass = libSass()) return *libsass;
  return Compiler{std::string(kLibSassId), resourceFolder_.empty() ? std::filesystem::path() : resourceFolder_ / "sassc",
                  "LibSass"};
}

Compiler compilerForChoice(const std::optional<std::string>& stored) { return Compilers::shared().forChoice(stored); }

}  // namespace fennelview
