// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "common/main_loop_source.hpp"

namespace fennelview {

class ChildProcess;

// Checks a running child's resident memory on the main loop and calls `exceeded` once
// when its process group holds more than the limit. Stops checking when it goes.
class MemoryGuard {
 public:
  MemoryGuard(const ChildProcess& child, std::uint64_t limit, std::chrono::milliseconds interval,
              std::function<void()> exceeded);
  MemoryGuard(const MemoryGuard&) = delete;
  MemoryGuard& operator=(const MemoryGuard&) = delete;

 private:
  const ChildProcess& child_;
  std::uint64_t limit_;
  std::function<void()> exceeded_;
  MainLoopSource check_;
};

}  // namespace fennelview
