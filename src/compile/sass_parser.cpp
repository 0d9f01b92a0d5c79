#include "compile/sass_parser.hpp"

#include <fcntl.h>
#include <glib-unix.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
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
  pid_t pid = -1;
  // The two read ends, standard output first; -1 once at end-of-file or abandoned.
  int fds[2] = {-1, -1};
  guint fdSources[2] = {0, 0};
  std::string streams[2];
  bool exited = false;
  guint timeoutSource = 0;
  guint idleSource = 0;
  bool dropped = false;
  bool timedOut = false;
  std::optional<ParsingResult> result;

  ~Compile() { stopReading(); }

  void stopReading() {
    for (int i = 0; i < 2; ++i) {
      if (fdSources[i]) g_source_remove(std::exchange(fdSources[i], 0));
      if (fds[i] >= 0) close(std::exchange(fds[i], -1));
    }
  }

  void clearSources() {
    if (timeoutSource) g_source_remove(std::exchange(timeoutSource, 0));
    if (idleSource) g_source_remove(std::exchange(idleSource, 0));
  }

  // The child leads its own process group, so a compiler that forked helpers dies whole.
  void killChild() {
    if (pid > 0 && !exited) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
    }
  }
};

namespace {

// Each GLib callback holds one reference to the compile, released when it is done.
using Held = std::shared_ptr<SassParser::Compile>;
gpointer hold(const Held& compile) { return new Held(compile); }
void release(gpointer data) { delete static_cast<Held*>(data); }

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

// Invalid sequences become U+FFFD, so the rest of a message still reads.
std::string decodeLossily(const std::string& bytes) {
  GCharPtr valid(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())));
  return valid ? std::string(valid.get()) : std::string();
}

// CSS when stdout is non-empty UTF-8, else a failure carrying stderr.
ParsingResult resultFromStreams(std::string& standardOutput, const std::string& standardError) {
  std::optional<CSSOutput> output;
  if (!standardOutput.empty() && isValidUtf8(standardOutput)) {
    output.emplace(std::move(standardOutput));
    output->warnings = isValidUtf8(standardError) ? standardError : decodeLossily(standardError);
  }
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

struct Pipe {
  int read = -1;
  int write = -1;
  ~Pipe() {
    if (read >= 0) close(read);
    if (write >= 0) close(write);
  }
};

// Starts the child with vfork: fork would copy the page tables of the whole application,
// web views and all, which made every compile tens of milliseconds slower. Until execve
// the child shares our memory and runs only async-signal-safe calls. Returns the pid, or
// -1 with the reason in `error`.
pid_t spawnCompiler(const char* const argv[], int standardOutput, int standardError, int& error) {
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) {
    error = errno;
    return -1;
  }
  sigset_t all, previous;
  sigfillset(&all);
  // No handler of ours may run in the child while it still shares our memory.
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t parent = getpid();
  volatile int childError = 0;
  const pid_t pid = vfork();
  if (pid == 0) {
    for (int sig = 1; sig < NSIG; ++sig) {
      struct sigaction action {};
      if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler != SIG_IGN && action.sa_handler != SIG_DFL) {
        action.sa_handler = SIG_DFL;
        action.sa_flags = 0;
        sigaction(sig, &action, nullptr);
      }
    }
    setpgid(0, 0);
    // An app that dies must not leave a runaway compiler behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (dup2(devNull, STDIN_FILENO) < 0 || dup2(standardOutput, STDOUT_FILENO) < 0 ||
        dup2(standardError, STDERR_FILENO) < 0) {
      childError = errno;
      _exit(127);
    }
    // Descriptors of ours that lack close-on-exec must not keep other compiles' pipes open.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    execve(argv[0], const_cast<char* const*>(argv), environ);
    childError = errno;
    _exit(127);
  }
  const int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  close(devNull);
  if (pid < 0) {
    error = forkError;
    return -1;
  }
  if (childError != 0) {
    waitpid(pid, nullptr, 0);
    error = childError;
    return -1;
  }
  return pid;
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

  int spawnError = 0;
  if (!executablePath_.empty()) {
    Pipe out, err;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      out.read = ends[0], out.write = ends[1];
      if (pipe2(ends, O_CLOEXEC) == 0) err.read = ends[0], err.write = ends[1];
    }
    if (err.write < 0) {
      spawnError = errno;
    } else {
      const char* argv[] = {executablePath_.c_str(), path.c_str(), "--line-numbers", nullptr};
      compile->pid = spawnCompiler(argv, out.write, err.write, spawnError);
    }
    if (compile->pid > 0) {
      compile->fds[0] = std::exchange(out.read, -1);
      compile->fds[1] = std::exchange(err.read, -1);
    }
  }

  if (compile->pid <= 0) {
    const std::string message =
        executablePath_.empty()
            ? std::string("The Sass compiler could not be started: the resource folder holds no \xE2\x80\x9C"
                          "sassc\xE2\x80\x9D.")
            : "The Sass compiler \xE2\x80\x9C" + executablePath_ + "\xE2\x80\x9D could not be started: " +
                  g_strerror(spawnError) + ".";
    compile->result = ParsingResult::failure(ParsingError::parsingFailed(message));
    // Delivered from the main loop like any other result, never from inside parseFile.
    compile->idleSource = g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto& c = *static_cast<Held*>(data);
          c->idleSource = 0;
          if (!c->dropped) c->owner->finished(c);
          return G_SOURCE_REMOVE;
        },
        hold(compile), release);
    return;
  }

  // Both streams are drained while the child runs, so a child that writes more than a pipe
  // holds never blocks; the result is formed once both are at end-of-file and the child ended.
  for (int stream = 0; stream < 2; ++stream) {
    g_unix_set_fd_nonblocking(compile->fds[stream], TRUE, nullptr);
    const auto onReadable = stream == 0 ? &SassParser::readStream<0> : &SassParser::readStream<1>;
    compile->fdSources[stream] =
        g_unix_fd_add_full(G_PRIORITY_DEFAULT, compile->fds[stream],
                           static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onReadable, hold(compile), release);
  }
  g_child_watch_add_full(
      G_PRIORITY_DEFAULT, compile->pid,
      [](GPid, gint, gpointer data) {
        auto& c = *static_cast<Held*>(data);
        c->exited = true;
        if (!c->dropped) c->owner->maybeFinished(c);
      },
      hold(compile), release);

  compile->timeoutSource = g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(timeout_.count()),
      [](gpointer data) -> gboolean {
        auto* c = static_cast<Compile*>(data);
        c->timeoutSource = 0;
        c->timedOut = true;
        c->killChild();
        // A grandchild could keep the pipes open; stop reading rather than wait for it.
        c->stopReading();
        return G_SOURCE_REMOVE;
      },
      compile.get(), nullptr);
}

template <int Stream>
gboolean SassParser::readStream(gint fd, GIOCondition, gpointer data) {
  auto& c = *static_cast<Held*>(data);
  char buffer[64 * 1024];
  // At most a megabyte a turn, so a child that never stops writing cannot hold up the loop
  // (and with it the time limit).
  for (int turn = 0;; ++turn) {
    if (turn == 16) return G_SOURCE_CONTINUE;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      c->streams[Stream].append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return G_SOURCE_CONTINUE;
    break;  // end-of-file, or an error that ends the stream all the same
  }
  close(std::exchange(c->fds[Stream], -1));
  c->fdSources[Stream] = 0;
  if (!c->dropped) c->owner->maybeFinished(c);
  return G_SOURCE_REMOVE;
}

void SassParser::maybeFinished(const std::shared_ptr<Compile>& compile) {
  if (!compile->exited || compile->fds[0] >= 0 || compile->fds[1] >= 0) return;
  if (compile->timedOut) {
    compile->result = ParsingResult::failure(ParsingError::parsingFailed(
        "Compilation timed out: sassc was still running after " + describeSeconds(timeout_) + " and was stopped."));
  } else {
    compile->result = resultFromStreams(compile->streams[0], compile->streams[1]);
  }
  finished(compile);
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
    compile->stopReading();
    compile->completion = nullptr;
  }
}

}  // namespace fennelview
