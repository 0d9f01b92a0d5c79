#include "document/sass_document.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "document/file_watcher.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::readFile;
using test::runUntil;
using test::TempDir;
using test::writeFile;
using test::writeScript;

// The CSS, or the message of a failure.
std::string textOf(const std::shared_ptr<SassDocument>& doc) {
  const auto result = doc->parsingResult().value();
  return result.isSuccess() ? result.output().output : result.error()->localizedDescription().value_or("");
}

bool waitForText(const std::shared_ptr<SassDocument>& doc, const std::string& fragment) {
  return runUntil([&] { return textOf(doc).find(fragment) != std::string::npos; });
}

class SassDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(file, ".a { color: #111111; }\n"); }
  void TearDown() override { std::ranges::for_each(docs_, &SassDocument::close); }
  std::shared_ptr<SassDocument> open(const std::filesystem::path& path, const std::string& compiler = "") {
    auto doc = compiler.empty() ? SassDocument::create() : SassDocument::create(compiler);
    doc->setFilePath(path.string());
    EXPECT_TRUE(doc->readFromURL(doc->fileURL().value_or(""), "scss"));
    docs_.push_back(doc);
    return doc;
  }

  TempDir dir;
  std::filesystem::path file = dir / "style.scss";
  std::vector<std::shared_ptr<SassDocument>> docs_;
};

TEST_F(SassDocumentTest, ShowsAnEmptySuccessWhileTheFirstCompileRunsThenItsTimedResult) {
  auto doc = open(file);
  EXPECT_EQ(doc->parsingResult().value().output(), CSSOutput("", 0.0));
  EXPECT_TRUE(doc->compiling().value());
  ASSERT_TRUE(waitForText(doc, "#111111"));
  EXPECT_FALSE(doc->compiling().value());
  EXPECT_GT(doc->parsingResult().value().output().parsingTime, 0.0);
}

TEST_F(SassDocumentTest, FollowsSavesInPlaceByRenameAndAfterDeletion) {
  auto doc = open(file);
  writeFile(file, ".a { color: ;\n");
  EXPECT_TRUE(waitForText(doc, "Error"));
  test::writeFileByRename(file, ".a { color: #333333; }\n");
  EXPECT_TRUE(waitForText(doc, "#333333"));
  std::filesystem::remove(file);
  EXPECT_TRUE(waitForText(doc, "not found"));
  writeFile(file, ".a { color: #444444; }\n");
  EXPECT_TRUE(waitForText(doc, "#444444"));
}

TEST_F(SassDocumentTest, OnlyItsOwnPathInAnyNormalisationFormCompiles) {
  const auto nfc = dir / "caf\xC3\xA9.scss";
  writeFile(nfc, ".a { color: #777777; }\n");
  auto doc = open(nfc);
  ASSERT_TRUE(waitForText(doc, "#777777"));
  fileChangeObserver().sendNext((dir / "other.scss").string());
  EXPECT_FALSE(doc->compiling().value());
  fileChangeObserver().sendNext((dir / "cafe\xCC\x81.scss").string());
  EXPECT_TRUE(doc->compiling().value());
}

TEST_F(SassDocumentTest, ANewCompileStopsTheOneStillRunning) {
  const auto compiler = writeScript(dir / "sassc", "echo $$ >> '" + (dir / "pids").string() +
                                                       "'; [ -e '" + (dir / "fast").string() +
                                                       "' ] || sleep 30; echo \"new {}\"");
  auto doc = open(file, compiler);
  ASSERT_TRUE(runUntil([&] { return !readFile(dir / "pids").empty(); }));
  writeFile(dir / "fast", "");
  doc->parse();
  EXPECT_TRUE(runUntil([&] { return test::processEnded(std::stoi(readFile(dir / "pids"))); }));
  EXPECT_TRUE(waitForText(doc, "new {}"));
  EXPECT_FALSE(doc->compiling().value());
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
