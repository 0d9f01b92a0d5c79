// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/glib_ptr.hpp"
#include "common/main_loop_source.hpp"
#include "document/signal.hpp"

namespace fennelview {

class SourceMap;

// A page a server makes, shown in a preview's view at the server's own origin: cookies, forms,
// redirects and its scripts work as in a browser. A script of ours, in place before the page's
// content, puts the compiled CSS from memory where the page links the document's CSS; saves of
// the document swap it in place, saves of other project files (files made since included)
// reload the page at its scroll position once they settle. A server that does not answer, an error status, a certificate
// error or a page past its limits is told through onProblem, never by WebKit's error page; a
// server away is asked again until it answers.
class ServerPage {
 public:
  using Problem = std::function<void(const std::string& text, bool canTrust)>;
  // `note` is told once when the page links no sheet of the document and gets the CSS added.
  ServerPage(WebKitWebView* view, std::string address, std::string stem, const std::optional<std::filesystem::path>& projectRoot,
             Problem problem, std::function<void(const std::string&)> note);
  ~ServerPage();
  ServerPage(const ServerPage&) = delete;
  ServerPage& operator=(const ServerPage&) = delete;

  const std::string& address() const { return address_; }
  const std::string& stem() const { return stem_; }
  // The compiled CSS: the first one loads the page, later ones go in place. With a map (while
  // the Web Inspector is open) the CSS carries it along, sources and their text included.
  void setCss(std::shared_ptr<const std::string> css, const std::shared_ptr<const SourceMap>& map);
  // The last CSS given, as the compiler wrote it.
  const std::shared_ptr<const std::string>& compiledCss() const { return compiled_; }
  // How many loads of the page began: one more each time a saved project file reloads it or a
  // server that was away is asked again. Browsers shown the page reload with it.
  unsigned loads() const { return loads_; }
  // The page again, where it was scrolled to.
  void reload();
  void retry();
  // Continues past the certificate the server's host gave, for that host only.
  void trust();

  // The preview's view asks: a navigation to `target` stays in the view.
  bool allows(const std::string& target) const;
  // The answer for the page's main resource, as it comes; false to stop it.
  bool responded(WebKitURIResponse* response);
  void finished();
  // The URL path of the page's link that the compiled CSS took the place of; empty before one.
  const std::string& linkedPath() const { return linkedPath_; }

 private:
  static gboolean loadFailed(WebKitWebView* view, WebKitLoadEvent event, const char* uri, GError* error, ServerPage* self);
  static gboolean tlsFailed(WebKitWebView* view, const char* uri, GTlsCertificate* certificate, GTlsCertificateFlags errors,
                            ServerPage* self);
  void load(const std::string& uri);
  void installScript();
  void say(const std::string& text, bool canTrust = false);
  void changed(const std::string& file);
  void watchFolder(const std::filesystem::path& folder);
  void madeLater(const std::filesystem::path& file);
  static void folderChanged(GFileMonitor* monitor, GFile* file, GFile* other, GFileMonitorEvent event, ServerPage* self);

  WebKitWebView* view_;  // the preview's, which outlives this
  std::string address_;
  std::string origin_;
  std::string stem_;
  std::optional<std::filesystem::path> projectRoot_;
  std::string css_;
  std::shared_ptr<const std::string> compiled_ = std::make_shared<const std::string>();
  unsigned loads_ = 0;
  Problem problem_;
  std::function<void(const std::string&)> note_;
  bool loaded_ = false;
  std::string problemText_;
  std::string linkedPath_;
  struct ScriptDeleter {
    void operator()(WebKitUserScript* script) const { webkit_user_script_unref(script); }
  };
  std::unique_ptr<WebKitUserScript, ScriptDeleter> script_;
  GObjectPtr<GCancellable> calls_;
  GObjectPtr<GTlsCertificate> certificate_;
  std::string failedURI_;
  std::optional<std::string> scrollToRestore_;
  std::vector<std::string> followed_;
  std::set<std::string> followedSet_;
  std::set<std::string> madeLater_;
  std::vector<GObjectPtr<GFileMonitor>> folders_;
  std::set<std::string> watchedFolders_;
  Disposable changes_;
  MainLoopSource settle_;
  MainLoopSource retry_;
  MainLoopSource loadLimit_;
  std::optional<std::chrono::steady_clock::time_point> firstChange_;
};

}  // namespace fennelview
