#include "preferences/user_defaults.hpp"

#include <gtest/gtest.h>

#include <future>

#include "test_desktop.hpp"

namespace fennelview {
namespace {

using nlohmann::json;
using test::readFile;
using test::runProcess;
using test::writeFile;

const std::string helper = FENNELVIEW_PREFERENCES_HELPER;

class UserDefaultsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path file = dir / "settings.json";
  UserDefaults defaults{file};
};

TEST_F(UserDefaultsTest, KeysAndValuesReadBackAsGivenInAFreshStoreEvenWhenNotUTF8) {
  const std::string path = "/home/me/th\xe8me.scss", odd("\0odd", 4);
  const json value = {{"name \xff", json::array({path, odd, 7, true})}, {"url", "file:///a%20b/zed.desktop"}};
  for (const auto& key : {path, odd, std::string("plain"), std::string("gone")}) defaults.setObject(value, key);
  defaults.setObject(nullptr, "gone");
  UserDefaults fresh(file);
  for (const auto& key : {path, odd, std::string("plain")}) EXPECT_EQ(fresh.objectForKey(key), value);
  EXPECT_EQ(fresh.objectForKey("gone"), std::nullopt);
  EXPECT_EQ(json::parse(readFile(file)).size(), 3u);
}

TEST_F(UserDefaultsTest, TypedReadsCountAValueOfAnotherTypeAsAbsent) {
  defaults.setObject(7, "editor");
  defaults.setObject({{"width", "800"}, {"height", 600}, {"maximized", "yes"}}, "frame");
  EXPECT_EQ(defaults.stringForKey("editor"), std::nullopt);
  EXPECT_EQ(defaults.dictionaryForKey("editor"), std::nullopt);
  const auto frame = defaults.dictionaryForKey("frame");
  ASSERT_TRUE(frame);
  EXPECT_EQ(typedValue<std::int64_t>(*frame, "width"), std::nullopt);
  EXPECT_EQ(typedValue<std::int64_t>(*frame, "height"), 600);
  EXPECT_EQ(typedValue<bool>(*frame, "maximized"), std::nullopt);
  EXPECT_EQ(typedValue<std::int64_t>(json(1ull << 63)), std::nullopt);
}

TEST_F(UserDefaultsTest, RegisteredValueAnswersOnlyWhileNothingIsWrittenAndIsNeverSaved) {
  defaults.registerDefaults({{"editor", "file:///fallback.desktop"}});
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///fallback.desktop");
  EXPECT_FALSE(std::filesystem::exists(file));
  defaults.setObject("file:///chosen.desktop", "editor");
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///chosen.desktop");
  defaults.setObject(nullptr, "editor");
  EXPECT_EQ(defaults.stringForKey("editor"), "file:///fallback.desktop");
  EXPECT_EQ(json::parse(readFile(file)), json::object());
}

TEST_F(UserDefaultsTest, WritesThroughALinkAndLeavesNoTemporaryFile) {
  const auto real = dir / "dotfiles" / "fennelview.json";
  std::filesystem::create_directories(real.parent_path());
  writeFile(real, R"({"kept": true})");
  std::filesystem::create_symlink(real, file);
  defaults.setObject(1, "added");
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(json::parse(readFile(real)), (json{{"kept", true}, {"added", 1}}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(real.parent_path()), {}), 1);
}

TEST_F(UserDefaultsTest, FailedWriteKeepsTheValueAndSaysSoOnce) {
  writeFile(dir / "not-a-folder", "");
  UserDefaults blocked(dir / "not-a-folder" / "settings.json");
  testing::internal::CaptureStderr();
  blocked.setObject(1, "a");
  blocked.setObject(2, "b");
  const auto err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("could not be saved"), std::string::npos) << err;
  EXPECT_EQ(err.find("could not be saved"), err.rfind("could not be saved")) << err;
  EXPECT_EQ(blocked.objectForKey("a"), json(1));
  EXPECT_EQ(blocked.objectForKey("b"), json(2));
}

TEST_F(UserDefaultsTest, BrokenFileIsKeptAsideBesideEarlierOnesAndTheUserToldOnce) {
  writeFile(dir / "settings.json.broken", "earlier");
  writeFile(file, R"({"editor": )");
  testing::internal::CaptureStderr();
  EXPECT_EQ(defaults.objectForKey("editor"), std::nullopt);
  defaults.setObject(1, "a");
  const auto err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(readFile(dir / "settings.json.broken"), "earlier");
  EXPECT_EQ(readFile(dir / "settings.json.broken.1"), R"({"editor": )");
  EXPECT_EQ(json::parse(readFile(file)), (json{{"a", 1}}));
  EXPECT_NE(err.find("is not valid JSON"), std::string::npos) << err;
  EXPECT_EQ(err.find("Fennelview:"), err.rfind("Fennelview:")) << err;
}

TEST_F(UserDefaultsTest, WritesOfAnotherProcessAreSeenAndKept) {
  defaults.setObject(1, "mine");
  ASSERT_EQ(runProcess({helper, file, "set", "theirs", R"({"width": 640})"}).exitStatus, 0);
  EXPECT_EQ(defaults.objectForKey("theirs"), (json{{"width", 640}}));
  defaults.setObject(2, "mine");
  EXPECT_EQ(json::parse(readFile(file)), (json{{"mine", 2}, {"theirs", {{"width", 640}}}}));
}

TEST_F(UserDefaultsTest, TwoProcessesWritingAtOnceLoseNoKey) {
  auto other = std::async(std::launch::async, [&] { return runProcess({helper, file, "fill", "a", "200"}); });
  EXPECT_EQ(runProcess({helper, file, "fill", "b", "200"}).exitStatus, 0);
  EXPECT_EQ(other.get().exitStatus, 0);
  EXPECT_EQ(json::parse(readFile(file)).size(), 400u);
}

TEST_F(UserDefaultsTest, StandardStoreLivesInTheUserConfigFolder) {
  ASSERT_EQ(runProcess({helper, "-", "set", "k", "1"}, {{"XDG_CONFIG_HOME", dir.path().string()}}).exitStatus, 0);
  EXPECT_EQ(json::parse(readFile(dir / "fennelview" / "settings.json")), (json{{"k", 1}}));
}

}  // namespace
}  // namespace fennelview
