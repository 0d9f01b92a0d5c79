// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compiler_output.hpp"

#include <glib.h>

#include <algorithm>

namespace fennelview {

std::string compilerText(std::string bytes) {
  const char* rest = bytes.data();
  const char* const end = bytes.data() + bytes.size();
  const char* invalid = nullptr;
  if (g_utf8_validate_len(rest, bytes.size(), &invalid)) return bytes;
  std::string text;
  text.reserve(bytes.size() + 16);
  while (rest < end) {
    g_utf8_validate_len(rest, static_cast<gsize>(end - rest), &invalid);
    text.append(rest, invalid);
    if (invalid == end) break;
    text.append("\xEF\xBF\xBD");
    rest = invalid + 1;
  }
  return text;
}

std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace fennelview
