// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/rule_place.hpp"

#include <glib.h>

#include <climits>
#include <filesystem>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

std::string fileNameOf(const std::string& file) {
  if (GCharPtr path{g_filename_from_uri(file.c_str(), nullptr, nullptr)}) return std::filesystem::path(path.get()).filename();
  const auto slash = file.find_last_of('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

bool known(const std::optional<SourcePlace>& place) { return place && place->line && !place->file.empty(); }

std::optional<RulePlace> named(const std::optional<SourcePlace>& place) {
  if (!known(place)) return std::nullopt;
  const int line = *place->line;
  return RulePlace{place->file, line, fileNameOf(place->file) + ":" + std::to_string(line)};
}

}  // namespace

std::optional<RulePlace> placeOfRule(const StyleRule& rule, const SourceMap& map) {
  auto mapped = map.placeOf(rule.line, rule.column);
  if (!known(mapped) && !rule.declarations.empty()) {
    mapped = map.placeOf(rule.declarations.front().line, rule.declarations.front().column);
  }
  return named(mapped);
}

std::optional<RulePlace> placeOfLine(int line, int column, const SourceMap& map) {
  auto mapped = map.placeOf(line, column);
  if (!known(mapped)) mapped = map.placeOf(line, INT_MAX);
  return named(mapped);
}

}  // namespace fennelview
