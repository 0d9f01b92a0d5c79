// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the time from opening a style sheet to its first colour on the page, and from a save
// to the new colour, on a project's own page (200 images and scripts loaded beside the compiled
// CSS) and, as the baseline measured in the same run, on the sample page.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" own_page_bench [SAVES]
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "display_environment.hpp"
#include "median.hpp"
#include "preferences/settings.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

std::optional<std::string> evaluate(WebKitWebView* view, const char* script) {
  struct Outcome {
    bool done = false;
    std::optional<std::string> value;
  } outcome;
  webkit_web_view_evaluate_javascript(
      view, script, -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        auto& out = *static_cast<Outcome*>(data);
        GObjectPtr<JSCValue> value(webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
        if (value) out.value = GCharPtr(jsc_value_to_string(value.get())).get();
        out.done = true;
      },
      &outcome);
  test::runUntil([&] { return outcome.done; }, std::chrono::seconds(20));
  return outcome.value;
}

// Milliseconds until the page's h1 has `colour`.
double untilColour(WebKitWebView* view, const std::string& colour, Clock::time_point start) {
  const char* probe = "(h => h ? getComputedStyle(h).color : '')(document.querySelector('h1'))";
  if (!test::runUntil([&] { return !webkit_web_view_is_loading(view) && evaluate(view, probe) == colour; },
                      std::chrono::seconds(30))) {
    std::cerr << "own_page_bench: " << colour << " never reached the page\n";
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
  double firstMs, saveMs;
};

Figures measure(Settings& settings, const fs::path& sheet, const std::string& scss, int saves) {
  test::writeFile(sheet, scss + "\nh1 { color: rgb(1, 2, 3); }\n");
  GObjectPtr<GFile> file(g_file_new_for_path(sheet.c_str()));
  const auto start = Clock::now();
  auto window = DocumentController::openDocument(file.get(), nullptr, settings);
  WebKitWebView* view = window->renderViewController().webView();
  const double first = untilColour(view, "rgb(1, 2, 3)", start);
  std::vector<double> times;
  for (int i = 1; i <= saves; ++i) {
    const std::string colour = "rgb(" + std::to_string(i % 250) + ", 100, 200)";
    const auto saved = Clock::now();
    test::writeFile(sheet, scss + "\nh1 { color: " + colour + "; }\n");
    times.push_back(untilColour(view, colour, saved));
  }
  gtk_window_close(window->window());
  test::runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
  return {first, test::median(times)};
}

}  // namespace

int main(int argc, char** argv) {
  test::useXvfbEnvironment();
  const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  GCharPtr scratch(g_dir_make_tmp("fennelview-bench-XXXXXX", nullptr));
  const fs::path dir = scratch.get();
  setenv("FENNELVIEW_RESOURCES", FENNELVIEW_BENCH_RESOURCES, 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  if (!gtk_init_check()) {
    std::cerr << "own_page_bench: no display; run it under xvfb-run -a\n";
    return 1;
  }
  // The project: its page links the compiled CSS, 100 images and 100 scripts.
  const fs::path project = dir / "project";
  for (const char* folder : {".git", "img", "js", "scss"}) fs::create_directories(project / folder);
  fs::create_directories(dir / "alone");
  std::string page = "<!doctype html><link rel=stylesheet href=css/style.css><h1>Heading</h1>";
  for (int i = 0; i < 100; ++i) {
    const std::string n = std::to_string(i);
    test::writeFile(project / "img" / (n + ".svg"),
                    "<svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'><rect width='8' height='8'/></svg>");
    test::writeFile(project / "js" / (n + ".js"), "window.loaded = (window.loaded || 0) + 1;");
    page += "<img src=img/" + n + ".svg><script src=js/" + n + ".js></script>";
  }
  test::writeFile(project / "index.html", page);
  const std::string scss = test::readFile(FENNELVIEW_BENCH_EXAMPLE);
  Settings settings(dir / "settings.json");  // the bench keeps out of the user's settings
  measure(settings, dir / "alone" / "warm.scss", scss, 1);  // the web processes start once, outside both figures
  const auto sample = measure(settings, dir / "alone" / "style.scss", scss, saves);
  const auto own = measure(settings, project / "scss" / "style.scss", scss, saves);
  std::printf("the example style sheet; save to colour: median of %d saves\n", saves);
  for (const auto& [name, f] : {std::pair{"sample page", sample}, std::pair{"own page", own}}) {
    std::printf("  %-11s open to first colour %7.1f ms, save to colour %7.1f ms\n", name, f.firstMs, f.saveMs);
  }
  std::printf("  own / sample: %.2f of the first page, %.2f of a save\n", own.firstMs / sample.firstMs,
              own.saveMs / sample.saveMs);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
