// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/project_root.hpp"

#include <unistd.h>

namespace fennelview {

namespace fs = std::filesystem;

bool isSharedFolder(const struct stat& folder) {
  return S_ISDIR(folder.st_mode) && (folder.st_mode & (S_IWOTH | S_ISVTX)) != 0;
}

bool isStrangersFile(const fs::path& file) {
  struct stat own{}, parent{};
  if (lstat(file.c_str(), &own) != 0 || stat(file.parent_path().c_str(), &parent) != 0) return false;
  return isSharedFolder(parent) && own.st_uid != geteuid();
}

std::optional<fs::path> projectRootOf(const fs::path& document, const fs::path& home) {
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(fs::absolute(document, ec), ec).parent_path();
  const fs::path homeFolder = home.empty() ? fs::path() : fs::weakly_canonical(home, ec);
  const auto excluded = [&](const fs::path& candidate) {
    struct stat status{};
    return candidate == candidate.root_path() || candidate == homeFolder ||
           (stat(candidate.c_str(), &status) == 0 && isSharedFolder(status));
  };
  if (folder.empty() || excluded(folder)) return std::nullopt;
  for (fs::path candidate = folder; !excluded(candidate); candidate = candidate.parent_path()) {
    if (fs::exists(candidate / ".git", ec) || fs::is_regular_file(candidate / "package.json", ec)) return candidate;
  }
  return folder;
}

}  // namespace fennelview
