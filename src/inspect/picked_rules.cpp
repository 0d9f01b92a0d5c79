// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/picked_rules.hpp"

#include <algorithm>

#include "inspect/cascade.hpp"

namespace fennelview {

std::vector<Condition> conditionsOf(const StyleSheet& sheet) {
  std::vector<Condition> conditions;
  for (const auto& rule : sheet.rules) {
    for (const auto& condition : rule.conditions) {
      if (std::ranges::find(conditions, condition) == conditions.end()) conditions.push_back(condition);
    }
  }
  return conditions;
}

std::vector<PickedRule> pickedRules(const StyleSheet& sheet, const std::unordered_set<std::string>& matching,
                                    const std::function<bool(const Condition&)>& holds,
                                    const std::function<std::optional<RulePlace>(std::size_t rule)>& placeOf) {
  std::vector<PickedRule> rows;
  for (const auto& entry : cascadeFor(sheet, matching)) {
    const auto& rule = sheet.rules[entry.rule];
    if (!std::ranges::all_of(rule.conditions, holds)) continue;
    PickedRule row{rule.selectorText, {}, entry.important, rule.conditions, rule.layer, std::nullopt, rule.line};
    for (const auto& declaration : rule.declarations) {
      if (declaration.important == entry.important) row.declarations.push_back(declaration);
    }
    row.place = placeOf(entry.rule);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace fennelview
