// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-process figures of the application: the time from launch to the first finished page
// load and the idle memory with one window (median of 10 launches on the example), and the
// time and peak memory of opening a style sheet that compiles to about 20 MB of CSS.
// Memory is the application process's own; WebKit's web process is not counted.
// Usage (under a display, e.g. xvfb-run -a): app_bench [RUNS]
//
// Each launch runs this same program in its app mode: the application's own start-up with
// the file on its command line, plus an observer that reports each finished page load on
// standard output.
#include <gtk/gtk.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/app_delegate.hpp"
#include "common/glib_ptr.hpp"
#include "display_environment.hpp"
#include "median.hpp"
#include "window/render_view_controller.hpp"
#include "window/window_controller.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

namespace {

// App mode: the application as main() runs it; prints "loaded" at each finished page load
// and "compiled" at the first one that shows a finished compile.
int runApp(int argc, char** argv) {
  AppDelegate delegate;
  g_signal_connect(delegate.application(), "window-added", G_CALLBACK(+[](GtkApplication*, GtkWindow* window, gpointer) {
                     auto controller = WindowController::fromWindow(window);
                     if (!controller) return;
                     g_signal_connect(controller->renderViewController().webView(), "load-changed",
                                      G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer window) {
                                        if (event != WEBKIT_LOAD_FINISHED) return;
                                        auto c = WindowController::fromWindow(GTK_WINDOW(window));
                                        const auto result = c->sassDocument()->parsingResult().value();
                                        const bool compiled = result.isFailure() || result.output().parsingTime > 0;
                                        std::printf(compiled ? "compiled\n" : "loaded\n");
                                        std::fflush(stdout);
                                      }),
                                      window);
                   }),
                   nullptr);
  return delegate.run(argc, argv);
}

struct Launch {
  std::optional<double> firstLoadMs;
  std::optional<double> compiledMs;
  long idleRssKb = 0;
  long peakRssKb = 0;
};

long statusKb(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return 0;
}

// Launches the app on `file`, waits for the compiled page, lets it idle, then reads its memory.
Launch launch(const char* self, const std::filesystem::path& file, std::chrono::seconds limit) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execl(self, self, "--app", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  Launch out;
  std::string pending;
  char buffer[256];
  const auto deadline = start + limit;
  while (!out.compiledMs && Clock::now() < deadline) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1)) {
      if (!out.firstLoadMs) out.firstLoadMs = ms;
      if (pending.compare(0, eol, "compiled") == 0 && !out.compiledMs) out.compiledMs = ms;
    }
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  out.idleRssKb = statusKb(pid, "VmRSS");
  out.peakRssKb = statusKb(pid, "VmHWM");
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  close(fds[0]);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--app") == 0) {
    argv[1] = argv[0];
    return runApp(argc - 1, argv + 1);
  }
  test::useXvfbEnvironment();
  // Settings stay out of the user's.
  setenv("FENNELVIEW_RESOURCES", FENNELVIEW_BENCH_RESOURCES, 0);
  // No session bus: every launch is its own instance, never handed to an earlier one.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fennelview-bench-bus", 1);
  GCharPtr scratch(g_dir_make_tmp("fennelview-app-bench-XXXXXX", nullptr));
  const std::filesystem::path dir = scratch.get();
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) {
    std::cerr << "app_bench: no display; run it under xvfb-run -a\n";
    return 1;
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  std::vector<double> firstLoads, compiledLoads, idle;
  for (int i = 0; i < runs; ++i) {
    const auto run = launch(self.c_str(), FENNELVIEW_BENCH_EXAMPLE, std::chrono::seconds(30));
    if (!run.compiledMs) {
      std::cerr << "app_bench: launch " << i << " showed no compiled page\n";
      return 1;
    }
    firstLoads.push_back(*run.firstLoadMs);
    compiledLoads.push_back(*run.compiledMs);
    idle.push_back(run.idleRssKb / 1024.0);
  }
  std::printf("start-up on %s, %d launches:\n", FENNELVIEW_BENCH_EXAMPLE, runs);
  std::printf("  launch to first finished page load:     median %.0f ms (min %.0f, max %.0f)\n", test::median(firstLoads),
              *std::min_element(firstLoads.begin(), firstLoads.end()),
              *std::max_element(firstLoads.begin(), firstLoads.end()));
  std::printf("  launch to page with the compiled CSS:   median %.0f ms\n", test::median(compiledLoads));
  std::printf("  idle memory of the app, one window:     median %.1f MB resident\n", test::median(idle));

  const auto huge = dir / "huge.scss";
  std::ofstream(huge) << "@for $i from 1 through 200000 { .rule-#{$i} { width: #{$i}px; color: #abcdef; } }\n";
  std::vector<double> hugeLoads, peaks;
  for (int i = 0; i < 3; ++i) {
    const auto run = launch(self.c_str(), huge, std::chrono::seconds(120));
    if (!run.compiledMs) {
      std::cerr << "app_bench: the 20 MB style sheet showed no compiled page\n";
      return 1;
    }
    hugeLoads.push_back(*run.compiledMs);
    peaks.push_back(run.peakRssKb / 1024.0);
  }
  // The same compile without the app, for comparison.
  gchar* css = nullptr;
  const std::string sassc = std::string(FENNELVIEW_BENCH_RESOURCES) + "/sassc";
  const char* args[] = {sassc.c_str(), huge.c_str(), "--line-numbers", nullptr};
  const auto sasscStart = Clock::now();
  g_spawn_sync(nullptr, const_cast<gchar**>(args), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &css,
               nullptr, nullptr, nullptr);
  const double sasscMs = std::chrono::duration<double, std::milli>(Clock::now() - sasscStart).count();
  const std::size_t cssBytes = css ? std::strlen(css) : 0;
  g_free(css);
  std::printf("large output, %.1f MB of CSS, 3 launches:\n", cssBytes / 1e6);
  std::printf("  sassc alone:                            %.0f ms\n", sasscMs);
  std::printf("  launch to page with the compiled CSS:   median %.0f ms\n", test::median(hugeLoads));
  std::printf("  peak memory of the app process:         median %.1f MB resident\n", test::median(peaks));
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
