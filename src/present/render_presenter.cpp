#include "present/render_presenter.hpp"

#include <glib.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "common/glib_ptr.hpp"
#include "common/resources.hpp"

namespace fennelview {
namespace {

const std::string kCssPlaceholder = "$CSS";
const std::string kErrorPlaceholder = "$ERROR";

void replaceAll(std::string& text, const std::string& placeholder, const std::string& replacement) {
  std::string out;
  out.reserve(text.size() + replacement.size());
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(placeholder, from)) != std::string::npos; from = at + placeholder.size()) {
    out.append(text, from, at - from);
    out.append(replacement);
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

std::optional<std::string> readUtf8(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  auto content = text.str();
  if (!g_utf8_validate(content.data(), static_cast<gssize>(content.size()), nullptr)) return std::nullopt;
  return content;
}

// Shown instead of the template when it cannot be read, so the preview never goes blank.
std::string fallbackTemplate(const std::filesystem::path& path) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>$CSS</style></head><body>"
         "<p id=\"fennelview-template-missing\" style=\"font:14px sans-serif;color:#8a1c1c\">"
         "The preview template " + escapeHtml(path.string()) +
         " could not be read (missing, or not UTF-8 text). Showing the style sheet on a plain page.</p>"
         "<pre id=\"fennelview-error\">$ERROR</pre>"
         "<h1>Heading</h1><p>A paragraph with <a href=\"#\">a link</a>.</p></body></html>";
}

std::filesystem::path defaultTemplatePath() {
  if (auto path = resourcePath("Template/index.html")) return *path;
  return resourceDirectory() / "Template" / "index.html";
}

}  // namespace

std::string escapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string escapeStyleContent(const std::string& css) {
  std::string out = css;
  replaceAll(out, "</", "<\\/");
  return out;
}

RenderPresenter::RenderPresenter(const ParsingResult& result)
    : RenderPresenter(result, defaultTemplatePath(), sharedDurationFormatter()) {}

RenderPresenter::RenderPresenter(const ParsingResult& result, const std::filesystem::path& templatePath,
                                 DurationFormatter& formatter)
    : compilerName_(result.compilerName()) {
  GCharPtr uri(g_filename_to_uri(std::filesystem::absolute(templatePath).c_str(), nullptr, nullptr));
  baseURL_ = uri ? uri.get() : "";
  // Read afresh each time, so edits to the template show on the next compile.
  std::string page = readUtf8(templatePath).value_or(fallbackTemplate(templatePath));
  if (result.isSuccess()) {
    replaceAll(page, kCssPlaceholder, escapeStyleContent(result.output().output));
    replaceAll(page, kErrorPlaceholder, "");
    durationString_ = formatter.stringFromDuration(result.output().parsingTime);
  } else {
    const auto message = result.error()->localizedDescription().value_or("\xF0\x9F\x98\xB1");
    replaceAll(page, kErrorPlaceholder, escapeHtml(message));
    replaceAll(page, kCssPlaceholder, "");
    durationString_ = "0s";
  }
  fullPageString_ = std::move(page);
}

}  // namespace fennelview
