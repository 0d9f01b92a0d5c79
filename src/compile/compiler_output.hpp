#pragma once

#include <string>
#include <string_view>

#include "compile/parsing_result.hpp"

namespace fennelview {

// What a compiler's two streams mean, once both are read to the end: non-empty standard
// output is the CSS, otherwise standard error is the message. Bytes that are not UTF-8
// show as U+FFFD rather than hiding the text. The exit status is not consulted.
ParsingResult resultFromStreams(std::string standardOutput, std::string_view standardError);

}  // namespace fennelview
