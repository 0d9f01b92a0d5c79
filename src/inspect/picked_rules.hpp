// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "compile/source_map.hpp"
#include "inspect/rule_place.hpp"
#include "inspect/style_sheet.hpp"

namespace fennelview {

// One row of what applies to a picked element: a rule at its place in the cascade, with the
// declarations that place stands for and where the rule came from in the Sass.
struct PickedRule {
  std::string selector;      // the first of the rule's selectors that matched
  std::string selectorList;  // all of them, as the rule has them
  std::size_t otherSelectors = 0;  // how many more the list has
  bool asWritten = false;    // the rule's own selector, its nesting not resolved
  bool pointer = false;      // it applies only because the pointer is on the element

  std::vector<Declaration> declarations;
  bool important = false;
  std::vector<Condition> conditions;
  std::string layer;
  std::optional<RulePlace> place;  // none without a map, or where the map says nothing
  int cssLine = 0;                 // the rule's line in the compiled CSS
  bool operator==(const PickedRule&) const = default;
};

// Every distinct grouping condition of the sheet (@media, @supports, ...), for the page to judge.
std::vector<Condition> conditionsOf(const StyleSheet& sheet);

// The page's answers for `conditions`, in their order, as a test; a condition it did not answer holds.
std::function<bool(const Condition&)> conditionTest(const std::vector<Condition>& conditions,
                                                    const std::optional<std::vector<bool>>& answers);

// At most the first `most` bytes of `text`, cut between characters, with "…" when cut: what a
// label can lay out at once.
std::string clipped(std::string_view text, std::size_t most);

// The rules of `sheet` that apply to an element of which the selectors in `matching` hold,
// strongest first, leaving out rules under a condition that `holds` rejects. `placeOf` names
// where the rule with the given index came from (through a map, decoded only then).
std::vector<PickedRule> pickedRules(const StyleSheet& sheet, const std::unordered_set<std::string>& matching,
                                    const std::function<bool(const Condition&)>& holds,
                                    const std::function<std::optional<RulePlace>(std::size_t rule)>& placeOf);

}  // namespace fennelview
