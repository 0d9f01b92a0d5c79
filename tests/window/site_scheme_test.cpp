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
    for (const auto* folder : {"outside", "site/.git", "site/css", "site/img", "site/js", "site/data"}) {
      fs::create_directories(dir / folder);
    }
    const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="32" height="16"><rect width="32" height="16"/></svg>)";
    writeFile(dir / "outside/secret.svg", svg);
    writeFile(root / "img/logo.svg", svg);
    fs::create_symlink("../../outside/secret.svg", root / "img/leak.svg");
    writeFile(root / "css/style.css", "body { color: rgb(255, 0, 0) }");  // stale: never shown
    writeFile(root / "js/util.js", "export const value = 'loaded';");
    writeFile(root / "js/app.mjs",
              "import { value } from './util.js';\n"
              "document.body.dataset.module = value;\n"
              "fetch('/data/info.json').then(r => r.json()).then(j => { document.body.dataset.json = j.name; });\n"
              "for (const url of ['img/leak.svg', 'img/..%2F..%2F..%2Foutside/secret.svg'])\n"
              "  fetch(url).then(r => { document.body.dataset[url.length > 12 ? 'escaped' : 'leak'] = r.status; });\n");
    writeFile(root / "data/info.json", R"({"name": "site"})");
    writeFile(root / "index.html",
              "<!doctype html><html><head><meta charset=utf-8><link rel=stylesheet href=css/style.css>"
              "<script type=module src=js/app.mjs></script></head><body>"
              "<img id=logo src=/img/logo.svg><img id=leak src=img/leak.svg>"
              "<img id=escaped src=img/..%2F..%2F..%2Foutside/secret.svg>"
              "<button id=b onclick='window.clicks = (window.clicks || 0) + 1'>b</button></body></html>");
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
  auto& scheme = SiteScheme::of(webkit_web_view_get_context(view));
  scheme.serve(site);
  const auto uri = SiteScheme::uriOf(*site, root / "index.html");
  ASSERT_TRUE(uri);
  webkit_web_view_load_uri(view, uri->c_str());

  EXPECT_EQ(waitForPage(view, "document.body.dataset.module + ' ' + document.body.dataset.json", "loaded site"),
            "loaded site");
  EXPECT_EQ(waitForPage(view, "document.getElementById('logo').naturalWidth", "32"), "32");
  EXPECT_EQ(waitForPage(view, "getComputedStyle(document.body).color", "rgb(0, 128, 0)"), "rgb(0, 128, 0)");
  EXPECT_EQ(waitForPage(view, "document.body.dataset.leak + ' ' + document.body.dataset.escaped", "404 404"),
            "404 404");
  EXPECT_EQ(waitForPage(view,
                        "['leak', 'escaped'].map(id => document.getElementById(id))"
                        ".map(i => i.complete + ':' + i.naturalWidth).join()",
                        "true:0,true:0"),
            "true:0,true:0");

  evaluate(view, "document.getElementById('b').click()");
  site->setCompiledCss("body { color: rgb(0, 0, 255) }");
  evaluate(view, site->cssSwapScript());
  EXPECT_EQ(waitForPage(view, "getComputedStyle(document.body).color + ' ' + window.clicks", "rgb(0, 0, 255) 1"),
            "rgb(0, 0, 255) 1");
  EXPECT_EQ(evaluate(view, "document.querySelectorAll('link').length"), "1");
}

}  // namespace
}  // namespace fennelview
