#include "window/window_controller.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

using WindowControllerTest = GuiTest;

TEST_F(WindowControllerTest, WindowSizeIsKeptUnderTheDocumentsPathAndRestoredForIt) {
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

TEST_F(WindowControllerTest, ClosingOneOfTwoWindowsOnAFileLeavesTheOtherFollowingIt) {
  const auto sheet = dir / "shared.scss";
  writeFile(sheet, "h1 { color: #123456; }\n");
  auto first = open(sheet);
  auto second = open(sheet);
  const auto firstDocument = first->sassDocument();
  close(first);
  EXPECT_TRUE(firstDocument->isClosed());
  writeFile(sheet, "h1 { color: #abcdef; }\n");
  const char* h1Color = "getComputedStyle(document.querySelector('h1')).color";
  EXPECT_EQ(waitForPage(second->renderViewController().webView(), h1Color, "rgb(171, 205, 239)"), "rgb(171, 205, 239)");
}

TEST_F(WindowControllerTest, KeptSizeWithFieldsOfAnotherTypeIsIgnored) {
  const auto sheet = dir / "typed.scss";
  writeFile(sheet, "h1 { color: #123456; }\n");
  defaults.setObject({{"width", "700"}, {"height", 500}, {"maximized", "yes"}}, sheet.string());
  auto window = open(sheet);
  int width = 0, height = 0;
  gtk_window_get_default_size(window->window(), &width, &height);
  EXPECT_NE(width, 700);
  EXPECT_FALSE(gtk_window_is_maximized(window->window()));
}

}  // namespace
}  // namespace fennelview
