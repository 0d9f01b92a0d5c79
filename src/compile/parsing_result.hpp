// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "common/shared_text.hpp"
#include "compile/parsing_error.hpp"

namespace fennelview {

class SourceMap;

// The CSS of one successful compile, the time the compile took and the compiler's warnings.
struct CSSOutput {
  SharedText output;         // stdout as decoded, untouched; shared, never copied
  double parsingTime = 0.0;  // seconds; 0 until the document stamps it
  std::string warnings;      // what the compiler wrote on standard error (@warn, @debug, deprecations)
  std::size_t warningsLeftOut = 0;  // warnings past the limit of those kept
  // Where the CSS came from, when the compiler gave a map: beside the CSS, never inside it.
  std::shared_ptr<const SourceMap> sourceMap;

  explicit CSSOutput(std::string out, double time = 0.0, std::string warnings = {})
      : output(std::move(out)), parsingTime(time), warnings(std::move(warnings)) {}

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

  // The same result with the compile's time: a success's parsingTime, and for every outcome
  // compileSeconds. The output is moved, not copied.
  ParsingResult stamped(double parsingTime) &&;
  // How long the compile ran, failed or stopped ones included; none until stamped.
  std::optional<double> compileSeconds() const { return compileSeconds_; }

  // The compiler that gave the result, as the header names it ("Dart Sass 1.108.2"); empty
  // for a result no compiler gave.
  const std::string& compilerName() const { return compilerName_; }
  ParsingResult named(std::string compilerName) &&;

 private:
  explicit ParsingResult(CSSOutput output) : value_(std::move(output)) {}
  explicit ParsingResult(ParsingErrorPtr error) : value_(std::move(error)) {}

  std::variant<CSSOutput, ParsingErrorPtr> value_;
  std::string compilerName_;
  std::optional<double> compileSeconds_;
};

}  // namespace fennelview
