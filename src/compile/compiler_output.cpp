// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compiler_output.hpp"

#include <glib.h>
#include <string.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "common/utf8.hpp"

namespace fennelview {

namespace {

// Each byte that does not start a valid sequence becomes U+FFFD, so the rest of the text
// still reads; NUL stays a character.
std::string decodeLossily(std::string bytes) {
  if (isValidUtf8(bytes)) return bytes;
  std::string text;
  const char* rest = bytes.data();
  const char* const end = bytes.data() + bytes.size();
  while (rest < end) {
    const char* invalid = nullptr;
    g_utf8_validate_len(rest, static_cast<gsize>(end - rest), &invalid);
    text.append(rest, invalid);
    if (invalid == end) break;
    text.append(*invalid == '\0' ? std::string_view("\0", 1) : std::string_view("\xEF\xBF\xBD"));
    rest = invalid + 1;
  }
  return text;
}

std::string absolute(const std::filesystem::path& workingDirectory, const std::string& path) {
  return (workingDirectory / path).lexically_normal().string();
}

// The map's "sources" array as JSON text. sassc writes it before the long "mappings", so
// only as much of the map is decoded as it takes to reach its end: a large style sheet's
// map is larger than its CSS.
std::optional<std::string> sourcesArray(std::string_view base64) {
  for (std::size_t length = 4096;; length *= 8) {
    const bool whole = length >= base64.size();
    const std::string head(base64.substr(0, whole ? base64.size() : length));
    gsize size = 0;
    std::unique_ptr<guchar, decltype(&g_free)> bytes(g_base64_decode(head.c_str(), &size), g_free);
    const std::string_view json(reinterpret_cast<const char*>(bytes.get()), size);
    const auto open = json.find('[', std::min(json.find("\"sources\""), json.size()));
    bool quoted = false;
    for (auto i = open; i < json.size(); ++i) {
      if (quoted && json[i] == '\\') {
        ++i;
      } else if (json[i] == '"') {
        quoted = !quoted;
      } else if (!quoted && json[i] == ']') {
        return std::string(json.substr(open, i - open + 1));
      }
    }
    if (whole) return std::nullopt;
  }
}

// Cuts the inline map sassc appends ("\n/*# sourceMappingURL=data:…;base64,… */") from the
// CSS and returns the files it lists; none when there is no map.
std::vector<std::string> takeSourceMap(std::string& css, const std::filesystem::path& workingDirectory) {
  static constexpr std::string_view marker = "\n/*# sourceMappingURL=data:application/json;base64,";
  // The map is the last line; memrchr finds its start quickly in a map of many megabytes.
  const auto* newline = static_cast<const char*>(memrchr(css.data(), '\n', css.size()));
  const auto at = newline ? static_cast<std::size_t>(newline - css.data()) : std::string::npos;
  if (at == std::string::npos || css.compare(at, marker.size(), marker) != 0 || !css.ends_with(" */")) return {};
  const auto sources = sourcesArray(std::string_view(css).substr(at + marker.size(), css.size() - 3 - at - marker.size()));
  css.resize(at);
  std::vector<std::string> files;
  const auto list = nlohmann::json::parse(sources.value_or("[]"), nullptr, false);
  for (const auto& source : list.is_array() ? list : nlohmann::json::array()) {
    if (source.is_string()) files.push_back(absolute(workingDirectory, source.get<std::string>()));
  }
  return files;
}

// "on line L:C of FILE" or "from line L:C of FILE", FILE possibly followed by the mixin or
// function the line lies in.
const std::regex& chainLine() {
  static const std::regex pattern(R"(\s*(on|from) line (\d+):(\d+) of (.+?)(, in [a-z]+ `[^`]*`)?)");
  return pattern;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

// The files a failed compile names: every file of the error's chain, and for an import that
// was not found, each name it could be found under.
std::vector<std::string> filesNamed(const std::string& message, const std::filesystem::path& workingDirectory,
                                    const std::vector<std::string>& loadPaths) {
  static const std::regex missing(R"(.*File to import not found or unreadable: (.+)\.)");
  std::vector<std::string> files;
  std::optional<std::filesystem::path> missingImport;
  std::smatch match;
  for (const auto& line : lines(message)) {
    if (std::regex_match(line, match, chainLine())) files.push_back(absolute(workingDirectory, match[4].str()));
    if (std::regex_match(line, match, missing)) missingImport = match[1].str();
  }
  if (!missingImport || files.empty()) return files;
  std::vector<std::filesystem::path> folders{std::filesystem::path(files.front()).parent_path()};
  for (const auto& folder : loadPaths) folders.push_back(workingDirectory / folder);
  const auto& name = *missingImport;
  const auto extension = name.extension();
  const bool named = extension == ".scss" || extension == ".sass" || extension == ".css";
  for (const auto& folder : folders) {
    for (const std::string suffix : {"", ".scss", ".sass", ".css"}) {
      if (named != suffix.empty()) continue;
      for (const std::string prefix : {"_", ""}) {
        files.push_back(absolute(folder, (name.parent_path() / (prefix + name.filename().string() + suffix)).string()));
      }
    }
  }
  return files;
}

// A file: URL's path; empty for any other URL.
std::string pathOfURL(const std::string& url) {
  std::unique_ptr<char, decltype(&g_free)> path(g_filename_from_uri(url.c_str(), nullptr, nullptr), g_free);
  return path ? std::filesystem::path(path.get()).lexically_normal().string() : std::string();
}

std::vector<std::string> pathsOfURLs(const std::vector<std::string>& urls) {
  std::vector<std::string> paths;
  for (const auto& url : urls) {
    if (auto path = pathOfURL(url); !path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

// One warning as one paragraph, as sassc writes them: Dart Sass puts blank lines inside one.
std::string asParagraph(const std::string& text) {
  std::string paragraph;
  for (const auto& line : lines(text)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!paragraph.empty()) paragraph += '\n';
    paragraph += line;
  }
  return paragraph;
}

}  // namespace

CompilerOutput decodeDartSassMessages(const std::vector<embedded::OutboundMessage>& messages,
                                      std::string_view standardError) {
  std::string warnings;
  for (const auto& message : messages) {
    if (const auto* event = std::get_if<embedded::LogEvent>(&message)) {
      if (!warnings.empty()) warnings += "\n\n";
      warnings += asParagraph(decodeLossily(event->formatted.empty() ? event->message : event->formatted));
    }
  }
  for (const auto& message : messages) {
    if (const auto* success = std::get_if<embedded::CompileSuccess>(&message)) {
      return {ParsingResult::success(CSSOutput(decodeLossily(success->css), 0.0, std::move(warnings))),
              pathsOfURLs(success->loadedUrls)};
    }
    if (const auto* failure = std::get_if<embedded::CompileFailure>(&message)) {
      UserInfo details;
      if (failure->span) {
        if (auto file = pathOfURL(failure->span->url); !file.empty()) {
          details = {{kErrorFileKey, std::move(file)},
                     {kErrorLineKey, failure->span->line},
                     {kErrorColumnKey, failure->span->column}};
        }
      }
      const auto& text = failure->formatted.empty() ? failure->message : failure->formatted;
      return {ParsingResult::failure(ParsingError::parsingFailed(decodeLossily(text), std::move(details))),
              pathsOfURLs(failure->loadedUrls)};
    }
    if (const auto* error = std::get_if<embedded::ProtocolError>(&message)) {
      return {ParsingResult::failure(ParsingError::parsingFailed(decodeLossily(error->message))), {}};
    }
  }
  const auto text = decodeLossily(std::string(standardError));
  const std::string ended = "Dart Sass ended without giving a result";
  return {ParsingResult::failure(ParsingError::parsingFailed(text.empty() ? ended + "." : ended + ":\n" + text)), {}};
}

std::optional<SourceLocation> firstErrorLocation(std::string_view message) {
  std::smatch match;
  for (const auto& line : lines(std::string(message))) {
    if (std::regex_match(line, match, chainLine()) && match[1] == "on") {
      return SourceLocation{match[4].str(), std::stoll(match[2].str()), std::stoll(match[3].str())};
    }
  }
  return std::nullopt;
}

CompilerOutput decodeSasscStreams(std::string standardOutput, std::string_view standardError,
                                  const std::filesystem::path& workingDirectory,
                                  const std::vector<std::string>& loadPaths) {
  CompilerOutput decoded{ParsingResult::success(CSSOutput("")), {}};
  decoded.filesRead = takeSourceMap(standardOutput, workingDirectory);
  // A file name that is not UTF-8 reaches the line-number comments; the CSS still shows.
  if (!standardOutput.empty()) {
    CSSOutput css(decodeLossily(std::move(standardOutput)));
    css.warnings = decodeLossily(std::string(standardError));
    // LibSass passes the module system's rules through and calls that a success.
    if (const auto rule = moduleRuleIn(css.output)) {
      decoded.result = ParsingResult::failure(ParsingError::parsingFailed(
          "LibSass does not support the module system: it copied \xE2\x80\x9C" + *rule +
          "\xE2\x80\x9D into the CSS instead of loading the module. Dart Sass supports @use and @forward: "
          "choose it in Preferences."));
      return decoded;
    }
    decoded.result = ParsingResult::success(std::move(css));
    return decoded;
  }
  // sassc quotes the offending source line, so a file in another encoding gives a message
  // that is not UTF-8 either; showing it beats hiding it behind a generic text.
  const auto message = decodeLossily(std::string(standardError));
  UserInfo details;
  if (const auto location = firstErrorLocation(message)) {
    details = {{kErrorFileKey, absolute(workingDirectory, location->file)},
               {kErrorLineKey, location->line},
               {kErrorColumnKey, location->column}};
  }
  for (auto& file : filesNamed(message, workingDirectory, loadPaths)) decoded.filesRead.push_back(std::move(file));
  decoded.result = ParsingResult::failure(ParsingError::parsingFailed(message, std::move(details)));
  return decoded;
}

std::optional<std::string> moduleRuleIn(std::string_view css) {
  bool inComment = false;
  std::size_t start = 0;
  while (start < css.size()) {
    const auto end = std::min(css.find('\n', start), css.size());
    const auto line = css.substr(start, end - start);
    for (const std::string_view rule : {"@use", "@forward"}) {
      if (!inComment && line.starts_with(rule) && line.size() > rule.size() &&
          (line[rule.size()] == ' ' || line[rule.size()] == '"' || line[rule.size()] == '\'')) {
        return std::string(line);
      }
    }
    // Comments may span lines; strings may not, and a "/*" inside one opens nothing.
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (inComment) {
        if (line.substr(i, 2) == "*/") inComment = false, ++i;
      } else if (quote) {
        if (line[i] == '\\') {
          ++i;
        } else if (line[i] == quote) {
          quote = 0;
        }
      } else if (line[i] == '"' || line[i] == '\'') {
        quote = line[i];
      } else if (line.substr(i, 2) == "/*") {
        inComment = true, ++i;
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace fennelview
