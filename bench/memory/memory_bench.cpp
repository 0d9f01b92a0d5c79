// SPDX-License-Identifier: GPL-3.0-or-later
// The memory that open windows cost: the proportional set size of the app and every process
// below it (web, network and compiler processes) once all windows show their page and all is
// quiet, with ten windows on ten style sheets against one window, in the same run.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" memory_bench [WINDOWS]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench_processes.hpp"
#include "screen_watch.hpp"
#include "test_support.hpp"

using namespace fennelview;

namespace {

struct Memory {
  double appMiB = 0, childrenMiB = 0;
  int webProcesses = 0;
  double total() const { return appMiB + childrenMiB; }
};

bool isWebProcess(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name.starts_with("WebKitWebProces");
}

Memory measure(bench::ScreenWatch& screen, const test::TempDir& dir, int windows) {
  std::vector<std::string> argv{FENNELVIEW_BENCH_APP};
  for (int i = 0; i < windows; ++i) argv.push_back((dir / ("sheet-" + std::to_string(i) + ".scss")).string());
  bench::Subject app(argv, {{"XDG_CONFIG_HOME", (dir / "config").string()},
                            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fennelview-bench-bus"}});
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (static_cast<int>(screen.windowsOf(app.pid()).size()) < windows && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  if (static_cast<int>(screen.windowsOf(app.pid()).size()) < windows) {
    std::cerr << "memory_bench: not all " << windows << " windows showed\n";
    exit(1);
  }
  auto pids = bench::descendants(app.pid());
  pids.push_back(app.pid());
  bench::untilIdle(pids, std::chrono::seconds(60));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  Memory out;
  out.appMiB = static_cast<double>(bench::pssKb(app.pid())) / 1024.0;
  for (pid_t pid : bench::descendants(app.pid())) {
    out.childrenMiB += static_cast<double>(bench::pssKb(pid)) / 1024.0;
    if (isWebProcess(pid)) ++out.webProcesses;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int windows = argc > 1 ? std::max(2, atoi(argv[1])) : 10;
  bench::setWindowBenchEnvironment();
  bench::ScreenWatch screen;
  if (!screen.connected()) {
    std::cerr << "memory_bench: no X display; run it under xvfb-run -a\n";
    return 1;
  }
  test::TempDir dir;
  const std::string example = test::readFile(FENNELVIEW_BENCH_EXAMPLE);
  for (int i = 0; i < windows; ++i) {
    test::writeFile(dir / ("sheet-" + std::to_string(i) + ".scss"), example + "\nh1 { letter-spacing: " + std::to_string(i) + "px; }\n");
  }
  const auto one = measure(screen, dir, 1), many = measure(screen, dir, windows);
  std::printf("PSS of the app and its children, all windows showing their page, then idle\n");
  for (const auto& [count, m] : {std::pair{1, one}, std::pair{windows, many}}) {
    std::printf("  %2d window%s %7.1f MiB (app %.1f, children %.1f; %d web process%s)\n", count, count == 1 ? ": " : "s:",
                m.total(), m.appMiB, m.childrenMiB, m.webProcesses, m.webProcesses == 1 ? "" : "es");
  }
  std::printf("  %d windows / 1 window: %.2fx\n", windows, one.total() > 0 ? many.total() / one.total() : 0.0);
  return 0;
}
