// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/load_paths.hpp"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <sstream>

#include <glib.h>

#include "preferences/settings.hpp"
#include "site/project_root.hpp"
#include "site/project_settings.hpp"

namespace fennelview {

std::vector<std::string> loadPathsFor(const std::string& documentPath, const Settings& settings) {
  std::vector<std::string> folders;
  if (const char* sassPath = std::getenv("SASS_PATH")) {
    std::istringstream entries(sassPath);
    for (std::string entry; std::getline(entries, entry, ':');) {
      if (!entry.empty()) folders.push_back(entry);
    }
  }
  for (auto& folder : settings.loadPaths()) folders.push_back(std::move(folder));
  if (documentPath.empty()) return folders;
  if (const auto root = projectRootOf(documentPath, g_get_home_dir())) {
    for (auto& folder : projectLoadPaths(projectSettings(settings.store(), *root), *root)) folders.push_back(std::move(folder));
  }
  std::error_code ec;
  for (auto folder = std::filesystem::path(documentPath).parent_path(); !folder.empty();
       folder = folder.parent_path()) {
    if (std::filesystem::is_directory(folder / "node_modules", ec)) {
      folders.push_back((folder / "node_modules").string());
      break;
    }
    if (folder == folder.root_path()) break;
  }
  return folders;
}

namespace {

namespace fs = std::filesystem;

std::string_view lineAt(std::string_view text, std::size_t& at) {
  const auto end = std::min(text.find('\n', at), text.size());
  const auto line = text.substr(at, end - at);
  at = end + 1;
  return line;
}

// UTF-8 code points before `bytes`: the excerpt's gutter holds box-drawing characters.
std::size_t codePoints(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The byte where the line's `points`-th code point starts; its end when it has fewer.
std::size_t byteOfCodePoint(std::string_view line, std::size_t points) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((line[i] & 0xC0) == 0x80) continue;
    if (seen++ == points) return i;
  }
  return line.size();
}

bool isFile(const fs::path& file) {
  std::error_code ec;
  return fs::is_regular_file(file, ec);
}

bool resolvesIn(const fs::path& folder, const fs::path& url) {
  const fs::path named = folder / url;
  const std::string base = named.filename().string();
  const auto extension = named.extension();
  if (extension == ".scss" || extension == ".sass" || extension == ".css") {
    return isFile(named) || isFile(named.parent_path() / ("_" + base));
  }
  for (const char* suffix : {".scss", ".sass", ".css"}) {
    for (const auto& file : {named.parent_path() / (base + suffix), named.parent_path() / ("_" + base + suffix),
                             named / (std::string("index") + suffix), named / (std::string("_index") + suffix)}) {
      if (isFile(file)) return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> missingImport(std::string_view errorText) {
  static constexpr std::string_view kLibSass = "Error: File to import not found or unreadable: ";
  static constexpr std::string_view kDartSass = "Can't find stylesheet to import.";
  std::size_t at = 0;
  std::string_view previous;
  bool dartSass = false;
  while (at <= errorText.size()) {
    const auto line = lineAt(errorText, at);
    if (line.starts_with(kLibSass) && line.ends_with('.') && line.size() > kLibSass.size() + 1) {
      return std::string(line.substr(kLibSass.size(), line.size() - kLibSass.size() - 1));
    }
    if (line.find(kDartSass) != std::string_view::npos) dartSass = true;
    // The underline: carets below the excerpt's line, at the same code point.
    const auto caret = line.find('^');
    if (dartSass && caret != std::string_view::npos && !previous.empty()) {
      const auto length = std::min(line.find_first_not_of('^', caret), line.size()) - caret;
      const auto column = codePoints(line.substr(0, caret));
      const auto start = byteOfCodePoint(previous, column);
      const auto end = byteOfCodePoint(previous, column + length);
      auto url = previous.substr(start, end - start);
      if (url.size() >= 2 && (url.front() == '\'' || url.front() == '"') && url.back() == url.front()) {
        url = url.substr(1, url.size() - 2);
      }
      if (url.empty()) return std::nullopt;
      return std::string(url);
    }
    previous = line;
  }
  return std::nullopt;
}

std::optional<fs::path> nodeModulesFolderFor(std::string_view url, const fs::path& projectRoot) {
  const fs::path relative(url);
  if (url.empty() || relative.is_absolute() || url.find(':') != std::string_view::npos) return std::nullopt;
  for (const auto& part : relative) {
    if (part == "..") return std::nullopt;
  }
  const fs::path modules = projectRoot / "node_modules";
  // Breadth first, by name within a folder: the shallowest folder wins.
  std::deque<std::pair<fs::path, int>> folders{{modules, 0}};
  std::size_t visited = 0;
  while (!folders.empty() && visited < maximumModuleFolders) {
    auto [folder, depth] = std::move(folders.front());
    folders.pop_front();
    ++visited;
    if (depth > 0 && resolvesIn(folder, relative)) return folder.lexically_relative(projectRoot);
    if (depth == maximumModuleDepth) continue;
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
      const auto name = entry->path().filename().string();
      if (name.starts_with('.') || !entry->is_directory(ec) || entry->is_symlink(ec)) continue;
      children.push_back(entry->path());
      if (children.size() + folders.size() + visited >= maximumModuleFolders) break;
    }
    std::sort(children.begin(), children.end());
    for (auto& child : children) folders.emplace_back(std::move(child), depth + 1);
  }
  return std::nullopt;
}

}  // namespace fennelview
