// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/preview_web_context.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

constexpr const char* h1Color = "getComputedStyle(document.querySelector('h1')).color";

// The live web processes WebKit started for this process.
std::vector<pid_t> webProcesses() {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const auto name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);
    const auto close = stat.rfind(')');
    if (close == std::string::npos || stat.find("(WebKitWebProces") == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(stat.c_str() + close + 2, "%c %d", &state, &parent) == 2 && parent == getpid() && state != 'Z') {
      found.push_back(std::stoi(name));
    }
  }
  return found;
}

using PreviewWebContextTest = GuiTest;

TEST_F(PreviewWebContextTest, WindowsShareOneWebProcessDrawnInSoftwareAndAKilledOneBringsEveryPageBack) {
  const auto& path = PreviewWebContext::shared().drawingPath();
  EXPECT_FALSE(path.accelerated);
  EXPECT_NE(path.reason.find("llvmpipe"), std::string::npos) << path.reason;

  std::filesystem::create_directories(dir / "one");
  std::filesystem::create_directories(dir / "two");
  writeFile(dir / "one" / "a.scss", "h1 { color: #010203; }");
  writeFile(dir / "two" / "b.scss", "h1 { color: #040506; }");
  const auto first = open(dir / "one" / "a.scss"), second = open(dir / "two" / "b.scss");
  WebKitWebView* views[] = {first->renderViewController().webView(), second->renderViewController().webView()};
  ASSERT_EQ(waitForPage(views[0], h1Color, "rgb(1, 2, 3)"), "rgb(1, 2, 3)");
  ASSERT_EQ(waitForPage(views[1], h1Color, "rgb(4, 5, 6)"), "rgb(4, 5, 6)");
  for (auto* view : views) {
    EXPECT_EQ(webkit_settings_get_hardware_acceleration_policy(webkit_web_view_get_settings(view)),
              WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  auto processes = webProcesses();
  ASSERT_EQ(processes.size(), 1u);

  // Changed in place since the first load, so a reload of the first page would show the old colour.
  writeFile(dir / "one" / "a.scss", "h1 { color: #070809; }");
  ASSERT_EQ(waitForPage(views[0], h1Color, "rgb(7, 8, 9)"), "rgb(7, 8, 9)");
  for (auto* view : views) evaluate(view, "window.before = 1");
  kill(processes.front(), SIGKILL);
  const std::string back = "(window.before === undefined) + ' ' + " + std::string(h1Color);
  EXPECT_EQ(waitForPage(views[0], back, "true rgb(7, 8, 9)"), "true rgb(7, 8, 9)");
  EXPECT_EQ(waitForPage(views[1], back, "true rgb(4, 5, 6)"), "true rgb(4, 5, 6)");
  EXPECT_EQ(webProcesses().size(), 1u);
  EXPECT_TRUE(runUntil([&] { return processEnded(processes.front()); }));

  // The setting reaches every open preview through the settings they share (WebKit itself keeps
  // acceleration off while WEBKIT_DISABLE_COMPOSITING_MODE is set, as in these tests).
  for (auto* view : views) EXPECT_EQ(webkit_web_view_get_settings(view), PreviewWebContext::shared().settings());
  PreviewWebContext::shared().setHardwareAcceleration(HardwareAcceleration::On);
  EXPECT_TRUE(PreviewWebContext::shared().drawingPath().accelerated);
  PreviewWebContext::shared().setHardwareAcceleration(HardwareAcceleration::Auto);
}

TEST_F(PreviewWebContextTest, AProcessWhoseScriptsStopAnsweringIsEndedAndEveryPageSaysWhyOnceAndComesBackWithinALimit) {
  PreviewWebContext context(openGLRenderer, PreviewLimits{.unresponsive = std::chrono::milliseconds(300),
                                                          .unanswered = std::chrono::milliseconds(300),
                                                          .endings = 1});
  struct Preview {
    GObjectPtr<WebKitWebView> view;
    GtkWindow* window = nullptr;
    std::vector<std::string> told;
  };
  Preview previews[2];
  for (auto& preview : previews) {
    preview.view = context.makeWebView([&preview](const std::string& why, bool loadAgain) {
      preview.told.push_back(why);
      if (loadAgain) webkit_web_view_load_html(preview.view.get(), "<h1>back</h1>", "file:///");
    });
    preview.window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_child(preview.window, GTK_WIDGET(preview.view.get()));
    gtk_window_present(preview.window);
    webkit_web_view_load_html(preview.view.get(), "<h1>first</h1>", "file:///");
  }
  for (auto& preview : previews) {
    ASSERT_EQ(waitForPage(preview.view.get(), "document.querySelector('h1').textContent", "first"), "first");
  }
  const auto runAway = [&] {
    webkit_web_view_evaluate_javascript(previews[0].view.get(), "for (;;) {}", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    runFor(std::chrono::milliseconds(300));
    // A save in the other window asks the shared process for an answer that never comes.
    context.expectAnswer(previews[1].view.get());
  };
  runAway();
  ASSERT_TRUE(runUntil([&] { return previews[0].told.size() == 1 && previews[1].told.size() == 1; }, std::chrono::seconds(30)));
  for (auto& preview : previews) {
    EXPECT_EQ(waitForPage(preview.view.get(), "document.querySelector('h1').textContent", "back"), "back");
    EXPECT_NE(preview.told.front().find("stopped answering"), std::string::npos) << preview.told.front();
  }
  // Once more within the limit's window: the pages are not loaded again and again.
  runAway();
  ASSERT_TRUE(runUntil([&] { return previews[0].told.size() == 2 && previews[1].told.size() == 2; }, std::chrono::seconds(30)));
  runFor(std::chrono::milliseconds(500));
  for (auto& preview : previews) {
    EXPECT_EQ(preview.told.size(), 2u);
    EXPECT_NE(preview.told.back().find("again and again"), std::string::npos) << preview.told.back();
    EXPECT_NE(evaluate(preview.view.get(), "document.querySelector('h1') === null"), "false");
    gtk_window_destroy(preview.window);
  }
}

}  // namespace
}  // namespace fennelview
