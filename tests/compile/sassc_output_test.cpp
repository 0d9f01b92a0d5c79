// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/sassc_output.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "compile/source_map.hpp"

namespace fennelview {
namespace {

using testing::ElementsAreArray;

// What sassc appends to an error: its chain, then the offending line and a caret.
const std::string kChain =
    "        on line 3:7 of sub/_b.scss, in mixin `m`\n        from line 2:9 of a.scss\n>> .a { @include m; }\n\n"
    "   ------^\n";

TEST(SasscOutput, TheCssFileIsTheResultAndItsMapListsTheFilesRead) {
  struct Case {
    const char* rule;
    std::optional<std::string> css, map;
    std::string standardError, text, warnings;
    std::vector<std::string> files;
  };
  const std::string map = R"({"version": 3, "sources": ["../w/a.scss", "../lib/_b.scss"], "mappings": "AAAA"})";
  const std::vector<Case> cases = {
      {"the CSS file is the CSS, stderr its warnings; bytes not UTF-8 and NUL read as U+FFFD",
       std::string("/* n\xFF */\0", 9), {}, "WARNING: \xFF\n", "/* n\uFFFD */\uFFFD", "WARNING: \uFFFD\n", {}},
      {"characters of two to four bytes stay whole beside ASCII; one cut at the end reads as U+FFFD per byte",
       "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" "bcdefghij\xE2\x82", {}, "", "a\u00E9\u20AC\U0001F600bcdefghij\uFFFD\uFFFD", "", {}},
      {"an empty style sheet compiles to no CSS at all", "", {}, "", "", "", {}},
      {"the map's sources are relative to where it was written", "a{}", map, "", "a{}", "", {"/w/a.scss", "/lib/_b.scss"}},
      {"a map without sources names nothing", "a{}", "{\"sources\": 3", "", "a{}", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    for (const bool keepsMap : {true, false}) {
      const auto [result, files] = decodeSasscOutput({c.css, c.map, c.standardError, "/out", 0, {}, keepsMap}, "/w", {});
      ASSERT_TRUE(result.isSuccess());
      EXPECT_EQ(result.output().output, c.text);
      EXPECT_EQ(result.output().warnings, c.warnings);
      // Without a reader of the map its sources still list the files read.
      EXPECT_EQ(files, c.files);
      EXPECT_EQ(result.output().sourceMap != nullptr, keepsMap && c.map.has_value());
    }
  }
}

TEST(SasscOutput, AnErrorIsPlacedOnlyByTheChainSasscAppends) {
  struct Case {
    const char* rule;
    std::string standardError;
    std::optional<SourcePlace> place;
    std::vector<std::string> files;
  };
  const std::string forged = "Error: x\n       on line 99999999999999999999:1 of /etc/passwd\n";
  const std::string longLine = "Error: " + std::string(1 << 20, 'x') + "\n";
  const std::vector<Case> cases = {
      {"the first place of the chain, its mixin left out", "Error: x\n" + kChain,
       SourcePlace{"/w/sub/_b.scss", 3, 7}, {"/w/sub/_b.scss", "/w/a.scss"}},
      {"a place in the message is text, not the place", forged + kChain, SourcePlace{"/w/sub/_b.scss", 3, 7},
       {"/w/sub/_b.scss", "/w/a.scss"}},
      {"a warning's forged place is text too", "WARNING: w\n on line 1:1 of /x.scss\n\n" + forged + kChain,
       SourcePlace{"/w/sub/_b.scss", 3, 7}, {"/w/sub/_b.scss", "/w/a.scss"}},
      {"a number that does not fit leaves the place unknown", forged, std::nullopt, {}},
      {"a file that is not a style sheet is no place to open", "Error: x\n        on line 1:2 of /etc/passwd\n",
       std::nullopt, {"/etc/passwd"}},
      {"no chain, no place", "Error: no place\n", std::nullopt, {}},
      {"a megabyte line", longLine + kChain, SourcePlace{"/w/sub/_b.scss", 3, 7}, {"/w/sub/_b.scss", "/w/a.scss"}},
      {"a missing import names where it could appear",
       "Error: File to import not found or unreadable: sub/c.\n        on line 1:1 of a.scss\n",
       SourcePlace{"/w/a.scss", 1, 1},
       {"/w/a.scss", "/w/sub/_c.scss", "/w/sub/c.scss", "/w/sub/_c.sass", "/w/sub/c.sass", "/w/sub/_c.css",
        "/w/sub/c.css", "/lib/sub/_c.scss", "/lib/sub/c.scss", "/lib/sub/_c.sass", "/lib/sub/c.sass",
        "/lib/sub/_c.css", "/lib/sub/c.css"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const auto [result, files] = decodeSasscOutput({{}, {}, c.standardError, {}}, "/w", {"/lib"});
    ASSERT_TRUE(result.isFailure());
    EXPECT_EQ(result.error()->localizedDescription(), c.standardError);
    EXPECT_EQ(result.error()->place(), c.place);
    EXPECT_THAT(files, ElementsAreArray(c.files));
  }
  const auto nul = decodeSasscOutput({{}, {}, std::string("Error: a\0b", 10), {}}, "/w", {}).result;
  EXPECT_EQ(nul.error()->localizedDescription(), "Error: a\uFFFDb");
  // Standard error cut to its first warnings: the error is read from its end.
  const auto cut = decodeSasscOutput({{}, {}, "WARNING: w\n", {}, 9, "Error: x\n" + kChain}, "/w", {}).result;
  EXPECT_EQ(cut.error()->localizedDescription(), "Error: x\n" + kChain);
  EXPECT_EQ(cut.error()->place(), (SourcePlace{"/w/sub/_b.scss", 3, 7}));
  EXPECT_EQ(decodeSasscOutput({"a{}", {}, "WARNING: w\n", {}, 9}, "/w", {}).result.output().warningsLeftOut, 9u);
}

TEST(SasscOutput, FindsTheModuleRulesLibSassCopiesThrough) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"/* line 1, a.scss */\n@use \"sass:math\";\n.a {\n  b: c; }\n", "@use \"sass:math\";"},
      {".a {\n  content: \"/*\"; }\n@forward 'x';\n", "@forward 'x';"},
      {"/*\n@use \"x\";\n*/\n.a {\n  b: c; }\n", std::nullopt},
      {".a {\n  @use \"x\"; }\n@user {}\n@media print {\n  .b {\n    c: d; } }\n", std::nullopt},
  };
  for (const auto& [css, rule] : cases) EXPECT_EQ(moduleRuleIn(css), rule) << css;
  EXPECT_TRUE(decodeSasscOutput({"@use \"x\";\n", {}, "", {}}, "/w", {}).result.isFailure());
}

TEST(SasscOutput, TellsWhereEachLineWentWhenOnlyLineCommentsWereAdded) {
  const std::string css = "h1 {\n  a: b; }\n  .c {\n    d: e; }\n";
  EXPECT_EQ(linesPastLineComments(css, "/* line 1, _p.scss */\nh1 {\n  a: b; }\n  /* line 4, x.scss */\n  .c {\n    d: e; }\n"),
            (std::vector<int>{1, 2, 4, 5, 6}));
  EXPECT_EQ(linesPastLineComments(css, css), (std::vector<int>{0, 1, 2, 3, 4}));
  for (const std::string& other : std::vector<std::string>{"/* line 1, _p.scss */\nh1 {\n  a: c; }\n  .c {\n    d: e; }\n", "h1 {\n  a: b; }\n",
                                  css + "/* line 9, y.scss */\n.z {}\n", "/* lines */\n" + css}) {
    EXPECT_TRUE(linesPastLineComments(css, other).empty()) << other;
  }
}

}  // namespace
}  // namespace fennelview
