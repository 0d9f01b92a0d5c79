// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "compile/source_place.hpp"

namespace fennelview {

// Key of the human-readable message in an error's user info.
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescriptionKey";

// The only error code the system produces: a compile that gave no CSS.
inline constexpr std::intptr_t kParsingFailedCode = 3001;

inline constexpr const char* kUnknownParsingFailure = "Parsing failed due to an unknown error.";

// A user-info value; not every value is a string, so readers must check.
using UserInfoValue = std::variant<std::string, std::int64_t, double, bool>;
using UserInfo = std::map<std::string, UserInfoValue>;

// An error in the application's domain: a domain, a code, a user-info map and, when the
// compiler named one that may be opened, the error's place.
class ParsingError {
 public:
  ParsingError(std::string domain, std::intptr_t code, UserInfo userInfo, std::optional<SourcePlace> place = {});

  // initWithMessage:code: — the bundle identifier as domain, the message as description.
  static std::shared_ptr<const ParsingError> withMessage(const std::string& message, std::intptr_t code);
  // parsingFailedError: — code 3001; without a message, "Parsing failed due to an unknown error.".
  static std::shared_ptr<const ParsingError> parsingFailed(
      const std::optional<std::string>& message = std::nullopt);
  // The same with the error's place.
  static std::shared_ptr<const ParsingError> parsingFailed(const std::string& message,
                                                           std::optional<SourcePlace> place);

  const std::string& domain() const { return domain_; }
  std::intptr_t code() const { return code_; }
  const UserInfo& userInfo() const { return userInfo_; }
  // The file (an absolute path), line and column an error link opens.
  const std::optional<SourcePlace>& place() const { return place_; }

  // The string under NSLocalizedDescriptionKey, when there is one and it is a string.
  std::optional<std::string> localizedDescription() const;

 private:
  std::string domain_;
  std::intptr_t code_;
  UserInfo userInfo_;
  std::optional<SourcePlace> place_;
};

using ParsingErrorPtr = std::shared_ptr<const ParsingError>;

}  // namespace fennelview
