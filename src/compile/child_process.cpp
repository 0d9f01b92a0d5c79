// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/child_process.hpp"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>

extern char** environ;

namespace fennelview {

namespace {

// util-linux's setpriv sets the parent-death signal and execs the compiler in the same
// process: posix_spawn cannot run code in the child, and this keeps a killed app from
// leaving a runaway compiler behind.
constexpr const char* kSetpriv = "/usr/bin/setpriv";

struct Pipe {
  UniqueFd read;
  UniqueFd write;
  bool open() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    read.reset(ends[0]);
    write.reset(ends[1]);
    return true;
  }
};

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv,
                                                  const std::string& workingDirectory, int& error,
                                                  bool pipeInput) {
  // Checked here so a missing or unusable compiler is reported with its own reason.
  if (argv.empty() || access(argv[0].c_str(), X_OK) != 0) {
    error = argv.empty() ? EINVAL : errno;
    return nullptr;
  }
  Pipe output, errors, input;
  if (!output.open() || !errors.open() || (pipeInput && !input.open())) {
    error = errno;
    return nullptr;
  }
  SpawnSetup setup;
  if (pipeInput) {
    posix_spawn_file_actions_adddup2(&setup.actions, input.read.get(), STDIN_FILENO);
    fcntl(input.write.get(), F_SETFL, O_NONBLOCK);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&setup.actions, output.write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, errors.write.get(), STDERR_FILENO);
  if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&setup.actions, workingDirectory.c_str());
  // Descriptors of ours that lack close-on-exec must not keep other compiles' pipes open.
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setflags(&setup.attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<const char*> args;
  const bool guarded = access(kSetpriv, X_OK) == 0;
  if (guarded) args.insert(args.end(), {kSetpriv, "--pdeathsig", "KILL", "--"});
  for (const auto& arg : argv) args.push_back(arg.c_str());
  args.push_back(nullptr);
  pid_t pid = -1;
  error = posix_spawn(&pid, args[0], &setup.actions, &setup.attributes, const_cast<char* const*>(args.data()),
                      environ);
  if (error != 0) return nullptr;
  UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  if (!pidfd) {
    error = errno;
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, std::move(pidfd), std::move(output.read),
                                                         std::move(errors.read), std::move(input.write)));
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pidfd, UniqueFd output, UniqueFd error, UniqueFd input)
    : pid_(pid), pidfd_(std::move(pidfd)), streams_{std::move(output), std::move(error)}, input_(std::move(input)) {}

ChildProcess::~ChildProcess() {
  for (auto* source : {&readers_[kOutput], &readers_[kError], &exitWatch_, &writer_}) source->reset();
  closeInput();
  closeStream(kOutput);
  closeStream(kError);
  // The group's leader is reaped last, so until then its pid still names the group, even
  // when it has ended and left helpers of its own running.
  if (reaped_) return;
  kill(-pid_, SIGKILL);
  // A large compiler can take a while to be torn down; its end is collected by the main loop.
  if (waitpid(pid_, nullptr, WNOHANG) == 0) {
    g_child_watch_add(pid_, [](GPid, gint, gpointer) {}, nullptr);
  }
}

std::uint64_t ChildProcess::groupResidentBytes() const {
  std::uint64_t pages = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const auto name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    char text[1024];
    const UniqueFd stat(open((entry.path() / "stat").c_str(), O_RDONLY | O_CLOEXEC));
    const ssize_t n = stat ? read(stat.get(), text, sizeof text - 1) : -1;
    if (n <= 0) continue;
    text[n] = '\0';
    // After "pid (name) ": state, ppid, pgrp, ..., rss as the 22nd field; a name may hold
    // spaces and parentheses, so the fields are counted from its last ')'.
    const char* fields = strrchr(text, ')');
    if (!fields) continue;
    long long values[22] = {};
    std::istringstream in(fields + 2);
    std::string state;
    in >> state;
    for (int i = 0; i < 21 && (in >> values[i]); ++i) {
    }
    if (values[1] == pid_) pages += static_cast<std::uint64_t>(std::max(0LL, values[20]));
  }
  return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

ChildProcess::Got ChildProcess::readOnce(Stream stream, char* buffer, std::size_t size, std::size_t& count) {
  for (;;) {
    const ssize_t n = read(streamFd(stream), buffer, size);
    if (n > 0) {
      count = static_cast<std::size_t>(n);
      return Got::kData;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return Got::kNothingYet;
    closeStream(stream);
    return Got::kEnd;
  }
}

std::optional<ChildProcess::Ended> ChildProcess::collect(std::chrono::milliseconds limit, std::size_t keep) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  Ended ended;
  std::string* kept[2] = {&ended.output, &ended.error};
  while (streams_[kOutput] || streams_[kError] || !reaped_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd ready[3] = {{streamFd(kOutput), POLLIN, 0}, {streamFd(kError), POLLIN, 0}, {reaped_ ? -1 : exitFd(), POLLIN, 0}};
    const int polled = poll(ready, 3, static_cast<int>(left));
    if (polled < 0 && errno != EINTR) return std::nullopt;
    for (const auto stream : {kOutput, kError}) {
      if (polled <= 0 || ready[stream].revents == 0) continue;
      char buffer[4096];
      std::size_t n = 0;
      if (readOnce(stream, buffer, sizeof buffer, n) != Got::kData) continue;
      if (kept[stream]->size() + n > keep) return std::nullopt;
      kept[stream]->append(buffer, n);
    }
    if (polled > 0 && ready[2].revents != 0) {
      // The group goes before its leader is reaped, so no helper keeps the pipes open.
      kill(-pid_, SIGKILL);
      while (waitpid(pid_, &ended.status, 0) < 0 && errno == EINTR) {
      }
      reaped_ = true;
    }
  }
  return ended;
}

void ChildProcess::listen(Listener listener) {
  listener_ = std::move(listener);
  const auto condition = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
  for (const auto stream : {kOutput, kError}) {
    if (!streams_[stream]) continue;
    g_unix_set_fd_nonblocking(streamFd(stream), TRUE, nullptr);
    readers_[stream] = MainLoopSource::watch(streamFd(stream), condition, [this, stream](GIOCondition) {
      return drain(stream);
    });
  }
  exitWatch_ = MainLoopSource::watch(exitFd(), G_IO_IN, [this](GIOCondition) {
    // What it wrote before it ended still counts.
    const std::weak_ptr<const bool> alive = life_;
    for (const auto stream : {kOutput, kError}) {
      if (streams_[stream]) drain(stream);
      if (alive.expired()) return false;
    }
    exitWatch_.reset();
    if (listener_.exited) listener_.exited();
    return false;
  });
}

bool ChildProcess::drain(Stream stream) {
  const std::weak_ptr<const bool> alive = life_;
  char buffer[64 * 1024];
  for (int turn = 0; turn < 16 && streams_[stream]; ++turn) {
    std::size_t n = 0;
    switch (readOnce(stream, buffer, sizeof buffer, n)) {
      case Got::kData:
        listener_.received(stream, std::string_view(buffer, n));
        if (alive.expired()) return false;
        break;
      case Got::kNothingYet:
        return true;
      case Got::kEnd:
        readers_[stream].reset();
        listener_.received(stream, {});
        return false;
    }
  }
  return static_cast<bool>(streams_[stream]);
}

void ChildProcess::send(std::string_view bytes) {
  outgoing_.append(bytes);
  if (!writer_.active() && flush()) {
    writer_ = MainLoopSource::watch(inputFd(), G_IO_OUT, [this](GIOCondition) { return flush(); });
  }
}

bool ChildProcess::flush() {
  if (!input_) outgoing_.clear();
  const ssize_t written = outgoing_.empty() ? 0 : writeInput(outgoing_);
  if (written > 0) outgoing_.erase(0, static_cast<std::size_t>(written));
  if (written < 0 && errno != EAGAIN) outgoing_.clear();
  return !outgoing_.empty();
}

ssize_t ChildProcess::writeInput(std::string_view bytes) {
  // SIGPIPE is held back on this thread for the write; one it raised is taken before the
  // mask is restored, so it is never delivered.
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  ssize_t written;
  do {
    written = write(input_.get(), bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  const int writeError = errno;
  if (written < 0 && writeError == EPIPE && !sigismember(&previous, SIGPIPE)) {
    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return written;
}

}  // namespace fennelview
