// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

class Settings;

// The folders searched for imports when the document at `documentPath` compiles, in this
// order: the entries of $SASS_PATH (colon-separated, as Sass tools read it), the user's list
// from the settings, those kept for the document's project root (see projectSettings), and
// the nearest node_modules folder
// above the document, so that `@import "bootstrap/scss/bootstrap"` works in an npm project.
std::vector<std::string> loadPathsFor(const std::string& documentPath, const Settings& settings);

// The URL of the import a compile could not find, read from the compiler's message: Dart Sass's
// "Can't find stylesheet to import." with the text its excerpt underlines, or LibSass's "File to
// import not found or unreadable: URL."; none for another error.
std::optional<std::string> missingImport(std::string_view errorText);

// Bounds of the search below node_modules: folders visited, and depth below it.
inline constexpr std::size_t maximumModuleFolders = 4000;
inline constexpr int maximumModuleDepth = 4;

// The folder below the project's node_modules that, as a load path, makes `url` resolve as Sass
// resolves an import (partials, .scss/.sass/.css, index files), relative to the project root:
// the shallowest, then by name. Dot-folders and linked folders are not searched; none when no
// folder within the bounds does, or the URL is absolute or climbs out.
std::optional<std::filesystem::path> nodeModulesFolderFor(std::string_view url, const std::filesystem::path& projectRoot);

}  // namespace fennelview
