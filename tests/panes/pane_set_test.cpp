// SPDX-License-Identifier: GPL-3.0-or-later
#include "panes/pane_set.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

using nlohmann::json;

TEST(PaneSet, StoredPanesReadEntryByEntry) {
  const Pane dark{375, MediaState{ColorScheme::dark}};
  const Pane paper{768, MediaState{std::nullopt, true, true}};
  const struct {
    const char* stored;
    std::vector<Pane> panes;
  } cases[] = {
      {R"([{"width": 375, "colorScheme": "dark"}, {"width": 768, "media": "print", "reducedMotion": true}])", {dark, paper}},
      // Each malformed entry alone is left out.
      {R"([7, {"width": "375"}, {"width": 375.5}, {"width": 119}, {"width": 7681}, {"width": 375, "colorScheme": "dim"},
          {"width": 375, "media": "screen"}, {"width": 375, "reducedMotion": 1}, {}, {"width": 375, "colorScheme": "dark"}])",
       {dark}},
      {R"({"width": 375})", {}},
      {R"("panes")", {}},
      {R"([{"width":200},{"width":200},{"width":200},{"width":200},{"width":200},{"width":200},{"width":200},{"width":200},
          {"width":999}])",
       std::vector<Pane>(kMostPanes, Pane{200, {}})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(panesFrom(json::parse(c.stored)), c.panes) << c.stored;
  }
}

TEST(PaneSet, WrittenPanesReadBackTheSame) {
  auto panes = defaultPanes();
  for (const auto& pane : lightDarkPanes(1024)) panes.push_back(pane);
  panes.push_back(Pane{600, MediaState{std::nullopt, true, true}});
  EXPECT_EQ(panesFrom(toJson(panes)), panes);
  EXPECT_EQ(toJson(panes)[0], json::parse(R"({"width": 375})")) << "states not set are not written";
}

TEST(PaneSet, PanesThatDoNotFitShareOneScale) {
  const struct {
    std::vector<int> widths;
    int available;
    double scale;
  } cases[] = {
      {{375, 768, 1280}, 3000, 1.0},
      {{375, 768, 1280}, 2423 + 2 * 8, 1.0},
      {{400, 800, 1200}, 1200 + 2 * 8, 0.5},
      {{1280, 1280}, 8, kSmallestPaneScale},
      {{}, 100, 1.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(fitScale(c.widths, c.available, 8), c.scale) << c.available;
}

TEST(PaneSet, PanesMoveOnePlaceWithinTheList) {
  auto panes = defaultPanes();
  EXPECT_TRUE(movePane(panes, 0, 1));
  EXPECT_EQ(panes[0].width, 768);
  EXPECT_FALSE(movePane(panes, 0, -1));
  EXPECT_FALSE(movePane(panes, 2, 1));
  EXPECT_FALSE(movePane(panes, 3, -1));
}

}  // namespace
}  // namespace fennelview
