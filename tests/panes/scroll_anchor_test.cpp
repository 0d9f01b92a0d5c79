// SPDX-License-Identifier: GPL-3.0-or-later
#include "panes/scroll_anchor.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

// "0/0/…/0@0", `levels` deep.
std::string deep(std::size_t levels) {
  std::string text = "0";
  for (std::size_t i = 1; i < levels; ++i) text += "/0";
  return text + "@0";
}

TEST(ScrollAnchor, APagesAnchorIsReadOnlyWhenWholeAndWithinBounds) {
  const struct {
    std::string text;
    std::optional<ScrollAnchor> anchor;
  } cases[] = {
      {"3/0/12@0.25", ScrollAnchor{{3, 0, 12}, 0.25}},
      {"@0", ScrollAnchor{{}, 0.0}},
      {"1@1.5", ScrollAnchor{{1}, 1.0}},
      {"1@-2", ScrollAnchor{{1}, 0.0}},
      {"1000000@0", ScrollAnchor{{1000000}, 0.0}},
      {"1000001@0", std::nullopt},
      {"1/-1@0", std::nullopt},
      {"1//2@0", std::nullopt},
      {"1/@0", std::nullopt},
      {"1/x@0", std::nullopt},
      {"1@", std::nullopt},
      {"1@nan", std::nullopt},
      {"1@0.5;alert(1)", std::nullopt},
      {"1/2", std::nullopt},
      {deep(kDeepestAnchor), ScrollAnchor{std::vector<int>(kDeepestAnchor, 0), 0.0}},
      {deep(kDeepestAnchor + 1), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseScrollAnchor(c.text), c.anchor) << c.text.substr(0, 40);
  EXPECT_EQ(scrollAnchorArguments(ScrollAnchor{{3, 0, 12}, 0.25}), "[3,0,12], 0.25");
}

}  // namespace
}  // namespace fennelview
