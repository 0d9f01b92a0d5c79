// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/main_loop_source.hpp"

#include <glib-unix.h>

#include <algorithm>

namespace fennelview {

namespace {

using Repeated = std::function<bool()>;
using Watched = std::function<bool(GIOCondition)>;

gboolean runRepeated(gpointer data) { return (*static_cast<Repeated*>(data))() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE; }

gboolean runWatched(gint, GIOCondition condition, gpointer data) {
  return (*static_cast<Watched*>(data))(condition) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

template <class Callback>
void forget(gpointer data) {
  delete static_cast<Callback*>(data);
}

GSource* attached(GSource* source, GSourceFunc run, gpointer callback, GDestroyNotify forget, int priority) {
  g_source_set_priority(source, priority);
  g_source_set_callback(source, run, callback, forget);
  g_source_attach(source, nullptr);
  return source;
}

guint milliseconds(std::chrono::milliseconds delay) {
  return static_cast<guint>(std::clamp<std::int64_t>(delay.count(), 0, G_MAXUINT));
}

}  // namespace

MainLoopSource MainLoopSource::idle(std::function<void()> run, int priority) {
  auto* callback = new Repeated([run = std::move(run)] {
    run();
    return false;
  });
  return MainLoopSource(attached(g_idle_source_new(), runRepeated, callback, forget<Repeated>, priority));
}

MainLoopSource MainLoopSource::after(std::chrono::milliseconds delay, std::function<void()> run) {
  auto* callback = new Repeated([run = std::move(run)] {
    run();
    return false;
  });
  return MainLoopSource(
      attached(g_timeout_source_new(milliseconds(delay)), runRepeated, callback, forget<Repeated>, G_PRIORITY_DEFAULT));
}

MainLoopSource MainLoopSource::every(std::chrono::milliseconds interval, std::function<bool()> run) {
  return MainLoopSource(attached(g_timeout_source_new(milliseconds(interval)), runRepeated, new Repeated(std::move(run)),
                                 forget<Repeated>, G_PRIORITY_DEFAULT));
}

MainLoopSource MainLoopSource::watch(int fd, GIOCondition condition, std::function<bool(GIOCondition)> run) {
  return MainLoopSource(attached(g_unix_fd_source_new(fd, condition), G_SOURCE_FUNC(runWatched),
                                 new Watched(std::move(run)), forget<Watched>, G_PRIORITY_DEFAULT));
}

}  // namespace fennelview
