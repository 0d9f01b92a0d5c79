#include "document/sass_document.hpp"

#include <gio/gio.h>

#include "common/canonical_equal.hpp"
#include "common/glib_ptr.hpp"
#include "document/file_watcher.hpp"

namespace fennelview {

std::shared_ptr<SassDocument> SassDocument::create() {
  return std::shared_ptr<SassDocument>(new SassDocument(std::make_unique<SassParser>()));
}

std::shared_ptr<SassDocument> SassDocument::create(std::string executablePath) {
  return std::shared_ptr<SassDocument>(new SassDocument(std::make_unique<SassParser>(std::move(executablePath))));
}

SassDocument::SassDocument(std::unique_ptr<SassParser> parser) : parser_(std::move(parser)) {}

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

void SassDocument::parse() {
  if (closed_) return;
  const auto start = std::chrono::steady_clock::now();
  const auto generation = ++generationsStarted_;
  compiling_.setValue(true);
  std::weak_ptr<SassDocument> weak = weak_from_this();
  parser_->parseFile(path(), [weak, start, generation](ParsingResult result) {
    auto self = weak.lock();
    if (!self) return;
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    self->store(generation, std::move(result).stamped(elapsed));
    if (generation == self->generationsStarted_) self->compiling_.setValue(false);
  });
}

void SassDocument::store(std::uint64_t generation, ParsingResult result) {
  // A compile that started earlier than the shown one must not replace it when it ends late.
  if (closed_ || generation <= storedGeneration_) return;
  storedGeneration_ = generation;
  parsingResult().setValue(std::move(result));
}

void SassDocument::watchFile() {
  if (closed_) return;
  sharedFileWatcher().appendPath(path());
  std::weak_ptr<SassDocument> weak = weak_from_this();
  subscriptions_.add(fileChangeSignal()
                         .filter([weak](const std::string& changed) {
                           auto self = weak.lock();
                           return self && canonicallyEqual(changed, self->path());
                         })
                         .observeNext([weak](const std::string&) {
                           if (auto self = weak.lock()) self->parse();
                         }));
}

void SassDocument::close() {
  if (closed_) return;
  closed_ = true;
  sharedFileWatcher().removePath(path());
  subscriptions_.dispose();
  parser_->cancelAll();
}

}  // namespace fennelview
