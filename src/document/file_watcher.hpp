// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <glib.h>

#include "common/main_loop_source.hpp"
#include "common/unique_fd.hpp"
#include "document/signal.hpp"

namespace fennelview {

// Watches a list of file paths with one inotify descriptor on the main loop and announces
// changed paths on fileChangeSignal(). Each path costs a watch on its folder, shared by every
// path in that folder whatever name it is reached by; a linked file is followed to its target
// too, and a path whose folder is missing waits in the nearest folder that exists. The folders
// above are watched for being moved or deleted, so a path stays at its place when a folder on
// the way is renamed. A change of the list adds and removes only the watches that changed, so
// no event is lost to it. Where inotify cannot see changes (no descriptor or watch could be
// made, or a network or shared file system) the path is checked by its status on a timer.
class FileWatcher {
 public:
  // The list starts as one empty-string entry, which watches nothing; nothing is started.
  FileWatcher();
  ~FileWatcher();
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;

  const std::vector<std::string>& pathsToWatch() const { return paths_; }
  // Each of these stores the new list and starts a stopped watcher.
  void setPathsToWatch(std::vector<std::string> paths);
  void appendPath(const std::string& path);
  // Removes the first canonically equal entry; no entry, no change.
  void removePath(const std::string& path);

  // stop() closes the descriptor: nothing is reported until the next start().
  void start();
  void stop();

  // Why some listed paths are checked on a timer rather than seen by inotify, one reason a
  // line; empty while inotify sees them all.
  MutableProperty<std::string>& pollingReason() { return pollingReason_; }
  bool isPolled(const std::string& path) const;

 private:
  // One place where a listed path can change: a name in a watched folder. While a folder on
  // the way is missing, the name is that of the missing folder in its nearest existing
  // ancestor, which is `waiting` for it to appear.
  struct Spot {
    int wd;
    std::string name;
    bool waiting;
  };
  struct Entry {
    int count = 0;
    std::vector<Spot> spots;
    // Set while the path is checked on the timer; `status` is what the last check saw.
    std::optional<std::string> pollReason;
    std::string status;
  };
  struct Listener {
    std::string path;
    bool waiting;
  };
  // The descriptor and its main-loop source, open from start() to stop(); closing the
  // descriptor ends every watch on it.
  class Stream {
   public:
    Stream(int fd, FileWatcher* owner);
    int fd() const { return fd_.get(); }

   private:
    UniqueFd fd_;
    MainLoopSource source_;  // goes before the descriptor
  };

  void readEvents();
  void acquire(const std::string& path);
  void release(const std::string& path);
  // Watches the places of a listed path anew and lets go of the old ones afterwards, so a
  // folder that stays in use keeps its watch. True when the path is to be reported.
  bool resolve(const std::string& path);
  // Watches the places of `path` and decides whether it is polled as well.
  void place(const std::string& path, Entry& entry);
  std::vector<Spot> watchPlaces(const std::string& path, std::optional<std::string>& pollReason);
  void watchNearest(const std::string& file, const std::string& path, std::vector<Spot>& spots,
                    std::optional<std::string>& pollReason);
  void unwatch(const Spot& spot, const std::string& path);
  void handleBatch(const std::vector<std::string>& changedPaths);
  // Makes the inotify descriptor when there is none and watches every entry with it.
  void openStream();
  void poll();
  void updatePolling();

  std::vector<std::string> paths_{std::string()};
  bool started_ = false;
  std::optional<Stream> stream_;
  // Why no descriptor could be made, while there is none.
  std::optional<std::string> streamFailure_;
  MainLoopSource poll_;
  MutableProperty<std::string> pollingReason_{std::string()};
  // Each distinct listed path, and for each watched folder the names that listed paths wait on.
  std::map<std::string, Entry> entries_;
  std::map<int, std::multimap<std::string, Listener>> folders_;
};

// The application's one watcher, made on first use.
FileWatcher& sharedFileWatcher();
// Changed paths, on the main thread. Never fails, never ends.
const Signal<std::string>& fileChangeSignal();
const Observer<std::string>& fileChangeObserver();

}  // namespace fennelview
