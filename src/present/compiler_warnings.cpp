// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/compiler_warnings.hpp"

#include <algorithm>
#include <glib/gi18n.h>

#include <map>
#include <sstream>
#include <string_view>

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

// Digits from `at`; the position after them, or npos when there are none.
std::size_t afterDigits(std::string_view text, std::size_t at) {
  const auto end = std::min(text.find_first_not_of("0123456789", at), text.size());
  return end > at ? end : std::string_view::npos;
}

// The end of an "on line L[:C | , column C] of FILE" place starting at `at` (the rest of the
// line); npos when there is none. Scanned by hand: a warning's line can be megabytes long.
std::size_t placeEnd(std::string_view text, std::size_t at) {
  auto i = afterDigits(text, at + std::string_view("on line ").size());
  if (i == std::string_view::npos) return i;
  if (text.substr(i).starts_with(":") && afterDigits(text, i + 1) != std::string_view::npos) {
    i = afterDigits(text, i + 1);
  } else if (text.substr(i).starts_with(", column ") && afterDigits(text, i + 9) != std::string_view::npos) {
    i = afterDigits(text, i + 9);
  }
  if (!text.substr(i).starts_with(" of ")) return std::string_view::npos;
  return std::min(text.find('\n', i), text.size());
}

// The entry without its places, so that the same warning from two places is one kind: each
// "on line …" with the blanks before it, and the "FILE:LINE " that leads a "DEBUG:" line.
std::string withoutLocations(const std::string& entry) {
  std::size_t at = 0;
  const auto debug = entry.find(" DEBUG: ");
  const auto colon = debug == std::string::npos ? debug : entry.rfind(':', debug);
  if (debug != std::string::npos && entry.find_first_of(" \n") == debug && colon != std::string::npos &&
      afterDigits(entry, colon + 1) == debug) {
    at = debug + 1;
  }
  std::string out;
  for (std::size_t on; (on = entry.find("on line ", at)) != std::string::npos;) {
    const auto end = placeEnd(entry, on);
    out.append(entry, at, on - at);
    if (end == std::string::npos) {
      out.append("on line ");
    } else {
      out.erase(std::min(out.find_last_not_of(" \t\r\n\f\v") + 1, out.size()));
    }
    at = end == std::string::npos ? on + 8 : end;
  }
  return out.append(entry, at);
}

}  // namespace

CompilerWarnings groupWarnings(const std::string& standardError, std::size_t leftOut) {
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
  if (leftOut > 0) {
    const auto count = static_cast<unsigned long>(leftOut);
    /* Translators: %lu is a number of warnings past the first megabyte of them. */
    char* more = g_strdup_printf(ngettext("\u2026and %lu more warning, too many to keep.",
                                          "\u2026and %lu more warnings, too many to keep.", count),
                                 count);
    warnings.groups.push_back({more, 1});
    g_free(more);
    warnings.total += leftOut;
  }
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
