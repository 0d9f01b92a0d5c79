// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/sass_document.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "document/file_watcher.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::readFile;
using test::runFor;
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

TEST_F(SassDocumentTest, ABatchOfChangesOfItsFilesInAnyNormalisationFormCompilesItOnce) {
  const auto nfc = dir / "caf\xC3\xA9.scss";
  writeFile(nfc, ".a { color: #777777; }\n");
  auto doc = open(nfc);
  ASSERT_TRUE(waitForText(doc, "#777777"));
  const auto started = doc->parser().startedCount();
  fileChangeObserver().sendNext((dir / "other.scss").string());
  runFor(std::chrono::milliseconds(50));
  EXPECT_EQ(doc->parser().startedCount(), started);
  fileChangeObserver().sendNext((dir / "cafe\xCC\x81.scss").string());
  fileChangeObserver().sendNext(nfc.string());
  runFor(std::chrono::milliseconds(50));
  EXPECT_EQ(doc->parser().startedCount(), started + 1);
}

TEST_F(SassDocumentTest, FollowsAPartialThreeImportsDeepThroughSavesErrorsAndTheImportsRemoval) {
  std::filesystem::create_directory(dir / "sub");
  writeFile(file, "@import \"a\";\n.m { c: $deep; }\n");
  writeFile(dir / "_a.scss", "@import \"sub/b\";\n");
  writeFile(dir / "sub/_b.scss", "@import \"c\";\n");
  const auto partial = dir / "sub/_c.scss";
  writeFile(partial, "$deep: #101010;\n");
  auto doc = open(file);
  ASSERT_TRUE(waitForText(doc, "#101010"));
  writeFile(partial, "$deep: #202020;\n");
  EXPECT_TRUE(waitForText(doc, "#202020"));
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
  writeFile(dir / "_later.scss", ".l { m: #707070; }\n");
  EXPECT_TRUE(waitForText(doc, "#707070") && waitForText(other, "#707070"));
  // A second document on the same file goes; the first still follows its partial.
  auto twin = open(file);
  ASSERT_TRUE(waitForText(twin, "#707070"));
  twin->close();
  writeFile(dir / "_later.scss", ".l { m: #808080; }\n");
  EXPECT_TRUE(waitForText(doc, "#808080"));
}

TEST_F(SassDocumentTest, FindsImportsInNodeModulesAndSassPathAndRecompilesWhenTheyChange) {
  std::filesystem::create_directories(dir / "node_modules/pkg");
  std::filesystem::create_directories(dir / "lib");
  writeFile(dir / "node_modules/pkg/_x.scss", ".x { y: #808080; }\n");
  writeFile(dir / "lib/_fromenv.scss", ".e { f: #909090; }\n");
  writeFile(file, "@import \"pkg/x\", \"fromenv\";\n");
  auto doc = open(file);
  ASSERT_TRUE(waitForText(doc, "fromenv"));
  setenv("SASS_PATH", ("/nowhere:" + (dir / "lib").string()).c_str(), 1);
  SassDocument::recompileAll();
  EXPECT_TRUE(waitForText(doc, "#909090"));
  EXPECT_NE(textOf(doc).find("#808080"), std::string::npos);
  unsetenv("SASS_PATH");
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
