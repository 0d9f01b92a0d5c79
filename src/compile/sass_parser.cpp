#include "compile/sass_parser.hpp"

#include <gio/gio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/glib_ptr.hpp"
#include "common/resources.hpp"
#include "common/utf8.hpp"

namespace fennelview {

struct SassParser::Compile {
  SassParser* owner = nullptr;  // valid while !dropped: the parser drops compiles before it dies
  Completion completion;
  GObjectPtr<GSubprocess> process;
  GObjectPtr<GCancellable> cancellable = GObjectPtr<GCancellable>(g_cancellable_new());
  guint timeoutSource = 0;
  guint idleSource = 0;
  bool dropped = false;
  bool timedOut = false;
  std::optional<ParsingResult> result;

  void clearSources() {
    if (timeoutSource) g_source_remove(std::exchange(timeoutSource, 0));
    if (idleSource) g_source_remove(std::exchange(idleSource, 0));
  }

  // The child leads its own process group, so a compiler that forked helpers dies whole.
  void killChild() {
    if (!process) return;
    if (const char* id = g_subprocess_get_identifier(process.get())) {
      kill(-static_cast<pid_t>(std::atoi(id)), SIGKILL);
    }
    g_subprocess_force_exit(process.get());
  }
};

namespace {

std::string bytesToString(GBytes* bytes) {
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  return data ? std::string(data, size) : std::string();
}

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

void childSetup(gpointer) {
  setpgid(0, 0);
  // An app that dies must not leave a runaway compiler behind.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// Invalid sequences become U+FFFD, so the rest of a message still reads.
std::string decodeLossily(const std::string& bytes) {
  GCharPtr valid(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())));
  return valid ? std::string(valid.get()) : std::string();
}

// CSS when stdout is non-empty UTF-8, else a failure carrying stderr.
ParsingResult resultFromStreams(const std::string& standardOutput, const std::string& standardError) {
  std::optional<CSSOutput> output;
  if (!standardOutput.empty() && isValidUtf8(standardOutput)) output.emplace(standardOutput);
  return ParsingResult::make(std::move(output), [&] {
    if (isValidUtf8(standardError)) {
      if (standardError.empty() && !standardOutput.empty()) {
        return ParsingError::parsingFailed("The Sass compiler wrote output that is not valid UTF-8 text.");
      }
      return ParsingError::parsingFailed(standardError);
    }
    // sassc quotes the offending source line, so a file in another encoding gives a message
    // that is not UTF-8 either; showing it beats hiding it behind a generic text.
    return ParsingError::parsingFailed(decodeLossily(standardError));
  });
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

void SassParser::parseFile(const std::string& path, Completion completion) {
  auto compile = std::make_shared<Compile>();
  compile->owner = this;
  compile->completion = std::move(completion);
  running_.insert(compile);
  ++started_;

  // Each GLib callback holds one reference to the compile, released when it fires.
  auto hold = [&compile] { return std::make_unique<std::shared_ptr<Compile>>(compile).release(); };

  GError* rawError = nullptr;
  if (!executablePath_.empty()) {
    GObjectPtr<GSubprocessLauncher> launcher(
        g_subprocess_launcher_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE |
                                                                G_SUBPROCESS_FLAGS_STDERR_PIPE)));
    g_subprocess_launcher_set_child_setup(launcher.get(), childSetup, nullptr, nullptr);
    const char* argv[] = {executablePath_.c_str(), path.c_str(), "--line-numbers", nullptr};
    compile->process = GObjectPtr<GSubprocess>(g_subprocess_launcher_spawnv(launcher.get(), argv, &rawError));
  }

  if (!compile->process) {
    GErrorPtr error(rawError);
    const std::string message =
        executablePath_.empty()
            ? std::string("The Sass compiler could not be started: the resource folder holds no \xE2\x80\x9C"
                          "sassc\xE2\x80\x9D.")
            : "The Sass compiler \xE2\x80\x9C" + executablePath_ + "\xE2\x80\x9D could not be started: " +
                  (error ? error->message : "unknown error") + ".";
    compile->result = ParsingResult::failure(ParsingError::parsingFailed(message));
    // Delivered from the main loop like any other result, never from inside parseFile.
    compile->idleSource = g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          std::unique_ptr<std::shared_ptr<Compile>> held(static_cast<std::shared_ptr<Compile>*>(data));
          auto& c = *held;
          c->idleSource = 0;
          if (!c->dropped) c->owner->finished(c);
          return G_SOURCE_REMOVE;
        },
        hold(), nullptr);
    return;
  }

  g_subprocess_communicate_async(
      compile->process.get(), nullptr, compile->cancellable.get(),
      [](GObject* source, GAsyncResult* res, gpointer data) {
        std::unique_ptr<std::shared_ptr<Compile>> held(static_cast<std::shared_ptr<Compile>*>(data));
        auto& c = *held;
        GBytes* out = nullptr;
        GBytes* err = nullptr;
        GError* rawError = nullptr;
        g_subprocess_communicate_finish(G_SUBPROCESS(source), res, &out, &err, &rawError);
        GBytesPtr outBytes(out), errBytes(err);
        GErrorPtr error(rawError);
        if (c->dropped) return;
        if (c->timedOut) {
          c->result = ParsingResult::failure(ParsingError::parsingFailed(
              "Compilation timed out: sassc was still running after " + describeSeconds(c->owner->timeout()) +
              " and was stopped."));
        } else if (error) {
          c->result = ParsingResult::failure(ParsingError::parsingFailed(
              std::string("Reading the output of the Sass compiler failed: ") + error->message + "."));
        } else {
          c->result = resultFromStreams(bytesToString(outBytes.get()), bytesToString(errBytes.get()));
        }
        c->owner->finished(c);
      },
      hold());

  compile->timeoutSource = g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(timeout_.count()),
      [](gpointer data) -> gboolean {
        auto* c = static_cast<Compile*>(data);
        c->timeoutSource = 0;
        c->timedOut = true;
        c->killChild();
        // A grandchild could keep the pipes open; stop reading rather than wait for it.
        g_cancellable_cancel(c->cancellable.get());
        return G_SOURCE_REMOVE;
      },
      compile.get(), nullptr);
}

void SassParser::finished(const std::shared_ptr<Compile>& compile) {
  compile->clearSources();
  running_.erase(compile);
  auto completion = std::move(compile->completion);
  auto result = std::move(*compile->result);
  compile->dropped = true;
  if (completion) completion(std::move(result));
}

void SassParser::cancelAll() {
  auto running = std::move(running_);
  running_.clear();
  for (const auto& compile : running) {
    compile->dropped = true;
    compile->clearSources();
    compile->killChild();
    g_cancellable_cancel(compile->cancellable.get());
    compile->completion = nullptr;
  }
}

}  // namespace fennelview
