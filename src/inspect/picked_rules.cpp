// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/picked_rules.hpp"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "inspect/cascade.hpp"

namespace fennelview {

namespace {

struct ConditionHash {
  std::size_t operator()(const Condition& c) const {
    return std::hash<std::string>()(c.name) * 31 + std::hash<std::string>()(c.prelude);
  }
};

}  // namespace

std::vector<Condition> conditionsOf(const StyleSheet& sheet) {
  std::vector<Condition> conditions;
  std::unordered_set<Condition, ConditionHash> seen;
  for (const auto& rule : sheet.rules) {
    for (const auto& condition : rule.conditions) {
      if (seen.insert(condition).second) conditions.push_back(condition);
    }
  }
  return conditions;
}

std::function<bool(const Condition&)> conditionTest(const std::vector<Condition>& conditions,
                                                    const std::optional<std::vector<bool>>& answers) {
  auto holding = std::make_shared<std::unordered_map<Condition, bool, ConditionHash>>();
  for (std::size_t i = 0; answers && i < conditions.size() && i < answers->size(); ++i) {
    holding->emplace(conditions[i], (*answers)[i]);
  }
  return [holding](const Condition& condition) {
    const auto found = holding->find(condition);
    return found == holding->end() || found->second;
  };
}

std::string clipped(std::string_view text, std::size_t most) {
  if (text.size() <= most) return std::string(text);
  std::size_t end = most;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "…";
}

std::vector<PickedRule> pickedRules(const StyleSheet& sheet, const std::unordered_set<std::string>& matching,
                                    const std::function<bool(const Condition&)>& holds,
                                    const std::function<std::optional<RulePlace>(std::size_t rule)>& placeOf) {
  std::vector<PickedRule> rows;
  for (const auto& entry : cascadeFor(sheet, matching)) {
    const auto& rule = sheet.rules[entry.rule];
    if (!std::ranges::all_of(rule.conditions, holds)) continue;
    PickedRule row;
    const auto selectors = splitSelectorList(rule.selectorText);
    const auto first = std::ranges::find_if(selectors, [&](const auto& s) { return matching.contains(s); });
    row.selector = first != selectors.end() ? *first : rule.selectorText;
    row.selectorList = rule.selectorText;
    row.otherSelectors = selectors.empty() ? 0 : selectors.size() - 1;
    row.asWritten = rule.asWritten;
    row.pointer = entry.pointer;
    row.important = entry.important;
    row.conditions = rule.conditions;
    row.layer = rule.layer;
    row.cssLine = rule.line;
    for (const auto& declaration : rule.declarations) {
      if (declaration.important == entry.important) row.declarations.push_back(declaration);
    }
    row.place = placeOf(entry.rule);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace fennelview
