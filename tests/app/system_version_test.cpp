#include "app/system_version.hpp"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

TEST(PrettyName, UndoesTheShellQuotingOfOsRelease) {
  EXPECT_EQ(prettyNameFromOsRelease("NAME=x\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME='Arch $Linux'\n"), "Arch $Linux");
  EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=Alpine\\ Linux"), "Alpine Linux");
  EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"Say \\\"hi\\\" \\\\ \\n\"\r\n"), "Say \"hi\" \\ \\n");
}

TEST(PrettyName, MissingOrEmptyGivesNothingAndTheLastAssignmentWins) {
  EXPECT_EQ(prettyNameFromOsRelease("NAME=\"Debian\"\n# PRETTY_NAME=\"commented\"\n"), std::nullopt);
  EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"\"\n"), std::nullopt);
  EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"Old\"\nPRETTY_NAME=\"New\"\n"), "New");
  EXPECT_EQ(prettyNameFromOsRelease(""), std::nullopt);
}

TEST(SystemVersion, JoinsTheDistributionAndTheKernel) {
  test::TempDir dir;
  test::writeFile(dir / "os-release", "PRETTY_NAME=\"Débian 12 (bookworm)\"\n");
  EXPECT_EQ(systemVersionText(dir / "os-release", "6.1.0-18-amd64"), "Débian 12 (bookworm) (Linux 6.1.0-18-amd64)");
  EXPECT_EQ(systemVersionText(dir / "missing", "6.1.0-18-amd64"), "Linux 6.1.0-18-amd64");
  EXPECT_EQ(systemVersionText(dir / "missing", ""), "Linux");
}

TEST(SystemVersion, ThisSystemNamesItsRunningKernel) {
  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  const auto text = systemVersionText();
  EXPECT_TRUE(text.ends_with(std::string("(Linux ") + names.release + ")")) << text;
  EXPECT_NE(text, std::string("Linux ") + names.release) << "no distribution name found";
}

}  // namespace
}  // namespace fennelview
