// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fennelview {

// The setting that chooses the compiler, and its values.
inline constexpr std::string_view kCompilerSettingKey = "compiler";
inline constexpr std::string_view kLibSassId = "libsass";
inline constexpr std::string_view kDartSassId = "dart-sass";

struct Compiler {
  std::string id;  // kLibSassId or kDartSassId
  std::filesystem::path executable;
  // With the version the executable reports, e.g. "LibSass 3.6.5" or "Dart Sass 1.108.2";
  // the bare "LibSass" when the bundled sassc cannot be run.
  std::string name;
};

// A `sass` that was found but is not offered, and why, in words Preferences can show.
struct RefusedCompiler {
  std::filesystem::path executable;
  std::string reason;
};

// The Sass compilers this machine offers: LibSass's sassc from the resource folder, and Dart Sass
// from the resource folder's dart-sass/ or else a `sass` on the search path that speaks the
// embedded protocol. Each executable is asked its version once per modification time; the
// answers are gathered on a thread of their own, so that only a caller who needs one waits.
class Compilers {
 public:
  // `searchPath` is a list of folders in the form of $PATH.
  Compilers(std::filesystem::path resourceFolder, std::string searchPath);
  ~Compilers();
  Compilers(const Compilers&) = delete;
  Compilers& operator=(const Compilers&) = delete;

  // The app's: the resource folder and $PATH as they are at first use. Starts asking every
  // candidate in the background.
  static Compilers& shared();

  // Asks every candidate now, on a thread of its own; the answers are then at hand.
  void probeInBackground();

  // The compilers that ran and reported their version, LibSass first. A Dart Sass that cannot
  // be run, or a `sass` that is some other program or cannot compile for us, is left out.
  std::vector<Compiler> found();
  // The `sass` executables found and left out, with the reason for each.
  std::vector<RefusedCompiler> refused();

  // The compiler for the stored `compiler` setting: Dart Sass when chosen and found; LibSass
  // otherwise (no setting, an unknown value, or a chosen Dart Sass that is missing). LibSass is
  // returned even when its sassc cannot be run, so that compiles report why.
  Compiler forChoice(const std::optional<std::string>& stored);

 private:
  // One executable's answer: its compiler, or why it is not one.
  struct Answer {
    std::optional<Compiler> compiler;
    std::string refusal;
  };
  struct Entry {
    std::filesystem::file_time_type modified;
    bool ready = false;
    Answer answer;
  };
  Answer ask(const std::filesystem::path& executable, std::string_view id);
  std::optional<Compiler> libSass();
  // The first Dart Sass candidate that answers; the refused ones before it in `refusals`.
  std::optional<Compiler> dartSass(std::vector<RefusedCompiler>* refusals = nullptr);

  std::filesystem::path resourceFolder_;
  std::string searchPath_;
  std::mutex mutex_;
  std::condition_variable answered_;
  std::map<std::string, Entry> answers_;
  std::thread prober_;
};

// Compilers::shared().forChoice(stored).
Compiler compilerForChoice(const std::optional<std::string>& stored);

}  // namespace fennelview
