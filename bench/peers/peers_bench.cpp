// SPDX-License-Identifier: GPL-3.0-or-later
// The app beside the tools a reader would use instead, on the same project and the same edit,
// interleaved save by save, each timed from the save to what it is waited for:
//  - a Bootstrap 5.3.3 site (its partial _brand.scss saved): the app's own page with Dart Sass
//    to the first changed pixel, beside the same Dart Sass binary's `sass --watch` writing the
//    CSS (the baseline), and, where fetched, browser-sync + `sass --watch` and Vite, each shown
//    in Chromium, to the first changed pixel;
//  - a 5 MB style sheet: the app's page with LibSass to the first changed pixel, beside a bare
//    sassc run on it (the baseline).
// Bootstrap, browser-sync and Vite come from bench/peers/fetch-peers.sh (into FOLDER); Chromium
// from Debian. Whatever is missing is skipped with a message.
// Usage (under a display):
//   xvfb-run -a -s "-screen 0 1280x1024x24" peers_bench [--saves N] [--cache FOLDER] [--only site|sheet]
#include <gtk/gtk.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/document_controller.hpp"
#include "bench_processes.hpp"
#include "common/glib_ptr.hpp"
#include "common/unique_fd.hpp"
#include "display_environment.hpp"
#include "median.hpp"
#include "preferences/settings.hpp"
#include "screen_watch.hpp"
#include "test_support.hpp"
#include "window/window_controller.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// The red of a save's background: far from the one before, so no screen reads one as the other.
int red(int step) { return step * 37 % 250; }

// The edit every subject gets: the page's background, and a marker a written CSS file shows.
std::string brand(int step) {
  return "/* save " + std::to_string(step) + " */\nbody { background-color: rgb(" + std::to_string(red(step)) +
         ", 100, 200); }\n";
}

// One way of showing a save, timed from the save; none when it never showed.
struct Way {
  std::string name;
  std::function<std::optional<double>(int step)> save;
  std::vector<double> ms;
  // The app's: when its document stored the save's result, the rest being the way to the screen.
  std::optional<Clock::time_point>* stored = nullptr;
  std::vector<double> compiledMs = {};
};

// Notes in `at` when the window's document stores a result.
void noteStores(WindowController& window, std::optional<Clock::time_point>& at) {
  window.sassDocument()->parsingResult().producer().start(
      Observer<ParsingResult>([&at](const ParsingResult&) { at = Clock::now(); }));
}

// Saves with `save` and times it to the first pixel of `window` in the save's colour, the main
// loop running.
std::optional<double> toPixel(unsigned long window, int step, const std::function<void()>& save) {
  bench::ScreenWatch watch;
  watch.follow(window);
  const auto start = Clock::now();
  auto seen = std::async(std::launch::async,
                         [&] { return watch.untilColour(red(step), 100, 200, std::chrono::seconds(60)); });
  save();
  test::runUntil([&] { return seen.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                 std::chrono::seconds(65));
  const auto shown = seen.get();
  if (!shown) return std::nullopt;
  return std::chrono::duration<double, std::milli>(*shown - start).count();
}

std::optional<unsigned long> windowOf(pid_t pid, std::chrono::seconds limit) {
  bench::ScreenWatch watch;
  std::vector<unsigned long> windows;
  test::runUntil([&] { return !(windows = watch.windowsOf(pid)).empty(); }, limit);
  if (windows.empty()) return std::nullopt;
  return windows.front();
}

// A Bootstrap site: its page links the CSS compiled from scss/site.scss (or, for Vite, imports
// the Sass itself); the saved partial comes last.
void makeSite(const fs::path& project, const fs::path& bootstrap, bool viteEntry) {
  for (const char* folder : {".git", "scss", "css"}) fs::create_directories(project / folder);
  fs::copy(bootstrap / "scss", project / "scss" / "bootstrap", fs::copy_options::recursive);
  test::writeFile(project / "scss/site.scss", "@import \"bootstrap/bootstrap\";\n@import \"brand\";\n");
  test::writeFile(project / "scss/_brand.scss", brand(0));
  std::string page = "<!doctype html><html><head><meta charset=utf-8><title>Site</title>";
  page += viteEntry ? "<script type=module>import '/scss/site.scss';</script>"
                    : "<link rel=stylesheet href=css/site.css>";
  page += "</head><body><div class=container><h1>Heading</h1>";
  for (int i = 0; i < 6; ++i) {
    page += "<div class='card my-2'><div class=card-body><p class=lead>Some text in a card.</p>"
            "<button class='btn btn-primary'>Button</button></div></div>";
  }
  test::writeFile(project / "index.html", page + "</div></body></html>\n");
}

// A child whose chatter goes nowhere, ended with the bench.
std::unique_ptr<bench::Subject> quietly(const std::string& command) {
  return std::make_unique<bench::Subject>(std::vector<std::string>{"/bin/sh", "-c", "exec " + command + " >/dev/null 2>&1"},
                                          std::vector<std::pair<std::string, std::string>>{});
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// `sass --watch` writing a project's CSS: a save is done when the file holds the save's marker.
struct SassWatch {
  fs::path css;
  UniqueFd events{inotify_init1(IN_CLOEXEC)};
  std::unique_ptr<bench::Subject> child;

  SassWatch(const fs::path& sass, const fs::path& project) : css(project / "css/site.css") {
    inotify_add_watch(events.get(), css.parent_path().c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    child = quietly(quoted(sass) + " --watch --no-source-map " + quoted(project / "scss/site.scss") + ":" + quoted(css));
  }
  bool until(int step, std::chrono::seconds limit) {
    const auto marker = "save " + std::to_string(step) + " ";
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (test::readFile(css).find(marker) != std::string::npos) return true;
      pollfd ready = {events.get(), POLLIN, 0};
      if (poll(&ready, 1, 200) > 0) {
        char buffer[4096];
        [[maybe_unused]] const auto n = read(events.get(), buffer, sizeof buffer);
      }
    }
    return false;
  }
};

std::string chromium() { return fs::exists("/usr/lib/chromium/chromium") ? "/usr/lib/chromium/chromium" : ""; }

// Chromium on `url` in a window of its own at `x`, `y`, with a profile in `profile`.
std::unique_ptr<bench::Subject> chromiumOn(const std::string& url, const fs::path& profile, int x, int y) {
  return std::make_unique<bench::Subject>(
      std::vector<std::string>{"/bin/sh", "-c",
                               "exec \"$0\" \"$@\" >/dev/null 2>&1", chromium(), "--no-sandbox", "--disable-gpu",
                               "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
                               "--disable-component-update", "--disable-sync", "--password-store=basic",
                               "--user-data-dir=" + profile.string(), "--window-size=600,480",
                               "--window-position=" + std::to_string(x) + "," + std::to_string(y), "--app=" + url},
      std::vector<std::pair<std::string, std::string>>{});
}

// False when a save never showed; the children then end with their owners.
bool runRounds(std::vector<Way>& subjects, int saves) {
  for (int round = 0; round <= saves; ++round) {
    for (auto& subject : subjects) {
      if (subject.stored) subject.stored->reset();
      const auto start = Clock::now();
      const auto ms = subject.save(round + 1);
      if (!ms) {
        std::fprintf(stderr, "peers_bench: %s never showed save %d\n", subject.name.c_str(), round + 1);
        return false;
      }
      if (round == 0) continue;  // the first round warms each subject
      subject.ms.push_back(*ms);
      if (subject.stored && *subject.stored) {
        subject.compiledMs.push_back(std::chrono::duration<double, std::milli>(**subject.stored - start).count());
      }
      test::runFor(std::chrono::milliseconds(300));
    }
  }
  return true;
}

void report(const std::vector<Way>& subjects) {
  const double baseline = test::median(subjects.front().ms);
  for (const auto& subject : subjects) {
    const double ms = test::median(subject.ms);
    std::printf("  %-44s %7.1f ms %6.2fx", subject.name.c_str(), ms, ms / baseline);
    if (!subject.compiledMs.empty()) std::printf("  (result stored at %.1f ms)", test::median(subject.compiledMs));
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  test::useXvfbEnvironment();
  int saves = 10;
  std::string only;
  fs::path cache = fs::path(g_get_user_cache_dir()) / "fennelview-bench" / "peers";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--saves") saves = std::max(1, std::atoi(argv[i + 1]));
    if (arg == "--cache") cache = argv[i + 1];
    if (arg == "--only") only = argv[i + 1];
  }
  GCharPtr scratch(g_dir_make_tmp("fennelview-peers-XXXXXX", nullptr));
  const fs::path dir = scratch.get();
  setenv("FENNELVIEW_RESOURCES", FENNELVIEW_BENCH_RESOURCES, 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  if (!gtk_init_check()) {
    std::fprintf(stderr, "peers_bench: no display; run it under xvfb-run -a\n");
    return 1;
  }
  Settings settings(dir / "settings.json");
  const fs::path sass = FENNELVIEW_BENCH_DART_SASS;
  const fs::path bootstrap = cache / "node_modules/bootstrap";
  const fs::path bin = cache / "node_modules/.bin";

  if (only == "sheet") {
  } else if (!fs::exists(bootstrap / "scss/bootstrap.scss")) {
    std::printf("no Bootstrap 5.3.3 in %s: run bench/peers/fetch-peers.sh first; the site is skipped\n", cache.c_str());
  } else if (!fs::exists(sass)) {
    std::printf("no Dart Sass at %s: the site is skipped\n", sass.c_str());
  } else {
    std::vector<Way> subjects;
    makeSite(dir / "watch", bootstrap, false);
    SassWatch watch(sass, dir / "watch");
    watch.until(0, std::chrono::seconds(60));
    subjects.push_back({"sass --watch writes the CSS", [&](int step) -> std::optional<double> {
                          const auto start = Clock::now();
                          test::writeFileByRename(dir / "watch/scss/_brand.scss", brand(step));
                          if (!watch.until(step, std::chrono::seconds(60))) return std::nullopt;
                          return msSince(start);
                        }, {}});

    makeSite(dir / "app", bootstrap, false);
    settings.setCompiler("dart-sass");
    GObjectPtr<GFile> file(g_file_new_for_path((dir / "app/scss/site.scss").c_str()));
    auto app = DocumentController::openDocument(file.get(), nullptr, settings);
    gtk_window_set_default_size(app->window(), 600, 960);
    const auto appWindow = windowOf(getpid(), std::chrono::seconds(20));
    if (!appWindow) {
      std::fprintf(stderr, "peers_bench: the app's window is not on the X server\n");
      return 1;
    }
    test::runFor(std::chrono::seconds(3));
    std::optional<Clock::time_point> stored;
    noteStores(*app, stored);
    subjects.push_back({"the app's own page, Dart Sass, on screen", [&](int step) {
                          return toPixel(*appWindow, step, [&] { test::writeFileByRename(dir / "app/scss/_brand.scss", brand(step)); });
                        }, {}, &stored});

    // The peers in Chromium, each beside the app's window.
    std::unique_ptr<SassWatch> syncWatch;
    std::vector<std::unique_ptr<bench::Subject>> peers;
    std::optional<unsigned long> syncWindow, viteWindow;
    if (chromium().empty()) {
      std::printf("no Chromium (apt-get install chromium): browser-sync and Vite are skipped\n");
    } else {
      if (!fs::exists(bin / "browser-sync")) {
        std::printf("no browser-sync in %s (fetch-peers.sh --peers): skipped\n", bin.c_str());
      } else {
        makeSite(dir / "sync", bootstrap, false);
        syncWatch = std::make_unique<SassWatch>(sass, dir / "sync");
        syncWatch->until(0, std::chrono::seconds(60));
        peers.push_back(quietly(quoted(bin / "browser-sync") + " start --server " + quoted(dir / "sync") + " --files " +
                                quoted(dir / "sync/css/site.css") +
                                " --listen 127.0.0.1 --port 38431 --no-open --no-notify --no-ui"));
        test::runFor(std::chrono::seconds(3));
        peers.push_back(chromiumOn("http://127.0.0.1:38431/", dir / "profile-sync", 660, 0));
        syncWindow = windowOf(peers.back()->pid(), std::chrono::seconds(30));
      }
      if (!fs::exists(bin / "vite")) {
        std::printf("no Vite in %s (fetch-peers.sh --peers): skipped\n", bin.c_str());
      } else {
        makeSite(dir / "vite", bootstrap, true);
        peers.push_back(quietly(quoted(bin / "vite") + " " + quoted(dir / "vite") +
                                " --host 127.0.0.1 --port 38432 --strictPort --logLevel silent"));
        test::runFor(std::chrono::seconds(3));
        peers.push_back(chromiumOn("http://127.0.0.1:38432/", dir / "profile-vite", 660, 520));
        viteWindow = windowOf(peers.back()->pid(), std::chrono::seconds(30));
      }
      test::runFor(std::chrono::seconds(8));  // first pages and compiles
    }
    if (syncWindow) {
      subjects.push_back({"browser-sync + sass --watch + Chromium", [&](int step) {
                            return toPixel(*syncWindow, step, [&] {
                              test::writeFileByRename(dir / "sync/scss/_brand.scss", brand(step));
                            });
                          }, {}});
    }
    if (viteWindow) {
      subjects.push_back({"Vite + Chromium", [&](int step) {
                            return toPixel(*viteWindow, step, [&] {
                              test::writeFileByRename(dir / "vite/scss/_brand.scss", brand(step));
                            });
                          }, {}});
    }
    // Further ways of showing the site (side-by-side panes, a page served to a browser) join
    // here as subjects of their own.
    if (!runRounds(subjects, saves)) return 1;
    std::printf("a Bootstrap 5.3.3 site, a save of a small partial; median of %d saves, interleaved\n", saves);
    report(subjects);
    gtk_window_close(app->window());
    app.reset();
    peers.clear();
    test::runFor(std::chrono::seconds(1));
  }

  // A 5 MB style sheet with LibSass, on the sample page.
  if (only == "site") return 0;
  fs::create_directories(dir / "alone");
  std::string rules;
  for (int i = 0; rules.size() < 5 * 1024 * 1024; ++i) {
    rules += ".r" + std::to_string(i) + " .item:not(.x" + std::to_string(i % 97) + ") { margin: " + std::to_string(i % 7) +
             "px; color: #336699; }\n";
  }
  const fs::path big = dir / "alone/big.scss";
  test::writeFile(big, rules + brand(0));
  settings.setCompiler("libsass");
  GObjectPtr<GFile> file(g_file_new_for_path(big.c_str()));
  auto app = DocumentController::openDocument(file.get(), nullptr, settings);
  const auto appWindow = windowOf(getpid(), std::chrono::seconds(20));
  if (!appWindow) {
    std::fprintf(stderr, "peers_bench: the app's window is not on the X server\n");
    return 1;
  }
  test::runFor(std::chrono::seconds(3));
  const std::string sassc = std::string(FENNELVIEW_BENCH_RESOURCES) + "/sassc";
  const fs::path bare = dir / "bare.scss";
  std::vector<Way> subjects;
  subjects.push_back({"a bare sassc run", [&](int step) -> std::optional<double> {
                        test::writeFile(bare, rules + brand(step));
                        const auto start = Clock::now();
                        const fs::path output = dir / "bare.css";
                        const char* args[] = {sassc.c_str(), bare.c_str(), output.c_str(), nullptr};
                        gint status = 0;
                        if (!g_spawn_sync(nullptr, const_cast<gchar**>(args), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                                          nullptr, nullptr, &status, nullptr) ||
                            status != 0) {
                          return std::nullopt;
                        }
                        return msSince(start);
                      }, {}});
  std::optional<Clock::time_point> stored;
  noteStores(*app, stored);
  subjects.push_back({"the app's page, LibSass, on screen", [&](int step) {
                        return toPixel(*appWindow, step, [&] { test::writeFileByRename(big, rules + brand(step)); });
                      }, {}, &stored});
  if (!runRounds(subjects, saves)) return 1;
  std::printf("a %.1f MB style sheet, a save; median of %d saves, interleaved\n", rules.size() / 1048576.0, saves);
  report(subjects);
  gtk_window_close(app->window());
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
