// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/glib_ptr.hpp"
#include "common/main_loop_source.hpp"
#include "document/signal.hpp"
#include "panes/pane_set.hpp"
#include "present/render_presenter.hpp"
#include "site/served_site.hpp"
#include "window/server_page.hpp"

namespace fennelview {

// The web view and the page in it: the sample page, or the user's own page served through the
// app's scheme. The page is loaded once; later results replace its style sheet (and on the sample
// page its error panel) in place, so scroll position, form values, focus and selection stay. A
// change on disk to a file the own page loaded reloads it at the same scroll position. Links
// leave the sample page where it is; on an own page links within the site navigate. Web links go
// to the browser, the error's link to onEditorLink.
class PreviewPage {
 public:
  PreviewPage();
  ~PreviewPage();
  PreviewPage(const PreviewPage&) = delete;
  PreviewPage& operator=(const PreviewPage&) = delete;

  WebKitWebView* webView() const { return webView_.get(); }
  void onEditorLink(std::function<void()> open) { openEditorLink_ = std::move(open); }

  // Shows a result: the first page (or one from a changed template) loads in full, later ones
  // go in place. placeText is the error link's text, empty for none.
  void show(std::shared_ptr<const RenderPresenter> model, std::string placeText);
  // The window closes: the page stops following its files and answering the view, which may
  // outlive it. Its owner shows no more results.
  void close();
  // Where the page says what happened to it (its web process ended, and why).
  void setNotice(std::function<void(const std::string&)> notice) { notice_ = std::move(notice); }

  // The user's page from `site`, shown from the next result on (at once when one is shown).
  void showSite(std::shared_ptr<ServedSite> site, std::filesystem::path page);
  // The page a server makes at `address`, with the CSS whose file name has the stem `stem`; saves of
  // the files of `projectRoot` reload it. Problems go to `problem` (an empty text: none).
  void showServer(const std::string& address, const std::string& stem, const std::optional<std::filesystem::path>& projectRoot,
                  ServerPage::Problem problem);
  ServerPage* server() const { return server_.get(); }
  // Back to the sample page.
  void showSample();
  const std::shared_ptr<ServedSite>& site() const { return site_; }
  // The own page shown, also after a link within the site was followed.
  const std::filesystem::path& sitePage() const { return sitePage_; }
  // Told when a link within the site leads to another page.
  void onPageFollowed(std::function<void()> followed) { pageFollowed_ = std::move(followed); }
  // What the own page's site answers for a URL the page uses (the compiled CSS from memory, or a
  // file of the site); a refusal for URLs of elsewhere and on the sample page.
  SiteAnswer answerFor(const std::string& url) const;
  // Loads the own page again where it was scrolled to.
  void reloadKeepingScroll();
  // A site shown in several pages tells one of them of the files it serves: this page, from now
  // on, following every file the site has served so far.
  void followServed();
  // The media the page emulates: the sample page's @media rules and the page's matchMedia
  // answer as in `media`, from the next load on.
  void setMedia(const MediaState& media);
  const MediaState& media() const { return media_; }

 private:
  void loadFullPage();
  void updateInPlace(bool replaceStyle);
  void showOnSite();
  void loadSite();
  void swapCss();
  void loadFinished();
  void committed();
  void follow(const std::filesystem::path& file);
  void unfollowAll();
  void reloadSoon();
  static void loadChanged(WebKitWebView* view, WebKitLoadEvent event, PreviewPage* self);
  static gboolean decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                               PreviewPage* self);

  GObjectPtr<WebKitWebView> webView_;
  std::shared_ptr<const RenderPresenter> model_;
  std::string placeText_;
  std::function<void()> openEditorLink_;
  // The URI of the load under way or done, and its template.
  std::string loadedURI_;
  std::string loadedTemplate_;
  bool loading_ = false;
  // Ends the page's scripts' answers that are still to come.
  GObjectPtr<GCancellable> calls_;
  std::function<void(const std::string&)> notice_;
  std::function<void()> pageFollowed_;
  // The own page: its site, file and URI, the files followed on disk, and what waits for its load.
  std::shared_ptr<ServedSite> site_;
  std::filesystem::path sitePage_;
  std::string siteOrigin_;
  std::vector<std::string> followed_;
  Disposable changes_;
  bool swapPending_ = false;
  std::optional<std::string> scrollToRestore_;
  MainLoopSource reloadSource_;
  std::unique_ptr<ServerPage> server_;
  std::filesystem::path addedCssTold_;  // the last own page told that it got the CSS added
  MediaState media_;
  std::unique_ptr<WebKitUserScript, decltype(&webkit_user_script_unref)> emulation_{nullptr, webkit_user_script_unref};
};

}  // namespace fennelview
