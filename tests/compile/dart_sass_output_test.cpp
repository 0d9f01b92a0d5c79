// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/dart_sass_output.hpp"

#include <gtest/gtest.h>

#include "compile/source_map.hpp"

namespace fennelview {
namespace {

using embedded::CompileFailure;
using embedded::CompileSuccess;
using embedded::LogEvent;

TEST(DartSassOutput, WarningsAreOneParagraphEachAndTheMapStaysBesideTheCss) {
  const std::vector<embedded::OutboundMessage> messages = {
      LogEvent{LogEvent::Type::kDeprecation, "x", "DEPRECATION WARNING [import]: x\n\nMore info\n\n  a.scss 1:9\n", "import"},
      LogEvent{LogEvent::Type::kWarning, std::string("pl\0in", 5), "", ""},
      CompileSuccess{std::string(".a {\n  b: \"\0\";\n}", 16), {"file:///p/a.scss", "sass:math"},
                     R"({"sources":["file:///p/a.scss"],"mappings":"AAAA"})"}};
  const auto [result, files] = decodeDartSassMessages(messages, "");
  EXPECT_EQ(result.output().output, ".a {\n  b: \"\uFFFD\";\n}");
  EXPECT_EQ(result.output().warnings, "DEPRECATION WARNING [import]: x\nMore info\n  a.scss 1:9\n\npl\uFFFDin");
  EXPECT_EQ(result.output().sourceMap->placeOf(1, 1), (SourcePlace{"/p/a.scss", 1, 1}));
  EXPECT_EQ(files, std::vector<std::string>{"/p/a.scss"});
}

TEST(DartSassOutput, AnErrorIsPlacedOnlyInAFileTheCompileLoaded) {
  const std::vector<std::string> loaded{"file:///p/a.scss", "file:///p/_b.scss"};
  const std::pair<SourcePlace, std::optional<SourcePlace>> cases[] = {
      {{"file:///p/_b.scss", 2, 13}, SourcePlace{"/p/_b.scss", 2, 13}},
      {{"file:///p/_b.scss", std::nullopt, std::nullopt}, SourcePlace{"/p/_b.scss", std::nullopt, std::nullopt}},
      {{"file:///etc/passwd", 1, 1}, std::nullopt},
      {{"file:///p/other.scss", 1, 1}, std::nullopt},
      {{"", 1, 1}, std::nullopt},
  };
  for (const auto& [span, place] : cases) {
    const auto result = decodeDartSassMessages({CompileFailure{"m", span, "Error: m", loaded}}, "").result;
    EXPECT_EQ(result.error()->place(), place) << span.file;
    EXPECT_EQ(result.error()->localizedDescription(), "Error: m");
  }
  EXPECT_EQ(decodeDartSassMessages({}, "Bad state\n").result.error()->localizedDescription(),
            "Dart Sass ended without giving a result:\nBad state\n");
}

}  // namespace
}  // namespace fennelview
