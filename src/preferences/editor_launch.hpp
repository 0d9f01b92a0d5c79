// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>

#include "preferences/user_defaults.hpp"

namespace fennelview {

// Launches the application of a .desktop file (given by its file:// URL) on exactly one file
// (a file URL); one that runs in a terminal runs in the desktop's terminal. Returns whether it
// started; otherwise `failure`, when given, says why in the user's words. The context, when given,
// is the display's, so the editor opens where the user is and its start is shown.
bool launchEditor(const std::string& editorURL, const std::string& fileURL, std::string* failure = nullptr,
                  GAppLaunchContext* context = nullptr);

// The open-in-editor action of a document window: launches the editor stored under
// "defaultEditorPath" (or registered at start-up) on the document's file. Returns false, and
// says why in `failure`, when the value is not a string or not a URL, or there is no file.
bool openFileInDefaultEditor(UserDefaults& defaults, const std::optional<std::string>& fileURL,
                             std::string* failure = nullptr, GAppLaunchContext* context = nullptr);

}  // namespace fennelview
