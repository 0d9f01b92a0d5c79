// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench_processes.hpp"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_support.hpp"

namespace fennelview::bench {

namespace {

// The fields of /proc/PID/stat after the command name, which may hold spaces.
std::istringstream statFields(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  const auto close = line.rfind(')');
  return std::istringstream(close == std::string::npos ? std::string() : line.substr(close + 2));
}

pid_t parentOf(pid_t pid) {
  auto fields = statFields(pid);
  std::string state;
  pid_t parent = 0;
  fields >> state >> parent;
  return parent;
}

std::vector<pid_t> allProcesses() {
  std::vector<pid_t> pids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const auto name = entry.path().filename().string();
    if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) continue;
    pids.push_back(static_cast<pid_t>(std::atol(name.c_str())));
  }
  return pids;
}

}  // namespace

Subject::Subject(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& environment) {
  pid_ = fork();
  if (pid_ != 0) return;
  for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  std::perror(args[0]);
  _exit(127);
}

Subject::~Subject() {
  if (pid_ <= 0) return;
  const auto below = descendants(pid_);
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  // Web processes leave with their parent; any that linger do not disturb the next subject.
  for (pid_t pid : below) kill(pid, SIGKILL);
}

std::vector<pid_t> descendants(pid_t root) {
  std::vector<pid_t> found;
  for (pid_t pid : allProcesses()) {
    for (pid_t up = parentOf(pid); up > 1; up = parentOf(up)) {
      if (up == root) {
        found.push_back(pid);
        break;
      }
    }
  }
  return found;
}

double cpuMs(pid_t pid) {
  auto fields = statFields(pid);
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // fields 3..13
  long long user = 0, system = 0, childrenUser = 0, childrenSystem = 0;
  fields >> user >> system >> childrenUser >> childrenSystem;
  return static_cast<double>(user + system + childrenUser + childrenSystem) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double cpuMs(const std::vector<pid_t>& pids) {
  double sum = 0;
  for (pid_t pid : pids) sum += cpuMs(pid);
  return sum;
}

long pssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Pss:", 0) == 0) return std::atol(line.c_str() + 4);
  }
  return 0;
}

pid_t xServer() {
  const char* display = getenv("DISPLAY");
  if (!display || !*display) return 0;
  for (pid_t pid : allProcesses()) {
    std::string cmdline = test::readFile("/proc/" + std::to_string(pid) + "/cmdline");
    for (auto& c : cmdline) c = c ? c : ' ';
    if (cmdline.find("Xvfb ") == std::string::npos && !cmdline.starts_with("Xorg ")) continue;
    if ((cmdline + " ").find(std::string(" ") + display + " ") != std::string::npos) return pid;
  }
  return 0;
}

void untilIdle(const std::vector<pid_t>& pids, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  std::vector<double> samples{cpuMs(pids)};
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    samples.push_back(cpuMs(pids));
    if (samples.size() > 20 && samples.back() - samples[samples.size() - 21] <= 20.0) return;
  }
}

}  // namespace fennelview::bench
