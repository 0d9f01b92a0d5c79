// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/file_watcher.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

// inotify watches held by this process, as the kernel lists them.
int watchesHeld() {
  int count = 0;
  for (const auto& fd : fs::directory_iterator("/proc/self/fdinfo")) {
    std::ifstream info(fd.path());
    for (std::string line; std::getline(info, line);) count += line.starts_with("inotify wd:");
  }
  return count;
}

// A watcher over style.scss in a fresh folder. Changes made before the main loop runs again
// arrive as one batch.
class FileWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(file, "a { b: c; }");
    watcher.appendPath(file);
  }
  void TearDown() override { subscription.dispose(); }
  std::string at(const std::string& name) { return (dir / name).string(); }
  // The next batch holds exactly these paths, each once, in this order.
  bool sends(const std::vector<std::string>& expected) {
    runUntil([&] { return !sent.empty(); }, std::chrono::seconds(5));
    return std::exchange(sent, {}) == expected;
  }

  TempDir dir;
  std::string file = at("style.scss");
  const int unwatched = watchesHeld();
  FileWatcher watcher;
  std::vector<std::string> sent;
  Disposable subscription = fileChangeSignal().observeNext([this](const std::string& p) { sent.push_back(p); });
};

// Saves in place are reported once per batch, under every listed name and no other.
TEST_F(FileWatcherTest, EveryNameOfAFolderIsReportedOnce) {
  fs::create_directory_symlink(dir.path(), at("link"));
  watcher.setPathsToWatch({"", file, at("link/style.scss"), at("link/other.scss")});
  writeFile(at("other.scss"), "x {}");
  for (const char* text : {"y {}", "w {}"}) writeFile(file, text);
  EXPECT_TRUE(sends({at("link/other.scss"), file, at("link/style.scss")}));

  // A bind mount is the same folder too; it needs a mount namespace of our own.
  if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0) {
    GTEST_SKIP() << "no mount namespace here: bind mounts unchecked";
  }
  fs::create_directory(at("bound"));
  ASSERT_EQ(mount(dir.path().c_str(), at("bound").c_str(), "none", MS_BIND, nullptr), 0);
  watcher.appendPath(at("bound/other.scss"));
  writeFile(at("other.scss"), "z {}");
  EXPECT_TRUE(sends({at("link/other.scss"), at("bound/other.scss")}));
  umount(at("bound").c_str());
}

TEST_F(FileWatcherTest, ALinkedFileIsReportedWhenItsTargetIsSaved) {
  writeFile(at("real/target.scss"), "a {}");
  fs::create_symlink("real/target.scss", at("link.scss"));
  watcher.setPathsToWatch({"", at("link.scss")});
  writeFileByRename(at("real/target.scss"), "b {}");
  EXPECT_TRUE(sends({at("link.scss")}));
}

TEST_F(FileWatcherTest, AFolderAboveMovedOrDeletedIsReportedAndThePathFollowedWhenItComesBack) {
  const auto deep = at("a/b/deep.scss");
  writeFile(deep, "a {}");
  watcher.setPathsToWatch({"", deep});
  // Two levels up: the file's own folder moves along, watch and all, yet the path is empty now.
  fs::rename(at("a"), at("moved"));
  EXPECT_TRUE(sends({deep}));
  writeFile(at("moved/b/deep.scss"), "b {}");
  runFor(std::chrono::milliseconds(50));
  fs::rename(at("moved"), at("a"));
  EXPECT_TRUE(sends({deep}));
  fs::remove_all(at("a"));
  EXPECT_TRUE(sends({deep}));
  // Made again at once, file and all, before the watcher could see any step of it.
  writeFile(deep, "b {}");
  EXPECT_TRUE(sends({deep}));
}

TEST_F(FileWatcherTest, APathIsReportedWhenItAppearsLater) {
  const auto later = at("new/deeper/later.scss");
  watcher.setPathsToWatch({"", later, at("later.scss")});
  writeFileByRename(at("later.scss"), "a {}");
  EXPECT_TRUE(sends({at("later.scss")}));
  for (const char* folder : {"new", "new/deeper"}) {
    fs::create_directory(at(folder));
    runFor(std::chrono::milliseconds(50));  // one level at a time
  }
  writeFile(later, "b {}");
  EXPECT_TRUE(sends({later}));
}

TEST_F(FileWatcherTest, ManyPathsInOneFolderShareAWatchAndListChangesLoseNoEvent) {
  const int held = watchesHeld();
  std::vector<std::string> list{""};
  for (int i = 0; i < 300; ++i) list.push_back(at(std::to_string(i) + ".scss"));
  list[1] = at("caf\xC3\xA9.scss");  // removed below by its decomposed name
  watcher.setPathsToWatch(list);
  EXPECT_EQ(watchesHeld(), held);

  writeFile(list[7], "a {}");  // pending while the list changes
  list.resize(200);
  watcher.setPathsToWatch(list);
  watcher.removePath(at("cafe\xCC\x81.scss"));
  EXPECT_TRUE(sends({list[7]}));

  // Past the kernel's queue every listed path may have changed.
  for (const char* name : {"x", "y"}) writeFile(at(name), "");
  for (int i = 0; i < 20000; ++i) fs::permissions(at(i % 2 ? "x" : "y"), fs::perms::owner_all);
  EXPECT_TRUE(sends({list.begin() + 2, list.end()}));
  watcher.setPathsToWatch({""});
  EXPECT_EQ(watchesHeld(), unwatched);
}

TEST_F(FileWatcherTest, WithoutAnInotifyDescriptorPathsArePolledAndTheWatcherSaysWhy) {
  watcher.setPathsToWatch({""});
  FileWatcher polling;
  {
    // Out of descriptors, as with too many inotify instances: the next one cannot be made.
    rlimit limits;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limits), 0);
    const int lowestFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(lowestFree);
    rlimit lowered = limits;
    lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    polling.appendPath(file);
    setrlimit(RLIMIT_NOFILE, &limits);
  }
  EXPECT_TRUE(polling.isPolled(file));
  EXPECT_NE(polling.pollingReason().value().find("Too many open files"), std::string::npos);
  writeFileByRename(file, "b {}");
  EXPECT_TRUE(sends({file}));

  // The next change of the list makes one again.
  polling.appendPath(at("other.scss"));
  EXPECT_FALSE(polling.isPolled(file));
  EXPECT_EQ(polling.pollingReason().value(), "");
  writeFile(file, "c {}");
  EXPECT_TRUE(sends({file}));
}

}  // namespace
}  // namespace fennelview
