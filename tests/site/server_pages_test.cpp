// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/server_pages.hpp"

#include <gtest/gtest.h>

#include "preferences/user_defaults.hpp"
#include "site/page_choice.hpp"
#include "site/project_settings.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

TEST(ServerPagesTest, OnlyHttpAddressesWithAHostAreServersAndTheyAreNamedByHostAndPort) {
  const std::vector<std::tuple<std::string, std::optional<std::string>, std::string>> cases = {
      {"http://localhost:8000", "http://localhost:8000/", "localhost:8000"},
      {"HTTPS://LocalHost/blog/?p=1", "https://localhost/blog/?p=1", "localhost"},
      {"http://[::1]:3000/x", "http://[::1]:3000/x", "[::1]:3000"},
      {"http://", std::nullopt, ""},
      {"ftp://localhost/", std::nullopt, ""},
      {"file:///etc/passwd", std::nullopt, ""},
      {"localhost:8000", std::nullopt, ""},
      {"http://exa mple.com/", std::nullopt, ""}};
  for (const auto& [text, address, name] : cases) {
    EXPECT_EQ(serverAddress(text), address) << text;
    if (address) {
      EXPECT_EQ(serverName(*address), name) << text;
    }
  }
  EXPECT_EQ(serverOrigin("HTTP://127.0.0.1:8000/a/b"), "http://127.0.0.1:8000");
  // A kept address is shown again, never taken for a file that is gone.
  EXPECT_EQ(pageToShow(std::nullopt, "http://localhost:8000/", {}).page, std::filesystem::path("http://localhost:8000/"));
}

TEST(ServerPagesTest, AServersPageIsJudgedByTheStemOfTheStyleSheetsItLinks) {
  const std::string origin = "http://127.0.0.1:8000";
  const std::vector<std::pair<std::string, bool>> cases = {
      {"<link rel=stylesheet href=/static/css/main.css>", true},
      {"<link rel='preload stylesheet' href='dist/main.min.css?v=3'>", true},
      {"<link rel=stylesheet href=http://127.0.0.1:8000/static/main.css>", true},
      {"<link rel=stylesheet href=http://127.0.0.1:8001/static/main.css>", false},
      {"<link rel=stylesheet href=https://cdn.example/main.css>", false},
      {"<link rel=icon href=/main.css>", false},
      {"<!-- <link rel=stylesheet href=/main.css> --><link rel=stylesheet href=/site.css>", false},
      {"<script>'<link rel=stylesheet href=/main.css>'</script>", false}};
  for (const auto& [html, links] : cases) EXPECT_EQ(linksDocumentCss(html, origin, "main"), links) << html;
}

TEST(ServerPagesTest, TemplatesAreKnownByTheirTagsAndOnlyNonSassSavesReload) {
  for (const auto* text : {"<a href=\"{% url 'home' %}\">", "<p>{{ title }}</p>", "<?php echo 1; ?>", "<%= yield %>"}) {
    EXPECT_TRUE(isServerTemplate(text)) << text;
  }
  EXPECT_FALSE(isServerTemplate("<!doctype html><style>a { color: red }</style><p>{ one brace }"));
  for (const auto* file : {"templates/base.html", "app/views.py", "theme/functions.php", "content/post.md"}) {
    EXPECT_TRUE(reloadsServerPage(file)) << file;
  }
  for (const auto* file : {"scss/main.scss", "scss/_colors.sass", "static/css/main.css.map"}) EXPECT_FALSE(reloadsServerPage(file)) << file;
}

TEST(ServerPagesTest, TheFileAServerServesAtALinkIsTheProjectFileEndingWithMostOfItsPath) {
  test::TempDir dir;
  test::writeFiles(dir.path(), {{"app/static/css/main.css", ""}, {"other/css/main.css", ""}, {"main.css", ""},
                                {"node_modules/x/static/css/main.css", ""}, {"theme/style.css", ""}});
  const std::vector<std::pair<std::string, std::optional<std::filesystem::path>>> cases = {
      {"/static/css/main.css?v=2", dir / "app/static/css/main.css"}, {"/assets/main.css", dir / "main.css"},
      {"/wp-content/themes/theme/style.css", dir / "theme/style.css"}, {"/static/css/none.css", std::nullopt},
      {"/static/css/", std::nullopt}};
  for (const auto& [url, file] : cases) EXPECT_EQ(projectFileServedAt(dir.path(), url), file) << url;
}

TEST(ServerPagesTest, AProjectKeepsItsLatestServerAddressesFirstAndFewOfThem) {
  test::TempDir dir;
  UserDefaults defaults(dir / "settings.json");
  for (int port = 8000; port < 8007; ++port) keepServerAddress(defaults, "/p", "http://localhost:" + std::to_string(port) + "/");
  keepServerAddress(defaults, "/p", "http://localhost:8003/");
  EXPECT_EQ(projectSettings(defaults, "/p").serverAddresses,
            (std::vector<std::string>{"http://localhost:8003/", "http://localhost:8006/", "http://localhost:8005/",
                                      "http://localhost:8004/", "http://localhost:8002/"}));
}

}  // namespace
}  // namespace fennelview
