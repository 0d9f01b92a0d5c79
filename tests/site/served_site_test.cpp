// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/served_site.hpp"

#include <gtest/gtest.h>

#include "preferences/user_defaults.hpp"
#include "site/project_settings.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

TEST(ServedSiteTest, LinksToTheCompiledCssPointAtItInMemoryWithItsVersionOtherFilesComeFromDisk) {
  TempDir dir;
  fs::create_directories(dir / "css");
  writeFile(dir / "css/main.css", "body { color: red }");  // stale, never served
  writeFile(dir / "css/other.css", "p {}");
  writeFile(dir / "index.html", "");
  ServedSite site(dir.path(), dir.path(), dir / "scss/main.scss");
  site.setCompiledCss("body { color: green }");
  EXPECT_EQ(site.servedPage("<link rel=stylesheet href=\"../css/main.css\">"
                            "<LINK REL=stylesheet HREF=/dist/main.min.css>"
                            "<link rel=stylesheet href='other.css'><link rel=preload href=main.css>",
                            "/blog/post.html"),
            "<link rel=stylesheet href=\"/css/main.css?v=1\"><LINK REL=stylesheet HREF=\"/dist/main.min.css?v=1\">"
            "<link rel=stylesheet href='other.css'><link rel=preload href=main.css>");
  for (const auto* url : {"/css/main.css", "/css/../css/main.css", "/dist/main.min.css"}) {
    const SiteAnswer answer = site.answer(url);
    ASSERT_TRUE(std::holds_alternative<SiteText>(answer)) << url;
    EXPECT_EQ(std::get<SiteText>(answer).body + std::get<SiteText>(answer).contentType,
              "body { color: green }text/css");
  }
  EXPECT_EQ(site.setCompiledCss("body { color: blue }"), 2u);
  EXPECT_EQ(std::get<SiteText>(site.answer("/css/main.css")).body, "body { color: blue }");

  const auto other = std::get<SiteFile>(site.answer("/css/other.css"));
  EXPECT_EQ(other.file, fs::canonical(dir / "css/other.css"));
  EXPECT_FALSE(other.isPage);
  EXPECT_TRUE(std::get<SiteFile>(site.answer("/")).isPage);
  EXPECT_EQ(site.urlPathOf(dir / "blog/a b.html"), "/blog/a%20b.html");
  EXPECT_EQ(site.urlPathOf(dir / "../x.html"), std::nullopt);
}

TEST(ServedSiteTest, ProjectSettingsKeptPerRootUnderOneKey) {
  TempDir dir;
  UserDefaults defaults(dir / "settings.json");
  const ProjectSettings chosen{{"node_modules/foundation-sites/scss"}, fs::path("public")};
  setProjectSettings(defaults, "/p/one", chosen);
  EXPECT_EQ(projectSettings(UserDefaults(dir / "settings.json"), "/p/one"), chosen);
  EXPECT_EQ(projectLoadPaths({{"scss/", "/opt/kit"}, {}}, "/p/one"),
            (std::vector<std::string>{"/p/one/scss/", "/opt/kit"}));
  EXPECT_EQ(defaults.objectForKey("project:/p/one"),
            (nlohmann::json{{"loadPaths", {"node_modules/foundation-sites/scss"}}, {"webRoot", "public"}}));
  defaults.setObject(nlohmann::json{{"loadPaths", "not a list"}, {"webRoot", 3}}, "project:/p/two");
  EXPECT_EQ(projectSettings(defaults, "/p/two"), ProjectSettings{});
  setProjectSettings(defaults, "/p/one", {});
  EXPECT_EQ(defaults.objectForKey("project:/p/one"), std::nullopt);
}

}  // namespace
}  // namespace fennelview
