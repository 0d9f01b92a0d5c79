// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/html_links.hpp"

#include <algorithm>

namespace fennelview {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lower(text[at + i]) != prefix[i]) return false;
  }
  return true;
}

// The position after the tag name starting at `at` (a letter), and the name in lower case.
std::size_t readTagName(std::string_view html, std::size_t at, std::string& name) {
  name.clear();
  while (at < html.size() && !isSpace(html[at]) && html[at] != '>' && html[at] != '/') name += lower(html[at++]);
  return at;
}

// Reads the attributes of a tag up to and past its '>'; a <link>'s rel and href go to `link`.
std::size_t readAttributes(std::string_view html, std::size_t at, HtmlLink* link) {
  std::string name;
  while (at < html.size()) {
    while (at < html.size() && (isSpace(html[at]) || html[at] == '/')) ++at;
    if (at >= html.size()) break;
    if (html[at] == '>') return at + 1;
    name.clear();
    while (at < html.size() && !isSpace(html[at]) && html[at] != '/' && html[at] != '>' && html[at] != '=') {
      name += lower(html[at++]);
    }
    if (name.empty()) name += html[at++];  // a stray '=' is a name of its own
    while (at < html.size() && isSpace(html[at])) ++at;
    if (at >= html.size() || html[at] != '=') continue;
    ++at;
    while (at < html.size() && isSpace(html[at])) ++at;
    std::size_t begin = at;
    std::size_t end = at;
    bool quoted = false;
    if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
      const char quote = html[at];
      quoted = true;
      begin = at + 1;
      end = std::min(html.find(quote, begin), html.size());
      at = std::min(end + 1, html.size());
    } else {
      while (at < html.size() && !isSpace(html[at]) && html[at] != '>') ++at;
      end = at;
    }
    if (!link) continue;
    if (name == "rel") {
      link->rel.assign(html.substr(begin, end - begin));
    } else if (name == "href" && !link->hasHref) {
      link->href.assign(html.substr(begin, end - begin));
      link->hasHref = true;
      link->hrefBegin = begin;
      link->hrefEnd = end;
      link->hrefQuoted = quoted;
    }
  }
  return html.size();
}

// The position after the end tag of a raw-text element (</script>, </style>).
std::size_t skipRawText(std::string_view html, std::size_t at, std::string_view endTag) {
  for (std::size_t lt = html.find('<', at); lt != std::string_view::npos; lt = html.find('<', lt + 1)) {
    if (startsWithNoCase(html, lt, endTag)) {
      return readAttributes(html, lt + endTag.size(), nullptr);
    }
  }
  return html.size();
}

}  // namespace

bool HtmlLink::isStylesheet() const {
  std::size_t at = 0;
  while (at < rel.size()) {
    while (at < rel.size() && isSpace(rel[at])) ++at;
    std::size_t end = at;
    while (end < rel.size() && !isSpace(rel[end])) ++end;
    if (end - at == 10 && startsWithNoCase(rel, at, "stylesheet")) return true;
    at = end;
  }
  return false;
}

std::vector<HtmlLink> htmlLinks(std::string_view html) {
  std::vector<HtmlLink> links;
  std::string name;
  std::size_t at = 0;
  while (at < html.size()) {
    const std::size_t lt = html.find('<', at);
    if (lt == std::string_view::npos) break;
    at = lt + 1;
    if (html.compare(at, 3, "!--") == 0) {
      const std::size_t end = html.find("-->", at + 3);
      at = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    if (at < html.size() && (html[at] == '/' || html[at] == '!' || html[at] == '?')) {
      at = readAttributes(html, at + 1, nullptr);
      continue;
    }
    if (at >= html.size() || !isLetter(html[at])) continue;
    at = readTagName(html, at, name);
    if (name == "link") {
      HtmlLink link;
      at = readAttributes(html, at, &link);
      links.push_back(std::move(link));
    } else {
      at = readAttributes(html, at, nullptr);
      if (name == "script") at = skipRawText(html, at, "</script");
      if (name == "style") at = skipRawText(html, at, "</style");
    }
  }
  return links;
}

}  // namespace fennelview
