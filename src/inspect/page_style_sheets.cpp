// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/page_style_sheets.hpp"

#include <glib.h>

#include <algorithm>
#include <cstdint>

#include "common/bounded_read.hpp"
#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

constexpr std::uintmax_t kLargestSheet = 16 * 1024 * 1024;
// What one look at a page reads and searches at most, however many sheets it has.
constexpr std::size_t kMostRead = 64 * 1024 * 1024;

}  // namespace

std::optional<std::size_t> findText(std::string_view text, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > text.size()) return std::nullopt;
  // Knuth-Morris-Pratt: the longest proper border of each prefix of the needle.
  std::vector<std::uint32_t> border(needle.size(), 0);
  for (std::size_t i = 1, k = 0; i < needle.size(); ++i) {
    while (k > 0 && needle[i] != needle[k]) k = border[k - 1];
    if (needle[i] == needle[k]) ++k;
    border[i] = static_cast<std::uint32_t>(k);
  }
  for (std::size_t i = 0, k = 0; i < text.size(); ++i) {
    while (k > 0 && text[i] != needle[k]) k = border[k - 1];
    if (text[i] == needle[k]) ++k;
    if (k == needle.size()) return i + 1 - k;
  }
  return std::nullopt;
}

PageStyleSheets::PageStyleSheets(const PageSheetList& page, const Source& source, std::string_view compiledCss) {
  const auto answerFor = [&](const std::string& url) { return url.empty() || !source ? SiteAnswer(SiteRefusal{}) : source(url); };
  const auto pageAnswer = answerFor(page.pageUrl);
  const auto* pageFile = std::get_if<SiteFile>(&pageAnswer);
  std::optional<std::string> pageText;
  std::size_t read = 0;
  bool fromSite = false, compiled = false;
  for (const auto& sheet : page.sheets) {
    if (read > kMostRead) {
      sheet_.truncated = true;
      break;
    }
    if (sheet.url.empty()) {
      // A <style> of an own page is placed by finding its text in the page's file.
      if (sheet.text.empty() || !pageFile) continue;
      if (!pageText) pageText = readWholeFile(pageFile->fd.get(), kLargestSheet).value_or("");
      read += pageText->size() + sheet.text.size();
      const auto at = sheet.text.size() <= kLargestSheet ? findText(*pageText, sheet.text) : std::nullopt;
      const auto line = at ? 1 + std::count(pageText->begin(), pageText->begin() + static_cast<std::ptrdiff_t>(*at), '\n') : 0;
      add(sheet.text, {0, false, at ? pageFile->file : std::filesystem::path(), static_cast<int>(line)});
      continue;
    }
    if (sheet.compiled) {
      if (!compiled) add(compiledCss, {0, true, {}, 1});
      read += compiled ? 0 : compiledCss.size();
      compiled = true;
      continue;
    }
    const auto answer = answerFor(sheet.url);
    if (sheet.readInPage && std::holds_alternative<SiteRefusal>(answer)) {
      read += sheet.text.size();
      add(sheet.text, {0, false, {}, 1, sheet.url});
    } else if (std::holds_alternative<SiteText>(answer) && !compiled) {
      fromSite = compiled = true;
      read += compiledCss.size();
      add(compiledCss, {0, true, {}, 1});
    } else if (const auto* file = std::get_if<SiteFile>(&answer)) {
      fromSite = true;
      if (const auto text = readWholeFile(file->fd.get(), kLargestSheet)) {
        read += text->size();
        add(*text, {0, false, file->file, 1});
      }
    }
  }
  // The sample page holds the compiled CSS in a <style> of its own.
  if (!fromSite && !pageFile && !compiled) add(compiledCss, {0, true, {}, 1});
}

void PageStyleSheets::add(std::string_view css, Origin origin) {
  origin.firstRule = sheet_.rules.size();
  origins_.push_back(std::move(origin));
  auto scanned = scanStyleSheet(css);
  sheet_.truncated = sheet_.truncated || scanned.truncated;
  std::ranges::move(scanned.rules, std::back_inserter(sheet_.rules));
}

std::optional<RulePlace> PageStyleSheets::placeOf(std::size_t rule, const SourceMap* map) const {
  const auto origin = std::ranges::find_if(origins_.rbegin(), origins_.rend(), [&](const Origin& o) { return o.firstRule <= rule; });
  if (origin == origins_.rend() || rule >= sheet_.rules.size()) return std::nullopt;
  const auto& styleRule = sheet_.rules[rule];
  if (origin->compiled) return map ? placeOfRule(styleRule, *map) : std::nullopt;
  if (!origin->url.empty()) {
    const int line = styleRule.line;
    return RulePlace{origin->url, line, origin->url + ":" + std::to_string(line)};
  }
  if (origin->file.empty()) return std::nullopt;
  GCharPtr name(g_filename_display_basename(origin->file.c_str()));
  const int line = styleRule.line + origin->firstLine - 1;
  return RulePlace{origin->file.string(), line, std::string(name.get()) + ":" + std::to_string(line)};
}

}  // namespace fennelview
