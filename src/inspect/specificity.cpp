// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/specificity.hpp"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace fennelview {

namespace {

constexpr std::size_t kMaxDepth = 32;
constexpr int kMaxCount = 0xFFFF;

bool isNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' || c == '\\' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

Specificity plus(Specificity a, Specificity b) {
  return {std::min(a.ids + b.ids, kMaxCount), std::min(a.classes + b.classes, kMaxCount),
          std::min(a.types + b.types, kMaxCount)};
}

class Counter {
 public:
  explicit Counter(std::string_view text) : text_(text) { frames_.push_back({Mode::kGreatest, {}, {}}); }

  Specificity run() {
    while (at_ < text_.size()) step();
    while (frames_.size() > 1) close();
    auto& root = frames_.back();
    return std::max(root.best, root.current);
  }

 private:
  // How a parenthesised argument list adds to its selector: its most specific member, nothing,
  // or not at all because the pseudo-class already counted (and its argument is not a selector).
  enum class Mode { kGreatest, kZero, kIgnored };
  struct Frame {
    Mode mode;
    Specificity current;
    Specificity best;
  };

  std::string readName() {
    std::string name;
    while (at_ < text_.size() && isNameChar(text_[at_])) {
      if (text_[at_] == '\\' && at_ + 1 < text_.size()) name += text_[at_++];
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(text_[at_++])));
    }
    return name;
  }

  void add(Specificity s) {
    if (skipped_ == 0 && frames_.back().mode != Mode::kIgnored) frames_.back().current = plus(frames_.back().current, s);
  }

  void open(Mode mode) {
    if (skipped_ > 0 || frames_.size() >= kMaxDepth) {
      ++skipped_;
      return;
    }
    frames_.push_back({frames_.back().mode == Mode::kIgnored ? Mode::kIgnored : mode, {}, {}});
  }

  void close() {
    if (skipped_ > 0) {
      --skipped_;
      return;
    }
    if (frames_.size() == 1) return;
    const Frame frame = frames_.back();
    frames_.pop_back();
    if (frame.mode == Mode::kGreatest) add(std::max(frame.best, frame.current));
  }

  void skipString(char quote) {
    ++at_;
    while (at_ < text_.size() && text_[at_] != quote) at_ += text_[at_] == '\\' ? 2 : 1;
    ++at_;
  }

  void step() {
    const char c = text_[at_];
    lastWasType_ = lastWasType_ && c == '|';
    switch (c) {
      case '#':
        ++at_;
        readName();
        add({1, 0, 0});
        return;
      case '.':
        ++at_;
        readName();
        add({0, 1, 0});
        return;
      case '[':
        add({0, 1, 0});
        while (at_ < text_.size() && text_[at_] != ']') {
          if (text_[at_] == '"' || text_[at_] == '\'') skipString(text_[at_]);
          else at_ += text_[at_] == '\\' ? 2 : 1;
        }
        ++at_;
        return;
      case '"':
      case '\'':
        skipString(c);
        return;
      case '|':
        // `ns|type`: the namespace was counted as a type.
        if (lastWasType_) add({0, 0, -1});
        lastWasType_ = false;
        ++at_;
        return;
      case '(':
        ++at_;
        open(Mode::kIgnored);
        return;
      case ')':
        ++at_;
        close();
        return;
      case ',':
        ++at_;
        if (skipped_ == 0) {
          auto& frame = frames_.back();
          frame.best = std::max(frame.best, frame.current);
          frame.current = {};
        }
        return;
      case ':':
        pseudo();
        return;
      default:
        if (isNameStart(c) && !(c == '-' && at_ + 1 < text_.size() && text_[at_ + 1] >= '0' && text_[at_ + 1] <= '9')) {
          readName();
          add({0, 0, 1});
          lastWasType_ = true;
          return;
        }
        ++at_;
    }
  }

  void pseudo() {
    ++at_;
    const bool element = at_ < text_.size() && text_[at_] == ':';
    if (element) ++at_;
    const std::string name = readName();
    const bool function = at_ < text_.size() && text_[at_] == '(';
    if (function) ++at_;
    static constexpr std::string_view kLegacyElements[] = {"before", "after", "first-line", "first-letter"};
    static constexpr std::string_view kGreatest[] = {"is", "not", "has", "matches", "-webkit-any", "-moz-any"};
    if (element || std::ranges::find(kLegacyElements, name) != std::end(kLegacyElements)) {
      add({0, 0, 1});
      if (function) open(Mode::kIgnored);
    } else if (function && name == "where") {
      open(Mode::kZero);
    } else if (function && std::ranges::find(kGreatest, name) != std::end(kGreatest)) {
      open(Mode::kGreatest);
    } else {
      add({0, 1, 0});
      if (function) open(Mode::kIgnored);
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::vector<Frame> frames_;
  std::size_t skipped_ = 0;
  bool lastWasType_ = false;
};

}  // namespace

Specificity specificityOf(std::string_view selector) { return Counter(selector).run(); }

}  // namespace fennelview
