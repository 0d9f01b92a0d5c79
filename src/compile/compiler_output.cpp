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

std::optional<std::string> moduleRuleIn(std::string_view css) {
  bool inComment = false;
  std::size_t start = 0;
  while (start < css.size()) {
    const auto end = std::min(css.find('\n', start), css.size());
    const auto line = css.substr(start, end - start);
    for (const std::string_view rule : {"@use", "@forward"}) {
      if (!inComment && line.starts_with(rule) && line.size() > rule.size() &&
          (line[rule.size()] == ' ' || line[rule.size()] == '"' || line[rule.size()] == '\'')) {
        return std::string(line);
      }
    }
    // Comments may span lines; strings may not, and a "/*" inside one opens nothing.
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (inComment) {
        if (line.substr(i, 2) == "*/") inComment = false, ++i;
      } else if (quote) {
        if (line[i] == '\\') ++i;
        else if (line[i] == quote) quote = 0;
      } else if (line[i] == '"' || line[i] == '\'') {
        quote = line[i];
      } else if (line.substr(i, 2) == "/*") {
        inComment = true, ++i;
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace fennelview
