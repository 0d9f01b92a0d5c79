// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/unique_fd.hpp"

namespace fennelview {

class SourceMap;

// A file of the site to stream from disk. A page (HTML) is read whole and passed through
// ServedSite::servedPage before it is sent.
struct SiteFile {
  std::filesystem::path file;
  std::string contentType;
  bool isPage = false;
  // The file as opened where it was confined: read this, never `file` by its name again.
  UniqueFd fd;
};
// An answer from memory: the compiled CSS, or its source map.
struct SiteText {
  std::string body;
  std::string contentType;
};
// Not served (answered as 404).
struct SiteRefusal {};
using SiteAnswer = std::variant<SiteRefusal, SiteFile, SiteText>;

// What a project's pages are served from while one document is previewed on them: files of the
// project, confined to it, with "/" at the web root, and the document's compiled CSS from
// memory in place of every style sheet link that names it, so nothing is written to disk and a
// stale CSS file on disk never shows. Main thread only.
class ServedSite {
 public:
  ServedSite(std::filesystem::path projectRoot, std::filesystem::path webRoot, std::filesystem::path document);

  const std::filesystem::path& projectRoot() const { return projectRoot_; }
  const std::filesystem::path& webRoot() const { return webRoot_; }
  const std::filesystem::path& document() const { return document_; }

  // The percent-encoded URL path of a file under the web root ("/docs/a%20b.html"); none elsewhere.
  std::optional<std::string> urlPathOf(const std::filesystem::path& file) const;

  // The URL path a source map gives a style sheet: its own under the web root, else its path in
  // the project, else its name only; so a page never learns where the project lies.
  std::string sourceUrlOf(const std::filesystem::path& source) const;

  // Stores a new compile's CSS and its map, if any; returns its version, which the links' "?v="
  // carries. The CSS is answered with a comment naming its map ("main.css.map?v=VERSION" beside
  // it), which is answered from memory too, made when first asked for.
  unsigned setCompiledCss(std::string css, std::shared_ptr<const SourceMap> map = nullptr);
  // The same, held with whoever else holds the text: a large sheet is not copied.
  unsigned setCompiledCss(std::shared_ptr<const std::string> css, std::shared_ptr<const SourceMap> map = nullptr);
  unsigned cssVersion() const { return version_; }
  // Whether the compiled CSS has a map to name.
  bool servesMap() const { return map_ != nullptr; }

  // The answer to a request for `urlPath` (percent-encoded, without query).
  SiteAnswer answer(std::string_view urlPath) const;

  // A page's HTML as served from `pageUrlPath`: each <link rel="stylesheet"> to the document's
  // compiled CSS points at that CSS in memory (its own path with "?v=VERSION"); the paths so
  // taken over are answered from memory from then on.
  // A page with no such link gets one to the CSS in memory after everything it has.
  std::string servedPage(std::string_view html, std::string_view pageUrlPath);
  // The page at `pageUrlPath` linked no sheet of the document and was served with one added.
  bool cssAddedTo(std::string_view pageUrlPath) const;

  // The file named by the first link to the compiled CSS the pages had: where the project's own
  // build writes it, so the place to offer for saving it. None before such a link.
  std::optional<std::filesystem::path> linkedCssFile() const;

  // The decoded URL paths answered with the compiled CSS: the links a page swaps in place for
  // the current version (see cssVersion) after setCompiledCss.
  std::vector<std::string> cssPaths() const { return {cssPaths_.begin(), cssPaths_.end()}; }

  // The files read from disk for the site's requests so far: a change to any of them changes
  // what the page shows. The listener hears of each file the first time it is served.
  void noteServed(const std::filesystem::path& file);
  const std::set<std::filesystem::path>& servedFiles() const { return servedFiles_; }
  void onServed(std::function<void(const std::filesystem::path&)> listener) { servedListener_ = std::move(listener); }

 private:
  std::filesystem::path projectRoot_;
  std::filesystem::path webRoot_;
  std::filesystem::path document_;
  std::string stem_;
  std::shared_ptr<const std::string> css_ = std::make_shared<const std::string>();
  std::shared_ptr<const SourceMap> map_;
  mutable std::optional<std::optional<std::string>> servedMap_;  // made on the first request
  unsigned version_ = 0;
  std::set<std::string> cssPaths_;  // decoded URL paths answered with the compiled CSS
  std::string firstCssPath_;
  std::set<std::string> pagesWithAddedCss_;
  std::set<std::filesystem::path> servedFiles_;
  std::function<void(const std::filesystem::path&)> servedListener_;
};

}  // namespace fennelview
