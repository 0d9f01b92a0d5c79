// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/parsing_result.hpp"

#include "build_config.hpp"

namespace fennelview {

ParsingError::ParsingError(std::string domain, std::intptr_t code, UserInfo userInfo, std::optional<SourcePlace> place)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)), place_(std::move(place)) {}

ParsingErrorPtr ParsingError::withMessage(const std::string& message, std::intptr_t code) {
  return std::make_shared<const ParsingError>(build::bundleIdentifier, code,
                                              UserInfo{{NSLocalizedDescriptionKey, message}});
}

ParsingErrorPtr ParsingError::parsingFailed(const std::optional<std::string>& message) {
  return withMessage(message.value_or(kUnknownParsingFailure), kParsingFailedCode);
}

ParsingErrorPtr ParsingError::parsingFailed(const std::string& message, std::optional<SourcePlace> place) {
  return std::make_shared<const ParsingError>(build::bundleIdentifier, kParsingFailedCode,
                                              UserInfo{{NSLocalizedDescriptionKey, message}}, std::move(place));
}

std::optional<std::string> ParsingError::localizedDescription() const {
  const auto it = userInfo_.find(NSLocalizedDescriptionKey);
  if (it == userInfo_.end()) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&it->second)) return *text;
  return std::nullopt;
}

ParsingResult ParsingResult::make(std::optional<CSSOutput> output,
                                  const std::function<ParsingErrorPtr()>& errorSupplier) {
  if (output) return success(std::move(*output));
  return failure(errorSupplier());
}

ParsingResult ParsingResult::stamped(double parsingTime) && {
  if (isSuccess()) std::get<CSSOutput>(value_).parsingTime = parsingTime;
  compileSeconds_ = parsingTime;
  return std::move(*this);
}

ParsingResult ParsingResult::named(std::string compilerName) && {
  compilerName_ = std::move(compilerName);
  return std::move(*this);
}

}  // namespace fennelview
