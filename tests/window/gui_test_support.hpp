#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "test_desktop.hpp"
#include "window/window_controller.hpp"

namespace fennelview::test {

// The private desktop of the GUI tests: its XDG folders (settings included) and recorder
// editors. GTK is initialised on the display the tests run under.
const TestDesktop& guiDesktop();

// Opens a file as the application does and waits until its window is on screen.
std::shared_ptr<WindowController> openWindow(const std::filesystem::path& file);
// Closes the window as the user does (close request, then destroy) and lets it go.
void closeWindow(const std::shared_ptr<WindowController>& controller);

std::string labelOf(const WindowController& controller);
// Waits until the label satisfies `wanted`; returns the last label seen.
std::string waitForLabel(const WindowController& controller, const std::function<bool(const std::string&)>& wanted);
// Evaluates a script in the page and gives its value as text; none on a script error.
std::optional<std::string> evaluate(WebKitWebView* view, const std::string& script);
// Waits for finished page loads until the script yields `expected`; returns the last value.
std::optional<std::string> waitForPage(WebKitWebView* view, const std::string& script, const std::string& expected);

// The LibSass version that the resource folder's sassc reports.
std::string libsassVersionOfResourceSassc();
std::string fileURL(const std::filesystem::path& path);

}  // namespace fennelview::test
