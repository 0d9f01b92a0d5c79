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

INSTANTIATE_TEST_SUITE_P(BothCompilers, RulePlaceTest, ::testing::Values(test::Compiler::kLibSass, test::Compiler::kDartSass),
                         [](const auto& info) { return info.param == test::Compiler::kLibSass ? "LibSass" : "DartSass"; });

}  // namespace
}  // namespace fennelview
