// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace fennelview {

// How the compiled CSS is laid out: readable, or on one line for shipping.
enum class OutputStyle { kExpanded, kCompressed };

// sassc's arguments for the style; sassc's own default is "nested", which only the preview keeps.
inline std::vector<std::string> sasscStyleArguments(OutputStyle style) {
  return {"--style", style == OutputStyle::kCompressed ? "compressed" : "expanded"};
}

// The value of the `style` field (number 4) of the embedded compiler's CompileRequest:
// EXPANDED is 0 and need not be sent, COMPRESSED is 1.
inline int embeddedStyleValue(OutputStyle style) { return style == OutputStyle::kCompressed ? 1 : 0; }

}  // namespace fennelview
