#include "app/system_version.hpp"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>

namespace fennelview {

namespace {

// os-release values follow shell quoting: "…" or '…', with \" \\ \$ \` escapes inside double quotes.
std::string unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
    return std::string(value.substr(1, value.size() - 2));
  }
  const bool doubleQuoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  if (doubleQuoted) value = value.substr(1, value.size() - 2);
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[i + 1];
      if (!doubleQuoted || next == '"' || next == '\\' || next == '$' || next == '`') {
        text += next;
        ++i;
        continue;
      }
    }
    text += value[i];
  }
  return text;
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::optional<std::string> prettyNameOfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream contents;
  contents << in.rdbuf();
  return prettyNameFromOsRelease(contents.str());
}

std::string kernelRelease() {
  struct utsname names {};
  if (uname(&names) != 0) return {};
  return names.release;
}

}  // namespace

std::optional<std::string> prettyNameFromOsRelease(std::string_view contents) {
  std::optional<std::string> found;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    const auto line = trim(contents.substr(0, end));
    contents = end == std::string_view::npos ? std::string_view{} : contents.substr(end + 1);
    constexpr std::string_view key = "PRETTY_NAME=";
    if (line.substr(0, key.size()) != key) continue;
    auto value = unquote(trim(line.substr(key.size())));
    // A later assignment wins, as it would in the shell.
    found = value.empty() ? std::nullopt : std::optional(std::move(value));
  }
  return found;
}

std::string systemVersionText(const std::filesystem::path& osRelease, const std::string& kernel) {
  const auto pretty = prettyNameOfFile(osRelease);
  const std::string kernelText = kernel.empty() ? "Linux" : "Linux " + kernel;
  return pretty ? *pretty + " (" + kernelText + ")" : kernelText;
}

std::string systemVersionText() {
  const std::filesystem::path primary = "/etc/os-release";
  std::error_code ec;
  const auto file = std::filesystem::exists(primary, ec) ? primary : std::filesystem::path("/usr/lib/os-release");
  return systemVersionText(file, kernelRelease());
}

}  // namespace fennelview
