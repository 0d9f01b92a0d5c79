// Saves as fast as a script can make them: the last one must win and nothing may linger.
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "document/sass_document.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::runUntil;

// sassc children of this process that have not been reaped.
int sasscChildren() {
  int count = 0;
  const auto self = std::to_string(getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string pid, comm, state, ppid;
    if (stat >> pid >> comm >> state >> ppid && ppid == self && comm == "(sassc)") ++count;
  }
  return count;
}

TEST(SaveStorm, TwoHundredSavesEndWithTheLastCssAndNoCompilerLeft) {
  test::TempDir dir;
  const auto file = dir / "storm.scss";
  test::writeFile(file, ".a { width: 0px; }\n");
  std::vector<std::shared_ptr<SassDocument>> docs;
  for (int i = 0; i < 2; ++i) {
    auto doc = SassDocument::create();
    doc->setFilePath(file.string());
    doc->readFromURL(*doc->fileURL(), "scss");
    docs.push_back(doc);
  }
  for (int i = 1; i <= 200; ++i) {
    const auto css = ".a { width: " + std::to_string(i) + "px; }\n";
    if (i % 2) {
      test::writeFile(file, css);
    } else {
      test::writeFileByRename(file, css);
    }
    // Let the loop breathe now and then, as a busy app would.
    if (i % 20 == 0) g_main_context_iteration(nullptr, FALSE);
  }
  for (const auto& doc : docs) {
    EXPECT_TRUE(runUntil(
        [&] {
          const auto r = doc->parsingResult().value();
          return doc->parser().runningCount() == 0 && r.isSuccess() &&
                 r.output().output.find("width: 200px;") != std::string::npos;
        },
        std::chrono::seconds(60)));
    std::printf("[ storm    ] 200 saves started %llu compiles in one document\n",
                static_cast<unsigned long long>(doc->parser().startedCount()));
  }
  EXPECT_TRUE(runUntil([] { return sasscChildren() == 0; }, std::chrono::seconds(5)));
  for (const auto& doc : docs) doc->close();
}

}  // namespace
}  // namespace fennelview
