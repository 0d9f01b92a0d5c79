// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>

#include <chrono>
#include <cstdint>
#include <functional>

namespace fennelview {

class ChildProcess;

// Checks a running child's resident memory on the main loop and calls `exceeded` once
// when its process group holds more than the limit. Stops checking when it goes.
class MemoryGuard {
 public:
  MemoryGuard(const ChildProcess& child, std::uint64_t limit, std::chrono::milliseconds interval,
              std::function<void()> exceeded);
  ~MemoryGuard();
  MemoryGuard(const MemoryGuard&) = delete;
  MemoryGuard& operator=(const MemoryGuard&) = delete;

 private:
  const ChildProcess& child_;
  std::uint64_t limit_;
  std::function<void()> exceeded_;
  guint source_ = 0;
};

}  // namespace fennelview
