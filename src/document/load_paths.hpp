// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace fennelview {

class Settings;

// The folders searched for imports when the document at `documentPath` compiles, in this
// order: the entries of $SASS_PATH (colon-separated, as Sass tools read it), the user's list
// from the settings, those kept for the document's project root (see projectSettings), and
// the nearest node_modules folder
// above the document, so that `@import "bootstrap/scss/bootstrap"` works in an npm project.
std::vector<std::string> loadPathsFor(const std::string& documentPath, const Settings& settings);

}  // namespace fennelview
