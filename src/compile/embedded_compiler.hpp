// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/main_loop_source.hpp"
#include "compile/compile_limits.hpp"
#include "compile/embedded_protocol.hpp"

namespace fennelview {

class ChildProcess;
class MemoryGuard;

// One warm `sass --embedded` that serves the compiles of many documents: each request has
// its own compilation id and several may be in flight. The process starts on the first
// request, is started again after it ends unexpectedly, and is stopped after some idle time
// and with this object. Everything runs on the default main context.
class EmbeddedCompiler {
 public:
  // How one compile ended: its messages, the response last unless the process ended first
  // (then with what the process wrote on standard error), or why it was stopped.
  struct Outcome {
    std::vector<embedded::OutboundMessage> messages;
    std::string standardError;
    std::optional<std::string> stopped;
    std::size_t warningsLeftOut = 0;  // log events past the limit of those kept
  };
  using Done = std::function<void(Outcome)>;

  // Runs `executable --embedded` in `workingDirectory`, to which the paths in its messages
  // are relative.
  EmbeddedCompiler(std::filesystem::path executable, std::filesystem::path workingDirectory,
                   CompileLimits limits = {});
  ~EmbeddedCompiler();
  EmbeddedCompiler(const EmbeddedCompiler&) = delete;
  EmbeddedCompiler& operator=(const EmbeddedCompiler&) = delete;

  // The app's compiler for this executable and folder, kept until the process ends.
  static std::shared_ptr<EmbeddedCompiler> shared(const std::filesystem::path& executable,
                                                   const std::filesystem::path& workingDirectory);

  // Queues one compile and returns its ticket. `done` is called once, from the main loop,
  // unless cancel() comes first. A compile that takes longer than `timeout` is stopped.
  std::uint32_t compile(const embedded::CompileRequest& request, std::chrono::milliseconds timeout, Done done);
  // Drops a compile; its result, should it still come, is ignored. A long one that nothing
  // else waits on ends the process, which cannot be told to stop it.
  void cancel(std::uint32_t ticket);

  void setLimits(CompileLimits limits) { limits_ = limits; }
  // How long the process stays without a compile before it is stopped (5 minutes).
  void setIdleTime(std::chrono::milliseconds idle) { idleTime_ = idle; }
  // How long a cancelled compile may have run before the process is ended rather than waited
  // for (half a second): past that, finishing it costs more than starting afresh.
  void setRestartAfter(std::chrono::milliseconds time) { restartAfter_ = time; }

  // The running process, if any; and how many were started over this object's life.
  std::optional<pid_t> processId() const;
  std::uint64_t processesStarted() const { return processesStarted_; }
  std::size_t pendingCount() const { return inFlight_.size() + queue_.size(); }

  struct Request;

 private:
  void pump();
  bool startProcess();
  void received(int stream, std::string_view bytes);
  bool takePackets();
  // Ends the process. A compile that `blamed` names fails with `reason`; the others in
  // flight are tried again once, one at a time when the culprit is unknown.
  void endProcess(std::optional<std::string> reason, std::optional<std::uint32_t> blamed);
  // Kills the process and forgets what it was sent and wrote.
  void dropProcess();
  void deliver(std::unique_ptr<Request> request, Outcome outcome);
  void armIdleTimer();

  std::filesystem::path executable_;
  std::filesystem::path workingDirectory_;
  CompileLimits limits_;
  std::chrono::milliseconds idleTime_{std::chrono::minutes(5)};
  std::chrono::milliseconds restartAfter_{500};

  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<MemoryGuard> memoryGuard_;
  std::string incoming_;
  std::string errors_;
  MainLoopSource idleTimer_;
  // Sends new requests from the main loop.
  MainLoopSource pumpSoon_;

  std::map<std::uint32_t, std::unique_ptr<Request>> inFlight_;
  std::deque<std::unique_ptr<Request>> queue_;
  std::uint32_t nextTicket_ = 1;
  std::uint64_t processesStarted_ = 0;
  int endsWithoutResult_ = 0;
};

}  // namespace fennelview
