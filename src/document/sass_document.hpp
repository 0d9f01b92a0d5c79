#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "compile/parsing_result.hpp"
#include "compile/sass_parser.hpp"
#include "document/signal.hpp"

namespace fennelview {

// One Sass file opened by the user: compiles it in a child process, keeps the latest
// result in an observable property and compiles again when the file changes on disk.
class SassDocument : public std::enable_shared_from_this<SassDocument> {
 public:
  // init: a new parser; the property is made on first use.
  static std::shared_ptr<SassDocument> create();
  // For tests and tools: a document whose parser runs the given executable.
  static std::shared_ptr<SassDocument> create(std::string executablePath);
  ~SassDocument();
  SassDocument(const SassDocument&) = delete;
  SassDocument& operator=(const SassDocument&) = delete;

  static constexpr bool autosavesInPlace() { return true; }

  SassParser& parser() { return *parser_; }
  MutableProperty<ParsingResult>& parsingResult();
  // True from the start of a compile until its result is stored.
  MutableProperty<bool>& compiling() { return compiling_; }

  // The file URL ("file:///…") the host sets before reading; none for an unsaved document.
  const std::optional<std::string>& fileURL() const { return fileURL_; }
  void setFileURL(std::optional<std::string> url) { fileURL_ = std::move(url); }
  void setFilePath(const std::string& path);
  // The file URL's path; empty without a file URL.
  std::string path() const;

  // readFromURL:ofType:error: — compiles, then watches the file. Never fails.
  bool readFromURL(const std::string& url, const std::string& typeName);

  // One timed compile whose result is stored in parsingResult.
  void parse();
  // Ties the document to the shared file watcher.
  void watchFile();
  // Teardown: the path leaves the watcher, subscriptions end, running compiles are killed.
  // Runs on the main thread; a torn-down document compiles nothing more.
  void close();
  bool isClosed() const { return closed_; }

 private:
  explicit SassDocument(std::unique_ptr<SassParser> parser);
  void store(std::uint64_t generation, ParsingResult result);

  std::unique_ptr<SassParser> parser_;
  std::once_flag propertyOnce_;
  std::unique_ptr<MutableProperty<ParsingResult>> parsingResult_;
  MutableProperty<bool> compiling_{false};
  std::optional<std::string> fileURL_;
  CompositeDisposable subscriptions_;
  // Each compile gets the next generation; a result older than the stored one is dropped.
  std::uint64_t generationsStarted_ = 0;
  std::uint64_t storedGeneration_ = 0;
  bool closed_ = false;
};

}  // namespace fennelview
