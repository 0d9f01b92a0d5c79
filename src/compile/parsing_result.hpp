#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "compile/parsing_error.hpp"

namespace fennelview {

// The CSS of one successful compile and the time the compile took.
struct CSSOutput {
  std::string output;        // stdout as decoded, untouched
  double parsingTime = 0.0;  // seconds; 0 until the document stamps it
  std::string warnings;      // what the compiler wrote on standard error while still succeeding

  explicit CSSOutput(std::string out, double time = 0.0) : output(std::move(out)), parsingTime(time) {}
  // A copy with the same output and a new time.
  CSSOutput stamped(double time) const {
    CSSOutput copy(output, time);
    copy.warnings = warnings;
    return copy;
  }

  bool operator==(const CSSOutput&) const = default;
};

// The value of one compile: CSS, or the error that says why there is none.
class ParsingResult {
 public:
  static ParsingResult success(CSSOutput output) { return ParsingResult(std::move(output)); }
  static ParsingResult failure(ParsingErrorPtr error) { return ParsingResult(std::move(error)); }

  // A success when output is present; otherwise the supplier is called once for the error.
  static ParsingResult make(std::optional<CSSOutput> output, const std::function<ParsingErrorPtr()>& errorSupplier);

  bool isSuccess() const { return std::holds_alternative<CSSOutput>(value_); }
  bool isFailure() const { return !isSuccess(); }
  // Payloads: only valid for the matching case.
  const CSSOutput& output() const { return std::get<CSSOutput>(value_); }
  const ParsingErrorPtr& error() const { return std::get<ParsingErrorPtr>(value_); }

  // Applies fn to a success's output; a failure passes through with the very same error.
  ParsingResult map(const std::function<CSSOutput(const CSSOutput&)>& fn) const;
  // The same result with a success's time replaced; the output is moved, not copied.
  ParsingResult stamped(double parsingTime) &&;

 private:
  explicit ParsingResult(CSSOutput output) : value_(std::move(output)) {}
  explicit ParsingResult(ParsingErrorPtr error) : value_(std::move(error)) {}

  std::variant<CSSOutput, ParsingErrorPtr> value_;
};

}  // namespace fennelview
