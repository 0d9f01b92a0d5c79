#include "app/support_controller.hpp"

#include <gio/gio.h>

#include <algorithm>
#include <utility>

#include "app/system_version.hpp"
#include "build_config.hpp"
#include "common/glib_ptr.hpp"
#include "common/utf8.hpp"
#include "preferences/url_text.hpp"

namespace fennelview {

namespace {

bool hostAllowed(unsigned char c) {
  if (g_ascii_isalnum(c)) return true;
  constexpr std::string_view others = "-._~!$&'()*+,;=";
  return others.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> percentEncodeHostAllowed(std::string_view text) {
  if (!isValidUtf8(text)) return std::nullopt;
  constexpr char hex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (hostAllowed(c)) {
      encoded += ch;
    } else {
      encoded += '%';
      encoded += hex[c >> 4];
      encoded += hex[c & 0x0F];
    }
  }
  return encoded;
}

SupportController::SupportController()
    : SupportController("support@fennelview.org", build::versionNumber, build::buildNumber, systemVersionText()) {}

SupportController::SupportController(std::string email, std::string versionNumber, std::string buildNumber,
                                     std::string systemVersion)
    : email_(std::move(email)),
      versionNumber_(std::move(versionNumber)),
      buildNumber_(std::move(buildNumber)),
      systemVersion_(std::move(systemVersion)) {}

std::optional<std::string> SupportController::feedbackURL() const {
  const std::string subject =
      "Fennelview Feedback - " + versionNumber_ + " (" + buildNumber_ + ") - " + systemVersion_;
  const auto encoded = percentEncodeHostAllowed(subject);
  if (!encoded) return std::nullopt;
  std::string url = "mailto:" + email_ + "?&subject=" + *encoded;
  if (!isValidURL(url)) return std::nullopt;
  return url;
}

void SupportController::openFeedbackMail() const {
  const auto url = feedbackURL();
  if (!url) return;
  GError* rawError = nullptr;
  g_app_info_launch_default_for_uri(url->c_str(), nullptr, &rawError);
  GErrorPtr ignored(rawError);
}

}  // namespace fennelview
