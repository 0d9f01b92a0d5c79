// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace fennelview::test {

struct CompiledProject {
  std::string css;
  std::string map;  // its sources relative to the project's folder
};

enum class Compiler { kLibSass, kDartSass };

// A small Sass project (a partial, nesting, @extend, @media, @supports) written into `folder`
// and compiled by the real sassc or Dart Sass, map included.
CompiledProject compileInspectProject(const std::filesystem::path& folder, Compiler compiler = Compiler::kLibSass);

}  // namespace fennelview::test
