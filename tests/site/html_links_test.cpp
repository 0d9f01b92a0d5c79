// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/html_links.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

// Each text: the hrefs of its stylesheet links, in order.
TEST(HtmlLinksTest, FindsStylesheetLinksHoweverWrittenAndOnlyRealOnes) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {R"(<link rel="stylesheet" href="a.css">)", {"a.css"}},
      {R"(<LINK HREF='b.css' REL='StyleSheet'/>)", {"b.css"}},
      {"<link\nhref=c.css\trel=stylesheet>", {"c.css"}},
      {R"(<link rel="stylesheet preload" href="d.css"><link rel="icon" href="x.ico">)", {"d.css"}},
      {R"(<link rel=preload href=e.css><link rel="alternate stylesheet" href="f.css">)", {"f.css"}},
      {R"(<!-- <link rel="stylesheet" href="no.css"> --><link rel=stylesheet href=g.css>)", {"g.css"}},
      {R"(<script>s = '<link rel="stylesheet" href="no.css">';</script><link rel=stylesheet href=h.css>)", {"h.css"}},
      {R"(<div title="<link rel=stylesheet href=no.css>"></div><link rel=stylesheet href="i.css?v=1">)", {"i.css?v=1"}},
      {R"(<style>a{}</STYLE ><link rel=stylesheet href=j.css)", {"j.css"}},
      {R"(<linkx rel=stylesheet href=no.css><link rel=stylesheet href="unterminated)", {"unterminated"}},
      {"", {}},
  };
  for (const auto& [html, expected] : cases) {
    std::vector<std::string> found;
    for (const auto& link : htmlLinks(html)) if (link.isStylesheet()) found.push_back(link.href);
    EXPECT_EQ(found, expected) << html;
  }
}

// Where each href sits is checked through the pages the site serves with it rewritten.
TEST(HtmlLinksTest, ScansALongHostileTextInOnePass) {
  // Many unclosed tags and comments: no recursion, no quadratic rescans.
  std::string hostile;
  for (int i = 0; i < 200000; ++i) hostile += "<a x='<link ";
  hostile += "<!-- <link";
  EXPECT_TRUE(htmlLinks(hostile).empty());
}

}  // namespace
}  // namespace fennelview
