// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/embedded_compiler.hpp"

#include <glib-unix.h>
#include <glib/gi18n.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "compile/child_process.hpp"
#include "compile/memory_guard.hpp"

namespace fennelview {

namespace {

constexpr const char* kName = "Dart Sass";
// The protocol's id for errors that belong to no compile.
constexpr std::uint32_t kNoCompile = 0xffffffff;
// A superseded compile that has run this long costs more to finish than a fresh process
// costs to start: the protocol cannot cancel one, so the process is ended instead.
constexpr auto kWorthRestarting = std::chrono::milliseconds(500);
// Ends in a row without a single result after which queued compiles fail instead of
// starting the process yet again.
constexpr int kRestartLimit = 3;

}  // namespace

struct EmbeddedCompiler::Request {
  EmbeddedCompiler* owner = nullptr;
  std::uint32_t ticket = 0;
  std::string packet;
  Done done;
  std::chrono::milliseconds timeout{0};
  guint timer = 0;
  std::chrono::steady_clock::time_point sent;
  // Cancelled while in flight: kept until its answer comes, so its memory is still watched.
  bool cancelled = false;
  // Tried again after an end that could not be blamed on one compile.
  bool retried = false;
  bool suspect = false;
  std::size_t received = 0;
  embedded::OutboundReader reader;
  std::vector<embedded::OutboundMessage> messages;

  ~Request() {
    if (timer) g_source_remove(timer);
  }
};

EmbeddedCompiler::EmbeddedCompiler(std::filesystem::path executable, std::filesystem::path workingDirectory,
                                   CompileLimits limits)
    : executable_(std::move(executable)), workingDirectory_(std::move(workingDirectory)), limits_(limits) {}

EmbeddedCompiler::~EmbeddedCompiler() {
  stopSources();
  for (const int i : {4, 5}) {
    if (sources_[i]) g_source_remove(sources_[i]);
  }
}

std::shared_ptr<EmbeddedCompiler> EmbeddedCompiler::shared(const std::filesystem::path& executable,
                                                           const std::filesystem::path& workingDirectory) {
  // Keyed by folder too: Dart Sass names files in its messages relative to its own folder,
  // which a request cannot change. Idle ones hold no process.
  static std::map<std::pair<std::string, std::string>, std::shared_ptr<EmbeddedCompiler>> compilers;
  auto& compiler = compilers[{executable.string(), workingDirectory.string()}];
  if (!compiler) compiler = std::make_shared<EmbeddedCompiler>(executable, workingDirectory);
  return compiler;
}

std::optional<pid_t> EmbeddedCompiler::processId() const {
  return child_ ? std::optional<pid_t>(child_->pid()) : std::nullopt;
}

std::uint32_t EmbeddedCompiler::compile(const embedded::CompileRequest& request, std::chrono::milliseconds timeout,
                                        Done done) {
  auto r = std::make_unique<Request>();
  r->owner = this;
  r->ticket = nextTicket_;
  nextTicket_ = nextTicket_ + 1 >= kNoCompile ? 1 : nextTicket_ + 1;
  r->packet = embedded::compileRequestPacket(r->ticket, request);
  r->done = std::move(done);
  r->timeout = timeout;
  const auto ticket = r->ticket;
  queue_.push_back(std::move(r));
  // Sent from the main loop, so that not even a failure to start answers inside this call.
  if (!sources_[5]) {
    sources_[5] = g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* self = static_cast<EmbeddedCompiler*>(data);
          self->sources_[5] = 0;
          self->pump();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
  }
  return ticket;
}

void EmbeddedCompiler::cancel(std::uint32_t ticket) {
  if (const auto it = inFlight_.find(ticket); it != inFlight_.end()) {
    it->second->cancelled = true;
    it->second->done = nullptr;
    it->second->messages.clear();
    const bool onlyCancelled = std::ranges::all_of(inFlight_, [](const auto& entry) { return entry.second->cancelled; });
    if (onlyCancelled && std::chrono::steady_clock::now() - it->second->sent > kWorthRestarting) {
      dropProcess();
      inFlight_.clear();
      pump();
    }
    return;
  }
  std::erase_if(queue_, [&](const auto& r) { return r->ticket == ticket; });
}

void EmbeddedCompiler::pump() {
  if (queue_.empty()) {
    if (inFlight_.empty()) armIdleTimer();
    return;
  }
  if (sources_[4]) g_source_remove(std::exchange(sources_[4], 0));
  // After an end nobody could be blamed for, the suspects go one at a time.
  const auto suspect = [](const auto& r) { return r->suspect; };
  const bool serial = std::ranges::any_of(queue_, suspect) ||
                      std::ranges::any_of(inFlight_, [](const auto& entry) { return entry.second->suspect; });
  while (!queue_.empty() && (!serial || inFlight_.empty())) {
    if (!child_ && !startProcess()) return;
    auto r = std::move(queue_.front());
    queue_.pop_front();
    r->reader = embedded::OutboundReader(r->ticket);
    r->messages.clear();
    r->received = 0;
    outgoing_ += r->packet;
    r->sent = std::chrono::steady_clock::now();
    r->timer = g_timeout_add(
        static_cast<guint>(std::max<std::int64_t>(1, r->timeout.count())),
        [](gpointer data) -> gboolean {
          auto* r = static_cast<Request*>(data);
          r->timer = 0;
          r->owner->endProcess(timeoutMessage(kName, r->timeout), r->ticket);
          return G_SOURCE_REMOVE;
        },
        r.get());
    inFlight_[r->ticket] = std::move(r);
  }
  if (!memoryGuard_ && child_) {
    memoryGuard_ = std::make_unique<MemoryGuard>(*child_, limits_.residentBytes, limits_.memoryCheckInterval, [this] {
      endProcess(memoryLimitMessage(kName, limits_.residentBytes), std::nullopt);
    });
  }
  writeOutgoing();
}

bool EmbeddedCompiler::startProcess() {
  int error = 0;
  child_ = ChildProcess::start({executable_.string(), "--embedded"}, workingDirectory_.string(), error, true);
  if (!child_) {
    auto queued = std::move(queue_);
    queue_.clear();
    for (auto& r : queued) deliver(std::move(r), Outcome{{}, {}, startFailureMessage(executable_.string(), error)});
    return false;
  }
  ++processesStarted_;
  const auto condition = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
  for (const auto stream : {ChildProcess::kOutput, ChildProcess::kError}) {
    g_unix_set_fd_nonblocking(child_->streamFd(stream), TRUE, nullptr);
  }
  sources_[0] = g_unix_fd_add(
      child_->streamFd(ChildProcess::kOutput), condition,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        auto* self = static_cast<EmbeddedCompiler*>(data);
        self->readOutput();
        return G_SOURCE_CONTINUE;  // removed by readOutput when done
      },
      this);
  sources_[1] = g_unix_fd_add(
      child_->streamFd(ChildProcess::kError), condition,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        static_cast<EmbeddedCompiler*>(data)->readErrors();
        return G_SOURCE_CONTINUE;
      },
      this);
  sources_[2] = g_unix_fd_add(
      child_->exitFd(), G_IO_IN,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        auto* self = static_cast<EmbeddedCompiler*>(data);
        self->sources_[2] = 0;
        // What it wrote before it ended still counts.
        self->readErrors();
        if (self->child_) self->readOutput();
        if (self->child_) self->endProcess(std::nullopt, std::nullopt);
        return G_SOURCE_REMOVE;
      },
      this);
  return true;
}

void EmbeddedCompiler::writeOutgoing() {
  if (!child_ || outgoing_.empty()) return;
  const ssize_t written = child_->writeInput(outgoing_);
  if (written > 0) outgoing_.erase(0, static_cast<std::size_t>(written));
  if (outgoing_.empty() || (written < 0 && errno != EAGAIN)) {
    // A process that stopped reading is seen at its end.
    outgoing_.clear();
    return;
  }
  if (sources_[3]) return;
  sources_[3] = g_unix_fd_add(
      child_->inputFd(), G_IO_OUT,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        auto* self = static_cast<EmbeddedCompiler*>(data);
        self->sources_[3] = 0;
        self->writeOutgoing();
        return G_SOURCE_REMOVE;
      },
      this);
}

// At most a megabyte a turn, so that a process that never stops writing cannot hold up the loop.
void EmbeddedCompiler::readOutput() {
  char buffer[64 * 1024];
  for (int turn = 0; turn < 16 && child_ && child_->streamFd(ChildProcess::kOutput) >= 0; ++turn) {
    const ssize_t n = read(child_->streamFd(ChildProcess::kOutput), buffer, sizeof buffer);
    if (n > 0) {
      incoming_.append(buffer, static_cast<std::size_t>(n));
      if (!takePackets()) return;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      // Its end is handled when the process has ended, with all it wrote on standard error.
      if (sources_[0]) g_source_remove(std::exchange(sources_[0], 0));
      child_->closeStream(ChildProcess::kOutput);
      return;
    }
  }
}

void EmbeddedCompiler::readErrors() {
  char buffer[64 * 1024];
  for (int turn = 0; turn < 16 && child_ && child_->streamFd(ChildProcess::kError) >= 0; ++turn) {
    const ssize_t n = read(child_->streamFd(ChildProcess::kError), buffer, sizeof buffer);
    if (n > 0) {
      errors_.append(buffer, static_cast<std::size_t>(n));
      if (errors_.size() > limits_.errorBytes) {
        endProcess(outputTooLargeMessage(kName, limits_.errorBytes, OutputKind::kMessages), std::nullopt);
        return;
      }
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return;
    } else {
      if (sources_[1]) g_source_remove(std::exchange(sources_[1], 0));
      child_->closeStream(ChildProcess::kError);
      return;
    }
  }
}

bool EmbeddedCompiler::takePackets() {
  std::size_t at = 0;
  for (;;) {
    std::size_t body = at;
    std::uint64_t length = 0;
    const auto header = embedded::readVarint(incoming_, body, length);
    if (header == embedded::Read::kIncomplete) break;
    std::size_t idEnd = body;
    std::uint64_t id = kNoCompile;
    const bool hasId = header == embedded::Read::kDone && embedded::readVarint(incoming_, idEnd, id) == embedded::Read::kDone;
    const auto it = hasId ? inFlight_.find(static_cast<std::uint32_t>(id)) : inFlight_.end();
    const bool ours = it != inFlight_.end() && id <= kNoCompile;
    if (header == embedded::Read::kMalformed || length > limits_.outputBytes ||
        (ours && it->second->received + length > limits_.outputBytes)) {
      // The stream cannot be followed past a broken packet, nor kept past a huge one.
      endProcess(header == embedded::Read::kMalformed ? std::optional<std::string>(_("Dart Sass sent a malformed packet."))
                                              : outputTooLargeMessage(kName, limits_.outputBytes, OutputKind::kPacket),
                 ours ? std::optional<std::uint32_t>(it->first) : std::nullopt);
      return false;
    }
    if (length > incoming_.size() - body) break;
    const std::string_view packet = std::string_view(incoming_).substr(at, body + length - at);
    at = body + length;
    if (!ours) continue;  // a cancelled compile's, or one the process could not place
    Request& r = *it->second;
    r.received += packet.size();
    bool answered = false;
    for (auto& message : r.reader.read(packet)) {
      answered = answered || !std::holds_alternative<embedded::LogEvent>(message);
      if (!r.cancelled) r.messages.push_back(std::move(message));
    }
    if (!answered) continue;
    auto done = std::move(it->second);
    inFlight_.erase(it);
    endsWithoutResult_ = 0;
    incoming_.erase(0, at);
    at = 0;
    if (inFlight_.empty()) memoryGuard_.reset();
    auto messages = std::move(done->messages);
    deliver(std::move(done), Outcome{std::move(messages), {}, std::nullopt});
    pump();
    if (!child_) return false;
  }
  incoming_.erase(0, at);
  return true;
}

void EmbeddedCompiler::dropProcess() {
  stopSources();
  memoryGuard_.reset();
  child_.reset();
  outgoing_.clear();
  incoming_.clear();
  errors_.clear();
}

void EmbeddedCompiler::endProcess(std::optional<std::string> reason, std::optional<std::uint32_t> blamed) {
  const std::string errors = std::move(errors_);
  dropProcess();
  if (!reason) ++endsWithoutResult_;
  auto flights = std::move(inFlight_);
  inFlight_.clear();
  const auto live = std::ranges::count_if(flights, [](const auto& entry) { return !entry.second->cancelled; });
  std::vector<std::unique_ptr<Request>> failed, retried;
  for (auto& [ticket, r] : flights) {
    if (r->timer) g_source_remove(std::exchange(r->timer, 0));
    if (r->cancelled) continue;
    const bool culprit = blamed ? *blamed == ticket : (live == 1 || r->retried);
    if (culprit || endsWithoutResult_ >= kRestartLimit) {
      failed.push_back(std::move(r));
    } else {
      r->retried = r->retried || !blamed;
      r->suspect = !blamed;
      retried.push_back(std::move(r));
    }
  }
  queue_.insert(queue_.begin(), std::make_move_iterator(retried.begin()), std::make_move_iterator(retried.end()));
  if (endsWithoutResult_ >= kRestartLimit) {
    for (auto& r : queue_) failed.push_back(std::move(r));
    queue_.clear();
  }
  for (auto& r : failed) {
    auto messages = std::move(r->messages);
    deliver(std::move(r), Outcome{std::move(messages), errors, reason});
  }
  pump();
}

void EmbeddedCompiler::deliver(std::unique_ptr<Request> request, Outcome outcome) {
  auto done = std::move(request->done);
  request.reset();
  if (done) done(std::move(outcome));
}

void EmbeddedCompiler::stopSources() {
  for (int i = 0; i < 4; ++i) {
    if (sources_[i]) g_source_remove(std::exchange(sources_[i], 0));
  }
}

void EmbeddedCompiler::armIdleTimer() {
  if (!child_ || sources_[4]) return;
  sources_[4] = g_timeout_add(
      static_cast<guint>(std::max<std::int64_t>(1, idleTime_.count())),
      [](gpointer data) -> gboolean {
        auto* self = static_cast<EmbeddedCompiler*>(data);
        self->sources_[4] = 0;
        self->dropProcess();
        return G_SOURCE_REMOVE;
      },
      this);
}

}  // namespace fennelview
