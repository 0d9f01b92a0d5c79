// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/resources.hpp"

#include <unistd.h>

#include <cstdlib>
#include <system_error>


namespace fennelview {
namespace {

std::filesystem::path executableDirectory() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace

std::filesystem::path resourceDirectory() {
  std::error_code ec;
  if (const char* overridden = std::getenv("FENNELVIEW_RESOURCES"); overridden && *overridden) {
    return std::filesystem::absolute(overridden, ec);
  }
  const auto exeDir = executableDirectory();
  if (exeDir.empty()) return {};
  for (const auto& candidate : {exeDir / "resources", (exeDir / FENNELVIEW_RESOURCES_FROM_BINDIR).lexically_normal()}) {
    if (std::filesystem::is_directory(candidate, ec)) return candidate;
  }
  return {};
}

std::optional<std::filesystem::path> resourcePath(const std::string& relative) {
  const auto dir = resourceDirectory();
  if (dir.empty()) return std::nullopt;
  auto candidate = dir / relative;
  std::error_code ec;
  if (!std::filesystem::exists(candidate, ec)) return std::nullopt;
  return candidate;
}

std::optional<std::filesystem::path> bundledDartSass(const std::filesystem::path& resourceFolder) {
  std::error_code ec;
  if (!resourceFolder.empty()) {
    auto inResources = resourceFolder / "dart-sass" / "sass";
    if (std::filesystem::exists(inResources, ec)) return inResources;
  }
  const auto exeDir = executableDirectory();
  if (exeDir.empty()) return std::nullopt;
  auto installed = (exeDir / FENNELVIEW_DART_SASS_FROM_BINDIR).lexically_normal();
  if (std::filesystem::exists(installed, ec)) return installed;
  return std::nullopt;
}

std::filesystem::path localeDirectory() {
  const auto exeDir = executableDirectory();
  std::error_code ec;
  if (!exeDir.empty() && std::filesystem::is_directory(exeDir / "locale", ec)) return exeDir / "locale";
  return (exeDir / FENNELVIEW_LOCALE_FROM_BINDIR).lexically_normal();
}

std::optional<std::string> checkResources() {
  const auto dir = resourceDirectory();
  if (dir.empty()) {
    return "the resource folder was not found next to the executable; "
           "set FENNELVIEW_RESOURCES to the folder that holds sassc and Template/.";
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    return "the resource folder " + dir.string() + " does not exist.";
  }
  const auto sassc = dir / "sassc";
  if (!std::filesystem::exists(sassc, ec)) {
    return "the Sass compiler is missing: " + sassc.string() +
           " does not exist. Previews will show this error instead of CSS.";
  }
  if (access(sassc.c_str(), X_OK) != 0) {
    return "the Sass compiler " + sassc.string() +
           " is not executable. Previews will show this error instead of CSS.";
  }
  if (!std::filesystem::exists(dir / "Template" / "index.html", ec)) {
    return "the preview template " + (dir / "Template" / "index.html").string() +
           " is missing; a plain built-in page will be shown instead.";
  }
  return std::nullopt;
}


}  // namespace fennelview
