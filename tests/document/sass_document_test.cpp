#include "document/sass_document.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "document/file_watcher.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::runFor;
using test::runUntil;
using test::TempDir;
using test::writeFile;

std::string cssOf(const std::shared_ptr<SassDocument>& doc) {
  const auto result = doc->parsingResult().value();
  return result.isSuccess() ? result.output().output : "";
}

bool waitForCss(const std::shared_ptr<SassDocument>& doc, const std::string& fragment) {
  return runUntil([&] { return cssOf(doc).find(fragment) != std::string::npos; }, std::chrono::seconds(10));
}

std::size_t countInWatchList(const std::string& path) {
  const auto& list = sharedFileWatcher().pathsToWatch();
  return static_cast<std::size_t>(std::count(list.begin(), list.end(), path));
}

std::shared_ptr<SassDocument> open(const std::filesystem::path& file) {
  auto doc = SassDocument::create();
  doc->setFilePath(file.string());
  EXPECT_TRUE(doc->readFromURL(*doc->fileURL(), "scss"));
  return doc;
}

class SassDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(file, ".a { color: #111111; }\n"); }

  TempDir dir;
  std::filesystem::path file = dir / "style.scss";
};

TEST_F(SassDocumentTest, StartsWithAnEmptySuccessUntilTheFirstCompileEnds) {
  auto doc = open(file);
  const auto initial = doc->parsingResult().value();
  ASSERT_TRUE(initial.isSuccess());
  EXPECT_EQ(initial.output(), CSSOutput("", 0.0));
  ASSERT_TRUE(waitForCss(doc, "#111111"));
  EXPECT_GT(doc->parsingResult().value().output().parsingTime, 0.0);
  doc->close();
}

TEST_F(SassDocumentTest, SavesInPlaceAndByRenameBothRecompile) {
  auto doc = open(file);
  ASSERT_TRUE(waitForCss(doc, "#111111"));
  writeFile(file, ".a { color: #222222; }\n");
  EXPECT_TRUE(waitForCss(doc, "#222222"));
  test::writeFileByRename(file, ".a { color: #333333; }\n");
  EXPECT_TRUE(waitForCss(doc, "#333333"));
  doc->close();
}

TEST_F(SassDocumentTest, AFailureReplacesTheCssAndALaterSuccessCarriesItsOwnTime) {
  auto doc = open(file);
  ASSERT_TRUE(waitForCss(doc, "#111111"));
  writeFile(file, ".a { color: ;\n");
  ASSERT_TRUE(runUntil([&] { return doc->parsingResult().value().isFailure(); }));
  EXPECT_EQ(doc->parsingResult().value().error()->code(), 3001);
  EXPECT_NE(doc->parsingResult().value().error()->localizedDescription()->find("Error"), std::string::npos);
  writeFile(file, ".a { color: #444444; }\n");
  ASSERT_TRUE(waitForCss(doc, "#444444"));
  EXPECT_GT(doc->parsingResult().value().output().parsingTime, 0.0);
  doc->close();
}

TEST_F(SassDocumentTest, TwoDocumentsOnOneFileBothFollowItUntilOneCloses) {
  auto first = open(file);
  auto second = open(file);
  EXPECT_EQ(countInWatchList(file.string()), 2u);
  ASSERT_TRUE(waitForCss(first, "#111111") && waitForCss(second, "#111111"));

  writeFile(file, ".a { color: #555555; }\n");
  EXPECT_TRUE(waitForCss(first, "#555555"));
  EXPECT_TRUE(waitForCss(second, "#555555"));

  first->close();
  EXPECT_EQ(countInWatchList(file.string()), 1u);
  writeFile(file, ".a { color: #666666; }\n");
  EXPECT_TRUE(waitForCss(second, "#666666"));
  runFor(std::chrono::milliseconds(200));
  EXPECT_EQ(cssOf(first).find("#666666"), std::string::npos) << "a closed document compiles nothing more";
  second->close();
  EXPECT_EQ(countInWatchList(file.string()), 0u);
}

TEST_F(SassDocumentTest, ChangesOfOtherPathsStartNoCompile) {
  auto doc = open(file);
  ASSERT_TRUE(waitForCss(doc, "#111111"));
  const auto before = doc->parsingResult().value().output();
  fileChangeObserver().sendNext((dir / "other.scss").string());
  runFor(std::chrono::milliseconds(200));
  EXPECT_EQ(doc->parsingResult().value().output(), before);
  doc->close();
}

TEST_F(SassDocumentTest, APathInAnotherNormalisationFormMatches) {
  const auto nfc = dir / "caf\xC3\xA9.scss";
  writeFile(nfc, ".a { color: #777777; }\n");
  auto doc = open(nfc);
  ASSERT_TRUE(waitForCss(doc, "#777777"));
  writeFile(nfc, ".a { color: #888888; }\n");
  fileChangeObserver().sendNext((dir / "cafe\xCC\x81.scss").string());
  EXPECT_TRUE(waitForCss(doc, "#888888"));
  doc->close();
}

// A fake compiler whose first run is slow and prints "old", every later one fast with "new".
std::string slowThenFast(const TempDir& dir) {
  const auto script = dir / "sassc";
  writeFile(script, "#!/bin/sh\nif mkdir '" + (dir / "first").string() +
                        "' 2>/dev/null; then sleep 0.8; echo 'old {}'; else echo 'new {}'; fi\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script.string();
}

TEST_F(SassDocumentTest, AnOlderCompileThatEndsLateDoesNotReplaceANewerResult) {
  auto doc = SassDocument::create(slowThenFast(dir));
  doc->setFilePath(file.string());
  doc->parse();
  // The second compile starts once the first is surely the slow one.
  ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(dir / "first"); }));
  doc->parse();
  ASSERT_TRUE(waitForCss(doc, "new"));
  ASSERT_TRUE(runUntil([&] { return doc->parser().runningCount() == 0; }));
  EXPECT_EQ(cssOf(doc), "new {}\n");
  doc->close();
}

TEST_F(SassDocumentTest, ClosingKillsRunningCompilesAndDropsTheirResults) {
  auto doc = SassDocument::create(slowThenFast(dir));
  doc->setFilePath(file.string());
  doc->parse();
  EXPECT_EQ(doc->parser().runningCount(), 1u);
  doc->close();
  EXPECT_EQ(doc->parser().runningCount(), 0u);
  runFor(std::chrono::milliseconds(1000));
  EXPECT_EQ(cssOf(doc), "") << "the initial value stays";
  doc->parse();
  EXPECT_EQ(doc->parser().runningCount(), 0u) << "a closed document starts nothing";
}

TEST_F(SassDocumentTest, WithoutAFileUrlTheEmptyPathIsCompiledAndWatched) {
  const auto script = dir / "args";
  writeFile(script, "#!/bin/sh\nprintf '%s|%s|%s' \"$#\" \"$1\" \"$2\"\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  auto doc = SassDocument::create(script.string());
  const auto emptiesBefore = countInWatchList("");
  doc->readFromURL("", "scss");
  EXPECT_EQ(doc->path(), "");
  EXPECT_EQ(countInWatchList(""), emptiesBefore + 1);
  EXPECT_TRUE(waitForCss(doc, "2||--line-numbers"));
  doc->close();
  EXPECT_EQ(countInWatchList(""), emptiesBefore);
}

}  // namespace
}  // namespace fennelview
