#pragma once

#include <filesystem>
#include <string>

#include "compile/parsing_result.hpp"
#include "present/duration_formatter.hpp"

namespace fennelview {

// What a document window shows for one result: the whole preview page, the base URL it is
// loaded against, and the duration text for the header.
class RenderPresenter {
 public:
  // From the resource folder's Template/index.html, with the shared formatter.
  explicit RenderPresenter(const ParsingResult& result);
  RenderPresenter(const ParsingResult& result, const std::filesystem::path& templatePath,
                  DurationFormatter& formatter);

  const std::string& fullPageString() const { return fullPageString_; }
  const std::string& durationString() const { return durationString_; }
  const std::string& baseURL() const { return baseURL_; }
  const std::string& compilerName() const { return compilerName_; }

 private:
  std::string fullPageString_;
  std::string durationString_;
  std::string baseURL_;
  std::string compilerName_;
};

// Text made safe to stand in HTML content or an attribute.
std::string escapeHtml(const std::string& text);
// CSS made safe inside a <style> element: every "</" becomes "<\/", which CSS reads the same.
std::string escapeStyleContent(const std::string& css);

}  // namespace fennelview
