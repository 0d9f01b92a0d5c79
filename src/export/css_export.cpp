// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/css_export.hpp"

#include <fcntl.h>
#include <glib/gi18n.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <nlohmann/json.hpp>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "common/unique_fd.hpp"

namespace fennelview {

namespace {

std::string cannotSave(const std::filesystem::path& target, int error) {
  /* Translators: %1$s is a file's path, %2$s the system's reason, such as "Permission denied". */
  return formatted(_("The CSS could not be saved to \u201C%1$s\u201D: %2$s"), target.c_str(), g_strerror(error));
}

// The file a write to `target` lands in: its folders made, its links followed to the file they
// name, so that a linked file is updated rather than replaced by a copy.
std::filesystem::path linkedFile(const std::filesystem::path& target) {
  std::error_code ec;
  auto file = std::filesystem::absolute(target, ec);
  for (int hops = 0; hops < 40; ++hops) {
    g_mkdir_with_parents(file.parent_path().c_str(), 0777);
    file = std::filesystem::weakly_canonical(file.parent_path(), ec) / file.filename();
    if (!std::filesystem::is_symlink(file, ec)) break;
    const auto next = std::filesystem::read_symlink(file, ec);
    if (ec) break;
    file = file.parent_path() / next;
  }
  return file;
}

// Writes a temporary file beside the file `target` names and renames it over that file, which
// keeps its mode (and group where the user may); a new file gets 0666 less the umask.
// g_file_set_contents_full would replace a link by a file and take the mode from the umask.
std::optional<std::string> writeAtomically(const std::filesystem::path& target, const std::string& contents) {
  const auto file = linkedFile(target);
  struct stat existing {};
  const bool exists = ::stat(file.c_str(), &existing) == 0;
  std::string temporary = file.string() + ".XXXXXX";
  UniqueFd fd(g_mkstemp_full(temporary.data(), O_WRONLY | O_CLOEXEC, 0666));
  if (!fd) return cannotSave(target, errno);
  int error = 0;
  for (std::size_t done = 0; done < contents.size() && !error;) {
    const auto wrote = ::write(fd.get(), contents.data() + done, contents.size() - done);
    if (wrote > 0) done += static_cast<std::size_t>(wrote);
    else if (wrote == 0 || errno != EINTR) error = wrote == 0 ? EIO : errno;
  }
  if (!error && exists) {
    // A group the user is not in stays the user's own; the mode is kept either way.
    if (::fchown(fd.get(), static_cast<uid_t>(-1), existing.st_gid) != 0 && errno != EPERM) error = errno;
    if (!error && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) error = errno;
  }
  if (!error && ::fsync(fd.get()) != 0) error = errno;
  if (!error && ::close(fd.release()) != 0) error = errno;
  if (!error && ::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
  if (!error) return std::nullopt;
  ::unlink(temporary.c_str());
  return cannotSave(target, error);
}

std::string escapedUrl(const std::string& path) {
  return GCharPtr(g_uri_escape_string(path.c_str(), "/", FALSE)).get();
}

// A source as a URL relative to `folder` when it is a file, as given otherwise.
std::string relativeSource(const std::string& source, const std::string& sourceRoot, const std::filesystem::path& base,
                           const std::filesystem::path& folder) {
  std::filesystem::path file;
  if (GCharPtr path{g_filename_from_uri(source.c_str(), nullptr, nullptr)}) {
    file = path.get();
  } else if (GCharPtr scheme{g_uri_parse_scheme(source.c_str())}) {
    return source;
  } else {
    file = std::filesystem::path(source);
    if (file.is_relative()) file = base / sourceRoot / file;
  }
  const auto relative = file.lexically_normal().lexically_relative(folder.lexically_normal());
  if (relative.empty()) {
    GCharPtr uri(g_filename_to_uri(file.lexically_normal().c_str(), nullptr, nullptr));
    return uri ? uri.get() : source;
  }
  return escapedUrl(relative.string());
}

// The CSS without a map comment at its end: the map written beside it replaces the one the compile named.
std::string withoutMapComment(std::string css) {
  const auto comment = css.rfind("/*# sourceMappingURL=");
  if (comment == std::string::npos) return css;
  const auto end = css.find("*/", comment);
  if (end == std::string::npos || css.find_first_not_of(" \t\r\n", end + 2) != std::string::npos) return css;
  css.erase(comment);
  while (!css.empty() && (css.back() == '\n' || css.back() == ' ')) css.pop_back();
  return css;
}

}  // namespace

std::optional<std::string> exportCss(const ParsingResult& result, const std::filesystem::path& target,
                                     const std::optional<SourceMapText>& map) {
  if (result.isFailure()) {
    const auto reason = result.error() ? result.error()->localizedDescription() : std::nullopt;
    if (!reason) return std::string(_("The CSS was not saved because the Sass did not compile."));
    /* Translators: %1$s is the compiler's message. */
    return formatted(_("The CSS was not saved because the Sass did not compile: %1$s"), reason->c_str());
  }
  const auto folder = std::filesystem::absolute(target).parent_path();
  std::string css = result.output().output;
  if (map) {
    auto json = nlohmann::json::parse(map->text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::string(_("The CSS was not saved: its source map could not be read."));
    const std::string sourceRoot = json.value("sourceRoot", nlohmann::json()).is_string() ? json["sourceRoot"].get<std::string>() : "";
    if (auto sources = json.find("sources"); sources != json.end() && sources->is_array()) {
      for (auto& source : *sources) {
        if (source.is_string()) source = relativeSource(source.get<std::string>(), sourceRoot, map->baseDirectory, folder);
      }
    }
    json.erase("sourceRoot");
    const std::string mapName = target.filename().string() + ".map";
    json["file"] = target.filename().string();
    auto mapText = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (auto error = writeAtomically(folder / mapName, mapText)) return error;
    css = withoutMapComment(std::move(css));
    if (!css.empty() && css.back() != '\n') css += '\n';
    css += "\n/*# sourceMappingURL=" + escapedUrl(mapName) + " */\n";
  }
  return writeAtomically(target, css);
}

}  // namespace fennelview
