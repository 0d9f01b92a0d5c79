// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/window_controller.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

using WindowControllerTest = GuiTest;

TEST_F(WindowControllerTest, WindowSizeIsKeptUnderTheDocumentsPath) {
  const auto sheet = dir / "thème.scss";
  writeFile(sheet, "h1 { color: #123456; }\n");
  auto window = open(sheet);
  gtk_window_set_default_size(window->window(), 700, 500);
  close(window);
  EXPECT_EQ(defaults.objectForKey(sheet.string()), (nlohmann::json{{"width", 700}, {"height", 500}, {"maximized", false}}));
  int width = 0, height = 0;
  gtk_window_get_default_size(open(sheet)->window(), &width, &height);
  EXPECT_EQ(std::pair(width, height), std::pair(700, 500));
}

TEST_F(WindowControllerTest, SaveCssAsOffersThePagesMinifiedCssCompressedThenSaveCssAndWriteOnEverySaveKeepToIt) {
  const auto root = dir / "site", sheet = root / "scss" / "main.scss", target = root / "css" / "main.min.css";
  writeFile(sheet, ".a {\n  color: red;\n}\n.b {\n  margin: 0;\n}\n");
  writeFile(root / "index.html", "<!doctype html><link rel=stylesheet href=css/main.min.css><p class=a>a");
  auto window = open(sheet, root / "index.html");
  const std::string colour = "getComputedStyle(document.querySelector('p')).color";
  ASSERT_EQ(waitForPage(window->renderViewController().webView(), colour, "rgb(255, 0, 0)"), "rgb(255, 0, 0)");

  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.save-css-as", nullptr));
  GtkFileChooser* chooser = nullptr;
  const auto toplevels = gtk_window_get_toplevels();
  for (guint i = 0; i < g_list_model_get_n_items(toplevels) && !chooser; ++i) {
    GObjectPtr<GObject> toplevel(G_OBJECT(g_list_model_get_item(toplevels, i)));
    if (GTK_IS_FILE_CHOOSER_DIALOG(toplevel.get())) chooser = GTK_FILE_CHOOSER(toplevel.get());
  }
  ASSERT_NE(chooser, nullptr);
  EXPECT_STREQ(gtk_file_chooser_get_choice(chooser, "style"), "compressed");
  EXPECT_EQ(GCharPtr(gtk_file_chooser_get_current_name(chooser)).get(), std::string("main.min.css"));
  // The chooser shows the folder once it has read it; only then does it accept.
  GObjectPtr<GFile> folder;
  runUntil([&] { return bool(folder = GObjectPtr<GFile>(gtk_file_chooser_get_current_folder(chooser))); },
           std::chrono::seconds(10));
  ASSERT_TRUE(folder);
  EXPECT_EQ(GCharPtr(g_file_get_path(folder.get())).get(), target.parent_path().string());

  const auto written = [&](const std::string& css) {
    return runUntil([&] { return std::filesystem::exists(target) && readFile(target) == css; }, std::chrono::seconds(20));
  };
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  EXPECT_TRUE(written(".a{color:red}.b{margin:0}\n")) << readFile(target);

  std::filesystem::remove(target);
  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.save-css", nullptr));
  EXPECT_TRUE(written(".a{color:red}.b{margin:0}\n"));
  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.write-css-on-save", nullptr));
  EXPECT_TRUE(settings.cssExport(sheet.string())->onEverySave);
  writeFileByRename(sheet, ".a { color: blue; }\n");
  EXPECT_TRUE(written(".a{color:blue}\n"));
}

}  // namespace
}  // namespace fennelview
