#include "compile/compiler_output.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(CompilerOutput, StreamsMeanWhatTheRulesSay) {
  struct Case {
    const char* rule;
    std::string standardOutput, standardError;
    bool success;
    std::string text;  // the CSS, or the error message
  };
  const std::vector<Case> cases = {
      {"stdout is the CSS and stderr is dropped", "a{}\n", "WARNING: x\n", true, "a{}\n"},
      {"a lone line break is output", "\n", "", true, "\n"},
      {"NUL is a character", std::string("a\0b", 3), "", true, std::string("a\0b", 3)},
      {"a name that is not UTF-8 still shows its CSS", "/* line 1, n\xFF.scss */\na{}", "", true,
       "/* line 1, n\xEF\xBF\xBD.scss */\na{}"},
      {"without stdout, stderr is the message", "", "Error: one\n  two\n", false, "Error: one\n  two\n"},
      {"nothing at all is an empty message", "", "", false, ""},
      {"a message that is not UTF-8 shows replacement characters", "", "bad \xC0!", false, "bad \xEF\xBF\xBD!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const auto result = resultFromStreams(c.standardOutput, c.standardError);
    ASSERT_EQ(result.isSuccess(), c.success);
    EXPECT_EQ(c.success ? result.output() : CSSOutput(*result.error()->localizedDescription()), CSSOutput(c.text));
    EXPECT_EQ(result.isFailure() ? result.error()->code() : 3001, 3001);
  }
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

}  // namespace
}  // namespace fennelview
