// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/utf8.hpp"

#include <glib.h>

#include <algorithm>

namespace fennelview {

bool isValidUtf8(std::string_view bytes) {
  std::size_t start = 0;
  while (start <= bytes.size()) {
    const auto end = std::min(bytes.find('\0', start), bytes.size());
    if (!g_utf8_validate(bytes.data() + start, static_cast<gssize>(end - start), nullptr)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace fennelview
