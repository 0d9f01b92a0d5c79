#include "app/support_controller.hpp"

#include <gtest/gtest.h>

#include "app/system_version.hpp"
#include "build_config.hpp"
#include "test_desktop.hpp"

namespace fennelview {
namespace {

using test::TestDesktop;

// Before main: GIO reads the XDG folders, and so finds the recording mail program, at first use.
const TestDesktop& desktop = TestDesktop::standard();

const std::string expectedSubject =
    "Fennelview%20Feedback%20-%201.0.0%20(42)%20-%20D%C3%A9bian%2012%20(bookworm)";

// Encoding

TEST(PercentEncodeHostAllowed, KeepsOnlyUnreservedAndSubDelimitersAndEncodesEachOtherByte) {
  const std::string kept = "AZaz09-._~!$&'()*+,;=";
  EXPECT_EQ(percentEncodeHostAllowed(kept), kept);
  EXPECT_EQ(percentEncodeHostAllowed(" :/?#[]@%\"<>\\^`{|}\t"),
            "%20%3A%2F%3F%23%5B%5D%40%25%22%3C%3E%5C%5E%60%7B%7C%7D%09");
  EXPECT_EQ(percentEncodeHostAllowed("é😱"), "%C3%A9%F0%9F%98%B1");
}

TEST(PercentEncodeHostAllowed, GivesNothingForTextThatIsNotUTF8) {
  EXPECT_EQ(percentEncodeHostAllowed("Debian \xff"), std::nullopt);
  EXPECT_EQ(percentEncodeHostAllowed(std::string("a\0b", 3)), "a%00b");
}

// The feedback URL

TEST(SupportController, FeedbackURLNamesVersionBuildAndSystemAndNothingElse) {
  SupportController support("support@fennelview.org", "1.0.0", "42", "Débian 12 (bookworm)");
  EXPECT_EQ(support.feedbackURL(), "mailto:support@fennelview.org?&subject=" + expectedSubject);
}

TEST(SupportController, AddressGoesInUnchanged) {
  SupportController support("help+mac=1@fennelview.org", "2", "3", "X");
  EXPECT_EQ(support.feedbackURL(),
            "mailto:help+mac=1@fennelview.org?&subject=Fennelview%20Feedback%20-%202%20(3)%20-%20X");
}

TEST(SupportController, NoURLWhenTheSubjectOrTheAddressIsUnusable) {
  EXPECT_EQ(SupportController("support@fennelview.org", "1", "2", "Linux \xc3").feedbackURL(), std::nullopt);
  EXPECT_EQ(SupportController("support team@fennelview.org", "1", "2", "Linux").feedbackURL(), std::nullopt);
  EXPECT_EQ(SupportController("support@fennelview.org%zz", "1", "2", "Linux").feedbackURL(), std::nullopt);
}

TEST(SupportController, DefaultValuesComeFromTheBuildAndTheSystem) {
  SupportController support;
  EXPECT_EQ(support.email(), "support@fennelview.org");
  EXPECT_EQ(support.versionNumber(), build::versionNumber);
  EXPECT_EQ(support.buildNumber(), build::buildNumber);
  EXPECT_EQ(support.systemVersion(), systemVersionText());
  ASSERT_TRUE(support.feedbackURL());
  EXPECT_TRUE(support.feedbackURL()->starts_with("mailto:support@fennelview.org?&subject=Fennelview%20Feedback%20-%20"));
}

// The mail program

class FeedbackMailTest : public ::testing::Test {
 protected:
  void SetUp() override { desktop.forgetCalls(); }
};

TEST_F(FeedbackMailTest, MailProgramReceivesTheExactURLEachTime) {
  const SupportController support("support@fennelview.org", "1.0.0", "42", "Débian 12 (bookworm)");
  const std::string url = "mailto:support@fennelview.org?&subject=" + expectedSubject;
  support.openFeedbackMail();
  ASSERT_TRUE(desktop.waitForCalls("mail", 1));
  support.openFeedbackMail();
  ASSERT_TRUE(desktop.waitForCalls("mail", 2));
  EXPECT_EQ(desktop.calls("mail"), (std::vector<std::vector<std::string>>{{url}, {url}}));
}

TEST_F(FeedbackMailTest, UnusableURLOpensNothing) {
  SupportController("support team@fennelview.org", "1", "2", "Linux").openFeedbackMail();
  // A usable mail afterwards is the only call: the first never reached the mail program.
  SupportController("support@fennelview.org", "1", "2", "Linux").openFeedbackMail();
  ASSERT_TRUE(desktop.waitForCalls("mail", 1));
  EXPECT_EQ(desktop.calls("mail"),
            (std::vector<std::vector<std::string>>{
                {"mailto:support@fennelview.org?&subject=Fennelview%20Feedback%20-%201%20(2)%20-%20Linux"}}));
}

}  // namespace
}  // namespace fennelview
