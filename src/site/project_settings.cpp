// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/project_settings.hpp"

#include <algorithm>

#include "preferences/settings.hpp"
#include "preferences/user_defaults.hpp"

namespace fennelview {

namespace {

std::string keyOf(const std::filesystem::path& projectRoot) { return "project:" + projectRoot.string(); }

}  // namespace

ProjectSettings projectSettings(const UserDefaults& settings, const std::filesystem::path& projectRoot) {
  ProjectSettings value;
  const auto kept = settings.objectForKey(keyOf(projectRoot));
  const auto stored = kept ? typedValue<nlohmann::json::object_t>(*kept) : std::nullopt;
  if (!stored) return value;
  if (const auto found = stored->find("loadPaths"); found != stored->end() && found->second.is_array()) {
    for (const auto& entry : found->second) {
      if (entry.is_string() && !entry.get<std::string>().empty()) {
        value.loadPaths.push_back(entry.get<std::string>());
      }
    }
  }
  if (const auto found = stored->find("servers"); found != stored->end() && found->second.is_array()) {
    for (const auto& entry : found->second) {
      if (entry.is_string() && !entry.get<std::string>().empty()) value.serverAddresses.push_back(entry.get<std::string>());
    }
  }
  if (const auto webRoot = typedValue<std::string>(*stored, "webRoot"); webRoot && !webRoot->empty()) {
    value.webRoot = *webRoot;
  }
  return value;
}

void setProjectSettings(UserDefaults& settings, const std::filesystem::path& projectRoot,
                        const ProjectSettings& value) {
  if (value == ProjectSettings{}) {
    settings.setObject(nullptr, keyOf(projectRoot));
    return;
  }
  nlohmann::json stored = nlohmann::json::object();
  stored["loadPaths"] = value.loadPaths;
  if (value.webRoot) stored["webRoot"] = value.webRoot->string();
  if (!value.serverAddresses.empty()) stored["servers"] = value.serverAddresses;
  settings.setObject(stored, keyOf(projectRoot));
}

std::vector<std::string> projectLoadPaths(const ProjectSettings& value, const std::filesystem::path& projectRoot) {
  std::vector<std::string> folders;
  for (const auto& entry : value.loadPaths) folders.push_back((projectRoot / entry).lexically_normal().string());
  return folders;
}

void addProjectLoadPath(Settings& settings, const std::filesystem::path& projectRoot, const std::filesystem::path& folder) {
  auto normal = folder.lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();
  const auto relative = normal.lexically_relative(projectRoot);
  const bool inside = normal.is_absolute() && !relative.empty() && *relative.begin() != "..";
  const std::string entry = inside ? relative.string() : normal.string();
  auto value = projectSettings(settings.store(), projectRoot);
  if (std::ranges::find(value.loadPaths, entry) != value.loadPaths.end()) return;
  value.loadPaths.push_back(entry);
  setProjectSettings(settings.store(), projectRoot, value);
  settings.announce(Settings::Entry::loadPaths);
}

void removeProjectLoadPath(Settings& settings, const std::filesystem::path& projectRoot, const std::string& entry) {
  auto value = projectSettings(settings.store(), projectRoot);
  if (std::erase(value.loadPaths, entry) == 0) return;
  setProjectSettings(settings.store(), projectRoot, value);
  settings.announce(Settings::Entry::loadPaths);
}

void keepServerAddress(UserDefaults& settings, const std::filesystem::path& projectRoot, const std::string& address) {
  constexpr std::size_t kept = 5;
  auto value = projectSettings(settings, projectRoot);
  std::erase(value.serverAddresses, address);
  value.serverAddresses.insert(value.serverAddresses.begin(), address);
  if (value.serverAddresses.size() > kept) value.serverAddresses.resize(kept);
  setProjectSettings(settings, projectRoot, value);
}

}  // namespace fennelview
