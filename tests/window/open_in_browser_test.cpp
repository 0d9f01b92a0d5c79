// SPDX-License-Identifier: GPL-3.0-or-later
// The window's page in another browser: a recorder as the desktop's browser, real Chromium
// driven over its DevTools socket, real saves.
#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <nlohmann/json.hpp>

#include "gui_test_support.hpp"
#include "page_server.hpp"
#include "test_support.hpp"
#include "window/browser_share.hpp"
#include "window/document_window.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;
using namespace test;

// Headless Chromium showing one address; what its page says is asked over the DevTools socket.
class Chromium {
 public:
  explicit Chromium(const std::string& address) {
    const auto profile = (dir_ / "profile").string();
    process_ = GObjectPtr<GSubprocess>(g_subprocess_new(
        G_SUBPROCESS_FLAGS_STDERR_SILENCE, nullptr, "chromium", "--headless=new", "--no-sandbox", "--disable-gpu",
        "--no-first-run", ("--user-data-dir=" + profile).c_str(), "--remote-debugging-port=0", address.c_str(), nullptr));
    const auto portFile = fs::path(profile) / "DevToolsActivePort";
    if (!runUntil([&] { return fs::exists(portFile) && !readFile(portFile).empty(); }, std::chrono::seconds(30))) return;
    const auto port = readFile(portFile).substr(0, readFile(portFile).find('\n'));
    std::string socket;
    runUntil([&] {
      const auto targets = nlohmann::json::parse(httpGet(session_.get(), "http://127.0.0.1:" + port + "/json/list").body, nullptr, false);
      for (const auto& target : targets.is_array() ? targets : nlohmann::json::array()) {
        if (target.value("type", "") == "page") socket = target.value("webSocketDebuggerUrl", "");
      }
      return !socket.empty();
    });
    GObjectPtr<SoupMessage> message(soup_message_new("GET", socket.c_str()));
    soup_session_websocket_connect_async(session_.get(), message.get(), nullptr, nullptr, G_PRIORITY_DEFAULT, nullptr, +[](GObject* source, GAsyncResult* result, gpointer data) {
      static_cast<Chromium*>(data)->socket_ = GObjectPtr<SoupWebsocketConnection>(soup_session_websocket_connect_finish(SOUP_SESSION(source), result, nullptr));
    }, this);
    runUntil([&] { return socket_.get() != nullptr; });
    if (!socket_) return;
    g_signal_connect(socket_.get(), "message", G_CALLBACK(+[](SoupWebsocketConnection*, gint, GBytes* bytes, Chromium* self) {
      gsize size = 0;
      const auto* text = static_cast<const char*>(g_bytes_get_data(bytes, &size));
      const auto answer = nlohmann::json::parse(std::string_view(text, size), nullptr, false);
      const auto value = nlohmann::json::json_pointer("/result/result/value");
      if (answer.is_object() && answer.value("id", 0) == self->asked_) self->answer_ = answer.value(value, std::string());
    }), this);
  }
  ~Chromium() {
    if (socket_) g_signal_handlers_disconnect_by_data(socket_.get(), this);
    if (process_) g_subprocess_force_exit(process_.get());
    if (process_) g_subprocess_wait(process_.get(), nullptr, nullptr);
  }
  // The value of a script as text, once its page answers.
  std::string evaluate(const std::string& script) {
    if (!socket_) return "no DevTools socket";
    answer_.reset();
    const nlohmann::json call{{"id", ++asked_}, {"method", "Runtime.evaluate"}, {"params", {{"expression", "String(" + script + ")"}}}};
    soup_websocket_connection_send_text(socket_.get(), call.dump().c_str());
    runUntil([&] { return answer_.has_value(); });
    return answer_.value_or("no answer");
  }
  std::string waitFor(const std::string& script, const std::string& expected) {
    std::string seen;
    runUntil([&] { return (seen = evaluate(script)) == expected; }, std::chrono::seconds(30));
    return seen;
  }

 private:
  TempDir dir_;
  GObjectPtr<SoupSession> session_{soup_session_new()};
  GObjectPtr<GSubprocess> process_;
  GObjectPtr<SoupWebsocketConnection> socket_;
  int asked_ = 0;
  std::optional<std::string> answer_;
};

using OpenInBrowserTest = GuiTest;

TEST_F(OpenInBrowserTest, ShortcutHandsTheBrowserAnAddressWhereSavesShowLiveConfinedAndTokenGuarded) {
  const fs::path root = dir / "site";
  writeFiles(root, {{"index.html", "<link rel=stylesheet href=css/style.css><button id=count onclick='this.textContent++'>0</button>"},
                    {".env", "secret"}, {"scss/style.scss", "@import 'colors';\nbody { color: $text; }\n"},
                    {"scss/_colors.scss", "$text: rgb(0, 128, 0);\n"}});
  auto window = open(root / "scss/style.scss", root / "index.html");
  guiDesktop().forgetCalls();
  // The app's shortcuts come with its application.
  GObjectPtr<GtkApplication> application(gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE));
  ASSERT_TRUE(g_application_register(G_APPLICATION(application.get()), nullptr, nullptr));
  registerWindowShortcuts(application.get());
  gtk_window_set_application(window->window(), application.get());
  xdotool(window->window(), {"key", "ctrl+shift+b"});
  ASSERT_TRUE(guiDesktop().waitForCalls("browser", 1)) << window->browserShare().address();
  const std::string address = guiDesktop().calls("browser").back().back();
  ASSERT_TRUE(address.starts_with("http://127.0.0.1:")) << address;

  GObjectPtr<SoupSession> session(soup_session_new());
  soup_session_add_feature_by_type(session.get(), SOUP_TYPE_COOKIE_JAR);  // as a browser keeps the token
  for (const auto* path : {"..%2F..%2Fsettings.json", ".env", "scss/..%2F..%2Fsite/.env"}) {
    EXPECT_EQ(httpGet(session.get(), address + path).status, 404u) << path;
  }

  if (!g_find_program_in_path("chromium")) GTEST_SKIP() << "Chromium is not installed: scripts/install-deps installs it";
  Chromium chromium(address);
  const std::string colourAndCount = "getComputedStyle(document.body).color + ' ' + count.textContent";
  EXPECT_EQ(chromium.waitFor(colourAndCount, "rgb(0, 128, 0) 0"), "rgb(0, 128, 0) 0");
  chromium.evaluate("count.click(), count.click(), count.click()");
  writeFileByRename(root / "scss/_colors.scss", "$text: rgb(0, 0, 255);\n");
  EXPECT_EQ(chromium.waitFor(colourAndCount, "rgb(0, 0, 255) 3"), "rgb(0, 0, 255) 3");

  // On the network the address carries a token; without it, loopback included, nothing is answered.
  settings.setAllowOtherDevices(true);
  const std::string guarded = window->browserShare().address();
  ASSERT_NE(guarded.find("?token="), std::string::npos) << guarded;
  const auto withToken = httpGet(session.get(), guarded);
  EXPECT_EQ(withToken.status, 200u);
  EXPECT_NE(withToken.body.find("id=count"), std::string::npos);
  GObjectPtr<SoupSession> stranger(soup_session_new());
  EXPECT_EQ(httpGet(stranger.get(), guarded.substr(0, guarded.find('?'))).status, 404u);
}

TEST_F(OpenInBrowserTest, AServersPageShowsThroughTheAppWithTheCompiledCssLiveAndReloadsWithTheWindow) {
  if (!g_find_program_in_path("chromium")) GTEST_SKIP() << "Chromium is not installed: scripts/install-deps installs it";
  const fs::path root = dir / "shop";
  const std::string page = "<link rel=stylesheet href=\"{% static 'css/main.css' %}\"><button id=count onclick='this.textContent++'>0</button>";
  writeFiles(root, {{".git/HEAD", ""}, {"scss/main.scss", "@import 'colors';\nbody { color: $text; }\n"},
                    {"scss/_colors.scss", "$text: rgb(0, 128, 0);\n"}, {"templates/base.html", page}});
  PageServer server(root);
  auto window = open(root / "scss/main.scss", fs::path("http://127.0.0.1:" + std::to_string(server.port()) + "/"));
  window->browserShare().open();
  Chromium chromium(window->browserShare().address());
  const std::string colourAndCount = "getComputedStyle(document.body).color + ' ' + count.textContent";
  EXPECT_EQ(chromium.waitFor(colourAndCount, "rgb(0, 128, 0) 0"), "rgb(0, 128, 0) 0");
  chromium.evaluate("count.click(), count.click()");
  writeFileByRename(root / "scss/_colors.scss", "$text: rgb(0, 0, 255);\n");
  EXPECT_EQ(chromium.waitFor(colourAndCount, "rgb(0, 0, 255) 2"), "rgb(0, 0, 255) 2");
  // A template saved reloads the window's page, and the browser's with it.
  writeFileByRename(root / "templates/base.html", page + "<p id=added>");
  EXPECT_EQ(chromium.waitFor("!!document.getElementById('added') + ' ' + count.textContent", "true 0"), "true 0");
}

}  // namespace
}  // namespace fennelview
