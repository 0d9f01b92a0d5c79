// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/css_exporter.hpp"

#include <glib.h>
#include <glib/gi18n.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "compile/source_map.hpp"
#include "document/load_paths.hpp"
#include "export/css_export.hpp"

namespace fennelview {

namespace {

// Whether `a` and `b` are one file, however each is reached (links, linked folders, "..").
bool sameFile(const std::filesystem::path& a, const struct stat& b) {
  struct stat info {};
  return ::stat(a.c_str(), &info) == 0 && info.st_dev == b.st_dev && info.st_ino == b.st_ino;
}

// Why the CSS may not go to `target`: the Sass the user edits is never written over, nor a file
// the document reads, which would compile it again after each write, without end.
std::optional<std::string> refusal(const std::filesystem::path& target, const std::string& documentPath,
                                   const std::set<std::string>& filesRead) {
  GCharPtr name(g_filename_display_basename(target.c_str()));
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  const auto extension = target.extension();
  if (extension == ".scss" || extension == ".sass" || (exists && sameFile(documentPath, info))) {
    return formatted(_("The CSS was not saved: \u201C%s\u201D is a Sass file. Choose a .css file."), name.get());
  }
  if (exists && std::ranges::any_of(filesRead, [&](const std::string& read) { return sameFile(read, info); })) {
    return formatted(_("The CSS was not saved: the Sass reads \u201C%s\u201D. Choose another file."), name.get());
  }
  return std::nullopt;
}

std::optional<std::string> writeResult(const ParsingResult& result, const CssExportChoice& choice) {
  std::optional<SourceMapText> map;
  if (choice.sourceMap && result.isSuccess()) {
    const auto& sourceMap = result.output().sourceMap;
    // sassc makes no map for files whose names are not UTF-8 text.
    if (!sourceMap) return std::string(_("The CSS was not saved: the compiler gave no source map for it."));
    map = SourceMapText{sourceMap->text(), sourceMap->baseDirectory()};
  }
  return exportCss(result, choice.target, map);
}

// The preview's own result is the CSS asked for: Dart Sass's expanded style, from the
// compiler in use now, with a map when one is asked. sassc's preview is nested, with line comments.
bool isAsAsked(const ParsingResult& current, const CssExportChoice& choice, const Compiler& compiler) {
  return current.isSuccess() && choice.style == OutputStyle::kExpanded && compiler.id == kDartSassId &&
         !compiler.name.empty() && current.compilerName() == compiler.name &&
         (!choice.sourceMap || current.output().sourceMap);
}

}  // namespace

CssExporter::CssExporter(std::string documentPath, Settings& settings)
    : documentPath_(std::move(documentPath)), settings_(settings) {}

void CssExporter::save(const CssExportChoice& choice, const ParsingResult& current, const Compiler& compiler,
                       const std::set<std::string>& filesRead, Done done) {
  if (auto refused = refusal(choice.target, documentPath_, filesRead)) return done(std::move(refused));
  settings_.setCssExport(documentPath_, choice);
  write(saveParser_, choice, current, compiler, false, std::move(done));
}

CssExportChoice CssExporter::proposal(const std::optional<std::filesystem::path>& linkedCss) const {
  if (auto kept = choice()) return *kept;
  if (!linkedCss) {
    const std::filesystem::path document(documentPath_);
    return {document.parent_path() / document.stem().concat(".css")};
  }
  const auto name = linkedCss->filename().string();
  constexpr std::string_view kMinified = ".min.css";
  const bool minified = name.size() > kMinified.size() &&
                        g_ascii_strcasecmp(name.c_str() + name.size() - kMinified.size(), kMinified.data()) == 0;
  return {*linkedCss, minified ? OutputStyle::kCompressed : OutputStyle::kExpanded};
}

void CssExporter::setOnEverySave(bool onEverySave) {
  auto kept = choice();
  if (!kept || kept->onEverySave == onEverySave) return;
  kept->onEverySave = onEverySave;
  settings_.setCssExport(documentPath_, *kept);
}

void CssExporter::documentCompiled(const ParsingResult& result, const Compiler& compiler,
                                   const std::set<std::string>& filesRead, std::function<void(std::string)> tell) {
  // A document's first value is a placeholder that no compiler gave.
  if (result.isFailure() || result.compilerName().empty()) return;
  const auto kept = choice();
  if (!kept || !kept->onEverySave) return;
  auto once = [this, tell = std::move(tell)](std::optional<std::string> failure) {
    if (!failure) return lastTold_.reset();
    if (failure == lastTold_) return;
    lastTold_ = failure;
    tell(*failure);
  };
  if (auto refused = refusal(kept->target, documentPath_, filesRead)) return once(std::move(refused));
  write(everySaveParser_, *kept, result, compiler, true, std::move(once));
}

void CssExporter::write(SassParser& parser, const CssExportChoice& choice, const ParsingResult& current,
                        const Compiler& compiler, bool quietWhenItDoesNotCompile, Done done) {
  if (isAsAsked(current, choice, compiler)) return done(writeResult(current, choice));
  parser.cancelAll();
  parser.setCompiler(compiler);
  parser.setOutputStyle(choice.style);
  parser.setSourceMap(choice.sourceMap);
  parser.setLoadPaths(loadPathsFor(documentPath_, settings_));
  parser.parseFile(documentPath_, [choice, quietWhenItDoesNotCompile, done = std::move(done)](
                                       ParsingResult result, std::vector<std::string>) {
    // The document's own compile of the same change shows why.
    if (result.isFailure() && quietWhenItDoesNotCompile) return;
    done(writeResult(result, choice));
  });
}

}  // namespace fennelview
