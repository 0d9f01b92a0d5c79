// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compile/embedded_protocol.hpp"
#include "compile/parsing_result.hpp"

namespace fennelview {

// What a compile gives: its result and the files it read (absolute, lexically normal).
struct CompilerOutput {
  ParsingResult result;
  std::vector<std::string> filesRead;
};

// What sassc's two streams mean, once both are read to the end. Non-empty standard output
// is the CSS, with a trailing inline source map cut off and its `sources` taken as the files
// read, and standard error kept as warnings; otherwise standard error is the message, and
// the files it names (the error's chain, a missing import's candidates under the importer's
// folder and the load paths) are the files read. Bytes that are not UTF-8 show as U+FFFD.
// Relative paths are taken from `workingDirectory`. The exit status is not consulted.
CompilerOutput decodeSasscStreams(std::string standardOutput, std::string_view standardError,
                                  const std::filesystem::path& workingDirectory,
                                  const std::vector<std::string>& loadPaths);

// What the messages of one Dart Sass compile mean: the response's CSS, or its error with the
// error's place in the user info; the log events' formatted text, one paragraph each, as
// warnings; the loaded files as the files read. Without a response, standard error is the
// message.
CompilerOutput decodeDartSassMessages(const std::vector<embedded::OutboundMessage>& messages,
                                      std::string_view standardError);

// Where a compiler's message places the error: its first location.
struct SourceLocation {
  std::string file;  // as the message spells it
  std::int64_t line = 0;
  std::int64_t column = 0;
};
std::optional<SourceLocation> firstErrorLocation(std::string_view message);

// The first `@use` or `@forward` rule that starts a line of `css` outside comments: LibSass
// copies the module system's rules into its output instead of loading the modules.
std::optional<std::string> moduleRuleIn(std::string_view css);

}  // namespace fennelview
