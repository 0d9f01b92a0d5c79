#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compile/parsing_result.hpp"

namespace fennelview {

// Compiles one Sass file by running sassc in a child process. Completions run on the
// default main context.
class SassParser {
 public:
  using Completion = std::function<void(ParsingResult)>;

  // Uses the resource folder's "sassc"; the path is empty when it is missing.
  SassParser();
  explicit SassParser(std::string executablePath);
  // Kills every compile still running; their completions are never called.
  ~SassParser();
  SassParser(const SassParser&) = delete;
  SassParser& operator=(const SassParser&) = delete;

  const std::string& executablePath() const { return executablePath_; }

  // Starts `sassc <path> --line-numbers` and returns at once. The completion is called
  // exactly once, later, unless cancelAll() or destruction comes first.
  void parseFile(const std::string& path, Completion completion);

  // Kills the running children (their whole process groups) and drops their results.
  void cancelAll();
  std::size_t runningCount() const { return running_.size(); }
  // Children started over the parser's life.
  std::uint64_t startedCount() const { return started_; }

  // A compile whose result is not formed after this long is killed and gives a failure.
  std::chrono::milliseconds timeout() const { return timeout_; }
  void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // 60 seconds, or $FENNELVIEW_COMPILE_TIMEOUT (seconds, may be fractional).
  static std::chrono::milliseconds defaultTimeout();

  struct Compile;

 private:
  // The compiler's whole command line; every option the runner passes is chosen here.
  std::vector<std::string> arguments(const std::string& path) const;
  void finish(Compile* compile, ParsingResult result);

  std::string executablePath_;
  std::chrono::milliseconds timeout_;
  std::vector<std::unique_ptr<Compile>> running_;
  std::uint64_t started_ = 0;
};

}  // namespace fennelview
