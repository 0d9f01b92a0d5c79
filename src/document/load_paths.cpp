// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/load_paths.hpp"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <glib.h>

#include "preferences/settings.hpp"
#include "site/project_root.hpp"
#include "site/project_settings.hpp"

namespace fennelview {

std::vector<std::string> loadPathsFor(const std::string& documentPath, const Settings& settings) {
  std::vector<std::string> folders;
  if (const char* sassPath = std::getenv("SASS_PATH")) {
    std::istringstream entries(sassPath);
    for (std::string entry; std::getline(entries, entry, ':');) {
      if (!entry.empty()) folders.push_back(entry);
    }
  }
  for (auto& folder : settings.loadPaths()) folders.push_back(std::move(folder));
  if (documentPath.empty()) return folders;
  if (const auto root = projectRootOf(documentPath, g_get_home_dir())) {
    for (auto& folder : projectLoadPaths(projectSettings(settings.store(), *root), *root)) folders.push_back(std::move(folder));
  }
  std::error_code ec;
  for (auto folder = std::filesystem::path(documentPath).parent_path(); !folder.empty();
       folder = folder.parent_path()) {
    if (std::filesystem::is_directory(folder / "node_modules", ec)) {
      folders.push_back((folder / "node_modules").string());
      break;
    }
    if (folder == folder.root_path()) break;
  }
  return folders;
}

}  // namespace fennelview
