// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/specificity.hpp"

#include <gtest/gtest.h>

#include <string>

namespace fennelview {
namespace {

TEST(SpecificityTest, CountsEachKindOfSimpleSelector) {
  const struct {
    std::string selector;
    Specificity expected;
  } cases[] = {
      {"*", {0, 0, 0}},
      {"button", {0, 0, 1}},
      {".btn.primary", {0, 2, 0}},
      {"#page a[href]", {1, 1, 1}},
      {".nav > li::before", {0, 1, 2}},
      {"a:before", {0, 0, 2}},                      // the legacy one-colon pseudo-element
      {"a:hover .icon", {0, 2, 1}},
      {"[data-x=\"a]b\"] p", {0, 1, 1}},            // a bracket inside a quoted value
      {"svg|circle", {0, 0, 1}},                     // the namespace is no type
      {".a\\.b", {0, 1, 0}},                         // an escaped dot is part of the class name
      {":is(#a, .b) span", {1, 0, 1}},              // the most specific argument
      {":not(.a, .b.c)", {0, 2, 0}},
      {"p:has(> img#x)", {1, 0, 2}},
      {":where(#a .b) p", {0, 0, 1}},               // nothing from :where
      {":is(:where(#a), .b)", {0, 1, 0}},
      {"li:nth-child(2n + 1 of .x)", {0, 1, 1}},    // counted as one pseudo-class
      {"::slotted(#x)", {0, 0, 1}},
      {".a, #b", {1, 0, 0}},                         // of a list: its greatest member
      {":is(:is(:is(:is(.a))))", {0, 1, 0}},
      {"a:is(", {0, 0, 1}},                          // cut short: what was there
  };
  for (const auto& c : cases) {
    EXPECT_EQ(specificityOf(c.selector), c.expected) << c.selector;
  }
}

TEST(SpecificityTest, DeepNestingIsSkippedNotFollowed) {
  const std::string deep = std::string(100000, '(') + "#x" + std::string(100000, ')') + " .a";
  EXPECT_EQ(specificityOf(":is" + deep), (Specificity{0, 1, 0}));
}

}  // namespace
}  // namespace fennelview
