// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "preferences/settings.hpp"
#include "test_desktop.hpp"
#include "window/window_controller.hpp"

namespace fennelview::test {

// The private desktop of the GUI tests: its XDG folders (settings included) and recorder
// editors. GTK is initialised on the display the tests run under; without one every GUI test
// fails, so a run without a display cannot pass unseen.
const TestDesktop& guiDesktop();

// Closes the window as the user does (close request, then destroy) and lets it go.
void closeWindow(const std::shared_ptr<WindowController>& controller);

// A test with real windows and its own empty settings store: the windows it opens through open() are closed
// in TearDown whatever happened, so one failure cannot leave windows behind for the next test.
class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens a file as the application does (on `page`, when given) and waits until its window is on screen.
  std::shared_ptr<WindowController> open(const std::filesystem::path& file,
                                         const std::optional<std::filesystem::path>& page = std::nullopt);
  // Closes one window before the test ends.
  void close(const std::shared_ptr<WindowController>& window);

  TempDir dir;
  Settings settings{dir / "settings.json"};
  UserDefaults& defaults = settings.store();

 private:
  std::vector<std::shared_ptr<WindowController>> windows_;
};

std::string labelOf(const WindowController& controller);
// Waits until the label satisfies `wanted`; returns the last label seen.
std::string waitForLabel(const WindowController& controller, const std::function<bool(const std::string&)>& wanted);
// Evaluates a script in the page and gives its value as text; none on a script error.
std::optional<std::string> evaluate(WebKitWebView* view, const std::string& script);
// Waits until the script yields `expected` in the page; returns the last value.
std::optional<std::string> waitForPage(WebKitWebView* view, const std::string& script, const std::string& expected);

// Real pointer and keyboard input through the X server: `xdotool` with WINDOW standing for the
// window's X id, and the pointer moved to a point of a widget.
void xdotool(GtkWindow* window, std::vector<std::string> command);
void pointTo(GtkWindow* window, GtkWidget* widget, double x, double y);

}  // namespace fennelview::test
