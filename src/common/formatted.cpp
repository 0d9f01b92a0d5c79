// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/formatted.hpp"

#include <cstdarg>

#include "common/glib_ptr.hpp"

namespace fennelview {

std::string formatted(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  GCharPtr text(g_strdup_vprintf(format, arguments));
  va_end(arguments);
  return text.get();
}

}  // namespace fennelview
