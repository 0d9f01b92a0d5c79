// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace fennelview {

// The content type a file is served with: a fixed table for the types the web depends on
// (a module script or an SVG image is refused under a wrong type), GIO's guess for the rest.
std::string contentTypeFor(const std::filesystem::path& file);

}  // namespace fennelview
