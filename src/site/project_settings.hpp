// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fennelview {

class Settings;
class UserDefaults;

// What is kept for one project root, beside the global settings: its own load paths (e.g.
// node_modules/foundation-sites/scss), a web root chosen by the user and the addresses of the
// servers its pages were shown from, the latest first.
struct ProjectSettings {
  std::vector<std::string> loadPaths;
  std::optional<std::filesystem::path> webRoot;
  std::vector<std::string> serverAddresses;
  bool operator==(const ProjectSettings&) const = default;
};

// Stored under "project:ROOT" as {"loadPaths": [...], "webRoot": "...", "servers": [...]}. Values of another type
// count as absent; an empty ProjectSettings removes the key.
ProjectSettings projectSettings(const UserDefaults& settings, const std::filesystem::path& projectRoot);
void setProjectSettings(UserDefaults& settings, const std::filesystem::path& projectRoot,
                        const ProjectSettings& value);

// A project's load paths as folders to search: relative entries resolve from the project root.
std::vector<std::string> projectLoadPaths(const ProjectSettings& value, const std::filesystem::path& projectRoot);
// Adds a folder to the project's load paths (relative to the root when under it), unless it is
// there, or removes one as listed; the open documents compile again.
void addProjectLoadPath(Settings& settings, const std::filesystem::path& projectRoot, const std::filesystem::path& folder);
void removeProjectLoadPath(Settings& settings, const std::filesystem::path& projectRoot, const std::string& entry);
// Keeps a server's address first among the project's, at most a few of them.
void keepServerAddress(UserDefaults& settings, const std::filesystem::path& projectRoot, const std::string& address);

}  // namespace fennelview
