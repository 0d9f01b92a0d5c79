// Measures, in a real document window, the time from saving the file to the finished load
// of the new preview page, and the time of a bare sassc run on the same file.
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
#include "window/render_view_controller.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

namespace {

// Each new page starts a load; the save is shown once a load started after it has finished.
struct Loads {
  int started = 0;
  bool finishedSinceStart = false;
};

bool runUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto end = Clock::now() + limit;
  while (!done() && Clock::now() < end) g_main_context_iteration(nullptr, TRUE);
  return done();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeAll(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

int main(int argc, char** argv) {
  // What WebKit needs as root under Xvfb, and settings that stay out of the user's.
  setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 0);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("GTK_A11Y", "none", 0);
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
  const auto sheet = dir / source.filename();
  const std::string original = readAll(source);
  writeAll(sheet, original);

  const auto sassc = resourcePath("sassc");
  if (!sassc) {
    std::cerr << "window_bench: no sassc in the resource folder\n";
    return 1;
  }
  std::vector<double> raw;
  for (int i = 0; i < runs; ++i) {
    const char* args[] = {sassc->c_str(), sheet.c_str(), "--line-numbers", nullptr};
    const auto start = Clock::now();
    gint status = 0;
    gchar* out = nullptr;
    gchar* err = nullptr;
    g_spawn_sync(nullptr, const_cast<gchar**>(args), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status,
                 nullptr);
    raw.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    g_free(out);
    g_free(err);
  }

  GObjectPtr<GFile> file(g_file_new_for_path(sheet.c_str()));
  auto window = DocumentController::openDocument(file.get(), nullptr);
  auto* view = window->renderViewController().webView();
  Loads loads;
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                     auto& l = *static_cast<Loads*>(data);
                     if (event == WEBKIT_LOAD_STARTED) {
                       ++l.started;
                       l.finishedSinceStart = false;
                     } else if (event == WEBKIT_LOAD_FINISHED) {
                       l.finishedSinceStart = true;
                     }
                   }),
                   &loads);
  // The first compile and its page, before measuring.
  const auto document = window->sassDocument();
  runUntil([&] {
    const auto current = document->parsingResult().value();
    return current.isFailure() || current.output().parsingTime > 0;
  });
  runUntil([&] { return loads.started >= 1 && loads.finishedSinceStart; });
  runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));

  std::vector<double> preview;
  for (int i = 0; i < runs; ++i) {
    const int startedBefore = loads.started;
    const auto start = Clock::now();
    // A different text each time, so every save is a real change.
    writeAll(sheet, original + "\n/* save " + std::to_string(i) + " */\n");
    if (!runUntil([&] { return loads.started > startedBefore && loads.finishedSinceStart; })) {
      std::cerr << "window_bench: no page after save " << i << "\n";
      return 1;
    }
    preview.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    // Let the last notifications of this save pass before the next one.
    runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
  }
  gtk_window_close(window->window());
  runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));

  std::printf("file: %s (%zu bytes), %d runs\n", source.c_str(), original.size(), runs);
  std::printf("sassc alone:                  median %.1f ms (min %.1f, max %.1f)\n", median(raw),
              *std::min_element(raw.begin(), raw.end()), *std::max_element(raw.begin(), raw.end()));
  std::printf("save to finished page load:   median %.1f ms (min %.1f, max %.1f)\n", median(preview),
              *std::min_element(preview.begin(), preview.end()), *std::max_element(preview.begin(), preview.end()));
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
