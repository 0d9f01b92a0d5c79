// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "test_support.hpp"

namespace fennelview::test {

// XDG data and config folders with test applications. Each application's Exec is a recorder
// that stores its arguments, one file per call. For text/css GIO lists, in this order:
// "Zed Edit" (zed), one with an empty name (nameless), "Alpha Pad" (alpha), "Mid Writer" (mid);
// alpha is the desktop's default for it.
// A viewer (image/png) is not among them; "mail" is the default mailto handler. "gedit" (for
// text/x-scss only) is an editor whose program takes a line.
class TestDesktop {
 public:
  // Made on first use, with this process's XDG variables pointing at it. GIO reads them once,
  // so the first use must come before any GIO call: call it from a namespace-scope initializer.
  static TestDesktop& standard();

  // The file:// URL of an application's .desktop file, as GIO gives it.
  std::string applicationURL(const std::string& id) const;
  // Each recorded call of the application, as its argument list, oldest first.
  std::vector<std::vector<std::string>> calls(const std::string& id) const;
  bool waitForCalls(const std::string& id, size_t count) const;
  // Takes the applications out of the desktop, or puts them back; GIO notices on its own.
  void setInstalled(const std::vector<std::string>& ids, bool installed) const;
  // Drops the recorded calls of every application; calls still under way must have ended.
  void forgetCalls() const;

 private:
  TestDesktop();
  TempDir dir_;
};

struct ProcessResult { int exitStatus = -1; std::string out, err; };
// Runs a program and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv);

}  // namespace fennelview::test
