// SPDX-License-Identifier: GPL-3.0-or-later
#include "panes/media_query_rewrite.hpp"

#include <optional>

namespace fennelview {

namespace {

// Always true and always false, in any place a feature in parentheses may stand.
constexpr std::string_view kAlways = "(min-width: 0px)";
constexpr std::string_view kNever = "(not (min-width: 0px))";

bool identChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || byte >= 0x80;
}

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool sameWord(std::string_view text, std::string_view lowerWord) {
  if (text.size() != lowerWord.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lowerWord[i]) return false;
  }
  return true;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

// Past the comment or string that starts at `at`; `at` itself when none does.
std::size_t pastCommentOrString(std::string_view text, std::size_t at) {
  if (text.substr(at, 2) == "/*") {
    const auto end = text.find("*/", at + 2);
    return end == std::string_view::npos ? text.size() : end + 2;
  }
  const char quote = text[at];
  if (quote != '"' && quote != '\'') return at;
  std::size_t i = at + 1;
  while (i < text.size() && text[i] != quote && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
  return std::min(i + 1, text.size());
}

// The answer of a feature `(name: value)` that the state decides, else none.
std::optional<bool> featureAnswer(std::string_view inside, const MediaState& media) {
  const auto colon = inside.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto name = trim(inside.substr(0, colon)), value = trim(inside.substr(colon + 1));
  if (media.colorScheme && sameWord(name, "prefers-color-scheme")) {
    if (sameWord(value, "dark")) return *media.colorScheme == ColorScheme::dark;
    if (sameWord(value, "light")) return *media.colorScheme == ColorScheme::light;
  }
  if (media.reducedMotion && sameWord(name, "prefers-reduced-motion")) {
    if (sameWord(value, "reduce")) return true;
    if (sameWord(value, "no-preference")) return false;
  }
  return std::nullopt;
}

// Replaces each decided feature; a feature is a parenthesis with none nested in it, so each
// byte is looked at no more than twice.
std::string rewriteCondition(std::string_view condition, const MediaState& media) {
  std::string out;
  std::size_t i = 0, copied = 0;
  while (i < condition.size()) {
    if (const auto past = pastCommentOrString(condition, i); past != i) {
      i = past;
      continue;
    }
    if (condition[i] == '(') {
      auto end = i + 1;
      while (end < condition.size() && condition[end] != ')' && condition[end] != '(' && condition[end] != '"' &&
             condition[end] != '\'') {
        ++end;
      }
      if (end < condition.size() && condition[end] == ')') {
        if (const auto answer = featureAnswer(condition.substr(i + 1, end - i - 1), media)) {
          out.append(condition.substr(copied, i - copied));
          out.append(*answer ? kAlways : kNever);
          copied = i = end + 1;
          continue;
        }
      }
    }
    ++i;
  }
  out.append(condition.substr(copied));
  return out;
}

std::string_view leadingWord(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size() && identChar(text[end])) ++end;
  return text.substr(0, end);
}

std::string rewriteQuery(std::string_view query, const MediaState& media) {
  const auto text = trim(query);
  auto first = leadingWord(text);
  if (first.empty()) return rewriteCondition(text, media);
  auto afterFirst = trim(text.substr(first.size()));
  std::string_view prefix;
  std::string_view type = first;
  if (sameWord(first, "not") || sameWord(first, "only")) {
    const auto second = leadingWord(afterFirst);
    // "not (…)" is a condition, not a type.
    if (second.empty()) return rewriteCondition(text, media);
    prefix = first;
    type = second;
  }
  const auto typeAt = static_cast<std::size_t>(type.data() - text.data());
  const auto rest = text.substr(typeAt + type.size());
  if (sameWord(type, "and") || sameWord(type, "or")) return rewriteCondition(text, media);
  if (!media.print) return std::string(text.substr(0, typeAt + type.size())) + rewriteCondition(rest, media);
  const bool typeMatches = sameWord(type, "all") || sameWord(type, "print");
  // "not T and C" is not (T and C): with T false it holds whatever C is.
  if (!typeMatches) return sameWord(prefix, "not") ? "all" : "not all";
  return std::string(text.substr(0, typeAt)) + "all" + rewriteCondition(rest, media);
}

}  // namespace

std::string emulateMediaQueryList(std::string_view list, const MediaState& media) {
  if (!media.emulates()) return std::string(list);
  std::string out;
  std::size_t start = 0, i = 0;
  int depth = 0;
  const auto take = [&](std::size_t end) {
    if (!out.empty() || start > 0) out += ", ";
    out += rewriteQuery(list.substr(start, end - start), media);
  };
  while (i < list.size()) {
    if (const auto past = pastCommentOrString(list, i); past != i) {
      i = past;
      continue;
    }
    const char c = list[i];
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (c == ',' && depth == 0) {
      take(i);
      start = i + 1;
    }
    ++i;
  }
  if (!trim(list.substr(start)).empty() || start > 0) take(list.size());
  return out;
}

std::string emulateMedia(std::string_view css, const MediaState& media) {
  if (!media.emulates()) return std::string(css);
  std::string out;
  out.reserve(css.size());
  std::size_t i = 0, copied = 0;
  while (i < css.size()) {
    if (const auto past = pastCommentOrString(css, i); past != i) {
      i = past;
      continue;
    }
    const bool atMedia = css[i] == '@' && sameWord(css.substr(i + 1, 5), "media") &&
                         (i + 6 >= css.size() || !identChar(css[i + 6])) && (i == 0 || !identChar(css[i - 1]));
    if (!atMedia) {
      ++i;
      continue;
    }
    // The prelude runs to the block or the statement's end outside parentheses.
    const auto start = i + 6;
    auto end = start;
    int depth = 0;
    while (end < css.size()) {
      if (const auto past = pastCommentOrString(css, end); past != end) {
        end = past;
        continue;
      }
      const char c = css[end];
      if (c == '(') ++depth;
      if (c == ')' && depth > 0) --depth;
      if ((c == '{' || c == ';' || c == '}') && depth == 0) break;
      ++end;
    }
    const auto prelude = css.substr(start, end - start);
    out.append(css.substr(copied, start - copied));
    out += ' ';
    out += emulateMediaQueryList(prelude, media);
    if (!prelude.empty() && space(prelude.back())) out += ' ';
    copied = i = end;
  }
  out.append(css.substr(copied));
  return out;
}

}  // namespace fennelview
