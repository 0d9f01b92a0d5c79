// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/server_page.hpp"

#include <glib/gi18n.h>
#include <libsoup/soup.h>

#include <nlohmann/json.hpp>

#include "common/formatted.hpp"
#include "document/file_watcher.hpp"
#include "site/served_source_map.hpp"
#include "site/server_pages.hpp"
#include "site/site_pages.hpp"
#include "window/page_call.hpp"
#include "window/window_resources.hpp"

namespace fennelview {

namespace {

// The world our scripts share with the preview's: the page's scripts cannot see them.
constexpr const char* kWorld = "fennelview";
// Saves come in bursts (a generator rewriting its output): the page reloads once they stop, or
// at the latest this long after the first.
constexpr auto kSettle = std::chrono::milliseconds(300);
constexpr auto kSettleAtMost = std::chrono::seconds(2);
constexpr auto kRetry = std::chrono::seconds(2);
constexpr auto kLoadLimit = std::chrono::seconds(30);
constexpr guint64 kPageLimit = 20 * 1024 * 1024;
// The Sass text a map carries into the page; past it sources go without their text.
constexpr std::size_t kMapSourceBytes = 4u << 20;
// The files whose saves are followed; past them the project's other files reload nothing.
constexpr std::size_t kFollowedFiles = 1000;
// The folders where files made later are looked for.
constexpr std::size_t kWatchedFolders = 256;

std::string json(const nlohmann::json& value) { return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

bool cancelled(const GError* error) {
  return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

}  // namespace

ServerPage::ServerPage(WebKitWebView* view, std::string address, std::string stem,
                       const std::optional<std::filesystem::path>& projectRoot, Problem problem,
                       std::function<void(const std::string&)> note)
    : view_(view),
      address_(std::move(address)),
      origin_(serverOrigin(address_)),
      stem_(std::move(stem)),
      projectRoot_(projectRoot),
      problem_(std::move(problem)),
      note_(std::move(note)),
      calls_(g_cancellable_new()) {
  g_signal_connect(view_, "load-failed", G_CALLBACK(loadFailed), this);
  g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(tlsFailed), this);
  if (projectRoot) {
    auto list = serverPageWatchList(*projectRoot);
    followed_ = std::move(list.files);
    if (followed_.size() > kFollowedFiles) followed_.resize(kFollowedFiles);
    for (const auto& file : followed_) sharedFileWatcher().appendPath(file);
    followedSet_.insert(followed_.begin(), followed_.end());
    changes_ = fileChangeSignal().observeNext([this](const std::string& file) { changed(file); });
    for (const auto& folder : list.folders) watchFolder(folder);
  }
}

void ServerPage::watchFolder(const std::filesystem::path& folder) {
  if (folders_.size() >= kWatchedFolders || !watchedFolders_.insert(folder.string()).second) return;
  GObjectPtr<GFile> file(g_file_new_for_path(folder.c_str()));
  GObjectPtr<GFileMonitor> monitor(g_file_monitor_directory(file.get(), G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr));
  if (!monitor) return;
  g_signal_connect(monitor.get(), "changed", G_CALLBACK(folderChanged), this);
  folders_.push_back(std::move(monitor));
}

void ServerPage::folderChanged(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event, ServerPage* self) {
  const bool gone = event == G_FILE_MONITOR_EVENT_DELETED || event == G_FILE_MONITOR_EVENT_MOVED_OUT ||
                    event == G_FILE_MONITOR_EVENT_RENAMED;
  if (gone) {
    // Editors' temporary files come and go: those followed since the page opened are let go.
    GCharPtr path(g_file_get_path(file));
    if (path && self->madeLater_.erase(path.get())) {
      std::erase(self->followed_, std::string(path.get()));
      self->followedSet_.erase(path.get());
      sharedFileWatcher().removePath(path.get());
    }
  }
  GFile* added = event == G_FILE_MONITOR_EVENT_CREATED || event == G_FILE_MONITOR_EVENT_MOVED_IN ? file
                 : event == G_FILE_MONITOR_EVENT_RENAMED                                          ? other
                                                                                                  : nullptr;
  GCharPtr path(added ? g_file_get_path(added) : nullptr);
  if (!path) return;
  const std::filesystem::path name(path.get());
  std::error_code ec;
  const bool isFolder = std::filesystem::is_directory(std::filesystem::symlink_status(name, ec));
  if (isSkippedInProject(name.filename().string(), isFolder)) return;
  if (!isFolder) return self->madeLater(name);
  // Its files may be there before its own watch is.
  visitProjectFiles(
      name, [self](const std::filesystem::path& inside) { self->madeLater(inside); },
      [self](const std::filesystem::path& folder) { self->watchFolder(folder); });
}

void ServerPage::madeLater(const std::filesystem::path& file) {
  // Followed from now on; it may be in use already.
  if (!reloadsServerPage(file) || followedSet_.contains(file.string()) || followed_.size() >= kFollowedFiles) return;
  followed_.push_back(file.string());
  followedSet_.insert(file.string());
  madeLater_.insert(file.string());
  sharedFileWatcher().appendPath(file.string());
  changed(file.string());
}

ServerPage::~ServerPage() {
  g_cancellable_cancel(calls_.get());
  g_signal_handlers_disconnect_by_data(view_, this);
  for (const auto& monitor : folders_) {
    g_signal_handlers_disconnect_by_data(monitor.get(), this);
    g_file_monitor_cancel(monitor.get());
  }
  changes_.dispose();
  for (const auto& file : followed_) sharedFileWatcher().removePath(file);
  if (script_) webkit_user_content_manager_remove_script(webkit_web_view_get_user_content_manager(view_), script_.get());
}

void ServerPage::installScript() {
  static const std::string body = windowScript("page/server_css.js");
  const std::string source = "const fennelview = " + json({{"origin", origin_}, {"stem", stem_}, {"css", css_}}) +
                             ";\nif (location.origin === fennelview.origin) " + body;
  auto* manager = webkit_web_view_get_user_content_manager(view_);
  if (script_) webkit_user_content_manager_remove_script(manager, script_.get());
  script_.reset(webkit_user_script_new_for_world(
      source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, nullptr, nullptr));
  webkit_user_content_manager_add_script(manager, script_.get());
}

void ServerPage::setCss(std::shared_ptr<const std::string> css, const std::shared_ptr<const SourceMap>& map) {
  compiled_ = css ? std::move(css) : std::make_shared<const std::string>();
  css_ = *compiled_;
  // In the page's <style> the map can only come along in a data: URL.
  const auto urlOf = [this](const std::filesystem::path& source) {
    const auto inside = projectRoot_ ? source.lexically_normal().lexically_relative(*projectRoot_) : std::filesystem::path();
    const bool within = !inside.empty() && *inside.begin() != "..";
    return "/" + (within ? inside.generic_string() : ".outside/" + source.filename().string());
  };
  if (const auto text = map ? servedSourceMap(*map, stem_ + ".css", urlOf, kMapSourceBytes) : std::nullopt) {
    GCharPtr encoded(g_base64_encode(reinterpret_cast<const guchar*>(text->data()), text->size()));
    css_ += std::string(css_.empty() || css_.ends_with('\n') ? "" : "\n") + "/*# sourceMappingURL=data:application/json;base64," +
            encoded.get() + " */\n";
  }
  // Pages loaded from now on get it from the start, the one shown in place.
  installScript();
  if (!loaded_) {
    loaded_ = true;
    return load(address_);
  }
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  GCharPtr valid(g_utf8_make_valid(css_.data(), static_cast<gssize>(css_.size())));
  g_variant_dict_insert(&arguments, "css", "s", valid.get());
  webkit_web_view_call_async_javascript_function(view_, "if (globalThis.fennelviewSwap) fennelviewSwap(css);", -1,
                                                 g_variant_dict_end(&arguments), kWorld, nullptr, nullptr, nullptr, nullptr);
}

void ServerPage::load(const std::string& uri) {
  ++loads_;
  retry_.reset();
  loadLimit_ = MainLoopSource::after(kLoadLimit, [this] {
    if (!webkit_web_view_is_loading(view_)) return;
    webkit_web_view_stop_loading(view_);
    /* Translators: %1$s is a server, such as "localhost:8000"; %2$d a number of seconds. */
    say(formatted(_("The page from %1$s did not finish loading within %2$d seconds."), serverName(address_).c_str(),
                  static_cast<int>(kLoadLimit.count())));
  });
  webkit_web_view_load_uri(view_, uri.c_str());
}

void ServerPage::reload() {
  if (!loaded_) return;
  const char* uri = webkit_web_view_get_uri(view_);
  const std::string shown = uri && allows(uri) ? uri : address_;
  // The server was away, or answered with an error: the address it failed on, or the page again.
  if (!problemText_.empty()) return load(failedURI_.empty() ? shown : failedURI_);
  evaluateInPage(view_, kScrollPositionScript, calls_.get(), [this](JSCValue* value) {
    scrollToRestore_ = scrollPosition(value);
    load(webkit_web_view_get_uri(view_));
  });
}

void ServerPage::retry() { reload(); }

void ServerPage::trust() {
  if (!certificate_) return;
  GCharPtr host(nullptr);
  if (GUri* uri = g_uri_parse(failedURI_.c_str(), G_URI_FLAGS_NONE, nullptr)) {
    host.reset(g_strdup(g_uri_get_host(uri)));
    g_uri_unref(uri);
  }
  if (!host) return;
  webkit_network_session_allow_tls_certificate_for_host(webkit_web_view_get_network_session(view_), certificate_.get(), host.get());
  load(failedURI_);
}

bool ServerPage::allows(const std::string& target) const { return target.starts_with(origin_ + "/"); }

bool ServerPage::responded(WebKitURIResponse* response) {
  failedURI_.clear();
  const guint status = webkit_uri_response_get_status_code(response);
  if (webkit_uri_response_get_content_length(response) > kPageLimit) {
    /* Translators: %1$s is a server, such as "localhost:8000"; %2$d a number of megabytes. */
    say(formatted(_("The page from %1$s is larger than %2$d MB and is not shown."), serverName(address_).c_str(),
                  static_cast<int>(kPageLimit / (1024 * 1024))));
    return false;
  }
  if (status >= 400) {
    /* Translators: %1$s is a server, such as "localhost:8000"; %2$u an HTTP status, %3$s its reason, such as "Not Found". */
    say(formatted(_("The server at %1$s answered %2$u %3$s."), serverName(address_).c_str(), status,
                  soup_status_get_phrase(status) ? soup_status_get_phrase(status) : ""));
  } else {
    say({});
  }
  return true;
}

void ServerPage::finished() {
  loadLimit_.reset();
  evaluateInPage(view_,
                 "(s => s && s.dataset.fennelviewAdded === undefined ? new URL(s.dataset.fennelviewBase).pathname : '')"
                 "(document.querySelector('style[data-fennelview-base]'))",
                 calls_.get(), [this](JSCValue* value) {
                   GCharPtr path(value && jsc_value_is_string(value) ? jsc_value_to_string(value) : nullptr);
                   if (path && *path) linkedPath_ = path.get();
                 });
  if (note_) {
    evaluateInPage(view_, "document.querySelector('style[data-fennelview-added]') !== null", calls_.get(),
                   [this](JSCValue* value) {
                     if (!value || !jsc_value_to_boolean(value) || !note_) return;
                     /* Translators: %1$s is the name of a CSS file, such as "main.css". */
                     std::exchange(note_, {})(formatted(_("This page does not link %1$s; the compiled CSS is added after its own style sheets."),
                                                        (stem_ + ".css").c_str()));
                   });
  }
  if (const auto scroll = std::exchange(scrollToRestore_, std::nullopt)) restoreScroll(view_, *scroll);
}

gboolean ServerPage::loadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error, ServerPage* self) {
  if (cancelled(error)) return TRUE;
  self->loadLimit_.reset();
  self->failedURI_ = uri ? uri : "";
  const bool away = g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_TRANSPORT) ||
                    g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED) ||
                    g_error_matches(error, G_IO_ERROR, G_IO_ERROR_HOST_UNREACHABLE) ||
                    g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE);
  const auto name = serverName(self->address_);
  /* Translators: %1$s is a server, such as "localhost:8000". */
  if (away) {
    self->say(formatted(_("The server at %1$s does not answer."), name.c_str()));
    // It may be restarting: asked again until it answers.
    self->retry_ = MainLoopSource::after(kRetry, [self] { self->load(self->failedURI_); });
  } else {
    /* Translators: %1$s is a server, such as "localhost:8000"; %2$s why its page could not be loaded. */
    self->say(formatted(_("The page from %1$s could not be loaded: %2$s"), name.c_str(), error ? error->message : ""));
  }
  return TRUE;  // no error page in place of the preview
}

gboolean ServerPage::tlsFailed(WebKitWebView*, const char* uri, GTlsCertificate* certificate, GTlsCertificateFlags,
                               ServerPage* self) {
  self->loadLimit_.reset();
  self->failedURI_ = uri ? uri : "";
  self->certificate_ = GObjectPtr<GTlsCertificate>::retain(certificate);
  /* Translators: %1$s is a server, such as "localhost:8443". */
  self->say(formatted(_("The certificate of %1$s is not trusted. Continue only if it is your own development server."),
                      serverName(self->failedURI_).c_str()),
            true);
  return TRUE;
}

void ServerPage::say(const std::string& text, bool canTrust) {
  problemText_ = text;
  if (problem_) problem_(text, canTrust);
}

void ServerPage::changed(const std::string& file) {
  if (!followedSet_.contains(file) || !loaded_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!settle_.active()) firstChange_ = now;
  const auto wait = std::min<std::chrono::steady_clock::duration>(kSettle, *firstChange_ + kSettleAtMost - now);
  settle_ = MainLoopSource::after(std::chrono::duration_cast<std::chrono::milliseconds>(std::max(wait, {})), [this] { reload(); });
}

}  // namespace fennelview
