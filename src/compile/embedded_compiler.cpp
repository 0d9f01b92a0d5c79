// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/embedded_compiler.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <cerrno>

#include "compile/child_process.hpp"
#include "compile/memory_guard.hpp"

namespace fennelview {

namespace {

constexpr const char* kName = "Dart Sass";
// The protocol's id for errors that belong to no compile.
constexpr std::uint32_t kNoCompile = 0xffffffff;
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
  MainLoopSource timer;
  std::chrono::steady_clock::time_point sent;
  // Cancelled while in flight: kept until its answer comes, so its memory is still watched.
  bool cancelled = false;
  // Tried again after an end that could not be blamed on one compile.
  bool retried = false;
  bool suspect = false;
  std::size_t received = 0;
  embedded::OutboundReader reader;
  std::vector<embedded::OutboundMessage> messages;
  // The log events kept, in bytes, and those past the limit.
  std::size_t logBytes = 0;
  std::size_t logLeftOut = 0;
};

EmbeddedCompiler::EmbeddedCompiler(std::filesystem::path executable, std::filesystem::path workingDirectory,
                                   CompileLimits limits)
    : executable_(std::move(executable)), workingDirectory_(std::move(workingDirectory)), limits_(limits) {}

EmbeddedCompiler::~EmbeddedCompiler() = default;

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
  if (!pumpSoon_.active()) pumpSoon_ = MainLoopSource::idle([this] { pump(); });
  return ticket;
}

void EmbeddedCompiler::cancel(std::uint32_t ticket) {
  if (const auto it = inFlight_.find(ticket); it != inFlight_.end()) {
    it->second->cancelled = true;
    it->second->done = nullptr;
    it->second->messages.clear();
    const bool onlyCancelled = std::ranges::all_of(inFlight_, [](const auto& entry) { return entry.second->cancelled; });
    // The protocol cannot cancel a compile: a long one ends with its process.
    if (onlyCancelled && std::chrono::steady_clock::now() - it->second->sent > restartAfter_) {
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
  idleTimer_.reset();
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
    child_->send(r->packet);
    r->sent = std::chrono::steady_clock::now();
    r->timer = MainLoopSource::after(std::max(r->timeout, std::chrono::milliseconds(1)), [r = r.get()] {
      r->owner->endProcess(timeoutMessage(kName, r->timeout), r->ticket);
    });
    inFlight_[r->ticket] = std::move(r);
  }
  if (!memoryGuard_ && child_) {
    memoryGuard_ = std::make_unique<MemoryGuard>(*child_, limits_.residentBytes, limits_.memoryCheckInterval, [this] {
      endProcess(memoryLimitMessage(kName, limits_.residentBytes), std::nullopt);
    });
  }
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
  child_->listen({[this](ChildProcess::Stream stream, std::string_view bytes) { received(stream, bytes); },
                  // What it wrote before it ended has been taken.
                  [this] { endProcess(std::nullopt, std::nullopt); }});
  return true;
}

void EmbeddedCompiler::received(int stream, std::string_view bytes) {
  // The end of a stream is handled when the process has ended, with all it wrote on standard error.
  if (bytes.empty()) return;
  if (stream == ChildProcess::kOutput) {
    incoming_.append(bytes);
    takePackets();
    return;
  }
  errors_.append(bytes);
  if (errors_.size() > limits_.errorBytes) {
    endProcess(outputTooLargeMessage(kName, limits_.errorBytes, OutputKind::kMessages), std::nullopt);
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
    bool answered = false, kept = false;
    for (auto& message : r.reader.read(packet)) {
      const auto* event = std::get_if<embedded::LogEvent>(&message);
      answered = answered || !event;
      // Warnings are kept up to the limit of a compiler's messages, the others counted.
      if (event && (r.logLeftOut > 0 || r.logBytes + packet.size() > limits_.errorBytes)) {
        ++r.logLeftOut;
        continue;
      }
      if (event) r.logBytes += packet.size();
      kept = true;
      if (!r.cancelled) r.messages.push_back(std::move(message));
    }
    if (kept) r.received += packet.size();
    if (!answered) continue;
    auto done = std::move(it->second);
    inFlight_.erase(it);
    endsWithoutResult_ = 0;
    incoming_.erase(0, at);
    at = 0;
    if (inFlight_.empty()) memoryGuard_.reset();
    auto messages = std::move(done->messages);
    const auto leftOut = done->logLeftOut;
    deliver(std::move(done), Outcome{std::move(messages), {}, std::nullopt, leftOut});
    pump();
    if (!child_) return false;
  }
  incoming_.erase(0, at);
  return true;
}

void EmbeddedCompiler::dropProcess() {
  memoryGuard_.reset();
  child_.reset();
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
    r->timer.reset();
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

void EmbeddedCompiler::armIdleTimer() {
  if (!child_ || idleTimer_.active()) return;
  idleTimer_ = MainLoopSource::after(std::max(idleTime_, std::chrono::milliseconds(1)), [this] { dropProcess(); });
}

}  // namespace fennelview
