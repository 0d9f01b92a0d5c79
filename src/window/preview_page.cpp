// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview_page.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>

#include "document/file_watcher.hpp"
#include "common/formatted.hpp"
#include "panes/media_query_rewrite.hpp"
#include "present/error_link.hpp"
#include "site/site_pages.hpp"
#include "window/preview_web_context.hpp"
#include "window/site_scheme.hpp"
#include "window/page_call.hpp"
#include "window/window_resources.hpp"

namespace fennelview {

namespace {

// Our own script world: the page's scripts cannot see or redefine what runs here.
constexpr const char* kWorld = "fennelview";

std::string withoutFragment(const char* uri) {
  std::string text = uri ? uri : "";
  return text.substr(0, text.find('#'));
}

// GVariant strings must be UTF-8; a compiler's bytes need not be.
GVariant* text(const std::string& value) {
  if (g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr)) return g_variant_new_string(value.c_str());
  GCharPtr valid(g_utf8_make_valid(value.data(), static_cast<gssize>(value.size())));
  return g_variant_new_string(valid.get());
}

// A large style sheet handed to the page without a copy: the variant holds the text itself.
GVariant* sharedText(const std::shared_ptr<const std::string>& value) {
  if (!g_utf8_validate(value->data(), static_cast<gssize>(value->size()), nullptr)) return text(*value);
  using Held = std::shared_ptr<const std::string>;
  auto held = std::make_unique<Held>(value);
  // A string variant's data is the text with its terminating NUL, which std::string keeps.
  return g_variant_new_from_data(G_VARIANT_TYPE_STRING, value->c_str(), value->size() + 1, TRUE,
                                 +[](gpointer data) { std::unique_ptr<Held>(static_cast<Held*>(data)); }, held.release());
}

// An answer to a call the page no longer waits for.
bool cancelled(const GError* error) { return error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }

}  // namespace

PreviewPage::PreviewPage()
    : // In the web process all previews share; a page lost with it is loaded again.
      webView_(PreviewWebContext::shared().makeWebView([this](const std::string& why, bool loadAgain) {
        if (notice_ && !why.empty()) notice_(why);
        if (!loadAgain || !model_) return;
        if (server_) {
          server_->reload();
        } else if (site_) {
          loadSite();
        } else {
          loadFullPage();
        }
      })),
      calls_(g_cancellable_new()) {
  g_signal_connect(webView_.get(), "decide-policy", G_CALLBACK(decidePolicy), this);
  g_signal_connect(webView_.get(), "load-changed", G_CALLBACK(loadChanged), this);
}

void PreviewPage::loadChanged(WebKitWebView*, WebKitLoadEvent event, PreviewPage* self) {
  if (self->server_) {
    if (event == WEBKIT_LOAD_FINISHED) self->server_->finished();
    return;
  }
  if (event == WEBKIT_LOAD_COMMITTED && self->site_) return self->committed();
  if (event != WEBKIT_LOAD_FINISHED) return;
  self->loading_ = false;
  if (self->site_) return self->loadFinished();
  // The full page carries the message; the panel's link to its place comes in place.
  if (self->model_ && !self->placeText_.empty()) self->updateInPlace(false);
}

PreviewPage::~PreviewPage() {
  close();
  // The view is shared with the window's widgets and may outlive this page.
  g_signal_handlers_disconnect_by_data(webView_.get(), this);
}

void PreviewPage::close() {
  // Navigation stays checked while the view lasts; loads no longer reach back in.
  g_signal_handlers_disconnect_by_func(webView_.get(), reinterpret_cast<gpointer>(loadChanged), this);
  PreviewWebContext::shared().forget(webView());
  g_cancellable_cancel(calls_.get());
  if (site_) site_->onServed({});
  unfollowAll();
  server_.reset();
}

void PreviewPage::show(std::shared_ptr<const RenderPresenter> model, std::string placeText) {
  model_ = std::move(model);
  placeText_ = std::move(placeText);
  // Whatever the page kind, a result needs the shared web process: one stuck in a page's script
  // is ended within the limit, so no page stalls every other preview.
  PreviewWebContext::shared().expectAnswer(webView());
  if (server_) {
    // The page keeps the last CSS that compiled; an error shows beside the page, not in it.
    if (!model_->isFailure()) server_->setCss(model_->sharedCSS(), model_->sourceMap());
    return;
  }
  if (site_) return showOnSite();
  const auto& css = model_->styleText();
  // GVariant strings end at a NUL; such a sheet goes through the full page instead.
  const bool fits = std::memchr(css.data(), '\0', css.size()) == nullptr;
  if (loadedURI_.empty() || loading_ || !fits || !model_->updatesInPlace() || loadedURI_ != model_->baseURL() ||
      loadedTemplate_ != model_->templateText()) {
    loadFullPage();
  } else {
    updateInPlace(true);
  }
}

void PreviewPage::loadFullPage() {
  loadedURI_ = model_->baseURL();
  loadedTemplate_ = model_->templateText();
  loading_ = true;
  const auto page = media_.emulates() ? model_->fullPageStringWith(emulateMedia(model_->styleText(), media_))
                                      : model_->fullPageString();
  webkit_web_view_load_html(webView(), page.c_str(), loadedURI_.c_str());
}

void PreviewPage::updateInPlace(bool replaceStyle) {
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  if (!replaceStyle) {
    g_variant_dict_insert_value(&arguments, "css", g_variant_new_string(""));
  } else if (media_.emulates()) {
    g_variant_dict_insert_value(&arguments, "css", text(emulateMedia(model_->styleText(), media_)));
  } else {
    g_variant_dict_insert_value(&arguments, "css", sharedText(model_->sharedStyleText()));
  }
  // Strings only: the web view's bridge refuses booleans and integers.
  g_variant_dict_insert(&arguments, "replaceStyle", "s", replaceStyle ? "yes" : "");
  g_variant_dict_insert_value(&arguments, "error", text(model_->errorText()));
  g_variant_dict_insert_value(&arguments, "place", text(placeText_));
  g_variant_dict_insert(&arguments, "editorLink", "s", ErrorLink::kURI);
  static const std::string script = windowScript("page/update_page.js");
  webkit_web_view_call_async_javascript_function(
      webView(), script.c_str(), -1, g_variant_dict_end(&arguments), kWorld, nullptr, calls_.get(),
      +[](GObject* view, GAsyncResult* result, gpointer data) {
        GError* rawError = nullptr;
        GObjectPtr<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &rawError));
        GErrorPtr error(rawError);
        if (cancelled(error.get())) return;
        auto* self = static_cast<PreviewPage*>(data);
        if (!self->model_) return;
        // A page without our elements, or one that went away, gets the whole page again.
        if (!value || !jsc_value_to_boolean(value.get())) self->loadFullPage();
      },
      this);
}

void PreviewPage::showServer(const std::string& address, const std::string& stem,
                             const std::optional<std::filesystem::path>& projectRoot, ServerPage::Problem problem) {
  unfollowAll();
  if (site_) site_->onServed({});
  site_.reset();
  sitePage_.clear();
  siteOrigin_.clear();
  loadedURI_.clear();
  server_.reset();
  server_ = std::make_unique<ServerPage>(webView(), address, stem, projectRoot, std::move(problem), notice_);
  if (model_ && !model_->isFailure()) server_->setCss(model_->sharedCSS(), model_->sourceMap());
}

void PreviewPage::setMedia(const MediaState& media) {
  if (media == media_) return;
  media_ = media;
  auto* content = webkit_web_view_get_user_content_manager(webView());
  if (emulation_) webkit_user_content_manager_remove_script(content, emulation_.get());
  emulation_.reset();
  if (media_.emulates()) {
    // In the page's own world: it is the page's matchMedia that answers.
    static const std::string script = windowScript("page/emulate_media.js");
    const auto state = toJson(media_).dump(-1, ' ', true);
    emulation_.reset(webkit_user_script_new((script + "(" + state + ");").c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
    webkit_user_content_manager_add_script(content, emulation_.get());
  }
  if (!model_ || loadedURI_.empty()) return;
  // The page's scripts have asked matchMedia already: the page loads again.
  if (site_) {
    reloadKeepingScroll();
  } else {
    loadFullPage();
  }
}

void PreviewPage::showSite(std::shared_ptr<ServedSite> site, std::filesystem::path page) {
  unfollowAll();
  server_.reset();
  site_ = std::move(site);
  sitePage_ = std::move(page);
  siteOrigin_ = SiteScheme::originOf(*site_);
  loadedURI_.clear();
  SiteScheme::of(webkit_web_view_get_context(webView())).serve(site_);
  site_->onServed([this](const std::filesystem::path& file) { follow(file); });
  // A change to any file the page loaded shows at once; the first batch of changes reloads it once.
  changes_ = fileChangeSignal().observeNext([this](const std::string& changed) {
    if (site_ && std::find(followed_.begin(), followed_.end(), changed) != followed_.end()) reloadSoon();
  });
  if (model_) showOnSite();
}

SiteAnswer PreviewPage::answerFor(const std::string& url) const {
  if (!site_ || siteOrigin_.empty() || !url.starts_with(siteOrigin_ + "/")) return SiteRefusal{};
  const auto path = url.substr(siteOrigin_.size());
  return site_->answer(path.substr(0, path.find_first_of("?#")));
}

void PreviewPage::showSample() {
  if (server_) {
    server_.reset();
    if (model_) loadFullPage();
  }
  if (!site_) return;
  unfollowAll();
  site_->onServed({});
  site_.reset();
  sitePage_.clear();
  siteOrigin_.clear();
  loadedURI_.clear();
  if (model_) loadFullPage();
}

void PreviewPage::showOnSite() {
  // The page keeps the last CSS that compiled; an error shows beside the page, not in it.
  if (!model_->isFailure()) site_->setCompiledCss(model_->sharedCSS(), model_->sourceMap());
  if (loadedURI_.empty()) return loadSite();
  if (model_->isFailure()) return;
  if (loading_) {
    swapPending_ = true;
  } else {
    swapCss();
  }
}

void PreviewPage::loadSite() {
  const auto uri = SiteScheme::uriOf(*site_, sitePage_);
  if (!uri) return;
  loadedURI_ = *uri;
  loading_ = true;
  swapPending_ = false;
  webkit_web_view_load_uri(webView(), uri->c_str());
}

void PreviewPage::swapCss() {
  static const std::string script = windowScript("page/swap_css.js");
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  // As JSON text: the web view's bridge passes strings, not lists of them.
  const nlohmann::json paths(site_->cssPaths());
  g_variant_dict_insert_value(&arguments, "paths",
                              text(paths.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
  g_variant_dict_insert(&arguments, "version", "s", std::to_string(site_->cssVersion()).c_str());
  // The text itself, not a new request for it: a style's text shows sooner than a link's load.
  g_variant_dict_insert_value(&arguments, "css", sharedText(model_->sharedCSS()));
  g_variant_dict_insert(&arguments, "map", "s", site_->servesMap() ? "yes" : "");
  webkit_web_view_call_async_javascript_function(webView(), script.c_str(), -1, g_variant_dict_end(&arguments), kWorld,
                                                 nullptr, nullptr, nullptr, nullptr);
}

void PreviewPage::loadFinished() {
  if (std::exchange(swapPending_, false)) swapCss();
  const auto path = site_->urlPathOf(sitePage_);
  if (path && notice_ && site_->cssAddedTo(*path) && addedCssTold_ != sitePage_) {
    addedCssTold_ = sitePage_;
    /* Translators: %1$s is the name of a CSS file, such as "main.css". */
    notice_(formatted(_("This page does not link %1$s; the compiled CSS is added after its own style sheets."),
                      (sassStem(site_->document()) + ".css").c_str()));
  }
  if (const auto scroll = std::exchange(scrollToRestore_, std::nullopt)) restoreScroll(webView(), *scroll);
}

void PreviewPage::committed() {
  const std::string uri = withoutFragment(webkit_web_view_get_uri(webView()));
  if (siteOrigin_.empty() || !uri.starts_with(siteOrigin_ + "/")) return;
  const auto path = uri.substr(siteOrigin_.size());
  const auto answer = site_->answer(path.substr(0, path.find('?')));
  const auto* page = std::get_if<SiteFile>(&answer);
  if (!page || !page->isPage || page->file == sitePage_) return;
  sitePage_ = page->file;
  if (pageFollowed_) pageFollowed_();
}

void PreviewPage::reloadKeepingScroll() {
  if (!site_) return;
  PreviewWebContext::shared().expectAnswer(webView());
  evaluateInPage(webView(), kScrollPositionScript, calls_.get(), [this](JSCValue* value) {
    if (!site_) return;
    scrollToRestore_ = scrollPosition(value);
    loading_ = true;
    webkit_web_view_reload(webView());
  });
}

void PreviewPage::reloadSoon() {
  if (reloadSource_.active()) return;
  reloadSource_ = MainLoopSource::after(std::chrono::milliseconds(50), [this] { reloadKeepingScroll(); });
}

void PreviewPage::followServed() {
  if (!site_) return;
  site_->onServed([this](const std::filesystem::path& file) { follow(file); });
  for (const auto& file : site_->servedFiles()) {
    if (std::find(followed_.begin(), followed_.end(), file.string()) == followed_.end()) follow(file);
  }
}

void PreviewPage::follow(const std::filesystem::path& file) {
  followed_.push_back(file.string());
  sharedFileWatcher().appendPath(followed_.back());
}

void PreviewPage::unfollowAll() {
  changes_.dispose();
  reloadSource_.reset();
  for (const auto& file : followed_) sharedFileWatcher().removePath(file);
  followed_.clear();
}

gboolean PreviewPage::decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   PreviewPage* self) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (self->server_ && webkit_response_policy_decision_is_main_frame_main_resource(response) &&
        !self->server_->responded(webkit_response_policy_decision_get_response(response))) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    return FALSE;
  }
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string target = uri ? uri : "";
  const auto kind = webkit_navigation_action_get_navigation_type(action);
  const bool clicked = kind == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED || kind == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
  // Our own page load, and jumps to an anchor of the page shown, go ahead.
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    if (!clicked && target == self->loadedURI_) return FALSE;
    // Links between the pages of the user's site stay in the preview.
    if (!self->siteOrigin_.empty() && target.starts_with(self->siteOrigin_ + "/")) return FALSE;
    // So do a server's pages, its redirects and its forms.
    if (self->server_ && self->server_->allows(target)) return FALSE;
    if (target.find('#') != std::string::npos && withoutFragment(uri) == withoutFragment(webkit_web_view_get_uri(view))) {
      return FALSE;
    }
  }
  webkit_policy_decision_ignore(decision);
  if (target == ErrorLink::kURI) {
    if (self->openEditorLink_) self->openEditorLink_();
  } else if ((target.starts_with("http://") || target.starts_with("https://")) &&
             webkit_navigation_action_is_user_gesture(action)) {
    g_app_info_launch_default_for_uri_async(target.c_str(), nullptr, nullptr, nullptr, nullptr);
  }
  return TRUE;
}

}  // namespace fennelview
