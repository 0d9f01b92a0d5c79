#pragma once

#include <glib.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "document/signal.hpp"

namespace fennelview {

// Watches a list of file paths with one inotify descriptor on the main loop and announces
// changed paths on fileChangeSignal(). Every change of the list rebuilds the watch.
class FileWatcher {
 public:
  // The list starts as one empty-string entry, which watches nothing; nothing is started.
  FileWatcher();
  ~FileWatcher();
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;

  const std::vector<std::string>& pathsToWatch() const { return paths_; }
  // Each of these stores the new list and then restarts (stop, start), even when equal.
  void setPathsToWatch(std::vector<std::string> paths);
  void appendPath(const std::string& path);
  // Removes the first canonically equal entry; no entry, no restart.
  void removePath(const std::string& path);

  void start();
  void stop();
  bool isStarted() const { return started_; }

  // Since-when of every stream: "now", so past changes are never replayed.
  static constexpr std::uint64_t kEventIdSinceNow = 0xFFFFFFFFFFFFFFFFULL;
  std::uint64_t lastEventId() const { return lastEventId_; }
  // How many streams have been built so far; each start builds one.
  std::uint64_t streamsCreated() const { return streamsCreated_; }

  // The event handler: one batch of changed full paths. Sends each distinct path once, in
  // the order first seen; an empty batch sends nothing.
  void handleBatch(const std::vector<std::string>& changedPaths);

 private:
  static gboolean onReadable(gint fd, GIOCondition condition, gpointer self);
  void readEvents();
  void restart();

  std::vector<std::string> paths_{std::string()};
  bool started_ = false;
  std::uint64_t lastEventId_ = kEventIdSinceNow;
  std::uint64_t streamsCreated_ = 0;

  int fd_ = -1;
  guint source_ = 0;
  // Watched directory of each watch descriptor.
  std::map<int, std::string> directories_;
};

// The application's one watcher, made on first use.
FileWatcher& sharedFileWatcher();
// Changed paths, on the main thread. Never fails, never ends.
const Signal<std::string>& fileChangeSignal();
const Observer<std::string>& fileChangeObserver();

}  // namespace fennelview
