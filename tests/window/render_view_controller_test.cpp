// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/render_view_controller.hpp"

#include <gtest/gtest.h>

#include "common/resources.hpp"
#include "compile/compilers.hpp"
#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

constexpr const char* h1Color = "getComputedStyle(document.querySelector('h1')).color";
constexpr const char* errorText = "document.getElementById('fennelview-error').textContent";
const std::string clock = " \U0001F552 ";

// A finished compile shows a real duration, never the starting "0ms" nor a failure's "0s".
bool showsCompiledDuration(const std::string& label) {
  return label.find(clock) != std::string::npos && !label.ends_with(clock + "0ms") && !label.ends_with(clock + "0s");
}

// Waits until the window's error panel holds `fragment`; returns the panel's text.
std::string waitForError(const std::shared_ptr<WindowController>& window, const std::string& fragment) {
  auto* view = window->renderViewController().webView();
  waitForPage(view, std::string(errorText) + ".includes(" + nlohmann::json(fragment).dump() + ")", "true");
  return evaluate(view, errorText).value_or("(no page)");
}

using RenderViewTest = GuiTest;

TEST_F(RenderViewTest, FollowsEverySaveOfTheFileIncludingAnErrorAndItsRepair) {
  const auto sheet = dir / "site.scss";
  const std::string prefix = compilerForChoice(std::nullopt).name + clock;
  writeFile(sheet, "$brand: #123456;\nh1 { color: $brand; }\n");
  auto window = open(sheet);
  auto* view = window->renderViewController().webView();
  EXPECT_TRUE(waitForLabel(*window, showsCompiledDuration).starts_with(prefix)) << labelOf(*window);
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");

  writeFile(sheet, "h1 { color: #123456\n");
  EXPECT_EQ(waitForLabel(*window, [&](const std::string& l) { return l.ends_with(clock + "0s"); }), prefix + "0s");
  EXPECT_NE(waitForError(window, "Invalid CSS after").find("Invalid CSS after"), std::string::npos);

  writeFile(sheet, "h1 { color: #123456; }\n");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  EXPECT_TRUE(showsCompiledDuration(waitForLabel(*window, showsCompiledDuration)));
  EXPECT_EQ(evaluate(view, errorText), "");
}

TEST_F(RenderViewTest, HostileFilesShowAMessageInTheirWindow) {
  std::filesystem::create_directories(dir / "folder.scss");
  writeFile(dir / "latin1.scss", ".a { content: \"caf\xE9\"; }\n");
  writeFile(dir / "import.scss", "@import \"missing-partial\";\n");
  const std::pair<const char*, const char*> cases[] = {
      {"folder.scss", "is not a file that can be compiled"}, {"latin1.scss", "Invalid UTF-8"}, {"import.scss", "File to import not found"}};
  std::vector<std::shared_ptr<WindowController>> windows;
  for (const auto& [name, fragment] : cases) windows.push_back(open(dir / name));
  for (std::size_t i = 0; i < windows.size(); ++i) {
    EXPECT_NE(waitForError(windows[i], cases[i].second).find(cases[i].second), std::string::npos) << cases[i].first;
    EXPECT_TRUE(labelOf(*windows[i]).ends_with(clock + "0s")) << labelOf(*windows[i]);
  }
}

}  // namespace
}  // namespace fennelview
