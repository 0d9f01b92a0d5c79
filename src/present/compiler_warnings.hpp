// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fennelview {

// One kind of warning: its first occurrence as the compiler wrote it, and how often it came.
struct WarningGroup {
  std::string text;
  std::size_t count = 0;
  bool operator==(const WarningGroup&) const = default;
};

// The warnings of a successful compile, grouped so that a flood reads as a short list.
struct CompilerWarnings {
  static constexpr std::size_t kShownGroups = 20;

  std::size_t total = 0;             // every warning, repeats included
  std::vector<WarningGroup> groups;  // the first kShownGroups kinds, in order of appearance
  std::size_t hiddenGroups = 0;      // kinds beyond those

  // The popover's text: each shown kind with its count, then how many kinds are left out.
  std::string summary() const;
};

// Splits the compiler's standard error into warnings and groups those that differ only in
// where they occurred. Warnings the compile did not keep (`leftOut`) count, and a last group
// says how many they were.
CompilerWarnings groupWarnings(const std::string& standardError, std::size_t leftOut = 0);

}  // namespace fennelview
