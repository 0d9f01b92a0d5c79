// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/site_pages.hpp"

#include <gtest/gtest.h>

#include "site/page_choice.hpp"
#include "site/project_root.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

std::string linking(const std::string& href) { return "<link rel=\"stylesheet\" href=\"" + href + "\">"; }

class SitePagesTest : public ::testing::Test {
 protected:
  // Writes a file, making its folders.
  fs::path put(const std::string& relative, const std::string& contents = "") {
    writeFile(dir / relative, contents);
    return dir / relative;
  }
  TempDir dir;
};

TEST_F(SitePagesTest, ProjectRootIsTheNearestMarkedFolderButNeverHomeSlashOrAFolderOthersWriteTo) {
  // A dotfiles repository in the home folder does not count, nor a marker in a shared folder.
  for (const auto* file : {"home/.git/HEAD", "home/site/package.json", "home/repo/.git/HEAD", "tmp/.git/HEAD",
                           "tmp/own/x", "open/package.json"}) {
    put(file);
  }
  fs::permissions(dir / "tmp", fs::perms::all | fs::perms::sticky_bit);
  fs::permissions(dir / "open", fs::perms::others_write, fs::perm_options::add);
  const fs::path home = dir / "home";
  const std::vector<std::pair<std::string, std::optional<fs::path>>> cases = {
      {"home/site/src/styles/main.scss", home / "site"}, {"home/repo/scss/deep/a.scss", home / "repo"},
      {"home/loose/b.scss", home / "loose"},             {"home/c.scss", std::nullopt},
      {"elsewhere/d.scss", dir / "elsewhere"},           {"/top.scss", std::nullopt},
      {"tmp/e.scss", std::nullopt},                      {"tmp/own/f.scss", dir / "tmp/own"},
      {"open/g.scss", std::nullopt},
  };
  for (const auto& [document, root] : cases) EXPECT_EQ(projectRootOf(dir / document, home), root) << document;
}

TEST_F(SitePagesTest, StemsMatchCompiledNamesOfLocalLinksOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"dist/main.min.css", "main"}, {"css/main.css?v=3#x", "main"}, {"/MAIN.CSS", "MAIN"},
      {"a%20b.css", "a b"},          {"main.scss", ""},              {"https://cdn.example/main.css", ""},
      {"//cdn.example/main.css", ""}, {"data:text/css,main.css", ""}, {"theme.min", ""},
  };
  for (const auto& [href, stem] : cases) EXPECT_EQ(stylesheetStem(href), stem) << href;
}

TEST_F(SitePagesTest, PagesLinkingTheDocumentIndexNearestTheRootFirstSkippingVendorFoldersAndTheEntryLimit) {
  const fs::path document = put("scss/main.scss");
  put("docs/index.html", linking("../dist/main.min.css"));
  put("about.html", linking("css/main.css"));
  put("a/b/index.html", linking("/css/main.css"));
  put("contact.htm", "<LINK REL=stylesheet HREF=css/main.css>");
  for (const auto& [page, href] : std::vector<std::pair<std::string, std::string>>{
           {"other.html", "other.css"}, {"cdn.html", "https://cdn.example/main.css"},
           {"node_modules/x/index.html", "main.css"}, {"vendor/index.html", "main.css"},
           {".cache/index.html", "main.css"}}) {
    put(page, linking(href));
  }
  put("preload.html", "<link rel=preload href=css/main.css>");
  EXPECT_EQ(findPages(dir.path(), document), (std::vector<fs::path>{dir / "docs/index.html", dir / "a/b/index.html",
                                                                    dir / "about.html", dir / "contact.htm"}));
  for (std::size_t i = 0; i < maximumProjectEntries; ++i) put("a/" + std::to_string(i) + ".txt");
  EXPECT_EQ(findPages(dir.path(), document), (std::vector<fs::path>{dir / "about.html", dir / "contact.htm"}));
}

TEST_F(SitePagesTest, APageOpensWithTheNearestSourceOfItsFirstLinkedStyleSheetThatHasOne) {
  const fs::path libMain = put("lib/main.scss");
  const fs::path siteMain = put("src/scss/main.scss");
  const fs::path print = put("print.sass");
  put("src/scss/_theme.scss");
  put("src/main.css");  // compiled output, nearer than any source
  put("node_modules/pkg/theme.scss");
  const fs::path page = put("src/index.html",
                            "<link rel=stylesheet href=https://cdn.example/x.css>"
                            "<link rel=stylesheet href=css/theme.css>"  // only a partial and a vendored file
                            "<link rel=stylesheet href=css/main.css><link rel=stylesheet href=print.css>");
  EXPECT_EQ(std::get<fs::path>(documentOfPage(page, dir.path())), siteMain);
  EXPECT_EQ(std::get<fs::path>(documentOfPage(put("index.html", linking("main.css")), dir.path())), libMain);
  EXPECT_EQ(std::get<fs::path>(documentOfPage(put("p.html", linking("dist/print.min.css")), dir.path())), print);
  EXPECT_EQ(std::get<PageProblem>(documentOfPage(put("plain.html", "<p>no styles"), dir.path())).message,
            "“plain.html” links no style sheet of its own.");
  EXPECT_EQ(std::get<PageProblem>(documentOfPage(put("other.html", linking("other.css")), dir.path())).message,
            "No style sheet that “other.html” links has a Sass source in its project.");
  EXPECT_TRUE(std::get<PageProblem>(documentOfPage(put("base.html", linking("{% static 'main.css' %}")), dir.path()))
                  .message.starts_with("A server makes the page from “base.html”"));
}

TEST_F(SitePagesTest, ThePageShownIsTheOneAskedForElseTheKeptOneWhileItIsThereElseTheFirstFound) {
  const fs::path kept = put("site/about.html"), first = dir / "site/index.html", gone = dir / "site/old.html";
  using Asked = std::optional<std::optional<fs::path>>;
  const struct {
    const char* rule;
    Asked asked;
    std::optional<std::string> kept;
    std::vector<fs::path> found;
    PageChoice shown;
  } cases[] = {
      {"asked for", Asked(first), kept.string(), {kept}, {first, std::nullopt}},
      {"the sample page asked for", Asked(std::optional<fs::path>()), kept.string(), {first}, {}},
      {"kept", std::nullopt, kept.string(), {first}, {kept, std::nullopt}},
      {"the sample page kept", std::nullopt, "", {first}, {}},
      {"kept but gone: told, and the sample page", std::nullopt, gone.string(), {first}, {std::nullopt, gone}},
      {"nothing kept", std::nullopt, std::nullopt, {first, kept}, {first, std::nullopt}},
      {"nothing found", std::nullopt, std::nullopt, {}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(pageToShow(c.asked, c.kept, c.found), c.shown) << c.rule;

  put("home/.git/HEAD");
  EXPECT_EQ(servingRootOf(dir / "home/loose/page.html", dir / "home"), dir / "home/loose");
  EXPECT_EQ(servingRootOf(dir / "home/page.html", dir / "home"), std::nullopt);
  EXPECT_EQ(servingRootOf("/page.html", dir / "home"), std::nullopt);
}

}  // namespace
}  // namespace fennelview
