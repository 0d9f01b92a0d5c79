// SPDX-License-Identifier: GPL-3.0-or-later
#include "screen_watch.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>

namespace fennelview::bench {

namespace {
constexpr int kSquare = 24;
// Damage says when the window drew; a slow poll covers a report that never comes.
constexpr int kPollMs = 20;
}  // namespace

struct ScreenWatch::State {
  Display* display = nullptr;
  int damageEvent = 0, damageError = 0;
  Window window = 0;
  Damage damage = 0;
  int x = 0, y = 0;
};

ScreenWatch::ScreenWatch() : state_(std::make_unique<State>()) {
  // A measured program's window goes with it, and with the window its damage object: the
  // errors that then come about are expected.
  XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; });
  state_->display = XOpenDisplay(nullptr);
  if (state_->display && !XDamageQueryExtension(state_->display, &state_->damageEvent, &state_->damageError)) {
    state_->damageEvent = -1;
  }
}

ScreenWatch::~ScreenWatch() {
  if (!state_->display) return;
  if (state_->damage) XDamageDestroy(state_->display, state_->damage);
  XCloseDisplay(state_->display);
}

bool ScreenWatch::connected() const { return state_->display != nullptr; }

std::vector<unsigned long> ScreenWatch::windowsOf(pid_t pid) {
  Display* display = state_->display;
  const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  std::vector<std::pair<long, unsigned long>> found;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return {};
  for (unsigned i = 0; i < count; ++i) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], wmPid, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) !=
            Success ||
        !data) {
      continue;
    }
    const long owner = items == 1 ? *reinterpret_cast<long*>(data) : 0;
    XFree(data);
    XWindowAttributes attributes;
    if (owner != pid || !XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable ||
        attributes.width < 200) {
      continue;
    }
    found.emplace_back(static_cast<long>(attributes.width) * attributes.height, children[i]);
  }
  if (children) XFree(children);
  std::sort(found.rbegin(), found.rend());
  std::vector<unsigned long> windows;
  for (const auto& [area, window] : found) windows.push_back(window);
  return windows;
}

void ScreenWatch::follow(unsigned long window, int x) {
  auto& s = *state_;
  if (s.damage) XDamageDestroy(s.display, s.damage);
  s.window = window;
  s.damage = s.damageEvent >= 0 ? XDamageCreate(s.display, window, XDamageReportNonEmpty) : 0;
  XWindowAttributes attributes;
  XGetWindowAttributes(s.display, window, &attributes);
  s.x = x;
  s.y = attributes.height / 2;
}

std::string ScreenWatch::pixels() {
  auto& s = *state_;
  XImage* image = XGetImage(s.display, s.window, s.x, s.y, kSquare, kSquare, AllPlanes, ZPixmap);
  if (!image) return {};
  std::string out(image->data, static_cast<std::size_t>(image->bytes_per_line) * image->height);
  XDestroyImage(image);
  return out;
}

std::optional<std::chrono::steady_clock::time_point> ScreenWatch::untilChanged(const std::string& before,
                                                                              std::chrono::milliseconds limit) {
  return until([&] { return pixels() != before; }, limit);
}

std::optional<std::chrono::steady_clock::time_point> ScreenWatch::untilColour(int red, int green, int blue,
                                                                             std::chrono::milliseconds limit) {
  auto& s = *state_;
  const auto channel = [](unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / (mask >> shift));
  };
  return until(
      [&] {
        XImage* image = XGetImage(s.display, s.window, s.x, s.y, kSquare, kSquare, AllPlanes, ZPixmap);
        if (!image) return false;
        bool all = true;
        for (int y = 0; y < kSquare && all; ++y) {
          for (int x = 0; x < kSquare && all; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            all = std::abs(channel(pixel, image->red_mask) - red) <= 2 &&
                  std::abs(channel(pixel, image->green_mask) - green) <= 2 &&
                  std::abs(channel(pixel, image->blue_mask) - blue) <= 2;
          }
        }
        XDestroyImage(image);
        return all;
      },
      limit);
}

std::optional<std::chrono::steady_clock::time_point> ScreenWatch::until(const std::function<bool()>& shown,
                                                                       std::chrono::milliseconds limit) {
  auto& s = *state_;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    // Every drawing reported so far is looked at once, then the square is read.
    while (XPending(s.display)) {
      XEvent event;
      XNextEvent(s.display, &event);
    }
    if (s.damage) XDamageSubtract(s.display, s.damage, None, None);
    const auto seen = std::chrono::steady_clock::now();
    if (shown()) return seen;
    pollfd fd{ConnectionNumber(s.display), POLLIN, 0};
    if (!XPending(s.display)) poll(&fd, 1, kPollMs);
  }
  return std::nullopt;
}

void setWindowBenchEnvironment() {
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
  setenv("GDK_BACKEND", "x11", 1);
  setenv("GTK_A11Y", "none", 0);
  setenv("NO_AT_BRIDGE", "1", 0);
}

}  // namespace fennelview::bench
