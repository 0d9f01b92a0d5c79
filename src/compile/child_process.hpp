// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/main_loop_source.hpp"
#include "common/unique_fd.hpp"

namespace fennelview {

// One running child: the only owner of its pid, its pidfd, the read ends of its two output
// pipes and, when asked for, the write end of its input pipe. The child leads its own process
// group and dies with this process; the destructor kills the whole group and reaps the child.
// It also owns the main-loop sources that read and write those pipes: the one read loop of them.
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

  pid_t pid() const { return pid_; }

  // On the main loop: each stream's bytes go to `received` as they come, at most a megabyte
  // a turn so that a child that never stops writing cannot hold up the loop, and its end as an
  // empty piece; the child's end goes to `exited` once what it wrote by then is handed over.
  // Either may destroy this object.
  struct Listener {
    std::function<void(Stream, std::string_view)> received;
    std::function<void()> exited;
  };
  void listen(Listener listener);
  // Queues bytes for the input pipe, written from the main loop as the child takes them. What
  // a child that stopped reading leaves is dropped: its end tells.
  void send(std::string_view bytes);

  // Resident memory of the child's whole process group, in bytes.
  std::uint64_t groupResidentBytes() const;

  // Blocking, for a worker thread: reads both streams to their end (each kept up to
  // `keep` bytes) and waits for the child's exit status, all within `limit`. None when the
  // time runs out or a stream holds more; the child's group is then killed.
  struct Ended {
    std::string output;
    std::string error;
    int status = 0;  // as waitpid gives it
  };
  std::optional<Ended> collect(std::chrono::milliseconds limit, std::size_t keep);

 private:
  // Read end of a stream; -1 once closed.
  int streamFd(Stream stream) const { return streams_[stream].get(); }
  void closeStream(Stream stream) { streams_[stream].reset(); }
  // Write end of the input pipe (non-blocking); -1 without one or once closed.
  int inputFd() const { return input_.get(); }
  // Writes what the pipe takes now: the count written, or -1 with errno (EAGAIN when full).
  // A child that has gone gives EPIPE, never the signal that would end this process.
  ssize_t writeInput(std::string_view bytes);
  void closeInput() { input_.reset(); }
  // Becomes readable once the child has ended.
  int exitFd() const { return pidfd_.get(); }

  ChildProcess(pid_t pid, UniqueFd pidfd, UniqueFd output, UniqueFd error, UniqueFd input);
  enum class Got { kData, kNothingYet, kEnd };
  // One read of a stream into `buffer`; `count` is what it got.
  Got readOnce(Stream stream, char* buffer, std::size_t size, std::size_t& count);
  // Hands over what a stream holds now; false once this object is gone or the stream ended.
  bool drain(Stream stream);
  bool flush();

  pid_t pid_;
  bool reaped_ = false;
  UniqueFd pidfd_;
  UniqueFd streams_[2];
  UniqueFd input_;
  Listener listener_;
  MainLoopSource readers_[2];
  MainLoopSource exitWatch_;
  MainLoopSource writer_;
  std::string outgoing_;
  // Expires with this object: a callback may have destroyed it.
  std::shared_ptr<const bool> life_ = std::make_shared<const bool>();
};

}  // namespace fennelview
