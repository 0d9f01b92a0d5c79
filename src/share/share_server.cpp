// SPDX-License-Identifier: GPL-3.0-or-later
#include "share/share_server.hpp"

#include <glib/gi18n.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <nlohmann/json.hpp>

#include "common/formatted.hpp"
#include "document/file_watcher.hpp"
#include "share/held_bytes.hpp"
#include "share/live_page.hpp"
#include "site/server_pages.hpp"
#include "site/site_pages.hpp"
#include "site/site_paths.hpp"

extern "C" void fennelview_share_register_resource(void);

namespace fennelview {

namespace {

constexpr const char* livePrefix = "/.fennelview/";
// Where a server's page that links no sheet of the document gets the compiled CSS from.
constexpr const char* documentCssPath = "/.fennelview/document.css";
// Pages larger than this go as they are, without the live script.
constexpr std::size_t maximumLivePageBytes = 4 * 1024 * 1024;
constexpr std::size_t streamPieceBytes = 64 * 1024;
// The message shown in a browser is cut here: it only has to say what went wrong.
constexpr std::size_t maximumErrorBytes = 64 * 1024;

const std::string& liveScript() {
  static const std::string script = [] {
    static std::once_flag once;
    std::call_once(once, [] { fennelview_share_register_resource(); });
    GBytes* bytes = g_resources_lookup_data("/org/fennelview/Fennelview/share/live.js", G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) return std::string();
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data, size);
    g_bytes_unref(bytes);
    return text;
  }();
  return script;
}

void setNoStore(SoupServerMessage* message) {
  auto* headers = soup_server_message_get_response_headers(message);
  // Each load shows the files as they are now; and no other site may frame or sniff them.
  soup_message_headers_replace(headers, "Cache-Control", "no-store");
  soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
}

// Listens on a loopback address at `port` (0: a free one the system chooses), bound by hand so
// that port can be read back; 0 when it could not.
guint16 listenOnLoopback(GSocketListener* listener, const char* host, guint16 port, GError** error) {
  GObjectPtr<GSocketAddress> address(g_inet_socket_address_new_from_string(host, port));
  GObjectPtr<GSocket> socket(
      g_socket_new(g_socket_address_get_family(address.get()), G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, error));
  if (!socket || !g_socket_bind(socket.get(), address.get(), TRUE, error) || !g_socket_listen(socket.get(), error) ||
      !g_socket_listener_add_socket(listener, socket.get(), nullptr, error)) {
    return 0;
  }
  GObjectPtr<GSocketAddress> local(g_socket_get_local_address(socket.get(), error));
  return local ? g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(local.get())) : 0;
}

bool sameText(const std::shared_ptr<const std::string>& a, const std::shared_ptr<const std::string>& b) {
  return a == b || (a && b && *a == *b);
}

std::string utf8(std::string text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
  GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return valid.get();
}

}  // namespace

// One browser's event stream.
struct ShareServer::Listener {
  GObjectPtr<SoupServerMessage> message;
  std::size_t unread = 0;
};

// A file sent in pieces, read where it was opened, a little ahead of what is written.
struct ShareServer::Stream {
  UniqueFd fd;
  off_t offset = 0;
  off_t remaining = 0;

  void appendNext(SoupServerMessage* message) {
    auto* body = soup_server_message_get_response_body(message);
    if (remaining <= 0) {
      soup_message_body_complete(body);
      return;
    }
    std::string piece(static_cast<std::size_t>(std::min<off_t>(remaining, streamPieceBytes)), '\0');
    const auto got = pread(fd.get(), piece.data(), piece.size(), offset);
    if (got <= 0) {
      // The file shrank under us: the connection ends short, as with any broken download.
      remaining = 0;
      if (auto* socket = soup_server_message_get_socket(message)) g_socket_shutdown(socket, TRUE, TRUE, nullptr);
      return;
    }
    offset += got;
    remaining -= got;
    soup_message_body_append(body, SOUP_MEMORY_COPY, piece.data(), static_cast<gsize>(got));
  }
};

ShareServer::ShareServer(Options options) : options_(std::move(options)) {}

ShareServer::~ShareServer() { stop(); }

bool ShareServer::start(std::string& error) {
  if (server_) return true;
  server_ = GObjectPtr<SoupServer>(soup_server_new("server-header", "Fennelview ", nullptr));
  soup_server_add_handler(server_.get(), nullptr, handle, this, nullptr);
  soup_server_add_early_handler(server_.get(), nullptr, +[](SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer self) {
    static_cast<ShareServer*>(self)->admitBody(message);
  }, this, nullptr);
  // libsoup refuses what it cannot take (a path that climbs with "..", say) as a bad request; to a
  // browser it is a refusal like any other.
  g_signal_connect(server_.get(), "request-started", G_CALLBACK(+[](SoupServer*, SoupServerMessage* message, gpointer) {
                     g_signal_connect(message, "got-headers", G_CALLBACK(+[](SoupServerMessage* started, gpointer) {
                                        if (soup_server_message_get_status(started) == SOUP_STATUS_BAD_REQUEST) {
                                          soup_server_message_set_status(started, SOUP_STATUS_NOT_FOUND, nullptr);
                                        }
                                      }),
                                      nullptr);
                   }),
                   nullptr);
  std::vector<unsigned> ports;
  if (options_.preferredPort) ports = {options_.preferredPort, options_.preferredPort + 1, options_.preferredPort + 2};
  ports.push_back(0);
  for (const auto port : ports) {
    GObjectPtr<GSocketService> service(g_socket_service_new());
    GError* rawError = nullptr;
    guint16 effective = 0;
    if (options_.otherDevices) {
      if (port) {
        if (g_socket_listener_add_inet_port(G_SOCKET_LISTENER(service.get()), static_cast<guint16>(port), nullptr, &rawError)) {
          effective = static_cast<guint16>(port);
        }
      } else {
        effective = g_socket_listener_add_any_inet_port(G_SOCKET_LISTENER(service.get()), nullptr, &rawError);
      }
    } else {
      effective = listenOnLoopback(G_SOCKET_LISTENER(service.get()), "127.0.0.1", static_cast<guint16>(port), &rawError);
      // Browsers may resolve "localhost" to ::1 first; a machine without IPv6 goes without.
      if (effective) listenOnLoopback(G_SOCKET_LISTENER(service.get()), "::1", effective, nullptr);
    }
    GErrorPtr failure(rawError);
    if (!effective) {
      if (failure) error = failure->message;
      continue;
    }
    port_ = effective;
    service_ = std::move(service);
    proxy_ = std::make_unique<ServerProxy>(
        ServerProxy::Pages{[this](std::string html, bool posted) { return servedServerPage(std::move(html), posted); },
                           [this] { return serverAwayPage(); }},
        tokenCookie(port_), heldBytes_, maximumHeldBytes);
    g_signal_connect(service_.get(), "incoming", G_CALLBACK(incoming), this);
    g_socket_service_start(service_.get());
    return true;
  }
  server_ = {};
  return false;
}

std::string ShareServer::address() const { return addressAt("127.0.0.1"); }

std::string ShareServer::addressAt(const std::string& host) const {
  std::string address = "http://" + host + ":" + std::to_string(port_) + "/";
  if (!options_.token.empty()) address += "?token=" + options_.token;
  return address;
}

void ShareServer::connectionGone(gpointer self, GObject* gone) {
  static_cast<ShareServer*>(self)->connections_.erase(reinterpret_cast<GSocketConnection*>(gone));
}

gboolean ShareServer::incoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
  auto* self = static_cast<ShareServer*>(data);
  if (!self->server_ || self->connections_.size() >= maximumConnections) {
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    return TRUE;
  }
  self->connections_.insert(connection);
  g_object_weak_ref(G_OBJECT(connection), connectionGone, self);
  GObjectPtr<GSocketAddress> local(g_socket_connection_get_local_address(connection, nullptr));
  GObjectPtr<GSocketAddress> remote(g_socket_connection_get_remote_address(connection, nullptr));
  if (!soup_server_accept_iostream(self->server_.get(), G_IO_STREAM(connection), local.get(), remote.get(), nullptr)) {
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  }
  return TRUE;
}

void ShareServer::stop() {
  unfollowAll();
  if (service_) {
    g_socket_service_stop(service_.get());
    g_socket_listener_close(G_SOCKET_LISTENER(service_.get()));
    g_signal_handlers_disconnect_by_data(service_.get(), this);
    service_ = {};
  }
  for (auto& listener : listeners_) g_signal_handlers_disconnect_by_data(listener->message.get(), this);
  listeners_.clear();
  // Every connection ends now, not when its browser lets go.
  const auto connections = std::exchange(connections_, {});
  for (auto* connection : connections) {
    g_object_weak_unref(G_OBJECT(connection), connectionGone, this);
  }
  for (auto* connection : connections) g_socket_close(g_socket_connection_get_socket(connection), nullptr);
  proxy_.reset();
  if (server_) {
    soup_server_remove_handler(server_.get(), nullptr);
    soup_server_disconnect(server_.get());
    server_ = {};
  }
}

void ShareServer::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self) {
  static_cast<ShareServer*>(self)->respond(message, path ? path : "");
}

void ShareServer::refuse(SoupServerMessage* message, guint status) {
  soup_server_message_set_status(message, status, nullptr);
  soup_server_message_set_response(message, "text/plain", SOUP_MEMORY_STATIC, "", 0);
  setNoStore(message);
}

void ShareServer::respond(SoupServerMessage* message, const std::string& path) {
  const std::string method = soup_server_message_get_method(message);
  const bool passedOn = view_.server && (method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" || method == "OPTIONS");
  if (method != "GET" && method != "HEAD" && !passedOn) return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED);
  auto* request = soup_server_message_get_request_headers(message);
  if (!options_.otherDevices) {
    const char* host = soup_message_headers_get_one(request, "Host");
    if (!host || !isLoopbackHost(host, port_)) return refuse(message);
  }
  const char* query = g_uri_get_query(soup_server_message_get_uri(message));
  if (!carriesToken(query, soup_message_headers_get_one(request, "Cookie"), options_.token, port_)) return refuse(message);
  if (!options_.token.empty()) {
    // The page's own requests carry no query of ours: the cookie takes the token along.
    const std::string cookie = tokenCookie(port_) + "=" + options_.token + "; Path=/; HttpOnly; SameSite=Strict";
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Set-Cookie", cookie.c_str());
  }
  if (path.starts_with(livePrefix)) return respondLive(message, path.substr(std::string(livePrefix).size()));
  if (view_.server) return respondServer(message, path);
  if (!view_.site) {
    if (path != "/") return refuse(message);
    return respondText(message, withLiveScript(view_.sampleHtml, pageVersion_, cssVersion_), "text/html");
  }
  if (path == "/") {
    const auto page = view_.site->urlPathOf(view_.page);
    if (page && *page != "/") {
      soup_server_message_set_redirect(message, SOUP_STATUS_FOUND, page->c_str());
      setNoStore(message);
      return;
    }
  }
  auto answer = view_.site->answer(path);
  if (std::holds_alternative<SiteRefusal>(answer)) return refuse(message);
  if (auto* text = std::get_if<SiteText>(&answer)) {
    return respondText(message, std::move(text->body), text->contentType + "; charset=utf-8");
  }
  respondFile(message, std::get<SiteFile>(std::move(answer)), path);
}

void ShareServer::respondLive(SoupServerMessage* message, const std::string& name) {
  if (name == "live.js") return respondText(message, liveScript(), "text/javascript; charset=utf-8");
  if (name == "events") return listen(message);
  if (name == "style.css" && !view_.site && !view_.server) return respondText(message, view_.sampleStyle, "text/css; charset=utf-8");
  if (name == "document.css" && view_.server) return respondShared(message, view_.server->css, "text/css; charset=utf-8");
  refuse(message);
}

void ShareServer::admitBody(SoupServerMessage* message) {
  auto* request = soup_server_message_get_request_headers(message);
  const auto encoding = soup_message_headers_get_encoding(request);
  if (encoding == SOUP_ENCODING_NONE) return;
  const goffset length = encoding == SOUP_ENCODING_CONTENT_LENGTH ? soup_message_headers_get_content_length(request) : -1;
  if (length == 0) return;
  guint refusal = SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE;
  if (length > 0 && static_cast<std::size_t>(length) <= maximumRequestBytes) {
    // A body is held whole until it is passed on: it counts with the answers held.
    if (holdUntilFinished(message, heldBytes_, static_cast<std::size_t>(length), maximumHeldBytes)) return;
    refusal = SOUP_STATUS_SERVICE_UNAVAILABLE;
  }
  // Whatever of the body still comes is dropped as it comes, and the connection ends after.
  soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
  soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection", "close");
  refuse(message, refusal);
}

void ShareServer::respondServer(SoupServerMessage* message, const std::string& path) {
  auto* request = soup_server_message_get_request_headers(message);
  // Another site's page may not use the server through us, with the browser's cookies.
  const char* origin = soup_message_headers_get_one(request, "Origin");
  const char* host = soup_message_headers_get_one(request, "Host");
  if (origin && (!host || origin != "http://" + std::string(host))) return refuse(message);
  const std::string_view method = soup_server_message_get_method(message);
  const bool reads = method == "GET" || method == "HEAD";
  if (reads && path == "/") {
    const auto shown = relativeTo(view_.server->address, upstream_);
    if (shown != "/") {
      soup_server_message_set_redirect(message, SOUP_STATUS_FOUND, shown.c_str());
      return setNoStore(message);
    }
  }
  if (reads && !view_.server->stem.empty() && stylesheetStem(path) == view_.server->stem) {
    // The links the browsers swap in place on each save.
    const auto decoded = normalizedUrlPath(path);
    if (decoded && serverCssPaths_.size() < maximumCssPaths &&
        std::find(serverCssPaths_.begin(), serverCssPaths_.end(), *decoded) == serverCssPaths_.end()) {
      serverCssPaths_.push_back(*decoded);
    }
    return respondShared(message, view_.server->css, "text/css; charset=utf-8");
  }
  proxy_->forward(message, upstream_, path);
}

void ShareServer::respondShared(SoupServerMessage* message, std::shared_ptr<const std::string> text, const char* contentType) {
  // Held by the message as long as it is written, not copied.
  auto* held = new std::shared_ptr<const std::string>(text ? std::move(text) : std::make_shared<const std::string>());
  GBytes* bytes = g_bytes_new_with_free_func((*held)->data(), (*held)->size(), +[](gpointer data) {
    delete static_cast<std::shared_ptr<const std::string>*>(data);
  }, held);
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  auto* headers = soup_server_message_get_response_headers(message);
  soup_message_headers_replace(headers, "Content-Type", contentType);
  soup_message_headers_set_content_length(headers, static_cast<goffset>(g_bytes_get_size(bytes)));
  auto* body = soup_server_message_get_response_body(message);
  soup_message_body_append_bytes(body, bytes);
  g_bytes_unref(bytes);
  soup_message_body_complete(body);
  setNoStore(message);
}

std::string ShareServer::servedServerPage(std::string html, bool posted) const {
  // A page that links no sheet of the document gets the CSS after its own sheets.
  if (view_.server && !linksDocumentCss(html, {}, view_.server->stem)) {
    html += "\n<link rel=\"stylesheet\" href=\"" + std::string(documentCssPath) + "?v=" + std::to_string(cssVersion_) + "\">";
  }
  return withLiveScript(html, pageVersion_, cssVersion_, posted);
}

std::string ShareServer::serverAwayPage() const {
  /* Translators: %1$s is a server, such as "localhost:8000". */
  const auto text = formatted(_("The server at %1$s does not answer."), serverName(view_.server ? view_.server->address : "").c_str());
  GCharPtr escaped(g_markup_escape_text(text.c_str(), -1));
  const std::string page = std::string("<!DOCTYPE html>\n<meta charset=\"utf-8\">\n<title>") + escaped.get() + "</title>\n<p>" +
                           escaped.get() + "</p>";
  return withLiveScript(page, pageVersion_, cssVersion_);
}

void ShareServer::respondText(SoupServerMessage* message, std::string body, const std::string& contentType) {
  // What slow readers hold in memory altogether is bounded: past it, come back later.
  if (!holdUntilFinished(message, heldBytes_, body.size(), maximumHeldBytes)) {
    return refuse(message, SOUP_STATUS_SERVICE_UNAVAILABLE);
  }
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  soup_server_message_set_response(message, contentType.c_str(), SOUP_MEMORY_COPY, body.data(), body.size());
  setNoStore(message);
}

void ShareServer::respondFile(SoupServerMessage* message, SiteFile file, const std::string& urlPath) {
  follow(file.file);
  struct stat status{};
  if (fstat(file.fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return refuse(message);
  if (file.isPage && static_cast<std::size_t>(status.st_size) <= maximumLivePageBytes) {
    std::string page(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t got = 0;
    while (got < page.size()) {
      const auto read = pread(file.fd.get(), page.data() + got, page.size() - got, static_cast<off_t>(got));
      if (read <= 0) break;
      got += static_cast<std::size_t>(read);
    }
    page.resize(got);
    const auto served = view_.site->servedPage(page, urlPath);
    return respondText(message, withLiveScript(served, pageVersion_, view_.site->cssVersion()), file.contentType + "; charset=utf-8");
  }
  auto stream = std::make_unique<Stream>();
  stream->fd = std::move(file.fd);
  stream->remaining = status.st_size;
  auto* request = soup_server_message_get_request_headers(message);
  auto* response = soup_server_message_get_response_headers(message);
  SoupRange* ranges = nullptr;
  int count = 0;
  guint statusCode = SOUP_STATUS_OK;
  if (soup_message_headers_get_ranges(request, status.st_size, &ranges, &count)) {
    if (count == 1) {
      stream->offset = ranges[0].start;
      stream->remaining = ranges[0].end - ranges[0].start + 1;
      soup_message_headers_set_content_range(response, ranges[0].start, ranges[0].end, status.st_size);
      statusCode = SOUP_STATUS_PARTIAL_CONTENT;
    }
    soup_message_headers_free_ranges(request, ranges);
  }
  soup_server_message_set_status(message, statusCode, nullptr);
  soup_message_headers_set_content_type(response, file.contentType.c_str(), nullptr);
  soup_message_headers_set_content_length(response, stream->remaining);
  soup_message_headers_replace(response, "Accept-Ranges", "bytes");
  setNoStore(message);
  soup_message_body_set_accumulate(soup_server_message_get_response_body(message), FALSE);
  if (std::string_view(soup_server_message_get_method(message)) == "HEAD") return;
  // Two pieces ahead, so the writer never finds the body empty and waits.
  stream->appendNext(message);
  stream->appendNext(message);
  g_signal_connect_data(message, "wrote-chunk", G_CALLBACK(+[](SoupServerMessage* written, Stream* stream) {
                          stream->appendNext(written);
                        }),
                        stream.release(), +[](gpointer data, GClosure*) { delete static_cast<Stream*>(data); },
                        GConnectFlags(0));
}

void ShareServer::listen(SoupServerMessage* message) {
  if (listeners_.size() >= maximumListeners) return refuse(message, SOUP_STATUS_SERVICE_UNAVAILABLE);
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  auto* headers = soup_server_message_get_response_headers(message);
  soup_message_headers_set_content_type(headers, "text/event-stream", nullptr);
  soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
  setNoStore(message);
  auto* body = soup_server_message_get_response_body(message);
  soup_message_body_set_accumulate(body, FALSE);
  auto listener = std::make_unique<Listener>();
  listener->message = GObjectPtr<SoupServerMessage>::retain(message);
  // A reconnect comes after a second; the first message says where things stand.
  const std::string first = "retry: 1000\n\n" + serverSentEvent(stateJson());
  listener->unread = first.size();
  soup_message_body_append(body, SOUP_MEMORY_COPY, first.data(), first.size());
  g_signal_connect(message, "wrote-body-data", G_CALLBACK(+[](SoupServerMessage* written, guint size, ShareServer* self) {
                     for (auto& each : self->listeners_) {
                       if (each->message.get() == written) each->unread -= std::min<std::size_t>(each->unread, size);
                     }
                   }),
                   this);
  g_signal_connect(message, "finished", G_CALLBACK(+[](SoupServerMessage* finished, ShareServer* self) {
                     g_signal_handlers_disconnect_by_data(finished, self);
                     std::erase_if(self->listeners_, [finished](const auto& each) { return each->message.get() == finished; });
                   }),
                   this);
  listeners_.push_back(std::move(listener));
}

std::string ShareServer::stateJson() const {
  nlohmann::json state;
  state["page"] = pageVersion_;
  if (view_.server) {
    auto paths = serverCssPaths_;
    paths.push_back(documentCssPath);
    state["css"] = cssVersion_;
    state["paths"] = paths;
  } else if (view_.site) {
    state["css"] = view_.site->cssVersion();
    state["paths"] = view_.site->cssPaths();
  } else {
    state["css"] = cssVersion_;
    state["sample"] = true;
  }
  state["error"] = utf8(view_.error, maximumErrorBytes);
  state["place"] = utf8(view_.place, maximumErrorBytes);
  return state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void ShareServer::broadcast() {
  const std::string event = serverSentEvent(stateJson());
  for (auto& listener : listeners_) {
    auto* message = listener->message.get();
    if (listener->unread + event.size() > maximumUnreadBytes) {
      // A browser that does not read is let go; its page reconnects and catches up.
      if (auto* socket = soup_server_message_get_socket(message)) g_socket_shutdown(socket, TRUE, TRUE, nullptr);
      continue;
    }
    listener->unread += event.size();
    soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_COPY, event.data(), event.size());
    soup_server_message_unpause(message);
  }
}

void ShareServer::show(SharedView view) {
  const auto& server = view.server;
  const bool otherServer = server.has_value() != view_.server.has_value() ||
                           (server && (server->address != view_.server->address || server->loads != view_.server->loads));
  const bool otherPage = view.site != view_.site || view.page != view_.page ||
                         (!view.site && (view.sampleTemplate != view_.sampleTemplate)) || otherServer;
  if (!view.site && !server && view.sampleStyle != view_.sampleStyle) ++cssVersion_;
  if (server && (!view_.server || !sameText(server->css, view_.server->css))) ++cssVersion_;
  if (server && (!view_.server || server->address != view_.server->address)) {
    upstream_ = serverOrigin(server->address);
    serverCssPaths_.clear();
  }
  if (otherPage) {
    unfollowAll();
    ++pageVersion_;
  }
  view_ = std::move(view);
  broadcast();
}

void ShareServer::follow(const std::filesystem::path& file) {
  const auto name = file.string();
  if (std::find(followed_.begin(), followed_.end(), name) != followed_.end()) return;
  followed_.push_back(name);
  sharedFileWatcher().appendPath(name);
  if (!watching_) {
    watching_ = true;
    changes_ = fileChangeSignal().observeNext([this](const std::string& changed) {
      if (std::find(followed_.begin(), followed_.end(), changed) != followed_.end()) pageChanged();
    });
  }
}

void ShareServer::unfollowAll() {
  changes_.dispose();
  watching_ = false;
  for (const auto& file : followed_) sharedFileWatcher().removePath(file);
  followed_.clear();
}

void ShareServer::pageChanged() {
  ++pageVersion_;
  broadcast();
}

}  // namespace fennelview
