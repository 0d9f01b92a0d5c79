// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace fennelview {

// A regular file's whole text when it is no larger than `limit`; none otherwise. Never reads
// more than the size it found, so a file that grows meanwhile cannot take more memory.
std::optional<std::string> readWholeFile(const std::filesystem::path& file, std::uintmax_t limit);
// The same of a file already open, read from its start; the descriptor stays open.
std::optional<std::string> readWholeFile(int fd, std::uintmax_t limit);

}  // namespace fennelview
