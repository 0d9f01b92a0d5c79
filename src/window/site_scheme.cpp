// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/site_scheme.hpp"

#include <gio/gunixinputstream.h>
#include <libsoup/soup.h>
#include <sys/stat.h>

#include <variant>

#include "common/glib_ptr.hpp"
#include "common/random_bytes.hpp"

namespace fennelview {

namespace {

constexpr const char* dataKey = "fennelview-site-scheme";
// A page larger than this is sent as it is, without its links taken over.
constexpr gsize maximumRewrittenPageBytes = 16 * 1024 * 1024;

void finish(WebKitURISchemeRequest* request, GInputStream* stream, gint64 length, guint status,
            const std::string& contentType) {
  GObjectPtr<WebKitURISchemeResponse> response(webkit_uri_scheme_response_new(stream, length));
  webkit_uri_scheme_response_set_status(response.get(), status, nullptr);
  if (!contentType.empty()) webkit_uri_scheme_response_set_content_type(response.get(), contentType.c_str());
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  // Every load reads the file as it is now: a page reloaded after a save must not see an old copy.
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  webkit_uri_scheme_response_set_http_headers(response.get(), headers);
  webkit_uri_scheme_request_finish_with_response(request, response.get());
}

void finishWithText(WebKitURISchemeRequest* request, std::string text, guint status, const std::string& contentType) {
  const auto length = static_cast<gint64>(text.size());
  GBytes* bytes = g_bytes_new_take(g_memdup2(text.data(), text.size()), text.size());
  GObjectPtr<GInputStream> stream(g_memory_input_stream_new_from_bytes(bytes));
  g_bytes_unref(bytes);
  finish(request, stream.get(), length, status, contentType);
}

void finishNotFound(WebKitURISchemeRequest* request) { finishWithText(request, {}, 404, "text/plain"); }

// One file request between its asynchronous steps.
struct PendingFile {
  GObjectPtr<WebKitURISchemeRequest> request;
  std::shared_ptr<ServedSite> site;
  std::string urlPath;
  std::string contentType;
  GObjectPtr<GInputStream> stream;
  std::string page;
};

void pageRead(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<PendingFile> pending(static_cast<PendingFile*>(data));
  gsize read = 0;
  if (!g_input_stream_read_all_finish(G_INPUT_STREAM(source), result, &read, nullptr)) {
    finishNotFound(pending->request.get());
    return;
  }
  pending->page.resize(read);
  finishWithText(pending->request.get(), pending->site->servedPage(pending->page, pending->urlPath), 200,
                 pending->contentType);
}

// Streams the file opened where it was confined: its name is never looked up again.
void sendFile(std::unique_ptr<PendingFile> pending, SiteFile file) {
  struct stat status{};
  const gint64 size = fstat(file.fd.get(), &status) == 0 ? status.st_size : -1;
  pending->stream = GObjectPtr<GInputStream>(g_unix_input_stream_new(file.fd.release(), TRUE));
  if (file.isPage && size >= 0 && static_cast<guint64>(size) <= maximumRewrittenPageBytes) {
    pending->page.resize(static_cast<std::size_t>(size));
    auto* stream = pending->stream.get();
    auto* buffer = pending->page.data();
    const gsize length = pending->page.size();
    g_input_stream_read_all_async(stream, buffer, length, G_PRIORITY_DEFAULT, nullptr, pageRead, pending.release());
    return;
  }
  finish(pending->request.get(), pending->stream.get(), size, 200, pending->contentType);
}

// A secret of this run: a site's host is made with it, so no page can work out another's.
const std::string& hostKey() {
  static const std::string key = randomBytes(32);
  return key;
}

}  // namespace

SiteScheme& SiteScheme::of(WebKitWebContext* context) {
  if (auto* existing = static_cast<SiteScheme*>(g_object_get_data(G_OBJECT(context), dataKey))) return *existing;
  auto made = std::make_unique<SiteScheme>(context, Key());
  SiteScheme& scheme = *made;
  g_object_set_data_full(G_OBJECT(context), dataKey, made.release(),
                         +[](gpointer data) { std::unique_ptr<SiteScheme>(static_cast<SiteScheme*>(data)); });
  return scheme;
}

SiteScheme::SiteScheme(WebKitWebContext* context, Key) {
  webkit_web_context_register_uri_scheme(context, scheme, handleRequest, this, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, scheme);
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme);
}

void SiteScheme::serve(const std::shared_ptr<ServedSite>& site) {
  auto& served = sites_[originOf(*site).substr(std::string(scheme).size() + 3)];
  // Served again, a site moves to the end: one entry per site, however often it is served.
  std::erase_if(served, [&site](const auto& weak) { return weak.expired() || weak.lock() == site; });
  served.push_back(site);
}

std::string SiteScheme::originOf(const ServedSite& site) {
  const std::string identity =
      site.projectRoot().string() + '\n' + site.webRoot().string() + '\n' + site.document().string();
  const auto& key = hostKey();
  GCharPtr digest(g_compute_hmac_for_string(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(key.data()), key.size(),
                                            identity.c_str(), -1));
  return std::string(scheme) + "://" + std::string(digest.get(), 32);
}

std::optional<std::string> SiteScheme::uriOf(const ServedSite& site, const std::filesystem::path& file) {
  const auto path = site.urlPathOf(file);
  if (!path) return std::nullopt;
  return originOf(site) + *path;
}

std::shared_ptr<ServedSite> SiteScheme::siteAt(const std::string& host) {
  const auto found = sites_.find(host);
  if (found == sites_.end()) return nullptr;
  auto& served = found->second;
  std::erase_if(served, [](const auto& weak) { return weak.expired(); });
  if (served.empty()) {
    sites_.erase(found);
    return nullptr;
  }
  return served.back().lock();
}

void SiteScheme::handleRequest(WebKitURISchemeRequest* request, gpointer self) {
  static_cast<SiteScheme*>(self)->respond(request);
}

void SiteScheme::respond(WebKitURISchemeRequest* request) {
  GUri* parsed = g_uri_parse(webkit_uri_scheme_request_get_uri(request), G_URI_FLAGS_ENCODED, nullptr);
  if (!parsed) {
    finishNotFound(request);
    return;
  }
  const std::string host = g_uri_get_host(parsed) ? g_uri_get_host(parsed) : "";
  const std::string path = g_uri_get_path(parsed);
  g_uri_unref(parsed);
  auto site = siteAt(host);
  // A request another origin makes of this one, should it know the host.
  const char* origin = soup_message_headers_get_one(webkit_uri_scheme_request_get_http_headers(request), "Origin");
  if (!site || (origin && origin != originOf(*site))) {
    finishNotFound(request);
    return;
  }
  auto answer = site->answer(path);
  if (std::holds_alternative<SiteRefusal>(answer)) {
    finishNotFound(request);
  } else if (auto* text = std::get_if<SiteText>(&answer)) {
    finishWithText(request, std::move(text->body), 200, text->contentType + "; charset=utf-8");
  } else {
    auto& file = std::get<SiteFile>(answer);
    site->noteServed(file.file);
    auto pending = std::make_unique<PendingFile>(
        PendingFile{GObjectPtr<WebKitURISchemeRequest>::retain(request), std::move(site), path, file.contentType, {}, {}});
    sendFile(std::move(pending), std::move(file));
  }
}

}  // namespace fennelview
