// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "compile/source_map.hpp"
#include "inspect/style_sheet.hpp"

namespace fennelview {

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
std::optional<RulePlace> placeOfRule(const StyleRule& rule, const SourceMap& map);

// A line of the CSS by its place in the Sass: where the map puts the line's first non-blank
// character (at `column`, from 1), else the last place the map gives on that line.
std::optional<RulePlace> placeOfLine(int line, int column, const SourceMap& map);

}  // namespace fennelview
