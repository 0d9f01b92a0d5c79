// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/dart_sass_output.hpp"

#include <glib/gi18n.h>

#include <filesystem>
#include <memory>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "compile/source_map.hpp"

namespace fennelview {

namespace {

// A file: URL's path; empty for any other URL.
std::string pathOfURL(const std::string& url) {
  GCharPtr path(g_filename_from_uri(url.c_str(), nullptr, nullptr));
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
  for (const auto line : linesOf(text)) {
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    if (!paragraph.empty()) paragraph += '\n';
    paragraph += line;
  }
  return paragraph;
}

}  // namespace

CompilerOutput decodeDartSassMessages(std::vector<embedded::OutboundMessage> messages,
                                      std::string_view standardError, std::size_t warningsLeftOut) {
  std::string warnings;
  for (const auto& message : messages) {
    if (const auto* event = std::get_if<embedded::LogEvent>(&message)) {
      if (!warnings.empty()) warnings += "\n\n";
      warnings += asParagraph(compilerText(event->formatted.empty() ? event->message : event->formatted));
    }
  }
  for (auto& message : messages) {
    // The CSS is moved, not copied: a large result crosses the app once.
    if (auto* success = std::get_if<embedded::CompileSuccess>(&message)) {
      CSSOutput css(compilerText(std::move(success->css)), 0.0, std::move(warnings));
      css.warningsLeftOut = warningsLeftOut;
      if (!success->sourceMap.empty()) css.sourceMap = std::make_shared<const SourceMap>(success->sourceMap);
      return {ParsingResult::success(std::move(css)), pathsOfURLs(success->loadedUrls)};
    }
    if (const auto* failure = std::get_if<embedded::CompileFailure>(&message)) {
      auto loaded = pathsOfURLs(failure->loadedUrls);
      std::optional<SourcePlace> place;
      if (failure->span) {
        place = SourcePlace{pathOfURL(failure->span->file), failure->span->line, failure->span->column};
        if (!mayLink(*place, loaded)) place.reset();
      }
      const auto& text = failure->formatted.empty() ? failure->message : failure->formatted;
      return {ParsingResult::failure(ParsingError::parsingFailed(compilerText(text), std::move(place))),
              std::move(loaded)};
    }
    if (const auto* error = std::get_if<embedded::ProtocolError>(&message)) {
      return {ParsingResult::failure(ParsingError::parsingFailed(compilerText(error->message))), {}};
    }
  }
  const auto text = compilerText(std::string(standardError));
  auto ended = text.empty() ? std::string(_("Dart Sass ended without giving a result."))
                            /* Translators: %1$s is what the compiler wrote before it ended, on lines of their own. */
                            : formatted(_("Dart Sass ended without giving a result:\n%1$s"), text.c_str());
  return {ParsingResult::failure(ParsingError::parsingFailed(std::move(ended))), {}};
}

}  // namespace fennelview
