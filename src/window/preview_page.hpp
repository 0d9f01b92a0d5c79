// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <memory>
#include <string>

#include "common/glib_ptr.hpp"
#include "present/render_presenter.hpp"

namespace fennelview {

// The web view and the page in it. The page is loaded once; later results replace its style
// sheet and error panel in place, so scroll position, form values, focus and selection stay.
// Links leave the page where it is: web links go to the browser, the error's link to
// onEditorLink.
class PreviewPage : public std::enable_shared_from_this<PreviewPage> {
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
  // Results that still arrive are not shown.
  void close() { closed_ = true; }

 private:
  void loadFullPage();
  void updateInPlace(bool replaceStyle);
  static gboolean decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                               PreviewPage* self);

  // Lets the web context's page-lost callback, which may outlive this page, find it.
  std::shared_ptr<PreviewPage*> alive_;
  GObjectPtr<WebKitWebView> webView_;
  std::shared_ptr<const RenderPresenter> model_;
  std::string placeText_;
  std::function<void()> openEditorLink_;
  // The URI of the load under way or done, and its template.
  std::string loadedURI_;
  std::string loadedTemplate_;
  bool loading_ = false;
  bool closed_ = false;
};

}  // namespace fennelview
