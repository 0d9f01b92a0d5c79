// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace fennelview {

class Settings;

// The page a document was last shown on, kept beside its width and zoom under "preview:PATH"
// (key "page"): a path, or the empty string for the sample page. None when nothing was chosen.
std::optional<std::string> keptPage(const Settings& settings, const std::string& documentPath);
void keepPage(Settings& settings, const std::string& documentPath, const std::string& page);

}  // namespace fennelview
