#include "compile/sass_parser.hpp"

#include <glib-unix.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/resources.hpp"
#include "common/utf8.hpp"
#include "compile/child_process.hpp"
#include "compile/compiler_output.hpp"

namespace fennelview {

// One compile on the main loop: its child, the sources that follow it and what it has read.
// Destroying it removes the sources and kills the child's process group.
struct SassParser::Compile {
  SassParser* owner = nullptr;
  Completion completion;
  std::unique_ptr<ChildProcess> child;
  std::string streams[2];
  std::filesystem::path workingDirectory;
  std::vector<std::string> loadPaths;
  bool exited = false;
  int startError = 0;
  // Two stream readers, the exit watch, the time limit (or the delivery of a start failure).
  guint sources[4] = {0, 0, 0, 0};

  ~Compile() {
    for (guint source : sources) {
      if (source) g_source_remove(source);
    }
  }

  bool readingDone() const {
    return child->streamFd(ChildProcess::kOutput) < 0 && child->streamFd(ChildProcess::kError) < 0;
  }
  void finishIfDone() {
    if (!exited || !readingDone()) return;
    auto decoded = decodeSasscStreams(std::move(streams[0]), streams[1], workingDirectory, loadPaths);
    owner->finish(this, std::move(decoded.result), std::move(decoded.filesRead));
  }
};

namespace {

using Compile = SassParser::Compile;

std::string describeSeconds(std::chrono::milliseconds ms) {
  std::ostringstream text;
  if (ms.count() % 1000 == 0) {
    text << ms.count() / 1000;
  } else {
    text << static_cast<double>(ms.count()) / 1000.0;
  }
  text << (ms.count() == 1000 ? " second" : " seconds");
  return text.str();
}

std::string startFailure(const std::string& executablePath, int error) {
  if (executablePath.empty()) {
    return "The Sass compiler could not be started: the resource folder holds no \xE2\x80\x9C"
           "sassc\xE2\x80\x9D.";
  }
  return "The Sass compiler \xE2\x80\x9C" + executablePath + "\xE2\x80\x9D could not be started: " +
         g_strerror(error) + ".";
}

// Drains one stream; at most a megabyte a turn, so a child that never stops writing cannot
// hold up the loop (and with it the time limit).
template <ChildProcess::Stream Stream>
gboolean readStream(gint fd, GIOCondition, gpointer data) {
  auto* c = static_cast<Compile*>(data);
  char buffer[64 * 1024];
  for (int turn = 0; turn < 16; ++turn) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      c->streams[Stream].append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return G_SOURCE_CONTINUE;
    } else {
      c->sources[Stream] = 0;
      c->child->closeStream(Stream);
      c->finishIfDone();  // may destroy the compile
      return G_SOURCE_REMOVE;
    }
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

SassParser::SassParser() : SassParser(resourcePath("sassc").value_or(std::filesystem::path()).string()) {}

SassParser::SassParser(std::string executablePath)
    : executablePath_(std::move(executablePath)), timeout_(defaultTimeout()) {}

SassParser::~SassParser() { cancelAll(); }

std::chrono::milliseconds SassParser::defaultTimeout() {
  if (const char* text = std::getenv("FENNELVIEW_COMPILE_TIMEOUT")) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end != text && std::isfinite(seconds) && seconds > 0) {
      return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
    }
  }
  return std::chrono::seconds(60);
}

std::vector<std::string> SassParser::arguments(const std::string& path) const {
  std::vector<std::string> arguments{executablePath_, path, "--line-numbers"};
  // The map's `sources` are the files the compile read. sassc cannot write a map for names
  // that are not UTF-8; such a compile still gives its CSS, and its own file is followed.
  const auto utf8 = [](const std::string& name) { return isValidUtf8(name); };
  if (utf8(path) && std::ranges::all_of(loadPaths_, utf8)) arguments.push_back("--sourcemap=inline");
  for (const auto& folder : loadPaths_) arguments.insert(arguments.end(), {"--load-path", folder});
  return arguments;
}

void SassParser::parseFile(const std::string& path, Completion completion) {
  auto owned = std::make_unique<Compile>();
  Compile* c = owned.get();
  c->owner = this;
  c->completion = std::move(completion);
  running_.push_back(std::move(owned));
  ++started_;

  c->loadPaths = loadPaths_;
  // Paths in messages, line comments and the map are then relative to the document's folder.
  std::error_code ec;
  const auto file = path.empty() ? std::filesystem::path() : std::filesystem::absolute(path, ec);
  if (!file.empty() && std::filesystem::is_directory(file.parent_path(), ec)) c->workingDirectory = file.parent_path();
  if (!executablePath_.empty()) {
    c->child = ChildProcess::start(arguments(c->workingDirectory.empty() ? path : file.string()),
                                   c->workingDirectory.string(), c->startError);
  }
  if (c->workingDirectory.empty()) c->workingDirectory = std::filesystem::current_path(ec);
  if (!c->child) {
    // Delivered from the main loop like any other result, never from inside parseFile.
    c->sources[3] = g_idle_add(
        [](gpointer data) -> gboolean {
          auto* c = static_cast<Compile*>(data);
          c->sources[3] = 0;
          c->owner->finish(c, ParsingResult::failure(ParsingError::parsingFailed(
                                  startFailure(c->owner->executablePath_, c->startError))));
          return G_SOURCE_REMOVE;
        },
        c);
    return;
  }

  // Both streams are drained while the child runs, so a child that writes more than a pipe
  // holds never blocks; the result is formed once both are at end-of-file and the child ended.
  const auto condition = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
  for (const auto stream : {ChildProcess::kOutput, ChildProcess::kError}) {
    g_unix_set_fd_nonblocking(c->child->streamFd(stream), TRUE, nullptr);
    c->sources[stream] = g_unix_fd_add(c->child->streamFd(stream), condition,
                                       stream == ChildProcess::kOutput ? readStream<ChildProcess::kOutput>
                                                                       : readStream<ChildProcess::kError>,
                                       c);
  }
  c->sources[2] = g_unix_fd_add(
      c->child->exitFd(), G_IO_IN,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        auto* c = static_cast<Compile*>(data);
        c->sources[2] = 0;
        c->exited = true;
        c->finishIfDone();
        return G_SOURCE_REMOVE;
      },
      c);
  // The limit holds until the result is formed: a helper the compiler started can keep the
  // pipes open after the compiler itself has ended.
  c->sources[3] = g_timeout_add(
      static_cast<guint>(timeout_.count()),
      [](gpointer data) -> gboolean {
        auto* c = static_cast<Compile*>(data);
        c->sources[3] = 0;
        c->owner->finish(c, ParsingResult::failure(ParsingError::parsingFailed(
                                "Compilation timed out: sassc was still running after " +
                                describeSeconds(c->owner->timeout_) + " and was stopped.")));
        return G_SOURCE_REMOVE;
      },
      c);
}

void SassParser::finish(Compile* compile, ParsingResult result, std::vector<std::string> filesRead) {
  const auto it = std::find_if(running_.begin(), running_.end(), [&](const auto& c) { return c.get() == compile; });
  // Destroyed before the completion runs: the child's group is killed and reaped, reading
  // stops, and the completion may start or cancel compiles freely.
  std::unique_ptr<Compile> done = std::move(*it);
  running_.erase(it);
  auto completion = std::move(done->completion);
  done.reset();
  if (completion) completion(std::move(result), std::move(filesRead));
}

void SassParser::cancelAll() {
  auto running = std::move(running_);
  running_.clear();
  running.clear();
}

}  // namespace fennelview
