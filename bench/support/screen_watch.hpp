// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fennelview::bench {

// Reads what a program's window shows, from the X server, as the user would see it.
class ScreenWatch {
 public:
  ScreenWatch();  // on $DISPLAY
  ~ScreenWatch();
  ScreenWatch(const ScreenWatch&) = delete;
  ScreenWatch& operator=(const ScreenWatch&) = delete;
  bool connected() const;

  // The shown top-level windows of process `pid`, largest first.
  std::vector<unsigned long> windowsOf(pid_t pid);
  // Follows one window: a square of its pixels, half way down, just inside its left edge,
  // where the page's background shows (or `x` pixels from that edge).
  void follow(unsigned long window, int x = 6);
  std::string pixels();
  // Waits until the square differs from `before`; the time it was seen, or none at `limit`.
  std::optional<std::chrono::steady_clock::time_point> untilChanged(const std::string& before,
                                                                   std::chrono::milliseconds limit);
  // Waits until the whole square shows the colour (within 2 of each channel): a change on the
  // way, such as a blank page, does not count.
  std::optional<std::chrono::steady_clock::time_point> untilColour(int red, int green, int blue,
                                                                  std::chrono::milliseconds limit);

 private:
  std::optional<std::chrono::steady_clock::time_point> until(const std::function<bool()>& shown,
                                                            std::chrono::milliseconds limit);
  struct State;
  std::unique_ptr<State> state_;
};

// What a bench that opens windows sets before GTK starts: X11 under Xvfb, WebKit's sandbox off
// (as root in a container), no accessibility bus.
void setWindowBenchEnvironment();

}  // namespace fennelview::bench
