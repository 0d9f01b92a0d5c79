// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/compiler_warnings.hpp"

#include <glib/gi18n.h>

#include <map>
#include <regex>
#include <sstream>

namespace fennelview {
namespace {

// A warning is a paragraph; "DEBUG:" lines come one after another without a blank line.
std::vector<std::string> splitEntries(const std::string& text) {
  std::vector<std::string> entries;
  std::istringstream in(text);
  std::string line;
  bool open = false;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) {
      open = false;
      continue;
    }
    const bool startsOwn = line.find(" DEBUG: ") != std::string::npos || line.starts_with("WARNING") ||
                           line.starts_with("DEPRECATION WARNING");
    if (!open || startsOwn) {
      entries.push_back(line);
      open = true;
    } else {
      entries.back() += "\n" + line;
    }
  }
  return entries;
}

std::string withoutLocations(const std::string& entry) {
  static const std::regex location(R"(\s*on line \d+(:\d+|, column \d+)? of [^\n]*|^[^\n ]*:\d+ (?=DEBUG: ))");
  return std::regex_replace(entry, location, "");
}

}  // namespace

CompilerWarnings groupWarnings(const std::string& standardError) {
  CompilerWarnings warnings;
  std::map<std::string, std::size_t> indexOfKind;
  for (auto& entry : splitEntries(standardError)) {
    ++warnings.total;
    const auto [at, added] = indexOfKind.try_emplace(withoutLocations(entry), indexOfKind.size());
    if (at->second >= CompilerWarnings::kShownGroups) continue;
    if (added) warnings.groups.push_back({std::move(entry), 0});
    ++warnings.groups[at->second].count;
  }
  warnings.hiddenGroups = indexOfKind.size() - warnings.groups.size();
  return warnings;
}

std::string CompilerWarnings::summary() const {
  std::string text;
  for (const auto& group : groups) {
    if (!text.empty()) text += "\n\n";
    if (group.count > 1) {
      char* times = g_strdup_printf(_("%1$lu\u00D7 %2$s"), static_cast<unsigned long>(group.count), group.text.c_str());
      text += times;
      g_free(times);
    } else {
      text += group.text;
    }
  }
  if (hiddenGroups > 0) {
    const auto hidden = static_cast<unsigned long>(hiddenGroups);
    char* more = g_strdup_printf(
        ngettext("\u2026and %lu more kind of warning.", "\u2026and %lu more kinds of warning.", hidden), hidden);
    text += std::string("\n\n") + more;
    g_free(more);
  }
  return text;
}

}  // namespace fennelview
