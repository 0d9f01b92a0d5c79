#include "window/preferences_view.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

using PreferencesViewTest = GuiTest;

TEST_F(PreferencesViewTest, TheChosenEditorIsStoredAtOnceAndOpensTheDocumentsFile) {
  const char* key = PreferencesController::defaultEditorPathKey;
  PreferencesController(defaults).registerDefaultEditor();
  auto& view = PreferencesView::instantiate(defaults);
  ASSERT_EQ(gtk_drop_down_get_selected(view.dropDown()), 3u) << "the fallback, the last editor";
  gtk_drop_down_set_selected(view.dropDown(), 0);
  EXPECT_EQ(defaults.objectForKey(key), nlohmann::json(guiDesktop().applicationURL("zed")));
  gtk_window_destroy(view.window());

  const auto sheet = dir / "Mes styles" / "thème.scss";
  std::filesystem::create_directories(sheet.parent_path());
  writeFile(sheet, "a { b: c; }\n");
  auto window = open(sheet);
  ASSERT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.open-in-editor", nullptr));
  ASSERT_TRUE(guiDesktop().waitForCalls("zed", 1));
  EXPECT_EQ(guiDesktop().calls("zed"), (std::vector<std::vector<std::string>>{{sheet.string()}}));
  EXPECT_TRUE(guiDesktop().calls("mid").empty());
}

}  // namespace
}  // namespace fennelview
