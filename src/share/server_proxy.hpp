// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <libsoup/soup.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/glib_ptr.hpp"

namespace fennelview {

// "http://127.0.0.1:8000/a?b" as a path of ours, "/a?b", when `url` is at `origin`; else as it is.
std::string relativeTo(std::string_view url, std::string_view origin);
// A server's page with its absolute URLs made relative, in one pass: "http://127.0.0.1:8000/x"
// becomes "/x", but "http://127.0.0.1:80001" is another server's.
std::string relativeToOrigin(std::string_view html, std::string_view origin);
// A server's Set-Cookie as the browser at our http: address can keep it: a cookie bound to the
// server's domain, or sent over https only, would never come back; SameSite=None needs Secure.
std::string servedCookie(std::string_view cookie);

// Passes a browser's requests on to a local development server and its answers back, as if the
// browser had asked the server itself: methods, forms, headers and the server's cookies go
// through; the server's origin in redirects and pages becomes ours, so the browser keeps asking
// us. No redirect is followed and no cookie kept here. HTML pages are read whole (bounded) and
// pass through `Pages::served`; every other body is streamed a piece or two ahead of the
// browser. Main loop only; when this goes, every request under way is cancelled.
class ServerProxy {
 public:
  struct Pages {
    // A page of the server's as the browser gets it; `posted` when it answered a form.
    std::function<std::string(std::string html, bool posted)> served;
    // The page that says the server does not answer.
    std::function<std::string()> away;
  };

  // `tokenCookie` names our own cookie, never passed on; `heldBytes` counts the pages held in
  // memory with the other answers of the server, up to `heldLimit`.
  ServerProxy(Pages pages, std::string tokenCookie, std::shared_ptr<std::size_t> heldBytes, std::size_t heldLimit);
  ~ServerProxy();
  ServerProxy(const ServerProxy&) = delete;
  ServerProxy& operator=(const ServerProxy&) = delete;

  // Sends `message` on to `upstream` ("http://127.0.0.1:8000") at `path` (percent-encoded);
  // the message waits, paused, for the answer.
  void forward(SoupServerMessage* message, const std::string& upstream, const std::string& path);

  // Pages larger than this go as they are, streamed, without passing through `served`.
  static constexpr std::size_t maximumPageBytes = 4 * 1024 * 1024;

 private:
  struct Exchange;
  using ExchangeRef = std::shared_ptr<Exchange>;
  static void sent(GObject* session, GAsyncResult* result, gpointer exchange);
  static void gotPiece(GObject* stream, GAsyncResult* result, gpointer exchange);
  void read(const ExchangeRef& exchange);
  void pump(const ExchangeRef& exchange);
  void startStream(const ExchangeRef& exchange);
  void answerPage(Exchange& exchange);
  void answerAway(Exchange& exchange);
  void copyAnswer(Exchange& exchange);
  void release(Exchange* exchange);

  Pages pages_;
  std::string tokenCookie_;
  std::shared_ptr<std::size_t> heldBytes_;
  std::size_t heldLimit_;
  GObjectPtr<SoupSession> session_;
  std::vector<ExchangeRef> exchanges_;
};

}  // namespace fennelview
