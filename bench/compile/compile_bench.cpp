// Prints how much the compile pipeline adds on top of running sassc by hand:
// raw sassc, parse() to stored result, and file write to stored result (medians).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <glib.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/resources.hpp"
#include "document/sass_document.hpp"
#include "median.hpp"
#include "test_support.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;
using test::median;
using test::runUntil;
using test::writeFile;

extern char** environ;

namespace {

constexpr int kRuns = 40;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// sassc started and read to the end the plainest way: posix_spawn, one pipe, waitpid.
double rawSassc(const std::string& sassc, const std::string& file) {
  int out[2];
  if (pipe(out) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const char* argv[] = {sassc.c_str(), file.c_str(), "--line-numbers", nullptr};
  const auto start = Clock::now();
  pid_t pid = 0;
  posix_spawn(&pid, sassc.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
  close(out[1]);
  char buffer[65536];
  while (read(out[0], buffer, sizeof buffer) > 0) {
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double ms = millisecondsSince(start);
  close(out[0]);
  posix_spawn_file_actions_destroy(&actions);
  return ms;
}

}  // namespace

int main() {
  const auto sassc = resourcePath("sassc");
  if (!sassc) {
    std::fprintf(stderr, "no sassc in the resource folder; set FENNELVIEW_RESOURCES\n");
    return 1;
  }
  auto dir = std::filesystem::temp_directory_path() / ("fennelview-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "sample.scss";
  std::stringstream sample;
  sample << std::ifstream(FENNELVIEW_BENCH_SAMPLE).rdbuf();
  writeFile(file, sample.str());

  std::vector<double> raw, parsed, saved;
  for (int i = 0; i < 3; ++i) rawSassc(sassc->string(), file.string());  // warm the caches
  for (int i = 0; i < kRuns; ++i) raw.push_back(rawSassc(sassc->string(), file.string()));

  auto doc = SassDocument::create();
  doc->setFilePath(file.string());
  int stores = 0;
  doc->parsingResult().producer().start(Observer<ParsingResult>([&](const ParsingResult&) { ++stores; }));
  doc->readFromURL(*doc->fileURL(), "scss");
  runUntil([&] { return stores == 2; });

  for (int i = 0; i < kRuns; ++i) {
    const int before = stores;
    const auto start = Clock::now();
    doc->parse();
    runUntil([&] { return stores > before; });
    parsed.push_back(millisecondsSince(start));
  }
  for (int i = 0; i < kRuns; ++i) {
    const int before = stores;
    // A different comment each time, so every save is a real change.
    const auto text = sample.str() + "\n/* save " + std::to_string(i) + " */\n";
    const auto start = Clock::now();
    writeFile(file, text);
    runUntil([&] { return stores > before; });
    saved.push_back(millisecondsSince(start));
    // Let the save's trailing events settle so they do not count towards the next one.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }
  doc->close();
  std::filesystem::remove_all(dir);

  const double r = median(raw), p = median(parsed), s = median(saved);
  std::printf("compile pipeline, %d runs each, median on this machine:\n", kRuns);
  std::printf("  raw sassc:                    %7.2f ms  (1.00x)\n", r);
  std::printf("  parse() to stored result:     %7.2f ms  (%.2fx, +%.2f ms)\n", p, p / r, p - r);
  std::printf("  file write to stored result:  %7.2f ms  (%.2fx, +%.2f ms)\n", s, s / r, s - r);
  return 0;
}
