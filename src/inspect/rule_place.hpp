// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "inspect/style_sheet.hpp"

namespace fennelview {

// Where a position of the compiled CSS came from: a file (a path, or a URL the map gave) and a line from 1.
struct MappedPosition {
  std::string file;
  int line = 0;
};

// A source map's lookup from a generated line and column (both from 1).
using PositionLookup = std::function<std::optional<MappedPosition>(int line, int column)>;

// A rule's place in the Sass, with the name shown for it: the file's own name and the line,
// as "_buttons.scss:7".
struct RulePlace {
  std::string file;
  int line = 0;
  std::string displayName;
  bool operator==(const RulePlace&) const = default;
};

// Asks the map where the rule's selector came from, or, when the map says nothing there, its
// first declaration. None when the map knows neither.
std::optional<RulePlace> placeOfRule(const StyleRule& rule, const PositionLookup& lookup);

}  // namespace fennelview
