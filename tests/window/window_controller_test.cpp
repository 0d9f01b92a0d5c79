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

TEST_F(WindowControllerTest, SaveCssWritesWhereTheDocumentKeepsAndWriteOnEverySaveFollowsItsSaves) {
  const auto sheet = dir / "site.scss", target = dir / "site.min.css";
  writeFile(sheet, "$c: red;\n.a { color: $c; }\n");
  settings.setCssExport(sheet.string(), {target, OutputStyle::kCompressed, false, false});
  auto* window = GTK_WIDGET(open(sheet)->window());
  const auto written = [&](const std::string& css) {
    return runUntil([&] { return std::filesystem::exists(target) && readFile(target) == css; },
                    std::chrono::seconds(20));
  };

  EXPECT_TRUE(gtk_widget_activate_action(window, "win.save-css", nullptr));
  EXPECT_TRUE(written(".a{color:red}\n"));
  EXPECT_TRUE(gtk_widget_activate_action(window, "win.write-css-on-save", nullptr));
  EXPECT_TRUE(settings.cssExport(sheet.string())->onEverySave);
  writeFileByRename(sheet, "$c: blue;\n.a { color: $c; }\n");
  EXPECT_TRUE(written(".a{color:blue}\n"));
}

}  // namespace
}  // namespace fennelview
