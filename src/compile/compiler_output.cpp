#include "compile/compiler_output.hpp"

#include <glib.h>

#include "common/utf8.hpp"

namespace fennelview {

namespace {

// Each byte that does not start a valid sequence becomes U+FFFD, so the rest of the text
// still reads; NUL stays a character.
std::string decodeLossily(std::string bytes) {
  if (isValidUtf8(bytes)) return bytes;
  std::string text;
  const char* rest = bytes.data();
  const char* const end = bytes.data() + bytes.size();
  while (rest < end) {
    const char* invalid = nullptr;
    g_utf8_validate_len(rest, static_cast<gsize>(end - rest), &invalid);
    text.append(rest, invalid);
    if (invalid == end) break;
    text.append(*invalid == '\0' ? std::string_view("\0", 1) : std::string_view("\xEF\xBF\xBD"));
    rest = invalid + 1;
  }
  return text;
}

}  // namespace

ParsingResult resultFromStreams(std::string standardOutput, std::string_view standardError) {
  std::optional<CSSOutput> output;
  // A file name that is not UTF-8 reaches the line-number comments; the CSS still shows.
  if (!standardOutput.empty()) output.emplace(decodeLossily(std::move(standardOutput)));
  return ParsingResult::make(std::move(output), [&] {
    // sassc quotes the offending source line, so a file in another encoding gives a message
    // that is not UTF-8 either; showing it beats hiding it behind a generic text.
    return ParsingError::parsingFailed(decodeLossily(std::string(standardError)));
  });
}

}  // namespace fennelview
