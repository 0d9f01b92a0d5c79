// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace fennelview {

// Registers the compiled window descriptions once; a static library would otherwise drop
// the generated constructor that registers them.
void registerWindowResources();

}  // namespace fennelview
