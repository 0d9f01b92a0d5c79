// SPDX-License-Identifier: GPL-3.0-or-later
// What a save costs the user, measured from outside the programs: the time from writing the file
// to the first pixel of the window that changes on the X server, and the CPU that the program,
// its web (and other) processes and the X server spend from the save until all are idle again.
// The app is measured beside a bare GTK+WebKit window showing the same page, which reloads
// whenever the same CSS is written, with WebKit's defaults and with hardware acceleration off.
// Each runs as its own process with the environment the benchmark was started with.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" preview_bench [SAVES]
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
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

// Bare mode: one window, one web view on the page, a full reload when the style sheet is written.
int runBare(const fs::path& css, const fs::path& page, bool accelerated) {
  gtk_init();
  GtkWindow* window = GTK_WINDOW(gtk_window_new());
  gtk_window_set_default_size(window, 960, 720);
  WebKitWebView* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  if (!accelerated) {
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  gtk_window_set_child(window, GTK_WIDGET(view));
  const std::string uri = "file://" + page.string();
  webkit_web_view_load_uri(view, uri.c_str());
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  inotify_add_watch(fd, css.parent_path().c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
  static std::string name;
  name = css.filename().string();
  g_unix_fd_add(fd, G_IO_IN, +[](int fd, GIOCondition, gpointer view) -> gboolean {
    alignas(inotify_event) char buffer[4096];
    bool reload = false;
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + n;) {
        const auto* event = reinterpret_cast<inotify_event*>(at);
        if (event->len && name == event->name) reload = true;
        at += sizeof(inotify_event) + event->len;
      }
    }
    if (reload) webkit_web_view_reload(WEBKIT_WEB_VIEW(view));
    return G_SOURCE_CONTINUE;
  }, view);
  gtk_window_present(window);
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

struct Figures {
  double toScreenMs = 0, fastestMs = 0, cpuMs = 0, ownMs = 0, othersMs = 0, xMs = 0;
  int missed = 0;
};

// Runs `argv`, waits for its window and for quiet, then times `saves` saves made by `save(i)`.
Figures measure(bench::ScreenWatch& screen, const std::vector<std::string>& argv,
                const std::vector<std::pair<std::string, std::string>>& environment, const std::function<void(int)>& save,
                int saves) {
  save(0);
  bench::Subject subject(argv, environment);
  std::vector<unsigned long> windows;
  for (const auto end = Clock::now() + std::chrono::seconds(60); windows.empty() && Clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    windows = screen.windowsOf(subject.pid());
  }
  if (windows.empty()) {
    std::cerr << "preview_bench: " << argv[0] << " showed no window\n";
    exit(1);
  }
  const pid_t x = bench::xServer();
  auto all = [&] {
    auto pids = bench::descendants(subject.pid());
    pids.push_back(subject.pid());
    if (x) pids.push_back(x);
    return pids;
  };
  bench::untilIdle(all());
  screen.follow(windows.front());
  std::vector<double> times, cpu, own, others, xCpu;
  Figures out;
  for (int i = 1; i <= saves; ++i) {
    const auto pids = all();
    const std::string before = screen.pixels();
    const double allBefore = bench::cpuMs(pids), ownBefore = bench::cpuMs(subject.pid()), xBefore = x ? bench::cpuMs(x) : 0;
    const auto start = Clock::now();
    save(i);
    const auto seen = screen.untilChanged(before, std::chrono::seconds(10));
    if (seen) {
      times.push_back(std::chrono::duration<double, std::milli>(*seen - start).count());
    } else {
      ++out.missed;
    }
    bench::untilIdle(pids);
    const double total = bench::cpuMs(pids) - allBefore, mine = bench::cpuMs(subject.pid()) - ownBefore;
    const double server = x ? bench::cpuMs(x) - xBefore : 0;
    cpu.push_back(total);
    own.push_back(mine);
    xCpu.push_back(server);
    others.push_back(total - mine - server);
  }
  if (!times.empty()) {
    out.toScreenMs = test::median(times);
    out.fastestMs = *std::min_element(times.begin(), times.end());
  }
  out.cpuMs = test::median(cpu);
  out.ownMs = test::median(own);
  out.othersMs = test::median(others);
  out.xMs = test::median(xCpu);
  return out;
}

// The sample page as the app shows it, with the style sheet linked instead of inlined.
std::string barePage(std::string page) {
  const auto replace = [&page](const std::string& what, const std::string& with) {
    if (const auto at = page.find(what); at != std::string::npos) page.replace(at, what.size(), with);
  };
  replace("<style id=\"fennelview-css\">$CSS</style>", "<link rel=\"stylesheet\" href=\"sheet.css\">");
  replace("$ERROR", "");
  return page;
}

std::string compiled(const fs::path& scss) {
  gchar* out = nullptr;
  const std::string sassc = fs::path(FENNELVIEW_BENCH_RESOURCES) / "sassc";
  const char* args[] = {sassc.c_str(), scss.c_str(), nullptr};
  g_spawn_sync(nullptr, const_cast<gchar**>(args), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &out, nullptr,
               nullptr, nullptr);
  std::string css = out ? out : "";
  g_free(out);
  return css;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--bare") == 0) return runBare(argv[2], argv[3], std::strcmp(argv[4], "off") != 0);
  const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  // What WebKit needs as root in a container; nothing that chooses how to draw.
  bench::setWindowBenchEnvironment();
  bench::ScreenWatch screen;
  if (!screen.connected()) {
    std::cerr << "preview_bench: no X display; run it under xvfb-run -a\n";
    return 1;
  }
  test::TempDir dir;
  const std::string example = test::readFile(FENNELVIEW_BENCH_EXAMPLE);
  // Every save gives the page a new background, so the square the benchmark reads changes.
  const auto variant = [&](int i) {
    return example + "\nhtml, body { background: rgb(" + std::to_string(i % 250) + ", 120, 200) !important; }\n";
  };
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const auto sheet = dir / "sheet.scss", css = dir / "sheet.css", page = dir / "page.html";
  test::writeFile(page, barePage(test::readFile(fs::path(FENNELVIEW_BENCH_RESOURCES) / "Template" / "index.html")));
  // The bare window gets CSS compiled beforehand: its saves cost no compile.
  std::vector<std::string> sheets;
  for (int i = 0; i <= saves; ++i) {
    test::writeFile(dir / "variant.scss", variant(i));
    sheets.push_back(compiled(dir / "variant.scss"));
  }
  const std::vector<std::pair<std::string, std::string>> appEnvironment{
      {"XDG_CONFIG_HOME", (dir / "config").string()},
      // No session bus: the launch is an instance of its own.
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fennelview-bench-bus"}};

  std::printf("median of %d saves of %s, each a new page background; CPU from the save until idle\n", saves,
              FENNELVIEW_BENCH_EXAMPLE);
  const auto app = measure(screen, {FENNELVIEW_BENCH_APP, sheet.string()}, appEnvironment,
                           [&](int i) { test::writeFile(sheet, variant(i)); }, saves);
  const auto bare = measure(screen, {self, "--bare", css.string(), page.string(), "default"}, {},
                            [&](int i) { test::writeFile(css, sheets[static_cast<std::size_t>(i)]); }, saves);
  const auto bareOff = measure(screen, {self, "--bare", css.string(), page.string(), "off"}, {},
                               [&](int i) { test::writeFile(css, sheets[static_cast<std::size_t>(i)]); }, saves);
  const std::pair<const char*, const Figures&> rows[] = {
      {"app", app}, {"bare WebKit, its defaults", bare}, {"bare WebKit, no acceleration", bareOff}};
  for (const auto& [name, f] : rows) {
    std::printf("  %-29s save to screen %6.1f ms (fastest %.1f), CPU %6.1f ms (program %.0f, its children %.0f, X %.0f)%s\n",
                name, f.toScreenMs, f.fastestMs, f.cpuMs, f.ownMs, f.othersMs, f.xMs, f.missed ? " (some saves never showed)" : "");
  }
  const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("  app / bare WebKit:                 %.2f of the time, %.2f of the CPU\n",
              ratio(app.toScreenMs, bare.toScreenMs), ratio(app.cpuMs, bare.cpuMs));
  std::printf("  app / bare WebKit, no acceleration: %.2f of the time, %.2f of the CPU\n",
              ratio(app.toScreenMs, bareOff.toScreenMs), ratio(app.cpuMs, bareOff.cpuMs));
  return app.missed || bare.missed || bareOff.missed ? 1 : 0;
}
