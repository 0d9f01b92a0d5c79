// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "compile/parsing_result.hpp"

namespace fennelview {

// What a compile gives: its result and the files it read (absolute, lexically normal).
struct CompilerOutput {
  ParsingResult result;
  std::vector<std::string> filesRead;
};

// A compiler's bytes as text: each byte that does not start a UTF-8 sequence, and each NUL,
// becomes U+FFFD (as a CSS parser reads NUL), so the text is whole wherever it goes.
std::string compilerText(std::string bytes);

// The lines of `text`, split at line feeds; a final line feed ends the last line.
std::vector<std::string_view> linesOf(std::string_view text);

}  // namespace fennelview
