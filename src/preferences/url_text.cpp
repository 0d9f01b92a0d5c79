#include "preferences/url_text.hpp"

#include <glib.h>

#include <string>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

bool allowedInURI(unsigned char c) {
  if (g_ascii_isalnum(c)) return true;
  constexpr std::string_view others = "-._~:/?#[]@!$&'()*+,;=%";
  return others.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

bool isValidURL(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!allowedInURI(c)) return false;
    if (c == '%' && (i + 2 >= text.size() || !g_ascii_isxdigit(text[i + 1]) || !g_ascii_isxdigit(text[i + 2]))) {
      return false;
    }
  }
  const std::string copy(text);
  GCharPtr scheme(g_uri_parse_scheme(copy.c_str()));
  return scheme && g_uri_is_valid(copy.c_str(), G_URI_FLAGS_NONE, nullptr);
}

}  // namespace fennelview
