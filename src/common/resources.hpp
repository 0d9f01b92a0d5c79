// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace fennelview {

// The folder that holds sassc and Template/: $FENNELVIEW_RESOURCES when set, else
// "resources" next to the executable (build tree), else the installed data folder's
// fennelview/ (../share/fennelview from bin/ in the usual layout).
// Empty when none of them exists.
std::filesystem::path resourceDirectory();

// Absolute path of a file in the resource folder (e.g. "sassc", "Template/index.html"),
// or none when the folder or the file is missing.
std::optional<std::filesystem::path> resourcePath(const std::string& relative);

// Dart Sass's `sass` launcher as the build bundles it: dart-sass/ in `resourceFolder` (the build
// tree's resource folder, or one a test makes), else the one installed under libexec
// (../libexec/fennelview/dart-sass/sass from bin/). None when neither exists.
std::optional<std::filesystem::path> bundledDartSass(const std::filesystem::path& resourceFolder);

// The folder of the message catalogues: "locale" next to the executable (build tree), else the
// installed one (../share/locale from bin/).
std::filesystem::path localeDirectory();

// Checks the resource folder at start-up; returns a message for the user, or none when
// sassc and the template are in place.
std::optional<std::string> checkResources();

}  // namespace fennelview
