#include "document/file_watcher.hpp"

#include <glib-unix.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "common/canonical_equal.hpp"

namespace fennelview {
namespace {

// Writes that finish, renames in either direction, deletion and touches. Plain writes are
// left out so a half-written file is not compiled; the close that follows reports it.
constexpr uint32_t kEventMask =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB | IN_EXCL_UNLINK;

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string join(const std::string& dir, const char* name) {
  return dir == "/" ? "/" + std::string(name) : dir + "/" + name;
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
  paths_ = std::move(paths);
  restart();
}

void FileWatcher::appendPath(const std::string& path) {
  paths_.push_back(path);
  restart();
}

void FileWatcher::removePath(const std::string& path) {
  auto it = std::find_if(paths_.begin(), paths_.end(),
                         [&](const std::string& entry) { return canonicallyEqual(entry, path); });
  if (it == paths_.end()) return;
  paths_.erase(it);
  restart();
}

void FileWatcher::restart() {
  stop();
  start();
}

void FileWatcher::start() {
  if (started_) return;
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return;  // no stream could be made: stay stopped
  fd_ = fd;
  ++streamsCreated_;
  for (const auto& path : paths_) {
    if (path.empty()) continue;  // the empty entry is accepted and watches nothing
    // The parent is watched so that a save by rename over the file is seen too.
    const auto dir = parentOf(path);
    const int wd = inotify_add_watch(fd_, dir.c_str(), kEventMask);
    if (wd >= 0) directories_.emplace(wd, dir);
  }
  source_ = g_unix_fd_add(fd_, G_IO_IN, &FileWatcher::onReadable, this);
  started_ = true;
}

void FileWatcher::stop() {
  if (!started_) return;
  if (source_) g_source_remove(std::exchange(source_, 0));
  close(std::exchange(fd_, -1));
  directories_.clear();
  started_ = false;
}

gboolean FileWatcher::onReadable(gint, GIOCondition, gpointer self) {
  static_cast<FileWatcher*>(self)->readEvents();
  return G_SOURCE_CONTINUE;
}

void FileWatcher::readEvents() {
  // Everything pending now is one batch.
  std::vector<std::string> changed;
  bool overflowed = false;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = read(fd_, buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) overflowed = true;
      if (event->len == 0) continue;
      const auto dir = directories_.find(event->wd);
      if (dir == directories_.end()) continue;
      const auto full = join(dir->second, event->name);
      // Only names on the list count; the rest of the folder is not ours.
      const auto listed = std::find_if(paths_.begin(), paths_.end(),
                                       [&](const std::string& p) { return !p.empty() && canonicallyEqual(p, full); });
      if (listed != paths_.end()) changed.push_back(*listed);
    }
  }
  if (overflowed) {
    // Events were lost; every listed file may have changed.
    for (const auto& p : paths_) {
      if (!p.empty()) changed.push_back(p);
    }
  }
  handleBatch(changed);
}

void FileWatcher::handleBatch(const std::vector<std::string>& changedPaths) {
  const auto& observer = fileChangeObserver();  // first use makes the pipe
  if (changedPaths.empty()) return;
  // One value per file, not per event: a save is often several events in one batch.
  std::vector<std::string> distinct;
  for (const auto& path : changedPaths) {
    if (std::find(distinct.begin(), distinct.end(), path) == distinct.end()) distinct.push_back(path);
  }
  for (const auto& path : distinct) observer.sendNext(path);
}

FileWatcher& sharedFileWatcher() {
  static FileWatcher watcher;
  return watcher;
}

const Signal<std::string>& fileChangeSignal() { return filePipe().ends.first; }
const Observer<std::string>& fileChangeObserver() { return filePipe().ends.second; }

}  // namespace fennelview
