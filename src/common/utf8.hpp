// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace fennelview {

// Whether the bytes decode as UTF-8. U+0000 counts as a character, as for any UTF-8
// decoder; GLib's own check stops at NUL bytes.
bool isValidUtf8(std::string_view bytes);

}  // namespace fennelview
