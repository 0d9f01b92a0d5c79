// Time from a save to the stored result with one document open and with fifty open.
#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "document/sass_document.hpp"

using namespace fennelview;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSaves = 30;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void settle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// Opens `count` documents on their own files and times saves of the first one.
double saveToStore(const std::filesystem::path& dir, int count) {
  std::vector<std::shared_ptr<SassDocument>> docs;
  std::vector<int> stores(count, 0);
  for (int i = 0; i < count; ++i) {
    const auto file = dir / ("doc" + std::to_string(i) + ".scss");
    std::ofstream(file) << ".d" << i << " { color: red; }\n";
    auto doc = SassDocument::create();
    doc->setFilePath(file.string());
    doc->parsingResult().producer().start(Observer<ParsingResult>([&stores, i](const ParsingResult&) { ++stores[i]; }));
    doc->readFromURL(*doc->fileURL(), "scss");
    docs.push_back(doc);
  }
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (std::any_of(stores.begin(), stores.end(), [](int s) { return s < 2; }) && Clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
  }
  settle();

  std::vector<double> times;
  for (int n = 0; n < kSaves; ++n) {
    // Saves go round the open files so every document takes its turn.
    const int target = n % count;
    const int before = stores[target];
    const auto start = Clock::now();
    std::ofstream(docs[target]->path(), std::ios::trunc) << ".d" << target << " { width: " << n << "px; }\n";
    while (stores[target] == before && Clock::now() - start < std::chrono::seconds(10)) {
      g_main_context_iteration(nullptr, TRUE);
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    settle();
  }
  for (auto& doc : docs) doc->close();
  return median(times);
}

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / ("fennelview-many-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const double one = saveToStore(dir / "one", (std::filesystem::create_directories(dir / "one"), 1));
  const double fifty = saveToStore(dir / "fifty", (std::filesystem::create_directories(dir / "fifty"), 50));
  std::filesystem::remove_all(dir);
  std::printf("save to stored result, median of %d saves:\n", kSaves);
  std::printf("  1 document open:    %7.2f ms\n", one);
  std::printf("  50 documents open:  %7.2f ms  (%.2fx)\n", fifty, fifty / one);
  return 0;
}
