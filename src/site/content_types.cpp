// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/content_types.hpp"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <utility>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 27> webTypes{{
    {".html", "text/html"},
    {".htm", "text/html"},
    {".css", "text/css"},
    {".js", "text/javascript"},
    {".mjs", "text/javascript"},
    {".cjs", "text/javascript"},
    {".json", "application/json"},
    {".map", "application/json"},
    {".webmanifest", "application/manifest+json"},
    {".svg", "image/svg+xml"},
    {".wasm", "application/wasm"},
    {".woff", "font/woff"},
    {".woff2", "font/woff2"},
    {".ttf", "font/ttf"},
    {".otf", "font/otf"},
    {".eot", "application/vnd.ms-fontobject"},
    {".png", "image/png"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".gif", "image/gif"},
    {".webp", "image/webp"},
    {".avif", "image/avif"},
    {".ico", "image/x-icon"},
    {".bmp", "image/bmp"},
    {".txt", "text/plain"},
    {".xml", "application/xml"},
    {".mp4", "video/mp4"},
}};

}  // namespace

std::string contentTypeFor(const std::filesystem::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [known, type] : webTypes) {
    if (extension == known) return std::string(type);
  }
  GCharPtr guessed(g_content_type_guess(file.c_str(), nullptr, 0, nullptr));
  GCharPtr mime(guessed ? g_content_type_get_mime_type(guessed.get()) : nullptr);
  return mime ? mime.get() : "application/octet-stream";
}

}  // namespace fennelview
