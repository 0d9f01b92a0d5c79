// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what one save costs a document window: the time from writing the file to the first
// frame drawn with the new style, and the CPU that the app, its web processes and the X server
// spend from the save until they are idle again. Each figure is taken with the page updated in
// place and, as the baseline, with a full reload of the page (forced by touching the template,
// the one change that reloads it), on the example and on a style sheet of about 400 KB of CSS.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" preview_bench [SAVES]
// Renders with cairo and no compositing unless GSK_RENDERER and WEBKIT_DISABLE_COMPOSITING_MODE
// say otherwise (gl and 0 are the desktop's defaults).
#include <gtk/gtk.h>
#include <stdlib.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/document_controller.hpp"
#include "display_environment.hpp"
#include "median.hpp"
#include "test_support.hpp"
#include "preferences/settings.hpp"
#include "common/glib_ptr.hpp"
#include "window/render_view_controller.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

// Reports the heading's colour after the frame that shows it: on load and whenever the
// user's style sheet changes.
constexpr const char* kFrameProbe = R"JS((() => {
  const report = () => requestAnimationFrame(() => requestAnimationFrame(() =>
    window.webkit.messageHandlers.fennelviewBench.postMessage(getComputedStyle(document.querySelector('h1')).color)));
  const style = document.getElementById('fennelview-css');
  if (style) new MutationObserver(report).observe(style, {childList: true, characterData: true, subtree: true});
  report();
})();)JS";

// Blocks in the main loop between checks, so that waiting costs this process no CPU.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto end = Clock::now() + limit;
  const guint tick = g_timeout_add(10, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  while (!done() && Clock::now() < end) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(tick);
  return done();
}

// The fields of /proc/PID/stat from the state on (after the command name, which may hold
// spaces); nothing when the process is gone.
std::istringstream statFields(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  const auto close = line.rfind(')');
  return std::istringstream(close == std::string::npos ? std::string() : line.substr(close + 2));
}

// utime + stime, in clock ticks, of one process; 0 when it is gone.
long long cpuTicks(pid_t pid) {
  auto fields = statFields(pid);
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // fields 3..13
  long long user = 0, system = 0;
  fields >> user >> system;
  return user + system;
}

pid_t parentOf(pid_t pid) {
  auto fields = statFields(pid);
  std::string state;
  pid_t parent = 0;
  fields >> state >> parent;
  return parent;
}

// This process, every process below it (the web and network processes) and the X server of
// $DISPLAY, which comes last when found.
std::vector<pid_t> measuredProcesses(pid_t& xServer) {
  std::vector<pid_t> pids{getpid()};
  xServer = 0;
  const std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const auto name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    for (pid_t up = parentOf(pid); up > 1; up = parentOf(up)) {
      if (up == getpid()) {
        pids.push_back(pid);
        break;
      }
    }
    std::string cmdline = test::readFile(entry.path() / "cmdline");
    for (auto& c : cmdline) c = c ? c : ' ';
    if (cmdline.starts_with("Xvfb ") && !display.empty() && (cmdline + " ").find(" " + display + " ") != std::string::npos) {
      xServer = pid;
    }
  }
  if (xServer) pids.push_back(xServer);
  return pids;
}

long long totalTicks(const std::vector<pid_t>& pids) {
  long long sum = 0;
  for (pid_t pid : pids) sum += cpuTicks(pid);
  return sum;
}

// Runs the main loop until the measured processes together used at most two clock ticks in
// the last two seconds: long enough to see an overlay scrollbar's delayed fade-out.
void untilIdle(const std::vector<pid_t>& pids) {
  std::vector<long long> samples{totalTicks(pids)};
  auto next = Clock::now();
  runUntil([&] {
    if (Clock::now() < next) return false;
    next = Clock::now() + std::chrono::milliseconds(100);
    samples.push_back(totalTicks(pids));
    return samples.size() > 20 && samples.back() - samples[samples.size() - 21] <= 2;
  }, std::chrono::seconds(30));
}

struct Figures {
  double toFrameMs;
  double cpuMs;
  std::size_t cssBytes;
  double appMs, webMs, xMs;  // medians by process
};

double ticksToMs(long long ticks) { return static_cast<double>(ticks) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK)); }

struct Probe {
  std::string color;
  int frames = 0;
};

Figures measure(const fs::path& sheet, const std::string& scss, const fs::path& templateFile, bool reload, int saves,
                Settings& settings) {
  test::writeFile(sheet, scss + "\nh1 { color: rgb(1, 2, 3); }\n");
  GObjectPtr<GFile> file(g_file_new_for_path(sheet.c_str()));
  auto window = DocumentController::openDocument(file.get(), nullptr, settings);
  WebKitWebView* view = window->renderViewController().webView();
  Probe probe;
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  webkit_user_content_manager_register_script_message_handler(content, "fennelviewBench", nullptr);
  g_signal_connect(content, "script-message-received::fennelviewBench",
                   G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer data) {
                     auto& p = *static_cast<Probe*>(data);
                     GCharPtr text(jsc_value_to_string(value));
                     p.color = text.get();
                     ++p.frames;
                   }),
                   &probe);
  WebKitUserScript* script = webkit_user_script_new(kFrameProbe, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                    WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
  // The first page may have loaded before the probe was added.
  runUntil([&] { return !webkit_web_view_is_loading(view) && window->sassDocument() && !window->sassDocument()->compiling().value(); });
  webkit_web_view_evaluate_javascript(view, kFrameProbe, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!runUntil([&] { return probe.color == "rgb(1, 2, 3)"; })) std::cerr << "preview_bench: no first frame\n";
  pid_t xServer = 0;
  const auto pids = measuredProcesses(xServer);
  untilIdle(pids);

  std::vector<double> times, cpu, appCpu, webCpu, xCpu;
  const std::string templateText = test::readFile(templateFile);
  for (int i = 1; i <= saves; ++i) {
    const std::string color = "rgb(" + std::to_string(i % 250) + ", 100, 200)";
    const long long ticksBefore = totalTicks(pids), appBefore = cpuTicks(getpid()), xBefore = xServer ? cpuTicks(xServer) : 0;
    const auto start = Clock::now();
    if (reload) test::writeFile(templateFile, templateText + "<!-- " + std::to_string(i) + " -->\n");
    test::writeFile(sheet, scss + "\nh1 { color: " + color + "; }\n");
    if (!runUntil([&] { return probe.color == color; })) {
      std::cerr << "preview_bench: last colour seen " << probe.color << "\n";
      std::cerr << "preview_bench: save " << i << " never reached the page\n";
      exit(1);
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    untilIdle(pids);
    const long long all = totalTicks(pids) - ticksBefore, app = cpuTicks(getpid()) - appBefore;
    const long long x = xServer ? cpuTicks(xServer) - xBefore : 0;
    cpu.push_back(ticksToMs(all));
    appCpu.push_back(ticksToMs(app));
    webCpu.push_back(ticksToMs(all - app - x));
    xCpu.push_back(ticksToMs(x));
  }
  test::writeFile(templateFile, templateText);
  const auto& model = window->renderViewController().viewModel();
  const std::size_t cssBytes = model ? model->css().size() : 0;
  gtk_window_close(window->window());
  runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
  return {test::median(times), test::median(cpu), cssBytes, test::median(appCpu), test::median(webCpu),
          test::median(xCpu)};
}

// About 400 KB of CSS: many small rules, as a component library compiles to.
std::string largeSheet() {
  return "@for $i from 1 through 1650 {\n"
         "  .item-#{$i} { color: rgb($i % 256, 100, 150); padding: ($i % 17) * 1px; margin: 0 auto;\n"
         "    &:hover { border: 1px solid #ccc; } }\n"
         "}\n";
}

}  // namespace

int main(int argc, char** argv) {
  test::useXvfbEnvironment();
  const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  GCharPtr scratch(g_dir_make_tmp("fennelview-bench-XXXXXX", nullptr));
  const fs::path dir = scratch.get();
  // A resource folder of our own, so the baseline can touch its template.
  fs::create_directories(dir / "resources");
  fs::create_symlink(fs::path(FENNELVIEW_BENCH_RESOURCES) / "sassc", dir / "resources" / "sassc");
  fs::copy(fs::path(FENNELVIEW_BENCH_RESOURCES) / "Template", dir / "resources" / "Template", fs::copy_options::recursive);
  setenv("FENNELVIEW_RESOURCES", (dir / "resources").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  if (!gtk_init_check()) {
    std::cerr << "preview_bench: no display; run it under xvfb-run -a\n";
    return 1;
  }
  const fs::path templateFile = dir / "resources" / "Template" / "index.html";
  const std::pair<std::string, std::string> sheets[] = {
      {"example", test::readFile(FENNELVIEW_BENCH_EXAMPLE)}, {"large", largeSheet()}};
  Settings settings(dir / "settings.json");
  std::printf("median of %d saves; CPU = app + web processes + X server from the save until idle\n", saves);
  for (const auto& [name, scss] : sheets) {
    const auto sheet = dir / "sheet.scss";
    const auto reload = measure(sheet, scss, templateFile, true, saves, settings);
    const auto inPlace = measure(sheet, scss, templateFile, false, saves, settings);
    std::printf("%s (%zu bytes of CSS)\n", name.c_str(), inPlace.cssBytes);
    for (const auto& [mode, f] : {std::pair{"full reload", reload}, std::pair{"in place", inPlace}}) {
      std::printf("  %-11s save to frame %7.1f ms, CPU %7.1f ms (app %.0f, web %.0f, X %.0f)\n", mode, f.toFrameMs,
                  f.cpuMs, f.appMs, f.webMs, f.xMs);
    }
    std::printf("  in place / full reload: %.2f of the time, %.2f of the CPU\n", inPlace.toFrameMs / reload.toFrameMs,
                reload.cpuMs > 0 ? inPlace.cpuMs / reload.cpuMs : 0.0);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
