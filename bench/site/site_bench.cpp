// SPDX-License-Identifier: GPL-3.0-or-later
// Prints, for a project of 5,000 files (PAGES of them HTML pages of about 20 KB that link
// main.css), the time to find the document's pages, to find a page's own document, and to
// confine the requests of a page with 200 assets, each beside a baseline measured in the same
// run: a plain recursive listing of the same tree, and canonicalising the same 200 paths.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "median.hpp"
#include "site/site_pages.hpp"
#include "site/site_paths.hpp"

using namespace fennelview;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsOf(const std::function<void()>& step) {
  const auto start = Clock::now();
  step();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? atoi(argv[1]) : 200;
  const int files = 5000;
  const int runs = 15;
  std::string pattern = (fs::temp_directory_path() / "site-bench-XXXXXX").string();
  const fs::path root = mkdtemp(pattern.data());
  fs::create_directories(root / ".git");
  fs::create_directories(root / "scss");
  std::ofstream(root / "scss/main.scss") << "body { color: red; }\n";
  const std::string filler(20000, 'x');
  std::vector<std::string> assets;
  for (int i = 0; i < files - 1; ++i) {
    const fs::path folder = root / ("f" + std::to_string(i % 50)) / ("g" + std::to_string(i % 7));
    fs::create_directories(folder);
    if (i < pages) {
      std::ofstream(folder / ("p" + std::to_string(i) + ".html"))
          << "<!doctype html><head><link rel=stylesheet href=/css/main.css></head><body>" << filler << "</body>";
    } else {
      const fs::path asset = folder / ("a" + std::to_string(i) + ".png");
      std::ofstream(asset) << "png";
      if (assets.size() < 200) assets.push_back("/" + asset.lexically_relative(root).generic_string());
    }
  }
  const fs::path page = root / "f0/g0/p0.html";

  std::vector<double> find, open, listing, confine, canonical;
  std::size_t found = 0;
  for (int run = 0; run < runs; ++run) {
    find.push_back(millisecondsOf([&] { found = findPages(root, root / "scss/main.scss").size(); }));
    open.push_back(millisecondsOf([&] { documentOfPage(page, root); }));
    listing.push_back(millisecondsOf([&] {
      std::size_t n = 0;
      for (const auto& entry : fs::recursive_directory_iterator(root)) n += entry.is_regular_file();
      if (n == 0) std::abort();
    }));
    confine.push_back(millisecondsOf([&] {
      for (const auto& asset : assets) {
        if (!confinedFile(root, root, asset)) std::abort();
      }
    }));
    canonical.push_back(millisecondsOf([&] {
      for (const auto& asset : assets) {
        if (fs::canonical(root / fs::path(asset).relative_path()).empty()) std::abort();
      }
    }));
  }
  std::printf("%d files, %d pages (%zu found), %d runs (medians)\n", files, pages, found, runs);
  std::printf("find the pages:              %8.2f ms\n", test::median(find));
  std::printf("find a page's document:      %8.2f ms\n", test::median(open));
  std::printf("recursive listing (baseline): %7.2f ms\n", test::median(listing));
  std::printf("confine %zu requests:        %8.2f ms\n", assets.size(), test::median(confine));
  std::printf("canonical paths (baseline):  %8.2f ms\n", test::median(canonical));
  fs::remove_all(root);
}
