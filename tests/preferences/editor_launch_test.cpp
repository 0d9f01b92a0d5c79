#include "preferences/editor_launch.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include "common/glib_ptr.hpp"
#include "preferences/preferences_controller.hpp"
#include "test_desktop.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::TempDir;
using test::TestDesktop;

const TestDesktop& desktop = TestDesktop::standard();
constexpr const char* key = PreferencesController::defaultEditorPathKey;

std::string fileURL(const std::filesystem::path& path) {
  GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  return uri.get();
}

class EditorLaunchTest : public ::testing::Test {
 protected:
  TempDir dir;
  UserDefaults defaults{dir / "settings.json"};
  std::filesystem::path document = dir / "Mes styles" / "thème & co.scss";

  void SetUp() override {
    desktop.forgetCalls();
    std::filesystem::create_directories(document.parent_path());
    test::writeFile(document, "a { color: red; }\n");
  }
};

TEST_F(EditorLaunchTest, StartsTheEditorOnExactlyTheDocumentsFile) {
  ASSERT_TRUE(launchEditor(desktop.applicationURL("alpha"), fileURL(document)));
  ASSERT_TRUE(desktop.waitForCalls("alpha", 1));
  EXPECT_EQ(desktop.calls("alpha"), (std::vector<std::vector<std::string>>{{document.string()}}));
  EXPECT_TRUE(desktop.calls("zed").empty());
}

TEST_F(EditorLaunchTest, EditorThatIsGoneIsAFailedLaunchAndNothingElse) {
  EXPECT_FALSE(launchEditor("file:///nowhere/removed.desktop", fileURL(document)));
  EXPECT_FALSE(launchEditor("not a url", fileURL(document)));
  EXPECT_FALSE(launchEditor("https://example.org/zed.desktop", fileURL(document)));
}

TEST_F(EditorLaunchTest, OpenInEditorUsesTheStoredChoice) {
  PreferencesController preferences(defaults);
  preferences.registerDefaultEditor();
  preferences.setDefaultEditor(preferences.editors()[0]);
  ASSERT_TRUE(openFileInDefaultEditor(defaults, fileURL(document)));
  ASSERT_TRUE(desktop.waitForCalls("zed", 1));
  EXPECT_EQ(desktop.calls("zed"), (std::vector<std::vector<std::string>>{{document.string()}}));
}

TEST_F(EditorLaunchTest, OpenInEditorFallsBackToTheEditorRegisteredAtStartUp) {
  PreferencesController(defaults).registerDefaultEditor();
  ASSERT_TRUE(openFileInDefaultEditor(defaults, fileURL(document)));
  ASSERT_TRUE(desktop.waitForCalls("mid", 1));
  EXPECT_EQ(desktop.calls("mid"), (std::vector<std::vector<std::string>>{{document.string()}}));
}

TEST_F(EditorLaunchTest, OpenInEditorWithoutUsableInputsDoesNothing) {
  const auto url = fileURL(document);
  EXPECT_FALSE(openFileInDefaultEditor(defaults, url));  // nothing stored or registered

  defaults.set(key, desktop.applicationURL("zed"));
  EXPECT_FALSE(openFileInDefaultEditor(defaults, std::nullopt));  // document never saved

  defaults.set(key, 7);
  EXPECT_FALSE(openFileInDefaultEditor(defaults, url));
  defaults.set(key, "file:///nowhere/zed.desktop#%zz");
  EXPECT_FALSE(openFileInDefaultEditor(defaults, url));
  defaults.set(key, "file:///nowhere/removed.desktop");
  EXPECT_FALSE(openFileInDefaultEditor(defaults, url));

  EXPECT_TRUE(desktop.calls("zed").empty());
}

TEST_F(EditorLaunchTest, StoredTextMustBeAWellFormedURL) {
  // The same application twice: once under its URL, once under the raw path text with a space.
  const auto folder = dir / "my apps";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(desktop.root() / "data/applications/alpha.desktop", folder / "alpha.desktop");
  const auto url = fileURL(folder / "alpha.desktop");
  ASSERT_NE(url.find("my%20apps"), std::string::npos);

  defaults.set(key, "file://" + (folder / "alpha.desktop").string());
  EXPECT_FALSE(openFileInDefaultEditor(defaults, fileURL(document)));
  defaults.set(key, url);
  EXPECT_FALSE(openFileInDefaultEditor(defaults, "file://" + document.string()));
  ASSERT_TRUE(openFileInDefaultEditor(defaults, fileURL(document)));
  ASSERT_TRUE(desktop.waitForCalls("alpha", 1));
  EXPECT_EQ(desktop.calls("alpha"), (std::vector<std::vector<std::string>>{{document.string()}}));
}

}  // namespace
}  // namespace fennelview
