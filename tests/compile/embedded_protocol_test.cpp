// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/embedded_protocol.hpp"

#include <gtest/gtest.h>

#include <random>

#include "compile/dart_sass_output.hpp"

namespace fennelview::embedded {
namespace {

std::string bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

TEST(EmbeddedProtocol, EncodesACompileRequestPacket) {
  // Encoded independently, field by field, from the protocol's definition; each asks for @charset (13).
  EXPECT_EQ(compileRequestPacket(300, {"/p/a.scss", {"/lib", "/nm"}, true}),
            bytes("26ac0212221a092f702f612e7363737332060a042f6c696232050a032f6e6d2801580160016801"));
  EXPECT_EQ(compileRequestPacket(1, {"/p/a.scss", {}, false, false}), bytes("1001120d1a092f702f612e736373736801"));
  EXPECT_EQ(compileRequestPacket(1, {"/p/a.scss", {}, false, false, OutputStyle::kCompressed}),
            bytes("1201120f1a092f702f612e7363737320016801"));
}

struct Case {
  const char* what;
  std::string stream;
  std::vector<OutboundMessage> messages;
};

// The first two streams are what Dart Sass 1.108.2 wrote for a warning then CSS, and for an
// error with its span (asked as compilation 1).
const std::vector<Case>& cases() {
  static const std::vector<Case> cases = {
      {"a warning, then CSS with the loaded files",
       bytes("55011a5210001a0268692a1c612e7363737320333a312020726f6f74207374796c6573686565740a322c5741524e494e473a20"
             "68690a20202020612e7363737320333a312020726f6f74207374796c6573686565740a3e01123b12210a1f2e61207b0a202077"
             "696474683a20332e3333333333333333333370783b0a7d221666696c653a2f2f2f746d702f6473322f612e73637373"),
       {LogEvent{LogEvent::Type::kWarning, "hi", "WARNING: hi\n    a.scss 3:1  root stylesheet\n", ""},
        CompileSuccess{".a {\n  width: 3.3333333333px;\n}", {"file:///tmp/ds2/a.scss"}, ""}}},
      {"an error at line 1, column 13",
       bytes("e2020112de021ac1020a2431707820616e642032656d206861766520696e636f6d70617469626c6520756e6974732e12500a0931"
             "7078202b2032656d1206080c1000180c1a06081510001815221866696c653a2f2f2f746d702f6473322f6261642e736373732a19"
             "2e61207b2077696474683a20317078202b2032656d3b207d0a1a282f746d702f6473322f6261642e7363737320313a3133202072"
             "6f6f74207374796c6573686565740a229c014572726f723a2031707820616e642032656d206861766520696e636f6d7061746962"
             "6c6520756e6974732e0a2020e295b70a3120e29482202e61207b2077696474683a20317078202b2032656d3b207d0a2020e29482"
             "202020202020202020202020205e5e5e5e5e5e5e5e5e0a2020e295b50a20202f746d702f6473322f6261642e7363737320313a31"
             "332020726f6f74207374796c657368656574221866696c653a2f2f2f746d702f6473322f6261642e73637373"),
       {CompileFailure{"1px and 2em have incompatible units.",
                       SourcePlace{"file:///tmp/ds2/bad.scss", 1, 13},
                       "Error: 1px and 2em have incompatible units.\n  \xE2\x95\xB7\n1 \xE2\x94\x82 .a { width: 1px + "
                       "2em; }\n  \xE2\x94\x82             ^^^^^^^^^\n  \xE2\x95\xB5\n  /tmp/ds2/bad.scss 1:13  root "
                       "stylesheet",
                       {"file:///tmp/ds2/bad.scss"}}}},
      {"a deprecation; a failure without a span or formatted text",
       bytes("0d011a0a10011a01783a03696d70") + bytes("0b0112081a060a046e6f7065") + bytes("01"),
       {LogEvent{LogEvent::Type::kDeprecation, "x", "", "imp"}, CompileFailure{"nope", std::nullopt, "", {}}}},
      {"the compiler's protocol error; other messages passed over",
       bytes("0a010a07080010011a0162") + bytes("04002a0100"),
       {ProtocolError{"The compiler reported a protocol error: b"}}},
      {"a response without a result",
       bytes("050112020801"),
       {ProtocolError{"The compiler's response holds neither CSS nor an error."}}},
      {"a field running past its message",
       bytes("0401120510"),
       {ProtocolError{"The compiler sent a malformed packet."}}},
      {"a length that never ends",
       bytes("ffffffffffffffffffffff01"),
       {ProtocolError{"The compiler sent a malformed packet length."}}},
      {"another compilation's messages are passed over", bytes("0d021a0a10011a01783a03696d70"), {}},
      {"a success without CSS", bytes("050112021200"), {ProtocolError{"The compiler's success holds no CSS."}}},
      {"a success with empty CSS", bytes("0701120412020a00"),
       {CompileSuccess{"", {}, ""}}},
      {"a line beyond what a file has is unknown",
       bytes("18011215" "1a13" "0a016d" "120e" "1209" "10808080808020" "1805" "220161"),
       {CompileFailure{"m", SourcePlace{"a", std::nullopt, 6}, "", {}}}},
      {"a line beyond 64 bits leaves the place unknown",
       bytes("18011215" "1a13" "0a016d" "120e" "120c" "10ffffffffffffffffffff01"),
       {CompileFailure{"m", std::nullopt, "", {}}}},
  };
  return cases;
}

TEST(EmbeddedProtocol, DecodesWhatTheCompilerSends) {
  for (const auto& c : cases()) EXPECT_EQ(OutboundReader().read(c.stream), c.messages) << c.what;
  OutboundReader reader;
  reader.read(bytes("55011a52"));
  EXPECT_TRUE(reader.midPacket());
}

// The streams above, mutated, truncated or random, cut anywhere: the reader gives the same
// messages however the stream is cut, and every place it gives counts from 1.
TEST(EmbeddedProtocol, HostileStreamsGiveOnlyDefinedOutcomes) {
  std::mt19937 random(17);
  const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  for (int round = 0; round < 3000; ++round) {
    std::string stream = cases()[below(cases().size())].stream;
    switch (below(5)) {
      case 0:
        for (std::size_t n = below(4) + 1; n > 0; --n) stream[below(stream.size())] = static_cast<char>(below(256));
        break;
      case 1:
        stream.resize(below(stream.size()));
        break;
      case 2:
        stream.insert(below(stream.size() + 1), std::string(below(8) + 1, static_cast<char>(below(256))));
        break;
      case 3:
        break;
      default:
        stream.clear();
        for (std::size_t n = below(64); n > 0; --n) stream.push_back(static_cast<char>(below(256)));
    }
    OutboundReader whole;
    const auto messages = whole.read(stream);
    OutboundReader pieces;
    std::vector<OutboundMessage> read;
    for (std::size_t at = 0; at < stream.size();) {
      const auto size = std::min(below(9) + 1, stream.size() - at);
      for (auto& message : pieces.read(std::string_view(stream).substr(at, size))) read.push_back(std::move(message));
      at += size;
    }
    ASSERT_EQ(read, messages) << round;
    for (const auto& message : messages) {
      if (const auto* failure = std::get_if<CompileFailure>(&message); failure && failure->span) {
        EXPECT_GE(std::min(failure->span->line.value_or(1), failure->span->column.value_or(1)), 1);
      }
    }
    decodeDartSassMessages(messages, "");
  }
}

}  // namespace
}  // namespace fennelview::embedded
