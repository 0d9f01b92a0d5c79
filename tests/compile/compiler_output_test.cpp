// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compiler_output.hpp"

#include <gmock/gmock.h>
#include <glib.h>
#include <gtest/gtest.h>

namespace fennelview {
namespace {

const std::string kChain = "Error: x\n        on line 3:7 of sub/_b.scss, in mixin `m`\n        from line 2:9 of a.scss\n";

std::string inlineMap(const std::string& json) {
  std::unique_ptr<gchar, decltype(&g_free)> encoded(
      g_base64_encode(reinterpret_cast<const guchar*>(json.data()), json.size()), g_free);
  return "\n/*# sourceMappingURL=data:application/json;base64," + std::string(encoded.get()) + " */";
}

TEST(CompilerOutput, StreamsMeanWhatTheRulesSay) {
  struct Case {
    const char* rule;
    std::string standardOutput, standardError;
    bool success;
    std::string text, warnings;  // the CSS and the warnings, or the error message
    std::vector<std::string> files;
  };
  const auto map = inlineMap(R"({"version": 3, "sources": ["a.scss", "../lib/_b.scss"], "mappings": ""})");
  const std::vector<Case> cases = {
      {"stdout is the CSS, stderr its warnings", "a{}\n", "WARNING: \xFF\n", true, "a{}\n", "WARNING: \uFFFD\n", {}},
      {"a lone line break is output", "\n", "", true, "\n", "", {}},
      {"NUL is a character", std::string("a\0b", 3), "", true, std::string("a\0b", 3), "", {}},
      {"a name that is not UTF-8 still shows its CSS", "/* line 1, n\xFF.scss */\na{}", "", true,
       "/* line 1, n\uFFFD.scss */\na{}", "", {}},
      {"the inline map is cut off and lists the files read", "a{}\n" + map, "", true, "a{}\n", "",
       {"/w/a.scss", "/lib/_b.scss"}},
      {"a map alone is no output", map, "", false, "", "", {"/w/a.scss", "/lib/_b.scss"}},
      {"without stdout, stderr is the message", "", "Error: one\n  two\n", false, "Error: one\n  two\n", "", {}},
      {"nothing at all is an empty message", "", "", false, "", "", {}},
      {"a message that is not UTF-8 shows replacement characters", "", "bad \xC0!", false, "bad \uFFFD!", "", {}},
      {"an error names the files of its chain", "", kChain, false, kChain, "", {"/w/sub/_b.scss", "/w/a.scss"}},
      {"a missing import names where it could appear", "",
       "Error: File to import not found or unreadable: sub/c.\n        on line 1:1 of a.scss\n", false, "", "",
       {"/w/a.scss", "/w/sub/_c.scss", "/w/sub/c.sass", "/w/sub/c.css", "/lib/sub/_c.scss", "/lib/sub/c.scss"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const auto [result, files] = decodeSasscStreams(c.standardOutput, c.standardError, "/w", {"/lib"});
    ASSERT_EQ(result.isSuccess(), c.success);
    if (c.success) {
      EXPECT_EQ(result.output(), CSSOutput(c.text, 0.0, c.warnings));
    } else if (!c.text.empty()) {
      EXPECT_EQ(result.error()->localizedDescription(), c.text);
      EXPECT_EQ(result.error()->code(), 3001);
    }
    EXPECT_THAT(files, testing::IsSupersetOf(c.files));
    EXPECT_EQ(files.size(), c.files.size() == 6 ? 13u : c.files.size()) << "six names in each folder";
  }
}

TEST(CompilerOutput, AnErrorCarriesItsFirstLocation) {
  const auto info = decodeSasscStreams("", kChain, "/w", {}).result.error()->userInfo();
  EXPECT_EQ(info.at("file"), UserInfoValue(std::string("/w/sub/_b.scss")));
  EXPECT_EQ(info.at("line"), UserInfoValue(std::int64_t{3}));
  EXPECT_EQ(info.at("column"), UserInfoValue(std::int64_t{7}));
  EXPECT_EQ(decodeSasscStreams("", "Error: no place", "/w", {}).result.error()->userInfo().size(), 1u);
}

TEST(CompilerOutput, FindsTheModuleRulesLibSassCopiesThrough) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"/* line 1, a.scss */\n@use \"sass:math\";\n.a {\n  b: c; }\n", "@use \"sass:math\";"},
      {".a {\n  content: \"/*\"; }\n@forward 'x';\n", "@forward 'x';"},
      {"/*\n@use \"x\";\n*/\n.a {\n  b: c; }\n", std::nullopt},
      {".a {\n  @use \"x\"; }\n@user {}\n@media print {\n  .b {\n    c: d; } }\n", std::nullopt},
  };
  for (const auto& [css, rule] : cases) EXPECT_EQ(moduleRuleIn(css), rule) << css;
}

TEST(CompilerOutput, DartSassWarningsAreOneParagraphEachAndAnEarlyEndSaysWhy) {
  using embedded::LogEvent;
  const std::vector<embedded::OutboundMessage> messages = {
      LogEvent{LogEvent::Type::kDeprecation, "x", "DEPRECATION WARNING [import]: x\n\nMore info\n\n  a.scss 1:9\n", "import"},
      LogEvent{LogEvent::Type::kWarning, "plain", "", ""},
      embedded::CompileSuccess{".a {\n  b: c;\n}", {"file:///p/a.scss", "sass:math"}}};
  const auto [result, files] = decodeDartSassMessages(messages, "");
  EXPECT_EQ(result.output(), CSSOutput(".a {\n  b: c;\n}", 0.0,
                                       "DEPRECATION WARNING [import]: x\nMore info\n  a.scss 1:9\n\nplain"));
  EXPECT_EQ(files, std::vector<std::string>{"/p/a.scss"});
  EXPECT_EQ(decodeDartSassMessages({}, "Bad state\n").result.error()->localizedDescription(),
            "Dart Sass ended without giving a result:\nBad state\n");
}

}  // namespace
}  // namespace fennelview
