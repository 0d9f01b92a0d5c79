// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/support_controller.hpp"

#include <gio/gio.h>

#include <sys/utsname.h>

#include <utility>

#include "build_config.hpp"
#include "common/glib_ptr.hpp"
#include "preferences/url_text.hpp"

namespace fennelview {

namespace {

// The distribution's name and the running kernel, e.g. "Debian GNU/Linux 12 (bookworm) (Linux 6.1.0-18-amd64)".
std::string systemVersionText() {
  GCharPtr pretty(g_get_os_info(G_OS_INFO_KEY_PRETTY_NAME));
  struct utsname names {};
  const std::string kernel = uname(&names) == 0 ? std::string("Linux ") + names.release : "Linux";
  return pretty && *pretty ? std::string(pretty.get()) + " (" + kernel + ")" : kernel;
}

// Every byte outside a URL host's characters (RFC 3986 unreserved and sub-delims) as %XX;
// none for text that is not UTF-8 or holds a NUL, which GLib's escaping would cut short.
std::optional<std::string> percentEncodeHostAllowed(const std::string& text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::nullopt;
  return std::string(GCharPtr(g_uri_escape_string(text.c_str(), "!$&'()*+,;=", FALSE)).get());
}

}  // namespace

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

bool SupportController::canSendMail() {
  GObjectPtr<GAppInfo> mail(g_app_info_get_default_for_uri_scheme("mailto"));
  return static_cast<bool>(mail);
}

void SupportController::openFeedbackMail() const {
  const auto url = feedbackURL();
  if (!url) return;
  GError* rawError = nullptr;
  g_app_info_launch_default_for_uri(url->c_str(), nullptr, &rawError);
  GErrorPtr ignored(rawError);
}

}  // namespace fennelview
