// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compile/compiler_output.hpp"

namespace fennelview {

// What one sassc run left: the CSS file and its map, each when sassc wrote it, and standard error.
struct SasscRun {
  std::optional<std::string> css;
  std::optional<std::string> sourceMap;
  std::string standardError;
  std::filesystem::path outputDirectory;  // where both files were written: the map's sources are relative to it
  std::size_t warningsLeftOut = 0;         // past those standard error keeps
  // When standard error was cut to its first warnings: its last lines, where an error stands.
  std::optional<std::string> standardErrorEnd{};
  bool keepsMap = true;  // else the map only names the files read
};

// What a sassc run means. The CSS file is the result, its map's `sources` the files read and
// the map kept beside the CSS, standard error its warnings. Without CSS, standard error (its
// end, when it was cut) is the message; the place of the error is the chain sassc appends after it (text the style sheet
// controls comes before, so it cannot name the place), and the chain's files, with the names
// a missing import could be found under (the importer's folder, then the load paths), are
// the files read. Relative paths are taken from `workingDirectory`.
CompilerOutput decodeSasscOutput(SasscRun run, const std::filesystem::path& workingDirectory,
                                 const std::vector<std::string>& loadPaths);

// The first `@use` or `@forward` rule that starts a line of `css` outside comments: LibSass
// copies the module system's rules into its output instead of loading the modules.
std::optional<std::string> moduleRuleIn(std::string_view css);

// Where each line of `css` went in `commented`, when `commented` is the same CSS with sassc's
// line comments ("/* line 7, _a.scss */", each on a line of its own) added: the 0-based line of
// `commented` for each line of `css`. Empty when the two differ otherwise.
std::vector<int> linesPastLineComments(std::string_view css, std::string_view commented);

}  // namespace fennelview
