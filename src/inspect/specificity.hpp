// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <string_view>

namespace fennelview {

// A selector's specificity: ids; classes, attributes and pseudo-classes; types and pseudo-elements.
struct Specificity {
  int ids = 0;
  int classes = 0;
  int types = 0;
  auto operator<=>(const Specificity&) const = default;
};

// The specificity of a complex selector (of a list, the greatest of its members'). :is(), :not()
// and :has() count their most specific argument, :where() nothing. Linear; nesting beyond what
// anyone writes is skipped instead of followed.
Specificity specificityOf(std::string_view selector);

}  // namespace fennelview
