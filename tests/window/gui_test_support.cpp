// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "display_environment.hpp"
#include "window/render_view_controller.hpp"

// Last: X11 defines macros (None, Bool) that other headers use as names.
#include <gdk/x11/gdkx.h>

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

void closeWindow(const std::shared_ptr<WindowController>& controller) {
  gtk_window_close(controller->window());
  runUntil([] { return g_main_context_pending(nullptr) == FALSE; }, std::chrono::seconds(2));
}

std::shared_ptr<WindowController> GuiTest::open(const std::filesystem::path& file,
                                                const std::optional<std::filesystem::path>& page) {
  GObjectPtr<GFile> gfile(g_file_new_for_path(file.c_str()));
  auto& controller = windows_.emplace_back(
      DocumentController::openDocument(gfile.get(), nullptr, settings, DocumentController::Reuse::openWindow, page));
  EXPECT_TRUE(runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(controller->window())); }));
  return controller;
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
  // Shared with the callback: an answer that comes after the wait gave up must not write into a
  // frame that is gone.
  struct Outcome { bool done = false; std::optional<std::string> value; };
  auto outcome = std::make_shared<Outcome>();
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<Outcome>> out(static_cast<std::shared_ptr<Outcome>*>(data));
        GObjectPtr<JSCValue> value(webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
        if (value) (*out)->value = GCharPtr(jsc_value_to_string(value.get())).get();
        (*out)->done = true;
      },
      new std::shared_ptr<Outcome>(outcome));
  runUntil([&] { return outcome->done; }, std::chrono::seconds(20));
  return outcome->value;
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

void xdotool(GtkWindow* window, std::vector<std::string> command) {
  const auto surface = gtk_native_get_surface(GTK_NATIVE(window));
  ASSERT_TRUE(GDK_IS_X11_SURFACE(surface)) << "the tests drive the pointer and keys through X11";
  command.insert(command.begin(), "xdotool");
  for (auto& word : command) {
    if (word == "WINDOW") word = std::to_string(gdk_x11_surface_get_xid(surface));
  }
  std::vector<char*> argv;
  for (auto& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  int status = 0;
  GError* rawError = nullptr;
  const bool ran = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
                                &status, &rawError);
  GErrorPtr error(rawError);
  ASSERT_TRUE(ran && g_spawn_check_wait_status(status, nullptr)) << (error ? error->message : "xdotool failed");
}

void pointTo(GtkWindow* window, GtkWidget* widget, double x, double y) {
  graphene_point_t inWindow;
  const graphene_point_t inWidget = GRAPHENE_POINT_INIT(static_cast<float>(x), static_cast<float>(y));
  ASSERT_TRUE(gtk_widget_compute_point(widget, GTK_WIDGET(window), &inWidget, &inWindow));
  double surfaceX = 0, surfaceY = 0;
  gtk_native_get_surface_transform(GTK_NATIVE(window), &surfaceX, &surfaceY);
  // --sync waits for the pointer to move, which it never does when it is there already.
  xdotool(window, {"mousemove", "0", "0"});
  xdotool(window, {"mousemove", "--sync", "--window", "WINDOW", std::to_string(static_cast<int>(inWindow.x + surfaceX)),
                   std::to_string(static_cast<int>(inWindow.y + surfaceY))});
}

}  // namespace fennelview::test
