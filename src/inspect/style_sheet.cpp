// SPDX-License-Identifier: GPL-3.0-or-later
#include "inspect/style_sheet.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace fennelview {

namespace {

// Deeper than any style sheet a person or a compiler writes; beyond it blocks are skipped.
constexpr std::size_t kMaxDepth = 256;
// What a sheet's rules may copy of selectors, conditions and layer names: a little more than
// the text itself, as resolving nested selectors repeats their parents.
constexpr std::size_t kBudgetBase = 64 * 1024;
constexpr std::size_t kBudgetPerByte = 4;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Calls `visit(index, char)` for each character of `text` outside strings, brackets and
// parentheses, skipping escaped characters.
template <class Visit>
void forEachTopLevel(std::string_view text, Visit visit) {
  int depth = 0;
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      ++i;
    } else if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '(' || c == '[') {
      ++depth;
    } else if (c == ')' || c == ']') {
      depth = std::max(0, depth - 1);
    } else if (depth == 0) {
      visit(i, c);
    }
  }
}

std::optional<Declaration> parseDeclaration(std::string_view text, int line, int column) {
  std::optional<std::size_t> colon;
  forEachTopLevel(text, [&](std::size_t i, char c) {
    if (c == ':' && !colon) colon = i;
  });
  if (!colon) return std::nullopt;
  Declaration declaration;
  declaration.property = std::string(trim(text.substr(0, *colon)));
  if (declaration.property.empty()) return std::nullopt;
  std::string_view value = trim(text.substr(*colon + 1));
  constexpr std::string_view kImportant = "important";
  if (value.size() >= kImportant.size()) {
    const auto tail = value.substr(value.size() - kImportant.size());
    if (std::equal(tail.begin(), tail.end(), kImportant.begin(), [](char a, char b) { return lower(a) == b; })) {
      const auto rest = trim(value.substr(0, value.size() - kImportant.size()));
      if (!rest.empty() && rest.back() == '!') {
        declaration.important = true;
        value = trim(rest.substr(0, rest.size() - 1));
      }
    }
  }
  declaration.value = std::string(value);
  declaration.line = line;
  declaration.column = column;
  return declaration;
}

// `child` as a selector that stands on its own: each `&` is the parent list, and a complex
// selector without one descends from it. None when that would be longer than `most`, found
// before anything is copied: a child that does not fit costs only its own length.
std::optional<std::string> resolveNested(const std::string& parent, std::string_view child, std::size_t most) {
  if (parent.empty()) return child.size() <= most ? std::optional<std::string>(child) : std::nullopt;
  const auto complexes = splitSelectorList(child);
  const std::size_t parentIsSize = parent.size() + 5;  // ":is(" parent ")"
  std::size_t length = 0;
  for (const auto& complex : complexes) {
    std::size_t ampersands = 0;
    forEachTopLevel(complex, [&](std::size_t, char c) { ampersands += c == '&'; });
    length += (length ? 2 : 0) + complex.size() + (ampersands ? ampersands * (parentIsSize - 1) : parentIsSize + 1);
    if (length > most) return std::nullopt;
  }
  const std::string parentIs = ":is(" + parent + ")";
  std::string resolved;
  resolved.reserve(length);
  for (const auto& complex : complexes) {
    if (!resolved.empty()) resolved += ", ";
    std::string one;
    bool hasAmpersand = false;
    std::size_t copied = 0;
    forEachTopLevel(complex, [&](std::size_t i, char c) {
      if (c != '&') return;
      one.append(complex, copied, i - copied);
      one += parentIs;
      copied = i + 1;
      hasAmpersand = true;
    });
    one.append(complex, copied);
    resolved += hasAmpersand ? one : parentIs + " " + one;
  }
  return resolved;
}

bool isGroupingRule(std::string_view name) {
  static constexpr std::string_view kGrouping[] = {"media", "supports",       "layer",    "container",
                                                   "scope", "starting-style", "document", "-moz-document"};
  return std::ranges::find(kGrouping, name) != std::end(kGrouping);
}

class Scanner {
 public:
  explicit Scanner(std::string_view css) : css_(css), budget_(kBudgetBase + kBudgetPerByte * css.size()) {}

  StyleSheet run() {
    while (at_ < css_.size()) step();
    if (skipDepth_ == 0) endSegment('}');  // a last declaration or rule left open at the end
    return std::move(sheet_);
  }

 private:
  enum class Kind { kGroup, kStyle };
  struct Frame {
    Kind kind;
    // The style rule's, or the one a group inside a style rule adds declarations to; shared, as
    // every group inside a rule has it.
    std::shared_ptr<const std::string> selector;
    std::optional<std::size_t> rule;
    std::string layer;
    std::vector<int> layerOrder;
    bool condition = false;
    bool asWritten = false;
  };

  void advance() {
    const char c = css_[at_++];
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++column_;
    }
  }

  void append(char c) {
    if (segment_.empty()) {
      segmentLine_ = line_;
      segmentColumn_ = column_;
    } else if (pendingSpace_) {
      segment_ += ' ';
    }
    pendingSpace_ = false;
    segment_ += c;
  }

  void step() {
    const char c = css_[at_];
    if (c == '/' && at_ + 1 < css_.size() && css_[at_ + 1] == '*') {
      advance();
      advance();
      while (at_ < css_.size() && !(css_[at_] == '*' && at_ + 1 < css_.size() && css_[at_ + 1] == '/')) advance();
      if (at_ < css_.size()) {
        advance();
        advance();
      }
      return;
    }
    if (c == '"' || c == '\'') {
      copyString(c);
      return;
    }
    if (c == '\\') {
      if (skipDepth_ == 0) append(c);
      advance();
      if (at_ < css_.size()) {
        if (skipDepth_ == 0) append(css_[at_]);
        advance();
      }
      return;
    }
    if (skipDepth_ > 0) {
      if (c == '{') ++skipDepth_;
      if (c == '}') --skipDepth_;
      advance();
      return;
    }
    if (c == '{' || c == '}' || (c == ';' && parens_ == 0)) {
      endSegment(c);
      advance();
      return;
    }
    if (isSpace(c)) {
      pendingSpace_ = !segment_.empty();
    } else {
      if (c == '(') ++parens_;
      if (c == ')' && parens_ > 0) --parens_;
      append(c);
    }
    advance();
  }

  // A string is copied as written up to its closing quote, or to the end of its line when it has none.
  void copyString(char quote) {
    const bool keep = skipDepth_ == 0;
    if (keep) append(quote);
    advance();
    while (at_ < css_.size() && css_[at_] != quote && css_[at_] != '\n') {
      if (css_[at_] == '\\' && at_ + 1 < css_.size()) {
        if (keep) segment_ += css_[at_];
        advance();
      }
      if (keep) segment_ += css_[at_];
      advance();
    }
    if (at_ < css_.size() && css_[at_] == quote) {
      if (keep) segment_ += quote;
      advance();
    }
  }

  void endSegment(char terminator) {
    const std::string text = std::move(segment_);
    segment_.clear();
    pendingSpace_ = false;
    parens_ = 0;
    if (terminator == '{') {
      open(text);
      return;
    }
    if (!text.empty()) statement(text);
    if (terminator != '}' || stack_.empty()) return;
    if (stack_.back().condition) conditions_.pop_back();
    stack_.pop_back();
  }

  std::shared_ptr<const std::string> styleContext() const {
    static const auto none = std::make_shared<const std::string>();
    return stack_.empty() ? none : stack_.back().selector;
  }

  void open(const std::string& text) {
    if (stack_.size() >= kMaxDepth) {
      sheet_.truncated = true;
      skipDepth_ = 1;
      return;
    }
    Frame frame{Kind::kGroup, styleContext(), std::nullopt, {}, {}, false};
    if (!stack_.empty()) {
      frame.layer = stack_.back().layer;
      frame.layerOrder = stack_.back().layerOrder;
      frame.asWritten = stack_.back().asWritten;
    }
    if (!text.empty() && text.front() == '@') {
      std::size_t end = 1;
      while (end < text.size() && isNameChar(text[end])) ++end;
      std::string name = text.substr(1, end - 1);
      std::ranges::transform(name, name.begin(), lower);
      if (!isGroupingRule(name)) {
        skipDepth_ = 1;
        return;
      }
      const std::string prelude(trim(std::string_view(text).substr(end)));
      if (name == "layer") {
        enterLayer(frame, prelude.empty() ? std::string("\x01") + std::to_string(anonymousLayers_++) : prelude);
      }
      conditions_.push_back({std::move(name), prelude});
      frame.condition = true;
      stack_.push_back(std::move(frame));
      return;
    }
    if (text.empty()) {
      skipDepth_ = 1;
      return;
    }
    frame.kind = Kind::kStyle;
    auto resolved = resolveNested(*styleContext(), text, budget_ - std::min(budget_, spent_));
    frame.selector = std::make_shared<const std::string>(resolved ? std::move(*resolved) : text);
    frame.asWritten = !resolved;
    frame.rule = addRule(frame, segmentLine_, segmentColumn_);
    stack_.push_back(std::move(frame));
  }

  // Every byte a rule copies counts against the budget; past it a nested selector stays as
  // written, and past twice it no rule is listed any more.
  std::optional<std::size_t> addRule(const Frame& frame, int line, int column) {
    std::size_t cost = frame.selector->size() + frame.layer.size();
    for (const auto& condition : conditions_) cost += condition.name.size() + condition.prelude.size();
    if (spent_ + cost > 2 * budget_) {
      sheet_.truncated = true;
      return std::nullopt;
    }
    spent_ += cost;
    StyleRule rule;
    rule.selectorText = *frame.selector;
    rule.asWritten = frame.asWritten;
    rule.line = line;
    rule.column = column;
    rule.conditions = conditions_;
    rule.layer = frame.layer;
    rule.layerOrder = frame.layerOrder;
    sheet_.rules.push_back(std::move(rule));
    return sheet_.rules.size() - 1;
  }

  void statement(const std::string& text) {
    if (text.front() == '@') {
      if (text.size() > 6 && std::equal(text.begin() + 1, text.begin() + 6, "layer", [](char a, char b) {
            return lower(a) == b;
          }) && !isNameChar(text[6])) {
        Frame scratch{Kind::kGroup, {}, std::nullopt, {}, {}, false};
        for (const auto& name : splitSelectorList(std::string_view(text).substr(6))) {
          scratch.layer = stack_.empty() ? std::string() : stack_.back().layer;
          scratch.layerOrder = stack_.empty() ? std::vector<int>() : stack_.back().layerOrder;
          enterLayer(scratch, name);
        }
      }
      return;
    }
    if (stack_.empty() || stack_.back().selector->empty()) return;
    auto declaration = parseDeclaration(text, segmentLine_, segmentColumn_);
    if (!declaration) return;
    Frame& frame = stack_.back();
    // Declarations directly inside a group nested in a style rule belong to that rule, under the group.
    if (!frame.rule) frame.rule = addRule(frame, segmentLine_, segmentColumn_);
    if (frame.rule) sheet_.rules[*frame.rule].declarations.push_back(std::move(*declaration));
  }

  // Moves `frame` into the layer `dotted` names, registering each new name in the layer order.
  void enterLayer(Frame& frame, std::string_view dotted) {
    std::size_t start = 0;
    while (start <= dotted.size()) {
      const std::size_t dot = std::min(dotted.find('.', start), dotted.size());
      const auto part = trim(dotted.substr(start, dot - start));
      if (!part.empty()) {
        const std::string parent = frame.layer;
        frame.layer = parent.empty() ? std::string(part) : parent + "." + std::string(part);
        auto [known, added] = layerIndex_.try_emplace(frame.layer, 0);
        if (added) known->second = layerChildren_[parent]++;
        frame.layerOrder.push_back(known->second);
      }
      start = dot + 1;
    }
  }

  std::string_view css_;
  std::size_t budget_;
  std::size_t spent_ = 0;
  std::size_t at_ = 0;
  int line_ = 1;
  int column_ = 1;
  std::string segment_;
  int segmentLine_ = 1;
  int segmentColumn_ = 1;
  bool pendingSpace_ = false;
  int parens_ = 0;
  std::size_t skipDepth_ = 0;
  std::vector<Frame> stack_;
  std::vector<Condition> conditions_;
  std::map<std::string, int> layerIndex_;
  std::map<std::string, int> layerChildren_;
  int anonymousLayers_ = 0;
  StyleSheet sheet_;
};

}  // namespace

StyleSheet scanStyleSheet(std::string_view css) { return Scanner(css).run(); }

std::vector<std::string> splitSelectorList(std::string_view selectorList) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  forEachTopLevel(selectorList, [&](std::size_t i, char c) {
    if (c != ',') return;
    if (auto part = trim(selectorList.substr(start, i - start)); !part.empty()) parts.emplace_back(part);
    start = i + 1;
  });
  if (auto part = trim(selectorList.substr(start)); !part.empty()) parts.emplace_back(part);
  return parts;
}

}  // namespace fennelview
