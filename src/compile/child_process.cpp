// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/child_process.hpp"

#include <fcntl.h>
#include <glib.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

extern char** environ;

namespace fennelview {

namespace {

// util-linux's setpriv sets the parent-death signal and execs the compiler in the same
// process: posix_spawn cannot run code in the child, and this keeps a killed app from
// leaving a runaway compiler behind.
constexpr const char* kSetpriv = "/usr/bin/setpriv";

struct Pipe {
  int ends[2] = {-1, -1};
  ~Pipe() {
    for (int fd : ends) {
      if (fd >= 0) close(fd);
    }
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
  if (pipe2(output.ends, O_CLOEXEC) != 0 || pipe2(errors.ends, O_CLOEXEC) != 0 ||
      (pipeInput && pipe2(input.ends, O_CLOEXEC) != 0)) {
    error = errno;
    return nullptr;
  }
  SpawnSetup setup;
  if (pipeInput) {
    posix_spawn_file_actions_adddup2(&setup.actions, input.ends[0], STDIN_FILENO);
    fcntl(input.ends[1], F_SETFL, O_NONBLOCK);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&setup.actions, output.ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, errors.ends[1], STDERR_FILENO);
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
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) {
    error = errno;
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(
      new ChildProcess(pid, pidfd, std::exchange(output.ends[0], -1), std::exchange(errors.ends[0], -1),
                       std::exchange(input.ends[1], -1)));
}

ChildProcess::ChildProcess(pid_t pid, int pidfd, int output, int error, int input)
    : pid_(pid), pidfd_(pidfd), streams_{output, error}, input_(input) {}

ChildProcess::~ChildProcess() {
  closeInput();
  closeStream(kOutput);
  closeStream(kError);
  // The child is not reaped yet, so its pid still names its group, even when it has ended
  // and left helpers of its own running.
  kill(-pid_, SIGKILL);
  close(pidfd_);
  // A large compiler can take a while to be torn down; its end is collected by the main loop.
  if (waitpid(pid_, nullptr, WNOHANG) == 0) {
    g_child_watch_add(pid_, [](GPid, gint, gpointer) {}, nullptr);
  }
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
    written = write(input_, bytes.data(), bytes.size());
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

void ChildProcess::closeInput() {
  if (input_ >= 0) close(std::exchange(input_, -1));
}

void ChildProcess::closeStream(Stream stream) {
  if (streams_[stream] >= 0) close(std::exchange(streams_[stream], -1));
}

}  // namespace fennelview
