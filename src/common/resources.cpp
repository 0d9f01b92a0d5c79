// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/resources.hpp"

#include <glib/gi18n.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "common/glib_ptr.hpp"


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
  // One message with the path in its place, in the user's language.
  const auto say = [](const char* format, const std::filesystem::path& path) {
    GCharPtr shown(g_filename_display_name(path.c_str()));
    GCharPtr text(g_strdup_printf(format, shown.get()));
    return std::string(text.get());
  };
  const auto dir = resourceDirectory();
  if (dir.empty()) {
    return std::string(_("the resource folder was not found next to the executable; "
                         "set FENNELVIEW_RESOURCES to the folder that holds sassc and Template/."));
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    /* Translators: %1$s is a folder. */
    return say(_("the resource folder %1$s does not exist."), dir);
  }
  const auto sassc = dir / "sassc";
  if (!std::filesystem::exists(sassc, ec)) {
    /* Translators: %1$s is the path of the compiler program. */
    return say(_("the Sass compiler is missing: %1$s does not exist. Previews will show this error instead of CSS."), sassc);
  }
  if (access(sassc.c_str(), X_OK) != 0) {
    /* Translators: %1$s is the path of the compiler program. */
    return say(_("the Sass compiler %1$s is not executable. Previews will show this error instead of CSS."), sassc);
  }
  if (!std::filesystem::exists(dir / "Template" / "index.html", ec)) {
    /* Translators: %1$s is the path of an HTML file. */
    return say(_("the preview template %1$s is missing; a plain built-in page will be shown instead."),
               dir / "Template" / "index.html");
  }
  return std::nullopt;
}


}  // namespace fennelview
