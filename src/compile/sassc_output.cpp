// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/sassc_output.hpp"

#include <glib/gi18n.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "common/formatted.hpp"
#include "compile/source_map.hpp"

namespace fennelview {

namespace {

std::string absolute(const std::filesystem::path& folder, std::string_view path) {
  return (folder / path).lexically_normal().string();
}

// The map's "sources" as written, read without decoding the rest: sassc writes them before
// the long "mappings", and every compile needs them while the mappings wait for a lookup.
std::vector<std::string> mapSources(std::string_view map) {
  const auto key = map.find("\"sources\"");
  const auto open = key == std::string_view::npos ? key : map.find('[', key);
  if (open == std::string_view::npos) return {};
  bool quoted = false;
  for (auto i = open; i < map.size(); ++i) {
    if (quoted && map[i] == '\\') {
      ++i;
    } else if (map[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && map[i] == ']') {
      std::vector<std::string> sources;
      const auto list = nlohmann::json::parse(map.substr(open, i - open + 1), nullptr, false);
      for (const auto& source : list.is_array() ? list : nlohmann::json::array()) {
        if (source.is_string()) sources.push_back(source.get<std::string>());
      }
      return sources;
    }
  }
  return {};
}

std::string_view trimmedStart(std::string_view line) {
  const auto first = line.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view() : line.substr(first);
}

// "on line L:C of FILE" or "from line L:C of FILE", FILE possibly followed by the mixin or
// function the line lies in.
struct ChainLine {
  bool on = false;
  SourcePlace place;
};

std::optional<ChainLine> chainLine(std::string_view line) {
  line = trimmedStart(line);
  ChainLine chain;
  for (const std::string_view start : {"on line ", "from line "}) {
    if (line.starts_with(start)) {
      chain.on = start == "on line ";
      line.remove_prefix(start.size());
      const auto colon = line.find(':');
      const auto of = line.find(" of ");
      if (colon == std::string_view::npos || of == std::string_view::npos || of < colon) return std::nullopt;
      chain.place.line = placeNumber(line.substr(0, colon));
      chain.place.column = placeNumber(line.substr(colon + 1, of - colon - 1));
      auto file = line.substr(of + 4);
      if (const auto in = file.rfind(", in "); in != std::string_view::npos && file.ends_with('`')) {
        file = file.substr(0, in);
      }
      if (!chain.place.line || !chain.place.column || file.empty()) return std::nullopt;
      chain.place.file = std::string(file);
      return chain;
    }
  }
  return std::nullopt;
}

// What sassc writes after the chain: the offending line after ">>", and a caret under it.
bool quotesSource(std::string_view line) {
  const auto text = trimmedStart(line);
  return text.empty() || text.starts_with(">>") || text.find_first_not_of("-^\r") == std::string_view::npos;
}

// The chain sassc appends to an error, its first place first; empty when the message does
// not end in one.
std::vector<SourcePlace> errorChain(const std::vector<std::string_view>& lines) {
  auto i = lines.size();
  while (i > 0 && quotesSource(lines[i - 1])) --i;
  std::vector<SourcePlace> chain;
  for (; i > 0; --i) {
    auto line = chainLine(lines[i - 1]);
    if (!line) return {};
    chain.insert(chain.begin(), std::move(line->place));
    if (line->on) return chain;
  }
  return {};
}

// For an import that was not found, each name it could be found under.
std::vector<std::string> missingImportCandidates(const std::vector<std::string_view>& lines,
                                                 const std::filesystem::path& importerFolder,
                                                 const std::filesystem::path& workingDirectory,
                                                 const std::vector<std::string>& loadPaths) {
  static constexpr std::string_view kMissing = "Error: File to import not found or unreadable: ";
  std::vector<std::string> files;
  for (const auto line : lines) {
    if (!line.starts_with(kMissing) || !line.ends_with('.')) continue;
    const std::filesystem::path name(line.substr(kMissing.size(), line.size() - kMissing.size() - 1));
    std::vector<std::filesystem::path> folders{importerFolder};
    for (const auto& folder : loadPaths) folders.push_back(workingDirectory / folder);
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
    break;
  }
  return files;
}

}  // namespace

CompilerOutput decodeSasscOutput(SasscRun run, const std::filesystem::path& workingDirectory,
                                 const std::vector<std::string>& loadPaths) {
  if (run.css) {
    CSSOutput css(compilerText(std::move(*run.css)), 0.0, compilerText(std::move(run.standardError)));
    css.warningsLeftOut = run.warningsLeftOut;
    std::vector<std::string> filesRead;
    if (run.sourceMap) {
      for (const auto& source : mapSources(*run.sourceMap)) filesRead.push_back(absolute(run.outputDirectory, source));
      if (run.keepsMap) css.sourceMap = std::make_shared<const SourceMap>(std::move(*run.sourceMap), run.outputDirectory);
    }
    // LibSass passes the module system's rules through and calls that a success.
    if (const auto rule = moduleRuleIn(css.output.str())) {
      return {ParsingResult::failure(ParsingError::parsingFailed(
                  /* Translators: %1$s is a Sass rule, such as "@use 'colors'"; @use and @forward are Sass's own words. */
                  formatted(_("LibSass does not support the module system: it copied \u201C%1$s\u201D into the CSS "
                              "instead of loading the module. Dart Sass supports @use and @forward: choose it in "
                              "Preferences."),
                            rule->c_str()))),
              std::move(filesRead)};
    }
    return {ParsingResult::success(std::move(css)), std::move(filesRead)};
  }
  // sassc quotes the offending source line, so a file in another encoding gives a message
  // that is not UTF-8 either; showing it beats hiding it behind a generic text.
  const auto message = compilerText(std::move(run.standardErrorEnd).value_or(std::move(run.standardError)));
  const auto lines = linesOf(message);
  const auto chain = errorChain(lines);
  std::vector<std::string> filesRead;
  for (const auto& place : chain) filesRead.push_back(absolute(workingDirectory, place.file));
  std::optional<SourcePlace> place;
  if (!chain.empty()) {
    place = chain.front();
    place->file = filesRead.front();
    if (!mayLink(*place, filesRead)) place.reset();
  }
  if (!filesRead.empty()) {
    const auto importerFolder = std::filesystem::path(filesRead.front()).parent_path();
    for (auto& file : missingImportCandidates(lines, importerFolder, workingDirectory, loadPaths)) {
      filesRead.push_back(std::move(file));
    }
  }
  return {ParsingResult::failure(ParsingError::parsingFailed(message, std::move(place))), std::move(filesRead)};
}

std::optional<std::string> moduleRuleIn(std::string_view css) {
  // One pass over the characters, the state in two variables: a result of megabytes is looked
  // at on every compile. Comments may span lines; strings may not, and a "/*" inside one opens nothing.
  bool inComment = false;
  char quote = 0;
  for (std::size_t i = 0; i < css.size(); ++i) {
    if ((i == 0 || css[i - 1] == '\n') && !inComment && css[i] == '@') {
      const auto line = css.substr(i, css.find('\n', i) - i);
      for (const std::string_view rule : {"@use", "@forward"}) {
        if (line.starts_with(rule) && line.size() > rule.size() &&
            (line[rule.size()] == ' ' || line[rule.size()] == '"' || line[rule.size()] == '\'')) {
          return std::string(line);
        }
      }
    }
    const char c = css[i];
    const bool pair = i + 1 < css.size();
    if (c == '\n') {
      quote = 0;
    } else if (inComment) {
      if (c == '*' && pair && css[i + 1] == '/') inComment = false, ++i;
    } else if (quote) {
      if (c == '\\' && pair && css[i + 1] != '\n') {
        ++i;
      } else if (c == quote) {
        quote = 0;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '/' && pair && css[i + 1] == '*') {
      inComment = true, ++i;
    }
  }
  return std::nullopt;
}

std::vector<int> linesPastLineComments(std::string_view css, std::string_view commented) {
  const auto isLineComment = [](std::string_view line) {
    const auto start = line.find_first_not_of(' ');
    return start != std::string_view::npos && line.substr(start).starts_with("/* line ") && line.ends_with(" */");
  };
  std::vector<int> lines;
  std::size_t at = 0, from = 0;
  int line = 0;
  while (at <= css.size()) {
    const auto end = std::min(css.find('\n', at), css.size());
    const auto wanted = css.substr(at, end - at);
    // The next line of `commented` that is no line comment must be this one.
    for (;; ++line) {
      if (from > commented.size()) return {};
      const auto next = std::min(commented.find('\n', from), commented.size());
      const auto have = commented.substr(from, next - from);
      from = next + 1;
      if (have == wanted) break;
      if (!isLineComment(have)) return {};
    }
    lines.push_back(line++);
    at = end + 1;
  }
  return from > commented.size() ? lines : std::vector<int>{};
}

}  // namespace fennelview
