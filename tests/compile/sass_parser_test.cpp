// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/sass_parser.hpp"

#include "compile/compile_limits.hpp"
#include "compile/compiler_output.hpp"
#include "compile/source_map.hpp"

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
using namespace test;

// Runs one compile to its end on the main loop.
CompilerOutput compileWith(SassParser& parser, const std::filesystem::path& path) {
  std::optional<CompilerOutput> done;
  parser.parseFile(path, [&](ParsingResult r, std::vector<std::string> files) { done.emplace(r, files); });
  EXPECT_TRUE(runUntil([&] { return done.has_value(); }, std::chrono::seconds(30)));
  return done.value_or(CompilerOutput{ParsingResult::failure(ParsingError::parsingFailed("test: none")), {}});
}

std::string messageOf(const ParsingResult& result) {
  return result.isFailure() ? result.error()->localizedDescription().value_or("") : "";
}

class SassParserTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(SassParserTest, RealSasscGivesTheCssOfBareSasscAndEveryFileItRead) {
  const std::map<std::string, std::string> project = {
      {"main.scss", "@import \"a\", \"ind\", \"plain\", \"mx\";\n@warn \"careful\";\n.m { @include m; c: $deep; }\n"},
      {"_a.scss", "@import \"sub/b\";\n"}, {"sub/_b.scss", "@import \"c\";\n"}, {"sub/_c.scss", "$deep: #123456;\n"},
      {"_ind.sass", ".s\n  t: u\n"}, {"plain.css", ".p { q: r; }\n"}, {"_mx.scss", "@mixin m { n: o; }\n"}};
  std::vector<std::string> all;
  for (const auto& [name, text] : project) all.push_back((writeFile(dir / name, text), (dir / name).string()));
  SassParser parser;
  EXPECT_EQ(parser.executablePath(), test::realSassc().string());
  const auto [result, files] = compileWith(parser, dir / "main.scss");
  const auto bare = "cd '" + dir.path().string() + "' && '" + test::realSassc().string() +
                    "' main.scss --line-numbers > bare.css 2>/dev/null";
  ASSERT_EQ(std::system(bare.c_str()), 0);
  EXPECT_EQ(result.output().output, readFile(dir / "bare.css"));
  EXPECT_THAT(result.output().warnings, HasSubstr("careful"));
  EXPECT_THAT(files, testing::UnorderedElementsAreArray(all));
  ASSERT_TRUE(result.output().sourceMap);
  EXPECT_EQ(result.output().sourceMap->placeOf(3, 3), (SourcePlace{(dir / "_ind.sass").string(), 2, 3}));

  writeFile(dir / "n\xFF.scss", ".n { o: p; }\n");  // sassc writes no map for such a name
  EXPECT_THAT(compileWith(parser, dir / "n\xFF.scss").result.output().output, HasSubstr("n\uFFFD.scss */\n.n {"));
  writeFile(dir / "broken.scss", ".a {\n  color: red;\n");
  EXPECT_THAT(messageOf(compileWith(parser, dir / "broken.scss").result),
              AllOf(HasSubstr("Error: "), HasSubstr("broken.scss")));
}

TEST_F(SassParserTest, RunsInTheFilesFolderWithItsOptionsEmptyInputAndItsOwnGroup) {
  // The CSS and its map go to a folder of the app's own, readable by the user only and gone
  // after the compile.
  SassParser parser(writeScript(dir / "args", R"sh(out=$(dirname "$2"); printf '%s|' "$(pwd)" "$@" > "$2"; cat >> "$2"
[ "$(cut -d' ' -f5 /proc/$$/stat)" = $$ ] && printf leader >> "$2"; stat -c '|%a' "$out" >> "$2"
echo '{"sources": ["../in.scss"]}' > "$2.map"; echo "$out" > ')sh" + (dir / "out").string() + "'"));
  parser.setLoadPaths({"L"});
  const auto [result, files] = compileWith(parser, dir / "x.scss");
  const auto folder = test::readFile(dir / "out").substr(0, test::readFile(dir / "out").size() - 1);
  EXPECT_EQ(result.output().output, dir.path().string() + "|" + (dir / "x.scss").string() + "|" + folder +
                                        "/out.css|--line-numbers|--sourcemap|--omit-map-comment|--load-path|L|leader|700\n");
  EXPECT_EQ(files, std::vector<std::string>{(std::filesystem::path(folder).parent_path() / "in.scss").string()});
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(SassParserTest, TwentyMegabytesOnBothStreamsArriveWhole) {
  // Far more than a pipe holds: the child would block if the streams were read only at the end.
  SassParser parser(writeScript(dir / "big",
                                "head -c 20000000 /dev/zero | tr '\\000' 'a'; "
                                "head -c 1000000 /dev/zero | tr '\\000' 'w' >&2"));
  EXPECT_EQ(compileWith(parser, "x.scss").result.output().output, std::string(20000000, 'a'));
}

TEST_F(SassParserTest, ACompilerPastItsLimitsIsStoppedSayingWhy) {
  struct Case { const char* script; const char* message; };
  // Small limits; the scripts would go on without end.
  const CompileLimits limits{.errorBytes = 128 << 10, .outputBytes = 256 << 10, .residentBytes = 40 << 20,
                             .memoryCheckInterval = std::chrono::milliseconds(20)};
  for (const auto& [script, message] : std::vector<Case>{
           {"yes", "the compiler's output is too large (sassc wrote more than 256 KB of CSS)"},
           // The shell itself grows, past the limit its group may hold.
           {"x=$(head -c 100000000 /dev/zero | tr '\\000' a); sleep 30", "sassc used more than 40 MB of memory"}}) {
    SassParser parser(writeScript(dir / "endless", script));
    parser.setLimits(limits);
    EXPECT_THAT(messageOf(compileWith(parser, "x.scss").result), HasSubstr(message)) << script;
  }
}

TEST_F(SassParserTest, BothCompilersShowTheCssOfAStyleSheetWithMegabytesOfWarningsAndKeepItsCharset) {
  // 2.8 MB of @warn beside a rule with non-ASCII text.
  writeFile(dir / "loud.scss", "a { content: \"\u00E9\"; }\n@for $i from 1 through 20000 { @warn \"" +
                                   std::string(100, 'w') + "#{$i}\"; }\n");
  for (const auto& compiler : {Compiler{std::string(kLibSassId), test::realSassc(), "LibSass"},
                               Compiler{std::string(kDartSassId), test::realResources() / "dart-sass" / "sass", "Dart Sass"}}) {
    SCOPED_TRACE(compiler.name);
    SassParser parser;
    parser.setCompiler(compiler);
    const auto result = compileWith(parser, dir / "loud.scss").result;
    ASSERT_TRUE(result.isSuccess()) << messageOf(result);
    // As the sass command writes it, so the CSS saved or served is read as UTF-8.
    EXPECT_TRUE(result.output().output.starts_with("@charset \"UTF-8\";\n")) << result.output().output;
    const auto& warnings = result.output().warnings;
    EXPECT_LE(warnings.size(), CompileLimits{}.errorBytes);
    EXPECT_THAT(warnings, HasSubstr(std::string(100, 'w') + "1\n"));
    std::size_t kept = 0;
    for (auto at = warnings.find("WARNING"); at != std::string::npos; at = warnings.find("WARNING", at + 1)) ++kept;
    EXPECT_GT(kept, 1000u);
    EXPECT_EQ(kept + result.output().warningsLeftOut, 20000u);
  }
}

TEST_F(SassParserTest, ACompilerThatCannotStartFailsSayingWhy) {
  writeFile(dir / "sassc", "a{}");
  for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
           {(dir / "nowhere").string(), "No such file"}, {(dir / "sassc").string(), "ermission denied"}, {"", "no"}}) {
    const auto says = AllOf(HasSubstr("could not be started"), HasSubstr(path), HasSubstr(reason));
    SassParser parser(path);
    EXPECT_THAT(messageOf(compileWith(parser, "x.scss").result), says);
    if (path.empty()) continue;
    parser.setCompiler({"dart-sass", path, "Dart Sass"});
    EXPECT_THAT(messageOf(compileWith(parser, dir / "x.scss").result), says);
  }
}

TEST_F(SassParserTest, TheTimeLimitStopsACompilerWhoseHelperHoldsThePipes) {
  // The compiler itself ends at once; the helper it started keeps both pipes open.
  SassParser parser(writeScript(dir / "forks", "sleep 30 & echo $! > '" + (dir / "helper").string() + "'"));
  parser.setTimeout(std::chrono::milliseconds(500));
  EXPECT_NE(messageOf(compileWith(parser, "x.scss").result).find("timed out"), std::string::npos);
  const pid_t helper = std::stoi(readFile(dir / "helper"));
  EXPECT_TRUE(runUntil([&] { return test::processEnded(helper); }));
}

TEST_F(SassParserTest, ADartSassThatStopsReadingItsRequestEndsTheCompileNotTheApp) {
  SassParser parser;
  parser.setCompiler({"dart-sass", writeScript(dir / "sass", "exec 0<&-; echo gone >&2; sleep 0.2"), "Dart Sass"});
  // More than a pipe holds, so that writing goes on after the child has closed its end.
  parser.setLoadPaths(std::vector<std::string>(2000, std::string(100, 'L')));
  const auto result = compileWith(parser, dir / "x.scss").result;
  EXPECT_EQ(messageOf(result), "Dart Sass ended without giving a result:\ngone\n");
  EXPECT_EQ(result.compilerName(), "Dart Sass");
}

TEST_F(SassParserTest, ACompilerDiesWithTheAppThatStartedIt) {
  const auto script = writeScript(dir / "stuck", "echo $$ > '" + (dir / "pid").string() + "'; exec sleep 30");
  // The app: a process that starts a compile and is then killed outright.
  const pid_t app = fork();
  if (app == 0) {
    SassParser parser(script);
    parser.parseFile("x.scss", [](ParsingResult, std::vector<std::string>) {});
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
