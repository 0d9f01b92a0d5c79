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

}  // namespace fennelview
