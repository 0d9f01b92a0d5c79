#include "preferences/preferences_controller.hpp"

#include <gtest/gtest.h>

#include "test_desktop.hpp"

namespace fennelview {
namespace {

using nlohmann::json;

// Before main: GIO reads the XDG folders at its first use.
const test::TestDesktop& desktop = test::TestDesktop::standard();
constexpr const char* key = PreferencesController::defaultEditorPathKey;

class PreferencesControllerTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  UserDefaults defaults{dir / "settings.json"};
  PreferencesController preferences{defaults};
};

TEST_F(PreferencesControllerTest, ListsTheStyleSheetApplicationsInGIOsOrder) {
  std::vector<std::pair<std::string, std::string>> listed;
  for (const auto& editor : preferences.editors()) listed.emplace_back(editor->description(), editor->path());
  EXPECT_EQ(listed, (decltype(listed){{"Zed Edit", desktop.applicationURL("zed")},
                                      {"nameless.desktop", desktop.applicationURL("nameless")},
                                      {"Alpha Pad", desktop.applicationURL("alpha")},
                                      {"Mid Writer", desktop.applicationURL("mid")}}));
}

TEST_F(PreferencesControllerTest, MissingSampleStyleSheetGivesAnEmptyListAndRegistersNothing) {
  test::FakeResources resources("#!/bin/sh\n");
  std::filesystem::remove(resources.path() / "Template" / "main.css");
  EXPECT_TRUE(preferences.editors().empty());
  EXPECT_EQ(preferences.defaultEditor(), nullptr);
  preferences.registerDefaultEditor();
  EXPECT_EQ(defaults.objectForKey(key), std::nullopt);
}

TEST_F(PreferencesControllerTest, UserWhoNeverChoseGetsTheLastEditor) {
  preferences.registerDefaultEditor();
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors().back());
  EXPECT_EQ(defaults.stringForKey(key), desktop.applicationURL("mid"));
}

TEST_F(PreferencesControllerTest, StoredURLGivesThatVeryEditorAndAnythingElseTheFirstLeftAsItIs) {
  preferences.registerDefaultEditor();
  defaults.setObject(desktop.applicationURL("alpha"), key);
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors()[2]);
  for (const auto& stored : {json(desktop.applicationURL("alpha") + "/"), json(desktop.applicationURL("Alpha")), json(42)}) {
    defaults.setObject(stored, key);
    EXPECT_EQ(preferences.defaultEditor(), preferences.editors().front()) << stored;
    EXPECT_EQ(defaults.objectForKey(key), stored);
  }
}

TEST_F(PreferencesControllerTest, ChoiceIsStoredAtOnceAndSeenByAnotherController) {
  preferences.setDefaultEditor(preferences.editors()[1]);
  EXPECT_EQ(json::parse(test::readFile(dir / "settings.json")), (json{{key, desktop.applicationURL("nameless")}}));
  PreferencesController other(defaults);
  EXPECT_EQ(other.defaultEditor(), other.editors()[1]);
  EXPECT_NE(other.defaultEditor(), preferences.editors()[1]);  // each controller has its own objects
  preferences.setDefaultEditor(nullptr);
  EXPECT_EQ(other.defaultEditor(), other.editors()[1]);
}

}  // namespace
}  // namespace fennelview
