// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace fennelview {

// Key of the human-readable message in an error's user info.
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescriptionKey";

// The only error code the system produces: a compile that gave no CSS.
inline constexpr std::intptr_t kParsingFailedCode = 3001;

// Where the compiler placed the error, when it names a place: the file (an absolute path),
// and the line and column (integers, from 1).
inline constexpr const char* kErrorFileKey = "file";
inline constexpr const char* kErrorLineKey = "line";
inline constexpr const char* kErrorColumnKey = "column";

inline constexpr const char* kUnknownParsingFailure = "Parsing failed due to an unknown error.";

// A user-info value; not every value is a string, so readers must check.
using UserInfoValue = std::variant<std::string, std::int64_t, double, bool>;
using UserInfo = std::map<std::string, UserInfoValue>;

// An error in the application's domain: a domain, a code and a user-info map.
class ParsingError {
 public:
  ParsingError(std::string domain, std::intptr_t code, UserInfo userInfo);

  // initWithMessage:code: — the bundle identifier as domain, the message as description.
  static std::shared_ptr<const ParsingError> withMessage(const std::string& message, std::intptr_t code);
  // parsingFailedError: — code 3001; without a message, "Parsing failed due to an unknown error.".
  static std::shared_ptr<const ParsingError> parsingFailed(
      const std::optional<std::string>& message = std::nullopt);
  // The same with further user-info entries, such as the error's place.
  static std::shared_ptr<const ParsingError> parsingFailed(const std::string& message, UserInfo details);

  const std::string& domain() const { return domain_; }
  std::intptr_t code() const { return code_; }
  const UserInfo& userInfo() const { return userInfo_; }

  // The string under NSLocalizedDescriptionKey, when there is one and it is a string.
  std::optional<std::string> localizedDescription() const;

 private:
  std::string domain_;
  std::intptr_t code_;
  UserInfo userInfo_;
};

using ParsingErrorPtr = std::shared_ptr<const ParsingError>;

}  // namespace fennelview
