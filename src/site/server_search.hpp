// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fennelview {

// Looks for local development servers whose page links the document's CSS: one GET / to
// 127.0.0.1 and ::1 on each port, all at once on the main loop, each answer read up to the page
// limit, no redirect followed, everything ended after a short time. Nothing else is sent.
// `found` gets the addresses whose page links the CSS, in the order of the ports, once all
// answered or the time is up; never after this search is gone.
class ServerSearch {
 public:
  using Found = std::function<void(const std::vector<std::string>& addresses)>;
  ServerSearch(std::string stem, const std::vector<std::uint16_t>& ports, Found found,
               std::chrono::milliseconds limit = std::chrono::milliseconds(1500));
  ~ServerSearch();
  ServerSearch(const ServerSearch&) = delete;
  ServerSearch& operator=(const ServerSearch&) = delete;

  // What the requests under way share; public only for them.
  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace fennelview
