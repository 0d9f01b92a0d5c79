// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/bounded_read.hpp"

#include <fstream>

namespace fennelview {

std::optional<std::string> readWholeFile(const std::filesystem::path& file, std::uintmax_t limit) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || size > limit) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) return std::nullopt;
  return text;
}

}  // namespace fennelview
