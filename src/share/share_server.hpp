// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <libsoup/soup.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/glib_ptr.hpp"
#include "document/signal.hpp"
#include "share/server_proxy.hpp"
#include "site/served_site.hpp"

namespace fennelview {

// A page a local server makes, as a window shows it.
struct SharedServerPage {
  // The address the window shows ("http://127.0.0.1:8000/blog/").
  std::string address;
  // The stem by which links to the document's CSS are known.
  std::string stem;
  // The last CSS that compiled, shared with the window.
  std::shared_ptr<const std::string> css;
  // Changes each time the window loads the page again (a project file saved, the server back).
  unsigned loads = 0;
};

// What a window's preview shows, as a browser is to show it too.
struct SharedView {
  // The own page's site, none on the sample page.
  std::shared_ptr<ServedSite> site;
  // The own page's file.
  std::filesystem::path page;
  // The sample page in full, and the text of its style sheet that a loaded page takes in place.
  std::string sampleHtml;
  std::string sampleStyle;
  // A change of this reloads the sample page instead (another template).
  std::string sampleTemplate;
  // While a compile fails: its message and the place it names.
  std::string error;
  std::string place;
  // A server's page, passed on from the server itself; then `site` and the sample are unused.
  std::optional<SharedServerPage> server;
};

// An HTTP server (libsoup's) that shows one window's preview to any browser, live: pages carry a
// script that hears of each change over Server-Sent Events and swaps the CSS in place, reloads at
// the same scroll position after a change of a file the page loaded, and shows the compile's
// error. It answers what the preview may load and nothing else, through the same confinement:
// no listings, a refusal is a plain 404. A server's page is passed on from the server (see
// ServerProxy), its CSS from memory. Connections, event streams, request bodies and the bytes
// waiting for slow readers are bounded; files are streamed in pieces. Everything runs on the
// main loop.
class ShareServer {
 public:
  struct Options {
    // Listen on every interface, not only loopback (127.0.0.1, and ::1 where there is IPv6);
    // then every request needs `token`.
    bool otherDevices = false;
    std::string token;
    // Tried first; taken or none, another free port is chosen.
    unsigned preferredPort = 0;
  };

  explicit ShareServer(Options options);
  ~ShareServer();
  ShareServer(const ShareServer&) = delete;
  ShareServer& operator=(const ShareServer&) = delete;

  // Starts listening; false with `error` set when no port could be had.
  bool start(std::string& error);
  unsigned port() const { return port_; }
  // The address to open: loopback, with the token when there is one.
  std::string address() const;
  // The same page under another host name, such as the machine's address on the network.
  std::string addressAt(const std::string& host) const;

  // Shows a new state of the preview to every browser.
  void show(SharedView view);

  // Ends every connection and stops listening.
  void stop();

  // Counts, for tests and the limits.
  std::size_t connectionCount() const { return connections_.size(); }
  std::size_t listenerCount() const { return listeners_.size(); }

  static constexpr std::size_t maximumConnections = 128;
  static constexpr std::size_t maximumListeners = 64;
  // A listener that has this much not yet read is dropped; it reconnects and catches up.
  static constexpr std::size_t maximumUnreadBytes = 256 * 1024;
  // Answers held in memory at once (pages, the CSS), for every connection together.
  static constexpr std::size_t maximumHeldBytes = 64 * 1024 * 1024;
  // A request body larger than this, or of no declared length, is refused as its headers come;
  // none of it is kept.
  static constexpr std::size_t maximumRequestBytes = 16 * 1024 * 1024;
  // The paths of a server's pages answered with the compiled CSS that browsers are told of.
  static constexpr std::size_t maximumCssPaths = 16;

 private:
  struct Listener;
  struct Stream;
  static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self);
  static void connectionGone(gpointer self, GObject* gone);
  static gboolean incoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer self);
  void respond(SoupServerMessage* message, const std::string& path);
  void admitBody(SoupServerMessage* message);
  void respondServer(SoupServerMessage* message, const std::string& path);
  void respondShared(SoupServerMessage* message, std::shared_ptr<const std::string> text, const char* contentType);
  std::string servedServerPage(std::string html, bool posted) const;
  std::string serverAwayPage() const;
  void respondLive(SoupServerMessage* message, const std::string& path);
  void respondText(SoupServerMessage* message, std::string body, const std::string& contentType);
  void respondFile(SoupServerMessage* message, SiteFile file, const std::string& urlPath);
  void refuse(SoupServerMessage* message, guint status = SOUP_STATUS_NOT_FOUND);
  void listen(SoupServerMessage* message);
  std::string stateJson() const;
  void broadcast();
  void follow(const std::filesystem::path& file);
  void unfollowAll();
  void pageChanged();

  Options options_;
  GObjectPtr<SoupServer> server_;
  GObjectPtr<GSocketService> service_;
  unsigned port_ = 0;
  std::set<GSocketConnection*> connections_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::shared_ptr<std::size_t> heldBytes_ = std::make_shared<std::size_t>(0);

  SharedView view_;
  std::string siteOrigin_;
  unsigned pageVersion_ = 1;
  // The CSS's version on the sample page and a server's.
  unsigned cssVersion_ = 1;
  std::unique_ptr<ServerProxy> proxy_;
  std::string upstream_;
  std::vector<std::string> serverCssPaths_;
  std::vector<std::string> followed_;
  Disposable changes_;
  bool watching_ = false;
};

}  // namespace fennelview
