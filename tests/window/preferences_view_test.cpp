// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/preferences_view.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

using PreferencesViewTest = GuiTest;

bool compiled(const WindowController& window) {
  return runUntil([&] { return !window.sassDocument()->compiling().value(); });
}

// Compiles started by the document from now on.
std::shared_ptr<int> countCompiles(SassDocument& document) {
  auto starts = std::make_shared<int>(-1);  // the current value comes first
  document.compiling().producer().start(Observer<bool>([starts](bool compiling) { *starts += compiling ? 1 : 0; }));
  *starts = 0;
  return starts;
}

TEST_F(PreferencesViewTest, TheChosenEditorIsStoredAtOnceAndOpensTheDocumentsFile) {
  const char* key = PreferencesController::defaultEditorPathKey;
  PreferencesController(defaults).registerDefaultEditor();
  auto& view = PreferencesView::instantiate(defaults);
  ASSERT_EQ(adw_combo_row_get_selected(view.editorRow()), 3u) << "the fallback, the last editor";
  adw_combo_row_set_selected(view.editorRow(), 0);
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

TEST_F(PreferencesViewTest, EscapeClosesTheWindow) {
  GtkWindow* window = PreferencesView::instantiate(defaults).window();
  g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
  gtk_window_present(window);
  ASSERT_TRUE(runUntil([&] { return gtk_window_is_active(window); }));
  ASSERT_EQ(runProcess({"xdotool", "key", "Escape"}).exitStatus, 0);
  EXPECT_TRUE(runUntil([&] { return window == nullptr; }));
  if (window) gtk_window_destroy(window);
}

TEST_F(PreferencesViewTest, ChoosingACompilerStoresItAndCompilesEveryOpenDocumentAgain) {
  writeFile(dir / "a.scss", "a { b: c; }\n");
  auto window = open(dir / "a.scss");
  ASSERT_TRUE(compiled(*window));
  const auto compiles = countCompiles(*window->sassDocument());
  auto& view = PreferencesView::instantiate(defaults);
  EXPECT_EQ(*compiles, 0) << "showing the window changes nothing";
  const auto found = Compilers::shared().found();
  ASSERT_EQ(found.size(), 2u) << "LibSass and Dart Sass, from scripts/install-deps";
  EXPECT_EQ(adw_combo_row_get_selected(view.compilerRow()), 0u) << "LibSass while nothing is stored";
  adw_combo_row_set_selected(view.compilerRow(), 1);
  EXPECT_EQ(defaults.stringForKey(std::string(kCompilerSettingKey)), "dart-sass");
  EXPECT_EQ(*compiles, 1);
  gtk_window_destroy(view.window());
}

TEST_F(PreferencesViewTest, LoadPathsAreAddedOnceRemovedByTheirButtonAndEachChangeCompilesAgain) {
  writeFile(dir / "a.scss", "a { b: c; }\n");
  auto window = open(dir / "a.scss");
  ASSERT_TRUE(compiled(*window));
  const auto compiles = countCompiles(*window->sassDocument());
  auto& view = PreferencesView::instantiate(defaults);
  for (const char* folder : {"/srv/styles", "/home/ann/<partials>", "/srv/styles"}) {
    view.addLoadPath(folder);
    ASSERT_TRUE(compiled(*window));
  }
  const auto key = PreferencesView::loadPathsKey;
  EXPECT_EQ(defaults.objectForKey(key), nlohmann::json({"/srv/styles", "/home/ann/<partials>"}));
  ASSERT_EQ(view.removeButtons().size(), 2u);
  g_signal_emit_by_name(view.removeButtons()[0], "clicked");
  ASSERT_TRUE(compiled(*window));
  EXPECT_EQ(defaults.objectForKey(key), nlohmann::json({"/home/ann/<partials>"}));
  EXPECT_EQ(view.removeButtons().size(), 1u);
  EXPECT_EQ(*compiles, 3);
  gtk_window_destroy(view.window());
}

}  // namespace
}  // namespace fennelview
