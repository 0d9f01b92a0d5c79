// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "compile/parsing_result.hpp"
#include "present/compiler_warnings.hpp"
#include "present/duration_formatter.hpp"

namespace fennelview {

// What a document window shows for one result: the whole preview page, the base URL it is
// loaded against, the duration text for the header, and the parts that an already loaded
// page takes in place (style text, error text and its location, warnings).
class RenderPresenter {
 public:
  // From the resource folder's Template/index.html, with the shared formatter. Relative
  // URLs of the page resolve against the folder of documentPath when one is given.
  explicit RenderPresenter(const ParsingResult& result, const std::string& documentPath = {});
  RenderPresenter(const ParsingResult& result, const std::string& documentPath,
                  const std::filesystem::path& templatePath, DurationFormatter& formatter);

  // Made when first asked (main thread): a page that takes the result in place never needs it.
  const std::string& fullPageString() const;
  // The full page with `css` in the style sheet's place; the full page itself after a failure.
  std::string fullPageStringWith(const std::string& css) const;
  const std::string& durationString() const { return durationString_; }
  const std::string& baseURL() const { return baseURL_; }
  const std::string& compilerName() const { return compilerName_; }

  bool isFailure() const { return failure_; }
  // How long the compile ran, a failed or stopped one too; none when it was not timed.
  std::optional<double> compileSeconds() const { return compileSeconds_; }
  // The template the page was built from: a page built from another one needs a full load.
  const std::string& templateText() const { return templateText_; }
  // Whether a loaded page of this template takes a result in place: each placeholder stands
  // once, as the whole text of its element (#fennelview-css, #fennelview-error). Anywhere else
  // the page must load again to show every place.
  bool updatesInPlace() const { return updatesInPlace_; }
  // The compiled CSS as the compiler wrote it; empty after a failure. Shared, not copied,
  // with whoever shows it beside the page.
  const std::string& css() const { return *css_; }
  const std::shared_ptr<const std::string>& sharedCSS() const { return css_; }
  // Where the CSS came from, when the compiler gave a map; none after a failure. Decoded only when asked.
  const std::shared_ptr<const SourceMap>& sourceMap() const { return sourceMap_; }
  // The text of the user's <style> and of the error panel, as they stand in the full page.
  const std::string& styleText() const { return *sharedStyleText(); }
  const std::shared_ptr<const std::string>& sharedStyleText() const { return styleText_ ? styleText_ : css_; }
  const std::string& errorText() const { return errorText_; }
  const std::optional<SourcePlace>& errorLocation() const { return errorLocation_; }
  const CompilerWarnings& warnings() const { return warnings_; }

 private:
  mutable std::optional<std::string> fullPageString_;
  std::string message_;  // a failure's message as the compiler gave it
  std::string durationString_;
  std::string baseURL_;
  std::string compilerName_;
  bool failure_ = false;
  std::optional<double> compileSeconds_;
  std::string templateText_;
  bool updatesInPlace_ = false;
  std::shared_ptr<const std::string> css_ = std::make_shared<const std::string>();
  std::shared_ptr<const SourceMap> sourceMap_;
  std::shared_ptr<const std::string> styleText_;  // only when it differs from css_: a large sheet is held once
  std::string errorText_;
  std::optional<SourcePlace> errorLocation_;
  CompilerWarnings warnings_;
};

}  // namespace fennelview
