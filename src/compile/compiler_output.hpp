#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "compile/parsing_result.hpp"

namespace fennelview {

// What a compiler's two streams mean, once both are read to the end: non-empty standard
// output is the CSS, otherwise standard error is the message. Bytes that are not UTF-8
// show as U+FFFD rather than hiding the text. The exit status is not consulted.
ParsingResult resultFromStreams(std::string standardOutput, std::string_view standardError);

// The first `@use` or `@forward` rule that starts a line of `css` outside comments: LibSass
// copies the module system's rules into its output instead of loading the modules.
std::optional<std::string> moduleRuleIn(std::string_view css);

}  // namespace fennelview
