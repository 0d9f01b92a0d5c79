// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/memory_guard.hpp"

#include <algorithm>

#include "compile/child_process.hpp"

namespace fennelview {

MemoryGuard::MemoryGuard(const ChildProcess& child, std::uint64_t limit, std::chrono::milliseconds interval,
                         std::function<void()> exceeded)
    : child_(child), limit_(limit), exceeded_(std::move(exceeded)) {
  check_ = MainLoopSource::every(std::max(interval, std::chrono::milliseconds(1)), [this] {
    if (child_.groupResidentBytes() <= limit_) return true;
    // May destroy this guard.
    auto exceeded = std::move(exceeded_);
    exceeded();
    return false;
  });
}

}  // namespace fennelview
