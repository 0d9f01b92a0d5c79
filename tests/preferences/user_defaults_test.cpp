// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/user_defaults.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <future>

#include "test_desktop.hpp"

namespace fennelview {
namespace {

using nlohmann::json;
using namespace test;
const std::string helper = FENNELVIEW_PREFERENCES_HELPER;

class UserDefaultsTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path file = dir / "settings.json";
  UserDefaults defaults{file};
};

TEST_F(UserDefaultsTest, KeysAndValuesReadBackAsGivenInAFreshStoreEvenWhenNotUTF8) {
  const std::string path = "/home/me/th\xe8me.scss", odd("\0odd", 4), nul("\0", 1);
  const json value = {{"name \xff", json::array({path, odd, 7, true})}, {"url", "file:///a%20b/zed.desktop"}};
  for (const auto& key : {path, odd, nul, std::string()}) defaults.setObject(value, key);
  defaults.setObject(1, "");
  UserDefaults fresh(file);
  for (const auto& key : {path, odd, nul}) EXPECT_TRUE(fresh.objectForKey(key) == value);
  EXPECT_EQ(fresh.objectForKey(""), json(1));

  // Written by hand: only the form the store writes reads as escaped, so no two keys become one.
  writeFile(file, R"({"": 1, "\u0000": 2, "\u0000%41": 3, "A": 4})");
  EXPECT_EQ(fresh.objectForKey(""), json(1));
  EXPECT_EQ(fresh.objectForKey(nul), json(2));
  EXPECT_EQ(fresh.objectForKey("A"), json(4));
}

TEST_F(UserDefaultsTest, RegisteredValueAnswersOnlyWhileNothingIsWrittenAndIsNeverSaved) {
  defaults.registerDefaults({{"editor", "file:///fallback.desktop"}});
  defaults.setObject("file:///chosen.desktop", "editor");
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///chosen.desktop");
  defaults.setObject(nullptr, "editor");
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///fallback.desktop");
  EXPECT_EQ(readFile(file), "{}\n");
}

TEST_F(UserDefaultsTest, ALinkedFileStaysALinkWhenDamagedAndWhenWritten) {
  writeFile(dir / "dotfiles.json", R"({"kept": )");
  std::filesystem::create_symlink(dir / "dotfiles.json", file);
  testing::internal::CaptureStderr();
  EXPECT_EQ(defaults.objectForKey("kept"), std::nullopt);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(readFile(dir / "settings.json.broken"), R"({"kept": )");
  defaults.setObject(1, "added");
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(json::parse(readFile(dir / "dotfiles.json")), (json{{"added", 1}}));
}

TEST_F(UserDefaultsTest, DamagedFilesAreCopiedAsideBesideEarlierCopiesOnceAndTheUserIsToldOnce) {
  writeFile(dir / "settings.json.broken", "earlier");
  writeFile(file, R"({"editor": )");
  writeFile(dir / "not-a-folder", "");
  UserDefaults blocked(dir / "not-a-folder" / "settings.json");
  testing::internal::CaptureStderr();
  writeFile(dir / "deep.json", "{\"a\": " + std::string(100000, '[') + std::string(100000, ']') + "}");
  EXPECT_EQ(UserDefaults(dir / "deep.json").objectForKey("a"), std::nullopt);  // would overflow the stack
  EXPECT_EQ(defaults.objectForKey("editor"), std::nullopt);
  EXPECT_EQ(UserDefaults(file).objectForKey("editor"), std::nullopt);  // the next start copies nothing more
  const auto notice = defaults.takeNotice();
  EXPECT_EQ(defaults.takeNotice(), std::nullopt);
  defaults.setObject(1, "a");
  blocked.setObject(1, "a");
  blocked.setObject(2, "b");
  const auto err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(readFile(dir / "settings.json.broken"), "earlier");
  EXPECT_EQ(readFile(dir / "settings.json.broken.1"), R"({"editor": )");
  EXPECT_FALSE(std::filesystem::exists(dir / "settings.json.broken.2"));
  EXPECT_EQ(json::parse(readFile(file)), (json{{"a", 1}}));
  EXPECT_EQ(blocked.objectForKey("a"), json(1));
  ASSERT_TRUE(notice);
  EXPECT_NE(notice->find("is not valid JSON. A copy is kept as \"" + file.string() + ".broken.1\""), std::string::npos)
      << *notice;
  EXPECT_TRUE(blocked.takeNotice());
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4) << err;
}

TEST_F(UserDefaultsTest, AFifoADeviceOrAHugeFileIsReadWithoutBlockingAndNothingButAFileIsCopied) {
  ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.json");
  writeFile(dir / "huge.json", "{\"a\": \"" + std::string(UserDefaults::largestFile, 'x') + "\"}");
  testing::internal::CaptureStderr();
  for (const char* name : {"fifo.json", "zero.json", "huge.json"}) {
    UserDefaults odd(dir / name);
    EXPECT_EQ(odd.objectForKey("a"), std::nullopt) << name;
    odd.setObject(1, "b");
    EXPECT_TRUE(odd.takeNotice()) << name;
  }
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.json"));
  EXPECT_EQ(std::filesystem::read_symlink(dir / "zero.json"), "/dev/zero");
  EXPECT_FALSE(std::filesystem::exists(dir / "fifo.json.broken") || std::filesystem::exists(dir / "zero.json.broken"));
  EXPECT_EQ(std::filesystem::file_size(dir / "huge.json.broken"), UserDefaults::largestFile + 9);
  EXPECT_EQ(json::parse(readFile(dir / "huge.json")), (json{{"b", 1}}));
}

TEST_F(UserDefaultsTest, ProcessesWritingAtOnceLoseNoKeyAndEachSeesTheOthers) {
  defaults.setObject(true, "mine");
  auto other = std::async(std::launch::async, [&] { return runProcess({helper, file, "a", "200"}); });
  EXPECT_EQ(runProcess({helper, file, "b", "200"}).exitStatus + other.get().exitStatus, 0);
  EXPECT_EQ(json::parse(readFile(file)).size(), 401u);
  EXPECT_EQ(defaults.objectForKey("a199"), json(199));
}

}  // namespace
}  // namespace fennelview
