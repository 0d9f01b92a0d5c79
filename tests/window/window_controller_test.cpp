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

}  // namespace
}  // namespace fennelview
