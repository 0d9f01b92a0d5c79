// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/page_style_sheets.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;

// What the panel lists for each kind of page: the sheets and, by a rule's selector, its place.
TEST(PageStyleSheetsTest, ListsEachSheetOfThePageWithThePlaceOfItsRules) {
  test::TempDir dir;
  test::writeFile(dir.path() / "index.html", "<link href=kit.css>\n<style>\n.own { top: 0 }\n</style>\n");
  test::writeFile(dir.path() / "kit.css", "/* kit */\n.kit { top: 0 }\n");
  const auto source = [&](const std::string& url) -> SiteAnswer {
    const auto opened = [&](const char* name, const char* type, bool isPage) {
      return SiteFile{dir.path() / name, type, isPage, UniqueFd(::open((dir.path() / name).c_str(), O_RDONLY | O_CLOEXEC))};
    };
    if (url == "own:/index.html") return opened("index.html", "text/html", true);
    if (url == "own:/kit.css") return opened("kit.css", "text/css", false);
    if (url == "own:/main.css") return SiteText{"", "text/css"};
    return SiteRefusal{};
  };
  const std::string compiled = ".compiled { top: 0 }";
  const SourceMap map(R"({"sources": ["/s/main.scss"], "mappings": "AAAA"})");
  const std::string_view made = ".made { top: 0 }";
  const struct {
    const char* name;
    PageSheetList page;
    std::vector<std::string> listed;  // selector and place
  } cases[] = {
      {"own page",
       {"own:/index.html",
        {{"own:/kit.css", ""}, {"", "\n.own { top: 0 }\n"}, {"own:/main.css", ""}, {"", std::string(made)}, {"other:/x.css", ""}}},
       {".kit kit.css:2", ".own index.html:3", ".compiled main.scss:1", ".made (none)"}},
      {"sample page", {"about:blank", {{"", compiled}}}, {".compiled main.scss:1"}},
      {"no answer", {}, {".compiled main.scss:1"}},
  };
  for (const auto& [name, page, listed] : cases) {
    const PageStyleSheets sheets(page, source, compiled);
    std::vector<std::string> found;
    for (std::size_t i = 0; i < sheets.sheet().rules.size(); ++i) {
      const auto place = sheets.placeOf(i, &map);
      found.push_back(sheets.sheet().rules[i].selectorText + " " + (place ? place->displayName : "(none)"));
    }
    EXPECT_EQ(found, listed) << name;
  }
}

// A naive search of a 4 MB page for a script-made 1 MB sheet takes minutes.
TEST(PageStyleSheetsTest, FindsTextInOnePass) {
  const std::string page(4 << 20, 'a');
  EXPECT_EQ(findText(page, std::string(1 << 20, 'a') + "b"), std::nullopt);
  EXPECT_EQ(findText(page + "ab", std::string(1 << 20, 'a') + "b"), page.size() + 1 - (1 << 20));
  EXPECT_EQ(findText("abcabd", "abd"), 3u);
  EXPECT_EQ(findText("ab", ""), 0u);
}

}  // namespace
}  // namespace fennelview
