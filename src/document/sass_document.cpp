// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/sass_document.hpp"

#include <fcntl.h>
#include <gio/gio.h>
#include <glib/gi18n.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/canonical_equal.hpp"
#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "document/file_watcher.hpp"
#include "document/load_paths.hpp"

namespace fennelview {

std::shared_ptr<SassDocument> SassDocument::create(Settings& settings) {
  return std::shared_ptr<SassDocument>(new SassDocument(std::make_unique<SassParser>(), settings, true));
}

std::shared_ptr<SassDocument> SassDocument::create(Settings& settings, std::string executablePath) {
  return std::shared_ptr<SassDocument>(
      new SassDocument(std::make_unique<SassParser>(std::move(executablePath)), settings, false));
}

SassDocument::SassDocument(std::unique_ptr<SassParser> parser, Settings& settings, bool followsCompilerChoice)
    : parser_(std::move(parser)), settings_(settings), followsCompilerChoice_(followsCompilerChoice) {}

SassDocument::~SassDocument() {
  if (!closed_) close();
}

MutableProperty<ParsingResult>& SassDocument::parsingResult() {
  std::call_once(propertyOnce_, [this] {
    parsingResult_ = std::make_unique<MutableProperty<ParsingResult>>(ParsingResult::success(CSSOutput("", 0.0)));
  });
  return *parsingResult_;
}

void SassDocument::setFilePath(const std::string& path) {
  GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  fileURL_ = uri ? std::optional<std::string>(uri.get()) : std::nullopt;
}

std::string SassDocument::path() const {
  if (!fileURL_) return {};
  GCharPtr path(g_filename_from_uri(fileURL_->c_str(), nullptr, nullptr));
  return path ? std::string(path.get()) : std::string();
}

bool SassDocument::readFromURL(const std::string&, const std::string&) {
  parse();
  watchFile();
  return true;
}

namespace {

// Why the file at `path` cannot be compiled, in the app's words, or none when it can. Asked
// before the compiler runs: compilers report a missing file as an internal error, and a pipe
// or a device would leave them waiting or reading without end.
std::optional<std::string> unreadableReason(const std::string& path) {
  GCharPtr name(g_filename_display_name(path.c_str()));
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      /* Translators: %1$s is a file's name. */
      return formatted(_("The file \u201C%1$s\u201D was moved or deleted. The preview comes back as soon as a file "
                         "is there again."),
                       name.get());
    }
    /* Translators: %1$s is a file's name, %2$s the system's reason, such as "Permission denied". */
    return formatted(_("The file \u201C%1$s\u201D cannot be read: %2$s."), name.get(), g_strerror(error));
  }
  /* Translators: %1$s is the name of something that is not a plain file, such as a folder or a pipe. */
  if (!S_ISREG(info.st_mode)) return formatted(_("\u201C%1$s\u201D is not a file that can be compiled."), name.get());
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    /* Translators: %1$s is a file's name, %2$s the system's reason, such as "Permission denied". */
    return formatted(_("The file \u201C%1$s\u201D cannot be read: %2$s."), name.get(), g_strerror(error));
  }
  close(fd);
  return std::nullopt;
}

}  // namespace

void SassDocument::parse() {
  if (closed_) return;
  restarted_ = compiling_.value();
  changedWhileCompiling_ = false;
  parser_->cancelAll();
  setCompiling(true);
  parsedOnce_ = true;
  compilingWithMap_ = mapWants_ > 0;
  parser_->setSourceMap(compilingWithMap_);
  // Read at each compile: a change of either applies to the next one.
  parser_->setLoadPaths(loadPathsFor(path(), settings_));
  if (followsCompilerChoice_) {
    parser_->setCompiler(compilerForChoice(settings_.compiler()));
  }
  // A document without a file compiles the empty path, as the compiler makes of it.
  if (const auto reason = path().empty() ? std::nullopt : unreadableReason(path())) {
    store(ParsingResult::failure(ParsingError::parsingFailed(*reason)).named(parser_->compiler().name), {});
    return;
  }
  const auto start = compileStart_ = std::chrono::steady_clock::now();
  std::weak_ptr<SassDocument> weak = weak_from_this();
  parser_->parseFile(path(), [weak, start](ParsingResult result, std::vector<std::string> filesRead) {
    auto self = weak.lock();
    if (!self) return;
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    self->lastCompileSeconds_ = elapsed;
    self->store(std::move(result).stamped(elapsed), std::move(filesRead));
    if (self->changedWhileCompiling_) self->parse();
  });
}

// A change while a compile runs restarts it once, which shows a quick second save soonest. A
// further change lets the restarted compile end and show, then compiles again: saves that come
// faster than the compile still show progress, and the last one always shows. A compile that
// runs far beyond the last one's time is taken as stuck and restarted all the same.
void SassDocument::compileForChange() {
  constexpr double kStuckAfterSeconds = 5.0;
  if (compiling_.value() && restarted_) {
    const double running = std::chrono::duration<double>(std::chrono::steady_clock::now() - compileStart_).count();
    if (running < std::max(2 * lastCompileSeconds_, kStuckAfterSeconds)) {
      changedWhileCompiling_ = true;
      return;
    }
  }
  parse();
}

void SassDocument::store(ParsingResult result, std::vector<std::string> filesRead) {
  if (closed_) return;
  // A failure tells only part of what the file reads: what was followed before stays.
  std::set<std::string> files(filesRead.begin(), filesRead.end());
  if (result.isFailure()) files.insert(listed_.begin(), listed_.end());
  files.insert(path());
  follow(std::move(files));
  parsingResult().setValue(std::move(result));
  setCompiling(false);
}

void SassDocument::setCompiling(bool compiling) {
  if (compiling_.value() != compiling) compiling_.setValue(compiling);
}

void SassDocument::follow(std::set<std::string> files) {
  for (const auto& file : listed_) {
    if (!files.contains(file)) sharedFileWatcher().removePath(file);
  }
  for (const auto& file : files) {
    if (!listed_.contains(file)) sharedFileWatcher().appendPath(file);
  }
  listed_ = std::move(files);
}

bool SassDocument::follows(const std::string& changedPath) const {
  return listed_.contains(changedPath) ||
         std::ranges::any_of(listed_, [&](const std::string& file) { return canonicallyEqual(changedPath, file); });
}

// The watcher sends every path of one batch from one callback, so a compile started on the
// next turn of the main loop serves the whole batch. Default priority: drawing in a busy
// window must not hold it back.
void SassDocument::parseSoon() {
  if (!pendingParse_.active()) pendingParse_ = MainLoopSource::idle([this] { compileForChange(); });
}

void SassDocument::watchFile() {
  if (closed_) return;
  if (settingsObservations_.empty()) {
    const auto reparse = [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->parse();
    };
    settingsObservations_.push_back(settings_.observe(Settings::Entry::loadPaths, reparse));
    if (followsCompilerChoice_) settingsObservations_.push_back(settings_.observe(Settings::Entry::compiler, reparse));
  }
  auto files = listed_;
  files.insert(path());
  follow(std::move(files));
  std::weak_ptr<SassDocument> weak = weak_from_this();
  subscriptions_.add(fileChangeSignal()
                         .filter([weak](const std::string& changed) {
                           auto self = weak.lock();
                           return self && self->follows(changed);
                         })
                         .observeNext([weak](const std::string&) {
                           if (auto self = weak.lock()) self->parseSoon();
                         }));
}

SassDocument::SourceMapWant SassDocument::wantSourceMap() {
  if (mapWants_++ > 0 || closed_ || !parsedOnce_ || compilingWithMap_) return SourceMapWant(weak_from_this());
  // Restarted when running, else compiled again when the result shown could have a map.
  const auto& shown = parsingResult().value();
  if (compiling_.value() || (shown.isSuccess() && !shown.output().sourceMap)) parse();
  return SourceMapWant(weak_from_this());
}

SassDocument::SourceMapWant& SassDocument::SourceMapWant::operator=(SourceMapWant&& other) noexcept {
  if (this != &other) {
    SourceMapWant old(std::move(*this));
    document_ = std::exchange(other.document_, {});
  }
  return *this;
}

// The result shown keeps its map; the next compile goes without.
SassDocument::SourceMapWant::~SourceMapWant() {
  if (auto document = document_.lock()) --document->mapWants_;
}

void SassDocument::close() {
  if (closed_) return;
  closed_ = true;
  follow({});
  settingsObservations_.clear();
  pendingParse_.reset();
  subscriptions_.dispose();
  parser_->cancelAll();
  setCompiling(false);
}

}  // namespace fennelview
