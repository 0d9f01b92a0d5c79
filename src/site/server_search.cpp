// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/server_search.hpp"

#include <libsoup/soup.h>

#include "common/glib_ptr.hpp"
#include "common/main_loop_source.hpp"
#include "site/server_pages.hpp"
#include "site/site_pages.hpp"

namespace fennelview {

namespace {

struct BytesDeleter {
  void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};
using GBytesPtr = std::unique_ptr<GBytes, BytesDeleter>;

}  // namespace

struct ServerSearch::State {
  std::string stem;
  Found found;
  GObjectPtr<SoupSession> session;
  GObjectPtr<GCancellable> cancellable;
  std::vector<std::string> addresses;   // in the order asked
  std::vector<bool> linking;
  std::size_t pending = 0;
  MainLoopSource limit;

  void done() {
    if (!found) return;
    // Taken first: cancelling may end requests at once, and they come back here.
    auto tell = std::exchange(found, {});
    limit.reset();
    g_cancellable_cancel(cancellable.get());
    // A server listening on both loopbacks is one server: its IPv4 address, listed first, stays.
    std::vector<std::string> result;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      if (linking[i] && !(i % 2 == 1 && linking[i - 1])) result.push_back(addresses[i]);
    }
    // The caller may end this search from its handler.
    tell(result);
  }
};

namespace {

// One request: its answer is read in pieces until the end or the limit.
struct Request {
  std::shared_ptr<ServerSearch::State> state;
  std::size_t index;
  GObjectPtr<SoupMessage> message;
  GObjectPtr<GInputStream> body;
  std::string text;
  int redirects = 0;
};

// A site's "/" often sends to its first page ("/en/", "/login/"): followed a few times, only to
// the same loopback host and port.
constexpr int kRedirects = 3;

void send(std::unique_ptr<Request> request);

void finish(std::unique_ptr<Request> request) {
  auto& state = *request->state;
  if (!request->text.empty()) {
    state.linking[request->index] =
        linksDocumentCss(request->text, serverOrigin(state.addresses[request->index]), state.stem);
  }
  if (--state.pending == 0) state.done();
}

void readMore(std::unique_ptr<Request> request);

void pieceRead(GObject* stream, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Request> request(static_cast<Request*>(data));
  GBytesPtr bytes(g_input_stream_read_bytes_finish(G_INPUT_STREAM(stream), result, nullptr));
  const gsize size = bytes ? g_bytes_get_size(bytes.get()) : 0;
  if (size == 0 || g_cancellable_is_cancelled(request->state->cancellable.get())) return finish(std::move(request));
  request->text.append(static_cast<const char*>(g_bytes_get_data(bytes.get(), nullptr)), size);
  if (request->text.size() >= maximumPageBytes) {
    request->text.resize(maximumPageBytes);
    return finish(std::move(request));
  }
  readMore(std::move(request));
}

void readMore(std::unique_ptr<Request> request) {
  auto* stream = request->body.get();
  auto* cancellable = request->state->cancellable.get();
  const gsize wanted = std::min<gsize>(64 * 1024, maximumPageBytes - request->text.size());
  g_input_stream_read_bytes_async(stream, wanted, G_PRIORITY_DEFAULT, cancellable, pieceRead, request.release());
}

// The address a redirect leads to when it stays on the same host and port, else none.
GObjectPtr<SoupMessage> sameHostRedirect(SoupMessage* message) {
  const char* location = soup_message_headers_get_one(soup_message_get_response_headers(message), "Location");
  GUri* from = soup_message_get_uri(message);
  if (!location || !from) return GObjectPtr<SoupMessage>();
  GUri* to = g_uri_parse_relative(from, location, G_URI_FLAGS_NONE, nullptr);
  if (!to) return GObjectPtr<SoupMessage>();
  const bool same = g_strcmp0(g_uri_get_scheme(to), "http") == 0 && g_strcmp0(g_uri_get_host(to), g_uri_get_host(from)) == 0 &&
                    g_uri_get_port(to) == g_uri_get_port(from);
  GObjectPtr<SoupMessage> next(same ? soup_message_new_from_uri("GET", to) : nullptr);
  g_uri_unref(to);
  return next;
}

void answered(GObject* session, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Request> request(static_cast<Request*>(data));
  request->body = GObjectPtr<GInputStream>(soup_session_send_finish(SOUP_SESSION(session), result, nullptr));
  const guint status = soup_message_get_status(request->message.get());
  if (request->body && SOUP_STATUS_IS_REDIRECTION(status) && request->redirects < kRedirects &&
      !g_cancellable_is_cancelled(request->state->cancellable.get())) {
    if (auto next = sameHostRedirect(request->message.get())) {
      g_input_stream_close(request->body.get(), nullptr, nullptr);
      request->body = {};
      request->message = std::move(next);
      ++request->redirects;
      return send(std::move(request));
    }
  }
  if (!request->body || status < 200 || status >= 300 || g_cancellable_is_cancelled(request->state->cancellable.get())) {
    return finish(std::move(request));
  }
  readMore(std::move(request));
}

void send(std::unique_ptr<Request> request) {
  auto& state = *request->state;
  soup_message_add_flags(request->message.get(), SOUP_MESSAGE_NO_REDIRECT);
  auto* message = request->message.get();
  soup_session_send_async(state.session.get(), message, G_PRIORITY_DEFAULT, state.cancellable.get(), answered, request.release());
}

}  // namespace

ServerSearch::ServerSearch(std::string stem, const std::vector<std::uint16_t>& ports, Found found,
                           std::chrono::milliseconds limit)
    : state_(std::make_shared<State>()) {
  state_->stem = std::move(stem);
  state_->found = std::move(found);
  state_->cancellable = GObjectPtr<GCancellable>(g_cancellable_new());
  const auto seconds = static_cast<guint>(std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(limit).count()));
  // No proxy: the requests go straight to this machine's loopback.
  state_->session = GObjectPtr<SoupSession>(soup_session_new_with_options("timeout", seconds, "idle-timeout", seconds,
                                                                          "proxy-resolver", nullptr, "max-conns", 64, nullptr));
  for (const auto port : ports) {
    for (auto& address : loopbackAddresses(port)) state_->addresses.push_back(std::move(address));
  }
  state_->linking.assign(state_->addresses.size(), false);
  state_->pending = state_->addresses.size();
  if (state_->pending == 0) {
    // Told from the main loop, as when there are ports.
    state_->limit = MainLoopSource::idle([weak = std::weak_ptr<State>(state_)] {
      if (auto state = weak.lock()) state->done();
    });
    return;
  }
  for (std::size_t i = 0; i < state_->addresses.size(); ++i) {
    GObjectPtr<SoupMessage> message(soup_message_new("GET", state_->addresses[i].c_str()));
    if (!message) {
      --state_->pending;
      continue;
    }
    send(std::unique_ptr<Request>(new Request{state_, i, std::move(message), {}, {}}));
  }
  // Kept while it tells: the one told may end this search.
  state_->limit = MainLoopSource::after(limit, [weak = std::weak_ptr<State>(state_)] {
    if (auto state = weak.lock()) state->done();
  });
}

ServerSearch::~ServerSearch() {
  state_->found = {};
  state_->limit.reset();
  g_cancellable_cancel(state_->cancellable.get());
}

}  // namespace fennelview
