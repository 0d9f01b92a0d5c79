#include "window/window_controller.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "gui_test_support.hpp"
#include "preferences/preferences_controller.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

class WindowControllerTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path sheet = dir / "Mes styles" / "thème.scss";
  UserDefaults& defaults = UserDefaults::standard();

  void SetUp() override {
    std::filesystem::create_directories(sheet.parent_path());
    writeFile(sheet, "h1 { color: #123456; }\n");
    guiDesktop().forgetCalls();
    defaults.setObject(nullptr, PreferencesController::defaultEditorPathKey);
  }
  void TearDown() override { defaults.setObject(nullptr, sheet.string()); }
};

TEST_F(WindowControllerTest, ForwardsTheDocumentsCurrentResultAtOnceThenEveryLaterOne) {
  auto controller = WindowController::instantiateFromMain(nullptr, defaults);
  std::vector<ParsingResult> seen;
  controller->documentChangeSignal().observeNext([&](const ParsingResult& r) { seen.push_back(r); });
  auto document = SassDocument::create();
  document->setFilePath(sheet.string());
  controller->setDocument(document);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].isSuccess());
  EXPECT_EQ(seen[0].output().output, "");

  document->parse();
  ASSERT_TRUE(runUntil([&] { return seen.size() == 2; }));
  EXPECT_NE(seen[1].output().output.find("#123456"), std::string::npos);

  controller->setDocument(nullptr);  // the earlier forwarding keeps running
  document->parse();
  EXPECT_TRUE(runUntil([&] { return seen.size() == 3; }));
  document->close();
  gtk_window_destroy(controller->window());
}

TEST_F(WindowControllerTest, TitleIsTheFileNameWithItsFolderAsTooltip) {
  auto window = openWindow(sheet);
  EXPECT_STREQ(gtk_window_get_title(window->window()), "thème.scss");
  EXPECT_STREQ(gtk_label_get_text(window->titleLabel()), "thème.scss");
  EXPECT_STREQ(gtk_widget_get_tooltip_text(GTK_WIDGET(window->titleLabel())), sheet.parent_path().c_str());
  closeWindow(window);
}

TEST_F(WindowControllerTest, ClosingTheWindowTearsItsDocumentDownAndOnlyThatOne) {
  auto first = openWindow(sheet);
  auto second = openWindow(sheet);
  ASSERT_NE(first->sassDocument(), second->sassDocument());
  auto firstDocument = first->sassDocument();
  closeWindow(first);
  EXPECT_TRUE(firstDocument->isClosed());
  EXPECT_FALSE(second->sassDocument()->isClosed());

  // The remaining window still follows the file.
  writeFile(sheet, "h1 { color: #abcdef; }\n");
  EXPECT_EQ(waitForPage(second->renderViewController().webView(),
                        "getComputedStyle(document.querySelector('h1')).color", "rgb(171, 205, 239)"),
            "rgb(171, 205, 239)");
  closeWindow(second);
}

TEST_F(WindowControllerTest, WindowSizeIsKeptUnderTheDocumentsPathAndRestoredForIt) {
  auto window = openWindow(sheet);
  EXPECT_EQ(window->frameAutosaveName(), sheet.string());
  gtk_window_set_default_size(window->window(), 700, 500);
  closeWindow(window);
  const auto frame = defaults.objectForKey(sheet.string());
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(*frame, (nlohmann::json{{"width", 700}, {"height", 500}, {"maximized", false}}));

  auto again = openWindow(sheet);
  int width = 0, height = 0;
  gtk_window_get_default_size(again->window(), &width, &height);
  EXPECT_EQ(width, 700);
  EXPECT_EQ(height, 500);
  closeWindow(again);

  const auto other = dir / "other.scss";
  writeFile(other, "h1 { color: red; }\n");
  auto unrelated = openWindow(other);
  gtk_window_get_default_size(unrelated->window(), &width, &height);
  EXPECT_NE(width, 700);
  closeWindow(unrelated);
  defaults.setObject(nullptr, other.string());
}

TEST_F(WindowControllerTest, DocumentWithoutAFileKeepsNoFrame) {
  auto document = SassDocument::create();
  document->readFromURL("", "scss");
  auto controller = makeWindowControllers(document, nullptr, defaults);
  controller->showWindow();
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(controller->window())); }));
  EXPECT_EQ(controller->frameAutosaveName(), "");
  closeWindow(controller);
  EXPECT_FALSE(defaults.objectForKey("").has_value());
  EXPECT_TRUE(document->isClosed());
}

TEST_F(WindowControllerTest, OpenInEditorLaunchesTheChosenEditorOnTheDocumentsFile) {
  defaults.setObject(guiDesktop().applicationURL("alpha"), PreferencesController::defaultEditorPathKey);
  auto window = openWindow(sheet);
  ASSERT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.open-in-editor", nullptr));
  ASSERT_TRUE(guiDesktop().waitForCalls("alpha", 1));
  EXPECT_EQ(guiDesktop().calls("alpha"), (std::vector<std::vector<std::string>>{{sheet.string()}}));
  EXPECT_TRUE(guiDesktop().calls("zed").empty());
  closeWindow(window);
}

TEST_F(WindowControllerTest, OpenInEditorWithoutAFileOrEditorAsksForNoLaunch) {
  auto document = SassDocument::create();
  auto controller = makeWindowControllers(document, nullptr, defaults);
  defaults.setObject(guiDesktop().applicationURL("alpha"), PreferencesController::defaultEditorPathKey);
  EXPECT_FALSE(controller->openInEditor());
  document->close();
  gtk_window_destroy(controller->window());

  defaults.setObject("not a url", PreferencesController::defaultEditorPathKey);
  auto window = openWindow(sheet);
  EXPECT_FALSE(window->openInEditor());
  closeWindow(window);
  runFor(std::chrono::milliseconds(200));
  EXPECT_TRUE(guiDesktop().calls("alpha").empty());
}

TEST_F(WindowControllerTest, KeptSizeWithFieldsOfAnotherTypeIsIgnored) {
  defaults.setObject({{"width", "700"}, {"height", 500}, {"maximized", "yes"}}, sheet.string());
  auto window = openWindow(sheet);
  int width = 0, height = 0;
  gtk_window_get_default_size(window->window(), &width, &height);
  EXPECT_NE(width, 700);
  EXPECT_FALSE(gtk_window_is_maximized(window->window()));
  closeWindow(window);
}

}  // namespace
}  // namespace fennelview
