// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/source_map.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(SourceMap, FindsTheMappingAtOrBeforeAColumn) {
  const SourceMap map(R"({"version": 3, "sourceRoot": "src", "sources": ["a.scss", "file:///abs/b.scss", "sass:math"],
                          "sourcesContent": ["A", null], "mappings": "AAAA,IAAI;;ECCA,KACE"})",
                      "/base");
  EXPECT_EQ(map.sources(), (std::vector<std::string>{"/base/src/a.scss", "/abs/b.scss", "sass:math"}));
  EXPECT_EQ(map.contentOf("/base/src/a.scss"), "A");
  EXPECT_EQ(map.contentOf("/abs/b.scss"), std::nullopt);
  const std::pair<std::pair<int, int>, std::optional<SourcePlace>> cases[] = {
      {{1, 1}, SourcePlace{"/base/src/a.scss", 1, 1}},  {{1, 4}, SourcePlace{"/base/src/a.scss", 1, 1}},
      {{1, 5}, SourcePlace{"/base/src/a.scss", 1, 5}},  {{1, 900}, SourcePlace{"/base/src/a.scss", 1, 5}},
      {{2, 1}, std::nullopt},                            {{3, 2}, std::nullopt},
      {{3, 3}, SourcePlace{"/abs/b.scss", 2, 5}},        {{3, 8}, SourcePlace{"/abs/b.scss", 3, 7}},
      {{4, 1}, std::nullopt},                            {{0, 1}, std::nullopt},
      {{1, 0}, std::nullopt},
  };
  for (const auto& [at, place] : cases) EXPECT_EQ(map.placeOf(at.first, at.second), place) << at.first << ":" << at.second;
}

TEST(SourceMap, MalformedMapsGiveWhatCanBeReadAndNoMore) {
  const std::optional<SourcePlace> a = SourcePlace{"/b/a", 1, 1};
  const std::pair<const char*, std::optional<SourcePlace>> cases[] = {
      {"", std::nullopt},
      {"[1, 2]", std::nullopt},
      {R"({"sources": "a", "mappings": "AAAA"})", std::nullopt},
      {R"({"sources": [3], "mappings": "AAAA"})", std::nullopt},
      {R"({"sources": ["a"], "mappings": 7})", std::nullopt},
      {R"({"sources": ["a"], "mappings": "AAAA,!;AAAA"})", a},  // what came before the fault stands
      {R"({"sources": ["a"], "mappings": "ACAA"})", std::nullopt},     // a source that is not there
      {R"({"sources": ["a"], "mappings": "DAAA"})", std::nullopt},     // a negative column
      {R"({"sources": ["a"], "mappings": "AADA"})", std::nullopt},     // a negative line
      {R"({"sources": ["a"], "mappings": "A"})", std::nullopt},        // a segment without a source
      {R"({"sources": ["a"], "mappings": "AA"})", std::nullopt},
      {R"({"sources": ["a"], "mappings": "AAAAAA"})", std::nullopt},
      {R"({"sources": ["a"], "mappings": "AAgggggggggggggggggggAA"})", std::nullopt},
      {R"({"sources": ["a"], "mappings": "AA+/+/+/PA"})", std::nullopt},  // beyond any line a file has
      {R"({"sources": ["a"], "mappings": "AAAA,gggggggggggggggggggA"})", a},
  };
  for (const auto& [text, place] : cases) EXPECT_EQ(SourceMap(text, "/b").placeOf(1, 1), place) << text;
}

}  // namespace
}  // namespace fennelview
