// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/picked_rules.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(PickedRulesTest, ARowShowsTheSelectorThatMatchedAndLeavesOutConditionsThePageRejects) {
  const auto sheet = scanStyleSheet(".a, .b, .c { top: 0 }\n@media print { .b { left: 0 } }\n@media screen { .b { right: 0 } }");
  const auto conditions = conditionsOf(sheet);
  ASSERT_EQ(conditions, (std::vector<Condition>{{"media", "print"}, {"media", "screen"}}));
  const auto rows = pickedRules(sheet, {".b"}, conditionTest(conditions, std::vector<bool>{false}),
                                [](std::size_t) { return std::nullopt; });
  ASSERT_EQ(rows.size(), 2u);
  // A condition the page did not answer holds.
  EXPECT_EQ(rows[0].selector, ".b");
  EXPECT_EQ(rows[0].declarations.front().property, "right");
  EXPECT_EQ(rows[1].selector, ".b");
  EXPECT_EQ(rows[1].selectorList, ".a, .b, .c");
  EXPECT_EQ(rows[1].otherSelectors, 2u);
}

// Twenty thousand distinct conditions are judged in one pass, not one search per rule.
TEST(PickedRulesTest, ManyConditionsAreListedAndTestedOnce) {
  std::string css;
  for (int i = 0; i < 20000; ++i) css += "@media (min-width: " + std::to_string(i) + "px) { .x { top: 0 } }\n";
  const auto sheet = scanStyleSheet(css);
  const auto conditions = conditionsOf(sheet);
  ASSERT_EQ(conditions.size(), 20000u);
  std::vector<bool> answers(conditions.size());
  for (std::size_t i = 0; i < answers.size(); i += 2) answers[i] = true;
  EXPECT_EQ(pickedRules(sheet, {".x"}, conditionTest(conditions, answers), [](std::size_t) { return std::nullopt; }).size(),
            10000u);
}

TEST(PickedRulesTest, ClipsBetweenCharacters) {
  EXPECT_EQ(clipped("short", 10), "short");
  EXPECT_EQ(clipped("ab\u00e9cd", 3), "ab…");
  EXPECT_EQ(clipped("ab\u00e9cd", 4), "ab\u00e9…");
}

}  // namespace
}  // namespace fennelview
