// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

// The ids of the compilers, also the values of the setting that chooses one.
inline constexpr std::string_view kLibSassId = "libsass";
inline constexpr std::string_view kDartSassId = "dart-sass";

struct Compiler {
  std::string id;  // kLibSassId or kDartSassId
  std::filesystem::path executable;
  // With the version the executable reports, e.g. "LibSass 3.6.5" or "Dart Sass 1.108.2";
  // the bare "LibSass" when the bundled sassc cannot be run.
  std::string name;
};

// The Sass compilers this machine offers: LibSass's sassc from the resource folder, and Dart Sass
// from the resource folder's dart-sass/ or else a `sass` on the search path. Each executable is
// asked its version once, when first needed, and the answer is kept.
class Compilers {
 public:
  // `searchPath` is a list of folders in the form of $PATH.
  Compilers(std::filesystem::path resourceFolder, std::string searchPath);
  Compilers(const Compilers&) = delete;
  Compilers& operator=(const Compilers&) = delete;

  // The app's: the resource folder and $PATH as they are at first use.
  static Compilers& shared();

  // The compilers that ran and reported their version, LibSass first. A Dart Sass that cannot
  // be run, or a `sass` that is some other program, is left out.
  std::vector<Compiler> found();

  // The compiler for the stored `compiler` setting: Dart Sass when chosen and found; LibSass
  // otherwise (no setting, an unknown value, or a chosen Dart Sass that is missing). LibSass is
  // returned even when its sassc cannot be run, so that compiles report why.
  Compiler forChoice(const std::optional<std::string>& stored);

 private:
  struct Slot {
    bool probed = false;
    std::optional<Compiler> compiler;
  };
  const std::optional<Compiler>& libSass();
  const std::optional<Compiler>& dartSass();

  std::filesystem::path resourceFolder_;
  std::string searchPath_;
  std::mutex mutex_;
  Slot libSass_;
  Slot dartSass_;
};

// Compilers::shared().forChoice(stored).
Compiler compilerForChoice(const std::optional<std::string>& stored);

}  // namespace fennelview
