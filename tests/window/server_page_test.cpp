// SPDX-License-Identifier: GPL-3.0-or-later
// A document shown on the page a real local server makes: real saves, a real server stopped and
// started again, the search for a server on the loopback.
#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "page_server.hpp"
#include "site/project_settings.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

using ServerPageTest = GuiTest;

// Records the body's colour at every frame from before the style sheet is parsed.
const std::string kTemplate =
    "<!doctype html><head><script>window.seen = new Set(); (function frame() { if (document.body)"
    " seen.add(getComputedStyle(document.body).color); requestAnimationFrame(frame); })();</script>"
    "<link rel=stylesheet href=\"{% static 'css/site.css' %}\"><link rel=stylesheet href=\"{% static 'css/main.css' %}\">"
    // As Vite's client adds the document's CSS, and later updates the element it made.
    "<script>const vite = document.createElement('style'); vite.setAttribute('data-vite-dev-id', '/p/scss/main.scss');"
    " vite.textContent = 'body { color: rgb(255, 0, 0) }'; document.head.append(vite);"
    " setTimeout(() => { vite.textContent = 'body { color: rgb(255, 0, 0) }'; }, 50);</script>"
    "</head><body><p id=marker>{{ marker }}</p>"
    "<script src=\"{% static 'js/counter.js' %}\"></script><div style='height: 5000px'></div>";

void writeProject(const fs::path& root) {
  writeFiles(root, {{".git/HEAD", ""}, {"scss/main.scss", "@import 'colors';\nbody { color: $text; }\n#marker { padding: 0; }\n"},
                    {"scss/_colors.scss", "$text: rgb(0, 128, 0);\n"}, {"templates/base.html", kTemplate},
                    {"app/views.py", "# views\n"}, {"app/static/css/main.css", "body { color: rgb(255, 0, 0) }"},
                    {"app/static/css/site.css", "p {\n  margin: 0;\n}\n#marker { font-weight: bold; }\n"}});
}

std::string addressOf(const PageServer& server) { return "http://127.0.0.1:" + std::to_string(server.port()) + "/"; }

TEST_F(ServerPageTest, AServersPageShowsTheCompiledCssLiveAndComesBackWhenTheServerDoes) {
  const fs::path root = dir / "shop";
  writeProject(root);
  auto server = std::make_unique<PageServer>(root);
  const auto port = server->port();
  const std::string address = addressOf(*server);
  auto window = open(root / "scss/main.scss", fs::path(address));
  auto& view = window->renderViewController();
  EXPECT_EQ(view.shownServer(), address);
  const std::string state = "[getComputedStyle(document.body).color, document.body.dataset.script,"
                            " marker.textContent, document.body.dataset.count].join('|')";
  EXPECT_EQ(waitForPage(view.webView(), state, "rgb(0, 128, 0)|ran||"), "rgb(0, 128, 0)|ran||");
  EXPECT_EQ(projectSettings(defaults, root).serverAddresses, std::vector<std::string>{address});
  // A picked element lists the server's own sheet at its URL and line, the compiled CSS at its Sass line.
  view.pickPanel().enter();
  ASSERT_TRUE(runUntil([&] { return view.pickPanel().picking(); }));
  evaluate(view.webView(), "marker.click()");
  ASSERT_TRUE(runUntil([&] { return view.pickPanel().rowTexts().size() == 3; }, std::chrono::seconds(20)));
  EXPECT_EQ(view.pickPanel().rowTexts(), (std::vector<std::string>{"#marker  main.scss:3\npadding: 0;",
                                                                    "#marker  " + address + "static/css/site.css:4\nfont-weight: bold;",
                                                                    "p  " + address + "static/css/site.css:1\nmargin: 0;"}));
  // A row placed by a URL opens the project file served there.
  settings.setDefaultEditorPath(guiDesktop().applicationURL("gedit"));
  guiDesktop().forgetCalls();
  view.pickPanel().open(1);
  ASSERT_TRUE(guiDesktop().waitForCalls("gedit", 1));
  EXPECT_EQ(guiDesktop().calls("gedit").front(), (std::vector<std::string>{"+4", (root / "app/static/css/site.css").string()}));

  // A partial saved by rename swaps the CSS in place: the script's count stays.
  evaluate(view.webView(), "document.body.click(); document.body.click()");
  writeFileByRename(root / "scss/_colors.scss", "$text: rgb(0, 0, 255);\n");
  EXPECT_EQ(waitForPage(view.webView(), state, "rgb(0, 0, 255)|ran||2"), "rgb(0, 0, 255)|ran||2");

  // A template's edit reloads the page where it was scrolled; the session's cookie went back.
  evaluate(view.webView(), "window.scrollTo(0, 400)");
  writeFileByRename(root / "templates/base.html", kTemplate + "<p id=added>");
  const std::string reloaded = "[!!document.getElementById('added'), marker.textContent, window.scrollY,"
                               " getComputedStyle(document.body).color].join('|')";
  EXPECT_EQ(waitForPage(view.webView(), reloaded, "true|signed-in|400|rgb(0, 0, 255)"), "true|signed-in|400|rgb(0, 0, 255)");
  // A template made since the page opened is followed: making it and saving it each reload.
  for (const char* text : {"new", "changed"}) {
    evaluate(view.webView(), "window.before = true");
    writeFileByRename(root / "templates/made/later.html", text);
    EXPECT_EQ(waitForPage(view.webView(), "String(window.before)", "undefined"), "undefined") << text;
  }
  // No frame ever had the server's stale colour.
  EXPECT_EQ(evaluate(view.webView(), "String([...seen].includes('rgb(255, 0, 0)'))"), "false");

  // The server stops: a save says so over the view; started again, the page comes back by itself.
  server.reset();
  writeFileByRename(root / "app/views.py", "# views, changed\n");
  const std::string away = "The server at 127.0.0.1:" + std::to_string(port) + " does not answer.";
  EXPECT_TRUE(runUntil([&] { return view.serverProblemText() == away; }, std::chrono::seconds(20))) << view.serverProblemText();
  server = std::make_unique<PageServer>(root, port);
  EXPECT_TRUE(runUntil([&] { return view.serverProblemText().empty(); }, std::chrono::seconds(20))) << view.serverProblemText();
  EXPECT_EQ(waitForPage(view.webView(), "getComputedStyle(document.body).color", "rgb(0, 0, 255)"),
            "rgb(0, 0, 255)");
  // An error status is said over the page as well.
  view.choosePage(fs::path(address + "missing"));
  const std::string status = "The server at 127.0.0.1:" + std::to_string(port) + " answered 404 Not Found.";
  EXPECT_TRUE(runUntil([&] { return view.serverProblemText() == status; }, std::chrono::seconds(20))) << view.serverProblemText();
}

TEST_F(ServerPageTest, AnUntrustedCertificateIsSaidAndTrustedForItsHostOnlyWhenTheUserContinues) {
  const fs::path root = dir / "secure";
  writeProject(root);
  PageServer server(root, 0, true);
  auto window = open(root / "scss/main.scss", fs::path("https://127.0.0.1:" + std::to_string(server.port()) + "/"));
  auto& view = window->renderViewController();
  EXPECT_TRUE(runUntil([&] { return view.serverProblemText().starts_with("The certificate of 127.0.0.1:"); }, std::chrono::seconds(20)))
      << view.serverProblemText();
  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "page.trust-server", nullptr));
  EXPECT_EQ(waitForPage(view.webView(), "getComputedStyle(document.body).color", "rgb(0, 128, 0)"), "rgb(0, 128, 0)");
  EXPECT_EQ(view.serverProblemText(), "");
}

TEST_F(ServerPageTest, AProjectWithoutPagesFindsTheOneServerThatLinksItsCssAndShowsItAtOnce) {
  const fs::path root = dir / "blog";
  writeProject(root);
  PageServer server(root);
  // A server whose page links no sheet of the document: not offered.
  writeFiles(dir / "plain", {{"templates/base.html", "<!doctype html><link rel=stylesheet href=/site.css><p>plain"}});
  PageServer other(dir / "plain");
  auto window = open(root / "scss/main.scss");
  auto& view = window->renderViewController();
  EXPECT_EQ(view.shownServer(), std::nullopt);
  view.searchServers({other.port(), server.port()});
  EXPECT_TRUE(runUntil([&] { return view.shownServer() == addressOf(server); }, std::chrono::seconds(20)));
  EXPECT_EQ(view.foundServers(), std::vector<std::string>{addressOf(server)});
  const std::string colour = "getComputedStyle(document.body).color";
  EXPECT_EQ(waitForPage(view.webView(), colour, "rgb(0, 128, 0)"), "rgb(0, 128, 0)");
  // Save CSS As… offers the project's file that the server serves at the page's link.
  EXPECT_TRUE(runUntil([&] { return view.linkedCssFile() == root / "app/static/css/main.css"; }));
  // The open inspector gets the map along with the CSS, with the partial's text.
  EXPECT_TRUE(gtk_widget_activate_action(GTK_WIDGET(window->window()), "win.show-inspector", nullptr));
  const std::string map = "(m => m ? (j => j.sources.join() + '|' + j.sourcesContent[j.sources.indexOf('/scss/_colors.scss')])"
                          "(JSON.parse(atob(m[1]))) : '')(/base64,(\\S+) \\*\\//.exec(document.querySelector('style').textContent))";
  EXPECT_EQ(waitForPage(view.webView(), map, "/scss/main.scss,/scss/_colors.scss|$text: rgb(0, 128, 0);\n"),
            "/scss/main.scss,/scss/_colors.scss|$text: rgb(0, 128, 0);\n");
  webkit_web_inspector_close(webkit_web_view_get_inspector(view.webView()));

  // Chosen all the same, that page gets the compiled CSS after its own sheets.
  view.choosePage(fs::path(addressOf(other)));
  EXPECT_EQ(waitForPage(view.webView(), colour + " + document.body.lastElementChild.localName", "rgb(0, 128, 0)style"),
            "rgb(0, 128, 0)style");
}

}  // namespace
}  // namespace fennelview
