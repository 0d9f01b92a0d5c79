// SPDX-License-Identifier: GPL-3.0-or-later
// Ways to hand a new version of a page's style sheet to a loaded page, interleaved save by save on
// one page served through a URI scheme of its own (as the app serves own pages): a new <link> that
// replaces the old one once loaded (a new request), the text of a <style> in the link's place, and
// a constructed style sheet replaced in place. Each is timed from the call to the first changed
// pixel on the X server, and inside the page: the hand-over (the request, or the text set), style
// and layout, and the next frame. The link swap is the baseline.
// Usage (under a display): xvfb-run -a -s "-screen 0 1280x1024x24" handover_bench [SAVES] [KB]
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "common/glib_ptr.hpp"
#include "display_environment.hpp"
#include "median.hpp"
#include "screen_watch.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

namespace {

std::string rules;  // the unchanging bulk of the sheet
std::string current;  // the whole sheet as served now

// Each way resolves to "handover,styleLayout,frame" in milliseconds, as the page timed them.
constexpr const char* kScript = R"JS(
const page = globalThis.bench ??= {sheet: new CSSStyleSheet(), slot: document.querySelector('link')};
if (!document.adoptedStyleSheets.length) document.adoptedStyleSheets = [page.sheet];
const t0 = performance.now();
const settle = (t1) => new Promise((done) => {
  getComputedStyle(document.body).backgroundColor;
  document.body.offsetHeight;
  const t2 = performance.now();
  requestAnimationFrame(() => setTimeout(() => done([t1 - t0, t2 - t1, performance.now() - t2].join(','))));
});
const clearAdopted = () => { if (page.adopted) { page.sheet.replaceSync(''); page.adopted = false; } };
if (way === 'link') {
  return new Promise((done) => {
    const fresh = document.createElement('link');
    fresh.rel = 'stylesheet';
    fresh.href = 'bench:///style.css?v=' + version;
    fresh.onload = () => { page.slot.remove(); page.slot = fresh; clearAdopted(); done(settle(performance.now())); };
    page.slot.after(fresh);
  });
}
if (way === 'style') {
  if (page.slot.localName !== 'style') {
    const style = document.createElement('style');
    page.slot.replaceWith(style);
    page.slot = style;
  }
  page.slot.textContent = css;
  clearAdopted();
  return settle(performance.now());
}
page.sheet.replaceSync(css);
page.adopted = true;
return settle(performance.now());
)JS";

void answer(WebKitURISchemeRequest* request, gpointer) {
  const std::string path = webkit_uri_scheme_request_get_path(request);
  std::string body;
  const char* type = "text/css";
  if (path == "/style.css") {
    body = current;
  } else {
    type = "text/html";
    body = "<!doctype html><link rel=stylesheet href='bench:///style.css?v=0'>";
    for (int i = 0; i < 300; ++i) body += "<div class='box b" + std::to_string(i % 40) + "'>Text " + std::to_string(i) + "</div>";
  }
  GObjectPtr<GInputStream> stream(g_memory_input_stream_new_from_data(g_strdup(body.c_str()), body.size(), g_free));
  webkit_uri_scheme_request_finish(request, stream.get(), static_cast<gint64>(body.size()), type);
}

struct Timing {
  std::vector<double> screen, handover, styleLayout, frame;
};

}  // namespace

int main(int argc, char** argv) {
  test::useXvfbEnvironment();
  const int saves = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::size_t kilobytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;
  if (!gtk_init_check()) {
    std::fprintf(stderr, "handover_bench: no display; run it under xvfb-run -a\n");
    return 1;
  }
  for (int i = 0; rules.size() < kilobytes * 1024; ++i) {
    rules += ".b" + std::to_string(i % 40) + ":not(.x" + std::to_string(i) + ") { margin: " + std::to_string(i % 7) +
             "px; color: #336699; }\n";
  }
  webkit_web_context_register_uri_scheme(webkit_web_context_get_default(), "bench", answer, nullptr, nullptr);
  GtkWindow* window = GTK_WINDOW(gtk_window_new());
  gtk_window_set_default_size(window, 960, 720);
  WebKitWebView* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  gtk_window_set_child(window, GTK_WIDGET(view));
  gtk_window_present(window);
  current = rules + "body { background: rgb(0, 0, 0); }\n";
  webkit_web_view_load_uri(view, "bench:///index.html");
  test::runUntil([&] { return !webkit_web_view_is_loading(view); }, std::chrono::seconds(30));
  test::runFor(std::chrono::milliseconds(500));
  bench::ScreenWatch watch;
  std::vector<unsigned long> windows;
  test::runUntil([&] { return !(windows = watch.windowsOf(getpid())).empty(); }, std::chrono::seconds(10));
  if (windows.empty()) {
    std::fprintf(stderr, "handover_bench: the window is not on the X server\n");
    return 1;
  }
  watch.follow(windows.front());
  const char* ways[] = {"link", "style", "constructed"};
  Timing timings[3];
  for (int save = 0; save <= saves; ++save) {
    for (int w = 0; w < 3; ++w) {
      const int step = save * 3 + w + 1;
      current = rules + "body { background: rgb(" + std::to_string(step % 250) + ", 100, 200); }\n";
      const auto before = watch.pixels();
      auto seen = std::async(std::launch::async, [&] { return watch.untilChanged(before, std::chrono::seconds(10)); });
      GVariantDict arguments;
      g_variant_dict_init(&arguments, nullptr);
      g_variant_dict_insert(&arguments, "way", "s", ways[w]);
      g_variant_dict_insert(&arguments, "version", "s", std::to_string(step).c_str());
      g_variant_dict_insert(&arguments, "css", "s", w == 0 ? "" : current.c_str());
      struct Outcome {
        bool done = false;
        std::string text;
      } outcome;
      const auto start = Clock::now();
      webkit_web_view_call_async_javascript_function(
          view, kScript, -1, g_variant_dict_end(&arguments), nullptr, nullptr, nullptr,
          +[](GObject* source, GAsyncResult* result, gpointer data) {
            auto& out = *static_cast<Outcome*>(data);
            GError* error = nullptr;
            GObjectPtr<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error));
            if (value) out.text = GCharPtr(jsc_value_to_string(value.get())).get();
            if (error) out.text = error->message, g_error_free(error);
            out.done = true;
          },
          &outcome);
      test::runUntil([&] { return outcome.done && seen.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                     std::chrono::seconds(20));
      const auto shown = seen.get();
      double handover = 0, styleLayout = 0, frame = 0;
      if (!shown || std::sscanf(outcome.text.c_str(), "%lf,%lf,%lf", &handover, &styleLayout, &frame) != 3) {
        std::fprintf(stderr, "handover_bench: %s never showed (%s)\n", ways[w], outcome.text.c_str());
        return 1;
      }
      if (save == 0) continue;  // the first round warms each way
      timings[w].screen.push_back(std::chrono::duration<double, std::milli>(*shown - start).count());
      timings[w].handover.push_back(handover);
      timings[w].styleLayout.push_back(styleLayout);
      timings[w].frame.push_back(frame);
      test::runFor(std::chrono::milliseconds(50));
    }
  }
  std::printf("a %zu KB style sheet handed to a loaded page, median of %d saves each, interleaved\n", current.size() / 1024,
              saves);
  std::printf("  %-12s %9s %9s %12s %9s %9s\n", "way", "screen", "hand-over", "style+layout", "frame", "vs link");
  const double baseline = test::median(timings[0].screen);
  for (int w = 0; w < 3; ++w) {
    const double screen = test::median(timings[w].screen);
    std::printf("  %-12s %6.1f ms %6.1f ms %9.1f ms %6.1f ms %8.2fx\n", ways[w], screen, test::median(timings[w].handover),
                test::median(timings[w].styleLayout), test::median(timings[w].frame), screen / baseline);
  }
  gtk_window_destroy(window);
  return 0;
}
