// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "compile/compilers.hpp"
#include "compile/parsing_result.hpp"
#include "compile/sass_parser.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

// Saves one document's compiled CSS where the user chose, with the choice kept per document
// in the settings. The preview's result is written as it is when it is already what was
// asked (Dart Sass's expanded CSS); otherwise the document is compiled again in the chosen
// style, without the preview's line comments. Main thread only; writes still to come when
// the object goes are dropped.
class CssExporter {
 public:
  // Told when a save ends: none when the CSS is written, else why nothing (or not all) was.
  using Done = std::function<void(std::optional<std::string> failure)>;

  CssExporter(std::string documentPath, Settings& settings);

  std::optional<CssExportChoice> choice() const { return settings_.cssExport(documentPath_); }
  // What Save CSS As… offers: the kept choice, else the CSS file `linkedCss` the page links,
  // where the project's build writes it (compressed for a ".min.css"; its folder may not exist
  // yet), else "NAME.css" beside the document.
  CssExportChoice proposal(const std::optional<std::filesystem::path>& linkedCss) const;

  // Keeps `choice` for the document, then writes its CSS there. `current` is the document's
  // latest result, `compiler` the one that gives its results and `filesRead` the files its
  // compiles read: none of them is written over, the Sass least of all.
  void save(const CssExportChoice& choice, const ParsingResult& current, const Compiler& compiler,
            const std::set<std::string>& filesRead, Done done);
  // Keeps whether each successful compile is written to the chosen place; without a usable
  // choice nothing is kept.
  void setOnEverySave(bool onEverySave);

  // A compile of the document ended. With "on every save" chosen, a success is written there;
  // a failure writes nothing (its message is shown already). `tell` hears why a write failed,
  // once for each kind of failure until a write succeeds.
  void documentCompiled(const ParsingResult& result, const Compiler& compiler, const std::set<std::string>& filesRead,
                        std::function<void(std::string)> tell);

 private:
  // Writes `current` when it is what `choice` asks, else the result of a compile of its own on
  // `parser`; a failed compile is not told when `quietWhenItDoesNotCompile`.
  void write(SassParser& parser, const CssExportChoice& choice, const ParsingResult& current, const Compiler& compiler,
             bool quietWhenItDoesNotCompile, Done done);

  std::string documentPath_;
  Settings& settings_;
  // One for the saves the user asks for, one for those after each compile: a newer compile of
  // a kind replaces the one still running, never a save of the other kind.
  SassParser saveParser_;
  SassParser everySaveParser_;
  std::optional<std::string> lastTold_;
};

}  // namespace fennelview
