// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/source_place.hpp"

#include <algorithm>
#include <climits>
#include <filesystem>

namespace fennelview {

std::optional<int> placeNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  long long value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

bool mayLink(const SourcePlace& place, const std::vector<std::string>& filesRead) {
  const auto extension = std::filesystem::path(place.file).extension();
  if (extension != ".scss" && extension != ".sass" && extension != ".css") return false;
  return std::ranges::find(filesRead, place.file) != filesRead.end();
}

}  // namespace fennelview
