// SPDX-License-Identifier: GPL-3.0-or-later
// What a save costs the user on a page a local server makes, against the same on a project's own
// page in the same run: the time from saving a partial (by rename) to the first pixel of the
// window that changes on the X server. The server is the tests' page server (Python).
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" server_page_bench [SAVES]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench_processes.hpp"
#include "median.hpp"
#include "page_server.hpp"
#include "screen_watch.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

std::string colours(int i) { return "$background: rgb(" + std::to_string(i % 250) + ", 120, 200);\n"; }

// Runs the app on `page` for the project's main.scss, waits for its window and for quiet, then
// times `saves` saves of the partial; the median in milliseconds, negative when none showed.
double measure(bench::ScreenWatch& screen, const test::TempDir& dir, const fs::path& project, const std::string& page, int saves) {
  bench::Subject app({FENNELVIEW_BENCH_APP, "--page", page, (project / "scss/main.scss").string()},
                     {{"XDG_CONFIG_HOME", (dir / "config").string()},
                      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fennelview-bench-bus"}});
  std::vector<unsigned long> windows;
  for (const auto end = Clock::now() + std::chrono::seconds(60); windows.empty() && Clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    windows = screen.windowsOf(app.pid());
  }
  if (windows.empty()) {
    std::cerr << "server_page_bench: no window for " << page << "\n";
    exit(1);
  }
  auto pids = bench::descendants(app.pid());
  pids.push_back(app.pid());
  bench::untilIdle(pids, std::chrono::seconds(60));
  screen.follow(windows.front());
  std::vector<double> times;
  for (int i = 1; i <= saves; ++i) {
    const std::string before = screen.pixels();
    const auto start = Clock::now();
    test::writeFileByRename(project / "scss/_colors.scss", colours(i));
    if (const auto seen = screen.untilChanged(before, std::chrono::seconds(10))) {
      times.push_back(std::chrono::duration<double, std::milli>(*seen - start).count());
    }
    bench::untilIdle(bench::descendants(app.pid()));
  }
  return times.empty() ? -1 : test::median(times);
}

void writeProject(const fs::path& project, const std::string& example, const std::string& page) {
  test::writeFiles(project, {{".git/HEAD", ""}, {"scss/_colors.scss", colours(0)},
                             {"scss/main.scss", "@import 'colors';\n" + example + "\nbody { background: $background; }\n"},
                             {page, "<!doctype html><link rel=stylesheet href=css/main.css><h1>Heading</h1><p>Text"}});
}

}  // namespace

int main(int argc, char** argv) {
  const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  bench::setWindowBenchEnvironment();
  bench::ScreenWatch screen;
  if (!screen.connected()) {
    std::cerr << "server_page_bench: no X display; run it under xvfb-run -a\n";
    return 1;
  }
  test::TempDir dir;
  const std::string example = test::readFile(FENNELVIEW_BENCH_EXAMPLE);
  // The same page and style sheet: once a file of the project, once made by the server.
  writeProject(dir / "own", example, "static/index.html");
  writeProject(dir / "served", example, "templates/base.html");
  const double own = measure(screen, dir, dir / "own", (dir / "own/static/index.html").string(), saves);
  test::PageServer server(dir / "served");
  const double served =
      measure(screen, dir, dir / "served", "http://127.0.0.1:" + std::to_string(server.port()) + "/", saves);
  std::printf("the example style sheet; save of a partial to the first changed pixel: median of %d saves\n", saves);
  std::printf("  own page     %7.1f ms\n  server page  %7.1f ms\n  server / own: %.2f\n", own, served,
              own > 0 ? served / own : 0.0);
  return 0;
}
