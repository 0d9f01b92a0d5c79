// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>

#include <string>

namespace fennelview {

// printf into a std::string, numbered placeholders included, so that a translated sentence
// may put its values in another order.
std::string formatted(const char* format, ...) G_GNUC_PRINTF(1, 2);

}  // namespace fennelview
