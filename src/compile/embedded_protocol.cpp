// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/embedded_protocol.hpp"

#include <glib/gi18n.h>

#include <climits>
#include <functional>

#include "common/formatted.hpp"

namespace fennelview::embedded {

Read readVarint(std::string_view bytes, std::size_t& at, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (at >= bytes.size()) return Read::kIncomplete;
    const auto byte = static_cast<unsigned char>(bytes[at++]);
    value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
    if (!(byte & 0x80)) return Read::kDone;
  }
  return Read::kMalformed;
}

namespace {

// Field numbers of the protocol's messages, as the compiler reads and writes them.
namespace inbound {
constexpr std::uint32_t kCompileRequest = 2;
constexpr std::uint32_t kPath = 3;
constexpr std::uint32_t kStyle = 4;
constexpr std::uint32_t kImporters = 6;
constexpr std::uint32_t kImporterPath = 1;
constexpr std::uint32_t kSourceMap = 5;
constexpr std::uint32_t kQuietDeps = 11;
constexpr std::uint32_t kSourceMapIncludeSources = 12;
constexpr std::uint32_t kCharset = 13;
}  // namespace inbound

namespace outbound {
constexpr std::uint32_t kError = 1;
constexpr std::uint32_t kErrorMessage = 3;
constexpr std::uint32_t kCompileResponse = 2;
constexpr std::uint32_t kSuccess = 2;
constexpr std::uint32_t kSuccessCss = 1;
constexpr std::uint32_t kSuccessSourceMap = 2;
constexpr std::uint32_t kFailure = 3;
constexpr std::uint32_t kFailureMessage = 1;
constexpr std::uint32_t kFailureSpan = 2;
constexpr std::uint32_t kFailureFormatted = 4;
constexpr std::uint32_t kLoadedUrls = 4;
constexpr std::uint32_t kLogEvent = 3;
constexpr std::uint32_t kLogType = 2;
constexpr std::uint32_t kLogMessage = 3;
constexpr std::uint32_t kLogFormatted = 6;
constexpr std::uint32_t kLogDeprecationType = 7;
constexpr std::uint32_t kSpanStart = 2;
constexpr std::uint32_t kSpanUrl = 4;
constexpr std::uint32_t kLocationLine = 2;
constexpr std::uint32_t kLocationColumn = 3;
}  // namespace outbound

constexpr int kVarint = 0;
constexpr int kFixed64 = 1;
constexpr int kBytes = 2;
constexpr int kFixed32 = 5;

void putVarint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7f) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void putBytes(std::string& out, std::uint32_t field, std::string_view bytes) {
  putVarint(out, field << 3 | kBytes);
  putVarint(out, bytes.size());
  out.append(bytes);
}

void putFlag(std::string& out, std::uint32_t field, bool value) {
  putVarint(out, field << 3 | kVarint);
  putVarint(out, value ? 1 : 0);
}

// One field of a message: a varint's value, or a length-delimited field's bytes.
struct Field {
  std::uint32_t number = 0;
  bool isBytes = false;
  std::uint64_t value = 0;
  std::string_view bytes;
};

// Calls `visit` for each field of `message` in order; false when the message is malformed.
bool forEachField(std::string_view message, const std::function<void(const Field&)>& visit) {
  std::size_t at = 0;
  while (at < message.size()) {
    std::uint64_t key = 0;
    if (readVarint(message, at, key) != Read::kDone) return false;
    Field field;
    field.number = static_cast<std::uint32_t>(key >> 3);
    switch (key & 7) {
      case kVarint:
        if (readVarint(message, at, field.value) != Read::kDone) return false;
        break;
      case kBytes: {
        std::uint64_t length = 0;
        if (readVarint(message, at, length) != Read::kDone || length > message.size() - at) return false;
        field.isBytes = true;
        field.bytes = message.substr(at, length);
        at += length;
        break;
      }
      case kFixed64:
      case kFixed32: {
        const std::size_t width = (key & 7) == kFixed64 ? 8 : 4;
        if (width > message.size() - at) return false;
        at += width;
        break;
      }
      default:
        return false;
    }
    visit(field);
  }
  return true;
}

// The fields of a message that hold bytes, by number; a repeated number keeps its last value.
struct Parsed {
  bool valid = true;
  std::vector<Field> fields;

  explicit Parsed(std::string_view message) {
    valid = forEachField(message, [this](const Field& field) { fields.push_back(field); });
  }
  std::string_view bytes(std::uint32_t number) const {
    std::string_view found;
    for (const auto& field : fields) {
      if (field.number == number && field.isBytes) found = field.bytes;
    }
    return found;
  }
  bool has(std::uint32_t number) const {
    for (const auto& field : fields) {
      if (field.number == number && field.isBytes) return true;
    }
    return false;
  }
  std::uint64_t varint(std::uint32_t number) const {
    std::uint64_t found = 0;
    for (const auto& field : fields) {
      if (field.number == number && !field.isBytes) found = field.value;
    }
    return found;
  }
  std::vector<std::string> strings(std::uint32_t number) const {
    std::vector<std::string> all;
    for (const auto& field : fields) {
      if (field.number == number && field.isBytes) all.emplace_back(field.bytes);
    }
    return all;
  }
};


// A position counted from 0 as one counted from 1; unknown when it does not fit.
std::optional<int> fromOne(std::uint64_t position) {
  return position < INT_MAX ? std::optional<int>(static_cast<int>(position) + 1) : std::nullopt;
}

std::optional<SourcePlace> spanOf(std::string_view message) {
  const Parsed span(message);
  const Parsed start(span.bytes(outbound::kSpanStart));
  if (!span.valid || !start.valid) return std::nullopt;
  return SourcePlace{std::string(span.bytes(outbound::kSpanUrl)), fromOne(start.varint(outbound::kLocationLine)),
                     fromOne(start.varint(outbound::kLocationColumn))};
}

OutboundMessage compileResponse(std::string_view message) {
  const Parsed response(message);
  if (!response.valid) return ProtocolError{_("The compiler sent a malformed compile response.")};
  auto loadedUrls = response.strings(outbound::kLoadedUrls);
  if (response.has(outbound::kSuccess)) {
    const Parsed success(response.bytes(outbound::kSuccess));
    if (!success.valid) return ProtocolError{_("The compiler sent a malformed compile response.")};
    // The compiler writes the CSS field even when the CSS is empty.
    if (!success.has(outbound::kSuccessCss)) return ProtocolError{_("The compiler's success holds no CSS.")};
    return CompileSuccess{std::string(success.bytes(outbound::kSuccessCss)), std::move(loadedUrls),
                          std::string(success.bytes(outbound::kSuccessSourceMap))};
  }
  if (response.has(outbound::kFailure)) {
    const Parsed failure(response.bytes(outbound::kFailure));
    if (!failure.valid) return ProtocolError{_("The compiler sent a malformed compile response.")};
    std::optional<SourcePlace> span;
    if (failure.has(outbound::kFailureSpan)) span = spanOf(failure.bytes(outbound::kFailureSpan));
    return CompileFailure{std::string(failure.bytes(outbound::kFailureMessage)), std::move(span),
                          std::string(failure.bytes(outbound::kFailureFormatted)), std::move(loadedUrls)};
  }
  return ProtocolError{_("The compiler's response holds neither CSS nor an error.")};
}

std::optional<OutboundMessage> decodePacket(std::string_view packet, std::uint32_t expectedId) {
  std::size_t at = 0;
  std::uint64_t compilationId = 0;
  if (readVarint(packet, at, compilationId) != Read::kDone) return ProtocolError{_("The compiler sent a malformed packet.")};
  const Parsed message(packet.substr(at));
  if (!message.valid) return ProtocolError{_("The compiler sent a malformed packet.")};
  if (message.has(outbound::kError)) {
    const Parsed error(message.bytes(outbound::kError));
    const std::string said(error.bytes(outbound::kErrorMessage));
    /* Translators: %1$s is the compiler's own message. */
    return ProtocolError{formatted(_("The compiler reported a protocol error: %1$s"), said.c_str())};
  }
  if (compilationId != expectedId) return std::nullopt;
  if (message.has(outbound::kCompileResponse)) return compileResponse(message.bytes(outbound::kCompileResponse));
  if (message.has(outbound::kLogEvent)) {
    const Parsed event(message.bytes(outbound::kLogEvent));
    if (!event.valid) return ProtocolError{_("The compiler sent a malformed log event.")};
    const auto type = event.varint(outbound::kLogType);
    return LogEvent{type <= 2 ? static_cast<LogEvent::Type>(type) : LogEvent::Type::kWarning,
                    std::string(event.bytes(outbound::kLogMessage)), std::string(event.bytes(outbound::kLogFormatted)),
                    std::string(event.bytes(outbound::kLogDeprecationType))};
  }
  return std::nullopt;
}

}  // namespace

std::string compileRequestPacket(std::uint32_t compilationId, const CompileRequest& request) {
  std::string compile;
  putBytes(compile, inbound::kPath, request.path);
  // EXPANDED is the protocol's default and goes unsent.
  if (const int style = embeddedStyleValue(request.style)) {
    putVarint(compile, inbound::kStyle << 3 | kVarint);
    putVarint(compile, static_cast<std::uint64_t>(style));
  }
  for (const auto& folder : request.loadPaths) {
    std::string importer;
    putBytes(importer, inbound::kImporterPath, folder);
    putBytes(compile, inbound::kImporters, importer);
  }
  if (request.sourceMap) putFlag(compile, inbound::kSourceMap, true);
  if (request.quietDeps) putFlag(compile, inbound::kQuietDeps, true);
  if (request.sourceMap) putFlag(compile, inbound::kSourceMapIncludeSources, true);
  // As the sass command: CSS with non-ASCII text starts with @charset (a BOM when compressed),
  // so a file saved or served from it is read as UTF-8.
  putFlag(compile, inbound::kCharset, true);
  std::string message;
  putVarint(message, compilationId);
  putBytes(message, inbound::kCompileRequest, compile);
  std::string packet;
  putVarint(packet, message.size());
  return packet + message;
}

std::vector<OutboundMessage> OutboundReader::read(std::string_view bytes) {
  std::vector<OutboundMessage> messages;
  if (broken_) return messages;
  // Whole packets, as the compiler's reader hands them, are read where they lie: a large CSS is
  // copied once, into its message, not first into this buffer.
  if (!pending_.empty()) pending_.append(bytes);
  const std::string_view input = pending_.empty() ? bytes : std::string_view(pending_);
  std::size_t at = 0;
  while (at < input.size()) {
    std::size_t body = at;
    std::uint64_t length = 0;
    const auto header = readVarint(input, body, length);
    if (header == Read::kIncomplete || (header == Read::kDone && length > input.size() - body)) break;
    if (header == Read::kMalformed) {
      messages.push_back(ProtocolError{_("The compiler sent a malformed packet length.")});
      broken_ = true;
      break;
    }
    if (auto message = decodePacket(input.substr(body, length), compilationId_)) {
      messages.push_back(std::move(*message));
    }
    at = body + length;
  }
  // Erased once per read, so a large CSS that arrives in many pieces is not moved for each.
  if (pending_.empty()) {
    pending_.assign(input.substr(at));
  } else {
    pending_.erase(0, at);
  }
  return messages;
}

}  // namespace fennelview::embedded
