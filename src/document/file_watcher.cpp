// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/file_watcher.hpp"

#include <glib-unix.h>
#include <glib/gi18n.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <set>
#include <unordered_set>

#include "common/canonical_equal.hpp"
#include "common/formatted.hpp"

namespace fennelview {
namespace {

// Writes that finish, names that appear, go or change, and the folder itself going. Plain
// writes are left out so a half-written file is not compiled; the close that follows
// reports it. Names that appear count at once, as a link made there writes nothing.
constexpr uint32_t kEventMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK | IN_ONLYDIR;
// A folder above: only its being moved or deleted counts. Added to what the folder is watched
// for already, so a folder that holds listed names keeps reporting them.
constexpr uint32_t kAboveMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// The watched folder was deleted, moved or unmounted, or its watch ended.
constexpr uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
// Links in a row, as the kernel allows them.
constexpr int kMaxLinks = 40;
// Looks for the nearest existing folder while folders are being made under our eyes.
constexpr int kMaxLooks = 8;
// How often polled paths are checked.
constexpr guint kPollMilliseconds = 500;

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

// What a check on the timer compares: the path and the links it leads through, as their
// status says (a save changes the time of the change at least).
std::string statusOf(const std::string& path) {
  std::string status;
  for (const auto& file : linkChain(path)) {
    struct stat info;
    if (lstat(file.c_str(), &info) != 0) {
      status += "missing " + std::to_string(errno) + ";";
      continue;
    }
    for (const auto number : {static_cast<long long>(info.st_dev), static_cast<long long>(info.st_ino),
                              static_cast<long long>(info.st_mode), static_cast<long long>(info.st_size),
                              static_cast<long long>(info.st_mtim.tv_sec), static_cast<long long>(info.st_mtim.tv_nsec),
                              static_cast<long long>(info.st_ctim.tv_sec), static_cast<long long>(info.st_ctim.tv_nsec)}) {
      status += std::to_string(number) + " ";
    }
    status += ";";
  }
  return status;
}

// The kind of network or shared file system `folder` is on, whose changes made elsewhere
// inotify does not see; none for a local one.
std::optional<std::string> sharedFileSystem(const std::string& folder) {
  struct statfs info;
  if (statfs(folder.c_str(), &info) != 0) return std::nullopt;
  switch (static_cast<std::uint32_t>(info.f_type)) {
    case 0x6969: return "NFS";
    case 0x517B: case 0xFF534D42: case 0xFE534D42: return "SMB";
    case 0x01021997: return "9p";
    case 0x65735546: return "FUSE";
    case 0x00C36400: return "Ceph";
    case 0x5346414F: case 0x6B414653: return "AFS";
    case 0x73757245: return "Coda";
    case 0x786F4256: return "VirtualBox";
    default: return std::nullopt;
  }
}

std::string watchFailure(int error) {
  if (error == ENOSPC) {
    /* Translators: fs.inotify.max_user_watches is the name of a system setting. */
    return _("The system's limit on watched folders is reached (fs.inotify.max_user_watches): some files are "
             "checked for changes twice a second instead.");
  }
  /* Translators: %1$s is the system's reason, such as "Permission denied". */
  return formatted(_("Some folders cannot be watched (%1$s): their files are checked for changes twice a second "
                     "instead."),
                   g_strerror(error));
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
  if (started_) {
    if (!stream_) openStream();
    // The new list first: a folder in both lists keeps its watch and the events queued on it.
    for (const auto& path : paths) acquire(path);
    for (const auto& path : paths_) release(path);
    updatePolling();
  }
  paths_ = std::move(paths);
  start();
}

void FileWatcher::appendPath(const std::string& path) {
  paths_.push_back(path);
  if (started_) {
    if (!stream_) openStream();
    acquire(path);
    updatePolling();
  }
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
  if (started_) {
    release(removed);
    updatePolling();
  }
  start();
}

bool FileWatcher::isPolled(const std::string& path) const {
  const auto entry = entries_.find(path);
  return entry != entries_.end() && entry->second.pollReason;
}

FileWatcher::Stream::Stream(int fd, FileWatcher* owner)
    : fd_(fd), source_(MainLoopSource::watch(fd, G_IO_IN, [owner](GIOCondition) {
        owner->readEvents();
        return true;
      })) {}

void FileWatcher::start() {
  if (started_) return;
  started_ = true;
  openStream();
  for (const auto& path : paths_) acquire(path);
  updatePolling();
}

void FileWatcher::stop() {
  poll_.reset();
  stream_.reset();
  streamFailure_.reset();
  entries_.clear();
  folders_.clear();
  started_ = false;
  updatePolling();
}

void FileWatcher::openStream() {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    // Too many descriptors or inotify instances: every path is checked on the timer until a
    // later change of the list can make one.
    /* Translators: %1$s is the system's reason, such as "Too many open files". */
    streamFailure_ = formatted(_("No file watcher can be made (%1$s): files are checked for changes twice a second "
                                 "instead."),
                               g_strerror(error));
    for (auto& [path, entry] : entries_) place(path, entry);
    return;
  }
  streamFailure_.reset();
  stream_.emplace(fd, this);
  for (auto& [path, entry] : entries_) place(path, entry);
}

void FileWatcher::acquire(const std::string& path) {
  if (path.empty()) return;  // the empty entry is accepted and watches nothing
  auto& entry = entries_[path];
  if (entry.count++ == 0) place(path, entry);
}

void FileWatcher::place(const std::string& path, Entry& entry) {
  auto reason = streamFailure_;
  if (stream_) entry.spots = watchPlaces(path, reason);
  if (reason && !entry.pollReason) entry.status = statusOf(path);
  entry.pollReason = std::move(reason);
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
  place(path, entry->second);
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

std::vector<FileWatcher::Spot> FileWatcher::watchPlaces(const std::string& path,
                                                        std::optional<std::string>& pollReason) {
  std::vector<Spot> spots;
  for (const auto& file : linkChain(path)) watchNearest(file, path, spots, pollReason);
  return spots;
}

void FileWatcher::watchNearest(const std::string& file, const std::string& path, std::vector<Spot>& spots,
                               std::optional<std::string>& pollReason) {
  for (int look = 0; look < kMaxLooks; ++look) {
    auto dir = parentOf(file);
    Spot spot{-1, nameOf(file), false};
    // inotify gives one descriptor per folder, whatever name or mount it was reached by.
    while ((spot.wd = inotify_add_watch(stream_->fd(), dir.c_str(), kEventMask)) < 0) {
      if (errno != ENOENT && errno != ENOTDIR) {
        pollReason = watchFailure(errno);
        return;
      }
      if (dir == "/" || dir == ".") return;
      spot = Spot{-1, nameOf(dir), true};
      dir = parentOf(dir);
    }
    folders_[spot.wd].emplace(spot.name, Listener{path, spot.waiting});
    // The missing folder may have been made before this watch was in place.
    if (spot.waiting && isDirectory(join(dir, spot.name))) {
      unwatch(spot, path);
      continue;
    }
    spots.push_back(std::move(spot));
    if (const auto kind = sharedFileSystem(dir)) {
      /* Translators: %1$s is a kind of file system, such as "NFS". */
      pollReason = formatted(_("Some files are on a network or shared file system (%1$s), which does not report "
                               "every change: they are checked twice a second."),
                             kind->c_str());
    }
    // The folders above: one of them renamed or deleted takes the path away from its file.
    for (auto above = parentOf(dir); above != "/" && above != "."; above = parentOf(above)) {
      const int wd = inotify_add_watch(stream_->fd(), above.c_str(), kAboveMask);
      if (wd < 0) {
        if (errno == ENOSPC || errno == ENOMEM) pollReason = watchFailure(errno);
        continue;
      }
      folders_[wd].emplace(std::string(), Listener{path, false});
      spots.push_back(Spot{wd, std::string(), false});
    }
    return;
  }
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
  updatePolling();
  handleBatch(changed);
}

void FileWatcher::poll() {
  std::vector<std::string> changed;
  for (auto& [path, entry] : entries_) {
    if (!entry.pollReason) continue;
    auto status = statusOf(path);
    if (status == entry.status) continue;
    entry.status = std::move(status);
    changed.push_back(path);
  }
  handleBatch(changed);
}

void FileWatcher::updatePolling() {
  std::set<std::string> reasons;
  for (const auto& [path, entry] : entries_) {
    if (entry.pollReason) reasons.insert(*entry.pollReason);
  }
  if (!reasons.empty() && !poll_.active()) {
    poll_ = MainLoopSource::every(std::chrono::milliseconds(kPollMilliseconds), [this] {
      poll();
      return true;
    });
  } else if (reasons.empty()) {
    poll_.reset();
  }
  std::string text;
  for (const auto& reason : reasons) text += (text.empty() ? "" : "\n") + reason;
  if (pollingReason_.value() != text) pollingReason_.setValue(text);
}

void FileWatcher::handleBatch(const std::vector<std::string>& changedPaths) {
  const auto& observer = fileChangeObserver();  // first use makes the pipe
  // One value per file, not per event: a save is often several events in one batch.
  std::vector<std::string> toSend;
  std::unordered_set<std::string> sent;
  for (const auto& path : changedPaths) {
    if (!sent.insert(path).second) continue;
    toSend.push_back(path);
    // A change inotify saw on a path that is polled too is not reported again by the timer.
    const auto entry = entries_.find(path);
    if (entry != entries_.end() && entry->second.pollReason) entry->second.status = statusOf(path);
  }
  for (const auto& path : toSend) observer.sendNext(path);
}

FileWatcher& sharedFileWatcher() {
  static FileWatcher watcher;
  return watcher;
}

const Signal<std::string>& fileChangeSignal() { return filePipe().ends.first; }
const Observer<std::string>& fileChangeObserver() { return filePipe().ends.second; }

}  // namespace fennelview
