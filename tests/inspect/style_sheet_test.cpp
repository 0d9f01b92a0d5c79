// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/style_sheet.hpp"

#include <glib.h>

#include <algorithm>
#include <gtest/gtest.h>

#include "common/glib_ptr.hpp"
#include "inspect_project.hpp"
#include "test_support.hpp"

namespace fennelview {

void PrintTo(const Declaration& d, std::ostream* out) {
  *out << d.property << ": " << d.value << (d.important ? " !important" : "") << " @" << d.line << ":" << d.column;
}

namespace {

struct Expected {
  std::string selector;
  int line;
  int column;
  std::vector<Condition> conditions;
  std::vector<Declaration> declarations;
};

void expectRules(const StyleSheet& sheet, const std::vector<Expected>& expected) {
  ASSERT_EQ(sheet.rules.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& rule = sheet.rules[i];
    SCOPED_TRACE(expected[i].selector);
    EXPECT_EQ(rule.selectorText, expected[i].selector);
    EXPECT_EQ(rule.line, expected[i].line);
    EXPECT_EQ(rule.column, expected[i].column);
    EXPECT_EQ(rule.conditions, expected[i].conditions);
    EXPECT_EQ(rule.declarations, expected[i].declarations);
  }
}

TEST(StyleSheetTest, ListsTheRulesOfRealSasscOutput) {
  test::TempDir dir;
  const auto css = test::compileInspectProject(dir.path()).css;
  const Condition media{"media", "(min-width: 40em)"};
  const Condition supports{"supports", "(display: grid)"};
  expectRules(scanStyleSheet(css), {
      {".btn.primary", 1, 1, {}, {{"padding", "4px", false, 2, 3}}},
      {".btn.primary", 4, 1, {}, {{"color", "#c33", false, 5, 3}}},
      {".btn.primary:hover", 6, 3, {}, {{"color", "#a32929", false, 7, 5}}},
      {".btn.primary .icon", 8, 3, {}, {{"width", "1em", true, 9, 5}}},
      {"#page a[href], .nav > li::before", 11, 1, {},
       {{"content", "\"a;}{\"", false, 12, 3}, {"margin", "0", false, 13, 3}}},
      {".btn.primary", 16, 3, {media}, {{"font-size", "2em", false, 17, 5}}},
      {".grid", 19, 5, {media, supports}, {{"display", "grid", false, 20, 7}}},
      {":where(.btn)", 22, 1, {}, {{"color", "black", false, 23, 3}}},
  });
}

TEST(StyleSheetTest, ReadsAnyCssWithoutBeingMisled) {
  const std::string css =
      "/* a { b: c } */ @charset \"utf-8\";\n"
      "@import url(x.css);\n"
      "@keyframes spin { from { top: 0 } to { top: 1px } }\n"
      "@font-face { font-family: X; src: url(data:font/woff;base64,AA) }\n"
      ".a\\{b, .é[title='}'] { background: url(data:image/png;base64,AAA=); color : red ! IMPORTANT }\n"
      "@LAYER base { .c { --x: \"}\" } }\n"
      ".d { color: red; &:hover { color: blue } .e { top: 0 } @media print { left: 0 } }\n"
      ".f { color: red";
  expectRules(scanStyleSheet(css), {
      {".a\\{b, .é[title='}']", 5, 1, {},
       {{"background", "url(data:image/png;base64,AAA=)", false, 5, 24}, {"color", "red", true, 5, 69}}},
      {".c", 6, 15, {{"layer", "base"}}, {{"--x", "\"}\"", false, 6, 20}}},
      {".d", 7, 1, {}, {{"color", "red", false, 7, 6}}},
      {":is(.d):hover", 7, 18, {}, {{"color", "blue", false, 7, 28}}},
      {":is(.d) .e", 7, 42, {}, {{"top", "0", false, 7, 47}}},
      {".d", 7, 71, {{"media", "print"}}, {{"left", "0", false, 7, 71}}},
      {".f", 8, 1, {}, {{"color", "red", false, 8, 6}}},
  });
}

TEST(StyleSheetTest, NestingBeyondTheCapIsSkippedAndSaid) {
  std::string css;
  for (int i = 0; i < 100000; ++i) css += "@media screen {";
  css += ".deep { color: red }" + std::string(100000, '}') + ".after { color: blue }";
  const auto sheet = scanStyleSheet(css);
  EXPECT_TRUE(sheet.truncated);
  ASSERT_EQ(sheet.rules.size(), 1u);
  EXPECT_EQ(sheet.rules[0].selectorText, ".after");
}

// Each level of `a,b{` would double the resolved selector: 27 levels from 139 bytes make gigabytes.
TEST(StyleSheetTest, NestedSelectorsPastTheBudgetStayAsWrittenAndTheSheetIsListedInFull) {
  std::string css = "%x{";
  for (int i = 0; i < 27; ++i) css += "a,b{";
  css += "color:red" + std::string(28, '}') + ".after{top:0}";
  const auto sheet = scanStyleSheet(css);
  ASSERT_EQ(sheet.rules.size(), 29u);
  EXPECT_EQ(sheet.rules[1].selectorText, ":is(%x) a, :is(%x) b");
  EXPECT_FALSE(sheet.rules[1].asWritten);
  std::size_t total = 0;
  for (const auto& rule : sheet.rules) total += rule.selectorText.size();
  EXPECT_LT(total, 1024u * 1024u);
  EXPECT_TRUE(std::ranges::any_of(sheet.rules, &StyleRule::asWritten));
  EXPECT_EQ(sheet.rules[27].declarations.size(), 1u);
  EXPECT_EQ(sheet.rules[28].selectorText, ".after");
  EXPECT_FALSE(sheet.rules[28].asWritten);
  EXPECT_FALSE(sheet.truncated);

  // Groups inside a rule share its selector; past twice the budget the rest is left out and said.
  std::string groups = ":is(" + std::string(60000, 'x') + "){";
  for (int i = 0; i < 20000; ++i) groups += "@media print{top:0}";
  const auto grouped = scanStyleSheet(groups + "}");
  EXPECT_TRUE(grouped.truncated);
  EXPECT_LT(grouped.rules.size(), 100u);
}

}  // namespace
}  // namespace fennelview
