// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/project_root.hpp"

namespace fennelview {

std::optional<std::filesystem::path> projectRootOf(const std::filesystem::path& document,
                                                   const std::filesystem::path& home) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(fs::absolute(document, ec), ec).parent_path();
  const fs::path homeFolder = home.empty() ? fs::path() : fs::weakly_canonical(home, ec);
  const auto excluded = [&](const fs::path& candidate) {
    return candidate == candidate.root_path() || candidate == homeFolder;
  };
  if (folder.empty() || excluded(folder)) return std::nullopt;
  for (fs::path candidate = folder; !excluded(candidate); candidate = candidate.parent_path()) {
    if (fs::exists(candidate / ".git", ec) || fs::is_regular_file(candidate / "package.json", ec)) return candidate;
  }
  return folder;
}

}  // namespace fennelview
