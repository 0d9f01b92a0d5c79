// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/memory_guard.hpp"

#include "compile/child_process.hpp"

namespace fennelview {

MemoryGuard::MemoryGuard(const ChildProcess& child, std::uint64_t limit, std::chrono::milliseconds interval,
                         std::function<void()> exceeded)
    : child_(child), limit_(limit), exceeded_(std::move(exceeded)) {
  source_ = g_timeout_add(
      static_cast<guint>(std::max<std::int64_t>(1, interval.count())),
      [](gpointer data) -> gboolean {
        auto* self = static_cast<MemoryGuard*>(data);
        if (self->child_.groupResidentBytes() <= self->limit_) return G_SOURCE_CONTINUE;
        self->source_ = 0;
        // May destroy this guard.
        auto exceeded = std::move(self->exceeded_);
        exceeded();
        return G_SOURCE_REMOVE;
      },
      this);
}

MemoryGuard::~MemoryGuard() {
  if (source_) g_source_remove(source_);
}

}  // namespace fennelview
