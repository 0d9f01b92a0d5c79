// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compile/compile_limits.hpp"
#include "compile/compilers.hpp"
#include "compile/output_style.hpp"
#include "compile/parsing_result.hpp"

namespace fennelview {

class EmbeddedCompiler;

// Compiles one Sass file: LibSass's sassc in a child process of its own per compile, or a
// request to the warm Dart Sass that all documents share. Completions run on the default
// main context.
class SassParser {
 public:
  // Called with a compile's result and the files it read, as absolute, lexically normal
  // paths. A success lists every file the compiler loaded (partials that give no CSS and
  // imported plain CSS included); a failure lists the files its message names (the error's
  // chain, and where a missing import could appear), to be added to what was known before.
  using Completion = std::function<void(ParsingResult, std::vector<std::string> filesRead)>;

  // Runs the resource folder's "sassc" as LibSass; the path is empty when it is missing.
  SassParser();
  // Runs the given executable as LibSass.
  explicit SassParser(std::string executablePath);
  // Kills every compile still running; their completions are never called.
  ~SassParser();
  SassParser(const SassParser&) = delete;
  SassParser& operator=(const SassParser&) = delete;

  std::string executablePath() const { return compiler_.executable.string(); }
  // The compiler for the compiles started from now on; it names their results.
  void setCompiler(Compiler compiler) { compiler_ = std::move(compiler); }
  const Compiler& compiler() const { return compiler_; }

  // Starts the compiler on `path` in the file's folder and returns at once: LibSass as
  // `sassc <path> --line-numbers` (the line comments only with a map; or the style asked) with
  // the load paths, writing the CSS and, when a map is asked or the file may import, a source map into a private
  // temporary folder that is removed once they are read; Dart Sass as `sass --embedded` asked
  // for expanded (or the style asked) CSS, the load paths as importers and deprecation warnings
  // of files found through them left out, with a map only when asked (setSourceMap). The
  // completion is called exactly once, later, unless cancelAll() or destruction comes first.
  void parseFile(const std::string& path, Completion completion);

  // Folders searched for imports (`--load-path`), for the compiles started from now on.
  void setLoadPaths(std::vector<std::string> loadPaths) { loadPaths_ = std::move(loadPaths); }

  // How the CSS of the compiles started from now on is laid out. None (the default) is the
  // preview's: sassc's nested style (with line comments when a map is asked), Dart Sass's
  // expanded. A style asked for is CSS to ship: that style, without line comments.
  void setOutputStyle(std::optional<OutputStyle> style) { style_ = style; }

  // Whether the compiles started from now on give a source map (with the sources' text for
  // Dart Sass). Without one the files read are listed all the same; LibSass still writes its
  // map when the file may import, as that is where it names them, but it is not kept. On by default.
  void setSourceMap(bool sourceMap) { sourceMap_ = sourceMap; }
  bool sourceMap() const { return sourceMap_; }

  // Kills the running sassc children (their whole process groups) and drops every result
  // still to come, Dart Sass's included.
  void cancelAll();
  std::size_t runningCount() const { return running_.size(); }
  // Compiles started over the parser's life.
  std::uint64_t startedCount() const { return started_; }

  // A compile whose result is not formed after this long is killed and gives a failure.
  void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // 60 seconds, or $FENNELVIEW_COMPILE_TIMEOUT (seconds, may be fractional).
  static std::chrono::milliseconds defaultTimeout();
  // What LibSass's children may write and hold before they are stopped.
  void setLimits(CompileLimits limits) { limits_ = limits; }
  // The Dart Sass that serves this parser's compiles; by default the app's one for the
  // executable and the file's folder.
  void setEmbeddedCompiler(std::shared_ptr<EmbeddedCompiler> compiler) { embedded_ = std::move(compiler); }

  struct Compile;

 private:
  // The compiler's whole command line; every option the runner passes is chosen here. The
  // CSS and its map go to `outputFolder` when there is one, else the CSS to standard output.
  std::vector<std::string> arguments(const std::string& path, const std::filesystem::path& outputFolder) const;
  void finish(Compile* compile, ParsingResult result, std::vector<std::string> filesRead = {});

  // Hands the request to the warm Dart Sass, or says why it cannot (false).
  bool startDartSass(Compile* compile, const std::filesystem::path& file);

  Compiler compiler_;
  std::vector<std::string> loadPaths_;
  std::optional<OutputStyle> style_;
  bool sourceMap_ = true;
  std::chrono::milliseconds timeout_;
  CompileLimits limits_;
  std::shared_ptr<EmbeddedCompiler> embedded_;
  std::vector<std::unique_ptr<Compile>> running_;
  std::uint64_t started_ = 0;
};

}  // namespace fennelview
