// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "inspect/specificity.hpp"
#include "inspect/style_sheet.hpp"

namespace fennelview {

// The complex selectors of every rule, each once, in source order: what to ask the page about.
std::vector<std::string> candidateSelectors(const StyleSheet& sheet);

// A rule that applies to the element, and which of its declarations this place in the cascade
// stands for: its `!important` ones come before every normal declaration, so a rule with both
// kinds is in the cascade twice.
struct CascadeEntry {
  std::size_t rule;  // index into StyleSheet::rules
  bool important;    // the rule's declarations with this flag
  Specificity specificity;  // of the most specific of its selectors that matched
  // Each of its selectors that matched asks for :hover or :active: it applies because the pointer
  // is on the element (or around it) as it is picked, not to the element at rest.
  bool pointer = false;
  bool operator==(const CascadeEntry&) const = default;
};

// The rules of `sheet` that apply to an element of which the selectors in `matching` hold,
// strongest first: layers (unlayered last for normal declarations, first for important ones),
// then specificity, then source order; rules that hold only under the pointer come after all.
// Whether a selector asks for :hover or :active anywhere (outside strings and attribute values).
bool needsPointer(std::string_view selector);

std::vector<CascadeEntry> cascadeFor(const StyleSheet& sheet, const std::unordered_set<std::string>& matching);

}  // namespace fennelview
