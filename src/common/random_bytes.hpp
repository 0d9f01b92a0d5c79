// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace fennelview {

// `count` bytes fit for a secret: from the kernel's generator, never waiting on one that fails
// (then the random device, and GLib's generator as the last resort).
std::string randomBytes(std::size_t count);

}  // namespace fennelview
