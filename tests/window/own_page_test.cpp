// SPDX-License-Identifier: GPL-3.0-or-later
// A document shown on the user's own page: real project folders, the real compiler, real saves.
#include <gtest/gtest.h>

#include "app/document_controller.hpp"
#include "gui_test_support.hpp"
#include "site/kept_page.hpp"
#include "site/project_settings.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

using OwnPageTest = GuiTest;

TEST_F(OwnPageTest, PageShowsCompiledCssKeepsStateAcrossSavesAndReloadsOnItsOwnChanges) {
  const fs::path root = dir / "site";
  const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="32" height="16"></svg>)";
  const std::string page =
      "<!doctype html><meta charset=utf-8><link rel=stylesheet href=css/style.css>"
      "<script type=module src=js/app.mjs></script><img src=/img/logo.svg>"
      "<button onclick='window.clicks = (window.clicks || 0) + 1'>b</button><div style='height: 5000px'></div>";
  writeFiles(dir.path(), {{"outside/secret.svg", svg}, {"site/img/logo.svg", svg}, {"site/.git/HEAD", ""},
                          {"site/css/style.css", "body { color: rgb(255, 0, 0) }"},  // stale: never shown
                          {"site/scss/style.scss", "@import 'colors';\nbody { color: $text; }\n"},
                          {"site/scss/_colors.scss", "$text: rgb(0, 128, 0);\n"},
                          {"site/js/util.js", "export const value = 'loaded';"},
                          {"site/data/info.json", R"({"name": "site"})"}, {"site/index.html", page}});
  writeFile(root / "js/app.mjs",
            "import { value } from './util.js';\n"
            "document.body.dataset.module = value;\n"
            "fetch('/data/info.json').then(r => r.json()).then(j => { document.body.dataset.json = j.name; });\n"
            "for (const url of ['img/leak.svg', 'img/..%2F..%2F..%2Foutside/secret.svg'])\n"
            "  fetch(url).then(r => { document.body.dataset[url.length > 12 ? 'escaped' : 'leak'] = r.status; });\n");
  fs::create_symlink("../../outside/secret.svg", root / "img/leak.svg");

  auto window = open(root / "scss/style.scss", root / "index.html");
  auto& view = window->renderViewController();
  EXPECT_EQ(view.shownPage(), root / "index.html");
  EXPECT_EQ(keptPage(settings, (root / "scss/style.scss").string()), (root / "index.html").string());
  // The module ran and fetched JSON, the image and the compiled CSS loaded, both ways out got 404.
  const std::string state = "(d => [d.module, d.json, document.images[0].naturalWidth,"
                            " getComputedStyle(document.body).color, d.leak, d.escaped].join())(document.body.dataset)";
  const std::string loaded = "loaded,site,32,rgb(0, 128, 0),404,404";
  EXPECT_EQ(waitForPage(view.webView(), state, loaded), loaded);

  // A partial saved by rename puts the CSS in place, as a <style> where the link stood: the
  // script's state stays.
  evaluate(view.webView(), "document.querySelector('button').click()");
  writeFileByRename(root / "scss/_colors.scss", "$text: rgb(0, 0, 255);\n");
  const std::string colourAndClicks = "getComputedStyle(document.body).color + ' ' + window.clicks";
  EXPECT_EQ(waitForPage(view.webView(), colourAndClicks, "rgb(0, 0, 255) 1"), "rgb(0, 0, 255) 1");
  EXPECT_EQ(evaluate(view.webView(), "document.querySelectorAll('meta + style').length + ',' + document.querySelectorAll('link').length"), "1,0");

  // An error shows over the page, which keeps the last CSS that compiled.
  writeFileByRename(root / "scss/_colors.scss", "$text: rgb(0, 0, 255)\n{{{\n");
  runUntil([&] { return !view.errorPanelText().empty(); }, std::chrono::seconds(20));
  EXPECT_NE(view.errorPanelText(), "");
  EXPECT_EQ(evaluate(view.webView(), colourAndClicks), "rgb(0, 0, 255) 1");
  writeFileByRename(root / "scss/_colors.scss", "$text: rgb(0, 128, 0);\n");
  EXPECT_EQ(waitForPage(view.webView(), colourAndClicks, "rgb(0, 128, 0) 1"), "rgb(0, 128, 0) 1");
  EXPECT_EQ(view.errorPanelText(), "");

  // An edit of the page itself shows without any action: the page reloads where it was scrolled.
  evaluate(view.webView(), "window.scrollTo(0, 400)");
  writeFile(root / "index.html", page + "<p id=added>");
  EXPECT_EQ(waitForPage(view.webView(), "String(!!document.getElementById('added'))", "true"), "true");
  EXPECT_EQ(waitForPage(view.webView(), "String(window.scrollY)", "400"), "400");
  EXPECT_EQ(waitForPage(view.webView(), "getComputedStyle(document.body).color", "rgb(0, 128, 0)"), "rgb(0, 128, 0)");

  view.pageSize().zoom(1);  // kept beside the page, which stays
  EXPECT_EQ(keptPage(settings, (root / "scss/style.scss").string()), (root / "index.html").string());
}

TEST_F(OwnPageTest, DocumentFindsItsPageAndPagesOpenWithTheirDocument) {
  const fs::path root = dir / "app";
  writeFiles(root, {{"package.json", "{}"}, {"src/styles/main.scss", "@import 'kit';\nh1 { color: $c; }\n"},
                    {"lib/_kit.scss", "$c: rgb(0, 0, 255);\n"}, {"dist/main.min.css", "h1 { color: rgb(255, 0, 0) }"},
                    {"index.html", "<!doctype html><link rel=stylesheet href=dist/main.min.css><h1>Hi</h1><a href=x.html>"},
                    {"x.html", "<!doctype html><p>x"}, {"plain.html", "<!doctype html><p>no style"}, {"notes.txt", "text"}});
  const fs::path document = root / "src/styles/main.scss";
  // The kit is found through a load path kept for the project.
  setProjectSettings(defaults, root, {{"lib"}, {}, {}});

  auto window = open(document);
  EXPECT_EQ(window->renderViewController().shownPage(), root / "index.html");
  const std::string colour = "getComputedStyle(document.querySelector('h1')).color";
  EXPECT_EQ(waitForPage(window->renderViewController().webView(), colour, "rgb(0, 0, 255)"), "rgb(0, 0, 255)");
  // A link followed within the site: the page shown is the one the Page menu ticks.
  evaluate(window->renderViewController().webView(), "document.querySelector('a').click()");
  EXPECT_TRUE(runUntil([&] { return window->renderViewController().shownPage() == root / "x.html"; }));
  close(window);

  // A page opens with its document; other files are refused, never compiled.
  const auto openFile = [&](const fs::path& file) {
    GObjectPtr<GFile> gfile(g_file_new_for_path(file.c_str()));
    return DocumentController::openDocument(gfile.get(), nullptr, settings);
  };
  EXPECT_EQ(openFile(root / "plain.html"), nullptr);
  EXPECT_EQ(openFile(root / "notes.txt"), nullptr);
  window = open(root / "index.html");
  EXPECT_EQ(window->sassDocument()->path(), document.string());
  EXPECT_EQ(window->renderViewController().shownPage(), root / "index.html");
  close(window);

  // A kept page that is gone falls back to the sample page.
  fs::remove(root / "index.html");
  window = open(document);
  EXPECT_EQ(window->renderViewController().shownPage(), std::nullopt);
}

TEST_F(OwnPageTest, TheInspectorOpensOnThePreviewWhoseCssNamesAMapWithTheSassFilesAndTheirText) {
  const fs::path root = dir / "site";
  const std::string partial = ".btn {\n  color: rgb(0, 0, 255);\n}\n";
  writeFiles(root, {{".git/HEAD", ""}, {"scss/main.scss", "@import 'buttons';\nbody { margin: 0; }\n"},
                    {"scss/_buttons.scss", partial},
                    {"index.html", "<!doctype html><link rel=stylesheet href=css/main.css><button class=btn>b</button>"}});
  auto window = open(root / "scss/main.scss", root / "index.html");
  auto* view = window->renderViewController().webView();
  const std::string colour = "getComputedStyle(document.querySelector('.btn')).color";
  ASSERT_EQ(waitForPage(view, colour, "rgb(0, 0, 255)"), "rgb(0, 0, 255)");
  // The open inspector has the document compiled once more with a map.
  EXPECT_TRUE(webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view)));
  WebKitWebInspector* inspector = webkit_web_view_get_inspector(view);
  EXPECT_FALSE(window->sassDocument()->parsingResult().value().output().sourceMap);
  // Opened right after a save: the map is the save's.
  writeFileByRename(root / "scss/_buttons.scss", "\n" + partial);
  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.show-inspector", nullptr));
  EXPECT_TRUE(runUntil([&] { return webkit_web_inspector_get_web_view(inspector) != nullptr; }, std::chrono::seconds(20)));
  ASSERT_TRUE(runUntil([&] { return window->sassDocument()->parsingResult().value().output().sourceMap != nullptr; }));
  // The map as the inspector reads it: the full URL that ends the CSS put in the link's place, at
  // the CSS's version.
  ASSERT_EQ(waitForPage(view, "String(/sourceMappingURL/.test(document.querySelector('style')?.textContent))", "true"), "true");
  evaluate(view, R"(const style = document.querySelector('style');
    const url = new URL(/sourceMappingURL=(\S+) \*\/\s*$/.exec(style.textContent)[1]);
    fetch(url).then(r => r.json()).then(map => {
      const at = map.sources.findIndex(s => s.endsWith('/scss/_buttons.scss'));
      document.body.dataset.map = [url.search === new URL(style.dataset.fennelviewHref).search,
                                   new URL(map.sources[at], url).href === location.origin + '/scss/_buttons.scss',
                                   map.sourcesContent[at]].join('|');
    }).catch(e => { document.body.dataset.map = e; }); 1)");
  EXPECT_EQ(waitForPage(view, "String(document.body.dataset.map)", "true|true|\n" + partial), "true|true|\n" + partial);
  const auto title = [&] {
    auto* root = webkit_web_inspector_get_web_view(inspector) ? gtk_widget_get_root(GTK_WIDGET(webkit_web_inspector_get_web_view(inspector))) : nullptr;
    return std::string(GTK_IS_WINDOW(root) ? gtk_window_get_title(GTK_WINDOW(root)) ?: "" : "");
  };
  EXPECT_TRUE(runUntil([&] { return !title().empty(); }, std::chrono::seconds(30)));
  // Detached, in a window titled by the page and the document, not by the site's random origin.
  webkit_web_inspector_detach(inspector);
  EXPECT_TRUE(runUntil([&] { return title() == "Web Inspector \u2014 index.html \u2014 main.scss"; }, std::chrono::seconds(20))) << title();
  webkit_web_inspector_close(inspector);
}

TEST_F(OwnPageTest, APageReadsItsOwnSiteButNoOtherOpenProject) {
  for (const auto* name : {"a", "b"}) {
    writeFiles(dir / name, {{".git/HEAD", ""}, {"scss/main.scss", "p { color: rgb(0, 0, 255); }\n"}, {"secret.txt", name},
                            {"index.html", "<!doctype html><link rel=stylesheet href=css/main.css><p>x"}});
  }
  WebKitWebView* views[2];
  for (int i = 0; i < 2; ++i) {
    const fs::path root = dir / (i ? "b" : "a");
    views[i] = open(root / "scss/main.scss", root / "index.html")->renderViewController().webView();
    ASSERT_EQ(waitForPage(views[i], "getComputedStyle(document.querySelector('p')).color", "rgb(0, 0, 255)"),
              "rgb(0, 0, 255)");
  }
  const auto other = evaluate(views[1], "location.origin");
  ASSERT_TRUE(other && other->starts_with("fennelview-site://")) << other.value_or("");
  EXPECT_NE(evaluate(views[0], "location.origin"), other);
  // Its own file, then the other project's file, CSS and map, each read or refused.
  evaluate(views[0], "Promise.all(['/secret.txt', '" + *other + "/secret.txt', '" + *other + "/css/main.css', '" +
                         *other + "/css/main.css.map'].map(url => fetch(url).then(r => r.text(), e => e.name)))"
                         ".then(all => { document.body.dataset.read = all.join('|'); }); 1");
  const std::string expected = "a|TypeError|TypeError|TypeError";
  EXPECT_EQ(waitForPage(views[0], "String(document.body.dataset.read)", expected), expected);
}

TEST_F(OwnPageTest, AnImportFoundUnderNodeModulesIsOfferedAsTheProjectsLoadPathInOneClick) {
  const fs::path root = dir / "npm";
  writeFiles(root, {{"package.json", "{}"}, {"node_modules/foundation-sites/scss/_foundation.scss", "$c: rgb(0, 0, 255);\n"},
                    {"main.scss", "@import 'foundation';\nh1 { color: $c; }\n"},
                    {"index.html", "<!doctype html><link rel=stylesheet href=main.css><h1>Hi</h1>"}});
  auto window = open(root / "main.scss");
  auto& view = window->renderViewController();
  const fs::path folder = "node_modules/foundation-sites/scss";
  ASSERT_TRUE(runUntil([&] { return view.offeredLoadPath() == folder; }, std::chrono::seconds(20)));
  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "page.add-load-path", "s", folder.c_str()));
  EXPECT_EQ(projectSettings(defaults, root).loadPaths, std::vector<std::string>{folder.string()});
  const std::string colour = "getComputedStyle(document.querySelector('h1')).color";
  EXPECT_EQ(waitForPage(view.webView(), colour, "rgb(0, 0, 255)"), "rgb(0, 0, 255)");
}

TEST_F(OwnPageTest, AnOwnPageStuckInItsScriptIsEndedSoAnotherProjectsSaveShowsWithinTheLimit) {
  for (const auto* name : {"stuck", "well"}) {
    writeFiles(dir / name, {{".git/HEAD", ""}, {"main.scss", "h1 { color: rgb(0, 0, 1); }"},
                            {"index.html", "<!doctype html><link rel=stylesheet href=main.css><h1>Hi</h1>"}});
  }
  writeFile(dir / "stuck/index.html", "<!doctype html><h1>Hi</h1><script>setTimeout(() => { for (;;) {} }, 300)</script>");
  auto stuck = open(dir / "stuck/main.scss", dir / "stuck/index.html");
  auto well = open(dir / "well/main.scss", dir / "well/index.html");
  auto* view = well->renderViewController().webView();
  const std::string colour = "getComputedStyle(document.querySelector('h1')).color";
  ASSERT_EQ(waitForPage(view, colour, "rgb(0, 0, 1)"), "rgb(0, 0, 1)");
  runFor(std::chrono::milliseconds(500));
  const auto saved = std::chrono::steady_clock::now();
  writeFile(dir / "well/main.scss", "h1 { color: rgb(0, 0, 2); }");
  EXPECT_EQ(waitForPage(view, colour, "rgb(0, 0, 2)"), "rgb(0, 0, 2)");
  EXPECT_LT(std::chrono::steady_clock::now() - saved, std::chrono::seconds(15));
}

}  // namespace
}  // namespace fennelview
