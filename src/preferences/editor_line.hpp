// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "preferences/settings.hpp"

namespace fennelview {

// The arguments that make the editor run as `executable` open `file` at a line and column,
// for the editors whose command line takes a position; none for the others.
std::optional<std::vector<std::string>> editorLineArguments(const std::string& executable, const std::string& file,
                                                            int line, int column);

// An entry's Exec line with its file field code (%f, %F, %u or %U) replaced by `arguments`, quoted
// for it, and its other file codes dropped; the arguments go at its end when it has none.
std::string editorCommandLine(std::string_view exec, const std::vector<std::string>& arguments);

// Opens the file in the stored default editor at the line where its command line allows, and
// just the file otherwise: launched through GIO with the entry's own arguments and, when given,
// the display's launch context. Returns whether it started; otherwise `failure` says why.
bool openFileAtLineInDefaultEditor(Settings& settings, const std::string& file, int line, int column,
                                   GAppLaunchContext* context = nullptr, std::string* failure = nullptr);

}  // namespace fennelview
