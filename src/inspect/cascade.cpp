// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/cascade.hpp"

#include <algorithm>
#include <cctype>
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

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool needsPointer(std::string_view selector) {
  char quote = 0;
  int brackets = 0;
  for (std::size_t i = 0; i < selector.size(); ++i) {
    const char c = selector[i];
    if (c == '\\') {
      ++i;
    } else if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[' || c == ']') {
      brackets += c == '[' ? 1 : (brackets > 0 ? -1 : 0);
    } else if (c == ':' && brackets == 0) {
      std::size_t end = i + 1;
      std::string name;
      while (end < selector.size() && name.size() < 7 &&
             (std::isalnum(static_cast<unsigned char>(selector[end])) || selector[end] == '-')) {
        name += lower(selector[end++]);
      }
      const bool whole = end == selector.size() || !(std::isalnum(static_cast<unsigned char>(selector[end])) || selector[end] == '-');
      if (whole && (name == "hover" || name == "active")) return true;
    }
  }
  return false;
}

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
    // The most specific selector that matches at rest, else the most specific under the pointer.
    std::optional<Specificity> atRest, underPointer;
    for (const auto& selector : splitSelectorList(rule.selectorText)) {
      if (!matching.contains(selector)) continue;
      auto& best = needsPointer(selector) ? underPointer : atRest;
      best = std::max(best.value_or(Specificity{}), specificityOf(selector));
    }
    const bool pointer = !atRest;
    const auto best = atRest ? atRest : underPointer;
    if (!best) continue;
    const auto important = std::ranges::count_if(rule.declarations, [](const auto& d) { return d.important; });
    if (important > 0) entries.push_back({index, true, *best, pointer});
    if (important < static_cast<std::ptrdiff_t>(rule.declarations.size()) || rule.declarations.empty()) {
      entries.push_back({index, false, *best, pointer});
    }
  }
  // Strongest first.
  std::ranges::stable_sort(entries, [&](const CascadeEntry& a, const CascadeEntry& b) {
    if (a.pointer != b.pointer) return b.pointer;
    if (a.important != b.important) return a.important;
    auto layers = compareLayers(sheet.rules[a.rule].layerOrder, sheet.rules[b.rule].layerOrder);
    if (layers != 0) return a.important ? layers < 0 : layers > 0;
    if (a.specificity != b.specificity) return a.specificity > b.specificity;
    return a.rule > b.rule;
  });
  return entries;
}

}  // namespace fennelview
