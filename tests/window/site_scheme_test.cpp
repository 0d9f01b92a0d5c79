// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/site_scheme.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "site/site_paths.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

class SiteSchemeTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="32" height="16"></svg>)";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"outside/secret.svg", svg},
        {"site/img/logo.svg", svg},
        {"site/css/style.css", "body { color: rgb(255, 0, 0) }"},  // stale: never shown
        {"site/js/util.js", "export const value = 'loaded';"},
        {"site/js/app.mjs",
         "import { value } from './util.js';\n"
         "document.body.dataset.module = value;\n"
         "fetch('/data/info.json').then(r => r.json()).then(j => { document.body.dataset.json = j.name; });\n"
         "for (const url of ['img/leak.svg', 'img/..%2F..%2F..%2Foutside/secret.svg'])\n"
         "  fetch(url).then(r => { document.body.dataset[url.length > 12 ? 'escaped' : 'leak'] = r.status; });\n"},
        {"site/data/info.json", R"({"name": "site"})"},
        {"site/index.html",
         "<!doctype html><meta charset=utf-8><link rel=stylesheet href=css/style.css>"
         "<script type=module src=js/app.mjs></script><img src=/img/logo.svg>"
         "<button onclick='window.clicks = (window.clicks || 0) + 1'>b</button>"}};
    for (const auto& [file, contents] : files) {
      fs::create_directories((dir / file).parent_path());
      writeFile(dir / file, contents);
    }
    fs::create_directories(root / ".git");
    fs::create_symlink("../../outside/secret.svg", root / "img/leak.svg");
    window = GTK_WINDOW(gtk_window_new());
    view = WEBKIT_WEB_VIEW(webkit_web_view_new());
    gtk_window_set_child(window, GTK_WIDGET(view));
    gtk_window_present(window);
  }
  void TearDown() override {
    gtk_window_destroy(window);
    GuiTest::TearDown();
  }

  fs::path root = dir / "site";
  GtkWindow* window = nullptr;
  WebKitWebView* view = nullptr;
};

TEST_F(SiteSchemeTest, PageLoadsItsFilesAndCompiledCssButNothingOutsideTheProjectThenSwapsCssInPlace) {
  auto site = std::make_shared<ServedSite>(root, webRootFor(root / "index.html", root), root / "scss/style.scss");
  site->setCompiledCss("body { color: rgb(0, 128, 0) }");
  SiteScheme::of(webkit_web_view_get_context(view)).serve(site);
  const auto uri = SiteScheme::uriOf(*site, root / "index.html");
  ASSERT_TRUE(uri);
  webkit_web_view_load_uri(view, uri->c_str());

  // The module ran and fetched JSON, the image and the compiled CSS loaded, both ways out got 404.
  const std::string state = "(d => [d.module, d.json, document.images[0].naturalWidth,"
                            " getComputedStyle(document.body).color, d.leak, d.escaped].join())(document.body.dataset)";
  const std::string loaded = "loaded,site,32,rgb(0, 128, 0),404,404";
  EXPECT_EQ(waitForPage(view, state, loaded), loaded);

  evaluate(view, "document.querySelector('button').click()");
  site->setCompiledCss("body { color: rgb(0, 0, 255) }");
  evaluate(view, site->cssSwapScript());
  EXPECT_EQ(waitForPage(view, "getComputedStyle(document.body).color + ' ' + window.clicks", "rgb(0, 0, 255) 1"),
            "rgb(0, 0, 255) 1");
  EXPECT_EQ(evaluate(view, "document.querySelectorAll('link').length"), "1");
}

}  // namespace
}  // namespace fennelview
