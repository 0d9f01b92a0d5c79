// SPDX-License-Identifier: GPL-3.0-or-later
// The app's own work on a compiler's 5 MB result, step by step, each beside one copy of the same
// bytes (the least any step can cost) measured in the same run: decoding what sassc and Dart Sass
// gave (UTF-8 check, NUL, the module-rule look), grouping warnings, and building what the page
// is handed (the presenter). A step over a frame (16 ms) would stall the window.
//
// Usage: output_bench [RUNS]   (default 15)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "compile/dart_sass_output.hpp"
#include "compile/sassc_output.hpp"
#include "common/glib_ptr.hpp"
#include "median.hpp"
#include "present/render_presenter.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

namespace {

// About 5 MB of rules, as a large utility framework gives.
std::string largeCss(bool damaged) {
  std::string css;
  for (int i = 0; css.size() < 5 * 1024 * 1024; ++i) {
    css += ".u-" + std::to_string(i) + " {\n  margin: " + std::to_string(i % 97) + "px;\n  color: #336699;\n}\n";
  }
  if (damaged) css.insert(css.size() / 2, std::string("\0\xFF", 2));
  return css;
}

double timed(int runs, const std::function<void()>& step) {
  std::vector<double> ms;
  step();
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    step();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return test::median(ms);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  GCharPtr scratch(g_dir_make_tmp("fennelview-output-bench-XXXXXX", nullptr));
  const std::filesystem::path dir = scratch.get();
  const auto page = dir / "index.html";
  test::writeFile(page, "<!doctype html><style id=\"fennelview-css\">$CSS</style><pre id=\"fennelview-error\">$ERROR</pre>");
  std::string warnings;
  for (int i = 0; i < 2000; ++i) warnings += "WARNING: w" + std::to_string(i % 7) + "\n    on line " + std::to_string(i) + " of a.scss\n\n";
  auto& formatter = sharedDurationFormatter();
  std::printf("the app's work on a 5 MB result, median of %d runs, beside one copy of the bytes\n", runs);
  for (const bool damaged : {false, true}) {
    const auto css = largeCss(damaged);
    volatile std::size_t sink = 0;
    const double copy = timed(runs, [&] { std::string c = css; sink = sink + c.size(); });
    const auto row = [&](const char* name, double ms) {
      std::printf("  %-34s %7.2f ms  %6.1fx a copy (%.2f ms)\n", name, ms, ms / copy, copy);
    };
    std::printf("%s (%zu bytes):\n", damaged ? "with a NUL and a byte that is not UTF-8" : "valid UTF-8", css.size());
    row("sassc result decoded", timed(runs, [&] {
          auto out = decodeSasscOutput({css, {}, warnings, dir}, dir, {});
          sink = sink + out.result.output().output.size();
        }));
    row("Dart Sass result decoded", timed(runs, [&] {
          std::vector<embedded::OutboundMessage> messages{embedded::CompileSuccess{css, {}, {}}};
          auto out = decodeDartSassMessages(std::move(messages), "");
          sink = sink + out.result.output().output.size();
        }));
    const auto result = decodeSasscOutput({css, {}, warnings, dir}, dir, {}).result;
    row("presenter (in-place update)", timed(runs, [&] {
          RenderPresenter presenter(result, "", page, formatter);
          sink = sink + presenter.styleText().size();
        }));
    row("presenter + full page", timed(runs, [&] {
          RenderPresenter presenter(result, "", page, formatter);
          sink = sink + presenter.fullPageString().size();
        }));
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
