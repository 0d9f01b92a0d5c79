// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/page_choice.hpp"

#include "site/project_root.hpp"
#include "site/server_pages.hpp"

namespace fennelview {

namespace fs = std::filesystem;

PageChoice pageToShow(const std::optional<std::optional<fs::path>>& requested, const std::optional<std::string>& kept,
                       const std::vector<fs::path>& found) {
  if (requested) return {*requested, std::nullopt};
  if (kept) {
    std::error_code ec;
    if (kept->empty()) return {};
    // A server's address is no file; whether it answers shows on the page.
    if (looksLikeServerAddress(*kept)) return {fs::path(*kept), std::nullopt};
    if (fs::is_regular_file(*kept, ec)) return {fs::path(*kept), std::nullopt};
    return {std::nullopt, fs::path(*kept)};
  }
  if (found.empty()) return {};
  return {found.front(), std::nullopt};
}

std::optional<fs::path> servingRootOf(const fs::path& page, const fs::path& home) {
  if (auto root = projectRootOf(page, home)) return root;
  const auto folder = page.parent_path();
  if (folder == home || folder == page.root_path()) return std::nullopt;
  std::error_code ec;
  auto canonical = fs::weakly_canonical(folder, ec);
  if (ec) return std::nullopt;
  return canonical;
}

}  // namespace fennelview
