// SPDX-License-Identifier: GPL-3.0-or-later
// What a source map costs to produce, LibSass and Dart Sass, on a generated style sheet of
// about 5 MB: each compiler run as the app runs it, the CSS and the map written into a
// private temporary folder, beside the same run without a map (and, for LibSass, with the
// inline map the CSS once carried), interleaved in one run. Prints medians and ratios.
//
// Usage: source_map_bench [RUNS] [MEGABYTES]   (defaults: 7 runs, 5 MB)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/private_folder.hpp"
#include "compile/compilers.hpp"
#include "median.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

struct Run {
  double milliseconds = 0;
  double cpuMilliseconds = 0;
  std::size_t bytes = 0;  // what the compiler wrote: the CSS and its map
};

// Rules of the kinds frameworks are made of: nesting, variables, a mixin, @media.
void writeStyleSheet(const std::filesystem::path& file, std::size_t megabytes) {
  std::string text = "$base: #336699;\n@mixin box($n) { padding: $n * 2px; margin: $n * 1px; }\n";
  for (int i = 0; text.size() < megabytes * 1000000; ++i) {
    const auto n = std::to_string(i);
    text += ".c" + n + " {\n  color: lighten($base, " + std::to_string(i % 40) + "%);\n  @include box(" +
            std::to_string(i % 9) + ");\n  &:hover { border: 1px solid darken($base, 5%); }\n  .inner-" + n +
            " { width: percentage(" + std::to_string(i % 7) + " / 7); }\n  @media (min-width: 600px) { flex: " +
            std::to_string(i % 5) + "; }\n}\n";
  }
  test::writeFile(file, text);
}

Run runOnce(const std::vector<std::string>& args, const PrivateFolder& folder) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  Run run;
  const auto start = Clock::now();
  pid_t pid = -1;
  const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char buffer[65536];
  for (ssize_t n; spawned && (n = read(out[0], buffer, sizeof buffer)) > 0;) run.bytes += static_cast<std::size_t>(n);
  close(out[0]);
  if (!spawned) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  // Reading the files back is part of what the app pays.
  for (const auto* name : {"out.css", "out.css.map"}) {
    if (const auto text = folder.read(name, std::size_t{1} << 30)) run.bytes += text->size();
  }
  run.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  run.cpuMilliseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  return run;
}

struct Variant {
  Variant(const char* name, std::vector<std::string> args) : name(name), args(std::move(args)) {}
  const char* name;
  std::vector<std::string> args;
  std::vector<double> wall, cpu;
  std::size_t bytes = 0;
};

void report(const char* compiler, const std::vector<Variant>& variants) {
  const double wall = test::median(variants[0].wall), cpu = test::median(variants[0].cpu);
  for (const auto& v : variants) {
    const double w = test::median(v.wall), c = test::median(v.cpu);
    std::printf("  %-9s %-22s %9.1f ms (x%.3f)  CPU %9.1f ms (x%.3f)  %6.2f MB written\n", compiler, v.name, w,
                w / wall, c, c / cpu, v.bytes / 1e6);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const auto megabytes = static_cast<std::size_t>(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
  test::TempDir dir;
  const auto input = (dir / "large.scss").string();
  writeStyleSheet(input, megabytes);
  auto folder = PrivateFolder::create();
  if (!folder) return 1;
  const auto css = (folder->path() / "out.css").string();
  const auto sassc = test::realSassc().string();
  std::vector<Variant> libSass = {
      {"without a map", {sassc, input, css, "--line-numbers"}},
      {"map file (the app)", {sassc, input, css, "--line-numbers", "--sourcemap", "--omit-map-comment"}},
      {"inline map (before)", {sassc, input, css, "--line-numbers", "--sourcemap=inline"}},
  };
  std::vector<Variant> dartSass;
  const auto dart = compilerForChoice("dart-sass");
  if (dart.id == kDartSassId) {
    const auto sass = dart.executable.string();
    dartSass = {{"without a map", {sass, "--no-source-map", input, css}},
                {"map with sources", {sass, "--source-map", "--embed-sources", input, css}}};
  }
  std::printf("%.1f MB style sheet, %d runs, medians (ratios against the run without a map):\n",
              std::filesystem::file_size(input) / 1e6, runs);
  for (int i = 0; i < runs; ++i) {
    for (auto* variants : {&libSass, &dartSass}) {
      for (auto& v : *variants) {
        const auto run = runOnce(v.args, *folder);
        v.wall.push_back(run.milliseconds);
        v.cpu.push_back(run.cpuMilliseconds);
        v.bytes = run.bytes;
        std::filesystem::remove(folder->path() / "out.css.map");
      }
    }
    // After every round, so that a run cut short on a busy machine still tells something.
    std::printf("after %d of %d runs:\n", i + 1, runs);
    report("LibSass", libSass);
    if (!dartSass.empty()) report("Dart Sass", dartSass);
    std::fflush(stdout);
  }
  if (dartSass.empty()) std::printf("  Dart Sass not found\n");
  return 0;
}
