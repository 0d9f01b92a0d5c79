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
#include "site/served_site.hpp"

namespace fennelview {

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
};

// An HTTP server (libsoup's) that shows one window's preview to any browser, live: pages carry a
// script that hears of each change over Server-Sent Events and swaps the CSS in place, reloads at
// the same scroll position after a change of a file the page loaded, and shows the compile's
// error. It answers what the preview may load and nothing else, through the same confinement:
// no listings, a refusal is a plain 404. Connections, event streams and the bytes waiting for slow
// readers are bounded; files are streamed in pieces. Everything runs on the main loop.
class ShareServer {
 public:
  struct Options {
    // Listen on every interface, not only loopback; then every request needs `token`.
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

 private:
  struct Listener;
  struct Stream;
  static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self);
  static void connectionGone(gpointer self, GObject* gone);
  static gboolean incoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer self);
  void respond(SoupServerMessage* message, const std::string& path);
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
  unsigned sampleCssVersion_ = 1;
  std::vector<std::string> followed_;
  Disposable changes_;
  bool watching_ = false;
};

}  // namespace fennelview
