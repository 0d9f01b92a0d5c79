// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_pages.hpp"

#include <gtest/gtest.h>

#include "site/project_root.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

std::string linking(const std::string& href) {
  return "<!doctype html><link rel=\"stylesheet\" href=\"" + href + "\"><p>page</p>";
}

class SitePagesTest : public ::testing::Test {
 protected:
  // Writes a file, making its folders.
  fs::path put(const std::string& relative, const std::string& contents = "") {
    const fs::path file = dir / relative;
    fs::create_directories(file.parent_path());
    writeFile(file, contents);
    return file;
  }
  TempDir dir;
};

TEST_F(SitePagesTest, ProjectRootIsTheNearestMarkedFolderButNeverHomeOrSlash) {
  put("home/.git/HEAD");                       // a dotfiles repository in the home folder
  put("home/site/package.json", "{}");
  put("home/site/src/styles/main.scss");
  put("home/repo/.git/HEAD");
  put("home/repo/scss/deep/a.scss");
  put("home/loose/b.scss");
  put("home/c.scss");
  put("elsewhere/d.scss");
  const fs::path home = dir / "home";
  const std::vector<std::pair<std::string, std::optional<fs::path>>> cases = {
      {"home/site/src/styles/main.scss", home / "site"},
      {"home/repo/scss/deep/a.scss", home / "repo"},
      {"home/loose/b.scss", home / "loose"},  // the dotfiles repository above does not count
      {"home/c.scss", std::nullopt},
      {"elsewhere/d.scss", dir / "elsewhere"},
  };
  for (const auto& [document, root] : cases) {
    EXPECT_EQ(projectRootOf(dir / document, home), root) << document;
  }
  EXPECT_EQ(projectRootOf("/top.scss", home), std::nullopt);
}

TEST_F(SitePagesTest, StemsMatchCompiledNamesOfLocalLinksOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"dist/main.min.css", "main"}, {"css/main.css?v=3#x", "main"}, {"/MAIN.CSS", "MAIN"},
      {"a%20b.css", "a b"},          {"main.scss", ""},              {"https://cdn.example/main.css", ""},
      {"//cdn.example/main.css", ""}, {"data:text/css,main.css", ""}, {"theme.min", ""},
  };
  for (const auto& [href, stem] : cases) EXPECT_EQ(stylesheetStem(href), stem) << href;
  EXPECT_EQ(sassStem("scss/main.scss"), "main");
  EXPECT_EQ(sassStem("x/theme.sass"), "theme");
  EXPECT_EQ(sassStem("x/page.html"), "");
}

TEST_F(SitePagesTest, PagesLinkingTheDocumentIndexNearestTheRootFirstSkippingVendorFolders) {
  const fs::path document = put("scss/main.scss");
  put("docs/index.html", linking("../dist/main.min.css"));
  put("about.html", linking("css/main.css"));
  put("a/b/index.html", linking("/css/main.css"));
  put("contact.htm", "<LINK REL=stylesheet HREF=css/main.css>");
  put("other.html", linking("css/other.css"));
  put("cdn.html", linking("https://cdn.example/main.css"));
  put("preload.html", "<link rel=preload href=css/main.css>");
  put("node_modules/x/index.html", linking("main.css"));
  put("vendor/index.html", linking("main.css"));
  put(".cache/index.html", linking("main.css"));
  EXPECT_EQ(findPages(dir.path(), document),
            (std::vector<fs::path>{dir / "docs/index.html", dir / "a/b/index.html", dir / "about.html",
                                   dir / "contact.htm"}));
}

TEST_F(SitePagesTest, SearchStopsAfterTheEntryLimit) {
  const fs::path document = put("main.scss");
  for (std::size_t i = 0; i < maximumProjectEntries; ++i) put("a/" + std::to_string(i) + ".txt");
  put("z/page.html", linking("main.css"));  // reached only after every entry of a/
  EXPECT_TRUE(findPages(dir.path(), document).empty());
}

TEST_F(SitePagesTest, APageOpensWithTheNearestSourceOfItsFirstLinkedStyleSheetThatHasOne) {
  const fs::path libMain = put("lib/main.scss");
  const fs::path siteMain = put("src/scss/main.scss");
  put("src/scss/_theme.scss");
  const fs::path print = put("print.sass");
  put("node_modules/pkg/theme.scss");
  const fs::path page = put("src/index.html",
                            "<link rel=stylesheet href=https://cdn.example/x.css>"
                            "<link rel=stylesheet href=css/theme.css>"  // only a partial and a vendored file
                            "<link rel=stylesheet href=css/main.css><link rel=stylesheet href=print.css>");
  EXPECT_EQ(std::get<fs::path>(documentOfPage(page, dir.path())), siteMain);
  const fs::path rootPage = put("index.html", linking("main.css"));
  EXPECT_EQ(std::get<fs::path>(documentOfPage(rootPage, dir.path())), libMain);
  EXPECT_EQ(std::get<fs::path>(documentOfPage(put("p.html", linking("dist/print.min.css")), dir.path())), print);

  const auto none = documentOfPage(put("plain.html", "<p>no styles"), dir.path());
  const auto unknown = documentOfPage(put("other.html", linking("other.css")), dir.path());
  ASSERT_TRUE(std::holds_alternative<PageProblem>(none));
  ASSERT_TRUE(std::holds_alternative<PageProblem>(unknown));
  EXPECT_EQ(std::get<PageProblem>(none).message, "“plain.html” links no style sheet of its own.");
  EXPECT_EQ(std::get<PageProblem>(unknown).message,
            "No style sheet that “other.html” links has a Sass source in its project.");
}

}  // namespace
}  // namespace fennelview
