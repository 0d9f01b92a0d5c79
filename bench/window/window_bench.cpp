// SPDX-License-Identifier: GPL-3.0-or-later
// Measures, in real document windows, the time from saving a file to its stored result and
// to the page showing it (updated in place): with one window open and with fifty, next to the
// time of a bare sassc run on the same file.
// Usage (under a display, e.g. xvfb-run -a): window_bench [FILE.scss] [RUNS]
#include <gtk/gtk.h>
#include <stdlib.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "common/resources.hpp"
#include "display_environment.hpp"
#include "median.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kManyWindows = 50;

bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  return test::runUntil(done, limit);
}

void settle() { runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2)); }

// Lets the web processes finish painting, so a save does not queue behind the last page.
void quietPeriod(std::chrono::milliseconds length = std::chrono::milliseconds(1000)) {
  const auto end = Clock::now() + length;
  runUntil([&] { return Clock::now() >= end; });
}

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// One open window with a counter of its stored results and whether its page finished loading.
struct Watched {
  std::filesystem::path file;
  std::shared_ptr<WindowController> window;
  int stores = 0;
  bool finishedSinceStart = false;
};

std::unique_ptr<Watched> openWatched(const std::filesystem::path& file, Settings& settings) {
  auto watched = std::make_unique<Watched>();
  watched->file = file;
  GObjectPtr<GFile> gfile(g_file_new_for_path(file.c_str()));
  watched->window = DocumentController::openDocument(gfile.get(), nullptr, settings);
  g_signal_connect(watched->window->renderViewController().webView(), "load-changed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                     auto& w = *static_cast<Watched*>(data);
                     if (event == WEBKIT_LOAD_STARTED) {
                       w.finishedSinceStart = false;
                     } else if (event == WEBKIT_LOAD_FINISHED) {
                       w.finishedSinceStart = true;
                     }
                   }),
                   watched.get());
  auto* counter = &watched->stores;
  watched->window->sassDocument()->parsingResult().producer().start(
      Observer<ParsingResult>([counter](const ParsingResult&) { ++*counter; }));
  return watched;
}

// Whether the page's style sheet holds the text; an update in place finishes no load.
bool pageHolds(WebKitWebView* view, const std::string& text) {
  struct Outcome {
    bool done = false, holds = false;
  } outcome;
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "text", "s", text.c_str());
  webkit_web_view_call_async_javascript_function(
      view, "const s = document.getElementById('fennelview-css'); return !!s && s.textContent.includes(text);", -1,
      g_variant_dict_end(&arguments), nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        auto& out = *static_cast<Outcome*>(data);
        GObjectPtr<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
        out.holds = value && jsc_value_to_boolean(value.get());
        out.done = true;
      },
      &outcome);
  runUntil([&] { return outcome.done; });
  return outcome.holds;
}

bool showsCompiledPage(const Watched& w) {
  const auto current = w.window->sassDocument()->parsingResult().value();
  return (current.isFailure() || current.output().parsingTime > 0) && w.finishedSinceStart;
}

struct SaveTimes {
  double toStore;
  double toPage;
};

// Saves the open files in turn, each with a new text, and times each save.
std::optional<SaveTimes> timeSaves(std::vector<std::unique_ptr<Watched>>& open, const std::string& text, int runs) {
  std::vector<double> stores, pages;
  for (int i = 0; i < runs; ++i) {
    auto& w = *open[static_cast<size_t>(i) % open.size()];
    const int storesBefore = w.stores;
    const auto marker = "/* save " + std::to_string(i) + " */";
    const auto start = Clock::now();
    test::writeFile(w.file, text + "\n" + marker + "\n");
    if (!runUntil([&] { return w.stores > storesBefore; })) return std::nullopt;
    stores.push_back(msSince(start));
    auto* view = w.window->renderViewController().webView();
    if (!runUntil([&] { return pageHolds(view, marker); })) return std::nullopt;
    pages.push_back(msSince(start));
    quietPeriod();
  }
  return SaveTimes{test::median(stores), test::median(pages)};
}

}  // namespace

int main(int argc, char** argv) {
  test::useXvfbEnvironment();
  // Settings stay out of the user's.
  setenv("FENNELVIEW_RESOURCES", FENNELVIEW_BENCH_RESOURCES, 0);
  GCharPtr scratch(g_dir_make_tmp("fennelview-bench-XXXXXX", nullptr));
  const std::filesystem::path dir = scratch.get();
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  if (!gtk_init_check()) {
    std::cerr << "window_bench: no display; run it under xvfb-run -a\n";
    return 1;
  }

  std::filesystem::path source = argc > 1 ? argv[1] : FENNELVIEW_BENCH_EXAMPLE;
  if (argc <= 1 && !std::filesystem::exists(source)) source = FENNELVIEW_BENCH_FALLBACK;
  const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
  const std::string original = test::readFile(source);

  const auto sassc = resourcePath("sassc");
  if (!sassc) {
    std::cerr << "window_bench: no sassc in the resource folder\n";
    return 1;
  }
  Settings settings(dir / "settings.json");
  std::vector<std::unique_ptr<Watched>> open;
  for (int i = 0; i < kManyWindows; ++i) {
    const auto sheet = dir / (std::to_string(i) + "-" + source.filename().string());
    test::writeFile(sheet, original);
    if (i == 0) {
      std::vector<double> raw;
      for (int r = 0; r < runs; ++r) {
        const char* args[] = {sassc->c_str(), sheet.c_str(), "--line-numbers", nullptr};
        const auto start = Clock::now();
        g_spawn_sync(nullptr, const_cast<gchar**>(args), nullptr,
                     static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr);
        raw.push_back(msSince(start));
      }
      std::printf("file: %s (%zu bytes), %d saves per figure\n", source.c_str(), original.size(), runs);
      std::printf("sassc alone:                        median %.1f ms\n", test::median(raw));
    }
    open.push_back(openWatched(sheet, settings));
    // Each window shows its first compiled page before the next one opens.
    if (!runUntil([&] { return showsCompiledPage(*open.back()); })) {
      std::cerr << "window_bench: window " << i << " showed no page\n";
      return 1;
    }
    if (i != 0 && i != kManyWindows - 1) continue;
    quietPeriod(std::chrono::seconds(2));
    const auto times = timeSaves(open, original, runs);
    if (!times) {
      std::cerr << "window_bench: a save was not shown\n";
      return 1;
    }
    std::printf("%2zu window%s open: save to stored result median %6.1f ms, to the page showing it %6.1f ms\n",
                open.size(), open.size() == 1 ? " " : "s", times->toStore, times->toPage);
  }
  for (auto& w : open) gtk_window_close(w->window->window());
  settle();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
