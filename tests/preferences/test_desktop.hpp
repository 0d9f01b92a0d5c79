#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace fennelview::test {

// XDG data and config folders with test applications. Each application's Exec is a recorder
// that stores its arguments, one file per call, under calls/<application id>.
//
// The standard desktop lists for text/css, in this order: "Zed Edit" (zed), an application
// with an empty name (nameless), "Alpha Pad" (alpha), "Mid Writer" (mid). A viewer (image/png)
// is not among them; "mail" is the default mailto handler.
class TestDesktop {
 public:
  enum class Editors { Registered, None };

  // The standard desktop, made on first use, with the XDG variables of this process pointing
  // at it. GIO reads them once, so the first use must come before any GIO call: call it
  // from a namespace-scope initializer.
  static TestDesktop& standard();

  explicit TestDesktop(Editors editors);
  TestDesktop(const TestDesktop&) = delete;
  TestDesktop& operator=(const TestDesktop&) = delete;

  const std::filesystem::path& root() const { return dir_.path(); }
  // The XDG variables that select this desktop, for this process or a child.
  std::map<std::string, std::string> environment() const;
  // The file:// URL of an application's .desktop file, as GIO gives it.
  std::string applicationURL(const std::string& id) const;

  // Each recorded call of the application, as its argument list, oldest first.
  std::vector<std::vector<std::string>> calls(const std::string& id) const;
  bool waitForCalls(const std::string& id, size_t count) const;
  // Drops the recorded calls of every application; calls still under way must have ended.
  void forgetCalls() const;

 private:
  void addApplication(const std::string& id, const std::string& nameLine, const std::string& mimeTypes,
                      const std::string& fieldCode);
  TempDir dir_;
};

// A finished child process.
struct ProcessResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};
// Runs a program with this process's environment changed by `environment`; waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment = {});

}  // namespace fennelview::test
