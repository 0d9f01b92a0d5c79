// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <glib.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/main_loop_source.hpp"
#include "compile/parsing_result.hpp"
#include "compile/sass_parser.hpp"
#include "document/signal.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

// One Sass file opened by the user: compiles it in a child process, keeps the latest
// result in an observable property and compiles again when any file the last compiles
// read changes on disk (its partials, imported CSS, files found through load paths).
class SassDocument : public std::enable_shared_from_this<SassDocument> {
 public:
  // init: a new parser; the property is made on first use. Each compile runs the compiler
  // chosen in `settings` with its load paths; an open document compiles again when either
  // is changed there.
  static std::shared_ptr<SassDocument> create(Settings& settings);
  // For tests and tools: a document whose parser runs the given executable as LibSass.
  static std::shared_ptr<SassDocument> create(Settings& settings, std::string executablePath);
  ~SassDocument();
  SassDocument(const SassDocument&) = delete;
  SassDocument& operator=(const SassDocument&) = delete;

  static constexpr bool autosavesInPlace() { return true; }

  SassParser& parser() { return *parser_; }
  MutableProperty<ParsingResult>& parsingResult();
  // True from the start of a compile until its result is stored, or until it is stopped
  // with none left running.
  MutableProperty<bool>& compiling() { return compiling_; }

  // The file URL ("file:///…") the host sets before reading; none for an unsaved document.
  const std::optional<std::string>& fileURL() const { return fileURL_; }
  void setFileURL(std::optional<std::string> url) { fileURL_ = std::move(url); }
  void setFilePath(const std::string& path);
  // The file URL's path; empty without a file URL.
  std::string path() const;

  // readFromURL:ofType:error: — compiles, then watches the file. Never fails.
  bool readFromURL(const std::string& url, const std::string& typeName);

  // One timed compile whose result is stored in parsingResult. A compile still running is
  // stopped first: only the newest result would be shown. A file that is missing or cannot be
  // read gives a failure that says so, without running the compiler.
  void parse();
  // Ties the document to the shared file watcher: its own file is listed at once, the
  // files each compile reads once it ends. The changes of one batch compile it once.
  void watchFile();
  // Teardown: its files leave the watcher, subscriptions end, running compiles are killed.
  // Runs on the main thread; a torn-down document compiles nothing more.
  void close();
  bool isClosed() const { return closed_; }

  // Held while something that reads the source map is open (the pick panel, the CSS view, the
  // Web Inspector, an export with a map). Compiles give a map only while one is held: the
  // map costs the compiler a good part of its time.
  class SourceMapWant {
   public:
    SourceMapWant() = default;
    SourceMapWant(SourceMapWant&& other) noexcept : document_(std::exchange(other.document_, {})) {}
    SourceMapWant& operator=(SourceMapWant&& other) noexcept;
    ~SourceMapWant();
    explicit operator bool() const { return !document_.expired(); }

   private:
    friend class SassDocument;
    explicit SourceMapWant(std::weak_ptr<SassDocument> document) : document_(std::move(document)) {}
    std::weak_ptr<SassDocument> document_;
  };
  // The first want gets a map for the result shown: the document compiles once more unless
  // the result has one already (or failed: it has no CSS to map).
  [[nodiscard]] SourceMapWant wantSourceMap();

  // The files the document follows: its own and those its compiles read (absolute paths).
  const std::set<std::string>& followedFiles() const { return listed_; }

 private:
  SassDocument(std::unique_ptr<SassParser> parser, Settings& settings, bool followsCompilerChoice);
  void store(ParsingResult result, std::vector<std::string> filesRead);
  void setCompiling(bool compiling);
  // Lists the files that joined the set with the shared watcher and removes those that left.
  void follow(std::set<std::string> files);
  bool follows(const std::string& changedPath) const;
  void parseSoon();
  void compileForChange();

  std::unique_ptr<SassParser> parser_;
  Settings& settings_;
  bool followsCompilerChoice_;
  std::vector<Settings::Observation> settingsObservations_;
  std::once_flag propertyOnce_;
  std::unique_ptr<MutableProperty<ParsingResult>> parsingResult_;
  std::optional<std::string> fileURL_;
  MutableProperty<bool> compiling_{false};
  CompositeDisposable subscriptions_;
  // The files listed with the shared watcher, each once.
  std::set<std::string> listed_;
  MainLoopSource pendingParse_;
  bool closed_ = false;
  bool parsedOnce_ = false;
  int mapWants_ = 0;
  // Whether the running (or last) compile was asked for a map.
  bool compilingWithMap_ = false;
  // The running compile's start, whether it replaced one still running, and whether a change
  // came while it ran that it may not have read.
  std::chrono::steady_clock::time_point compileStart_;
  bool restarted_ = false;
  bool changedWhileCompiling_ = false;
  double lastCompileSeconds_ = 0;
};

}  // namespace fennelview
