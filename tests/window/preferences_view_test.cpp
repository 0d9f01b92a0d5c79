#include "window/preferences_view.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

class PreferencesViewTest : public ::testing::Test {
 protected:
  UserDefaults& defaults = UserDefaults::standard();
  void SetUp() override {
    guiDesktop().forgetCalls();
    defaults.setObject(nullptr, PreferencesController::defaultEditorPathKey);
    PreferencesController(defaults).registerDefaultEditor();
  }
  std::string entry(GtkDropDown* dropDown, guint position) {
    return gtk_string_list_get_string(GTK_STRING_LIST(gtk_drop_down_get_model(dropDown)), position);
  }
};

TEST_F(PreferencesViewTest, ListsTheEditorsInGioOrderWithTheFallbackSelected) {
  auto& view = PreferencesView::instantiate(defaults);
  auto* dropDown = view.dropDown();
  ASSERT_EQ(g_list_model_get_n_items(gtk_drop_down_get_model(dropDown)), 4u);
  EXPECT_EQ(entry(dropDown, 0), "Zed Edit");
  EXPECT_EQ(entry(dropDown, 2), "Alpha Pad");
  EXPECT_EQ(entry(dropDown, 3), "Mid Writer");
  EXPECT_FALSE(entry(dropDown, 1).empty());  // an application without a name is still listed
  EXPECT_EQ(gtk_drop_down_get_selected(dropDown), 3u);
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(dropDown)));
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(view.noEditorLabel())));
  // Showing the choice writes nothing.
  gtk_window_present(view.window());
  runFor(std::chrono::milliseconds(100));
  EXPECT_EQ(defaults.objectForKey(PreferencesController::defaultEditorPathKey),
            nlohmann::json(guiDesktop().applicationURL("mid")));
  gtk_window_destroy(view.window());
}

TEST_F(PreferencesViewTest, ChoosingAnEditorStoresItAtOnceAndOpenInEditorUsesIt) {
  auto& view = PreferencesView::instantiate(defaults);
  gtk_drop_down_set_selected(view.dropDown(), 0);
  EXPECT_EQ(defaults.objectForKey(PreferencesController::defaultEditorPathKey),
            nlohmann::json(guiDesktop().applicationURL("zed")));
  EXPECT_EQ(view.defaultEditor(), view.editors()[0]);
  gtk_window_destroy(view.window());

  // A second view has its own list and shows the stored choice.
  auto& other = PreferencesView::instantiate(defaults);
  EXPECT_EQ(gtk_drop_down_get_selected(other.dropDown()), 0u);
  gtk_window_destroy(other.window());

  TempDir dir;
  writeFile(dir / "a.scss", "a { b: c; }\n");
  auto window = openWindow(dir / "a.scss");
  window->openInEditor();
  ASSERT_TRUE(guiDesktop().waitForCalls("zed", 1));
  EXPECT_EQ(guiDesktop().calls("zed"), (std::vector<std::vector<std::string>>{{(dir / "a.scss").string()}}));
  EXPECT_TRUE(guiDesktop().calls("mid").empty());
  closeWindow(window);
}

}  // namespace
}  // namespace fennelview
