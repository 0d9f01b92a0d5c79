// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace fennelview {

// String equality under which canonically equivalent Unicode texts are equal
// (a precomposed "é" equals "e" + U+0301). Both sides are UTF-8.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace fennelview
