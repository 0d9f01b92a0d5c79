// SPDX-License-Identifier: GPL-3.0-or-later
// Prints, on a generated project of many partials, the time from saving a partial to the
// document's stored result next to a bare `sassc --line-numbers` run of the main file, and
// the CPU cost of the source map file that tells which files a compile read.
//
// Usage: compile_bench [RUNS] [PARTIALS]   (defaults: 30 runs, 120 partials)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "median.hpp"
#include "common/private_folder.hpp"
#include "common/resources.hpp"
#include "document/sass_document.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// main.scss imports a variables partial, a mixins partial and `count` component partials
// spread over ten folders; each component uses both.
void writeProject(const std::filesystem::path& dir, int count) {
  test::writeFile(dir / "_variables.scss", "$primary: #336699;\n$space: 4px;\n");
  test::writeFile(dir / "_mixins.scss", "@mixin box($n) { padding: $space * $n; border: 1px solid $primary; }\n");
  std::string main = "@import \"variables\", \"mixins\";\n";
  for (int i = 0; i < count; ++i) {
    const auto folder = "components" + std::to_string(i % 10);
    const auto name = "c" + std::to_string(i);
    std::filesystem::create_directories(dir / folder);
    test::writeFile(dir / folder / ("_" + name + ".scss"),
                    "." + name + " {\n  @include box(" + std::to_string(i % 7 + 1) + ");\n  color: darken($primary, " +
                        std::to_string(i % 30) + "%);\n  &:hover { color: $primary; }\n  .inner { margin: $space; }\n}\n");
    main += "@import \"" + folder + "/" + name + "\";\n";
  }
  test::writeFile(dir / "main.scss", main);
}

struct Run {
  double milliseconds;
  double cpuMilliseconds;  // the child's user and system time
};

// sassc started and read to the end the plainest way: posix_spawn, one pipe, wait4.
// With `mapFolder`, the CSS and its map are written there, as the app has sassc do.
Run bareSassc(const std::string& sassc, const std::filesystem::path& dir, const PrivateFolder* mapFolder = nullptr) {
  int out[2];
  if (pipe(out) != 0) return {0, 0};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  const std::string output = mapFolder ? (mapFolder->path() / "out.css").string() : std::string();
  std::vector<const char*> argv{sassc.c_str(), "main.scss", "--line-numbers"};
  if (mapFolder) argv.insert(argv.end(), {output.c_str(), "--sourcemap", "--omit-map-comment"});
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  posix_spawn(&pid, sassc.c_str(), &actions, nullptr, const_cast<char**>(argv.data()), environ);
  close(out[1]);
  char buffer[65536];
  while (read(out[0], buffer, sizeof buffer) > 0) {
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  if (mapFolder) mapFolder->read("out.css", std::size_t{1} << 30), mapFolder->read("out.css.map", std::size_t{1} << 30);
  const double ms = millisecondsSince(start);
  close(out[0]);
  posix_spawn_file_actions_destroy(&actions);
  const auto cpu = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return {ms, cpu(usage.ru_utime) + cpu(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const int partials = argc > 2 ? std::max(1, std::atoi(argv[2])) : 120;
  setenv("FENNELVIEW_RESOURCES", test::realResources().c_str(), 0);
  const auto sassc = resourcePath("sassc");
  if (!sassc) {
    std::fprintf(stderr, "no sassc in the resource folder; set FENNELVIEW_RESOURCES\n");
    return 1;
  }
  test::TempDir dir;
  writeProject(dir.path(), partials);

  Settings settings(dir / "settings.json");  // no compiler chosen: LibSass, whatever the user's settings say
  auto doc = SassDocument::create(settings);
  doc->setFilePath((dir / "main.scss").string());
  int stores = 0;
  auto counting = doc->parsingResult().producer().start(Observer<ParsingResult>([&](const ParsingResult&) { ++stores; }));
  doc->readFromURL(*doc->fileURL(), "scss");
  test::runUntil([&] { return stores == 2; }, std::chrono::seconds(60));
  if (!doc->parsingResult().value().isSuccess()) {
    std::fprintf(stderr, "the generated project did not compile\n");
    return 1;
  }

  std::vector<double> bare, saved, cpuPlain, cpuMap;
  const auto mapFolder = PrivateFolder::create();
  for (int i = 0; i < 3; ++i) bareSassc(sassc->string(), dir.path());  // warm the caches
  // Interleaved, so a busy moment of the machine weighs on every figure alike.
  for (int i = 0; i < runs; ++i) {
    const auto plain = bareSassc(sassc->string(), dir.path());
    bare.push_back(plain.milliseconds);
    cpuPlain.push_back(plain.cpuMilliseconds);
    if (mapFolder) cpuMap.push_back(bareSassc(sassc->string(), dir.path(), &*mapFolder).cpuMilliseconds);

    const int before = stores;
    const auto start = Clock::now();
    test::writeFile(dir / "_variables.scss", "$primary: #3366" + std::to_string(10 + i % 90) + ";\n$space: 4px;\n");
    test::runUntil([&] { return stores > before && !doc->compiling().value(); }, std::chrono::seconds(60));
    saved.push_back(millisecondsSince(start));
    test::runFor(std::chrono::milliseconds(20));  // the save's trailing events settle
  }
  const auto files = doc->followedFiles().size();
  doc->close();

  const double b = test::median(bare), s = test::median(saved);
  const double p = test::median(cpuPlain), m = test::median(cpuMap);
  std::printf("compile of a project of %d partials (%zu files followed), %d runs, medians:\n", partials, files, runs);
  std::printf("  bare sassc --line-numbers main.scss:   %8.2f ms\n", b);
  std::printf("  partial save to stored result:         %8.2f ms  (+%.2f ms)\n", s, s - b);
  std::printf("  sassc CPU without / with a map file:   %8.2f / %.2f ms  (ratio %.3f)\n", p, m, m / p);
  return 0;
}
