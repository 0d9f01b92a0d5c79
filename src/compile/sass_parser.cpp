// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/sass_parser.hpp"

#include <glib/gi18n.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "common/main_loop_source.hpp"
#include "common/private_folder.hpp"
#include "common/resources.hpp"
#include "common/utf8.hpp"
#include "compile/child_process.hpp"
#include "compile/dart_sass_output.hpp"
#include "compile/embedded_compiler.hpp"
#include "compile/embedded_protocol.hpp"
#include "compile/memory_guard.hpp"
#include "compile/sassc_output.hpp"
#include "compile/warning_log.hpp"

namespace fennelview {

// One compile on the main loop: LibSass's child, which owns its pipes' sources, with its time
// limit and memory guard, or Dart Sass's ticket with the shared compiler. Destroying it kills
// the child's process group and removes the sources, or drops the ticket.
struct SassParser::Compile {
  SassParser* owner = nullptr;
  Completion completion;
  // sassc only: where it writes the CSS and its map; removed after the child is gone.
  std::optional<PrivateFolder> output;
  std::unique_ptr<ChildProcess> child;
  std::unique_ptr<MemoryGuard> memoryGuard;
  std::string standardOutput;
  std::optional<WarningLog> standardError;
  std::filesystem::path workingDirectory;
  std::vector<std::string> loadPaths;
  bool keepsMap = true;
  bool exited = false;
  int streamsOpen = 2;
  std::string startFailure;
  std::string compilerName;
  std::shared_ptr<EmbeddedCompiler> embedded;
  std::uint32_t ticket = 0;
  // The time limit, or the delivery of a start failure.
  MainLoopSource timer;

  ~Compile() {
    if (embedded && ticket) embedded->cancel(ticket);
  }

  void received(ChildProcess::Stream stream, std::string_view bytes) {
    if (bytes.empty()) {
      --streamsOpen;
      if (stream == ChildProcess::kError) standardError->finish();
      return finishIfDone();  // may destroy the compile
    }
    if (stream == ChildProcess::kError) return standardError->append(bytes);
    standardOutput.append(bytes);
    if (standardOutput.size() > limits().outputBytes) {
      stop(outputTooLargeMessage("sassc", limits().outputBytes, OutputKind::kCss));
    }
  }
  void finishIfDone() {
    if (!exited || streamsOpen > 0) return;
    auto decoded = decodeSassc();
    owner->finish(this, std::move(decoded.result), std::move(decoded.filesRead));
  }
  CompilerOutput decodeSassc() {
    SasscRun run;
    run.keepsMap = keepsMap;
    run.standardError = standardError->kept();
    run.warningsLeftOut = standardError->leftOut();
    if (standardError->cut()) run.standardErrorEnd = standardError->end();
    bool tooLarge = false;
    if (output) {
      run.outputDirectory = output->path();
      run.css = output->read("out.css", limits().outputBytes, &tooLarge);
      run.sourceMap = output->read("out.css.map", kMapLimit);
    }
    if (tooLarge) {
      return {ParsingResult::failure(ParsingError::parsingFailed(
                  outputTooLargeMessage("sassc", limits().outputBytes, OutputKind::kCss))), {}};
    }
    // A sassc that writes its CSS to standard output all the same is heard too.
    if (!run.css && !standardOutput.empty()) run.css = std::move(standardOutput);
    return decodeSasscOutput(std::move(run), workingDirectory, loadPaths);
  }
  static constexpr std::size_t kMapLimit = 256u << 20;
  const CompileLimits& limits() const { return owner->limits_; }
  void stop(std::string message) { owner->finish(this, ParsingResult::failure(ParsingError::parsingFailed(std::move(message)))); }
};

SassParser::SassParser() : SassParser(resourcePath("sassc").value_or(std::filesystem::path()).string()) {}

SassParser::SassParser(std::string executablePath)
    : compiler_{std::string(kLibSassId), std::move(executablePath), "LibSass"}, timeout_(defaultTimeout()) {}

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

namespace {

// Whether LibSass could read another file for this one: only @import does (at-rules in any
// case). A backslash could spell one otherwise, and a file not read here is left to sassc.
bool mayImport(const std::string& path) {
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) return true;
  const std::string_view text(contents, length);
  bool found = text.find('\\') != std::string_view::npos;
  for (auto at = text.find('@'); !found && at != std::string_view::npos; at = text.find('@', at + 1)) {
    found = length - at - 1 >= 6 && g_ascii_strncasecmp(text.data() + at + 1, "import", 6) == 0;
  }
  g_free(contents);
  return found;
}

}  // namespace

std::vector<std::string> SassParser::arguments(const std::string& path,
                                              const std::filesystem::path& outputFolder) const {
  std::vector<std::string> arguments{executablePath(), path};
  if (!outputFolder.empty()) arguments.push_back((outputFolder / "out.css").string());
  if (style_) {
    std::ranges::move(sasscStyleArguments(*style_), std::back_inserter(arguments));
  } else if (sourceMap_) {
    // The comments are read beside the map (the CSS view); a page alone would only parse them.
    arguments.push_back("--line-numbers");
  }
  // The map's `sources` are the files the compile read; the page never gets the map. sassc
  // cannot write a map for names that are not UTF-8; such a compile still gives its CSS, and
  // its own file is followed.
  const auto utf8 = [](const std::string& name) { return isValidUtf8(name); };
  if (!outputFolder.empty() && (sourceMap_ || mayImport(path)) && utf8(path) && utf8(outputFolder.string()) &&
      std::ranges::all_of(loadPaths_, utf8)) {
    arguments.insert(arguments.end(), {"--sourcemap", "--omit-map-comment"});
  }
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
  c->keepsMap = sourceMap_;
  c->compilerName = compiler_.name;
  // Paths in messages, line comments and the map are then relative to the document's folder.
  std::error_code ec;
  const auto file = path.empty() ? std::filesystem::path() : std::filesystem::absolute(path, ec);
  if (!file.empty() && std::filesystem::is_directory(file.parent_path(), ec)) c->workingDirectory = file.parent_path();
  const auto input = c->workingDirectory.empty() ? std::filesystem::path(path) : file;
  if (c->workingDirectory.empty()) c->workingDirectory = std::filesystem::current_path(ec);
  if (compiler_.id == kDartSassId) {
    if (startDartSass(c, input)) return;
  } else if (!compiler_.executable.empty()) {
    int error = 0;
    c->output = PrivateFolder::create();
    c->child = ChildProcess::start(arguments(input.string(), c->output ? c->output->path() : std::filesystem::path()),
                                   c->workingDirectory.string(), error);
    if (!c->child) c->startFailure = startFailureMessage(executablePath(), error);
  } else {
    c->startFailure = startFailureMessage("", 0);
  }
  if (!c->child) {
    // Delivered from the main loop like any other result, never from inside parseFile.
    c->timer = MainLoopSource::idle([c] {
      c->owner->finish(c, ParsingResult::failure(ParsingError::parsingFailed(c->startFailure)));
    });
    return;
  }

  // The result is formed once both streams are at their end and the child has ended.
  c->standardError.emplace(limits_.errorBytes);
  c->child->listen({[c](ChildProcess::Stream stream, std::string_view bytes) { c->received(stream, bytes); },
                    [c] {
                      c->exited = true;
                      c->finishIfDone();
                    }});
  // The limit holds until the result is formed: a helper the compiler started can keep the
  // pipes open after the compiler itself has ended.
  c->timer = MainLoopSource::after(timeout_, [c] { c->stop(timeoutMessage("sassc", c->owner->timeout_)); });
  c->memoryGuard = std::make_unique<MemoryGuard>(*c->child, limits_.residentBytes, limits_.memoryCheckInterval,
                                                 [c] { c->stop(memoryLimitMessage("sassc", c->owner->limits_.residentBytes)); });
}

bool SassParser::startDartSass(Compile* c, const std::filesystem::path& file) {
  // The protocol carries paths as UTF-8 text.
  const auto utf8 = [](const std::string& name) { return isValidUtf8(name); };
  if (!utf8(file.string()) || !std::ranges::all_of(loadPaths_, utf8)) {
    c->startFailure = _("Dart Sass cannot compile a style sheet whose name or load paths are not UTF-8 text. "
                        "LibSass can: choose it in Preferences.");
    return false;
  }
  embedded::CompileRequest request{file.string(), {}, true, sourceMap_};
  request.style = style_.value_or(OutputStyle::kExpanded);
  for (const auto& folder : loadPaths_) {
    request.loadPaths.push_back((c->workingDirectory / folder).lexically_normal().string());
  }
  c->embedded = embedded_ ? embedded_ : EmbeddedCompiler::shared(compiler_.executable, c->workingDirectory);
  c->ticket = c->embedded->compile(request, timeout_, [c](EmbeddedCompiler::Outcome outcome) {
    c->ticket = 0;
    if (outcome.stopped) return c->stop(std::move(*outcome.stopped));
    auto decoded = decodeDartSassMessages(std::move(outcome.messages), outcome.standardError, outcome.warningsLeftOut);
    c->owner->finish(c, std::move(decoded.result), std::move(decoded.filesRead));
  });
  return true;
}

void SassParser::finish(Compile* compile, ParsingResult result, std::vector<std::string> filesRead) {
  const auto it = std::find_if(running_.begin(), running_.end(), [&](const auto& c) { return c.get() == compile; });
  // Destroyed before the completion runs: the child's group is killed and reaped, reading
  // stops, and the completion may start or cancel compiles freely.
  std::unique_ptr<Compile> done = std::move(*it);
  running_.erase(it);
  auto completion = std::move(done->completion);
  auto compilerName = std::move(done->compilerName);
  done.reset();
  if (completion) completion(std::move(result).named(std::move(compilerName)), std::move(filesRead));
}

void SassParser::cancelAll() {
  auto running = std::move(running_);
  running_.clear();
  running.clear();
}

}  // namespace fennelview
