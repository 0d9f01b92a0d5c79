// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace fennelview {

// Registers the compiled window descriptions once; a static library would otherwise drop
// the generated constructor that registers them.
void registerWindowResources();

// A script the window runs in a page, by its path under the window's resources
// (e.g. "picker/element_picker.js"); empty when missing.
std::string windowScript(const std::string& name);

}  // namespace fennelview
