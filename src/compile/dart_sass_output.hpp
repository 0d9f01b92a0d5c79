// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>
#include <vector>

#include "compile/compiler_output.hpp"
#include "compile/embedded_protocol.hpp"

namespace fennelview {

// What the messages of one Dart Sass compile mean: the response's CSS with its source map
// beside it, or its error with the error's place when that is a file the compile loaded; the
// log events' formatted text, one paragraph each, as warnings; the loaded files as the files
// read; `warningsLeftOut` counts the log events past those kept. Without a response, standard
// error is the message.
CompilerOutput decodeDartSassMessages(std::vector<embedded::OutboundMessage> messages,
                                      std::string_view standardError, std::size_t warningsLeftOut = 0);

}  // namespace fennelview
