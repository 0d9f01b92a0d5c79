// SPDX-License-Identifier: GPL-3.0-or-later
// LibSass and Dart Sass side by side, in one run: the time of one compile (a child started and
// read to the end, as the app does it) on the example and on a framework-sized project, the
// share of a Dart Sass compile that is its start-up (an empty file compiled), and, on the
// example and the generated project, the time from a save to the document's stored result
// (a real document following the file with the real watcher, one per compiler), with the warm
// Dart Sass beside `sass --watch` on the same files.
//
//   dartsass_bench [--runs N] [--partials N] [FILE.scss | FOLDER]...
//
// Without files a framework-sized project and one of 1,000 partials are generated. A folder
// stands for every stylesheet in it that is not a partial (bootstrap/scss, for instance).
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_fd.hpp"
#include "compile/child_process.hpp"
#include "compile/compiler_output.hpp"
#include "compile/sassc_output.hpp"
#include "compile/compilers.hpp"
#include "document/sass_document.hpp"
#include "median.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

extern char** environ;

namespace {

struct Run {
  double wallMs = 0;
  double cpuMs = 0;  // user + system of the child
  bool ok = false;
  std::string css;
};

// One compile: the child's standard output read to the end, its warnings thrown away.
Run compileOnce(const std::vector<std::string>& args) {
  Run run;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char buffer[65536];
  ssize_t n;
  while (spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0) run.css.append(buffer, n);
  close(out[0]);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

std::vector<std::string> libSassArgs(const Compiler& c, const fs::path& file) {
  return {c.executable.string(), file.string(), "--line-numbers"};
}
std::vector<std::string> dartSassArgs(const Compiler& c, const fs::path& file) {
  return {c.executable.string(), "--no-source-map", file.string()};
}

struct Figures {
  double wall = 0, cpu = 0;
  std::size_t cssBytes = 0;
  std::string note;
};

Figures measure(const std::vector<Run>& runs) {
  Figures f;
  std::vector<double> wall, cpu;
  for (const auto& r : runs) wall.push_back(r.wallMs), cpu.push_back(r.cpuMs);
  f.wall = test::median(wall);
  f.cpu = test::median(cpu);
  f.cssBytes = runs.front().css.size();
  if (!runs.front().ok) {
    f.note = "FAILED";
  } else if (moduleRuleIn(runs.front().css)) {
    f.note = "@use copied into the CSS";
  }
  return f;
}

using test::writeFile;

// A project in the shape of a CSS framework, written with @import so that both compilers take
// it: settings and maps, helper functions and mixins, then components and utility classes
// generated from the maps. About 350 KB of CSS, as much as a large framework gives.
fs::path generateFramework(const fs::path& dir) {
  fs::create_directories(dir / "components");
  std::string variables = "$colors: (\n";
  for (int i = 0; i < 24; ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", (i * 37) % 256, (i * 91) % 256, (i * 53) % 256);
    variables += "  \"c" + std::to_string(i) + "\": " + hex + ",\n";
  }
  variables += ");\n$spacers: (0: 0, 1: 4px, 2: 8px, 3: 16px, 4: 24px, 5: 48px);\n"
               "$breakpoints: (sm: 576px, md: 768px, lg: 992px, xl: 1200px);\n"
               "$radius: 6px !default;\n$font-size: 16px !default;\n";
  writeFile(dir / "_variables.scss", variables);
  writeFile(dir / "_functions.scss",
            "@function tint($color, $amount) { @return mix(white, $color, $amount); }\n"
            "@function shade($color, $amount) { @return mix(black, $color, $amount); }\n"
            "@function rem($px) { @return ($px / $font-size) * 1rem; }\n");
  writeFile(dir / "_mixins.scss",
            "@mixin up($bp) { @media (min-width: map-get($breakpoints, $bp)) { @content; } }\n"
            "@mixin button-variant($c) {\n  color: if(lightness($c) > 50, #000, #fff);\n"
            "  background: $c; border: 1px solid shade($c, 10%);\n"
            "  &:hover { background: shade($c, 15%); }\n  &:focus { box-shadow: 0 0 0 3px rgba($c, .5); }\n"
            "  &:disabled { background: tint($c, 40%); }\n}\n");
  std::string main = "@import \"variables\";\n@import \"functions\";\n@import \"mixins\";\n";
  for (int i = 0; i < 40; ++i) {
    const auto name = "comp" + std::to_string(i);
    writeFile(dir / "components" / ("_" + name + ".scss"),
              "." + name + " {\n  padding: rem(12px) rem(16px); border-radius: $radius;\n"
              "  @each $key, $c in $colors {\n    &-#{$key} { @include button-variant($c); }\n  }\n"
              "  @each $bp, $w in $breakpoints {\n    @include up($bp) { &-#{$bp} { max-width: $w; } }\n  }\n"
              "  &__title { font-size: rem(18px); .is-active > & { font-weight: bold; } }\n}\n");
    main += "@import \"components/" + name + "\";\n";
  }
  main += "@each $bp, $w in $breakpoints {\n  @include up($bp) {\n    @each $k, $v in $spacers {\n"
          "      .m-#{$bp}-#{$k} { margin: $v !important; }\n      .p-#{$bp}-#{$k} { padding: $v !important; }\n"
          "    }\n  }\n}\n";
  writeFile(dir / "framework.scss", main);
  return dir / "framework.scss";
}

// A large project: a main file that imports `count` small partials over ten folders, each using
// shared variables and a mixin. Dart Sass parses every one again for each request, while
// `sass --watch` keeps those that did not change, so the gap shows here.
fs::path generatePartials(const fs::path& dir, int count) {
  writeFile(dir / "_variables.scss", "$primary: #336699;\n$space: 4px;\n");
  writeFile(dir / "_mixins.scss", "@mixin box($n) { padding: $space * $n; border: 1px solid $primary; }\n");
  std::string main = "@import \"variables\", \"mixins\";\n";
  // The same text in one file: its compile beside the project's is what the imports cost.
  std::string inlined = test::readFile(dir / "_variables.scss") + test::readFile(dir / "_mixins.scss");
  for (int i = 0; i < count; ++i) {
    const auto folder = "components" + std::to_string(i % 10);
    const auto name = "c" + std::to_string(i);
    fs::create_directories(dir / folder);
    const auto partial = "." + name + " {\n  @include box(" + std::to_string(i % 7 + 1) + ");\n  color: darken($primary, " +
                         std::to_string(i % 30) + "%);\n  &:hover { color: $primary; }\n  .inner { margin: $space; }\n}\n";
    writeFile(dir / folder / ("_" + name + ".scss"), partial);
    main += "@import \"" + folder + "/" + name + "\";\n";
    inlined += partial;
  }
  writeFile(dir / "partials.scss", main);
  writeFile(dir / "inlined.scss", inlined);
  return dir / "partials.scss";
}

std::vector<fs::path> stylesheetsIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const auto name = entry.path().filename().string();
    if (entry.is_regular_file() && entry.path().extension() == ".scss" && name[0] != '_') files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string describe(const Figures& f, const Figures& baseline) {
  char text[128];
  std::snprintf(text, sizeof text, "%8.1f ms (CPU %6.1f ms) %5.2fx", f.wall, f.cpu, f.wall / baseline.wall);
  return text;
}

// A document on its own copy of a project, compiled by one compiler, and the saves it sees.
struct Follower {
  fs::path folder;
  fs::path saved;  // the file each save writes
  std::string text;
  std::unique_ptr<Settings> settings;
  std::shared_ptr<SassDocument> doc;
  int stores = 0;
  Disposable counting;
  std::vector<double> ms;

  Follower(const fs::path& project, const fs::path& main, const fs::path& savedFile, const fs::path& copy,
           std::string_view compiler) {
    fs::copy(project, copy, fs::copy_options::recursive);
    folder = copy;
    saved = copy / fs::relative(savedFile, project);
    text = test::readFile(saved);
    settings = std::make_unique<Settings>(copy.parent_path() / (copy.filename().string() + ".json"));
    settings->setCompiler(std::string(compiler));
    doc = SassDocument::create(*settings);
    doc->setFilePath((copy / fs::relative(main, project)).string());
    counting = doc->parsingResult().producer().start(Observer<ParsingResult>([this](const ParsingResult&) { ++stores; }));
    doc->readFromURL(*doc->fileURL(), "scss");
    test::runUntil([&] { return stores == 2; }, std::chrono::seconds(60));
  }
  ~Follower() {
    counting.dispose();
    doc->close();
  }
  bool compiled() const { return doc->parsingResult().value().isSuccess(); }
  // A real save (a comment that changes each time) and the wait for its stored result.
  void save(int run) {
    const int before = stores;
    const auto start = Clock::now();
    test::writeFile(saved, text + "\n/* " + std::to_string(run) + " */\n");
    test::runUntil([&] { return stores > before && !doc->compiling().value(); }, std::chrono::seconds(60));
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    test::runFor(std::chrono::milliseconds(20));  // the save's trailing events settle
  }
};

// `sass --watch` on its own copy of a project: the baseline for the warm Dart Sass. A save is
// done when the CSS file is written with the save's comment in it.
struct WatchBaseline {
  fs::path saved;
  fs::path css;
  std::string text;
  std::unique_ptr<ChildProcess> child;
  UniqueFd events{inotify_init1(IN_CLOEXEC)};
  std::vector<double> ms;

  WatchBaseline(const Compiler& dartSass, const fs::path& project, const fs::path& main, const fs::path& savedFile,
                const fs::path& copy) {
    fs::copy(project, copy, fs::copy_options::recursive);
    saved = copy / fs::relative(savedFile, project);
    text = test::readFile(saved);
    css = copy.parent_path() / (copy.filename().string() + ".css");
    inotify_add_watch(events.get(), copy.parent_path().c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    int error = 0;
    // Its chatter goes nowhere: the written CSS is what is timed.
    child = ChildProcess::start({"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/null", dartSass.executable.string(), "--watch", "--no-source-map",
                                 (copy / fs::relative(main, project)).string() + ":" + css.string()},
                                "", error);
    waitFor("");
  }
  // Until the CSS is written holding `marker`, or 60 s.
  bool waitFor(const std::string& marker) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline && child) {
      pollfd ready = {events.get(), POLLIN, 0};
      if (poll(&ready, 1, 1000) <= 0) continue;
      char buffer[4096];
      if (read(events.get(), buffer, sizeof buffer) > 0) {
        const auto written = test::readFile(css);
        if (!written.empty() && written.find(marker) != std::string::npos) return true;
      }
    }
    return false;
  }
  void save(int run) {
    const auto marker = "/* " + std::to_string(run) + " */";
    const auto start = Clock::now();
    test::writeFile(saved, text + "\n" + marker + "\n");
    waitFor(marker);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
};

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  int partials = 1000;
  std::vector<fs::path> inputs{FENNELVIEW_BENCH_EXAMPLE};
  const auto given = inputs.size();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--partials" && i + 1 < argc) {
      partials = std::max(1, std::atoi(argv[++i]));
    } else if (fs::is_directory(arg)) {
      for (auto& file : stylesheetsIn(arg)) inputs.push_back(file);
    } else {
      inputs.push_back(arg);
    }
  }
  const auto scratch = fs::temp_directory_path() / ("fennelview-dartsass-bench-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  // Saves go to copies of these, never to the example itself.
  std::vector<std::pair<fs::path, fs::path>> savedIn{{FENNELVIEW_BENCH_EXAMPLE, FENNELVIEW_BENCH_EXAMPLE}};
  if (inputs.size() == given) {
    inputs.push_back(generateFramework(scratch / "framework"));
    savedIn.emplace_back(inputs.back(), scratch / "framework" / "_variables.scss");
    inputs.push_back(generatePartials(scratch / "partials", partials));
    savedIn.emplace_back(inputs.back(), scratch / "partials" / "_mixins.scss");
    inputs.push_back(scratch / "partials" / "inlined.scss");
  }
  const auto empty = scratch / "empty.scss";
  writeFile(empty, "");

  setenv("FENNELVIEW_RESOURCES", FENNELVIEW_BENCH_RESOURCES, 0);
  Compilers compilers(FENNELVIEW_BENCH_RESOURCES, "");
  const auto found = compilers.found();
  if (found.size() < 2) {
    std::fprintf(stderr, "needs both compilers in %s; run scripts/install-deps and reconfigure\n",
                 FENNELVIEW_BENCH_RESOURCES);
    return 1;
  }
  const Compiler& libSass = found[0];
  const Compiler& dartSass = found[1];

  // Alternating the two compilers run by run, so a busy machine weighs on both alike.
  auto both = [&](const fs::path& file) {
    std::vector<Run> a, b;
    compileOnce(libSassArgs(libSass, file));
    compileOnce(dartSassArgs(dartSass, file));
    for (int i = 0; i < runs; ++i) {
      a.push_back(compileOnce(libSassArgs(libSass, file)));
      b.push_back(compileOnce(dartSassArgs(dartSass, file)));
    }
    return std::pair{measure(a), measure(b)};
  };

  std::printf("%s and %s, median of %d runs each; wall time (child CPU), relative to LibSass\n",
              libSass.name.c_str(), dartSass.name.c_str(), runs);
  const auto [libSassEmpty, dartSassEmpty] = both(empty);
  std::printf("\nstart-up (empty file):\n  %-10s %s\n  %-10s %s\n", "LibSass", describe(libSassEmpty, libSassEmpty).c_str(),
              "Dart Sass", describe(dartSassEmpty, libSassEmpty).c_str());
  for (const auto& file : inputs) {
    const auto [l, d] = both(file);
    std::printf("\n%s (%zu KB of CSS from Dart Sass):\n", file.c_str(), d.cssBytes / 1024);
    std::printf("  compile    LibSass   %s %s\n", describe(l, l).c_str(), l.note.c_str());
    std::printf("  compile    Dart Sass %s %s\n", describe(d, l).c_str(), d.note.c_str());
    std::printf("  Dart Sass start-up share: %.0f%% of wall, %.0f%% of CPU\n", 100 * dartSassEmpty.wall / d.wall,
                100 * dartSassEmpty.cpu / d.cpu);
    const auto saved = std::find_if(savedIn.begin(), savedIn.end(), [&](const auto& s) { return s.first == file; });
    if (saved == savedIn.end()) continue;
    const auto project = saved->second.parent_path();
    const auto copies = scratch / ("copies-" + file.stem().string());
    fs::create_directories(copies);
    Follower libSassDoc(project, file, saved->second, copies / "libsass", kLibSassId);
    Follower dartSassDoc(project, file, saved->second, copies / "dart-sass", kDartSassId);
    if (!libSassDoc.compiled() || !dartSassDoc.compiled()) {
      std::printf("  save to stored result: the document did not compile\n");
      continue;
    }
    WatchBaseline watch(dartSass, project, file, saved->second, copies / "watch");
    for (int i = 0; i < runs; ++i) {
      libSassDoc.save(i);
      dartSassDoc.save(i);
      watch.save(i);
    }
    const double savedL = test::median(libSassDoc.ms), savedD = test::median(dartSassDoc.ms);
    std::printf("  save of %s to stored result (%zu / %zu files followed), next to the compile above:\n",
                saved->second.filename().c_str(), libSassDoc.doc->followedFiles().size(),
                dartSassDoc.doc->followedFiles().size());
    std::printf("  save       LibSass   %8.1f ms (compile + %.1f ms)\n", savedL, savedL - l.wall);
    std::printf("  save       Dart Sass %8.1f ms (compile + %.1f ms) %5.2fx\n", savedD, savedD - d.wall, savedD / savedL);
    const double watched = test::median(watch.ms);
    std::printf("  save       sass --watch %5.1f ms; the app's warm Dart Sass takes %.2fx that\n", watched,
                savedD / watched);
  }
  fs::remove_all(scratch);
  return 0;
}
