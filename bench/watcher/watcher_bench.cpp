// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what a change of the watched list costs next to rebuilding the whole inotify
// descriptor (stop, then start) over the same list, and how many saves each way reports
// when the list changes right after every save. A project of FOLDERS x FILES partials.
#include <glib.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "median.hpp"
#include "document/file_watcher.hpp"

using namespace fennelview;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double microsecondsOf(const std::function<void()>& step) {
  const auto start = Clock::now();
  step();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void drain() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? atoi(argv[1]) : 15;
  const int files = argc > 2 ? atoi(argv[2]) : 10;
  const int runs = 200;
  std::string pattern = (fs::temp_directory_path() / "watcher-bench-XXXXXX").string();
  const fs::path root = mkdtemp(pattern.data());
  std::vector<std::string> list{""};
  for (int f = 0; f < folders; ++f) {
    fs::create_directories(root / std::to_string(f));
    for (int i = 0; i < files; ++i) {
      list.push_back((root / std::to_string(f) / ("_" + std::to_string(i) + ".scss")).string());
      std::ofstream(list.back()) << "$a: 1;\n";
    }
  }
  const auto spare = (root / "0" / "_spare.scss").string();
  std::ofstream(spare) << "$b: 2;\n";

  FileWatcher watcher;
  int seen = 0;
  auto subscription = fileChangeSignal().observeNext([&](const std::string&) { ++seen; });
  watcher.setPathsToWatch(list);
  std::vector<double> change, rebuild;
  int seenChanging = 0, seenRebuilding = 0;
  for (int run = 0; run < runs; ++run) {
    // A compile that read one partial more or one fewer than the last one.
    auto next = list;
    if (run % 2 == 0) next.push_back(spare);
    std::ofstream(list[1 + run % (list.size() - 1)]) << "$a: " << run << ";\n";
    change.push_back(microsecondsOf([&] { watcher.setPathsToWatch(next); }));
    drain();
    seenChanging += std::exchange(seen, 0) > 0;

    std::ofstream(list[1 + run % (list.size() - 1)]) << "$a: " << -run << ";\n";
    rebuild.push_back(microsecondsOf([&] {
      watcher.stop();
      watcher.start();
    }));
    drain();
    seenRebuilding += std::exchange(seen, 0) > 0;
  }
  subscription.dispose();
  std::printf("%d paths in %d folders, %d runs (medians)\n", static_cast<int>(list.size() - 1), folders, runs);
  std::printf("list change:        %8.1f us   saves reported %d of %d\n", test::median(change), seenChanging, runs);
  std::printf("rebuild (baseline): %8.1f us   saves reported %d of %d\n", test::median(rebuild), seenRebuilding,
              runs);
  watcher.stop();
  fs::remove_all(root);
}
