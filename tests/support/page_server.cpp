// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_server.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace fennelview::test {

PageServer::PageServer(const std::filesystem::path& root, std::uint16_t port, bool tls) {
  const std::string script = FENNELVIEW_SOURCE_DIR "/tests/support/page_server.py";
  const std::string portText = std::to_string(port);
  const char* argv[] = {"/usr/bin/python3", script.c_str(), root.c_str(), portText.c_str(), tls ? "tls" : nullptr, nullptr};
  int out = -1;
  GError* error = nullptr;
  if (!g_spawn_async_with_pipes(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &pid_, nullptr,
                                &out, nullptr, &error)) {
    ADD_FAILURE() << "page_server.py: " << error->message;
    g_error_free(error);
    return;
  }
  // The first line is the port; a server that cannot listen ends with nothing written.
  std::string line;
  char c = 0;
  while (line.size() < 16 && read(out, &c, 1) == 1 && c != '\n') line += c;
  close(out);
  port_ = static_cast<std::uint16_t>(std::strtoul(line.c_str(), nullptr, 10));
  if (port_ == 0) ADD_FAILURE() << "page_server.py did not listen on port " << port;
}

PageServer::~PageServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  g_spawn_close_pid(pid_);
}

}  // namespace fennelview::test
