#include "preferences/editor_launch.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include "common/glib_ptr.hpp"
#include "preferences/preferences_controller.hpp"
#include "test_desktop.hpp"

namespace fennelview {
namespace {

using nlohmann::json;

const test::TestDesktop& desktop = test::TestDesktop::standard();
constexpr const char* key = PreferencesController::defaultEditorPathKey;

std::string fileURL(const std::filesystem::path& path) {
  GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  return uri.get();
}

class EditorLaunchTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  UserDefaults defaults{dir / "settings.json"};
  std::filesystem::path document = dir / "Mes styles" / "thème & co.scss";

  void SetUp() override {
    desktop.forgetCalls();
    std::filesystem::create_directories(document.parent_path());
    test::writeFile(document, "a { color: red; }\n");
  }
};

TEST_F(EditorLaunchTest, StartsTheStoredEditorOnExactlyTheDocumentsFile) {
  defaults.setObject(desktop.applicationURL("alpha"), key);
  ASSERT_TRUE(openFileInDefaultEditor(defaults, fileURL(document)));
  ASSERT_TRUE(desktop.waitForCalls("alpha", 1));
  EXPECT_EQ(desktop.calls("alpha"), (std::vector<std::vector<std::string>>{{document.string()}}));
}

TEST_F(EditorLaunchTest, WithoutUsableInputsLaunchesNothing) {
  // A real application under a folder name with a space: only its escaped URL is a URL.
  GCharPtr zed(g_filename_from_uri(desktop.applicationURL("zed").c_str(), nullptr, nullptr));
  std::filesystem::copy_file(zed.get(), document.parent_path() / "zed.desktop");
  const auto url = fileURL(document);
  EXPECT_FALSE(openFileInDefaultEditor(defaults, url));  // nothing stored
  defaults.setObject(fileURL(document.parent_path() / "zed.desktop"), key);
  EXPECT_FALSE(openFileInDefaultEditor(defaults, std::nullopt));  // document never saved
  EXPECT_FALSE(openFileInDefaultEditor(defaults, "file://" + document.string()));
  for (const auto& stored : {json(7), json("file://" + (document.parent_path() / "zed.desktop").string()),
                             json("file:///nowhere/zed.desktop#%zz"), json("file:///nowhere/removed.desktop"),
                             json("https://example.org/zed.desktop"), json("not a url")}) {
    defaults.setObject(stored, key);
    EXPECT_FALSE(openFileInDefaultEditor(defaults, url)) << stored;
  }
  test::runFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(desktop.calls("zed").empty());
}

}  // namespace
}  // namespace fennelview
