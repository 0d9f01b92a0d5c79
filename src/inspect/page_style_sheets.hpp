// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compile/source_map.hpp"
#include "inspect/rule_place.hpp"
#include "inspect/style_sheet.hpp"
#include "site/served_site.hpp"

namespace fennelview {

// A page's style sheets as the page lists them, in document order.
struct PageSheetList {
  struct Sheet {
    std::string url;   // empty for a <style>
    std::string text;  // a <style>'s text, or a linked sheet's as the page read it
    bool readInPage = false;  // `text` is the linked sheet's
    bool compiled = false;    // the compiled CSS, put in place by the page
    bool operator==(const Sheet&) const = default;
  };
  std::string pageUrl;
  std::vector<Sheet> sheets;
};

// The rules of a page's style sheets, read from their text as written (the page's own list of
// rules leaves out what it cannot parse), and where each rule comes from: the compiled CSS
// (through its map), a file of the site at its own line, a server's sheet at its URL and line,
// or a <style> the page's file does not hold (no place). Reads at most 64 MB, however many sheets the page has.
class PageStyleSheets {
 public:
  using Source = std::function<SiteAnswer(const std::string& url)>;

  PageStyleSheets() = default;
  // `source` says what the site serves at a URL; `compiledCss` is the document's CSS, listed
  // where the page links it, or last when the page is not the site's (the sample page).
  PageStyleSheets(const PageSheetList& page, const Source& source, std::string_view compiledCss);

  const StyleSheet& sheet() const { return sheet_; }
  std::optional<RulePlace> placeOf(std::size_t rule, const SourceMap* map) const;

 private:
  struct Origin {
    std::size_t firstRule;
    bool compiled;               // else a file, a URL, or nowhere when both are empty
    std::filesystem::path file;
    int firstLine;
    std::string url = {};        // a server's sheet, placed by its URL
  };
  void add(std::string_view css, Origin origin);

  StyleSheet sheet_;
  std::vector<Origin> origins_;
};

// Where `needle` first occurs in `text`, in one pass (no worse than linear, whatever the texts).
std::optional<std::size_t> findText(std::string_view text, std::string_view needle);

}  // namespace fennelview
