// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "compile/source_map.hpp"

namespace fennelview {

// How much source text one served map may carry; a source that does not fit goes without.
inline constexpr std::size_t kServedSourceBytes = 16u << 20;

// A compile's map as the page's CSS names it, for the web inspector: each source a file names by
// the URL `urlOf` gives it (so it shows by its own name, "_buttons.scss", and the page learns no
// more of where it lies), each with its text. Text the compiler put in the map stays; for the
// rest only the style sheets the map names are read, up to `sourceBytes` in all. None when the
// map cannot be read.
std::optional<std::string> servedSourceMap(const SourceMap& map, std::string_view cssName,
                                           const std::function<std::string(const std::filesystem::path&)>& urlOf,
                                           std::size_t sourceBytes = kServedSourceBytes);

}  // namespace fennelview
