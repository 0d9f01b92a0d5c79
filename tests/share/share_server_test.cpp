// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/share_server.hpp"

#include <gtest/gtest.h>

#include "page_server.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

class ShareServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFiles(dir.path(), {{"site/index.html", "<link rel=stylesheet href=css/main.css><p>hi</p>"}, {"site/css/main.css", "stale"},
                            {"site/.env", "secret"}, {"site/sub/a.txt", "a"}, {"secret.txt", "outside"},
                            {"site/big.bin", std::string(300000, 'x') + "tail"}});
    fs::create_symlink(dir / "secret.txt", dir / "site/link.txt");
    site = std::make_shared<ServedSite>(dir / "site", dir / "site", dir / "scss/main.scss");
    site->setCompiledCss("p { color: green }");
  }
  void serve(ShareServer& server) {
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    server.show({site, dir / "site/index.html", {}, {}, {}, {}, {}, {}});
  }
  std::string at(const ShareServer& server, const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
  }

  TempDir dir;
  std::shared_ptr<ServedSite> site;
  GObjectPtr<SoupSession> session{soup_session_new()};
};

TEST_F(ShareServerTest, AnswersWhatThePreviewMayLoadAndRefusesAllElseWithAPlainStatus) {
  ShareServer server({});
  serve(server);
  const auto page = httpGet(session.get(), at(server, "/index.html"));
  EXPECT_EQ(page.status, 200u);
  EXPECT_NE(page.body.find("href=\"/css/main.css?v=1\""), std::string::npos) << page.body;
  EXPECT_NE(page.body.find("<script src=\"/.fennelview/live.js?page="), std::string::npos) << page.body;
  const struct {
    const char* path;
    guint status;
    const char* body;
  } cases[] = {
      {"/css/main.css", 200, "p { color: green }"},  // from memory, never the stale file
      {"/sub/a.txt", 200, "a"},
      {"/..%2Fsecret.txt", 404, ""},
      {"/sub/..%2F..%2Fsecret.txt", 404, ""},
      {"/.env", 404, ""},
      {"/link.txt", 404, ""},  // leads outside the project
      {"/sub/", 404, ""},      // no listings
      {"/.fennelview/style.css", 404, ""},
  };
  for (const auto& each : cases) {
    const auto reply = httpGet(session.get(), at(server, each.path));
    EXPECT_EQ(reply.status, each.status) << each.path;
    EXPECT_EQ(reply.body, each.body) << each.path;
  }
  // Large files come in pieces, and a range of them alone.
  EXPECT_EQ(httpGet(session.get(), at(server, "/big.bin")).body.size(), 300004u);
  const auto range = httpGet(session.get(), at(server, "/big.bin"), {{"Range", "bytes=299999-"}}, "Content-Range");
  EXPECT_EQ(range.status, 206u);
  EXPECT_EQ(range.body, "xtail");
  EXPECT_EQ(range.header, "bytes 299999-300003/300004");
  // A name that only points at loopback (a rebound one) reads nothing.
  EXPECT_EQ(httpGet(session.get(), at(server, "/index.html"), {{"Host", "evil.example:" + std::to_string(server.port())}}).status, 404u);
}

TEST_F(ShareServerTest, ForOtherDevicesEveryRequestNeedsTheTokenLoopbackToo) {
  ShareServer server({.otherDevices = true, .token = "0123456789abcdef0123456789abcdef"});
  serve(server);
  soup_session_add_feature_by_type(session.get(), SOUP_TYPE_COOKIE_JAR);  // as a browser keeps it
  const std::string address = server.address();
  ASSERT_TRUE(address.starts_with(at(server, "/?token=")));
  const auto withToken = httpGet(session.get(), address);
  EXPECT_EQ(withToken.status, 200u);  // redirected to the page, the token kept in a cookie
  EXPECT_NE(withToken.body.find("<p>hi</p>"), std::string::npos);
  const struct {
    std::string path;
    std::string cookie;
    guint status;
  } cases[] = {
      {"/", "", 404},
      {"/index.html", "", 404},
      {"/index.html?token=0123456789abcdef0123456789abcdeX", "", 404},
      {"/css/main.css", "fennelview-token-PORT=wrong", 404},
      {"/css/main.css", "fennelview-token-1=0123456789abcdef0123456789abcdef", 404},  // another window's
      {"/css/main.css", "a=b; fennelview-token-PORT=0123456789abcdef0123456789abcdef", 200},
  };
  GObjectPtr<SoupSession> stranger(soup_session_new());  // no cookie kept
  for (const auto& each : cases) {
    std::vector<std::pair<const char*, std::string>> headers;
    const auto port = each.cookie.find("PORT");
    if (port != std::string::npos) headers.emplace_back("Cookie", std::string(each.cookie).replace(port, 4, std::to_string(server.port())));
    if (port == std::string::npos && !each.cookie.empty()) headers.emplace_back("Cookie", each.cookie);
    EXPECT_EQ(httpGet(stranger.get(), at(server, each.path), headers).status, each.status) << each.path << each.cookie;
  }
}

// Reads an event stream as it comes.
struct Events {
  GObjectPtr<GInputStream> stream;
  std::string text;
  char buffer[4096];
  bool reading = false;
  GObjectPtr<SoupMessage> message;

  void open(SoupSession* session, const std::string& url) {
    message = GObjectPtr<SoupMessage>(soup_message_new("GET", url.c_str()));
    soup_session_send_async(session, message.get(), G_PRIORITY_DEFAULT, nullptr, +[](GObject* source, GAsyncResult* result, gpointer data) {
      static_cast<Events*>(data)->stream = GObjectPtr<GInputStream>(soup_session_send_finish(SOUP_SESSION(source), result, nullptr));
      static_cast<Events*>(data)->readOn();
    }, this);
  }

  void readOn() {
    reading = true;
    g_input_stream_read_async(stream.get(), buffer, sizeof buffer, G_PRIORITY_DEFAULT, nullptr, +[](GObject* source, GAsyncResult* result, gpointer data) {
      auto* self = static_cast<Events*>(data);
      const auto got = g_input_stream_read_finish(G_INPUT_STREAM(source), result, nullptr);
      self->reading = false;
      if (got > 0) {
        self->text.append(self->buffer, static_cast<std::size_t>(got));
        self->readOn();
      }
    }, this);
  }
};

TEST_F(ShareServerTest, EachSaveAndEachChangeOfALoadedFileReachesTheOpenPages) {
  ShareServer server({});
  serve(server);
  httpGet(session.get(), at(server, "/index.html"));
  Events events;
  events.open(session.get(), at(server, "/.fennelview/events"));
  ASSERT_TRUE(runUntil([&] { return events.text.find("\n\n", events.text.find("data:")) != std::string::npos; }));
  EXPECT_NE(events.text.find(R"("css":1,"error":"","page":2,"paths":["/css/main.css"])"), std::string::npos) << events.text;
  // A save: its CSS goes in place; a failed one brings its error.
  site->setCompiledCss("p { color: blue }");
  server.show({site, dir / "site/index.html", {}, {}, {}, "Undefined variable.", "main.scss:3:7", {}});
  ASSERT_TRUE(runUntil([&] { return events.text.find("\"place\":\"main.scss:3:7\"") != std::string::npos; })) << events.text;
  EXPECT_NE(events.text.find(R"({"css":2,"error":"Undefined variable.","page":2)"), std::string::npos) << events.text;
  // The page's own file saved: the page loads again.
  writeFileByRename(dir / "site/index.html", "<p>new</p>");
  ASSERT_TRUE(runUntil([&] { return events.text.find("\"page\":3") != std::string::npos; })) << events.text;
  // The window closes: every connection ends.
  server.stop();
  EXPECT_TRUE(runUntil([&] { return !events.reading; }));
  EXPECT_EQ(server.connectionCount(), 0u);
}

// A form as a browser posts it, no redirect followed: the status, Location, X-Seen-Origin and body.
std::vector<std::string> post(SoupSession* session, const std::string& url, const std::string& origin) {
  GObjectPtr<SoupMessage> message(soup_message_new("POST", url.c_str()));
  soup_message_set_flags(message.get(), SOUP_MESSAGE_NO_REDIRECT);
  soup_message_headers_replace(soup_message_get_request_headers(message.get()), "Origin", origin.c_str());
  GBytes* form = g_bytes_new_static("name=fennel", 11);
  soup_message_set_request_body_from_bytes(message.get(), "application/x-www-form-urlencoded", form);
  g_bytes_unref(form);
  struct Read {
    bool done = false;
    std::string body;
  } read;
  soup_session_send_and_read_async(session, message.get(), G_PRIORITY_DEFAULT, nullptr, +[](GObject* source, GAsyncResult* result, gpointer data) {
    auto& read = *static_cast<Read*>(data);
    if (GBytes* body = soup_session_send_and_read_finish(SOUP_SESSION(source), result, nullptr)) {
      gsize size = 0;
      const auto* bytes = static_cast<const char*>(g_bytes_get_data(body, &size));
      read.body.assign(bytes ? bytes : "", size);
      g_bytes_unref(body);
    }
    read.done = true;
  }, &read);
  runUntil([&] { return read.done; });
  auto* headers = soup_message_get_response_headers(message.get());
  const char* location = soup_message_headers_get_one(headers, "Location");
  const char* seen = soup_message_headers_get_one(headers, "X-Seen-Origin");
  return {std::to_string(soup_message_get_status(message.get())), location ? location : "", seen ? seen : "", read.body};
}

TEST_F(ShareServerTest, AServersPageIsPassedOnLiveWithItsCookiesFormsAndRedirectsAndTheCssFromMemory) {
  auto upstream = std::make_unique<PageServer>(dir.path());
  const std::string origin = "http://127.0.0.1:" + std::to_string(upstream->port());
  writeFile(dir / "templates/base.html", "<link rel=stylesheet href=\"" + origin + "{% static 'css/main.css' %}\"><p>{{ marker }}</p>");
  ShareServer server({});
  std::string error;
  ASSERT_TRUE(server.start(error)) << error;
  const auto shown = [&](std::string css, unsigned loads) {
    SharedView view;
    view.server = SharedServerPage{origin + "/", "main", std::make_shared<const std::string>(std::move(css)), loads};
    return view;
  };
  server.show(shown("p { color: green }", 1));
  soup_session_add_feature_by_type(session.get(), SOUP_TYPE_COOKIE_JAR);
  const auto first = httpGet(session.get(), at(server, "/"));
  EXPECT_EQ(first.status, 200u);
  EXPECT_EQ(first.header, "session=visitor; Path=/");
  EXPECT_NE(first.body.find("<link rel=stylesheet href=\"/static/css/main.css\">"), std::string::npos) << first.body;
  EXPECT_NE(first.body.find("/.fennelview/live.js?page=2"), std::string::npos) << first.body;
  EXPECT_NE(httpGet(session.get(), at(server, "/")).body.find("<p>signed-in</p>"), std::string::npos);
  EXPECT_EQ(httpGet(session.get(), at(server, "/static/css/main.css")).body, "p { color: green }");  // never the stale file
  EXPECT_NE(httpGet(session.get(), at(server, "/static/css/site.css")).body.find("#marker"), std::string::npos);
  // A form goes to the server as from its own page, its redirect comes back to us.
  const std::string own = "http://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(post(session.get(), at(server, "/form"), own), (std::vector<std::string>{"303", "/posted?name=fennel", origin, ""}));
  // A form shown again is loaded again on a save, not reloaded: the browser would ask to send it again.
  EXPECT_NE(post(session.get(), at(server, "/"), own)[3].find("&amp;posted=1\""), std::string::npos);
  EXPECT_EQ(post(session.get(), at(server, "/form"), "http://evil.example")[0], "404");
  // A save's CSS and a reload reach the open pages.
  Events events;
  events.open(session.get(), at(server, "/.fennelview/events"));
  server.show(shown("p { color: blue }", 2));
  ASSERT_TRUE(runUntil([&] { return events.text.find("\"page\":3") != std::string::npos; })) << events.text;
  EXPECT_NE(events.text.find(R"({"css":3,"error":"","page":3,"paths":["/static/css/main.css","/.fennelview/document.css"])"),
            std::string::npos) << events.text;
  // On ::1 too, where the machine has it.
  GObjectPtr<GSocket> probe(g_socket_new(G_SOCKET_FAMILY_IPV6, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr));
  GObjectPtr<GSocketAddress> any6(g_inet_socket_address_new_from_string("::1", 0));
  if (probe && g_socket_bind(probe.get(), any6.get(), TRUE, nullptr)) {
    EXPECT_EQ(httpGet(session.get(), "http://[::1]:" + std::to_string(server.port()) + "/static/css/main.css").body, "p { color: blue }");
  }
  // The server gone: a page that says so and comes back with the window's.
  upstream.reset();
  const auto away = httpGet(session.get(), at(server, "/"));
  EXPECT_EQ(away.status, 502u);
  EXPECT_NE(away.body.find("The server at 127.0.0.1:"), std::string::npos) << away.body;
  EXPECT_NE(away.body.find("/.fennelview/live.js?page=3"), std::string::npos) << away.body;
}

}  // namespace
}  // namespace fennelview
