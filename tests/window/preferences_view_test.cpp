// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/preferences_view.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "site/project_settings.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

using PreferencesViewTest = GuiTest;

TEST_F(PreferencesViewTest, TheChosenEditorIsStoredAtOnceAndOpensTheDocumentsFile) {
  const char* key = PreferencesController::defaultEditorPathKey;
  PreferencesController(settings).registerDefaultEditor();
  auto& view = PreferencesView::instantiate(settings);
  ASSERT_EQ(adw_combo_row_get_selected(view.editorRow()), 0u) << "the fallback, the desktop's default";
  adw_combo_row_set_selected(view.editorRow(), 1);
  EXPECT_EQ(defaults.objectForKey(key), nlohmann::json(guiDesktop().applicationURL("zed")));
  gtk_window_destroy(view.window());

  const auto sheet = dir / "Mes styles" / "thème.scss";
  writeFile(sheet, "a { b: c; }\n");
  auto window = open(sheet);
  ASSERT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.open-in-editor", nullptr));
  ASSERT_TRUE(guiDesktop().waitForCalls("zed", 1));
  EXPECT_EQ(guiDesktop().calls("zed"), (std::vector<std::vector<std::string>>{{sheet.string()}}));
  EXPECT_TRUE(guiDesktop().calls("mid").empty());
}

TEST_F(PreferencesViewTest, TheChosenCompilerIsStoredAndADamagedSettingsFileIsToldInTheWindow) {
  writeFile(dir / "settings.json", "{\"compiler\": ");
  auto& view = PreferencesView::instantiate(settings);
  EXPECT_EQ(settings.takeNotice(), std::nullopt) << "taken by the window's toast";
  ASSERT_EQ(Compilers::shared().found().size(), 2u) << "LibSass and Dart Sass, from scripts/install-deps";
  EXPECT_EQ(adw_combo_row_get_selected(view.compilerRow()), 0u) << "LibSass while nothing is stored";
  adw_combo_row_set_selected(view.compilerRow(), 1);
  EXPECT_EQ(settings.compiler(), "dart-sass");
  gtk_window_destroy(view.window());
}

TEST_F(PreferencesViewTest, LoadPathsAreAddedOnceAndRemovedByTheirButtonAndTheListFollowsTheSettings) {
  auto& view = PreferencesView::instantiate(settings);
  for (const char* folder : {"/srv/styles", "/home/ann/<partials>", "/srv/styles"}) view.addLoadPath(folder);
  EXPECT_EQ(defaults.objectForKey("loadPaths"), nlohmann::json({"/srv/styles", "/home/ann/<partials>"}));
  ASSERT_EQ(view.removeButtons().size(), 2u);
  g_signal_emit_by_name(view.removeButtons()[0], "clicked");
  EXPECT_EQ(settings.loadPaths(), std::vector<std::string>{"/home/ann/<partials>"});
  settings.setLoadPaths({"/a", "/b", "/c"});
  EXPECT_EQ(view.removeButtons().size(), 3u);
  gtk_window_destroy(view.window());

  // Opened for a project, it lists the project's own folders after the global ones.
  auto& project = PreferencesView::instantiate(settings, nullptr, dir / "site");
  project.addProjectLoadPath((dir / "site/node_modules/kit/scss").string());
  EXPECT_EQ(projectSettings(defaults, dir / "site").loadPaths, std::vector<std::string>{"node_modules/kit/scss"});
  ASSERT_EQ(project.removeButtons().size(), 4u);
  g_signal_emit_by_name(project.removeButtons()[3], "clicked");
  EXPECT_EQ(projectSettings(defaults, dir / "site").loadPaths, std::vector<std::string>{});
  EXPECT_EQ(settings.loadPaths().size(), 3u);
  gtk_window_destroy(project.window());
}

}  // namespace
}  // namespace fennelview
