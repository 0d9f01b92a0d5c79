#include "gui_test_support.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <regex>

#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
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
  setenv("GTK_A11Y", "none", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GDK_BACKEND", "x11", 0);
  // GL through llvmpipe redraws so much with many windows open that it starves the compiler.
  setenv("GSK_RENDERER", "cairo", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
  return desktop;
}

const TestDesktop& desktopForAllTests = selectDesktop();

class GtkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!gtk_init_check()) GTEST_SKIP() << "no display: run the GUI tests under xvfb-run";
  }
};

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

}  // namespace

const TestDesktop& guiDesktop() { return desktopForAllTests; }

std::shared_ptr<WindowController> openWindow(const std::filesystem::path& file) {
  GObjectPtr<GFile> gfile(g_file_new_for_path(file.c_str()));
  auto controller = DocumentController::openDocument(gfile.get(), nullptr, UserDefaults::standard());
  EXPECT_TRUE(runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(controller->window())); }));
  return controller;
}

void closeWindow(const std::shared_ptr<WindowController>& controller) {
  GtkWindow* window = controller->window();
  gtk_window_close(window);
  runUntil([] { return g_main_context_pending(nullptr) == FALSE; }, std::chrono::seconds(2));
}

std::string labelOf(const WindowController& controller) { return controller.renderViewController().labelText(); }

std::string waitForLabel(const WindowController& controller, const std::function<bool(const std::string&)>& wanted) {
  runUntil([&] { return wanted(labelOf(controller)); }, std::chrono::seconds(20));
  return labelOf(controller);
}

std::optional<std::string> evaluate(WebKitWebView* view, const std::string& script) {
  struct Outcome {
    bool done = false;
    std::optional<std::string> value;
  } outcome;
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        auto& out = *static_cast<Outcome*>(data);
        GError* rawError = nullptr;
        GObjectPtr<JSCValue> value(webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &rawError));
        GErrorPtr error(rawError);
        if (error && getenv("FENNELVIEW_TEST_VERBOSE")) g_printerr("script failed: %s\n", error->message);
        if (value) {
          GCharPtr text(jsc_value_to_string(value.get()));
          out.value = text.get();
        }
        out.done = true;
      },
      &outcome);
  runUntil([&] { return outcome.done; }, std::chrono::seconds(20));
  return outcome.value;
}

std::optional<std::string> waitForPage(WebKitWebView* view, const std::string& script, const std::string& expected) {
  int finished = 0;
  const gulong handler = g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer count) {
                                            if (event == WEBKIT_LOAD_FINISHED) ++*static_cast<int*>(count);
                                          }),
                                          &finished);
  std::optional<std::string> value;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!webkit_web_view_is_loading(view)) {
      value = evaluate(view, script);
      if (value == expected) break;
    }
    // Wait for the next finished load rather than polling the page.
    const int seen = finished;
    runUntil([&] { return finished > seen; }, std::chrono::milliseconds(500));
  }
  g_signal_handler_disconnect(view, handler);
  return value;
}

std::string libsassVersionOfResourceSassc() {
  const auto result = runProcess({(realResources() / "sassc").string(), "--version"});
  std::smatch match;
  static const std::regex pattern("libsass: ([^+\\n]+)");
  return std::regex_search(result.out, match, pattern) ? match[1].str() : "(no version)";
}

std::string fileURL(const std::filesystem::path& path) {
  GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  return uri.get();
}

}  // namespace fennelview::test
