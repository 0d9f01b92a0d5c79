// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace fennelview {

// How the compiled CSS is laid out: readable, or on one line for shipping.
enum class OutputStyle { kExpanded, kCompressed };

// sassc's arguments for the style; expanded is sassc's nested default, which the preview keeps.
inline std::vector<std::string> sasscStyleArguments(OutputStyle style) {
  if (style == OutputStyle::kCompressed) return {"--style", "compressed"};
  return {};
}

// The value of the `style` field (number 4) of the embedded compiler's CompileRequest:
// EXPANDED is 0 and need not be sent, COMPRESSED is 1.
inline int embeddedStyleValue(OutputStyle style) { return style == OutputStyle::kCompressed ? 1 : 0; }

}  // namespace fennelview
