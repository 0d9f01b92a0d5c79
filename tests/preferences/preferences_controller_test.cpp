#include "preferences/preferences_controller.hpp"

#include <gtest/gtest.h>

#include "test_desktop.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using nlohmann::json;
using test::readFile;
using test::runProcess;
using test::TempDir;
using test::TestDesktop;
using test::writeFile;

// Before main: GIO reads the XDG folders at its first use.
const TestDesktop& desktop = TestDesktop::standard();
const std::string helper = FENNELVIEW_PREFERENCES_HELPER;
constexpr const char* key = PreferencesController::defaultEditorPathKey;

class PreferencesControllerTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path file = dir / "settings.json";
  UserDefaults defaults{file};
  PreferencesController preferences{defaults};

  std::vector<std::string> names() {
    std::vector<std::string> result;
    for (const auto& editor : preferences.editors()) result.push_back(editor->name());
    return result;
  }
};

// The list

TEST_F(PreferencesControllerTest, ListsTheStyleSheetApplicationsInGIOsOrder) {
  EXPECT_EQ(names(), (std::vector<std::string>{"Zed Edit", "nameless.desktop", "Alpha Pad", "Mid Writer"}));
  const auto& editors = preferences.editors();
  ASSERT_EQ(editors.size(), 4u);
  EXPECT_EQ(editors[0]->path(), desktop.applicationURL("zed"));
  EXPECT_EQ(editors[1]->path(), desktop.applicationURL("nameless"));
  EXPECT_EQ(editors[3]->path(), desktop.applicationURL("mid"));
  EXPECT_EQ(editors[2]->description(), "Alpha Pad");
}

TEST_F(PreferencesControllerTest, MissingSampleStyleSheetGivesAnEmptyList) {
  test::FakeResources resources("#!/bin/sh\n");
  std::filesystem::remove(resources.path() / "Template" / "main.css");
  EXPECT_TRUE(preferences.editors().empty());
  EXPECT_EQ(preferences.defaultEditor(), nullptr);
  preferences.registerDefaultEditor();
  EXPECT_EQ(defaults[key], std::nullopt);
  preferences.setDefaultEditor(nullptr);
  EXPECT_FALSE(std::filesystem::exists(file));
}

// The default editor

TEST_F(PreferencesControllerTest, UserWhoNeverChoseGetsTheLastEditor) {
  preferences.registerDefaultEditor();
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors().back());
  EXPECT_EQ(defaults[key], json(desktop.applicationURL("mid")));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(PreferencesControllerTest, StoredURLOfTheThirdEditorGivesThatVeryObject) {
  defaults.set(key, desktop.applicationURL("alpha"));
  preferences.registerDefaultEditor();
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors()[2]);
}

TEST_F(PreferencesControllerTest, NearMissesOfAStoredURLFallBackToTheFirstEditor) {
  const auto alpha = desktop.applicationURL("alpha");
  auto upper = alpha;
  upper[upper.size() - std::string("alpha.desktop").size()] = 'A';
  preferences.registerDefaultEditor();
  for (const auto& stored : {upper, alpha + "/", std::string("file:///gone/editor.desktop")}) {
    defaults.set(key, stored);
    EXPECT_EQ(preferences.defaultEditor(), preferences.editors().front()) << stored;
    EXPECT_EQ(defaults[key], json(stored));
  }
}

TEST_F(PreferencesControllerTest, StoredNumberGivesTheFirstEditorAndStaysAsItIs) {
  writeFile(file, R"({"defaultEditorPath": 42})");
  const auto before = readFile(file);
  preferences.registerDefaultEditor();
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors().front());
  EXPECT_EQ(readFile(file), before);
  EXPECT_EQ(defaults[key], json(42));
}

TEST_F(PreferencesControllerTest, ChoiceIsStoredAsTheURLAtOnce) {
  preferences.setDefaultEditor(preferences.editors()[1]);
  EXPECT_EQ(json::parse(readFile(file)), (json{{key, desktop.applicationURL("nameless")}}));
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors()[1]);

  const auto stranger = std::make_shared<Editor>("Elsewhere", "file:///opt/elsewhere.desktop");
  preferences.setDefaultEditor(stranger);
  EXPECT_EQ(defaults[key], json("file:///opt/elsewhere.desktop"));
  preferences.setDefaultEditor(nullptr);
  EXPECT_EQ(defaults[key], json("file:///opt/elsewhere.desktop"));
}

TEST_F(PreferencesControllerTest, TwoControllersSeeEachOthersChoice) {
  PreferencesController other(defaults);
  preferences.setDefaultEditor(preferences.editors()[2]);
  EXPECT_EQ(other.defaultEditor(), other.editors()[2]);
  EXPECT_NE(other.defaultEditor(), preferences.editors()[2]);  // each has its own objects
  other.setDefaultEditor(other.editors()[0]);
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors()[0]);
}

// Start-up in a process of its own

TEST_F(PreferencesControllerTest, ChoiceMadeInOneProcessIsTheDefaultInTheNext) {
  ASSERT_EQ(runProcess({helper, file, "register-editor", "choose", "2"}).exitStatus, 0);
  auto next = runProcess({helper, file, "register-editor", "default"});
  EXPECT_EQ(next.out, desktop.applicationURL("alpha") + "\n") << next.err;
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors()[2]);
}

TEST_F(PreferencesControllerTest, StartUpLeavesAStoredChoiceUntouched) {
  writeFile(file, json{{key, desktop.applicationURL("zed")}}.dump());
  const auto before = readFile(file);
  auto launch = runProcess({helper, file, "register-editor", "default", "get", key});
  const auto zed = json(desktop.applicationURL("zed")).dump();
  EXPECT_EQ(launch.out, desktop.applicationURL("zed") + "\n" + zed + "\n") << launch.err;
  EXPECT_EQ(readFile(file), before);
}

TEST_F(PreferencesControllerTest, StartUpWithoutEditorsRegistersNothing) {
  TestDesktop bare(TestDesktop::Editors::None);
  auto launch = runProcess({helper, file, "register-editor", "editors", "default", "get", key}, bare.environment());
  EXPECT_EQ(launch.exitStatus, 0) << launch.err;
  EXPECT_EQ(launch.out, "0\n(none)\n(none)\n");
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace fennelview
