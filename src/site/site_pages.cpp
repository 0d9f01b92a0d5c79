// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_pages.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>
#include <map>
#include <optional>

#include "common/formatted.hpp"
#include "site/html_links.hpp"
#include "site/project_root.hpp"
#include "site/server_pages.hpp"
#include "site/site_paths.hpp"

namespace fennelview {

namespace fs = std::filesystem;

namespace {

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char wanted, char c) { return std::tolower(static_cast<unsigned char>(c)) == wanted; });
}

bool isPageFile(const fs::path& file) {
  const std::string name = file.filename().string();
  return endsWithNoCase(name, ".html") || endsWithNoCase(name, ".htm");
}

std::string_view withoutQuery(std::string_view href) { return href.substr(0, href.find_first_of("?#")); }

// Folders apart in the tree: steps up from `a` to the common folder plus steps down to `b`.
std::size_t treeDistance(const fs::path& a, const fs::path& b) {
  auto i = a.begin();
  auto j = b.begin();
  while (i != a.end() && j != b.end() && *i == *j) ++i, ++j;
  return static_cast<std::size_t>(std::distance(i, a.end()) + std::distance(j, b.end()));
}

// The folder a linked file lies in, lexically: relative to the page, or "/..." from the web root.
fs::path linkedFolder(const fs::path& page, const fs::path& projectRoot, std::string_view href) {
  const std::string_view path = withoutQuery(href);
  const fs::path base = path.starts_with('/') ? webRootFor(page, projectRoot) : page.parent_path();
  return (base / fs::path(std::string(path)).relative_path()).lexically_normal().parent_path();
}

}  // namespace

bool isLocalHref(std::string_view href) {
  if (href.empty() || href.starts_with("//")) return false;
  const std::size_t colon = href.find(':');
  if (colon == std::string_view::npos) return true;
  const std::size_t separator = href.find_first_of("/?#");
  return separator != std::string_view::npos && separator < colon;
}

std::string stylesheetStem(std::string_view href) {
  if (!isLocalHref(href)) return {};
  std::string_view name = withoutQuery(href);
  name = name.substr(name.find_last_of('/') == std::string_view::npos ? 0 : name.find_last_of('/') + 1);
  if (!endsWithNoCase(name, ".css")) return {};
  name.remove_suffix(4);
  if (endsWithNoCase(name, ".min")) name.remove_suffix(4);
  const auto decoded = normalizedUrlPath(std::string(name));
  return decoded && decoded->size() > 1 ? decoded->substr(1) : std::string(name);
}

std::string sassStem(const fs::path& document) {
  const std::string extension = document.extension().string();
  if (extension != ".scss" && extension != ".sass") return {};
  return document.stem().string();
}

bool isSkippedInProject(const std::string& name, bool isFolder) {
  return name.starts_with('.') || (isFolder && (name == "node_modules" || name == "vendor"));
}

void visitProjectFiles(const fs::path& root, const std::function<void(const fs::path&)>& visit,
                       const std::function<void(const fs::path&)>& visitFolder) {
  std::deque<fs::path> folders{root};
  std::size_t visited = 0;
  while (!folders.empty()) {
    const fs::path folder = std::move(folders.front());
    folders.pop_front();
    if (visitFolder) visitFolder(folder);
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (++visited > maximumProjectEntries) break;
      entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
      const std::string name = entry.path().filename().string();
      const bool isFolder = entry.is_symlink(ec) ? false : entry.is_directory(ec);
      if (isSkippedInProject(name, isFolder)) continue;
      if (isFolder) {
        folders.push_back(entry.path());
      } else if (entry.is_regular_file(ec)) {
        visit(entry.path());
      }
    }
    if (visited > maximumProjectEntries) break;
  }
}

std::string readPageHead(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  // Sized to the file: a search reads thousands of small pages.
  std::string text(ec ? 0 : static_cast<std::size_t>(std::min<std::uintmax_t>(size, maximumPageBytes)), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return text;
}

std::vector<fs::path> findPages(const fs::path& projectRoot, const fs::path& document) {
  const std::string stem = sassStem(document);
  std::vector<fs::path> pages;
  if (stem.empty()) return pages;
  visitProjectFiles(projectRoot, [&](const fs::path& file) {
    if (!isPageFile(file) || isStrangersFile(file)) return;
    const auto links = htmlLinks(readPageHead(file));
    if (std::any_of(links.begin(), links.end(), [&](const HtmlLink& link) {
          return link.isStylesheet() && stylesheetStem(link.href) == stem;
        })) {
      pages.push_back(file);
    }
  });
  std::sort(pages.begin(), pages.end());
  const auto depth = [](const fs::path& p) { return std::distance(p.begin(), p.end()); };
  std::optional<std::size_t> index;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (pages[i].filename() == "index.html" && (!index || depth(pages[i]) < depth(pages[*index]))) index = i;
  }
  if (index) std::rotate(pages.begin(), pages.begin() + static_cast<std::ptrdiff_t>(*index),
                         pages.begin() + static_cast<std::ptrdiff_t>(*index) + 1);
  return pages;
}

std::variant<fs::path, PageProblem> documentOfPage(const fs::path& page, const fs::path& projectRoot) {
  const std::string name = page.filename().string();
  std::error_code ec;
  /* Translators: %1$s is the name of a web page's file. */
  if (!fs::is_regular_file(page, ec)) return PageProblem{formatted(_("\u201C%1$s\u201D could not be read."), name.c_str())};
  const auto head = readPageHead(page);
  const auto links = htmlLinks(head);
  std::optional<std::multimap<std::string, fs::path>> sources;  // by stem, found once when needed
  bool linksStyleSheet = false;
  for (const auto& link : links) {
    if (!link.isStylesheet()) continue;
    const std::string stem = stylesheetStem(link.href);
    linksStyleSheet = linksStyleSheet || isLocalHref(link.href);
    if (stem.empty()) continue;
    if (!sources) {
      sources.emplace();
      visitProjectFiles(projectRoot, [&](const fs::path& file) {
        if (const std::string fileStem = sassStem(file); !fileStem.empty() && !fileStem.starts_with('_')) {
          sources->emplace(fileStem, file);
        }
      });
    }
    const auto [first, last] = sources->equal_range(stem);
    if (first == last) continue;
    const fs::path folder = linkedFolder(page, projectRoot, link.href);
    const auto nearest = std::min_element(first, last, [&](const auto& a, const auto& b) {
      const auto da = treeDistance(folder, a.second.parent_path());
      const auto db = treeDistance(folder, b.second.parent_path());
      return da != db ? da < db : a.second < b.second;
    });
    return nearest->second;
  }
  // Its links are written by template tags that only its server fills in.
  if (isServerTemplate(head)) {
    /* Translators: %1$s is the name of a template file, such as "base.html". */
    return PageProblem{formatted(_("A server makes the page from \u201C%1$s\u201D: open its style sheet and enter the "
                                   "server's address with Server Address\u2026 in the Page menu."),
                                 name.c_str())};
  }
  /* Translators: %1$s is the name of a web page's file. */
  if (!linksStyleSheet) return PageProblem{formatted(_("\u201C%1$s\u201D links no style sheet of its own."), name.c_str())};
  /* Translators: %1$s is the name of a web page's file. */
  return PageProblem{formatted(_("No style sheet that \u201C%1$s\u201D links has a Sass source in its project."),
                               name.c_str())};
}

}  // namespace fennelview
