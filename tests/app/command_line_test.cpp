// The real executable as a child process without a display: what a user at a terminal sees.
#include <gtest/gtest.h>

#include "build_config.hpp"
#include "test_desktop.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

test::ProcessResult runApp(std::vector<std::string> args, const std::map<std::string, std::string>& env = {}) {
  args.insert(args.begin(), {"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", FENNELVIEW_EXECUTABLE});
  return test::runProcess(args, env);
}

TEST(CommandLine, AnUnknownOptionFailsAndHelpNamesTheFiles) {
  EXPECT_NE(runApp({"--no-such-option"}).exitStatus, 0);
  const auto help = runApp({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("[FILE…]"), std::string::npos) << help.out;
}

TEST(CommandLine, VersionNamesTheAppAndTheCompilerAskedNow) {
  test::FakeResources resources("#!/bin/sh\necho 'sassc: 9.8.7'\necho 'libsass: 9.8.7-test'\n");
  const auto shown = runApp({"--version"});
  EXPECT_EQ(shown.exitStatus, 0);
  EXPECT_EQ(shown.out, std::string("Fennelview ") + build::versionNumber + " (" + build::buildNumber +
                           ")\nLibSass 9.8.7-test\n");
}

TEST(CommandLine, AMissingResourceFolderIsReportedWithOnePrefix) {
  const auto run = runApp({"/nowhere.scss"}, {{"FENNELVIEW_RESOURCES", "/nonexistent-fennelview"}});
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            "fennelview: the resource folder /nonexistent-fennelview does not exist.");
}

}  // namespace
}  // namespace fennelview
