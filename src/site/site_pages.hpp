// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fennelview {

// Limits that keep a search cheap in any project: entries visited, bytes of a page read.
inline constexpr std::size_t maximumProjectEntries = 5000;
inline constexpr std::size_t maximumPageBytes = 1024 * 1024;

// The name a style sheet link is matched by: the file name of a local href without ".css" and
// then ".min" ("dist/main.min.css?v=2" -> "main"); empty for a web link or a non-CSS file.
std::string stylesheetStem(std::string_view href);
// The same for a Sass document: its name without ".scss"/".sass"; empty for another file.
std::string sassStem(const std::filesystem::path& document);
// An href that names a file of the site (no scheme, not protocol-relative).
bool isLocalHref(std::string_view href);

// Visits the files under `root` breadth-first, by name within a folder, skipping node_modules,
// vendor and dot-folders and not following linked folders; stops after maximumProjectEntries.
// `visitFolder`, when given, is told of each folder entered, `root` first.
void visitProjectFiles(const std::filesystem::path& root,
                       const std::function<void(const std::filesystem::path&)>& visit,
                       const std::function<void(const std::filesystem::path&)>& visitFolder = {});
// A name that a walk of the project passes over: dot-files and dot-folders, node_modules, vendor.
bool isSkippedInProject(const std::string& name, bool isFolder);

// The first maximumPageBytes of a file; empty when it cannot be read.
std::string readPageHead(const std::filesystem::path& file);

// The HTML files of the project that link the document's compiled CSS with a
// <link rel="stylesheet">: an index.html nearest the root first, then the others by path.
std::vector<std::filesystem::path> findPages(const std::filesystem::path& projectRoot,
                                             const std::filesystem::path& document);

// Why a page cannot be opened with a document of its own.
struct PageProblem {
  std::string message;
};

// The document a page opens with: the Sass source of the first style sheet it links that has
// one in the project (a non-partial NAME.scss or NAME.sass, the nearest to the linked file's
// folder first). A page that links no style sheet, or none with a source, is a PageProblem.
std::variant<std::filesystem::path, PageProblem> documentOfPage(const std::filesystem::path& page,
                                                                const std::filesystem::path& projectRoot);

}  // namespace fennelview
