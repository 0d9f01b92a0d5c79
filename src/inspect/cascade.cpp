// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/cascade.hpp"

#include <algorithm>
#include <climits>
#include <optional>

namespace fennelview {

namespace {

// Layer order for normal declarations: later layers win; a rule directly in a layer (or in none)
// wins over that layer's sublayers.
std::strong_ordering compareLayers(const std::vector<int>& a, const std::vector<int>& b) {
  for (std::size_t i = 0;; ++i) {
    const int left = i < a.size() ? a[i] : INT_MAX;
    const int right = i < b.size() ? b[i] : INT_MAX;
    if (left != right) return left <=> right;
    if (left == INT_MAX) return std::strong_ordering::equal;
  }
}

}  // namespace

std::vector<std::string> candidateSelectors(const StyleSheet& sheet) {
  std::vector<std::string> selectors;
  std::unordered_set<std::string> seen;
  for (const auto& rule : sheet.rules) {
    for (auto& selector : splitSelectorList(rule.selectorText)) {
      if (seen.insert(selector).second) selectors.push_back(std::move(selector));
    }
  }
  return selectors;
}

std::vector<CascadeEntry> cascadeFor(const StyleSheet& sheet, const std::unordered_set<std::string>& matching) {
  std::vector<CascadeEntry> entries;
  for (std::size_t index = 0; index < sheet.rules.size(); ++index) {
    const auto& rule = sheet.rules[index];
    std::optional<Specificity> best;
    for (const auto& selector : splitSelectorList(rule.selectorText)) {
      if (!matching.contains(selector)) continue;
      const auto specificity = specificityOf(selector);
      if (!best || specificity > *best) best = specificity;
    }
    if (!best) continue;
    const auto important = std::ranges::count_if(rule.declarations, [](const auto& d) { return d.important; });
    if (important > 0) entries.push_back({index, true, *best});
    if (important < static_cast<std::ptrdiff_t>(rule.declarations.size()) || rule.declarations.empty()) {
      entries.push_back({index, false, *best});
    }
  }
  // Strongest first.
  std::ranges::stable_sort(entries, [&](const CascadeEntry& a, const CascadeEntry& b) {
    if (a.important != b.important) return a.important;
    auto layers = compareLayers(sheet.rules[a.rule].layerOrder, sheet.rules[b.rule].layerOrder);
    if (layers != 0) return a.important ? layers < 0 : layers > 0;
    if (a.specificity != b.specificity) return a.specificity > b.specificity;
    return a.rule > b.rule;
  });
  return entries;
}

}  // namespace fennelview
