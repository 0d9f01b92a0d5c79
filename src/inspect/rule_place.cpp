// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/rule_place.hpp"

#include <glib.h>

#include <filesystem>

#include "common/glib_ptr.hpp"

namespace fennelview {

namespace {

std::string fileNameOf(const std::string& file) {
  if (GCharPtr path{g_filename_from_uri(file.c_str(), nullptr, nullptr)}) return std::filesystem::path(path.get()).filename();
  const auto slash = file.find_last_of('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace

std::optional<RulePlace> placeOfRule(const StyleRule& rule, const PositionLookup& lookup) {
  auto mapped = lookup(rule.line, rule.column);
  if ((!mapped || mapped->line < 1) && !rule.declarations.empty()) {
    mapped = lookup(rule.declarations.front().line, rule.declarations.front().column);
  }
  if (!mapped || mapped->line < 1 || mapped->file.empty()) return std::nullopt;
  auto name = fileNameOf(mapped->file);
  name += ":" + std::to_string(mapped->line);
  return RulePlace{std::move(mapped->file), mapped->line, std::move(name)};
}

}  // namespace fennelview
