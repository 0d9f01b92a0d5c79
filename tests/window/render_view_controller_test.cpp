#include "window/render_view_controller.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

constexpr const char* h1Color = "getComputedStyle(document.querySelector('h1')).color";
constexpr const char* errorText =
    "document.getElementById('fennelview-error').textContent";
const std::string clock = " \U0001F552 ";

bool endsWith(const std::string& text, const std::string& end) { return text.ends_with(end); }
// A finished compile shows a real duration: a number and a unit, never the initial "0ms".
bool showsCompiledDuration(const std::string& label) {
  return label.find(clock) != std::string::npos && !endsWith(label, clock + "0ms") && !endsWith(label, clock + "0s") &&
         !endsWith(label, clock);
}

class RenderViewTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path sheet = dir / "site.scss";
  std::string prefix = "Libsass " + libsassVersionOfResourceSassc() + clock;
};

TEST_F(RenderViewTest, ShowsTheCompiledStyleSheetAndNamesTheBundledCompiler) {
  writeFile(sheet, "$brand: #123456;\nh1 { color: $brand; }\n");
  auto window = openWindow(sheet);
  const auto label = waitForLabel(*window, showsCompiledDuration);
  EXPECT_TRUE(label.starts_with(prefix)) << label;
  EXPECT_TRUE(showsCompiledDuration(label)) << label;
  EXPECT_EQ(waitForPage(window->renderViewController().webView(), h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  closeWindow(window);
}

TEST_F(RenderViewTest, FollowsEverySaveOfTheFileIncludingErrorsAndTheirRepair) {
  writeFile(sheet, "h1 { color: #123456; }\n");
  auto window = openWindow(sheet);
  auto* view = window->renderViewController().webView();
  waitForLabel(*window, showsCompiledDuration);
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");

  writeFileByRename(sheet, "h1 { color: #abcdef; }\n");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(171, 205, 239)"), "rgb(171, 205, 239)");
  EXPECT_TRUE(showsCompiledDuration(labelOf(*window))) << labelOf(*window);

  writeFile(sheet, "h1 { color: #123456\n");
  EXPECT_EQ(waitForLabel(*window, [&](const std::string& l) { return endsWith(l, clock + "0s"); }), prefix + "0s");
  const auto message = waitForPage(view, errorText + std::string(".includes('Invalid CSS after')"), "true");
  EXPECT_EQ(message, "true") << evaluate(view, errorText).value_or("(no page)");
  EXPECT_NE(evaluate(view, h1Color), "rgb(18, 52, 86)");

  writeFile(sheet, "h1 { color: #123456; }\n");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  EXPECT_TRUE(showsCompiledDuration(waitForLabel(*window, showsCompiledDuration)));
  EXPECT_EQ(evaluate(view, errorText), "");
  closeWindow(window);
}

TEST_F(RenderViewTest, WindowShownBeforeTheFirstCompileEndsShowsTheStartingValueThenTheResult) {
  FakeResources slow("#!/bin/sh\nsleep 1\nexec '" + realSassc().string() + "' \"$@\"\n");
  writeFile(sheet, "h1 { color: #123456; }\n");
  auto window = openWindow(sheet);
  EXPECT_EQ(labelOf(*window), prefix + "0ms");
  EXPECT_TRUE(showsCompiledDuration(waitForLabel(*window, showsCompiledDuration))) << labelOf(*window);
  EXPECT_EQ(waitForPage(window->renderViewController().webView(), h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  closeWindow(window);
}

TEST_F(RenderViewTest, LabelIsTheCompilerNameVersionClockAndDuration) {
  EXPECT_EQ(RenderViewController::labelText("12ms"), prefix + "12ms");
}

}  // namespace
}  // namespace fennelview
