// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace fennelview::test {

struct CompiledProject {
  std::string css;
  std::string map;  // its sources relative to the project's folder
};

// A small Sass project (a partial, nesting, @extend, @media, @supports) written into `folder`
// and compiled by the real sassc, map included.
CompiledProject compileInspectProject(const std::filesystem::path& folder);

}  // namespace fennelview::test
