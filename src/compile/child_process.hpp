// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

// One running child: the only owner of its pid, its pidfd, the read ends of its two output
// pipes and, when asked for, the write end of its input pipe. The child leads its own process group and dies with this process; the
// destructor kills the whole group and reaps the child.
class ChildProcess {
 public:
  enum Stream { kOutput = 0, kError = 1 };

  // Starts argv[0] (a path; no search) with stdin from /dev/null, or from a pipe when
  // `pipeInput`, and stdout and stderr piped back, in workingDirectory (empty: ours). Null
  // with an errno value in `error` on failure.
  static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv,
                                             const std::string& workingDirectory, int& error,
                                             bool pipeInput = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Read end of a stream; -1 once closed.
  int streamFd(Stream stream) const { return streams_[stream]; }
  void closeStream(Stream stream);
  // Write end of the input pipe (non-blocking); -1 without one or once closed.
  int inputFd() const { return input_; }
  // Writes what the pipe takes now: the count written, or -1 with errno (EAGAIN when full).
  // A child that has gone gives EPIPE, never the signal that would end this process.
  ssize_t writeInput(std::string_view bytes);
  void closeInput();
  // Becomes readable once the child has ended.
  int exitFd() const { return pidfd_; }

 private:
  ChildProcess(pid_t pid, int pidfd, int output, int error, int input);

  pid_t pid_;
  int pidfd_;
  int streams_[2];
  int input_;
};

}  // namespace fennelview
