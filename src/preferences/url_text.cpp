// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/url_text.hpp"

#include <glib.h>

#include <string>

#include "common/glib_ptr.hpp"

namespace fennelview {

bool isValidURL(std::string_view text) {
  const std::string copy(text);
  // g_uri_is_valid checks the scheme, the structure and the %XX escapes but lets any byte
  // through; escaping with every reserved character allowed changes a text only when it
  // holds one a URI may not (a space, a non-ASCII byte, a NUL).
  GCharPtr escaped(g_uri_escape_string(copy.c_str(), "!#$%&'()*+,/:;=?@[]", FALSE));
  return copy == escaped.get() && g_uri_is_valid(copy.c_str(), G_URI_FLAGS_NONE, nullptr);
}

}  // namespace fennelview
