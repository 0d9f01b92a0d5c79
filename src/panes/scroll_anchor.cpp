// SPDX-License-Identifier: GPL-3.0-or-later
#include "panes/scroll_anchor.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace fennelview {

std::optional<ScrollAnchor> parseScrollAnchor(std::string_view text) {
  const auto at = text.find('@');
  if (at == std::string_view::npos) return std::nullopt;
  ScrollAnchor anchor;
  const auto fraction = text.substr(at + 1);
  const auto [fractionEnd, fractionError] = std::from_chars(fraction.data(), fraction.data() + fraction.size(), anchor.fraction);
  if (fractionError != std::errc() || fractionEnd != fraction.data() + fraction.size() || !std::isfinite(anchor.fraction)) {
    return std::nullopt;
  }
  anchor.fraction = std::clamp(anchor.fraction, 0.0, 1.0);
  auto path = text.substr(0, at);
  while (!path.empty()) {
    if (anchor.path.size() == kDeepestAnchor) return std::nullopt;
    const auto slash = path.find('/');
    const auto step = path.substr(0, slash);
    int index = 0;
    const auto [end, error] = std::from_chars(step.data(), step.data() + step.size(), index);
    if (step.empty() || error != std::errc() || end != step.data() + step.size() || index < 0 || index > kLargestAnchorIndex) {
      return std::nullopt;
    }
    anchor.path.push_back(index);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
    if (path.empty()) return std::nullopt;
  }
  return anchor;
}

std::string scrollAnchorArguments(const ScrollAnchor& anchor) {
  std::string text = "[";
  for (std::size_t i = 0; i < anchor.path.size(); ++i) text += (i ? "," : "") + std::to_string(anchor.path[i]);
  char fraction[32];
  const auto [end, error] = std::to_chars(fraction, fraction + sizeof fraction, anchor.fraction);
  return text + "], " + (error == std::errc() ? std::string(fraction, end) : "0");
}

}  // namespace fennelview
