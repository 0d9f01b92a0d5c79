// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fennelview {

struct Declaration {
  std::string property;
  std::string value;  // without the `!important` flag
  bool important = false;
  int line = 0;  // where the property starts in the CSS, from 1
  int column = 0;
  bool operator==(const Declaration&) const = default;
};

// An enclosing grouping at-rule: its name in lower case ("media", "supports", "layer",
// "container", ...) and its prelude as written, whitespace collapsed ("(min-width: 40em)").
struct Condition {
  std::string name;
  std::string prelude;
  bool operator==(const Condition&) const = default;
};

// One style rule of a style sheet. Rules nested in other style rules have their selector
// resolved against the parent (`&` becomes `:is(parent)`), so the page can test them as they stand.
struct StyleRule {
  std::string selectorText;  // the selector list, whitespace collapsed
  std::vector<Declaration> declarations;
  int line = 0;  // where the selector starts, from 1; columns count characters, not bytes
  int column = 0;
  std::vector<Condition> conditions;  // outermost first
  // The cascade layer as dotted names ("base.buttons"); empty when unlayered. An anonymous
  // layer gets a name no author can write.
  std::string layer;
  // The layer's place in the layer order, one number per level; empty when unlayered.
  std::vector<int> layerOrder;
  // Resolving the nesting would have copied more than the sheet allows: selectorText is the
  // rule's own, as written, and may match elements the rule does not apply to.
  bool asWritten = false;
};

// What a scan found: the rules in source order.
struct StyleSheet {
  std::vector<StyleRule> rules;
  // Blocks nested deeper than the scanner follows were skipped, or the rules would have copied
  // far more text than the sheet has: the rules from there on are not listed.
  bool truncated = false;
};

// Lists the style rules of compiled CSS. One pass, no recursion: nesting is an explicit stack
// with a cap, and what the rules copy has a budget in proportion to the text, so neither time,
// memory nor stack grows with the text beyond its length. Comments,
// strings and escapes are honoured; rules inside @keyframes, @font-face and other non-grouping
// at-rules are not style rules and are left out.
StyleSheet scanStyleSheet(std::string_view css);

// The complex selectors of a selector list, split at its top-level commas and trimmed.
std::vector<std::string> splitSelectorList(std::string_view selectorList);

}  // namespace fennelview
