// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/preview_web_context.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

// The live web processes WebKit started for this process.
std::vector<pid_t> webProcesses() {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);
    int pid = 0, parent = 0;
    char state = 0;
    if (stat.find("(WebKitWebProces) ") == std::string::npos ||
        std::sscanf(stat.c_str(), "%d (WebKitWebProces) %c %d", &pid, &state, &parent) != 3) continue;
    if (parent == getpid() && state != 'Z') found.push_back(pid);
  }
  return found;
}

using PreviewWebContextTest = GuiTest;

TEST_F(PreviewWebContextTest, WindowsShareOneWebProcessDrawnInSoftwareAndAKilledOneBringsEveryPageBack) {
  auto& shared = PreviewWebContext::shared();
  EXPECT_FALSE(shared.drawingPath().accelerated);
  EXPECT_NE(shared.drawingPath().reason.find("llvmpipe"), std::string::npos) << shared.drawingPath().reason;
  writeFile(dir / "one" / "a.scss", "h1 { color: #010203; }");
  writeFile(dir / "two" / "b.scss", "h1 { color: #040506; }");
  WebKitWebView* views[] = {open(dir / "one" / "a.scss")->renderViewController().webView(),
                            open(dir / "two" / "b.scss")->renderViewController().webView()};
  const std::string shown = "(window.before === undefined) + ' ' + getComputedStyle(document.querySelector('h1')).color";
  ASSERT_EQ(waitForPage(views[1], shown, "true rgb(4, 5, 6)"), "true rgb(4, 5, 6)");
  // Changed in place since the first load, so reloading the first page would show the old colour.
  writeFile(dir / "one" / "a.scss", "h1 { color: #070809; }");
  ASSERT_EQ(waitForPage(views[0], shown, "true rgb(7, 8, 9)"), "true rgb(7, 8, 9)");
  const auto processes = webProcesses();
  ASSERT_EQ(processes.size(), 1u);
  for (auto* view : views) {
    evaluate(view, "window.before = 1");
    EXPECT_EQ(webkit_web_view_get_settings(view), shared.settings());
  }
  EXPECT_EQ(webkit_settings_get_hardware_acceleration_policy(shared.settings()), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

  kill(processes.front(), SIGKILL);
  EXPECT_EQ(waitForPage(views[0], shown, "true rgb(7, 8, 9)"), "true rgb(7, 8, 9)");
  EXPECT_EQ(waitForPage(views[1], shown, "true rgb(4, 5, 6)"), "true rgb(4, 5, 6)");
  EXPECT_EQ(webProcesses().size(), 1u);
  // The setting reaches every preview through the settings they share.
  shared.setHardwareAcceleration(HardwareAcceleration::On);
  EXPECT_TRUE(shared.drawingPath().accelerated);
  shared.setHardwareAcceleration(HardwareAcceleration::Auto);
}

TEST_F(PreviewWebContextTest, AProcessWhoseScriptsStopAnsweringIsEndedAndEveryPageSaysWhyOnceAndComesBackWithinALimit) {
  using std::chrono::milliseconds;
  PreviewWebContext context(openGLRenderer, {.unresponsive = milliseconds(300), .unanswered = milliseconds(300), .endings = 1});
  struct Preview {
    GObjectPtr<WebKitWebView> view;
    std::vector<std::string> told;
    int loads = 0;
  } previews[2];
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  for (auto& preview : previews) {
    preview.view = context.makeWebView([&preview](const std::string& why, bool loadAgain) {
      preview.told.push_back(why);
      if (loadAgain && ++preview.loads) webkit_web_view_load_html(preview.view.get(), "<h1>back</h1>", "file:///");
    });
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(preview.view.get()));
    webkit_web_view_load_html(preview.view.get(), "<h1>first</h1>", "file:///");
  }
  GtkWindow* window = GTK_WINDOW(gtk_window_new());
  gtk_window_set_child(window, box);
  gtk_window_present(window);
  const std::string heading = "document.querySelector('h1').textContent";
  for (std::size_t round = 1; round <= 2; ++round) {
    ASSERT_EQ(waitForPage(previews[0].view.get(), heading, "first"), "first");
    webkit_web_view_evaluate_javascript(previews[0].view.get(), "for (;;) {}", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    runFor(milliseconds(300));
    // A save in the other preview asks the shared process for an answer that never comes.
    context.expectAnswer(previews[1].view.get());
    ASSERT_TRUE(runUntil([&] { return previews[0].told.size() == round && previews[1].told.size() == round; },
                         std::chrono::seconds(30)));
    for (auto& preview : previews) {
      const auto& why = preview.told.back();
      EXPECT_NE(why.find(round == 1 ? "stopped answering" : "again and again"), std::string::npos) << why;
      if (round == 1) { EXPECT_EQ(waitForPage(preview.view.get(), heading, "back"), "back"); }
      webkit_web_view_load_html(preview.view.get(), "<h1>first</h1>", "file:///");
    }
  }
  // Past the limit a page is not loaded again and again.
  for (auto& preview : previews) EXPECT_EQ(preview.loads, 1);
  gtk_window_destroy(window);
}

TEST_F(PreviewWebContextTest, APageThatAllocatesWithoutEndIsEndedForItsMemoryAndComesBack) {
  for (const auto& [machine, limit] : {std::pair{24000u, 4096u}, {2000u, 1000u}, {600u, 512u}})
    EXPECT_EQ(previewMemoryLimitMb(machine), limit) << machine;
  PreviewWebContext context(openGLRenderer, {.memoryMb = 400, .memoryPoll = 0.2});
  std::vector<std::string> told;
  GObjectPtr<WebKitWebView> view = context.makeWebView([&](const std::string& why, bool loadAgain) {
    told.push_back(why);
    if (loadAgain) webkit_web_view_load_html(view.get(), "<h1>back</h1>", "file:///");
  });
  GtkWindow* window = GTK_WINDOW(gtk_window_new());
  gtk_window_set_child(window, GTK_WIDGET(view.get()));
  gtk_window_present(window);
  webkit_web_view_load_html(view.get(),
                            "<h1>first</h1><script>const kept = [];"
                            " setInterval(() => kept.push(new Float64Array(1 << 20).fill(1)), 20);</script>",
                            "file:///");
  ASSERT_TRUE(runUntil([&] { return !told.empty(); }, std::chrono::seconds(60)));
  EXPECT_NE(told.front().find("too much memory"), std::string::npos) << told.front();
  EXPECT_EQ(waitForPage(view.get(), "document.querySelector('h1').textContent", "back"), "back");
  gtk_window_destroy(window);
}

}  // namespace
}  // namespace fennelview
