// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compile/source_place.hpp"

namespace fennelview {

// A compile's source map, kept beside its CSS as the compiler wrote it and decoded only when
// something first asks where a piece of the CSS came from: producing the page never pays for it.
class SourceMap {
 public:
  // `text` is the map's JSON. Sources that are relative paths resolve against its
  // `sourceRoot`, then against `baseDirectory` (where the compiler wrote the map).
  explicit SourceMap(std::string text, std::filesystem::path baseDirectory = {});

  const std::string& text() const { return text_; }
  const std::filesystem::path& baseDirectory() const { return baseDirectory_; }

  // The files the map names, as absolute paths (file: URLs converted); other URLs as given.
  const std::vector<std::string>& sources() const { return decoded().sources; }
  // A source's text when the map carries it.
  std::optional<std::string_view> contentOf(std::string_view source) const;
  // Where the CSS at a line and column (from 1) came from: the mapping at or before the
  // column on that line. None when the map says nothing there or cannot be read.
  std::optional<SourcePlace> placeOf(int line, int column) const;

 private:
  struct Segment {
    int generatedColumn;
    int source;  // -1: a segment that names no source
    int line;
    int column;
  };
  struct Decoded {
    std::vector<std::string> sources;
    std::vector<std::optional<std::string>> contents;
    std::vector<Segment> segments;      // line by line, each line's sorted by column
    std::vector<std::size_t> lineStarts;  // index of each generated line's first segment, and the end
  };
  const Decoded& decoded() const;

  std::string text_;
  std::filesystem::path baseDirectory_;
  mutable std::once_flag once_;
  mutable Decoded decoded_;
};

}  // namespace fennelview
