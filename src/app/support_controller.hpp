#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fennelview {

// What the feedback mail needs, gathered once at start-up. A value: copied, never changed.
class SupportController {
 public:
  // The fixed address, this build's version and build numbers, and this system's version text.
  SupportController();
  SupportController(std::string email, std::string versionNumber, std::string buildNumber,
                    std::string systemVersion);

  const std::string& email() const { return email_; }
  const std::string& versionNumber() const { return versionNumber_; }
  const std::string& buildNumber() const { return buildNumber_; }
  const std::string& systemVersion() const { return systemVersion_; }

  // "mailto:<email>?&subject=<encoded subject>", or none when the subject cannot be encoded
  // or the text is not a valid URL.
  std::optional<std::string> feedbackURL() const;
  // Hands the feedback URL to the desktop's mail program; nothing is reported either way.
  void openFeedbackMail() const;

 private:
  std::string email_;
  std::string versionNumber_;
  std::string buildNumber_;
  std::string systemVersion_;
};

// Percent-encodes every byte outside the characters allowed in a URL host (RFC 3986
// unreserved and sub-delims) as %XX; none when the text is not valid UTF-8.
std::optional<std::string> percentEncodeHostAllowed(std::string_view text);

}  // namespace fennelview
