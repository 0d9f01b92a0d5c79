// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/embedded_compiler.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/unique_fd.hpp"
#include "compile/dart_sass_output.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;
using test::runUntil;
using test::TempDir;
using test::writeFile;

constexpr std::chrono::seconds kTimeout(60);

std::uint64_t residentBytes(pid_t pid) {
  std::uint64_t size = 0, resident = 0;
  std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> size >> resident;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// Real Dart Sass, warm, in its own test folder.
class EmbeddedCompilerTest : public ::testing::Test {
 protected:
  TempDir dir;
  EmbeddedCompiler compiler{test::realResources() / "dart-sass" / "sass", dir.path()};

  // Starts a compile of `name` in the test folder; the outcome lands in `into`.
  std::uint32_t start(const std::string& name, std::optional<EmbeddedCompiler::Outcome>& into) {
    return compiler.compile({(dir / name).string(), {}, true}, kTimeout,
                            [&into](EmbeddedCompiler::Outcome outcome) { into = std::move(outcome); });
  }
  // The CSS or the message of a finished compile.
  static std::string textOf(const std::optional<EmbeddedCompiler::Outcome>& outcome) {
    if (!outcome) return "(none)";
    if (outcome->stopped) return *outcome->stopped;
    const auto result = decodeDartSassMessages(outcome->messages, outcome->standardError).result;
    return result.isFailure() ? result.error()->localizedDescription().value_or("") : result.output().output;
  }
  std::string compile(const std::string& name) {
    std::optional<EmbeddedCompiler::Outcome> outcome;
    start(name, outcome);
    EXPECT_TRUE(runUntil([&] { return outcome.has_value(); }, kTimeout));
    return textOf(outcome);
  }
};

TEST_F(EmbeddedCompilerTest, OneProcessServesEveryCompileAndSeesEachChange) {
  writeFile(dir / "main.scss", "@use \"part\";\n.m { w: part.$w; }\n");
  for (int save = 1; save <= 7; ++save) {
    writeFile(dir / "_part.scss", "$w: " + std::to_string(save) + "px;\n");
    EXPECT_THAT(compile("main.scss"), HasSubstr("w: " + std::to_string(save) + "px;")) << "save " << save;
    if (save == 1) { ASSERT_TRUE(compiler.processId()); }
  }
  EXPECT_EQ(compiler.processesStarted(), 1u);

  // Several in flight, each answered under its own id; a cancelled one is never answered.
  std::optional<EmbeddedCompiler::Outcome> outcomes[4];
  std::uint32_t tickets[4];
  for (int i = 0; i < 4; ++i) {
    writeFile(dir / ("f" + std::to_string(i) + ".scss"), ".f" + std::to_string(i) + " { n: " + std::to_string(i) + "; }");
  }
  for (int i = 0; i < 4; ++i) tickets[i] = start("f" + std::to_string(i) + ".scss", outcomes[i]);
  compiler.cancel(tickets[1]);
  EXPECT_TRUE(runUntil([&] { return outcomes[0] && outcomes[2] && outcomes[3]; }, kTimeout));
  test::runFor(std::chrono::milliseconds(100));
  EXPECT_FALSE(outcomes[1]);
  for (int i : {0, 2, 3}) EXPECT_THAT(textOf(outcomes[i]), HasSubstr(".f" + std::to_string(i) + " {\n  n: " + std::to_string(i)));
  EXPECT_EQ(compiler.processesStarted(), 1u);
}

TEST_F(EmbeddedCompilerTest, ACrashedIdleOrLongSupersededProcessIsStartedAgainForTheNextCompile) {
  writeFile(dir / "a.scss", ".a { b: c; }");
  // A compile that would never end, superseded once it has run a while, takes its process with it.
  ASSERT_EQ(mkfifo((dir / "_pipe.scss").c_str(), 0600), 0);
  writeFile(dir / "blocked.scss", "@import \"pipe\";\n");
  std::optional<EmbeddedCompiler::Outcome> blocked;
  compiler.setRestartAfter(std::chrono::milliseconds(0));
  const auto ticket = start("blocked.scss", blocked);
  // It has run a while once it is reading the pipe, which is held open without a word.
  UniqueFd pipe;
  ASSERT_TRUE(runUntil([&] {
    pipe.reset(open((dir / "_pipe.scss").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    return bool(pipe);
  }, kTimeout));
  compiler.cancel(ticket);
  EXPECT_THAT(compile("a.scss"), HasSubstr(".a {\n  b: c;"));
  EXPECT_EQ(compiler.processesStarted(), 2u);

  // A compile on a process that has died fails, or is tried once more on a new process when the
  // death is seen before its answer is due; either way the next one gets a new process.
  kill(*compiler.processId(), SIGKILL);
  std::optional<EmbeddedCompiler::Outcome> during;
  start("a.scss", during);
  ASSERT_TRUE(runUntil([&] { return during.has_value(); }, kTimeout));
  EXPECT_THAT(textOf(during), AnyOf(HasSubstr("Dart Sass ended without giving a result"), HasSubstr(".a {\n  b: c;")));
  EXPECT_THAT(compile("a.scss"), HasSubstr(".a {\n  b: c;"));
  EXPECT_EQ(compiler.processesStarted(), 3u);

  compiler.setIdleTime(std::chrono::milliseconds(100));
  compile("a.scss");
  const auto pid = *compiler.processId();
  EXPECT_TRUE(runUntil([&] { return !compiler.processId() && test::processEnded(pid); }));
  EXPECT_THAT(compile("a.scss"), HasSubstr(".a {\n  b: c;"));
  EXPECT_EQ(compiler.processesStarted(), 4u);
  EXPECT_FALSE(blocked);
}

TEST_F(EmbeddedCompilerTest, AStyleSheetThatNeverEndsIsStoppedAtTheMemoryLimitAndTheOthersAreRetried) {
  // Dart Sass reads a partial that is /dev/zero until it runs out of memory.
  std::filesystem::create_symlink("/dev/zero", dir / "_zero.scss");
  writeFile(dir / "endless.scss", "@import \"zero\";\n");
  // In flight until the test writes the partial it reads, a named pipe.
  ASSERT_EQ(mkfifo((dir / "_pipe.scss").c_str(), 0600), 0);
  writeFile(dir / "piped.scss", "@import \"pipe\";\n.p { q: $v; }\n");
  writeFile(dir / "small.scss", ".a { b: c; }");
  compile("small.scss");
  const auto warm = residentBytes(*compiler.processId());
  compiler.setLimits({.residentBytes = warm + (std::uint64_t{100} << 20), .memoryCheckInterval = std::chrono::milliseconds(50)});
  std::optional<EmbeddedCompiler::Outcome> endless, piped;
  start("endless.scss", endless);
  start("piped.scss", piped);
  ASSERT_TRUE(runUntil([&] { return endless.has_value(); }, kTimeout));
  // Tried again alone, once the culprit was found; the pipe is written once it is read.
  UniqueFd pipe;
  ASSERT_TRUE(runUntil([&] {
    pipe.reset(open((dir / "_pipe.scss").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    return bool(pipe);
  }, kTimeout));
  ASSERT_EQ(write(pipe.get(), "$v: 7;\n", 7), 7);
  pipe.reset();
  ASSERT_TRUE(runUntil([&] { return piped.has_value(); }, kTimeout));
  EXPECT_THAT(textOf(endless), HasSubstr("used more than"));
  // Stopped with both in flight, then tried one at a time: three processes in all.
  EXPECT_EQ(compiler.processesStarted(), 3u);
  EXPECT_THAT(textOf(piped), HasSubstr(".p {\n  q: 7;"));
}

}  // namespace
}  // namespace fennelview
