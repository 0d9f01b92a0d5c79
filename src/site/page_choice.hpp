// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fennelview {

// The page a document is shown on (none: the sample page), and a kept page that is gone, which
// the user is told of.
struct PageChoice {
  std::optional<std::filesystem::path> page;
  std::optional<std::filesystem::path> gone;
  bool operator==(const PageChoice&) const = default;
};

// One asked for (none inside: the sample page), else the one kept for the document (empty: the
// sample page) while it is still a file, else the first of the pages found for it.
PageChoice pageToShow(const std::optional<std::optional<std::filesystem::path>>& requested,
                       const std::optional<std::string>& kept, const std::vector<std::filesystem::path>& found);

// The folder a page is served from: its project's root, else its own folder, but never the home
// folder or "/" (none then).
std::optional<std::filesystem::path> servingRootOf(const std::filesystem::path& page, const std::filesystem::path& home);

}  // namespace fennelview
