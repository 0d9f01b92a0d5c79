#include "document/file_watcher.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace fennelview {
namespace {

using test::runFor;
using test::runUntil;
using test::TempDir;
using test::writeFile;

// Collects what arrives on fileChangeSignal while it lives.
class Recorder {
 public:
  Recorder() : subscription_(fileChangeSignal().observeNext([this](const std::string& p) { paths.push_back(p); })) {}
  ~Recorder() { subscription_.dispose(); }
  std::vector<std::string> paths;

 private:
  Disposable subscription_;
};

const std::string kPrecomposed = "caf\xC3\xA9.scss";  // é as one code point
const std::string kDecomposed = "cafe\xCC\x81.scss";  // e + combining acute

TEST(FileWatcherList, StartsWithTheEmptyPathAndStopped) {
  FileWatcher watcher;
  EXPECT_EQ(watcher.pathsToWatch(), std::vector<std::string>{""});
  EXPECT_FALSE(watcher.isStarted());
  EXPECT_EQ(watcher.streamsCreated(), 0u);
  EXPECT_EQ(watcher.lastEventId(), 0xFFFFFFFFFFFFFFFFULL);
}

TEST(FileWatcherList, EveryChangeRestartsAndStartStopAreIdempotent) {
  TempDir dir;
  FileWatcher watcher;
  watcher.appendPath((dir / "a.scss").string());
  EXPECT_TRUE(watcher.isStarted());
  EXPECT_EQ(watcher.pathsToWatch(), (std::vector<std::string>{"", (dir / "a.scss").string()}));
  EXPECT_EQ(watcher.streamsCreated(), 1u);

  watcher.setPathsToWatch(watcher.pathsToWatch());  // equal list: restarts all the same
  EXPECT_EQ(watcher.streamsCreated(), 2u);
  watcher.start();
  EXPECT_EQ(watcher.streamsCreated(), 2u);
  watcher.stop();
  watcher.stop();
  EXPECT_FALSE(watcher.isStarted());
}

TEST(FileWatcherList, RemovePathTakesTheFirstEqualEntryOnly) {
  FileWatcher watcher;
  watcher.setPathsToWatch({"", "/x/a", "/x/" + kPrecomposed, "/x/a"});
  const auto streams = watcher.streamsCreated();

  watcher.removePath("/x/not-listed");
  EXPECT_EQ(watcher.streamsCreated(), streams) << "no entry, no restart";

  watcher.removePath("/x/a");
  EXPECT_EQ(watcher.pathsToWatch(), (std::vector<std::string>{"", "/x/" + kPrecomposed, "/x/a"}));
  EXPECT_EQ(watcher.streamsCreated(), streams + 1);

  watcher.removePath("/x/" + kDecomposed);  // canonically equal to the listed form
  watcher.removePath("/x/a");
  EXPECT_EQ(watcher.pathsToWatch(), std::vector<std::string>{""});
  EXPECT_TRUE(watcher.isStarted()) << "stays running over the empty path";
}

TEST(FileWatcherBatch, SendsEachDistinctPathOnceAndNothingForAnEmptyBatch) {
  FileWatcher watcher;
  Recorder recorder;
  watcher.handleBatch({});
  watcher.handleBatch({"/a", "/b", "/a", "/a"});
  EXPECT_EQ(recorder.paths, (std::vector<std::string>{"/a", "/b"}));
}

class FileWatcherEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(file, "a { b: c; }");
    watcher.appendPath(file.string());
  }
  bool sawFile() {
    return runUntil([&] { return !recorder.paths.empty(); }, std::chrono::seconds(5)) &&
           recorder.paths.front() == file.string();
  }

  TempDir dir;
  std::filesystem::path file = dir / "style.scss";
  FileWatcher watcher;
  Recorder recorder;
};

TEST_F(FileWatcherEvents, ASaveInPlaceIsReported) {
  writeFile(file, "a { b: d; }");
  EXPECT_TRUE(sawFile());
}

TEST_F(FileWatcherEvents, ASaveByRenameIsReported) {
  test::writeFileByRename(file, "a { b: d; }");
  EXPECT_TRUE(sawFile());
}

TEST_F(FileWatcherEvents, DeletionAndReturnAreReported) {
  std::filesystem::remove(file);
  EXPECT_TRUE(sawFile());
  recorder.paths.clear();
  writeFile(file, "back {}");
  EXPECT_TRUE(sawFile());
}

TEST_F(FileWatcherEvents, OtherFilesOfTheFolderAreNotReported) {
  writeFile(dir / "other.scss", "x {}");
  test::writeFileByRename(dir / "third.scss", "y {}");
  runFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(recorder.paths.empty());
}

TEST_F(FileWatcherEvents, AStoppedWatcherReportsNothing) {
  watcher.stop();
  writeFile(file, "a { b: e; }");
  runFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(recorder.paths.empty());
}

}  // namespace
}  // namespace fennelview
