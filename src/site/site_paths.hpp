// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/unique_fd.hpp"

namespace fennelview {

// A URL path ("/img/a%20b.png", query and fragment already removed) percent-decoded, with "."
// and ".." applied, as "/img/a b.png". None when it climbs above its root, names a file or
// folder whose name starts with a dot, or holds a NUL or a broken escape.
std::optional<std::string> normalizedUrlPath(std::string_view urlPath);

// The percent-encoded form of a decoded path ("/img/a b.png" -> "/img/a%20b.png").
std::string encodedUrlPath(std::string_view path);

// A file opened for a request, and where it lies.
struct ConfinedFile {
  UniqueFd fd;
  std::filesystem::path path;
};

// Opens the file a request for `urlPath` (from the web root) may read: after decoding and
// after symbolic links it is a regular file inside `projectRoot` and outside every dot-folder;
// a folder stands for its index.html. None for anything else, so a page cannot reach ~/.ssh
// through "../", "..%2F" or a link. Each step opens one name relative to the folder already
// open, without following links, and follows a link by reading it, so a folder swapped for
// a link meanwhile cannot lead out. Neither is a file another user put in a shared folder read.
std::optional<ConfinedFile> confinedFile(const std::filesystem::path& projectRoot,
                                         const std::filesystem::path& webRoot, std::string_view urlPath);

// The folder that "/" stands for when `page` is shown: the highest folder from the page's own up
// to the project root that holds an index.html (public/index.html makes public/ the root), else
// the project root. `chosen` (a project setting) wins when it lies inside the project.
std::filesystem::path webRootFor(const std::filesystem::path& page, const std::filesystem::path& projectRoot,
                                 const std::optional<std::filesystem::path>& chosen = std::nullopt);

// Whether `path` is `folder` or lies below it (both already canonical or both lexical).
bool isWithin(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace fennelview
