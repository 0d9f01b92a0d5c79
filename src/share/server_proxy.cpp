// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/server_proxy.hpp"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "share/held_bytes.hpp"

namespace fennelview {

namespace {

constexpr std::size_t pieceBytes = 64 * 1024;
// An upstream that neither connects nor sends for this long is given up.
constexpr guint upstreamTimeoutSeconds = 30;

bool sameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool startsNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && sameNoCase(text.substr(0, prefix.size()), prefix);
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view each) { return sameNoCase(name, each); });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Headers of one connection rather than of the message, and those the proxy sets itself.
bool ownHeader(std::string_view name) {
  return startsNoCase(name, "Proxy-") ||
         isOneOf(name, {"Connection", "Keep-Alive", "TE", "Trailer", "Transfer-Encoding", "Upgrade", "Content-Length"});
}

// Calls `each` with every ';'-separated part of a header, trimmed.
template <class Each>
void forEachPart(std::string_view text, Each each) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = std::min(text.find(';', start), text.size());
    if (const auto part = trimmed(text.substr(start, end - start)); !part.empty()) each(part);
    start = end + 1;
  }
}

std::string withoutCookie(std::string_view header, std::string_view name) {
  std::string kept;
  forEachPart(header, [&](std::string_view pair) {
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') return;
    kept += kept.empty() ? "" : "; ";
    kept += pair;
  });
  return kept;
}

std::string withoutToken(std::string_view query) {
  std::string kept;
  std::size_t start = 0;
  while (start <= query.size()) {
    const auto end = std::min(query.find('&', start), query.size());
    const auto part = query.substr(start, end - start);
    if (!part.empty() && part != "token" && !part.starts_with("token=")) {
      kept += kept.empty() ? "" : "&";
      kept += part;
    }
    start = end + 1;
  }
  return kept;
}

// A development server on this machine has a certificate of its own that no one signed.
bool isLoopbackOrigin(std::string_view origin) {
  const auto host = origin.substr(std::min(origin.find("://") + 3, origin.size()));
  return host.starts_with("127.") || host.starts_with("[::1]") || startsNoCase(host, "localhost:") || sameNoCase(host, "localhost");
}

void shutDown(SoupServerMessage* message) {
  if (auto* socket = soup_server_message_get_socket(message)) g_socket_shutdown(socket, TRUE, TRUE, nullptr);
  soup_server_message_unpause(message);
}

void appendText(SoupMessageBody* body, std::string text) {
  auto* held = new std::string(std::move(text));
  GBytes* bytes = g_bytes_new_with_free_func(held->data(), held->size(), +[](gpointer data) { delete static_cast<std::string*>(data); }, held);
  soup_message_body_append_bytes(body, bytes);
  g_bytes_unref(bytes);
}

}  // namespace

std::string servedCookie(std::string_view cookie) {
  std::string kept;
  forEachPart(cookie, [&](std::string_view part) {
    const auto equals = part.find('=');
    const auto name = trimmed(part.substr(0, equals));
    const auto value = equals == std::string_view::npos ? std::string_view() : trimmed(part.substr(equals + 1));
    if (!kept.empty() && (isOneOf(name, {"Domain", "Secure"}) || (sameNoCase(name, "SameSite") && sameNoCase(value, "None")))) return;
    kept += kept.empty() ? "" : "; ";
    kept += part;
  });
  return kept;
}

std::string relativeToOrigin(std::string_view html, std::string_view origin) {
  std::string page;
  page.reserve(html.size());
  std::size_t copied = 0;
  for (auto at = html.find(origin); at != std::string_view::npos; at = html.find(origin, copied)) {
    const auto after = at + origin.size();
    const char next = after < html.size() ? html[after] : '\0';
    page.append(html.substr(copied, at - copied));
    if (g_ascii_isalnum(next) || next == '.' || next == '-' || next == '_' || next == ':' || next == '@') {
      page.append(origin);
    } else if (next != '/') {
      page += '/';
    }
    copied = after;
  }
  page.append(html.substr(copied));
  return page;
}

std::string relativeTo(std::string_view url, std::string_view origin) {
  if (!startsNoCase(url, origin)) return std::string(url);
  const auto rest = url.substr(origin.size());
  if (rest.empty()) return "/";
  if (rest.front() == '/') return std::string(rest);
  if (rest.front() == '?' || rest.front() == '#') return "/" + std::string(rest);
  return std::string(url);
}

// One request on its way to the server and its answer on the way back. Owned by the proxy until
// the browser's message is finished, and by each read under way, which may end after the proxy.
struct ServerProxy::Exchange : std::enable_shared_from_this<Exchange> {
  ServerProxy* proxy = nullptr;  // none once the proxy is gone
  GObjectPtr<SoupServerMessage> browser;
  GObjectPtr<SoupMessage> upstream;
  GObjectPtr<GCancellable> cancellable{g_cancellable_new()};
  GObjectPtr<GInputStream> body;
  std::string origin;
  // A page read whole before it goes on; `held` of it counted in the proxy's held bytes.
  bool readsPage = false;
  std::string page;
  std::size_t held = 0;
  bool reading = false;
  bool ended = false;
  unsigned ahead = 0;  // pieces given to the browser's message, not yet written

  bool over() const { return !proxy || g_cancellable_is_cancelled(cancellable.get()); }
};

ServerProxy::ServerProxy(Pages pages, std::string tokenCookie, std::shared_ptr<std::size_t> heldBytes, std::size_t heldLimit)
    : pages_(std::move(pages)),
      tokenCookie_(std::move(tokenCookie)),
      heldBytes_(std::move(heldBytes)),
      heldLimit_(heldLimit),
      session_(soup_session_new_with_options("timeout", upstreamTimeoutSeconds, "max-conns", 64, "max-conns-per-host", 32, nullptr)) {
  // Bodies go through as the server encoded them; it is asked for none, so pages can be read.
  soup_session_remove_feature_by_type(session_.get(), SOUP_TYPE_CONTENT_DECODER);
}

ServerProxy::~ServerProxy() {
  for (const auto& exchange : std::exchange(exchanges_, {})) {
    g_cancellable_cancel(exchange->cancellable.get());
    g_signal_handlers_disconnect_by_data(exchange->browser.get(), exchange.get());
    *heldBytes_ -= std::exchange(exchange->held, 0);
    exchange->proxy = nullptr;
  }
}

void ServerProxy::release(Exchange* exchange) {
  g_cancellable_cancel(exchange->cancellable.get());
  g_signal_handlers_disconnect_by_data(exchange->browser.get(), exchange);
  *heldBytes_ -= std::exchange(exchange->held, 0);
  exchange->proxy = nullptr;
  std::erase_if(exchanges_, [exchange](const ExchangeRef& each) { return each.get() == exchange; });
}

void ServerProxy::forward(SoupServerMessage* message, const std::string& upstream, const std::string& path) {
  auto* request = soup_server_message_get_request_headers(message);
  std::string uri = upstream + path;
  if (const char* query = g_uri_get_query(soup_server_message_get_uri(message))) {
    if (const auto kept = withoutToken(query); !kept.empty()) uri += "?" + kept;
  }
  // A WebSocket (a development server's own live reload) is not passed on.
  GObjectPtr<SoupMessage> outgoing(soup_message_headers_get_one(request, "Upgrade")
                                       ? nullptr
                                       : soup_message_new(soup_server_message_get_method(message), uri.c_str()));
  if (!outgoing) {
    soup_server_message_set_status(message, SOUP_STATUS_NOT_FOUND, nullptr);
    soup_server_message_set_response(message, "text/plain", SOUP_MEMORY_STATIC, "", 0);
    return;
  }
  const char* host = soup_message_headers_get_one(request, "Host");
  struct Copy {
    SoupMessageHeaders* to;
    std::string own;
    const std::string& upstream;
    const std::string& cookie;
  } copy{soup_message_get_request_headers(outgoing.get()), std::string("http://") + (host ? host : ""), upstream, tokenCookie_};
  soup_message_headers_foreach(request, +[](const char* name, const char* value, gpointer data) {
    const auto& copy = *static_cast<Copy*>(data);
    if (ownHeader(name) || isOneOf(name, {"Host", "Accept-Encoding", "Expect"})) return;
    std::string passed = value;
    if (sameNoCase(name, "Cookie")) {
      passed = withoutCookie(value, copy.cookie);
      if (passed.empty()) return;
    } else if (sameNoCase(name, "Origin") && passed == copy.own) {
      // The server's checks of forms (CSRF) expect its own origin.
      passed = copy.upstream;
    } else if (sameNoCase(name, "Referer") && passed.starts_with(copy.own + "/")) {
      passed = copy.upstream + passed.substr(copy.own.size());
    }
    soup_message_headers_append(copy.to, name, passed.c_str());
  }, &copy);
  soup_message_headers_replace(copy.to, "Accept-Encoding", "identity");
  soup_message_set_flags(outgoing.get(), SOUP_MESSAGE_NO_REDIRECT);
  if (soup_message_headers_get_encoding(request) == SOUP_ENCODING_CONTENT_LENGTH) {
    // The body, bounded before it was read, goes on as the pieces it came in.
    auto* body = soup_server_message_get_request_body(message);
    GObjectPtr<GInputStream> stream(g_memory_input_stream_new());
    goffset offset = 0;
    while (GBytes* chunk = soup_message_body_get_chunk(body, offset)) {
      offset += static_cast<goffset>(g_bytes_get_size(chunk));
      g_memory_input_stream_add_bytes(G_MEMORY_INPUT_STREAM(stream.get()), chunk);
      const bool empty = g_bytes_get_size(chunk) == 0;
      g_bytes_unref(chunk);
      if (empty) break;
    }
    soup_message_set_request_body(outgoing.get(), soup_message_headers_get_one(request, "Content-Type"), stream.get(), offset);
  }
  if (startsNoCase(upstream, "https:") && isLoopbackOrigin(upstream)) {
    g_signal_connect(outgoing.get(), "accept-certificate",
                     G_CALLBACK(+[](SoupMessage*, GTlsCertificate*, GTlsCertificateFlags, gpointer) { return TRUE; }), nullptr);
  }

  auto exchange = std::make_shared<Exchange>();
  exchange->proxy = this;
  exchange->browser = GObjectPtr<SoupServerMessage>::retain(message);
  exchange->upstream = std::move(outgoing);
  exchange->origin = upstream;
  exchanges_.push_back(exchange);
  soup_server_message_pause(message);
  g_signal_connect(message, "finished", G_CALLBACK(+[](SoupServerMessage*, Exchange* gone) {
                     if (gone->proxy) gone->proxy->release(gone);
                   }),
                   exchange.get());
  soup_session_send_async(session_.get(), exchange->upstream.get(), G_PRIORITY_DEFAULT, exchange->cancellable.get(), sent,
                          new ExchangeRef(exchange));
}

void ServerProxy::sent(GObject* session, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<ExchangeRef> ref(static_cast<ExchangeRef*>(data));
  auto& exchange = **ref;
  GError* rawError = nullptr;
  GObjectPtr<GInputStream> body(soup_session_send_finish(SOUP_SESSION(session), result, &rawError));
  GErrorPtr error(rawError);
  if (exchange.over()) return;
  if (!body) return exchange.proxy->answerAway(exchange);
  exchange.body = std::move(body);
  auto* headers = soup_message_get_response_headers(exchange.upstream.get());
  const char* type = soup_message_headers_get_content_type(headers, nullptr);
  const char* encoding = soup_message_headers_get_one(headers, "Content-Encoding");
  const auto status = soup_message_get_status(exchange.upstream.get());
  const bool fits = soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CONTENT_LENGTH ||
                    soup_message_headers_get_content_length(headers) <= static_cast<goffset>(maximumPageBytes);
  exchange.readsPage = type && sameNoCase(type, "text/html") && (!encoding || sameNoCase(encoding, "identity")) && fits &&
                       status != SOUP_STATUS_NO_CONTENT && status != SOUP_STATUS_NOT_MODIFIED &&
                       status != SOUP_STATUS_PARTIAL_CONTENT &&
                       std::string_view(soup_server_message_get_method(exchange.browser.get())) != "HEAD";
  if (exchange.readsPage) return exchange.proxy->read(*ref);
  exchange.proxy->startStream(*ref);
}

void ServerProxy::read(const ExchangeRef& exchange) {
  exchange->reading = true;
  g_input_stream_read_bytes_async(exchange->body.get(), pieceBytes, G_PRIORITY_DEFAULT, exchange->cancellable.get(), gotPiece,
                                  new ExchangeRef(exchange));
}

void ServerProxy::pump(const ExchangeRef& exchange) {
  if (!exchange->reading && !exchange->ended && exchange->ahead < 2) read(exchange);
}

void ServerProxy::gotPiece(GObject* stream, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<ExchangeRef> ref(static_cast<ExchangeRef*>(data));
  auto& exchange = **ref;
  exchange.reading = false;
  GError* rawError = nullptr;
  std::unique_ptr<GBytes, decltype(&g_bytes_unref)> piece(g_input_stream_read_bytes_finish(G_INPUT_STREAM(stream), result, &rawError),
                                                          g_bytes_unref);
  GErrorPtr error(rawError);
  if (exchange.over()) return;
  auto* proxy = exchange.proxy;
  auto* browser = exchange.browser.get();
  const std::size_t size = piece ? g_bytes_get_size(piece.get()) : 0;
  if (exchange.readsPage) {
    if (!piece) return proxy->answerAway(exchange);
    if (size == 0) return proxy->answerPage(exchange);
    gsize length = 0;
    const auto* bytes = static_cast<const char*>(g_bytes_get_data(piece.get(), &length));
    exchange.page.append(bytes, length);
    // Past the limit for a page, or for all that is held, the page goes on as it is.
    if (exchange.page.size() > maximumPageBytes || *proxy->heldBytes_ + size > proxy->heldLimit_) {
      exchange.readsPage = false;
      return proxy->startStream(*ref);
    }
    exchange.held += size;
    *proxy->heldBytes_ += size;
    return proxy->read(*ref);
  }
  if (!piece) {
    // The server broke off: the browser's answer ends short, as with any broken download.
    exchange.ended = true;
    return shutDown(browser);
  }
  auto* body = soup_server_message_get_response_body(browser);
  if (size == 0) {
    exchange.ended = true;
    soup_message_body_complete(body);
  } else {
    soup_message_body_append_bytes(body, piece.get());
    ++exchange.ahead;
  }
  soup_server_message_unpause(browser);
  proxy->pump(*ref);
}

void ServerProxy::copyAnswer(Exchange& exchange) {
  auto* browser = exchange.browser.get();
  soup_server_message_set_status(browser, soup_message_get_status(exchange.upstream.get()),
                                 soup_message_get_reason_phrase(exchange.upstream.get()));
  struct Copy {
    SoupMessageHeaders* to;
    const std::string& origin;
  } copy{soup_server_message_get_response_headers(browser), exchange.origin};
  soup_message_headers_foreach(soup_message_get_response_headers(exchange.upstream.get()),
                               +[](const char* name, const char* value, gpointer data) {
                                 const auto& copy = *static_cast<Copy*>(data);
                                 if (ownHeader(name) || isOneOf(name, {"Date", "Server"})) return;
                                 if (sameNoCase(name, "Location")) {
                                   return soup_message_headers_append(copy.to, name, relativeTo(value, copy.origin).c_str());
                                 }
                                 if (sameNoCase(name, "Set-Cookie")) {
                                   return soup_message_headers_append(copy.to, name, servedCookie(value).c_str());
                                 }
                                 soup_message_headers_append(copy.to, name, value);
                               },
                               &copy);
}

void ServerProxy::startStream(const ExchangeRef& exchange) {
  auto* browser = exchange->browser.get();
  copyAnswer(*exchange);
  auto* upstream = soup_message_get_response_headers(exchange->upstream.get());
  auto* response = soup_server_message_get_response_headers(browser);
  const bool head = std::string_view(soup_server_message_get_method(browser)) == "HEAD";
  const auto status = soup_message_get_status(exchange->upstream.get());
  if (soup_message_headers_get_encoding(upstream) == SOUP_ENCODING_CONTENT_LENGTH) {
    soup_message_headers_set_content_length(response, soup_message_headers_get_content_length(upstream));
  } else if (!head && status != SOUP_STATUS_NO_CONTENT && status != SOUP_STATUS_NOT_MODIFIED) {
    soup_message_headers_set_encoding(response, SOUP_ENCODING_CHUNKED);
  }
  auto* body = soup_server_message_get_response_body(browser);
  soup_message_body_set_accumulate(body, FALSE);
  g_signal_connect(browser, "wrote-chunk", G_CALLBACK(+[](SoupServerMessage*, Exchange* written) {
                     written->ahead -= written->ahead > 0 ? 1 : 0;
                     if (!written->over()) written->proxy->pump(written->shared_from_this());
                   }),
                   exchange.get());
  if (!exchange->page.empty()) {
    appendText(body, std::exchange(exchange->page, {}));
    *heldBytes_ -= std::exchange(exchange->held, 0);
    ++exchange->ahead;
  }
  if (head) {
    exchange->ended = true;
    soup_message_body_complete(body);
  }
  soup_server_message_unpause(browser);
  pump(exchange);
}

void ServerProxy::answerPage(Exchange& exchange) {
  auto* browser = exchange.browser.get();
  const std::string_view method = soup_server_message_get_method(browser);
  std::string page = pages_.served(relativeToOrigin(exchange.page, exchange.origin), method != "GET" && method != "HEAD");
  exchange.page = {};
  *heldBytes_ -= std::exchange(exchange.held, 0);
  if (!holdUntilFinished(browser, heldBytes_, page.size(), heldLimit_)) {
    soup_server_message_set_status(browser, SOUP_STATUS_SERVICE_UNAVAILABLE, nullptr);
    soup_server_message_set_response(browser, "text/plain", SOUP_MEMORY_STATIC, "", 0);
    return soup_server_message_unpause(browser);
  }
  copyAnswer(exchange);
  auto* headers = soup_server_message_get_response_headers(browser);
  // A copy kept and revalidated would carry an old live script: the browser would reload forever.
  soup_message_headers_remove(headers, "ETag");
  soup_message_headers_remove(headers, "Last-Modified");
  soup_message_headers_replace(headers, "Cache-Control", "no-store");
  soup_message_headers_set_content_length(headers, static_cast<goffset>(page.size()));
  auto* body = soup_server_message_get_response_body(browser);
  appendText(body, std::move(page));
  soup_message_body_complete(body);
  exchange.ended = true;
  soup_server_message_unpause(browser);
}

void ServerProxy::answerAway(Exchange& exchange) {
  auto* browser = exchange.browser.get();
  const std::string page = pages_.away();
  soup_server_message_set_status(browser, SOUP_STATUS_BAD_GATEWAY, nullptr);
  soup_server_message_set_response(browser, "text/html; charset=utf-8", SOUP_MEMORY_COPY, page.data(), page.size());
  soup_message_headers_replace(soup_server_message_get_response_headers(browser), "Cache-Control", "no-store");
  exchange.ended = true;
  soup_server_message_unpause(browser);
}

}  // namespace fennelview
