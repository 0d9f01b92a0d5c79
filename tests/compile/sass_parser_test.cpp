#include "compile/sass_parser.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <optional>
#include <vector>

#include "test_support.hpp"

namespace fennelview {
namespace {

using test::runUntil;
using test::TempDir;
using test::writeFile;

// A fake compiler: a shell script standing in for sassc.
std::string makeScript(const TempDir& dir, const std::string& name, const std::string& body) {
  const auto path = dir / name;
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path.string();
}

// Runs one compile to its end on the main loop.
ParsingResult compileWith(SassParser& parser, const std::string& path) {
  std::optional<ParsingResult> result;
  parser.parseFile(path, [&](ParsingResult r) { result = std::move(r); });
  EXPECT_TRUE(runUntil([&] { return result.has_value(); }, std::chrono::seconds(30)));
  return result.value_or(ParsingResult::failure(ParsingError::parsingFailed("test: no result")));
}

bool processAlive(pid_t pid) { return kill(pid, 0) == 0; }

// Gone, or ended and waiting for a parent to collect it.
bool processEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string id, name, state;
  return !(stat >> id >> name >> state) || state == "Z";
}

class SassParserTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(SassParserTest, FindsSasscInTheResourceFolder) {
  SassParser parser;
  EXPECT_EQ(parser.executablePath(), test::realSassc().string());
}

TEST_F(SassParserTest, RealSasscCompilesWithLineNumberComments) {
  const auto file = dir / "a.scss";
  writeFile(file, "$c: #123456;\n.nav {\n  a { color: $c; }\n}\n");
  SassParser parser;
  const auto result = compileWith(parser, file.string());
  ASSERT_TRUE(result.isSuccess());
  EXPECT_NE(result.output().output.find("/* line 3, "), std::string::npos) << result.output().output;
  EXPECT_NE(result.output().output.find(".nav a {"), std::string::npos);
  EXPECT_NE(result.output().output.find("color: #123456;"), std::string::npos);
  EXPECT_EQ(result.output().parsingTime, 0.0);
}

TEST_F(SassParserTest, RealSasscSyntaxErrorGivesItsMessageWithCode3001) {
  const auto file = dir / "broken.scss";
  writeFile(file, ".a {\n  color: red;\n");
  SassParser parser;
  const auto result = compileWith(parser, file.string());
  ASSERT_TRUE(result.isFailure());
  EXPECT_EQ(result.error()->code(), 3001);
  const auto message = result.error()->localizedDescription().value_or("");
  EXPECT_NE(message.find("Error: "), std::string::npos) << message;
  EXPECT_NE(message.find("broken.scss"), std::string::npos) << message;
  EXPECT_NE(message.find('\n'), std::string::npos) << "line breaks are kept";
}

TEST_F(SassParserTest, PassesThePathThenTheLineNumbersOption) {
  SassParser parser(makeScript(dir, "args", R"(printf '%s|%s|%s' "$#" "$1" "$2")"));
  EXPECT_EQ(compileWith(parser, "/tmp/a.scss").output().output, "2|/tmp/a.scss|--line-numbers");
  EXPECT_EQ(compileWith(parser, "").output().output, "2||--line-numbers");
}

TEST_F(SassParserTest, StreamsAreDecodedAsThePartSays) {
  struct Case {
    const char* name;
    const char* script;
    bool success;
    std::string text;  // the CSS, or the error message
  };
  const std::vector<Case> cases = {
      {"warnings on stderr are dropped", "printf 'a{}\\n'; printf 'WARNING: x\\n' >&2", true, "a{}\n"},
      {"a lone line break is output", "printf '\\n'", true, "\n"},
      {"exit status is not examined", "printf 'b{}'; exit 3", true, "b{}"},
      {"NUL is a character", "printf 'a\\000b'", true, std::string("a\0b", 3)},
      {"stderr text is the message", "printf 'Error: one\\n  two\\n' >&2; exit 1", false, "Error: one\n  two\n"},
      {"nothing at all is an empty message", "exit 0", false, ""},
      {"non-UTF-8 on both shows stderr with replacement characters", "printf '\\377\\376' ; printf 'bad \\300!' >&2",
       false, "bad \uFFFD!"},
      {"non-UTF-8 stdout falls back to stderr", "printf '\\377'; printf 'why' >&2", false, "why"},
      {"non-UTF-8 stdout alone says so", "printf '\\377'", false,
       "The Sass compiler wrote output that is not valid UTF-8 text."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SassParser parser(makeScript(dir, "fake", c.script));
    const auto result = compileWith(parser, "x.scss");
    ASSERT_EQ(result.isSuccess(), c.success);
    if (c.success) {
      EXPECT_EQ(result.output().output, c.text);
    } else {
      EXPECT_EQ(result.error()->code(), 3001);
      EXPECT_EQ(result.error()->localizedDescription(), c.text);
    }
  }
}

TEST_F(SassParserTest, TwentyMegabytesOnBothStreamsArriveWhole) {
  // Far more than a pipe holds: the child would block if the streams were read only at the end.
  SassParser parser(makeScript(dir, "big",
                               "head -c 20000000 /dev/zero | tr '\\000' 'a'; "
                               "head -c 1000000 /dev/zero | tr '\\000' 'w' >&2"));
  const auto result = compileWith(parser, "x.scss");
  ASSERT_TRUE(result.isSuccess());
  EXPECT_EQ(result.output().output.size(), 20000000u);
  EXPECT_EQ(result.output().output.find_first_not_of('a'), std::string::npos);
}

TEST_F(SassParserTest, ResultsArriveInTheOrderTheChildrenEnd) {
  SassParser parser(makeScript(dir, "order", R"sh(sleep "$(basename "$1")"; printf '%s' "$1")sh"));
  std::vector<std::string> ends;
  parser.parseFile("0.6", [&](ParsingResult r) { ends.push_back(r.output().output); });
  parser.parseFile("0", [&](ParsingResult r) { ends.push_back(r.output().output); });
  ASSERT_TRUE(runUntil([&] { return ends.size() == 2; }));
  EXPECT_EQ(ends, (std::vector<std::string>{"0", "0.6"}));
}

TEST_F(SassParserTest, AMissingCompilerFailsNamingTheExecutable) {
  const auto missing = (dir / "nowhere" / "sassc").string();
  SassParser parser(missing);
  const auto result = compileWith(parser, "x.scss");
  ASSERT_TRUE(result.isFailure());
  const auto message = result.error()->localizedDescription().value_or("");
  EXPECT_NE(message.find(missing), std::string::npos) << message;
  EXPECT_NE(message.find("could not be started"), std::string::npos) << message;
  EXPECT_NE(message.find("No such file"), std::string::npos) << message;
}

TEST_F(SassParserTest, ANonExecutableCompilerFailsSayingWhy) {
  const auto path = dir / "sassc";
  writeFile(path, "#!/bin/sh\necho a{}\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  SassParser parser(path.string());
  const auto message = compileWith(parser, "x.scss").error()->localizedDescription().value_or("");
  EXPECT_NE(message.find(path.string()), std::string::npos) << message;
  EXPECT_NE(message.find("ermission denied"), std::string::npos) << message;
}

TEST_F(SassParserTest, AnEmptyExecutablePathFailsClearly) {
  SassParser parser(std::string{});
  const auto message = compileWith(parser, "x.scss").error()->localizedDescription().value_or("");
  EXPECT_NE(message.find("sassc"), std::string::npos) << message;
}

TEST_F(SassParserTest, AChildThatNeverEndsIsKilledAtTheTimeLimit) {
  const auto pidFile = dir / "pid";
  SassParser parser(makeScript(dir, "forever", "echo $$ > '" + pidFile.string() + "'; sleep 30 & wait"));
  parser.setTimeout(std::chrono::milliseconds(500));
  const auto result = compileWith(parser, "x.scss");
  ASSERT_TRUE(result.isFailure());
  EXPECT_NE(result.error()->localizedDescription().value_or("").find("timed out"), std::string::npos);
  const pid_t pid = std::stoi(test::readFile(pidFile));
  EXPECT_TRUE(runUntil([&] { return !processAlive(pid); }, std::chrono::seconds(5)));
  EXPECT_EQ(parser.runningCount(), 0u);
}

TEST_F(SassParserTest, AChildThatNeverStopsWritingIsStoppedAtTheTimeLimit) {
  SassParser parser(makeScript(dir, "chatty", "exec yes 'a { b: c; }'"));
  parser.setTimeout(std::chrono::milliseconds(500));
  const auto result = compileWith(parser, "x.scss");
  ASSERT_TRUE(result.isFailure());
  EXPECT_NE(result.error()->localizedDescription().value_or("").find("timed out"), std::string::npos);
}

TEST_F(SassParserTest, CancelledCompilesAreKilledAndDeliverNothing) {
  const auto pidFile = dir / "pid";
  SassParser parser(makeScript(dir, "slow", "echo $$ > '" + pidFile.string() + "'; sleep 30; echo a{}"));
  bool delivered = false;
  parser.parseFile("x.scss", [&](ParsingResult) { delivered = true; });
  ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(pidFile) && !test::readFile(pidFile).empty(); }));
  const pid_t pid = std::stoi(test::readFile(pidFile));
  parser.cancelAll();
  EXPECT_EQ(parser.runningCount(), 0u);
  EXPECT_TRUE(runUntil([&] { return !processAlive(pid); }, std::chrono::seconds(5)));
  test::runFor(std::chrono::milliseconds(100));
  EXPECT_FALSE(delivered);
}

TEST_F(SassParserTest, ACompilerDiesWithTheAppThatStartedIt) {
  const auto pidFile = dir / "pid";
  const auto script = makeScript(dir, "stuck", "echo $$ > '" + pidFile.string() + "'; exec sleep 30");
  // The app: a process that starts a compile and is then killed outright.
  const pid_t app = fork();
  if (app == 0) {
    SassParser parser(script);
    parser.parseFile("x.scss", [](ParsingResult) {});
    pause();
    _exit(0);
  }
  ASSERT_GT(app, 0);
  ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(pidFile) && !test::readFile(pidFile).empty(); }));
  const pid_t compiler = std::stoi(test::readFile(pidFile));
  kill(app, SIGKILL);
  waitpid(app, nullptr, 0);
  EXPECT_TRUE(runUntil([&] { return processEnded(compiler); }, std::chrono::seconds(5)));
  if (!processEnded(compiler)) kill(compiler, SIGKILL);
}

}  // namespace
}  // namespace fennelview
