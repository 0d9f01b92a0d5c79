// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/element_picker.hpp"

#include <gtest/gtest.h>

#include "common/glib_ptr.hpp"
#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

// A page that notices anything of a click reaching it.
constexpr const char* kPage = R"(<!DOCTYPE html><html><body style="margin:0">
<div id="page"><button class="btn primary" id="go" onclick="document.title = 'clicked'"
  style="position:absolute;left:50px;top:60px;width:120px;height:40px">Go</button></div>
<script>for (const type of ['pointerdown', 'mousedown', 'mouseup', 'click'])
  document.addEventListener(type, () => document.body.dataset.seen = type, true);</script>
</body></html>)";

class ElementPickerTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_default_size(window, 400, 300);
    view = WEBKIT_WEB_VIEW(webkit_web_view_new());
    gtk_window_set_child(window, GTK_WIDGET(view));
    gtk_window_present(window);
    webkit_web_view_load_html(view, kPage, "file:///");
    ASSERT_TRUE(runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(view)) && !webkit_web_view_is_loading(view); },
                         std::chrono::seconds(20)));
    ASSERT_EQ(waitForPage(view, "document.getElementById('go') !== null", "true"), "true");
  }
  void TearDown() override {
    picker.reset();
    gtk_window_destroy(window);
    GuiTest::TearDown();
  }

  void xdotool(const std::vector<std::string>& command) { test::xdotool(window, command); }
  void pointTo(double pageX, double pageY) { test::pointTo(window, GTK_WIDGET(view), pageX, pageY); }
  std::optional<std::string> label() { 
    return evaluate(view, "(last => last === document.body ? 'none' : last.textContent)"
                          "(document.documentElement.lastElementChild)");
  }

  GtkWindow* window = nullptr;
  WebKitWebView* view = nullptr;
  std::unique_ptr<ElementPicker> picker;
  std::optional<PickedElement> picked;
  int left = 0;
};

TEST_F(ElementPickerTest, ARealClickPicksTheElementWithoutReachingThePageAndMatchesItsSelectors) {
  picker = std::make_unique<ElementPicker>(view);
  picker->setPickedHandler([&](const PickedElement& element) { picked = element; });
  picker->enter();
  pointTo(20, 20);
  pointTo(110, 80);
  ASSERT_TRUE(runUntil([&] { return label() == "button#go.btn.primary"; }, std::chrono::seconds(20)))
      << label().value_or("(no label)");

  xdotool({"click", "1"});
  ASSERT_TRUE(runUntil([&] { return picked.has_value(); }, std::chrono::seconds(20)));
  EXPECT_EQ(*picked, (PickedElement{"button", "go", {"btn", "primary"}}));
  EXPECT_FALSE(picker->picking());
  EXPECT_EQ(evaluate(view, "document.title"), "");
  EXPECT_EQ(evaluate(view, "String(document.body.dataset.seen)"), "undefined");
  EXPECT_EQ(evaluate(view, "document.activeElement.localName"), "body");
  // The outline went with pick mode.
  EXPECT_EQ(label(), "none");

  std::optional<ElementPicker::MatchResult> matches;
  picker->matchSelectors({".btn.primary", "#page > button", "a[href]", "::-bogus((", ":where(.btn)", "x\", y"},
                         [&](ElementPicker::MatchResult result) { matches = std::move(result); });
  ASSERT_TRUE(runUntil([&] { return matches.has_value(); }));
  EXPECT_EQ(*matches, (std::vector<bool>{true, true, false, false, true, false}));

  // Once the element is gone there is nothing to match.
  evaluate(view, "document.getElementById('go').remove(); 1");
  matches.reset();
  picker->matchSelectors({"button"}, [&](ElementPicker::MatchResult result) { matches = std::move(result); });
  ASSERT_TRUE(runUntil([&] { return matches.has_value(); }));
  EXPECT_EQ(*matches, std::nullopt);
}

TEST_F(ElementPickerTest, EscapeInThePageLeavesPickMode) {
  picker = std::make_unique<ElementPicker>(view);
  picker->setLeftHandler([&] { ++left; });
  picker->enter();
  pointTo(110, 80);
  ASSERT_TRUE(runUntil([&] { return label() == "button#go.btn.primary"; }, std::chrono::seconds(20)));
  gtk_widget_grab_focus(GTK_WIDGET(view));
  xdotool({"key", "--window", "WINDOW", "Escape"});
  ASSERT_TRUE(runUntil([&] { return left == 1; }, std::chrono::seconds(20)));
  EXPECT_FALSE(picker->picking());
  EXPECT_EQ(label(), "none");
  // A click now is the page's again.
  xdotool({"click", "1"});
  EXPECT_EQ(waitForPage(view, "document.title", "clicked"), "clicked");
}

}  // namespace
}  // namespace fennelview
