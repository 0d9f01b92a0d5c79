// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>

namespace fennelview {

// The root of the project a document belongs to: the nearest folder above it that holds
// ".git" or "package.json", else the document's own folder. Never `home`, "/" or a folder
// others may write to (world-writable or sticky, as /tmp): a dotfiles repository in the home
// folder must not make all of it a site, nor a style sheet in /tmp make other users' files its
// pages, so a marker there counts as none, and a document lying directly in one has no project.
std::optional<std::filesystem::path> projectRootOf(const std::filesystem::path& document,
                                                   const std::filesystem::path& home);

// Whether a folder with this status lets other users put files in it.
bool isSharedFolder(const struct stat& folder);

// Whether `file` was put by another user into a folder others may write to: never a page or a
// served file, whatever it holds.
bool isStrangersFile(const std::filesystem::path& file);

}  // namespace fennelview
