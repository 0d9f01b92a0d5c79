// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_paths.hpp"

#include <fcntl.h>
#include <glib.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <utility>
#include <vector>

#include "common/glib_ptr.hpp"
#include "site/project_root.hpp"

namespace fennelview {

namespace fs = std::filesystem;

std::optional<std::string> normalizedUrlPath(std::string_view urlPath) {
  // g_uri_unescape_segment refuses an escaped NUL and a broken escape (NULL).
  if (urlPath.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string raw(urlPath);
  GCharPtr decoded(g_uri_unescape_segment(raw.data(), raw.data() + raw.size(), nullptr));
  if (!decoded) return std::nullopt;
  const std::string_view text(decoded.get());
  std::vector<std::string_view> segments;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('/', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view segment = text.substr(at, end - at);
    at = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (segments.empty()) return std::nullopt;
      segments.pop_back();
      continue;
    }
    if (segment.front() == '.') return std::nullopt;
    segments.push_back(segment);
  }
  std::string path;
  for (const auto segment : segments) path.append("/").append(segment);
  const bool folder = text.empty() || text.back() == '/' || text.ends_with("/.") || text.ends_with("/..");
  if (path.empty() || (folder && !segments.empty())) path += '/';
  return path;
}

std::string encodedUrlPath(std::string_view path) {
  const std::string text(path);
  return GCharPtr(g_uri_escape_string(text.c_str(), "/", FALSE)).get();
}

bool isWithin(const fs::path& path, const fs::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    if (f->empty() && std::next(f) == folder.end()) break;  // a trailing separator
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

namespace {

// As the kernel's own limit on links in one lookup.
constexpr int kMostLinks = 40;

void prependParts(std::deque<std::string>& parts, const fs::path& path) {
  std::vector<std::string> names;
  for (const auto& part : path.relative_path()) {
    if (!part.empty()) names.push_back(part.string());
  }
  parts.insert(parts.begin(), names.begin(), names.end());
}

}  // namespace

std::optional<ConfinedFile> confinedFile(const fs::path& projectRoot, const fs::path& webRoot, std::string_view urlPath) {
  const auto path = normalizedUrlPath(urlPath);
  if (!path) return std::nullopt;
  std::error_code ec;
  const fs::path root = fs::canonical(projectRoot, ec);
  const fs::path web = webRoot.lexically_normal().lexically_relative(projectRoot.lexically_normal());
  if (ec || web.empty() || *web.begin() == "..") return std::nullopt;
  // The open folders from the root down, and their names.
  std::vector<UniqueFd> folders;
  std::vector<std::string> names;
  folders.emplace_back(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folders.back()) return std::nullopt;
  std::deque<std::string> parts;
  prependParts(parts, fs::path(*path));
  prependParts(parts, web);
  int links = 0;
  bool index = false;
  struct stat status{};
  if (fstat(folders.back().get(), &status) != 0) return std::nullopt;
  bool shared = isSharedFolder(status);
  while (true) {
    if (parts.empty()) {
      // A folder stands for its index.html, once.
      if (std::exchange(index, true)) return std::nullopt;
      parts.push_back("index.html");
    }
    const std::string name = std::move(parts.front());
    parts.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      if (names.empty()) return std::nullopt;
      folders.pop_back();
      names.pop_back();
      if (fstat(folders.back().get(), &status) != 0) return std::nullopt;
      shared = isSharedFolder(status);
      continue;
    }
    if (name.starts_with('.')) return std::nullopt;
    const int at = folders.back().get();
    if (fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    if (shared && status.st_uid != geteuid()) return std::nullopt;
    if (S_ISLNK(status.st_mode)) {
      if (++links > kMostLinks) return std::nullopt;
      std::string target(PATH_MAX, '\0');
      const auto length = readlinkat(at, name.c_str(), target.data(), target.size());
      if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
      target.resize(static_cast<std::size_t>(length));
      fs::path to(target);
      if (to.is_absolute()) {
        // Only to somewhere in the project, walked again from the root.
        to = to.lexically_normal();
        if (!isWithin(to, root)) return std::nullopt;
        to = to.lexically_relative(root);
        folders.resize(1);
        names.clear();
        if (fstat(folders.back().get(), &status) != 0) return std::nullopt;
        shared = isSharedFolder(status);
      }
      prependParts(parts, to);
      continue;
    }
    if (S_ISDIR(status.st_mode)) {
      UniqueFd folder(openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!folder || fstat(folder.get(), &status) != 0) return std::nullopt;
      if (shared && status.st_uid != geteuid()) return std::nullopt;
      shared = isSharedFolder(status);
      folders.push_back(std::move(folder));
      names.push_back(name);
      continue;
    }
    if (!parts.empty()) return std::nullopt;
    // Not blocking on a pipe put there meanwhile; what counts is what was opened.
    UniqueFd file(openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    if (shared && status.st_uid != geteuid()) return std::nullopt;
    fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    fs::path opened = root;
    for (const auto& folderName : names) opened /= folderName;
    return ConfinedFile{std::move(file), opened / name};
  }
}

fs::path webRootFor(const fs::path& page, const fs::path& projectRoot, const std::optional<fs::path>& chosen) {
  const fs::path root = projectRoot.lexically_normal();
  if (chosen) {
    const fs::path folder = (root / *chosen).lexically_normal();
    if (isWithin(folder, root)) return folder;
  }
  fs::path found = root;
  std::error_code ec;
  fs::path folder = page.lexically_normal().parent_path();
  if (!isWithin(folder, root)) return root;
  for (; folder != root && isWithin(folder, root); folder = folder.parent_path()) {
    if (fs::is_regular_file(folder / "index.html", ec)) found = folder;
  }
  return found;
}

}  // namespace fennelview
