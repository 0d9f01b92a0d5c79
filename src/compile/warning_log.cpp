// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/warning_log.hpp"

namespace fennelview {

namespace {
constexpr std::string_view kDebug = " DEBUG: ";
constexpr std::string_view kWarning = "WARNING";
constexpr std::string_view kDeprecation = "DEPRECATION WARNING";
}  // namespace

void WarningLog::append(std::string_view bytes) {
  for (const char c : bytes) take(c);
  tail_.append(bytes);
  if (tail_.size() > 2 * tailLimit_) {
    tail_.erase(0, tail_.size() - tailLimit_);
    tailCut_ = true;
  }
}

void WarningLog::appendWarning(std::string_view paragraph) {
  if (!cut_ && kept_.size() + paragraph.size() + 2 <= limit_) {
    if (!kept_.empty()) kept_ += "\n\n";
    kept_.append(paragraph);
    ++keptEntries_;
  } else {
    cut_ = true;
  }
  ++entries_;
}

void WarningLog::take(char c) {
  if (!cut_ && !cutInLine_) {
    if (kept_.size() < limit_) {
      kept_ += c;
    } else {
      cutInLine_ = true;
    }
  }
  if (c == '\n') return endLine();
  inLine_ = true;
  if (c != ' ' && c != '\t' && c != '\r') blank_ = false;
  if (head_.size() < kDeprecation.size()) head_ += c;
  recent_ += c;
  if (recent_.size() > kDebug.size()) recent_.erase(0, 1);
  debug_ = debug_ || recent_ == kDebug;
}

void WarningLog::endLine() {
  const std::string_view head(head_);
  const bool startsOwn = debug_ || head.starts_with(kWarning) || head.starts_with(kDeprecation);
  const bool starts = !blank_ && (!open_ || startsOwn);
  if (starts) ++entries_;
  if (cutInLine_) {
    // The warning this line belongs to is left out whole.
    const bool continues = !blank_ && !starts;
    kept_.resize(continues ? entryStart_ : lineStart_);
    keptEntries_ = continues || starts ? entries_ - 1 : entries_;
    cut_ = true;
    cutInLine_ = false;
  }
  if (starts) entryStart_ = lineStart_;
  open_ = !blank_;
  lineStart_ = kept_.size();
  inLine_ = false;
  blank_ = true;
  head_.clear();
  recent_.clear();
  debug_ = false;
}

void WarningLog::finish() {
  if (inLine_ || cutInLine_) endLine();
}

std::size_t WarningLog::leftOut() const { return cut_ ? entries_ - keptEntries_ : 0; }

std::string WarningLog::end() const {
  if (!cut_) return kept_;
  if (!tailCut_) return tail_;
  const auto line = tail_.find('\n', tail_.size() > tailLimit_ ? tail_.size() - tailLimit_ : 0);
  return line == std::string::npos ? tail_ : tail_.substr(line + 1);
}

}  // namespace fennelview
