// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/file_watcher.hpp"

#include <glib-unix.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "common/canonical_equal.hpp"

namespace fennelview {
namespace {

// Writes that finish, names that appear, go or change, and the folder itself going. Plain
// writes are left out so a half-written file is not compiled; the close that follows
// reports it. Names that appear count at once, as a link made there writes nothing.
constexpr uint32_t kEventMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK | IN_ONLYDIR;
// The watched folder was deleted, moved or unmounted, or its watch ended.
constexpr uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
// Links in a row, as the kernel allows them.
constexpr int kMaxLinks = 40;
// Looks for the nearest existing folder while folders are being made under our eyes.
constexpr int kMaxLooks = 8;

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string join(const std::string& dir, const std::string& name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The path and every link it leads through to the final target: a linked document changes
// when any of them does.
std::vector<std::string> linkChain(const std::string& path) {
  std::vector<std::string> chain{path};
  char target[PATH_MAX];
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    const ssize_t length = readlink(chain.back().c_str(), target, sizeof target);
    if (length <= 0 || length == sizeof target) break;
    std::string next(target, static_cast<std::size_t>(length));
    if (next.front() != '/') next = join(parentOf(chain.back()), next);
    if (std::find(chain.begin(), chain.end(), next) != chain.end()) break;
    chain.push_back(std::move(next));
  }
  return chain;
}

bool complete(const auto& spots) {
  return std::none_of(spots.begin(), spots.end(), [](const auto& spot) { return spot.waiting; });
}

struct FilePipe {
  std::pair<Signal<std::string>, Observer<std::string>> ends = Signal<std::string>::pipe();
};

FilePipe& filePipe() {
  static FilePipe pipe;  // thread-safe one-time initialisation
  return pipe;
}

}  // namespace

FileWatcher::FileWatcher() = default;

FileWatcher::~FileWatcher() { stop(); }

void FileWatcher::setPathsToWatch(std::vector<std::string> paths) {
  if (stream_) {
    // The new list first: a folder in both lists keeps its watch and the events queued on it.
    for (const auto& path : paths) acquire(path);
    for (const auto& path : paths_) release(path);
  }
  paths_ = std::move(paths);
  start();
}

void FileWatcher::appendPath(const std::string& path) {
  paths_.push_back(path);
  if (stream_) acquire(path);
  start();
}

void FileWatcher::removePath(const std::string& path) {
  auto it = std::find(paths_.begin(), paths_.end(), path);
  if (it == paths_.end()) {
    it = std::find_if(paths_.begin(), paths_.end(),
                      [&](const std::string& entry) { return canonicallyEqual(entry, path); });
  }
  if (it == paths_.end()) return;
  const auto removed = std::move(*it);
  paths_.erase(it);
  if (stream_) release(removed);
  start();
}

FileWatcher::Stream::Stream(int fd, FileWatcher* owner)
    : fd_(fd), source_(g_unix_fd_add(fd, G_IO_IN, &FileWatcher::onReadable, owner)) {}

FileWatcher::Stream::~Stream() {
  g_source_remove(source_);
  close(fd_);
}

void FileWatcher::start() {
  if (stream_) return;
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return;  // no descriptor could be made: stay stopped
  stream_.emplace(fd, this);
  for (const auto& path : paths_) acquire(path);
}

void FileWatcher::stop() {
  stream_.reset();
  entries_.clear();
  folders_.clear();
}

void FileWatcher::acquire(const std::string& path) {
  if (path.empty()) return;  // the empty entry is accepted and watches nothing
  auto& entry = entries_[path];
  if (entry.count++ == 0) entry.spots = watchPlaces(path);
}

void FileWatcher::release(const std::string& path) {
  const auto entry = entries_.find(path);
  if (entry == entries_.end() || --entry->second.count > 0) return;
  for (const auto& spot : entry->second.spots) unwatch(spot, path);
  entries_.erase(entry);
}

bool FileWatcher::resolve(const std::string& path) {
  const auto entry = entries_.find(path);
  if (entry == entries_.end()) return false;
  auto old = std::move(entry->second.spots);
  entry->second.spots = watchPlaces(path);
  for (const auto& spot : old) unwatch(spot, path);
  const auto& spots = entry->second.spots;
  const bool same = std::equal(old.begin(), old.end(), spots.begin(), spots.end(), [](const Spot& a, const Spot& b) {
    return a.wd == b.wd && a.name == b.name && a.waiting == b.waiting;
  });
  // A folder that went, came back or was swapped for another changes what the path holds;
  // a step closer to a missing folder does not.
  if (same) return false;
  return complete(spots) ? access(path.c_str(), F_OK) == 0 : complete(old);
}

std::vector<FileWatcher::Spot> FileWatcher::watchPlaces(const std::string& path) {
  std::vector<Spot> spots;
  for (const auto& file : linkChain(path)) {
    if (auto spot = watchNearest(file, path)) spots.push_back(std::move(*spot));
  }
  return spots;
}

std::optional<FileWatcher::Spot> FileWatcher::watchNearest(const std::string& file, const std::string& path) {
  for (int look = 0; look < kMaxLooks; ++look) {
    auto dir = parentOf(file);
    Spot spot{-1, nameOf(file), false};
    // inotify gives one descriptor per folder, whatever name or mount it was reached by.
    while ((spot.wd = inotify_add_watch(stream_->fd(), dir.c_str(), kEventMask)) < 0) {
      if ((errno != ENOENT && errno != ENOTDIR) || dir == "/" || dir == ".") return std::nullopt;
      spot = Spot{-1, nameOf(dir), true};
      dir = parentOf(dir);
    }
    folders_[spot.wd].emplace(spot.name, Listener{path, spot.waiting});
    // The missing folder may have been made before this watch was in place.
    if (!spot.waiting || !isDirectory(join(dir, spot.name))) return spot;
    unwatch(spot, path);
  }
  return std::nullopt;
}

void FileWatcher::unwatch(const Spot& spot, const std::string& path) {
  const auto folder = folders_.find(spot.wd);
  if (folder == folders_.end()) return;
  auto& listeners = folder->second;
  const auto [first, last] = listeners.equal_range(spot.name);
  const auto it = std::find_if(first, last, [&](const auto& listener) {
    return listener.second.path == path && listener.second.waiting == spot.waiting;
  });
  if (it != last) listeners.erase(it);
  if (!listeners.empty()) return;
  inotify_rm_watch(stream_->fd(), spot.wd);
  folders_.erase(folder);
}

gboolean FileWatcher::onReadable(gint, GIOCondition, gpointer self) {
  static_cast<FileWatcher*>(self)->readEvents();
  return G_SOURCE_CONTINUE;
}

void FileWatcher::readEvents() {
  // Everything pending now is one batch.
  std::vector<std::string> changed;
  // Listed paths whose folders, or the links they lead through, may have changed.
  std::vector<std::string> moved;
  bool overflowed = false;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = read(stream_->fd(), buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) overflowed = true;
      const auto folder = folders_.find(event->wd);
      if (folder == folders_.end()) continue;
      if (event->mask & kFolderGone) {
        for (const auto& [name, listener] : folder->second) moved.push_back(listener.path);
        continue;
      }
      if (event->len == 0) continue;
      // Only names on the list count; the rest of the folder is not ours.
      const auto [first, last] = folder->second.equal_range(event->name);
      for (auto it = first; it != last; ++it) {
        if (!it->second.waiting) changed.push_back(it->second.path);
        moved.push_back(it->second.path);
      }
    }
  }
  if (overflowed) {
    // Events were lost, folder events among them: every listed path may have changed.
    for (const auto& [path, entry] : entries_) moved.push_back(path);
    for (const auto& path : paths_) {
      if (!path.empty()) changed.push_back(path);
    }
  }
  std::sort(moved.begin(), moved.end());
  moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
  for (const auto& path : moved) {
    if (resolve(path)) changed.push_back(path);
  }
  handleBatch(changed);
}

void FileWatcher::handleBatch(const std::vector<std::string>& changedPaths) {
  const auto& observer = fileChangeObserver();  // first use makes the pipe
  // One value per file, not per event: a save is often several events in one batch.
  std::unordered_set<std::string> sent;
  for (const auto& path : changedPaths) {
    if (sent.insert(path).second) observer.sendNext(path);
  }
}

FileWatcher& sharedFileWatcher() {
  static FileWatcher watcher;
  return watcher;
}

const Signal<std::string>& fileChangeSignal() { return filePipe().ends.first; }
const Observer<std::string>& fileChangeObserver() { return filePipe().ends.second; }

}  // namespace fennelview
