// SPDX-License-Identifier: GPL-3.0-or-later
// The time from a save to the first changed pixel of Chromium showing the page (opened by the app
// itself through Ctrl+Shift+B, Chromium being the desktop's browser) and, as the baseline in the
// same run, of the app's own window. Saves alternate between the two figures; both follow each.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" browser_bench [SAVES]
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
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

// The first shown window of `pid`; 0 until there is one.
unsigned long waitForWindow(bench::ScreenWatch& screen, const std::function<pid_t()>& pid, const char* what) {
  for (const auto end = Clock::now() + std::chrono::seconds(60); Clock::now() < end;) {
    if (const auto windows = screen.windowsOf(pid()); !windows.empty()) return windows.front();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::cerr << "browser_bench: " << what << " showed no window\n";
  std::exit(1);
}

// Chromium's own process, as its profile's lock names it ("HOST-PID"): the desktop starts it
// apart from the app, not below it.
pid_t chromiumIn(const fs::path& profile) {
  std::error_code error;
  const auto lock = fs::read_symlink(profile / "SingletonLock", error).string();
  return error ? 0 : static_cast<pid_t>(std::atoi(lock.substr(lock.rfind('-') + 1).c_str()));
}

}  // namespace

int main(int argc, char** argv) {
  const int saves = argc > 1 ? std::max(2, atoi(argv[1])) : 20;
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
  bench::ScreenWatch app, browser;
  if (!app.connected() || !browser.connected()) {
    std::cerr << "browser_bench: no display; run it under xvfb-run -a\n";
    return 1;
  }
  test::TempDir dir;
  const auto project = dir / "project";
  test::writeFiles(project, {{".git/HEAD", ""}, {"index.html", "<!doctype html><link rel=stylesheet href=css/style.css><h1>Page</h1>"}});
  const auto sheet = project / "scss/style.scss";
  auto save = [&](int i) {
    test::writeFileByRename(sheet, "html, body { margin: 0; min-height: 100%; background: rgb(" + std::to_string(i % 250) + ", 100, 200); }\n");
  };
  save(0);
  // Chromium as the desktop's browser, for the app's environment only.
  test::writeFile(dir / "data/applications/bench-browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Bench Browser\nMimeType=x-scheme-handler/http;\nExec=chromium "
                  "--no-sandbox --disable-gpu --no-first-run --ozone-platform=x11 --window-size=960,720 --user-data-dir=" +
                      (dir / "profile").string() + " --app=%u\n");
  test::writeFile(dir / "config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=bench-browser.desktop;\n");
  bench::Subject subject({FENNELVIEW_BENCH_APP, sheet.string()},
                         {{"XDG_CONFIG_HOME", (dir / "config").string()}, {"XDG_DATA_HOME", (dir / "data").string()},
                          {"FENNELVIEW_RESOURCES", FENNELVIEW_BENCH_RESOURCES}, {"GDK_BACKEND", "x11"}});
  const auto appWindow = waitForWindow(app, [&] { return subject.pid(); }, "the app");
  bench::untilIdle({subject.pid()});
  const std::string id = std::to_string(appWindow);
  if (std::system(("xdotool windowfocus --sync " + id + " key --clearmodifiers ctrl+shift+b").c_str()) != 0) {
    std::cerr << "browser_bench: xdotool failed\n";
    return 1;
  }
  const auto browserWindow = waitForWindow(browser, [&] { return chromiumIn(dir / "profile"); }, "Chromium");
  const pid_t chromium = chromiumIn(dir / "profile");
  // Not the app's child: it is ended here, with its own children.
  const std::unique_ptr<const pid_t, void (*)(const pid_t*)> ending(&chromium, [](const pid_t* pid) { kill(*pid, SIGTERM); });
  app.follow(appWindow);
  browser.follow(browserWindow);
  auto all = [&] {
    auto pids = bench::descendants(subject.pid());
    const auto browsers = bench::descendants(chromium);
    pids.insert(pids.end(), browsers.begin(), browsers.end());
    pids.push_back(subject.pid());
    pids.push_back(chromium);
    return pids;
  };
  bench::untilIdle(all());
  std::vector<double> inApp, inBrowser;
  int missed = 0;
  for (int i = 1; i <= saves; ++i) {
    auto& screen = i % 2 ? browser : app;
    const std::string before = screen.pixels();
    const auto start = Clock::now();
    save(i);
    if (const auto seen = screen.untilChanged(before, std::chrono::seconds(10))) {
      (i % 2 ? inBrowser : inApp).push_back(std::chrono::duration<double, std::milli>(*seen - start).count());
    } else {
      ++missed;
    }
    bench::untilIdle(all());
  }
  if (inApp.empty() || inBrowser.empty()) {
    std::cerr << "browser_bench: no change reached the screen\n";
    return 1;
  }
  std::printf("save to first changed pixel, median of %zu saves each (%d missed)\n", inApp.size(), missed);
  std::printf("  Chromium through Open in Browser %7.1f ms\n", test::median(inBrowser));
  std::printf("  the app's own window (baseline)   %7.1f ms\n", test::median(inApp));
  std::printf("  Chromium / app: %.2f\n", test::median(inBrowser) / test::median(inApp));
  return 0;
}
