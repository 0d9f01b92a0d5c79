// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/rule_place.hpp"

#include <gtest/gtest.h>

#include "inspect_project.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

class RulePlaceTest : public ::testing::TestWithParam<test::Compiler> {};

TEST_P(RulePlaceTest, NamesEachRuleByItsPlaceInTheSass) {
  test::TempDir dir;
  const auto compiled = test::compileInspectProject(dir.path(), GetParam());
  const auto sheet = scanStyleSheet(compiled.css);
  const SourceMap map(compiled.map, dir.path());
  std::vector<std::string> names;
  for (const auto& rule : sheet.rules) {
    const auto place = placeOfRule(rule, map);
    names.push_back(place ? place->displayName : "(none)");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"_buttons.scss:4", "_buttons.scss:6", "_buttons.scss:9", "_buttons.scss:10",
                                             "main.scss:2", "main.scss:4", "main.scss:6", "main.scss:9"}));
  EXPECT_EQ(placeOfRule(sheet.rules[1], map),
            (RulePlace{(dir.path() / "_buttons.scss").string(), 6, "_buttons.scss:6"}));
  EXPECT_EQ(placeOfRule(sheet.rules[1], SourceMap("{}")), std::nullopt);
}

TEST(LinePlace, ALineIsNamedByThePlaceAtItsFirstCharacterElseTheLastOnIt) {
  // Line 2 maps from its column 3, line 3 only from its column 7, line 4 to no source.
  const SourceMap map(R"({"sources": ["/s/_a.scss"], "mappings": ";EAAA;MACA;A"})");
  const std::pair<std::pair<int, int>, std::optional<std::string>> cases[] = {
      {{1, 1}, std::nullopt}, {{2, 3}, "_a.scss:1"}, {{2, 1}, "_a.scss:1"}, {{3, 3}, "_a.scss:2"},
      {{4, 1}, std::nullopt}, {{9, 1}, std::nullopt},
  };
  for (const auto& [at, name] : cases) {
    const auto place = placeOfLine(at.first, at.second, map);
    EXPECT_EQ(place ? std::optional(place->displayName) : std::nullopt, name) << at.first << ":" << at.second;
  }
}

INSTANTIATE_TEST_SUITE_P(BothCompilers, RulePlaceTest, ::testing::Values(test::Compiler::kLibSass, test::Compiler::kDartSass),
                         [](const auto& info) { return info.param == test::Compiler::kLibSass ? "LibSass" : "DartSass"; });

}  // namespace
}  // namespace fennelview
