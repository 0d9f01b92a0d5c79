// SPDX-License-Identifier: GPL-3.0-or-later
// The real executable as a child process without a display: what a user at a terminal sees.
#include <gtest/gtest.h>

#include "build_config.hpp"
#include "test_desktop.hpp"

namespace fennelview {
namespace {

test::ProcessResult runApp(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
  args.insert(args.begin(), FENNELVIEW_EXECUTABLE);
  args.insert(args.begin(), env.begin(), env.end());
  args.insert(args.begin(), {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "DBUS_SESSION_BUS_ADDRESS"});
  return test::runProcess(args);
}

TEST(CommandLine, StatusHelpVersionAndTheStartUpMessage) {
  EXPECT_NE(runApp({"--no-such-option"}).exitStatus, 0);
  EXPECT_NE(runApp({"--help"}).out.find("[FILE…]"), std::string::npos);
  const auto noFolder = runApp({"/nowhere.scss"}, {"FENNELVIEW_RESOURCES=/nonexistent-fennelview"});
  EXPECT_EQ(noFolder.err.substr(0, noFolder.err.find('\n')),
            "fennelview: the resource folder /nonexistent-fennelview does not exist.");
  // A resource folder whose sassc reports a version of its own.
  test::TempDir resources;
  test::writeScript(resources / "sassc", "echo 'sassc: 9.8.7'\necho 'libsass: 9.8.7-test'");
  std::filesystem::copy(test::realResources() / "Template", resources / "Template",
                        std::filesystem::copy_options::recursive);
  const auto version = runApp({"--version"}, {"FENNELVIEW_RESOURCES=" + resources.path().string()}).out;
  EXPECT_TRUE(version.starts_with(std::string("Fennelview ") + build::versionNumber + " (" + build::buildNumber +
                                  ")\nLibSass 9.8.7-test\n")) << version;
}

}  // namespace
}  // namespace fennelview
