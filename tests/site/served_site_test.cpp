// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/served_site.hpp"

#include <gtest/gtest.h>

#include "compile/source_map.hpp"
#include "preferences/user_defaults.hpp"
#include "preferences/settings.hpp"
#include "site/project_settings.hpp"
#include "site/served_source_map.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

TEST(ServedSiteTest, LinksToTheCompiledCssPointAtItInMemoryWithItsVersionAndItsMapOtherFilesComeFromDisk) {
  TempDir dir;
  writeFile(dir / "css/main.css", "body { color: red }");  // stale, never served
  writeFile(dir / "css/other.css", "p {}");
  writeFile(dir / "index.html", "");
  ServedSite site(dir.path(), dir.path(), dir / "scss/main.scss");
  site.setCompiledCss("body { color: green }");
  EXPECT_EQ(site.servedPage("<link rel=stylesheet href=\"../css/main.css\">"
                            "<LINK HREF=/dist/main.min.css REL=stylesheet>"
                            "<link rel=stylesheet href='other.css'><link rel=preload href=main.css>",
                            "/blog/post.html"),
            "<link rel=stylesheet href=\"/css/main.css?v=1\"><LINK HREF=\"/dist/main.min.css?v=1\" REL=stylesheet>"
            "<link rel=stylesheet href='other.css'><link rel=preload href=main.css>");
  EXPECT_EQ(site.linkedCssFile(), dir / "css/main.css");
  // A page that links none of it gets it after its own sheets.
  EXPECT_EQ(site.servedPage("<link rel=stylesheet href=other.css>", "/plain.html"),
            "<link rel=stylesheet href=other.css>\n<link rel=\"stylesheet\" href=\"/fennelview-compiled/main.css?v=1\">\n");
  EXPECT_TRUE(site.cssAddedTo("/plain.html") && !site.cssAddedTo("/blog/post.html"));
  EXPECT_EQ(std::get<SiteText>(site.answer("/fennelview-compiled/main.css")).body, "body { color: green }");
  for (const auto* url : {"/css/main.css", "/css/../css/main.css", "/dist/main.min.css"}) {
    const SiteAnswer answer = site.answer(url);
    ASSERT_TRUE(std::holds_alternative<SiteText>(answer)) << url;
    EXPECT_EQ(std::get<SiteText>(answer).body + std::get<SiteText>(answer).contentType,
              "body { color: green }text/css");
  }
  EXPECT_EQ(site.setCompiledCss("body { color: blue }"), 2u);
  EXPECT_EQ(std::get<SiteText>(site.answer("/css/main.css")).body, "body { color: blue }");
  EXPECT_TRUE(std::holds_alternative<SiteRefusal>(site.answer("/css/main.css.map")));
  // With a map, the CSS names it beside itself at the same version; the map comes from memory.
  writeFile(dir / "css/_parts.scss", "a {}");
  site.setCompiledCss("a {}", std::make_shared<const SourceMap>(R"({"sources": ["../css/_parts.scss"]})", dir / "out"));
  EXPECT_EQ(std::get<SiteText>(site.answer("/dist/main.min.css")).body,
            "a {}\n/*# sourceMappingURL=main.min.css.map?v=3 */\n");
  const auto map = std::get<SiteText>(site.answer("/css/main.css.map"));
  EXPECT_EQ(map.contentType, "application/json");
  EXPECT_EQ(nlohmann::json::parse(map.body)["sourcesContent"], nlohmann::json::array({"a {}"}));
  // Sources are named within the site, never by where the project lies.
  EXPECT_EQ(nlohmann::json::parse(map.body)["sources"], nlohmann::json::array({"/css/_parts.scss"}));
  ServedSite inPublic(dir.path(), dir / "public", dir / "scss/main.scss");
  for (const auto& [source, url] : {std::pair{"public/a b.scss", "/a%20b.scss"}, {"scss/_c.scss", "/scss/_c.scss"},
                                    {"../kit/_grid.scss", "/.outside/_grid.scss"}}) {
    EXPECT_EQ(inPublic.sourceUrlOf(dir / source), url) << source;
  }
  site.setCompiledCss("b {}\n", std::make_shared<const SourceMap>(R"({"sources": []})"));
  EXPECT_EQ(std::get<SiteText>(site.answer("/css/main.css")).body, "b {}\n/*# sourceMappingURL=main.css.map?v=4 */\n");
  EXPECT_EQ(std::get<SiteText>(site.answer("/css/main.css.map")).body.find("_parts"), std::string::npos);

  const auto other = std::get<SiteFile>(site.answer("/css/other.css"));
  EXPECT_EQ(other.file, fs::canonical(dir / "css/other.css"));
  EXPECT_FALSE(other.isPage);
  EXPECT_TRUE(std::get<SiteFile>(site.answer("/")).isPage);
  EXPECT_EQ(site.urlPathOf(dir / "blog/a b.html"), "/blog/a%20b.html");
  EXPECT_EQ(site.urlPathOf(dir / "../x.html"), std::nullopt);
}

TEST(ServedSiteTest, AServedMapNamesEachSourceByUrlWithTheTextOfTheStyleSheetsItNamesWithinABudget) {
  TempDir dir;
  writeFile(dir / "_a.scss", "$a: 1;");
  writeFile(dir / "big.scss", std::string(40, 'x'));
  writeFile(dir / "notes.txt", "secret");
  writeFile(dir / "_latin.scss", "caf\xE9");
  const std::string a = "/_a.scss";
  using Json = nlohmann::json;
  // The map as the compiler wrote it, with sources relative to where it wrote the map; what the page is served.
  const std::pair<std::string, std::optional<Json>> cases[] = {
      {R"({"version": 3, "sourceRoot": "", "sources": ["_a.scss", "notes.txt", "big.scss", "gone.scss", "sass:math", "_latin.scss"]})",
       Json{{"version", 3}, {"file", "main.css"},
            {"sources", {a, "/notes.txt", "/big.scss", "/gone.scss", "sass:math", "/_latin.scss"}},
            {"sourcesContent", {"$a: 1;", nullptr, nullptr, nullptr, nullptr, "caf\uFFFD"}}}},
      // Text the compiler gave stays, and the file is not read for it.
      {R"({"sources": [")" + (dir / "_a.scss").string() + R"(", "file:///nowhere/_b.scss"], "sourcesContent": ["given", "b"]})",
       Json{{"file", "main.css"}, {"sources", {a, "/_b.scss"}}, {"sourcesContent", {"given", "b"}}}},
      {"[1]", std::nullopt}, {"{", std::nullopt},
  };
  const auto urlOf = [&](const fs::path& source) { return "/" + source.filename().string(); };
  for (const auto& [text, expected] : cases) {
    const auto served = servedSourceMap(SourceMap(text, dir.path()), "main.css", urlOf, 20);
    EXPECT_EQ(served ? std::optional<Json>(Json::parse(*served)) : std::nullopt, expected) << text;
  }
}

TEST(ServedSiteTest, ProjectSettingsKeptPerRootUnderOneKey) {
  TempDir dir;
  UserDefaults defaults(dir / "settings.json");
  const ProjectSettings chosen{{"node_modules/foundation-sites/scss"}, fs::path("public"), {}};
  setProjectSettings(defaults, "/p/one", chosen);
  EXPECT_EQ(projectSettings(UserDefaults(dir / "settings.json"), "/p/one"), chosen);
  EXPECT_EQ(projectLoadPaths({{"scss/", "/opt/kit"}, {}, {}}, "/p/one"),
            (std::vector<std::string>{"/p/one/scss/", "/opt/kit"}));
  EXPECT_EQ(defaults.objectForKey("project:/p/one"),
            (nlohmann::json{{"loadPaths", {"node_modules/foundation-sites/scss"}}, {"webRoot", "public"}}));
  defaults.setObject(nlohmann::json{{"loadPaths", "not a list"}, {"webRoot", 3}}, "project:/p/two");
  EXPECT_EQ(projectSettings(defaults, "/p/two"), ProjectSettings{});
  setProjectSettings(defaults, "/p/one", {});
  EXPECT_EQ(defaults.objectForKey("project:/p/one"), std::nullopt);

  // Added and removed by hand: under the root as a relative entry, once, and the documents hear of it.
  Settings settings(dir / "other.json");
  int told = 0;
  const auto observation = settings.observe(Settings::Entry::loadPaths, [&] { ++told; });
  for (const char* folder : {"/p/one/node_modules/kit/scss", "/opt/kit", "/p/one/node_modules/kit/scss/", "/p/oneself"}) {
    addProjectLoadPath(settings, "/p/one", folder);
  }
  EXPECT_EQ(projectSettings(settings.store(), "/p/one").loadPaths,
            (std::vector<std::string>{"node_modules/kit/scss", "/opt/kit", "/p/oneself"}));
  removeProjectLoadPath(settings, "/p/one", "/opt/kit");
  removeProjectLoadPath(settings, "/p/one", "/absent");
  EXPECT_EQ(projectSettings(settings.store(), "/p/one").loadPaths, (std::vector<std::string>{"node_modules/kit/scss", "/p/oneself"}));
  EXPECT_EQ(told, 4);
}

}  // namespace
}  // namespace fennelview
