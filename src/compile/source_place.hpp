// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

// A place in a source file: the file (an absolute path once decoded; the protocol's messages
// carry a URL) and the line and column, counted from 1, when known.
struct SourcePlace {
  std::string file;
  std::optional<int> line;
  std::optional<int> column;
  bool operator==(const SourcePlace&) const = default;
};

// A decimal number from a compiler's text, from 1 up to INT_MAX; none for anything else, so a
// number too large is an unknown place, never an exception.
std::optional<int> placeNumber(std::string_view digits);

// Whether an error link may open `place`: its file is one of `filesRead` (the files the compile
// read, or the document follows) and is a style sheet. A compiler's message can name any file
// in a text that looks like a place; only a file the compile really read is offered.
bool mayLink(const SourcePlace& place, const std::vector<std::string>& filesRead);

}  // namespace fennelview
