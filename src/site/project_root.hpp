// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>

namespace fennelview {

// The root of the project a document belongs to: the nearest folder above it that holds
// ".git" or "package.json", else the document's own folder. Never `home` or "/": a dotfiles
// repository in the home folder must not make all of it a site, so a marker there counts as
// none, and a document lying directly in either has no project (none).
std::optional<std::filesystem::path> projectRootOf(const std::filesystem::path& document,
                                                   const std::filesystem::path& home);

}  // namespace fennelview
