// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "preferences/user_defaults.hpp"

namespace fennelview {

// Launches the application of a .desktop file (given by its file:// URL) on exactly one file
// (a file URL). Returns whether GIO started it; callers ignore a failure.
bool launchEditor(const std::string& editorURL, const std::string& fileURL);

// The open-in-editor action of a document window: launches the editor stored under
// "defaultEditorPath" (or registered at start-up) on the document's file. Ends silently,
// returning false, when the value is not a string or not a URL, or there is no file.
bool openFileInDefaultEditor(UserDefaults& defaults, const std::optional<std::string>& fileURL);

}  // namespace fennelview
