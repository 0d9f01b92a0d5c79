// SPDX-License-Identifier: GPL-3.0-or-later
// From a pixel of the user's page to the line of Sass in their editor, with real keys and clicks.
#include "window/pick_panel.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/document_window.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

long residentMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6)) / 1024;
  }
  return 0;
}

class PickPanelTest : public GuiTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PickPanelTest, APickedButtonShowsItsRulesAndEnterOpensTheEditorAtItsSassLine) {
  const fs::path root = dir / "site";
  const std::string buttons = "// Buttons\n$accent: #123456;\n\n%base { padding: 4px; }\n\n// Primary\n"
                              ".btn.primary {\n  @extend %base;\n  color: $accent;\n}\n";
  writeFiles(root, {{"package.json", "{}"}, {"scss/_buttons.scss", buttons},
                    {"scss/main.scss",
                     "@import \"buttons\";\nbutton { margin: 0 }\n@media (max-width: 10px) { .btn { color: red } }\n"},
                    {"css/vendor.css", "/* a kit */\n.btn { cursor: pointer }\n"}});
  writeFile(root / "index.html",
            "<!doctype html><link rel=stylesheet href=css/vendor.css><link rel=stylesheet href=css/main.css>\n"
            "<style>\n.primary { outline: none }\n.btn:-x-bogus { top: 0 }\n[data-q='\"'] { top: 0 }\n</style>"
            "<body style='margin:0'><button id=go class='btn primary'"
            " style='position:absolute;left:50px;top:60px;width:120px;height:40px'>Go</button>"
            "<script>for (const type of ['pointerdown', 'mousedown', 'mouseup', 'click'])\n"
            "  document.addEventListener(type, () => { document.title = type; }, true);</script>");
  settings.setCompiler(GetParam());
  settings.setDefaultEditorPath(guiDesktop().applicationURL("gedit"));
  guiDesktop().forgetCalls();

  auto window = open(root / "scss/main.scss", root / "index.html");
  auto& view = window->renderViewController();
  // The app's shortcuts come with its application.
  GObjectPtr<GtkApplication> application(gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE));
  ASSERT_TRUE(g_application_register(G_APPLICATION(application.get()), nullptr, nullptr));
  registerWindowShortcuts(application.get());
  gtk_window_set_application(window->window(), application.get());
  const std::string colour = "getComputedStyle(document.querySelector('button')).color";
  ASSERT_EQ(waitForPage(view.webView(), colour, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");

  // Escape in the page leaves pick mode; a click is then the page's own.
  const std::string outlined = "document.documentElement.lastElementChild.textContent";
  xdotool(window->window(), {"key", "ctrl+shift+c"});
  ASSERT_TRUE(runUntil([&] { return view.pickPanel().picking(); }));
  gtk_widget_grab_focus(GTK_WIDGET(view.webView()));
  pointTo(window->window(), GTK_WIDGET(view.webView()), 110, 80);
  ASSERT_EQ(waitForPage(view.webView(), outlined, "button#go.btn.primary"), "button#go.btn.primary");
  xdotool(window->window(), {"key", "Escape"});
  ASSERT_TRUE(runUntil([&] { return !view.pickPanel().picking(); }));
  xdotool(window->window(), {"click", "1"});
  ASSERT_EQ(waitForPage(view.webView(), "document.title", "click"), "click");
  evaluate(view.webView(), "document.title = ''");

  // Ctrl+Shift+C, a click on the button, then Enter: as a user does.
  xdotool(window->window(), {"key", "ctrl+shift+c"});
  ASSERT_TRUE(runUntil([&] { return view.pickPanel().picking(); }));
  pointTo(window->window(), GTK_WIDGET(view.webView()), 110, 80);
  xdotool(window->window(), {"click", "1"});
  ASSERT_TRUE(runUntil([&] { return !view.pickPanel().rowTexts().empty(); }, std::chrono::seconds(20)));
  // Strongest first, the page's other style sheets (linked or in a <style>) at their own lines; left out: the rule of a
  // media query that does not hold, and selectors that match nothing or are invalid. The page saw nothing of the click.
  EXPECT_EQ(view.pickPanel().rowTexts(),
            (std::vector<std::string>{".btn.primary  _buttons.scss:7\ncolor: #123456;",
                                      ".btn.primary  _buttons.scss:4\npadding: 4px;", ".primary  index.html:3\noutline: none;",
                                      ".btn  vendor.css:2\ncursor: pointer;",
                                      "button  main.scss:2\nmargin: 0;"}));
  EXPECT_EQ(evaluate(view.webView(), "document.title"), "");
  xdotool(window->window(), {"key", "Return"});
  ASSERT_TRUE(guiDesktop().waitForCalls("gedit", 1));
  EXPECT_EQ(guiDesktop().calls("gedit").front(), (std::vector<std::string>{"+7", (root / "scss/_buttons.scss").string()}));

  // A save refreshes the rules of the same element.
  writeFileByRename(root / "scss/_buttons.scss", "\n\n" + buttons);
  EXPECT_TRUE(runUntil([&] {
    const auto rows = view.pickPanel().rowTexts();
    return !rows.empty() && rows.front().starts_with(".btn.primary  _buttons.scss:9");
  }, std::chrono::seconds(30)));

  // Escape closes the panel; the page has the keyboard again.
  xdotool(window->window(), {"key", "Escape"});
  EXPECT_TRUE(runUntil([&] { return !gtk_widget_get_visible(view.pickPanel().widget()); }));
  EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(view.webView())));

  // Opened right after a save whose compile asked for no map, it lists the rules at their new lines.
  writeFileByRename(root / "scss/_buttons.scss", "\n" + buttons);
  xdotool(window->window(), {"key", "ctrl+shift+c"});
  ASSERT_TRUE(runUntil([&] { return view.pickPanel().picking(); }));
  pointTo(window->window(), GTK_WIDGET(view.webView()), 110, 80);
  xdotool(window->window(), {"click", "1"});
  EXPECT_TRUE(runUntil([&] {
    const auto rows = view.pickPanel().rowTexts();
    return rows.size() == 5 && rows[0].starts_with(".btn.primary  _buttons.scss:8") &&
           rows[1].starts_with(".btn.primary  _buttons.scss:5");
  }, std::chrono::seconds(30)));
}

using PickPanelBoundsTest = GuiTest;

// Style sheets that would take gigabytes or minutes to list, and elements no Tab reaches.
TEST_F(PickPanelBoundsTest, HostileStyleSheetsAnswerQuicklyAndTheArrowKeysPickAnyElement) {
  const fs::path root = dir / "site";
  writeFiles(root, {{"package.json", "{}"}, {"scss/main.scss", "h1 { margin: 0 }\n"}});
  std::string nested = "%x{";
  for (int i = 0; i < 27; ++i) nested += "a,b{";
  writeFile(root / "nested.css", nested + "color:red" + std::string(28, '}'));
  std::string list;
  for (int i = 0; i < 7000; ++i) list += ".s" + std::to_string(i) + ", ";
  writeFile(root / "list.css", list + "p { color: red }\n");
  writeFile(root / "index.html",
            "<!doctype html><link rel=stylesheet href=nested.css><link rel=stylesheet href=list.css>"
            "<link rel=stylesheet href=css/main.css><body><main><h1>Hi</h1><p>Text</p></main>");
  auto window = open(root / "scss/main.scss", root / "index.html");
  auto& view = window->renderViewController();
  ASSERT_EQ(waitForPage(view.webView(), "getComputedStyle(document.querySelector('p')).color", "rgb(255, 0, 0)"),
            "rgb(255, 0, 0)");

  view.pickPanel().enter();
  gtk_widget_grab_focus(GTK_WIDGET(view.webView()));
  // Pick mode is on in the page once the pointer's element is outlined.
  pointTo(window->window(), GTK_WIDGET(view.webView()), 300, 300);
  ASSERT_EQ(waitForPage(view.webView(), "document.documentElement.lastElementChild.localName", "div"), "div");
  ASSERT_EQ(waitForPage(view.webView(), "String(document.hasFocus())", "true"), "true");
  // The pointer goes off the page, so that no late move of it outlines another element.
  xdotool(window->window(), {"mousemove", "0", "0"});
  runUntil([] { return false; }, std::chrono::milliseconds(300));
  // From the body: its <main>, the heading in it, the paragraph after that; Enter picks it.
  for (const auto& [key, outlined] : {std::pair{"Down", "main"}, {"Down", "h1"}, {"Right", "p"}}) {
    xdotool(window->window(), {"key", key});
    ASSERT_EQ(waitForPage(view.webView(), "document.documentElement.lastElementChild.textContent", outlined), outlined);
  }
  const auto start = std::chrono::steady_clock::now();
  xdotool(window->window(), {"key", "Return"});
  ASSERT_TRUE(runUntil([&] { return !view.pickPanel().rowTexts().empty(); }, std::chrono::seconds(20)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(view.pickPanel().rowTexts(), (std::vector<std::string>{"p  list.css:1\ncolor: red;"}));
  EXPECT_LT(residentMegabytes(), 600);

  // Tab from the page reaches the panel again.
  gtk_widget_grab_focus(GTK_WIDGET(view.webView()));
  xdotool(window->window(), {"key", "Tab"});
  EXPECT_TRUE(runUntil([&] {
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window->window()));
    return focus && gtk_widget_is_ancestor(focus, view.pickPanel().widget());
  }));

  // Once the element has gone from the page, the next save lists nothing.
  evaluate(view.webView(), "document.querySelector('p').remove(); 1");
  writeFile(root / "scss/main.scss", "h1 { margin: 1px }\n");
  EXPECT_TRUE(runUntil([&] { return view.pickPanel().rowTexts().empty(); }, std::chrono::seconds(30)));
}

INSTANTIATE_TEST_SUITE_P(BothCompilers, PickPanelTest, ::testing::Values("libsass", "dart-sass"),
                         [](const auto& info) { return std::string(info.param) == "libsass" ? "LibSass" : "DartSass"; });

}  // namespace
}  // namespace fennelview
