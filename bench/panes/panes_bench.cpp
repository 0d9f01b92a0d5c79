// SPDX-License-Identifier: GPL-3.0-or-later
// What side by side costs: the time from a save to the first changed pixel of the last of three
// panes (phone, tablet, desktop) to change on the X server, against the same in one view; and
// the proportional set size of the app and every process below it once all is quiet, three
// panes against one view. Both in the same run, each window an app of its own.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" panes_bench [SAVES]
#include <stdlib.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "bench_processes.hpp"
#include "median.hpp"
#include "screen_watch.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr int kPaneWidths[] = {375, 768, 1280};
constexpr int kGap = 8;

struct Figures {
  double toScreenMs = 0, fastestMs = 0, mib = 0;
  int missed = 0;
};

int windowWidth(unsigned long window) {
  Display* display = XOpenDisplay(nullptr);
  XWindowAttributes attributes{};
  if (display) XGetWindowAttributes(display, window, &attributes);
  if (display) XCloseDisplay(display);
  return attributes.width;
}

// Where each pane's page shows in a window `width` wide: just inside its left edge.
std::vector<int> paneEdges(int width) {
  int total = 0;
  for (int pane : kPaneWidths) total += pane;
  const double scale = std::min(1.0, static_cast<double>(width - 2 * kGap) / total);
  std::vector<int> edges;
  double x = 0;
  for (int pane : kPaneWidths) {
    edges.push_back(static_cast<int>(x) + 6);
    x += pane * scale + kGap;
  }
  return edges;
}

Figures measure(const test::TempDir& dir, const fs::path& sheet, bool sideBySide, int saves,
                const std::function<std::string(int)>& variant) {
  test::writeFile(sheet, variant(0));
  nlohmann::json settings = nlohmann::json::object();
  if (sideBySide) {
    auto panes = nlohmann::json::array();
    for (int width : kPaneWidths) panes.push_back({{"width", width}});
    settings["preview:" + sheet.string()] = {{"panes", panes}};
  }
  const auto config = dir / (sideBySide ? "config-panes" : "config-one");
  test::writeFile(config / "fennelview" / "settings.json", settings.dump());
  bench::Subject app({FENNELVIEW_BENCH_APP, sheet.string()},
                     {{"XDG_CONFIG_HOME", config.string()},
                      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fennelview-bench-bus"}});
  bench::ScreenWatch probe;
  std::vector<unsigned long> windows;
  for (const auto end = Clock::now() + std::chrono::seconds(60); probe.connected() && windows.empty() && Clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    windows = probe.windowsOf(app.pid());
  }
  if (windows.empty()) {
    std::cerr << "panes_bench: the app showed no window\n";
    exit(1);
  }
  auto pids = bench::descendants(app.pid());
  pids.push_back(app.pid());
  bench::untilIdle(pids, std::chrono::seconds(60));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  Figures out;
  for (pid_t pid : pids) out.mib += static_cast<double>(bench::pssKb(pid)) / 1024.0;

  // One watch per pane; the single view is watched where the phone pane would be.
  std::vector<std::unique_ptr<bench::ScreenWatch>> watches;
  const auto edges = sideBySide ? paneEdges(windowWidth(windows.front())) : std::vector<int>{6};
  for (int x : edges) {
    watches.push_back(std::make_unique<bench::ScreenWatch>());
    watches.back()->follow(windows.front(), x);
  }
  std::vector<double> times;
  for (int i = 1; i <= saves; ++i) {
    std::vector<std::string> before;
    for (auto& watch : watches) before.push_back(watch->pixels());
    const auto start = Clock::now();
    test::writeFile(sheet, variant(i));
    // Each pane in turn: one that changed while another was awaited answers at once.
    std::optional<Clock::time_point> last;
    for (std::size_t pane = 0; pane < watches.size(); ++pane) {
      const auto seen = watches[pane]->untilChanged(before[pane], std::chrono::seconds(10));
      if (!seen) {
        last.reset();
        break;
      }
      last = std::max(last.value_or(*seen), *seen);
    }
    if (last) {
      times.push_back(std::chrono::duration<double, std::milli>(*last - start).count());
    } else {
      ++out.missed;
    }
    bench::untilIdle(pids);
  }
  if (!times.empty()) {
    out.toScreenMs = test::median(times);
    out.fastestMs = *std::min_element(times.begin(), times.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  bench::setWindowBenchEnvironment();
  if (!bench::ScreenWatch().connected()) {
    std::cerr << "panes_bench: no X display; run it under xvfb-run -a\n";
    return 1;
  }
  test::TempDir dir;
  const std::string example = test::readFile(FENNELVIEW_BENCH_EXAMPLE);
  // Every save gives the page a new background, so each pane's square changes.
  const auto variant = [&](int i) {
    return example + "\nhtml, body { background: rgb(" + std::to_string(i % 250) + ", 120, 200) !important; }\n";
  };
  const auto one = measure(dir, dir / "one.scss", false, saves, variant);
  const auto three = measure(dir, dir / "panes.scss", true, saves, variant);
  std::printf("median of %d saves of %s, each a new page background, to the last pane changed on screen;\n"
              "PSS of the app and its children once quiet\n",
              saves, FENNELVIEW_BENCH_EXAMPLE);
  for (const auto& [name, f] : {std::pair{"one view", one}, std::pair{"three panes", three}}) {
    std::printf("  %-12s save to screen %6.1f ms (fastest %.1f), memory %7.1f MiB%s\n", name, f.toScreenMs, f.fastestMs,
                f.mib, f.missed ? " (some saves never showed)" : "");
  }
  const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("  three panes / one view: %.2f of the time, %.2f of the memory\n", ratio(three.toScreenMs, one.toScreenMs),
              ratio(three.mib, one.mib));
  return one.missed || three.missed ? 1 : 0;
}
