// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace fennelview {

// What the feedback mail needs, gathered once at start-up. A value: copied, never changed.
class SupportController {
 public:
  // The fixed address, this build's version and build numbers, and this system's version text.
  SupportController();
  SupportController(std::string email, std::string versionNumber, std::string buildNumber,
                    std::string systemVersion);

  const std::string& email() const { return email_; }
  // Whether the desktop has a mail program to take the feedback mail.
  static bool canSendMail();

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

}  // namespace fennelview
