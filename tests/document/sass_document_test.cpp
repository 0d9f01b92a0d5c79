// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/sass_document.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "document/file_watcher.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

// The CSS, or the message of a failure.
std::string textOf(const std::shared_ptr<SassDocument>& doc) {
  const auto result = doc->parsingResult().value();
  return result.isSuccess() ? result.output().output : result.error()->localizedDescription().value_or("");
}

bool waitForText(const std::shared_ptr<SassDocument>& doc, const std::string& fragment) {
  return runUntil([&] { return textOf(doc).find(fragment) != std::string::npos; });
}

// Runs the main loop until what is already due at default priority, such as a compile a
// change asked for, has run.
void settle() {
  bool done = false;
  const auto last = MainLoopSource::idle([&] { done = true; }, G_PRIORITY_LOW);
  ASSERT_TRUE(runUntil([&] { return done; }));
}

class SassDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(file, ".a { color: #111111; }\n"); }
  void TearDown() override { std::ranges::for_each(docs_, &SassDocument::close); }
  std::shared_ptr<SassDocument> open(const std::filesystem::path& path, const std::string& compiler = "") {
    auto doc = compiler.empty() ? SassDocument::create(settings) : SassDocument::create(settings, compiler);
    doc->setFilePath(path.string());
    EXPECT_TRUE(doc->readFromURL(doc->fileURL().value_or(""), "scss"));
    docs_.push_back(doc);
    return doc;
  }

  TempDir dir;
  std::filesystem::path file = dir / "style.scss";
  Settings settings{dir / "settings.json"};
  std::vector<std::shared_ptr<SassDocument>> docs_;
};

TEST_F(SassDocumentTest, ShowsAnEmptySuccessWhileTheFirstCompileRunsThenItsTimedResult) {
  auto doc = open(file);
  EXPECT_EQ(doc->parsingResult().value().output(), CSSOutput("", 0.0));
  EXPECT_TRUE(doc->compiling().value());
  ASSERT_TRUE(waitForText(doc, "#111111"));
  EXPECT_FALSE(doc->compiling().value());
  EXPECT_GT(doc->parsingResult().value().output().parsingTime, 0.0);

  // A compile stopped at its time limit is timed too, not left with the last one's time.
  auto stopped = open(file, writeScript(dir / "slow", "sleep 30"));
  stopped->parser().setTimeout(std::chrono::milliseconds(300));
  stopped->parse();
  ASSERT_TRUE(waitForText(stopped, "timed out"));
  EXPECT_GE(stopped->parsingResult().value().compileSeconds().value_or(0), 0.3);
}

TEST_F(SassDocumentTest, FollowsSavesInPlaceByRenameAndAfterDeletion) {
  auto doc = open(file);
  writeFile(file, ".a { color: ;\n");
  EXPECT_TRUE(waitForText(doc, "Error"));
  test::writeFileByRename(file, ".a { color: #333333; }\n");
  EXPECT_TRUE(waitForText(doc, "#333333"));
  // Gone, or not a file: said before any compiler runs, and compiled as soon as it is back.
  const auto started = doc->parser().startedCount();
  std::filesystem::remove(file);
  EXPECT_TRUE(waitForText(doc, "The file \u201C" + file.string() + "\u201D was moved or deleted."));
  std::filesystem::create_directory(file);
  EXPECT_TRUE(waitForText(doc, "is not a file that can be compiled"));
  EXPECT_EQ(doc->parser().startedCount(), started);
  std::filesystem::remove(file);
  writeFile(file, ".a { color: #444444; }\n");
  EXPECT_TRUE(waitForText(doc, "#444444"));
}

TEST_F(SassDocumentTest, ABatchOfChangesOfItsFilesInAnyNormalisationFormCompilesItOnce) {
  const auto nfc = dir / "caf\xC3\xA9.scss";
  writeFile(nfc, ".a { color: #777777; }\n");
  auto doc = open(nfc);
  ASSERT_TRUE(waitForText(doc, "#777777"));
  const auto started = doc->parser().startedCount();
  fileChangeObserver().sendNext((dir / "other.scss").string());
  settle();
  EXPECT_EQ(doc->parser().startedCount(), started);
  fileChangeObserver().sendNext((dir / "cafe\xCC\x81.scss").string());
  fileChangeObserver().sendNext(nfc.string());
  settle();
  EXPECT_EQ(doc->parser().startedCount(), started + 1);
}

TEST_F(SassDocumentTest, FollowsAPartialThreeImportsDeepThroughSavesErrorsAndTheImportsRemoval) {
  writeFile(file, "@import \"a\";\n.m { c: $deep; }\n");
  writeFile(dir / "_a.scss", "@import \"sub/b\";\n");
  writeFile(dir / "sub/_b.scss", "@import \"c\";\n");
  const auto partial = dir / "sub/_c.scss";
  writeFile(partial, "$deep: #101010;\n");
  auto doc = open(file);
  ASSERT_TRUE(waitForText(doc, "#101010"));
  test::writeFileByRename(partial, "$deep: #303030 +;\n");
  ASSERT_TRUE(waitForText(doc, "Error"));
  EXPECT_EQ(doc->parsingResult().value().error()->place()->file, partial.string());
  writeFile(partial, "$deep: 1em;\n");
  EXPECT_TRUE(waitForText(doc, "1em"));
  writeFile(file, "@import \"a\";\n.m { c: $deep + 1px; }\n");  // an error that names only this file
  ASSERT_TRUE(waitForText(doc, "Incompatible units"));
  writeFile(partial, "$deep: 1px;\n");
  EXPECT_TRUE(waitForText(doc, "2px"));
  writeFile(file, ".m { c: #505050; }\n");
  ASSERT_TRUE(waitForText(doc, "#505050"));
  EXPECT_EQ(doc->followedFiles(), std::set<std::string>{file.string()});
}

TEST_F(SassDocumentTest, AMissingImportCompilesAsSoonAsItAppearsAndASharedPartialCompilesBoth) {
  writeFile(file, "@import \"later\";\n");
  writeFile(dir / "other.scss", "@import \"later\";\n.o { p: q; }\n");
  auto doc = open(file);
  auto other = open(dir / "other.scss");
  ASSERT_TRUE(waitForText(doc, "not found") && waitForText(other, "not found"));
  writeFile(dir / "_later.scss", ".l { m: #606060; }\n");
  EXPECT_TRUE(waitForText(doc, "#606060") && waitForText(other, "#606060"));
  // A second document on the same file goes; the first still follows its partial.
  auto twin = open(file);
  ASSERT_TRUE(waitForText(twin, "#606060"));
  twin->close();
  writeFile(dir / "_later.scss", ".l { m: #808080; }\n");
  EXPECT_TRUE(waitForText(doc, "#808080") && waitForText(other, "#808080"));
}

TEST_F(SassDocumentTest, FindsImportsInNodeModulesSassPathAndLoadPathsAndCompilesAgainWhenTheLoadPathsChange) {
  writeFile(dir / "node_modules/pkg/_x.scss", ".x { y: #808080; }\n");
  writeFile(dir / "lib/_fromenv.scss", ".e { f: #909090; }\n");
  writeFile(dir / "shared/_kit.scss", ".k { l: #a0a0a0; }\n");
  writeFile(file, "@import \"pkg/x\", \"fromenv\", \"kit\";\n");
  setenv("SASS_PATH", ("/nowhere:" + (dir / "lib").string()).c_str(), 1);
  auto doc = open(file);
  ASSERT_TRUE(waitForText(doc, "kit"));
  settings.setLoadPaths({"/nowhere", (dir / "shared").string()});
  EXPECT_TRUE(waitForText(doc, "#a0a0a0"));
  EXPECT_NE(textOf(doc).find("#808080"), std::string::npos);
  EXPECT_NE(textOf(doc).find("#909090"), std::string::npos);
  unsetenv("SASS_PATH");
}

TEST_F(SassDocumentTest, SavesWhileACompileRunsRestartItOnceThenWaitForItAndTheLastSaveShows) {
  // Reads the file, notes its pid, and answers only when "hold" is gone, as a long compile would.
  const auto compiler = writeScript(dir / "sassc", "css=$(cat \"$1\"); echo $$ >> pids; while [ -e hold ]; do "
                                                   "sleep 0.02; done; printf '%s' \"$css\"");
  auto doc = open(file, compiler);
  ASSERT_TRUE(waitForText(doc, "#111111"));
  writeFile(dir / "hold", "");
  std::vector<int> pids;
  const auto readPids = [&] {
    std::istringstream lines(readFile(dir / "pids"));
    pids.assign(std::istream_iterator<int>(lines), std::istream_iterator<int>());
    return pids.size();
  };
  int seen = 0;
  auto counting = fileChangeSignal().observeNext([&](const std::string& path) { seen += path == file.string(); });
  const auto save = [&](const std::string& color) {
    const int before = seen;
    test::writeFileByRename(file, ".a { color: " + color + "; }\n");
    ASSERT_TRUE(runUntil([&] { return seen > before; }));
  };
  save("#222222");
  ASSERT_TRUE(runUntil([&] { return readPids() == 2; }));
  save("#333333");  // restarts the compile: the first one's child is stopped
  ASSERT_TRUE(runUntil([&] { return readPids() == 3; }));
  EXPECT_TRUE(runUntil([&] { return test::processEnded(pids[1]); }));
  const auto started = doc->parser().startedCount();
  save("#444444");  // these wait for the running compile
  save("#555555");
  settle();
  EXPECT_EQ(doc->parser().startedCount(), started);

  std::vector<std::string> shown;
  auto showing = doc->parsingResult().producer().start(
      Observer<ParsingResult>([&](const ParsingResult& r) { shown.push_back(r.isSuccess() ? r.output().output.str() : ""); }));
  std::filesystem::remove(dir / "hold");
  EXPECT_TRUE(runUntil([&] { return !doc->compiling().value() && textOf(doc).find("#555555") != std::string::npos; }));
  EXPECT_EQ(shown, (std::vector<std::string>{".a { color: #111111; }", ".a { color: #333333; }",
                                             ".a { color: #555555; }"}));
  EXPECT_EQ(readPids(), 4u);
  showing.dispose();
  counting.dispose();
}

TEST_F(SassDocumentTest, ClosingStopsTheCompileAndNothingMoreIsStarted) {
  auto doc = open(file, writeScript(dir / "sassc", "sleep 30"));
  doc->close();
  EXPECT_EQ(doc->parser().runningCount(), 0u);
  EXPECT_FALSE(doc->compiling().value());
  doc->parse();
  EXPECT_EQ(doc->parser().runningCount(), 0u);
  EXPECT_EQ(std::ranges::count(sharedFileWatcher().pathsToWatch(), file.string()), 0);
}

}  // namespace
}  // namespace fennelview
