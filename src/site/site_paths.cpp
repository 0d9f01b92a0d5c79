// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_paths.hpp"

#include <glib.h>

#include <vector>

#include "common/glib_ptr.hpp"

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

std::optional<fs::path> confinedFile(const fs::path& projectRoot, const fs::path& webRoot, std::string_view urlPath) {
  const auto path = normalizedUrlPath(urlPath);
  if (!path) return std::nullopt;
  std::error_code ec;
  const fs::path root = fs::canonical(projectRoot, ec);
  if (ec) return std::nullopt;
  fs::path candidate = webRoot / fs::path(*path).relative_path();
  if (fs::is_directory(candidate, ec)) candidate /= "index.html";
  const fs::path real = fs::canonical(candidate, ec);
  if (ec || !isWithin(real, root) || !fs::is_regular_file(real, ec)) return std::nullopt;
  for (const auto& part : real.lexically_relative(root)) {
    if (part.native().starts_with('.')) return std::nullopt;
  }
  return real;
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
