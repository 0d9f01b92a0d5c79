// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "compile/parsing_result.hpp"

namespace fennelview {

// A compile's source map as the compiler wrote it; relative sources are relative to `baseDirectory`.
struct SourceMapText {
  std::string text;
  std::filesystem::path baseDirectory;
};

// Writes a compile's CSS to `target`, atomically: through its links to the file they name, an
// existing file keeping its mode, a missing folder made. With a map, the map goes first beside it as
// "NAME.css.map" (sources relative to it, so the pair can move together) and the CSS ends with a
// sourceMappingURL comment naming it. A failed compile writes nothing. Returns the message to
// show when nothing or not everything was written.
std::optional<std::string> exportCss(const ParsingResult& result, const std::filesystem::path& target,
                                     const std::optional<SourceMapText>& map = std::nullopt);

}  // namespace fennelview
