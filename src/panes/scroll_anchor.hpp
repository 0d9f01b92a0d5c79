// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

// Where a pane is scrolled to, told by the element under its top edge rather than by a share of
// the page: at another width the same content sits elsewhere, the same element does not. The
// element is its path from the body (its index among its parent's element children, level by
// level) and the edge lies `fraction` of the way down it (0 at its top, 1 at its bottom).
struct ScrollAnchor {
  std::vector<int> path;
  double fraction = 0.0;
  bool operator==(const ScrollAnchor&) const = default;
};

inline constexpr std::size_t kDeepestAnchor = 256;
inline constexpr int kLargestAnchorIndex = 1000000;

// The page's text "I/J/K@FRACTION" ("@FRACTION" for the body itself); none for anything else,
// an index over kLargestAnchorIndex or a path deeper than kDeepestAnchor. A fraction outside
// 0..1 is brought within it.
std::optional<ScrollAnchor> parseScrollAnchor(std::string_view text);
// The anchor as a script's arguments: "[I,J,K], FRACTION".
std::string scrollAnchorArguments(const ScrollAnchor& anchor);

}  // namespace fennelview
