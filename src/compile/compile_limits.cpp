// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compile_limits.hpp"

#include <glib/gi18n.h>

#include <sstream>

#include "common/formatted.hpp"

namespace fennelview {

std::string describeBytes(std::uint64_t bytes) {
  constexpr std::uint64_t kKilo = 1024, kMega = kKilo * 1024, kGiga = kMega * 1024;
  if (bytes >= kGiga && bytes % kGiga == 0) return std::to_string(bytes / kGiga) + " GB";
  if (bytes >= kMega) return std::to_string(bytes / kMega) + " MB";
  if (bytes >= kKilo) return std::to_string(bytes / kKilo) + " KB";
  const auto count = static_cast<unsigned long>(bytes);
  return formatted(ngettext("%lu byte", "%lu bytes", count), count);
}

std::string outputTooLargeMessage(std::string_view compiler, std::uint64_t limit, OutputKind what) {
  const std::string name(compiler);
  const auto size = describeBytes(limit);
  switch (what) {
    case OutputKind::kCss:
      /* Translators: %1$s is the compiler, such as "sassc", %2$s a size, such as "64 MB". */
      return formatted(_("Compilation stopped: the compiler's output is too large (%1$s wrote more than %2$s of CSS)."),
                       name.c_str(), size.c_str());
    case OutputKind::kMessages:
      return formatted(
          /* Translators: %1$s is the compiler, such as "sassc", %2$s a size, such as "1 MB". */
          _("Compilation stopped: the compiler's output is too large (%1$s wrote more than %2$s of messages)."),
          name.c_str(), size.c_str());
    case OutputKind::kPacket:
      break;
  }
  /* Translators: %1$s is the compiler, such as "Dart Sass", %2$s a size, such as "64 MB". */
  return formatted(_("Compilation stopped: the compiler's output is too large (%1$s wrote more than %2$s of output)."),
                   name.c_str(), size.c_str());
}

std::string memoryLimitMessage(std::string_view compiler, std::uint64_t limit) {
  const std::string name(compiler);
  /* Translators: %1$s is the compiler, such as "sassc", %2$s a size, such as "2 GB". */
  return formatted(_("Compilation stopped: %1$s used more than %2$s of memory. A file that never ends (a device, a "
                     "pipe) read as a style sheet can do this."),
                   name.c_str(), describeBytes(limit).c_str());
}

std::string timeoutMessage(std::string_view compiler, std::chrono::milliseconds limit) {
  const bool whole = limit.count() % 1000 == 0;
  std::ostringstream seconds;
  if (whole) {
    seconds << limit.count() / 1000;
  } else {
    seconds << static_cast<double>(limit.count()) / 1000.0;
  }
  // A fraction of a second reads as a plural.
  const auto count = whole ? static_cast<unsigned long>(limit.count() / 1000) : 2ul;
  const std::string name(compiler);
  /* Translators: %1$s is the compiler, such as "sassc", %2$s a number of seconds. */
  return formatted(ngettext("Compilation timed out: %1$s was still running after %2$s second and was stopped.",
                            "Compilation timed out: %1$s was still running after %2$s seconds and was stopped.", count),
                   name.c_str(), seconds.str().c_str());
}

std::string startFailureMessage(const std::string& executable, int error) {
  if (executable.empty()) return _("The Sass compiler could not be started: the resource folder holds no \u201Csassc\u201D.");
  /* Translators: %1$s is the compiler program's path, %2$s the system's reason, such as "Permission denied". */
  return formatted(_("The Sass compiler \u201C%1$s\u201D could not be started: %2$s."), executable.c_str(),
                   g_strerror(error));
}

}  // namespace fennelview
