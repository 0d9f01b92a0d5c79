// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compile/output_style.hpp"
#include "compile/source_place.hpp"

// Dart Sass's embedded protocol (`sass --embedded`), the few messages one compile needs. Each
// packet is a varint length, then a varint compilation id and a protobuf message; only varints
// and length-delimited fields are used, so no protobuf library is needed.
namespace fennelview::embedded {

// Reads one varint at `at`, moving past it: a packet's length and compilation id are varints.
enum class Read { kDone, kIncomplete, kMalformed };
Read readVarint(std::string_view bytes, std::size_t& at, std::uint64_t& value);

// One compile of a file on disk, no colour in messages.
struct CompileRequest {
  std::string path;
  std::vector<std::string> loadPaths;  // sent as file-system importers, searched in order
  bool quietDeps = true;               // no warnings from files reached through load paths
  bool sourceMap = true;               // a map beside the CSS, the sources' text inside it
  OutputStyle style = OutputStyle::kExpanded;
};

// The InboundMessage packet that asks for `request`.
std::string compileRequestPacket(std::uint32_t compilationId, const CompileRequest& request);

// `loadedUrls` lists every file the compile loaded, modules that give no CSS included; a
// failure lists those loaded before it stopped.
struct CompileSuccess {
  std::string css;
  std::vector<std::string> loadedUrls;
  std::string sourceMap;  // the map's JSON; empty when none was asked
  bool operator==(const CompileSuccess&) const = default;
};

struct CompileFailure {
  std::string message;
  std::optional<SourcePlace> span;  // the file as a URL (empty for a source without one)
  std::string formatted;  // the message as the command line prints it; may be empty
  std::vector<std::string> loadedUrls;
  bool operator==(const CompileFailure&) const = default;
};

struct LogEvent {
  enum class Type { kWarning = 0, kDeprecation = 1, kDebug = 2 };
  Type type = Type::kWarning;
  std::string message;
  std::string formatted;        // may be empty
  std::string deprecationType;  // e.g. "import"; empty unless a deprecation
  bool operator==(const LogEvent&) const = default;
};

// The compiler found our messages malformed, or we found its so.
struct ProtocolError {
  std::string message;
  bool operator==(const ProtocolError&) const = default;
};

using OutboundMessage = std::variant<CompileSuccess, CompileFailure, LogEvent, ProtocolError>;

// Reads the compiler's standard output as it arrives, in pieces of any size. Messages a
// single compile never needs (version responses, importer requests) are passed over, and so
// are messages of any compilation but the one asked: they are another compile's business.
// The compiler's protocol errors are taken whatever id they carry.
class OutboundReader {
 public:
  explicit OutboundReader(std::uint32_t compilationId = 1) : compilationId_(compilationId) {}

  // The messages that the bytes so far complete. After a ProtocolError of ours the stream
  // cannot be followed any more and the rest is ignored.
  std::vector<OutboundMessage> read(std::string_view bytes);
  // Bytes are held that do not yet make a whole packet.
  bool midPacket() const { return !pending_.empty() && !broken_; }

 private:
  std::uint32_t compilationId_;
  std::string pending_;
  bool broken_ = false;
};

}  // namespace fennelview::embedded
