// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/support_controller.hpp"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "test_desktop.hpp"

namespace fennelview {
namespace {

// Before main: GIO reads the XDG folders, and so finds the recording mail program, at first use.
const test::TestDesktop& desktop = test::TestDesktop::standard();

TEST(SupportController, TheMailProgramGetsTheEncodedSubjectAndUnusableURLsOpenNothing) {
  SupportController("support team@fennelview.org", "1", "2", "Linux").openFeedbackMail();  // not a URL
  SupportController("support@fennelview.org", "1", "2", "Linux \xc3").openFeedbackMail();   // not UTF-8
  SupportController("help+1@fennelview.org", "1", "2", "Débian ~!$&'()*+,;=:/?#[]@%").openFeedbackMail();
  ASSERT_TRUE(desktop.waitForCalls("mail", 1));
  const std::string subject = "Fennelview%20Feedback%20-%201%20(2)%20-%20D%C3%A9bian%20~!$&'()*+,;=%3A%2F%3F%23%5B%5D%40%25";
  EXPECT_EQ(desktop.calls("mail"), (std::vector<std::vector<std::string>>{{"mailto:help+1@fennelview.org?&subject=" + subject}}));
}

TEST(SupportController, TheSubjectEndsWithTheRunningKernel) {
  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_TRUE(SupportController().feedbackURL().value_or("").ends_with(std::string("%20(Linux%20") + names.release + ")"));
}

}  // namespace
}  // namespace fennelview
