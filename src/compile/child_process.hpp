#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace fennelview {

// One running child: the only owner of its pid, its pidfd and the read ends of its two
// output pipes. The child leads its own process group and dies with this process; the
// destructor kills the whole group and reaps the child.
class ChildProcess {
 public:
  enum Stream { kOutput = 0, kError = 1 };

  // Starts argv[0] (a path; no search) with stdin from /dev/null and stdout and stderr piped
  // back, in workingDirectory (empty: ours). Null with an errno value in `error` on failure.
  static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv,
                                             const std::string& workingDirectory, int& error);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Read end of a stream; -1 once closed.
  int streamFd(Stream stream) const { return streams_[stream]; }
  void closeStream(Stream stream);
  // Becomes readable once the child has ended.
  int exitFd() const { return pidfd_; }

 private:
  ChildProcess(pid_t pid, int pidfd, int output, int error);

  pid_t pid_;
  int pidfd_;
  int streams_[2];
};

}  // namespace fennelview
