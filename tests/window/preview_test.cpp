// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/app_delegate.hpp"
#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "gui_test_support.hpp"
#include "preferences/preferences_controller.hpp"
#include "test_support.hpp"
#include "window/document_window.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

constexpr const char* h1Color = "getComputedStyle(document.querySelector('h1')).color";
// Tall enough to scroll far down in any window.
const std::string tall = "main { min-height: 5000px; }\n";

class PreviewTest : public GuiTest {
 protected:
  void open(const std::string& css) {
    writeFile(sheet, css);
    window = GuiTest::open(sheet);
    view = window->renderViewController().webView();
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer loads) {
                       if (event == WEBKIT_LOAD_STARTED) ++*static_cast<int*>(loads);
                     }),
                     &loads);
  }
  std::filesystem::path sheet = dir / "site.scss";
  std::shared_ptr<WindowController> window;
  WebKitWebView* view = nullptr;
  int loads = 0;
};

TEST_F(PreviewTest, ASaveUpdatesThePageInPlaceKeepingScrollFormValuesAndOpenDetailsAndTheCssViewFollows) {
  open(tall + "h1 { color: #123456; }");
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  evaluate(view, "document.getElementById('name').value = 'typed'; document.querySelector('details').open = true;"
                 "window.scrollTo(0, 1500); window.scrollY");
  const int loadsBefore = loads;
  writeFileByRename(sheet, tall + "h1 { color: #abcdef; }");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(171, 205, 239)"), "rgb(171, 205, 239)");
  EXPECT_EQ(evaluate(view, "window.scrollY"), "1500");
  EXPECT_EQ(evaluate(view, "document.getElementById('name').value"), "typed");
  EXPECT_EQ(evaluate(view, "document.querySelector('details').open"), "true");
  EXPECT_EQ(loads, loadsBefore);
  gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.show-css", nullptr);
  auto& css = window->renderViewController().cssView();
  EXPECT_TRUE(runUntil([&] { return css.text().find("#abcdef") != std::string::npos; })) << css.text();

  // A 5 MB result goes in place as well.
  std::string large = tall;
  while (large.size() < 5'000'000) large += ".u" + std::to_string(large.size()) + " { margin: 1px; }\n";
  writeFileByRename(sheet, large + "h1 { color: #010203; }");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(1, 2, 3)"), "rgb(1, 2, 3)");
  EXPECT_EQ(evaluate(view, "window.scrollY + document.getElementById('name').value"), "1500typed");
  EXPECT_EQ(loads, loadsBefore);
}

TEST_F(PreviewTest, TheCursorsLineInTheCssNamesItsSassPlaceAndEnterOpensItInTheEditorAtThatLine) {
  defaults.setObject(guiDesktop().applicationURL("gedit"), PreferencesController::defaultEditorPathKey);
  writeFile(dir / "_partial.scss", "h1 {\n  color: #123456;\n}\n");
  open("@import 'partial';\n");
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.show-css", nullptr);
  auto& css = window->renderViewController().cssView();
  ASSERT_TRUE(runUntil([&] { return css.text().find("#123456") != std::string::npos; })) << css.text();
  const auto text = css.text();
  const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(text.find("color")), '\n');
  auto* buffer = gtk_text_view_get_buffer(css.textView());
  GtkTextIter at;
  gtk_text_buffer_get_iter_at_line(buffer, &at, static_cast<int>(line));
  gtk_text_buffer_place_cursor(buffer, &at);
  // The map comes with a compile that opening the view asked for; the cursor stays.
  EXPECT_TRUE(runUntil([&] { return css.placeText() == "_partial.scss:2"; })) << css.placeText();

  // A real Enter through the X server, in the text view.
  ASSERT_TRUE(gtk_widget_grab_focus(GTK_WIDGET(css.textView())));
  xdotool(window->window(), {"key", "--window", "WINDOW", "Return"});
  ASSERT_TRUE(guiDesktop().waitForCalls("gedit", 1));
  EXPECT_EQ(guiDesktop().calls("gedit"), (std::vector<std::vector<std::string>>{{"+2", (dir / "_partial.scss").string()}}));
}

TEST_F(PreviewTest, AnErrorLinksToItsPlaceInTheEditorAndItsFixKeepsTheScroll) {
  defaults.setObject(guiDesktop().applicationURL("alpha"), PreferencesController::defaultEditorPathKey);
  open(tall + "h1 { color: #123456; }");
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  evaluate(view, "window.scrollTo(0, 2000)");
  writeFile(sheet, "h1 { color: #123456\n");
  const std::string link = "document.getElementById('fennelview-error-location')";
  const auto place = nlohmann::json(sheet.string() + ":1:").dump();
  ASSERT_EQ(waitForPage(view, link + ".textContent.startsWith(" + place + ")", "true"), "true");
  evaluate(view, link + ".click()");
  ASSERT_TRUE(guiDesktop().waitForCalls("alpha", 1));
  EXPECT_EQ(guiDesktop().calls("alpha"), (std::vector<std::vector<std::string>>{{sheet.string()}}));
  writeFile(sheet, tall + "h1 { color: #654321; }");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(101, 67, 33)"), "rgb(101, 67, 33)");
  EXPECT_EQ(evaluate(view, "window.scrollY + document.getElementById('fennelview-error').textContent"), "2000");
}

TEST_F(PreviewTest, AClickedLinkLeavesThePreviewWhereItIs) {
  open("h1 { color: #123456; }");
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  const std::string page = webkit_web_view_get_uri(view);
  writeFile(dir / "other.html", "<p>another page");
  const int loadsBefore = loads;
  evaluate(view, "const a = document.createElement('a'); a.href = 'other.html'; document.body.append(a); a.click()");
  // A later save is shown in the same page: no navigation took it away in between.
  writeFile(sheet, "h1 { color: #abcdef; }");
  EXPECT_EQ(waitForPage(view, h1Color, "rgb(171, 205, 239)"), "rgb(171, 205, 239)");
  EXPECT_EQ(loads, loadsBefore);
  EXPECT_EQ(webkit_web_view_get_uri(view), page);
  EXPECT_EQ(page, std::string(GCharPtr(g_filename_to_uri(dir.path().c_str(), nullptr, nullptr)).get()) + "/");
}

TEST_F(PreviewTest, TabPastThePagesLastLinkReachesTheHeadersFirstButtonAndShiftTabGoesBack) {
  open("h1 { color: #123456; }");
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  gtk_widget_grab_focus(GTK_WIDGET(view));
  evaluate(view, "Array.from(document.querySelectorAll('a[href], button, input, select, textarea, summary')).pop().focus()");
  pointTo(window->window(), GTK_WIDGET(view), 100, 100);
  xdotool(window->window(), {"key", "Tab"});
  const auto focus = [&] { return gtk_root_get_focus(GTK_ROOT(window->window())); };
  const auto onCss = [&] { return GTK_IS_TOGGLE_BUTTON(focus()) && !g_strcmp0(gtk_button_get_label(GTK_BUTTON(focus())), "CSS"); };
  EXPECT_TRUE(runUntil(onCss));
  runFor(std::chrono::milliseconds(300));
  EXPECT_TRUE(onCss()) << "the focus went on to " << (focus() ? gtk_widget_get_tooltip_text(focus()) : "nothing");
  xdotool(window->window(), {"key", "shift+Tab"});
  EXPECT_TRUE(runUntil([&] { return focus() && (focus() == GTK_WIDGET(view) || gtk_widget_is_ancestor(focus(), GTK_WIDGET(view))); }));
}

TEST_F(PreviewTest, ThePageTakesEveryWidthPresetAtOnceAndKeepsItAndTheZoomForTheDocument) {
  open("h1 { color: #123456; }");
  const auto pageWidth = [&](int wanted) {
    runUntil([&] { return gtk_widget_get_width(GTK_WIDGET(view)) == wanted; });
    return gtk_widget_get_width(GTK_WIDGET(view));
  };
  const auto ticked = [&] {
    char* preset = nullptr;
    g_object_get(window->window(), "preview-width", &preset, nullptr);
    return std::string(GCharPtr(preset).get());
  };
  auto* widget = GTK_WIDGET(window->window());
  auto* frame = gtk_widget_get_parent(GTK_WIDGET(view));
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_width(frame) > 768; }));
  const int whole = gtk_widget_get_width(frame);
  for (const auto& [preset, width] : {std::pair("fill", whole), {"phone", 375}, {"fill", whole}, {"tablet", 768}}) {
    gtk_widget_activate_action(widget, "win.preview-width", "s", preset);
    EXPECT_EQ(pageWidth(width), width) << preset;
    EXPECT_EQ(ticked(), preset);
  }
  gtk_widget_activate_action(widget, "win.zoom-in", nullptr);
  close(window);
  open("h1 { color: #123456; }");
  EXPECT_EQ(ticked(), "tablet");
  EXPECT_EQ(pageWidth(768), 768);
  EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(view), 1.1);
}

using OpenDocumentTest = GuiTest;

TEST_F(OpenDocumentTest, AnOpenFileByAnyPathOrDropShowsItsWindowADroppedOneOpensAndNewWindowAddsAView) {
  for (const char* name : {"styles/a.scss", "b.scss"}) writeFile(dir / name, "h1 { color: red; }");
  std::filesystem::create_symlink(dir / "styles" / "a.scss", dir / "link.scss");
  AppDelegate delegate;
  ASSERT_TRUE(g_application_register(G_APPLICATION(delegate.application()), nullptr, nullptr));
  auto* app = delegate.application();
  const auto windows = [&] {
    std::vector<std::shared_ptr<WindowController>> found;
    for (GList* w = gtk_application_get_windows(app); w; w = w->next) {
      if (auto controller = WindowController::fromWindow(GTK_WINDOW(w->data))) found.push_back(controller);
    }
    return found;
  };
  GObjectPtr<GFile> first(g_file_new_for_path((dir / "styles" / "a.scss").c_str()));
  auto window = DocumentController::openDocument(first.get(), app, settings);
  const auto drop = [&](const std::filesystem::path& file) {
    GValue value = G_VALUE_INIT;
    g_value_take_object(g_value_init(&value, G_TYPE_FILE), g_file_new_for_path(file.c_str()));
    gboolean accepted = FALSE;
    g_signal_emit_by_name(window->renderViewController().dropTarget(), "drop", &value, 10.0, 10.0, &accepted);
    g_value_unset(&value);
    return accepted;
  };
  EXPECT_TRUE(drop(dir / "link.scss"));
  GObjectPtr<GFile> dotted(g_file_new_for_path((dir / "styles" / ".." / "styles" / "a.scss").c_str()));
  DocumentController::openDocument(dotted.get(), app, settings);
  EXPECT_EQ(windows().size(), 1u) << "the same file by a link or another path";

  EXPECT_TRUE(drop(dir / "b.scss"));
  ASSERT_EQ(windows().size(), 2u);
  EXPECT_EQ(windows().front()->sassDocument()->path(), (dir / "b.scss").string()) << "the newest first";

  ASSERT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.new-window", nullptr));
  const auto all = windows();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_NE(all.front(), window);
  EXPECT_EQ(all.front()->sassDocument()->path(), window->sassDocument()->path());
  for (const auto& each : all) closeWindow(each);
}

}  // namespace
}  // namespace fennelview
