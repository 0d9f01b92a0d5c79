// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/user_defaults.hpp"

#include <gtest/gtest.h>

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
  const std::string path = "/home/me/th\xe8me.scss", odd("\0odd", 4);
  const json value = {{"name \xff", json::array({path, odd, 7, true})}, {"url", "file:///a%20b/zed.desktop"}};
  for (const auto& key : {path, odd, std::string("plain")}) defaults.setObject(value, key);
  UserDefaults fresh(file);
  for (const auto& key : {path, odd, std::string("plain")}) EXPECT_TRUE(fresh.objectForKey(key) == value);
}

TEST_F(UserDefaultsTest, RegisteredValueAnswersOnlyWhileNothingIsWrittenAndIsNeverSaved) {
  defaults.registerDefaults({{"editor", "file:///fallback.desktop"}});
  defaults.setObject("file:///chosen.desktop", "editor");
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///chosen.desktop");
  defaults.setObject(nullptr, "editor");
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///fallback.desktop");
  EXPECT_EQ(readFile(file), "{}\n");
}

TEST_F(UserDefaultsTest, WritesThroughALinkToItsTarget) {
  writeFile(dir / "dotfiles.json", R"({"kept": true})");
  std::filesystem::create_symlink(dir / "dotfiles.json", file);
  defaults.setObject(1, "added");
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(json::parse(readFile(dir / "dotfiles.json")), (json{{"kept", true}, {"added", 1}}));
}

TEST_F(UserDefaultsTest, BrokenFilesAreKeptAsideAndAFailedWriteKeepsTheValueEachToldOnce) {
  writeFile(dir / "settings.json.broken", "earlier");
  writeFile(file, R"({"editor": )");
  writeFile(dir / "not-a-folder", "");
  UserDefaults blocked(dir / "not-a-folder" / "settings.json");
  testing::internal::CaptureStderr();
  writeFile(dir / "deep.json", "{\"a\": " + std::string(100000, '[') + std::string(100000, ']') + "}");
  EXPECT_EQ(UserDefaults(dir / "deep.json").objectForKey("a"), std::nullopt);  // would overflow the stack
  defaults.setObject(1, "a");
  blocked.setObject(1, "a");
  blocked.setObject(2, "b");
  const auto err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(readFile(dir / "settings.json.broken.1"), R"({"editor": )");
  EXPECT_EQ(json::parse(readFile(file)), (json{{"a", 1}}));
  EXPECT_EQ(blocked.objectForKey("a"), json(1));
  EXPECT_NE(err.find("is not valid JSON"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
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
