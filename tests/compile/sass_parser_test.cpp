#include "compile/sass_parser.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using test::readFile;
using test::runUntil;
using test::TempDir;
using test::writeFile;
using test::writeScript;

// Runs one compile to its end on the main loop.
ParsingResult compileWith(SassParser& parser, const std::string& path) {
  std::optional<ParsingResult> result;
  parser.parseFile(path, [&](ParsingResult r) { result = std::move(r); });
  EXPECT_TRUE(runUntil([&] { return result.has_value(); }, std::chrono::seconds(30)));
  return result.value_or(ParsingResult::failure(ParsingError::parsingFailed("test: no result")));
}

std::string messageOf(const ParsingResult& result) {
  return result.isFailure() ? result.error()->localizedDescription().value_or("") : "";
}

class SassParserTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(SassParserTest, RealSasscGivesCssWithLineNumbersOrItsMessage) {
  SassParser parser;
  EXPECT_EQ(parser.executablePath(), test::realSassc().string());
  writeFile(dir / "a.scss", "$c: #123456;\n.nav {\n  a { color: $c; }\n}\n");
  EXPECT_THAT(compileWith(parser, (dir / "a.scss").string()).output().output,
              AllOf(HasSubstr("/* line 3, "), HasSubstr(".nav a {\n  color: #123456; }")));
  writeFile(dir / "broken.scss", ".a {\n  color: red;\n");
  EXPECT_THAT(messageOf(compileWith(parser, (dir / "broken.scss").string())),
              AllOf(HasSubstr("Error: "), HasSubstr("broken.scss")));
}

TEST_F(SassParserTest, RunsThePathThenTheLineNumbersOptionWithEmptyInputInItsOwnGroup) {
  SassParser parser(writeScript(dir / "args", R"sh(printf '%s|' "$#" "$@"; cat
[ "$(cut -d' ' -f5 /proc/$$/stat)" = $$ ] && printf leader)sh"));
  EXPECT_EQ(compileWith(parser, "/tmp/a.scss").output().output, "2|/tmp/a.scss|--line-numbers|leader");
}

TEST_F(SassParserTest, TwentyMegabytesOnBothStreamsArriveWhole) {
  // Far more than a pipe holds: the child would block if the streams were read only at the end.
  SassParser parser(writeScript(dir / "big",
                                "head -c 20000000 /dev/zero | tr '\\000' 'a'; "
                                "head -c 1000000 /dev/zero | tr '\\000' 'w' >&2"));
  EXPECT_EQ(compileWith(parser, "x.scss").output().output, std::string(20000000, 'a'));
}

TEST_F(SassParserTest, ACompilerThatCannotStartFailsSayingWhy) {
  writeFile(dir / "sassc", "a{}");
  for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
           {(dir / "nowhere").string(), "No such file"}, {(dir / "sassc").string(), "ermission denied"}, {"", "no"}}) {
    SassParser parser(path);
    EXPECT_THAT(messageOf(compileWith(parser, "x.scss")),
                AllOf(HasSubstr("could not be started"), HasSubstr(path), HasSubstr(reason)));
  }
}

TEST_F(SassParserTest, TheTimeLimitStopsACompilerWhoseHelperHoldsThePipes) {
  // The compiler itself ends at once; the helper it started keeps both pipes open.
  SassParser parser(writeScript(dir / "forks", "sleep 30 & echo $! > '" + (dir / "helper").string() + "'"));
  parser.setTimeout(std::chrono::milliseconds(500));
  EXPECT_NE(messageOf(compileWith(parser, "x.scss")).find("timed out"), std::string::npos);
  const pid_t helper = std::stoi(readFile(dir / "helper"));
  EXPECT_TRUE(runUntil([&] { return test::processEnded(helper); }));
}

TEST_F(SassParserTest, ACompilerDiesWithTheAppThatStartedIt) {
  const auto script = writeScript(dir / "stuck", "echo $$ > '" + (dir / "pid").string() + "'; exec sleep 30");
  // The app: a process that starts a compile and is then killed outright.
  const pid_t app = fork();
  if (app == 0) {
    SassParser parser(script);
    parser.parseFile("x.scss", [](ParsingResult) {});
    for (;;) pause();
  }
  ASSERT_TRUE(runUntil([&] { return readFile(dir / "pid").find('\n') != std::string::npos; }));
  kill(app, SIGKILL);
  waitpid(app, nullptr, 0);
  const pid_t compiler = std::stoi(readFile(dir / "pid"));
  EXPECT_TRUE(runUntil([&] { return test::processEnded(compiler); }));
  kill(compiler, SIGKILL);
}

}  // namespace
}  // namespace fennelview
