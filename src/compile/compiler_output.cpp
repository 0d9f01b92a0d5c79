// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compiler_output.hpp"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace fennelview {

namespace {

// Where the leading run of ASCII bytes other than NUL ends, looked at eight at a time: CSS is
// mostly ASCII, and GLib's check goes byte by byte.
const char* pastPlainAscii(const char* at, const char* end) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull, kOnes = 0x0101010101010101ull;
  for (std::uint64_t word; end - at >= 8; at += 8) {
    std::memcpy(&word, at, 8);
    if ((word & kHigh) || ((word - kOnes) & ~word & kHigh)) break;  // a byte over 127, or a NUL
  }
  while (at < end && static_cast<unsigned char>(*at) - 1u < 0x7Fu) ++at;
  return at;
}

// The first byte from `at` that does not start a UTF-8 character, or is NUL; `end` if none.
const char* validUntil(const char* at, const char* end) {
  while ((at = pastPlainAscii(at, end)) < end) {
    const char* invalid = nullptr;
    // One character at a time past the ASCII: a cut one at the window's end is taken again whole.
    g_utf8_validate_len(at, static_cast<gsize>(std::min<std::ptrdiff_t>(4, end - at)), &invalid);
    if (invalid == at) return at;
    at = invalid;
  }
  return end;
}

}  // namespace

std::string compilerText(std::string bytes) {
  const char* const end = bytes.data() + bytes.size();
  const char* invalid = validUntil(bytes.data(), end);
  if (invalid == end) return bytes;
  std::string text;
  text.reserve(bytes.size() + 16);
  for (const char* rest = bytes.data();; invalid = validUntil(rest, end)) {
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
