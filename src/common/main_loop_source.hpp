// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>

#include <chrono>
#include <functional>
#include <utility>

namespace fennelview {

// The one owner of a source on the default main context: removed when this goes, is reset or
// is replaced. A callback may destroy its own owner; GLib keeps the callback alive until it returns.
class MainLoopSource {
 public:
  MainLoopSource() = default;
  ~MainLoopSource() { reset(); }
  MainLoopSource(MainLoopSource&& other) noexcept : source_(std::exchange(other.source_, nullptr)) {}
  MainLoopSource& operator=(MainLoopSource&& other) noexcept {
    if (this != &other) {
      reset();
      source_ = std::exchange(other.source_, nullptr);
    }
    return *this;
  }
  MainLoopSource(const MainLoopSource&) = delete;
  MainLoopSource& operator=(const MainLoopSource&) = delete;

  // Runs `run` once, on a later turn of the loop.
  static MainLoopSource idle(std::function<void()> run, int priority = G_PRIORITY_DEFAULT);
  // Runs `run` once after `delay`.
  static MainLoopSource after(std::chrono::milliseconds delay, std::function<void()> run);
  // Runs `run` every `interval` for as long as it returns true.
  static MainLoopSource every(std::chrono::milliseconds interval, std::function<bool()> run);
  // Runs `run` whenever `fd` meets `condition`, for as long as it returns true.
  static MainLoopSource watch(int fd, GIOCondition condition, std::function<bool(GIOCondition)> run);

  // Not yet run (a single run), or still running (a repeated one).
  bool active() const { return source_ && !g_source_is_destroyed(source_); }
  void reset() {
    if (!source_) return;
    g_source_destroy(source_);
    g_source_unref(std::exchange(source_, nullptr));
  }

 private:
  explicit MainLoopSource(GSource* source) : source_(source) {}

  GSource* source_ = nullptr;
};

}  // namespace fennelview
