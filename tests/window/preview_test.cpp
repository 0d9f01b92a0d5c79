// SPDX-License-Identifier: GPL-3.0-or-later
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "app/app_delegate.hpp"
#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "gui_test_support.hpp"
#include "preferences/preferences_controller.hpp"
#include "test_support.hpp"
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

TEST_F(PreviewTest, ASaveUpdatesThePageInPlaceKeepingScrollFormValuesAndOpenDetails) {
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

TEST_F(PreviewTest, RelativeUrlsOfTheStyleSheetLoadFromTheDocumentsFolder) {
  std::filesystem::create_directory(dir / "img");
  GObjectPtr<GdkPixbuf> image(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 123, 45));
  gdk_pixbuf_fill(image.get(), 0x336699ff);
  ASSERT_TRUE(gdk_pixbuf_save(image.get(), (dir / "img" / "dot.png").c_str(), "png", nullptr, nullptr));
  open("h1 { content: url(img/dot.png); color: #123456; }");
  EXPECT_EQ(waitForPage(view, "document.querySelector('h1').getBoundingClientRect().width", "123"), "123");
}

TEST_F(PreviewTest, CssCannotEndItsStyleElementToRunAScript) {
  open("a::after { content: \"<$ERROR/style><script>window.injected = 1</script>\"; }\nh1 { color: #123456; }");
  ASSERT_EQ(waitForPage(view, h1Color, "rgb(18, 52, 86)"), "rgb(18, 52, 86)");
  EXPECT_EQ(evaluate(view, "typeof window.injected"), "undefined");
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

TEST_F(PreviewTest, TheCssViewFollowsEverySave) {
  open("h1 { color: #123456; }");
  g_action_group_change_action_state(G_ACTION_GROUP(window->window()), "show-css", g_variant_new_boolean(TRUE));
  auto& css = window->renderViewController().cssView();
  EXPECT_TRUE(runUntil([&] { return css.text().find("#123456") != std::string::npos; })) << css.text();
  writeFile(sheet, "h1 { color: #abcdef; }");
  EXPECT_TRUE(runUntil([&] { return css.text().find("#abcdef") != std::string::npos; })) << css.text();
}

TEST_F(PreviewTest, PageWidthAndZoomAreKeptForTheDocument) {
  open("h1 { color: #123456; }");
  gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.preview-width", "s", "phone");
  gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.zoom-in", nullptr);
  close(window);
  window = GuiTest::open(sheet);
  int width = 0;
  gtk_widget_get_size_request(GTK_WIDGET(window->renderViewController().webView()), &width, nullptr);
  EXPECT_EQ(width, 375);
  EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(window->renderViewController().webView()), 1.1);
}

using PreviewDropTest = GuiTest;

TEST_F(PreviewDropTest, AFileDroppedOnTheWindowOpensInAWindowOfItsOwn) {
  for (const char* name : {"a.scss", "b.scss"}) writeFile(dir / name, "h1 { color: red; }");
  AppDelegate delegate;
  ASSERT_TRUE(g_application_register(G_APPLICATION(delegate.application()), nullptr, nullptr));
  GObjectPtr<GFile> first(g_file_new_for_path((dir / "a.scss").c_str()));
  auto window = DocumentController::openDocument(first.get(), delegate.application(), settings);
  GValue value = G_VALUE_INIT;
  g_value_take_object(g_value_init(&value, G_TYPE_FILE), g_file_new_for_path((dir / "b.scss").c_str()));
  gboolean accepted = FALSE;
  g_signal_emit_by_name(window->renderViewController().dropTarget(), "drop", &value, 10.0, 10.0, &accepted);
  g_value_unset(&value);
  EXPECT_TRUE(accepted);
  std::shared_ptr<WindowController> opened;
  for (GList* w = gtk_application_get_windows(delegate.application()); w; w = w->next) {
    if (auto other = WindowController::fromWindow(GTK_WINDOW(w->data)); other && other != window) opened = other;
  }
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->sassDocument()->path(), (dir / "b.scss").string());
  closeWindow(opened);
  closeWindow(window);
}

}  // namespace
}  // namespace fennelview
