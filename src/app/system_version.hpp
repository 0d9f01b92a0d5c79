#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace fennelview {

// The operating system's version text: the distribution's PRETTY_NAME with the kernel
// release, e.g. "Debian GNU/Linux 12 (bookworm) (Linux 6.1.0-18-amd64)". Falls back to
// /usr/lib/os-release, then to the kernel alone.
std::string systemVersionText();
// The same from a given os-release file and kernel release.
std::string systemVersionText(const std::filesystem::path& osRelease, const std::string& kernelRelease);

// PRETTY_NAME of os-release contents (quoting and backslash escapes undone), or none.
std::optional<std::string> prettyNameFromOsRelease(std::string_view contents);

}  // namespace fennelview
