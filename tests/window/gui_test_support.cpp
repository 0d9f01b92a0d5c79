// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "display_environment.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview::test {

namespace {

// Before any GIO or GTK call: the test desktop's XDG folders (so settings never touch the
// user's), and what WebKit needs in a container under Xvfb.
const TestDesktop& selectDesktop() {
  const char* display = getenv("DISPLAY");
  const std::string keptDisplay = display ? display : "";
  const TestDesktop& desktop = TestDesktop::standard();
  if (!keptDisplay.empty()) setenv("DISPLAY", keptDisplay.c_str(), 1);
  // No session bus: GIO must not start one for each editor launch.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fennelview-test-bus", 1);
  useXvfbEnvironment();
  return desktop;
}

const TestDesktop& desktopForAllTests = selectDesktop();

}  // namespace

const TestDesktop& guiDesktop() { return desktopForAllTests; }

std::shared_ptr<WindowController> openWindow(const std::filesystem::path& file, Settings& settings,
                                             const std::optional<std::filesystem::path>& page) {
  GObjectPtr<GFile> gfile(g_file_new_for_path(file.c_str()));
  auto controller = DocumentController::openDocument(gfile.get(), nullptr, settings,
                                                     DocumentController::Reuse::openWindow, page);
  EXPECT_TRUE(runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(controller->window())); }));
  return controller;
}

void closeWindow(const std::shared_ptr<WindowController>& controller) {
  gtk_window_close(controller->window());
  runUntil([] { return g_main_context_pending(nullptr) == FALSE; }, std::chrono::seconds(2));
}

std::shared_ptr<WindowController> GuiTest::open(const std::filesystem::path& file,
                                                const std::optional<std::filesystem::path>& page) {
  return windows_.emplace_back(openWindow(file, settings, page));
}

void GuiTest::close(const std::shared_ptr<WindowController>& window) {
  std::erase(windows_, window);
  closeWindow(window);
}

void GuiTest::SetUp() {
  // A failure, not a skip: a run without a display must not pass unseen.
  static const bool started = gtk_init_check();
  ASSERT_TRUE(started) << "no display: the GUI tests need one; run them under xvfb-run -a";
  guiDesktop().forgetCalls();
}

void GuiTest::TearDown() {
  for (const auto& window : windows_) closeWindow(window);
}

std::string labelOf(const WindowController& controller) { return controller.renderViewController().labelText(); }

std::string waitForLabel(const WindowController& controller, const std::function<bool(const std::string&)>& wanted) {
  runUntil([&] { return wanted(labelOf(controller)); }, std::chrono::seconds(20));
  return labelOf(controller);
}

std::optional<std::string> evaluate(WebKitWebView* view, const std::string& script) {
  struct Outcome { bool done = false; std::optional<std::string> value; } outcome;
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        auto& out = *static_cast<Outcome*>(data);
        GObjectPtr<JSCValue> value(webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
        if (value) out.value = GCharPtr(jsc_value_to_string(value.get())).get();
        out.done = true;
      },
      &outcome);
  runUntil([&] { return outcome.done; }, std::chrono::seconds(20));
  return outcome.value;
}

std::optional<std::string> waitForPage(WebKitWebView* view, const std::string& script, const std::string& expected) {
  // Polled: an update in place finishes no load.
  std::optional<std::string> value;
  runUntil([&] {
    value = webkit_web_view_is_loading(view) ? std::nullopt : evaluate(view, script);
    if (value != expected) runFor(std::chrono::milliseconds(50));
    return value == expected;
  }, std::chrono::seconds(30));
  return value;
}

}  // namespace fennelview::test
