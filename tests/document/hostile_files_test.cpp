// What users throw at a preview: files that vanish, move or never finish.
#include <gtest/gtest.h>
#include <signal.h>

#include "document/sass_document.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::runUntil;
using test::TempDir;
using test::writeFile;

std::string messageOf(const ParsingResult& result) {
  return result.isFailure() ? result.error()->localizedDescription().value_or("") : "";
}

class HostileFiles : public ::testing::Test {
 protected:
  std::shared_ptr<SassDocument> open(const std::filesystem::path& path) {
    auto doc = SassDocument::create();
    doc->setFilePath(path.string());
    doc->readFromURL(*doc->fileURL(), "scss");
    docs_.push_back(doc);
    return doc;
  }
  static bool waitFor(const std::shared_ptr<SassDocument>& doc, const std::function<bool(const ParsingResult&)>& test) {
    return runUntil([&] { return test(doc->parsingResult().value()); }, std::chrono::seconds(10));
  }
  static bool waitForMessage(const std::shared_ptr<SassDocument>& doc, const std::string& fragment) {
    return waitFor(doc, [&](const ParsingResult& r) { return messageOf(r).find(fragment) != std::string::npos; });
  }
  static bool waitForCss(const std::shared_ptr<SassDocument>& doc, const std::string& fragment) {
    return waitFor(doc, [&](const ParsingResult& r) {
      return r.isSuccess() && r.output().output.find(fragment) != std::string::npos;
    });
  }
  void TearDown() override {
    for (auto& doc : docs_) doc->close();
  }

  TempDir dir;

 private:
  std::vector<std::shared_ptr<SassDocument>> docs_;
};

TEST_F(HostileFiles, AFileDeletedWhileOpenShowsTheMessageAndReturnsByWriteOrRename) {
  const auto file = dir / "gone.scss";
  writeFile(file, "a { color: #010101; }");
  auto doc = open(file);
  ASSERT_TRUE(waitForCss(doc, "#010101"));

  std::filesystem::remove(file);
  EXPECT_TRUE(waitForMessage(doc, "not found"));
  writeFile(file, "a { color: #020202; }");
  EXPECT_TRUE(waitForCss(doc, "#020202"));

  std::filesystem::remove(file);
  ASSERT_TRUE(waitForMessage(doc, "not found"));
  test::writeFileByRename(file, "a { color: #030303; }");
  EXPECT_TRUE(waitForCss(doc, "#030303"));
}

TEST_F(HostileFiles, AFileRenamedWhileOpenShowsThatItIsGone) {
  const auto file = dir / "moving.scss";
  writeFile(file, "a { color: #040404; }");
  auto doc = open(file);
  ASSERT_TRUE(waitForCss(doc, "#040404"));
  std::filesystem::rename(file, dir / "moved.scss");
  EXPECT_TRUE(waitForMessage(doc, "not found"));
}

TEST_F(HostileFiles, AnEndlessLoopIsStoppedAtTheTimeLimit) {
  const auto file = dir / "forever.scss";
  writeFile(file, "$i: 0;\n@while $i < 1 { .a { b: c; } }\n");
  auto doc = SassDocument::create();
  doc->parser().setTimeout(std::chrono::seconds(2));
  doc->setFilePath(file.string());
  doc->readFromURL(*doc->fileURL(), "scss");
  EXPECT_TRUE(runUntil([&] { return messageOf(doc->parsingResult().value()).find("timed out") != std::string::npos; },
                       std::chrono::seconds(15)));
  EXPECT_EQ(doc->parser().runningCount(), 0u);
  doc->close();
}

}  // namespace
}  // namespace fennelview
