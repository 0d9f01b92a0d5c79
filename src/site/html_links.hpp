// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

// One <link> tag of an HTML text.
struct HtmlLink {
  std::string rel;
  std::string href;
  bool hasHref = false;
  // Where the href value sits in the text (between its quotes, if any), so it can be replaced.
  std::size_t hrefBegin = 0;
  std::size_t hrefEnd = 0;
  bool hrefQuoted = false;

  // rel lists "stylesheet" among its tokens, in any case.
  bool isStylesheet() const;
};

// The <link> tags of `html` in document order. Comments and the contents of <script> and
// <style> are skipped; attributes may come in any order, quoted or not, in any case. One pass,
// no recursion: the cost grows linearly with the text.
std::vector<HtmlLink> htmlLinks(std::string_view html);

}  // namespace fennelview
