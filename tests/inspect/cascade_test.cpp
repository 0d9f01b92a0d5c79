// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/cascade.hpp"

#include <gtest/gtest.h>

#include "inspect_project.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

TEST(CascadeTest, OrdersTheRulesOfRealSasscOutputBySpecificityThenSourceOrder) {
  test::TempDir dir;
  const auto sheet = scanStyleSheet(test::compileInspectProject(dir.path()).css);
  EXPECT_EQ(candidateSelectors(sheet),
            (std::vector<std::string>{".btn.primary", ".btn.primary:hover", ".btn.primary .icon", "#page a[href]",
                                      ".nav > li::before", ".grid", ":where(.btn)"}));
  // What the page answers for <button class="btn primary"> at a wide width.
  EXPECT_EQ(cascadeFor(sheet, {".btn.primary", ":where(.btn)"}),
            (std::vector<CascadeEntry>{
                {5, false, {0, 2, 0}}, {1, false, {0, 2, 0}}, {0, false, {0, 2, 0}}, {7, false, {0, 0, 0}}}));
}

// Layers in the order of their first mention; a layer's own rules beat its sublayers'.
TEST(CascadeTest, PutsImportantDeclarationsFirstWithTheLayerOrderReversed) {
  const auto sheet = scanStyleSheet(
      "@layer a, b;\n@layer b { .x { color: red !important; top: 0 } }\n@layer a { #y { color: blue !important } }\n"
      ".x { color: green }\n#y.x, .z { left: 0 }\n.x { color: black !important }\n.z { color: white }\n"
      "@layer b.inner { .x { bottom: 0 } }\n@layer { .x { right: 0 } }\n");
  EXPECT_EQ(cascadeFor(sheet, {".x", "#y", "#y.x"}),
            (std::vector<CascadeEntry>{{1, true, {1, 0, 0}}, {0, true, {0, 1, 0}}, {4, true, {0, 1, 0}},
                                       {3, false, {1, 1, 0}}, {2, false, {0, 1, 0}}, {7, false, {0, 1, 0}},
                                       {0, false, {0, 1, 0}}, {6, false, {0, 1, 0}}}));
}

// A picked element is under the pointer: rules that hold only so come after those of the element at rest.
TEST(CascadeTest, RulesThatNeedThePointerComeLast) {
  const std::pair<const char*, bool> selectors[] = {
      {".btn:hover", true},  {"a:HOVER .icon", true}, {".x:active", true},       {".btn", false},
      {":hovered", false},   {"[title=':hover']", false}, {".a\\:hover", false}, {".x:focus", false},
  };
  for (const auto& [selector, pointer] : selectors) EXPECT_EQ(needsPointer(selector), pointer) << selector;
  const auto sheet = scanStyleSheet(".btn:hover { color: red !important }\n.btn:hover, .primary { top: 0 }\n"
                                    ".btn { color: blue }\n");
  EXPECT_EQ(cascadeFor(sheet, {".btn:hover", ".btn", ".primary"}),
            (std::vector<CascadeEntry>{{2, false, {0, 1, 0}}, {1, false, {0, 1, 0}}, {0, true, {0, 2, 0}, true}}));
}

}  // namespace
}  // namespace fennelview
