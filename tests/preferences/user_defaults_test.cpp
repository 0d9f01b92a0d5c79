#include "preferences/user_defaults.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "test_desktop.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using nlohmann::json;
using test::readFile;
using test::runProcess;
using test::TempDir;
using test::writeFile;

const std::string helper = FENNELVIEW_PREFERENCES_HELPER;

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path file = dir / "settings.json";
};

// Values

TEST_F(UserDefaultsTest, KeepsTypedValuesAndFindsThemAgainInANewStore) {
  {
    UserDefaults defaults(file);
    defaults.setObject("file:///usr/share/applications/zed.desktop", "defaultEditorPath");
    defaults.set("count", 3);
    defaults.set("flag", false);
    defaults.set("/home/me/style.scss", json{{"width", 800}, {"height", 600}});
  }
  UserDefaults again(file);
  EXPECT_EQ(again.objectForKey("defaultEditorPath"), json("file:///usr/share/applications/zed.desktop"));
  EXPECT_EQ(again["count"], json(3));
  EXPECT_EQ(again["flag"], json(false));
  EXPECT_EQ(again["/home/me/style.scss"], (json{{"width", 800}, {"height", 600}}));
  EXPECT_EQ(again["missing"], std::nullopt);
  EXPECT_TRUE(json::parse(readFile(file)).is_object());
}

TEST_F(UserDefaultsTest, RemovingAKeyRemovesItFromTheFile) {
  UserDefaults defaults(file);
  defaults.set("a", 1);
  defaults.set("b", 2);
  defaults.removeObjectForKey("a");
  defaults.set("b", nullptr);
  EXPECT_EQ(defaults["a"], std::nullopt);
  EXPECT_EQ(defaults["b"], std::nullopt);
  EXPECT_EQ(json::parse(readFile(file)), json::object());
}

// Registration

TEST_F(UserDefaultsTest, RegisteredValueAnswersOnlyWhileNothingIsWritten) {
  UserDefaults defaults(file);
  defaults.registerDefaults({{"defaultEditorPath", "file:///fallback.desktop"}});
  EXPECT_EQ(defaults["defaultEditorPath"], json("file:///fallback.desktop"));
  EXPECT_FALSE(std::filesystem::exists(file));

  defaults.set("defaultEditorPath", "file:///chosen.desktop");
  defaults.registerDefaults({{"defaultEditorPath", "file:///other-fallback.desktop"}});
  EXPECT_EQ(defaults["defaultEditorPath"], json("file:///chosen.desktop"));

  defaults.removeObjectForKey("defaultEditorPath");
  EXPECT_EQ(defaults["defaultEditorPath"], json("file:///other-fallback.desktop"));
}

TEST_F(UserDefaultsTest, RegisteredValuesAreNeverSaved) {
  UserDefaults defaults(file);
  defaults.registerDefaults({{"registered", 1}});
  defaults.set("written", 2);
  EXPECT_EQ(json::parse(readFile(file)), (json{{"written", 2}}));
  EXPECT_EQ(UserDefaults(file)["registered"], std::nullopt);
}

// Writing

TEST_F(UserDefaultsTest, WriteCreatesTheFolderAndLeavesNoTemporaryFile) {
  const auto nested = dir / "config" / "fennelview" / "settings.json";
  UserDefaults defaults(nested);
  defaults.set("a", 1);
  defaults.set("a", 2);
  EXPECT_EQ(filesIn(nested.parent_path()), std::vector<std::string>{"settings.json"});
  EXPECT_EQ(json::parse(readFile(nested)), (json{{"a", 2}}));
}

TEST_F(UserDefaultsTest, WriteThroughALinkKeepsTheLink) {
  const auto real = dir / "dotfiles" / "fennelview.json";
  std::filesystem::create_directories(real.parent_path());
  writeFile(real, R"({"kept": true})");
  std::filesystem::create_symlink(real, file);
  UserDefaults(file).set("added", 1);
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(json::parse(readFile(real)), (json{{"kept", true}, {"added", 1}}));
}

TEST_F(UserDefaultsTest, WritesOfTwoStoresOnOneFileDoNotUndoEachOther) {
  UserDefaults first(file);
  UserDefaults second(file);
  first.set("a", 1);
  second.set("b", 2);
  first.set("c", 3);
  EXPECT_EQ(second["a"], json(1));
  EXPECT_EQ(json::parse(readFile(file)), (json{{"a", 1}, {"b", 2}, {"c", 3}}));
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNoKey) {
  UserDefaults defaults(file);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        defaults.set("key-" + std::to_string(t) + "-" + std::to_string(i), i);
        (void)defaults["key-0-0"];
      }
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(json::parse(readFile(file)).size(), 40u);
}

TEST_F(UserDefaultsTest, FailedWriteKeepsTheValueAndSaysSoOnce) {
  writeFile(dir / "not-a-folder", "");
  UserDefaults defaults(dir / "not-a-folder" / "settings.json");
  testing::internal::CaptureStderr();
  defaults.set("a", 1);
  defaults.set("b", 2);
  const auto err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("could not be saved"), std::string::npos) << err;
  EXPECT_NE(err.find((dir / "not-a-folder" / "settings.json").string()), std::string::npos) << err;
  EXPECT_EQ(err.find("could not be saved"), err.rfind("could not be saved")) << err;
  EXPECT_EQ(defaults["a"], json(1));
  EXPECT_EQ(defaults["b"], json(2));
}

// Broken files

TEST_F(UserDefaultsTest, InvalidJSONIsKeptAsideAndTheUserToldOnce) {
  const std::string broken = R"({"defaultEditorPath": "file:///zed.desktop",)";
  writeFile(file, broken);
  UserDefaults defaults(file);

  testing::internal::CaptureStderr();
  EXPECT_EQ(defaults["defaultEditorPath"], std::nullopt);
  EXPECT_EQ(defaults["other"], std::nullopt);
  defaults.set("a", 1);
  const auto err = testing::internal::GetCapturedStderr();

  const auto aside = dir / "settings.json.broken";
  EXPECT_EQ(readFile(aside), broken);
  EXPECT_EQ(json::parse(readFile(file)), (json{{"a", 1}}));
  EXPECT_NE(err.find("\"" + file.string() + "\" is not valid JSON"), std::string::npos) << err;
  EXPECT_NE(err.find("\"" + aside.string() + "\""), std::string::npos) << err;
  EXPECT_EQ(err.find("Fennelview:"), err.rfind("Fennelview:")) << err;
}

TEST_F(UserDefaultsTest, NonObjectJSONGoesBesideEarlierBrokenFiles) {
  writeFile(dir / "settings.json.broken", "first");
  writeFile(dir / "settings.json.broken.1", "second");
  writeFile(file, "[1, 2, 3]");
  UserDefaults defaults(file);
  testing::internal::CaptureStderr();
  EXPECT_EQ(defaults["a"], std::nullopt);
  const auto err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(readFile(dir / "settings.json.broken"), "first");
  EXPECT_EQ(readFile(dir / "settings.json.broken.1"), "second");
  EXPECT_EQ(readFile(dir / "settings.json.broken.2"), "[1, 2, 3]");
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_NE(err.find("does not hold a JSON object"), std::string::npos) << err;
  EXPECT_NE(err.find((dir / "settings.json.broken.2").string()), std::string::npos) << err;
}

TEST_F(UserDefaultsTest, FileBrokenByAnotherProgramLaterIsAlsoKeptAside) {
  UserDefaults defaults(file);
  defaults.set("a", 1);
  writeFile(file, "\xff\xfe not text");
  testing::internal::CaptureStderr();
  defaults.set("b", 2);
  const auto err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(readFile(dir / "settings.json.broken"), "\xff\xfe not text");
  EXPECT_EQ(json::parse(readFile(file)), (json{{"b", 2}}));
  EXPECT_FALSE(err.empty());
}

TEST_F(UserDefaultsTest, EmptyFileIsEmptySettingsWithoutComplaint) {
  writeFile(file, "\n");
  UserDefaults defaults(file);
  testing::internal::CaptureStderr();
  EXPECT_EQ(defaults["a"], std::nullopt);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"settings.json"});
}

// Other processes

TEST_F(UserDefaultsTest, ValuesWrittenByOneProcessAreReadByAnother) {
  auto written = runProcess({helper, file, "set", "defaultEditorPath", R"("file:///a%20b/zed.desktop")", "set",
                             "size", R"({"width": 640})"});
  ASSERT_EQ(written.exitStatus, 0) << written.err;

  UserDefaults defaults(file);
  EXPECT_EQ(defaults["defaultEditorPath"], json("file:///a%20b/zed.desktop"));
  EXPECT_EQ(defaults["size"], (json{{"width", 640}}));

  // The store notices the other process's later write without being made anew.
  ASSERT_EQ(runProcess({helper, file, "set", "size", "7"}).exitStatus, 0);
  EXPECT_EQ(defaults["size"], json(7));
  defaults.set("mine", true);
  EXPECT_EQ(runProcess({helper, file, "get", "size", "get", "mine"}).out, "7\ntrue\n");
}

TEST_F(UserDefaultsTest, StandardStoreLivesInTheUserConfigFolder) {
  auto result = runProcess({helper, "-", "set", "k", R"("v")"}, {{"XDG_CONFIG_HOME", dir.path().string()}});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(json::parse(readFile(dir / "fennelview" / "settings.json")), (json{{"k", "v"}}));
}

}  // namespace
}  // namespace fennelview
