// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compile_limits.hpp"

#include <glib.h>

#include <sstream>

namespace fennelview {

std::string describeBytes(std::uint64_t bytes) {
  constexpr std::uint64_t kKilo = 1024, kMega = kKilo * 1024, kGiga = kMega * 1024;
  if (bytes >= kGiga && bytes % kGiga == 0) return std::to_string(bytes / kGiga) + " GB";
  if (bytes >= kMega) return std::to_string(bytes / kMega) + " MB";
  if (bytes >= kKilo) return std::to_string(bytes / kKilo) + " KB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string outputTooLargeMessage(std::string_view compiler, std::uint64_t limit, std::string_view what) {
  return "Compilation stopped: the compiler's output is too large (" + std::string(compiler) +
         " wrote more than " + describeBytes(limit) + " of " + std::string(what) + ").";
}

std::string memoryLimitMessage(std::string_view compiler, std::uint64_t limit) {
  return "Compilation stopped: " + std::string(compiler) + " used more than " + describeBytes(limit) +
         " of memory. A file that never ends (a device, a pipe) read as a style sheet can do this.";
}

std::string timeoutMessage(std::string_view compiler, std::chrono::milliseconds limit) {
  std::ostringstream text;
  text << "Compilation timed out: " << compiler << " was still running after ";
  if (limit.count() % 1000 == 0) {
    text << limit.count() / 1000;
  } else {
    text << static_cast<double>(limit.count()) / 1000.0;
  }
  text << (limit.count() == 1000 ? " second" : " seconds") << " and was stopped.";
  return text.str();
}

std::string startFailureMessage(const std::string& executable, int error) {
  if (executable.empty()) {
    return "The Sass compiler could not be started: the resource folder holds no \xE2\x80\x9C"
           "sassc\xE2\x80\x9D.";
  }
  return "The Sass compiler \xE2\x80\x9C" + executable + "\xE2\x80\x9D could not be started: " +
         g_strerror(error) + ".";
}

}  // namespace fennelview
