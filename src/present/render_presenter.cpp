// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/render_presenter.hpp"

#include <glib/gi18n.h>

#include <fstream>
#include <string_view>
#include <sstream>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "common/resources.hpp"

namespace fennelview {
namespace {

const std::string kCssPlaceholder = "$CSS";
const std::string kErrorPlaceholder = "$ERROR";

// Page text whose characters remember whether they were inserted content, so that the
// content is escaped only once every replacement is done: a removal after the escaping
// could otherwise join "<" and "/" again.
struct MarkedText {
  std::string text;
  std::vector<unsigned char> inserted;  // a byte each, not a bit: ranges copy at memory speed
};

void replaceAll(MarkedText& page, const std::string& placeholder, const std::string& replacement, bool isContent) {
  MarkedText out;
  out.text.reserve(page.text.size() + replacement.size());
  out.inserted.reserve(out.text.capacity());
  std::size_t from = 0;
  auto keep = [&](std::size_t begin, std::size_t end) {
    out.text.append(page.text, begin, end - begin);
    out.inserted.insert(out.inserted.end(), page.inserted.begin() + static_cast<std::ptrdiff_t>(begin),
                        page.inserted.begin() + static_cast<std::ptrdiff_t>(end));
  };
  for (std::size_t at; (at = page.text.find(placeholder, from)) != std::string::npos; from = at + placeholder.size()) {
    keep(from, at);
    out.text.append(replacement);
    out.inserted.insert(out.inserted.end(), replacement.size(), isContent);
  }
  keep(from, page.text.size());
  page = std::move(out);
}

std::string replaceAll(std::string text, const std::string& placeholder, const std::string& replacement) {
  MarkedText marked{std::move(text), {}};
  marked.inserted.assign(marked.text.size(), false);
  replaceAll(marked, placeholder, replacement, false);
  return std::move(marked.text);
}

std::string escapeHtmlChar(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&#39;";
    default: return std::string(1, c);
  }
}

// Inserted CSS cannot end its <style>: "</" becomes "<\/", which CSS reads the same.
// An inserted message is HTML-escaped character by character.
std::string escapeInserted(const MarkedText& page, bool insertedIsCss) {
  std::string out;
  out.reserve(page.text.size());
  if (insertedIsCss) {
    // From one "<" to the next: a sheet of megabytes is copied in runs.
    const auto& text = page.text;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find('<', from)) != std::string::npos; from = at + 1) {
      out.append(text, from, at + 1 - from);
      const bool touchesContent = page.inserted[at] || (at + 1 < text.size() && page.inserted[at + 1]);
      if (touchesContent && at + 1 < text.size() && text[at + 1] == '/') out += '\\';
    }
    out.append(text, from);
    return out;
  }
  for (std::size_t i = 0; i < page.text.size(); ++i) {
    const char c = page.text[i];
    if (page.inserted[i]) {
      out += escapeHtmlChar(c);
    } else {
      out += c;
    }
  }
  return out;
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

std::string escapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) out += escapeHtmlChar(c);
  return out;
}

// Shown instead of the template when it cannot be read, so the preview never goes blank.
std::string fallbackTemplate(const std::filesystem::path& path) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style id=\"fennelview-css\">$CSS</style></head><body>"
         "<p id=\"fennelview-template-missing\" style=\"font:14px sans-serif;color:#8a1c1c\">"
         /* Translators: %1$s is the path of an HTML file. */
         + escapeHtml(formatted(_("The preview template %1$s could not be read (missing, or not UTF-8 text). Showing "
                                  "the style sheet on a plain page."),
                                path.c_str())) +
         "</p>"
         "<pre id=\"fennelview-error\">$ERROR</pre>"
         "<h1>Heading</h1><p>A paragraph with <a href=\"#\">a link</a>.</p></body></html>";
}

// `placeholder` occurs once in `page`, as all the text of an element whose start tag holds `id`.
bool standsAlone(std::string_view page, std::string_view placeholder, std::string_view id) {
  const auto at = page.find(placeholder);
  if (at == std::string_view::npos || page.find(placeholder, at + 1) != std::string_view::npos) return false;
  if (at == 0 || page[at - 1] != '>' || !page.substr(at + placeholder.size()).starts_with("</")) return false;
  const auto tag = page.rfind('<', at - 1);
  if (tag == std::string_view::npos) return false;
  const auto startTag = page.substr(tag, at - tag);
  const std::string quoted = "\"" + std::string(id) + "\"", single = "'" + std::string(id) + "'";
  for (const auto& value : {quoted, single}) {
    const auto found = startTag.find(value);
    if (found != std::string_view::npos && startTag.substr(0, found).ends_with(" id=")) return true;
  }
  return false;
}

std::filesystem::path defaultTemplatePath() {
  if (auto path = resourcePath("Template/index.html")) return *path;
  return resourceDirectory() / "Template" / "index.html";
}

std::string directoryURI(const std::filesystem::path& path) {
  GCharPtr uri(g_filename_to_uri(std::filesystem::absolute(path).c_str(), nullptr, nullptr));
  if (!uri) return {};
  std::string text = uri.get();
  return text.ends_with('/') ? text : text + "/";
}

}  // namespace

RenderPresenter::RenderPresenter(const ParsingResult& result, const std::string& documentPath)
    : RenderPresenter(result, documentPath, defaultTemplatePath(), sharedDurationFormatter()) {}

RenderPresenter::RenderPresenter(const ParsingResult& result, const std::string& documentPath,
                                 const std::filesystem::path& templatePath, DurationFormatter& formatter)
    : compilerName_(result.compilerName()), failure_(result.isFailure()), compileSeconds_(result.compileSeconds()) {
  // The user's relative url()s mean the files next to the document; the template's own
  // assets are inlined, so they need no base of their own.
  baseURL_ = documentPath.empty() ? std::string() : directoryURI(std::filesystem::path(documentPath).parent_path());
  if (baseURL_.empty()) {
    GCharPtr uri(g_filename_to_uri(std::filesystem::absolute(templatePath).c_str(), nullptr, nullptr));
    baseURL_ = uri ? uri.get() : "";
  }
  // Read afresh each time, so edits to the template show on the next compile.
  templateText_ = readUtf8(templatePath).value_or(fallbackTemplate(templatePath));
  updatesInPlace_ = standsAlone(templateText_, kCssPlaceholder, "fennelview-css") &&
                    standsAlone(templateText_, kErrorPlaceholder, "fennelview-error");
  if (!failure_) {
    css_ = result.output().output.shared();
    sourceMap_ = result.output().sourceMap;
    if (css_->find(kErrorPlaceholder) != std::string::npos) styleText_ = std::make_shared<const std::string>(replaceAll(*css_, kErrorPlaceholder, ""));
    durationString_ = formatter.stringFromDuration(result.output().parsingTime);
    warnings_ = groupWarnings(result.output().warnings, result.output().warningsLeftOut);
  } else {
    message_ = result.error()->localizedDescription().value_or("\xF0\x9F\x98\xB1");
    errorText_ = replaceAll(message_, kCssPlaceholder, "");
    errorLocation_ = result.error()->place();
    durationString_ = "0s";
  }
}

const std::string& RenderPresenter::fullPageString() const {
  if (fullPageString_) return *fullPageString_;
  if (!failure_) return fullPageString_.emplace(fullPageStringWith(*css_));
  MarkedText page{templateText_, std::vector<unsigned char>(templateText_.size(), false)};
  replaceAll(page, kErrorPlaceholder, message_, true);
  replaceAll(page, kCssPlaceholder, "", false);
  return fullPageString_.emplace(escapeInserted(page, false));
}

std::string RenderPresenter::fullPageStringWith(const std::string& css) const {
  if (failure_) return fullPageString();
  MarkedText page{templateText_, std::vector<unsigned char>(templateText_.size(), false)};
  replaceAll(page, kCssPlaceholder, css, true);
  replaceAll(page, kErrorPlaceholder, "", false);
  return escapeInserted(page, true);
}

}  // namespace fennelview
