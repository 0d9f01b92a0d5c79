// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "preferences/settings.hpp"

namespace fennelview {

// The arguments that make the editor run as `executable` open `file` at a line and column,
// for the editors whose command line takes a position; none for the others.
std::optional<std::vector<std::string>> editorLineArguments(const std::string& executable, const std::string& file,
                                                            int line, int column);

// Opens the file in the stored default editor at the line where its command line allows,
// and just the file otherwise. Returns whether a launch was asked for.
bool openFileAtLineInDefaultEditor(Settings& settings, const std::string& file, int line, int column);

}  // namespace fennelview
