// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>

#include <cstdint>
#include <filesystem>

namespace fennelview::test {

// page_server.py as a child process on 127.0.0.1, serving `root`: on a free port, or on `port`
// when it is given (a server started again on the same address); over HTTPS with a certificate
// no one trusts when `tls`. Stopped and reaped when this goes.
class PageServer {
 public:
  explicit PageServer(const std::filesystem::path& root, std::uint16_t port = 0, bool tls = false);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  GPid pid_ = 0;
  std::uint16_t port_ = 0;
};

}  // namespace fennelview::test
