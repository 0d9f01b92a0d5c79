// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace fennelview::bench {

// A program the benchmark runs and measures from outside; killed and reaped when it goes.
class Subject {
 public:
  // Runs argv with `environment` added to this process's environment.
  Subject(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& environment);
  ~Subject();
  Subject(const Subject&) = delete;
  Subject& operator=(const Subject&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// Every process below `pid` (web, network and compiler processes), not `pid` itself.
std::vector<pid_t> descendants(pid_t pid);
// CPU of one process and of its children that it collected (a compiler), in milliseconds;
// 0 when it is gone.
double cpuMs(pid_t pid);
double cpuMs(const std::vector<pid_t>& pids);
// Proportional set size in KiB from /proc/PID/smaps_rollup; 0 when unreadable.
long pssKb(pid_t pid);
// The X server of $DISPLAY, or 0.
pid_t xServer();

// Waits until `pids` together used at most 20 ms of CPU in the last two seconds.
void untilIdle(const std::vector<pid_t>& pids, std::chrono::seconds limit = std::chrono::seconds(30));

}  // namespace fennelview::bench
