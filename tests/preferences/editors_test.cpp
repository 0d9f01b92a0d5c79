// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "common/glib_ptr.hpp"
#include "preferences/editor_launch.hpp"
#include "preferences/preferences_controller.hpp"
#include "test_desktop.hpp"

namespace fennelview {
namespace {

using nlohmann::json;

// Before main: GIO reads the XDG folders at its first use.
const test::TestDesktop& desktop = test::TestDesktop::standard();
constexpr const char* key = PreferencesController::defaultEditorPathKey;
std::string url(const char* id) { return desktop.applicationURL(id); }

// Recorded calls are kept between tests: each test that launches looks at an application of its own.
class EditorsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  Settings settings{dir / "settings.json"};
  UserDefaults& defaults = settings.store();
  PreferencesController preferences{settings};
  std::filesystem::path document = dir / "Mes styles" / "thème & co.scss";
  std::string documentURL = GCharPtr(g_filename_to_uri(document.c_str(), nullptr, nullptr)).get();
};

TEST_F(EditorsTest, ListsTheStyleSheetApplicationsTheDesktopsDefaultFirstThenInGIOsOrder) {
  std::string listed;
  for (const auto& editor : preferences.editors()) listed += editor->description() + " " + editor->path() + "\n";
  EXPECT_EQ(listed, "Alpha Pad " + url("alpha") + "\nZed Edit " + url("zed") + "\nnameless.desktop " + url("nameless") +
                        "\nMid Writer " + url("mid") + "\n");
}

TEST_F(EditorsTest, DefaultIsTheStoredEditorElseTheDesktopsDefault) {
  preferences.registerDefaultEditor();
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors().front());
  defaults.setObject(url("mid"), key);
  EXPECT_EQ(preferences.defaultEditor(), preferences.editors()[3]);
  for (const json& stored : {json(url("alpha") + "/"), json(url("Alpha")), json(42)}) {
    defaults.setObject(stored, key);
    EXPECT_EQ(preferences.defaultEditor(), preferences.editors().front()) << stored;
  }
}

TEST_F(EditorsTest, ChoiceIsStoredAtOnceAndSeenByAnotherController) {
  preferences.setDefaultEditor(preferences.editors()[1]);
  PreferencesController other(settings);
  EXPECT_EQ(UserDefaults(dir / "settings.json").stringForKey(key), url("zed"));
  EXPECT_EQ(other.defaultEditor(), other.editors()[1]);
  EXPECT_NE(other.defaultEditor(), preferences.editors()[1]);  // each controller has its own objects
}

TEST_F(EditorsTest, OpenInEditorWithoutUsableInputsLaunchesNothing) {
  EXPECT_FALSE(openFileInDefaultEditor(defaults, documentURL));  // nothing stored
  defaults.setObject(url("mid"), key);
  EXPECT_FALSE(openFileInDefaultEditor(defaults, std::nullopt));  // document never saved
  EXPECT_FALSE(openFileInDefaultEditor(defaults, "file://" + document.string()));  // a space is no URL
  for (const json& stored :
       {json(7), json(url("mid") + "#%zz"), json("file:///nowhere/removed.desktop"), json("not a url")}) {
    defaults.setObject(stored, key);
    EXPECT_FALSE(openFileInDefaultEditor(defaults, documentURL)) << stored;
  }
  test::runFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(desktop.calls("mid").empty());
}

}  // namespace
}  // namespace fennelview
