// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/source_map.hpp"

#include <glib.h>

#include <algorithm>
#include <climits>
#include <nlohmann/json.hpp>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// One base64 VLQ from `at`; none when it is malformed or does not fit 32 bits.
std::optional<long long> readVlq(std::string_view text, std::size_t& at) {
  long long value = 0;
  for (int shift = 0; shift <= 30; shift += 5) {
    if (at >= text.size()) return std::nullopt;
    const int digit = base64Digit(text[at++]);
    if (digit < 0) return std::nullopt;
    value |= static_cast<long long>(digit & 31) << shift;
    if (!(digit & 32)) return value & 1 ? -(value >> 1) : value >> 1;
  }
  return std::nullopt;
}

bool hasScheme(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;  // "C:" and relative names are paths
  return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return g_ascii_isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

std::string resolve(const std::string& source, const std::string& root, const std::filesystem::path& base) {
  std::string joined = source;
  if (!root.empty() && !source.starts_with('/') && !hasScheme(source)) {
    joined = root.ends_with('/') ? root + source : root + "/" + source;
  }
  if (joined.starts_with("file:")) {
    GCharPtr path(g_filename_from_uri(joined.c_str(), nullptr, nullptr));
    return path ? std::filesystem::path(path.get()).lexically_normal().string() : joined;
  }
  if (hasScheme(joined)) return joined;
  return (base / joined).lexically_normal().string();
}

bool fits(long long value) { return value >= 0 && value < INT_MAX; }

}  // namespace

SourceMap::SourceMap(std::string text, std::filesystem::path baseDirectory)
    : text_(std::move(text)), baseDirectory_(std::move(baseDirectory)) {}

const SourceMap::Decoded& SourceMap::decoded() const {
  std::call_once(once_, [this] {
    auto& d = decoded_;
    d.lineStarts = {0};
    const auto json = nlohmann::json::parse(text_, nullptr, false);
    if (!json.is_object()) return;
    const auto root = json.value("sourceRoot", nlohmann::json()).is_string() ? json["sourceRoot"].get<std::string>()
                                                                              : std::string();
    if (const auto sources = json.find("sources"); sources != json.end() && sources->is_array()) {
      for (const auto& source : *sources) {
        d.sources.push_back(source.is_string() ? resolve(source.get<std::string>(), root, baseDirectory_) : "");
      }
    }
    d.contents.resize(d.sources.size());
    if (const auto contents = json.find("sourcesContent"); contents != json.end() && contents->is_array()) {
      for (std::size_t i = 0; i < std::min(contents->size(), d.sources.size()); ++i) {
        if ((*contents)[i].is_string()) d.contents[i] = (*contents)[i].get<std::string>();
      }
    }
    const auto mappings = json.find("mappings");
    if (mappings == json.end() || !mappings->is_string()) return;
    const std::string_view text = mappings->get_ref<const std::string&>();
    // Every field but the generated column carries on from the line before.
    long long column = 0, source = 0, line = 0, sourceColumn = 0;  // each delta fits 32 bits
    const auto endLine = [&] {
      const auto begin = d.segments.begin() + static_cast<std::ptrdiff_t>(d.lineStarts.back());
      std::stable_sort(begin, d.segments.end(),
                       [](const Segment& a, const Segment& b) { return a.generatedColumn < b.generatedColumn; });
      d.lineStarts.push_back(d.segments.size());
      column = 0;
    };
    std::size_t at = 0;
    while (at < text.size()) {
      if (text[at] == ';') {
        endLine();
        ++at;
        continue;
      }
      if (text[at] == ',') {
        ++at;
        continue;
      }
      long long fields[5] = {};
      int count = 0;
      while (at < text.size() && text[at] != ',' && text[at] != ';') {
        const auto value = readVlq(text, at);
        if (!value || count == 5) {  // the rest cannot be followed: what came before stands
          endLine();
          return;
        }
        fields[count++] = *value;
      }
      column += fields[0];
      if (count >= 4) source += fields[1], line += fields[2], sourceColumn += fields[3];
      const bool placed = count >= 4 && source >= 0 && source < static_cast<long long>(d.sources.size()) &&
                          fits(line) && fits(sourceColumn);
      if (fits(column) && (count == 1 || placed)) {
        d.segments.push_back({static_cast<int>(column), count == 1 ? -1 : static_cast<int>(source),
                              count == 1 ? 0 : static_cast<int>(line), count == 1 ? 0 : static_cast<int>(sourceColumn)});
      }
    }
    endLine();
  });
  return decoded_;
}

std::optional<std::string_view> SourceMap::contentOf(std::string_view source) const {
  const auto& d = decoded();
  for (std::size_t i = 0; i < d.sources.size(); ++i) {
    if (d.sources[i] == source && d.contents[i]) return *d.contents[i];
  }
  return std::nullopt;
}

std::optional<SourcePlace> SourceMap::placeOf(int line, int column) const {
  const auto& d = decoded();
  if (line < 1 || column < 1 || static_cast<std::size_t>(line) >= d.lineStarts.size()) return std::nullopt;
  const auto begin = d.segments.begin() + static_cast<std::ptrdiff_t>(d.lineStarts[line - 1]);
  const auto end = d.segments.begin() + static_cast<std::ptrdiff_t>(d.lineStarts[line]);
  const auto after = std::upper_bound(begin, end, column - 1,
                                      [](int c, const Segment& s) { return c < s.generatedColumn; });
  if (after == begin || std::prev(after)->source < 0) return std::nullopt;
  const auto& s = *std::prev(after);
  const auto& file = d.sources[static_cast<std::size_t>(s.source)];
  if (file.empty()) return std::nullopt;
  return SourcePlace{file, s.line + 1, s.column + 1};
}

}  // namespace fennelview
