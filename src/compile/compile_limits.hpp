// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace fennelview {

// What a compiler may cost before it is stopped: nothing it writes or allocates may grow
// the app without bound.
struct CompileLimits {
  std::size_t errorBytes = std::size_t{1} << 20;   // standard error kept
  std::size_t outputBytes = std::size_t{64} << 20;  // CSS, or one packet of the embedded protocol
  std::uint64_t residentBytes = std::uint64_t{2} << 30;  // the compiler's whole process group
  std::chrono::milliseconds memoryCheckInterval{250};
};

// "64 MB", "2 GB", "512 KB": a limit as a user reads it.
std::string describeBytes(std::uint64_t bytes);

// What a compiler wrote past its limit: the CSS, its messages, or a packet of the embedded protocol.
enum class OutputKind { kCss, kMessages, kPacket };

// The messages of a compile stopped at a limit; `compiler` names it ("sassc", "Dart Sass").
std::string outputTooLargeMessage(std::string_view compiler, std::uint64_t limit, OutputKind what);
std::string memoryLimitMessage(std::string_view compiler, std::uint64_t limit);
std::string timeoutMessage(std::string_view compiler, std::chrono::milliseconds limit);
// Why a compiler could not be started, from an errno value; `executable` empty when the
// resource folder holds none.
std::string startFailureMessage(const std::string& executable, int error);

}  // namespace fennelview
