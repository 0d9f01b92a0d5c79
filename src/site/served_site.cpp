// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/served_site.hpp"

#include "compile/source_map.hpp"

#include "site/content_types.hpp"
#include "site/html_links.hpp"
#include "site/served_source_map.hpp"
#include "site/site_pages.hpp"
#include "site/site_paths.hpp"

namespace fennelview {

namespace fs = std::filesystem;

ServedSite::ServedSite(fs::path projectRoot, fs::path webRoot, fs::path document)
    : projectRoot_(std::move(projectRoot)),
      webRoot_(std::move(webRoot)),
      document_(std::move(document)),
      stem_(sassStem(document_)) {}

std::optional<std::string> ServedSite::urlPathOf(const fs::path& file) const {
  const fs::path relative = file.lexically_normal().lexically_relative(webRoot_.lexically_normal());
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  return encodedUrlPath("/" + (relative == "." ? std::string() : relative.generic_string()));
}

std::string ServedSite::sourceUrlOf(const fs::path& source) const {
  if (auto inWeb = urlPathOf(source)) return *std::move(inWeb);
  const fs::path inProject = source.lexically_normal().lexically_relative(projectRoot_.lexically_normal());
  if (!inProject.empty() && *inProject.begin() != "..") return encodedUrlPath("/" + inProject.generic_string());
  // Elsewhere (a load path): by its name only, in a folder the site never serves.
  return encodedUrlPath("/.outside/" + source.filename().string());
}

unsigned ServedSite::setCompiledCss(std::string css, std::shared_ptr<const SourceMap> map) {
  return setCompiledCss(std::make_shared<const std::string>(std::move(css)), std::move(map));
}

unsigned ServedSite::setCompiledCss(std::shared_ptr<const std::string> css, std::shared_ptr<const SourceMap> map) {
  css_ = std::move(css);
  map_ = std::move(map);
  servedMap_.reset();
  return ++version_;
}

SiteAnswer ServedSite::answer(std::string_view urlPath) const {
  const auto path = normalizedUrlPath(urlPath);
  if (path && cssPaths_.contains(*path)) {
    if (!map_) return SiteText{*css_, "text/css"};
    // Relative, so it follows whichever of the CSS's paths was asked for.
    const std::string encoded = encodedUrlPath(*path);
    const std::string mapUrl = encoded.substr(encoded.rfind('/') + 1) + ".map?v=" + std::to_string(version_);
    return SiteText{*css_ + (css_->empty() || css_->ends_with('\n') ? "" : "\n") + "/*# sourceMappingURL=" + mapUrl + " */\n",
                    "text/css"};
  }
  if (path && path->ends_with(".map") && cssPaths_.contains(path->substr(0, path->size() - 4))) {
    // A map on disk beside a stale CSS file would mislead: the map of the CSS in memory, or none.
    if (!map_) return SiteRefusal{};
    if (!servedMap_) {
      servedMap_ = servedSourceMap(*map_, fs::path(*path).stem().string(), [this](const fs::path& source) {
        return sourceUrlOf(source);
      });
    }
    if (!*servedMap_) return SiteRefusal{};
    return SiteText{**servedMap_, "application/json"};
  }
  auto file = confinedFile(projectRoot_, webRoot_, urlPath);
  if (!file) return SiteRefusal{};
  const std::string type = contentTypeFor(file->path);
  return SiteFile{std::move(file->path), type, type == "text/html", std::move(file->fd)};
}

std::string ServedSite::servedPage(std::string_view html, std::string_view pageUrlPath) {
  const std::string_view pageFolder = pageUrlPath.substr(0, pageUrlPath.rfind('/') + 1);
  std::string served;
  std::size_t copied = 0;
  for (const auto& link : htmlLinks(html)) {
    if (stem_.empty() || !link.isStylesheet() || stylesheetStem(link.href) != stem_) continue;
    const std::string_view href = std::string_view(link.href).substr(0, link.href.find_first_of("?#"));
    const std::string target = href.starts_with('/') ? std::string(href) : std::string(pageFolder) + std::string(href);
    const auto path = normalizedUrlPath(target);
    if (!path) continue;
    cssPaths_.insert(*path);
    if (firstCssPath_.empty()) firstCssPath_ = *path;
    const std::string url = encodedUrlPath(*path) + "?v=" + std::to_string(version_);
    served.append(html.substr(copied, link.hrefBegin - copied));
    served.append(link.hrefQuoted ? url : "\"" + url + "\"");
    copied = link.hrefEnd;
  }
  served.append(html.substr(copied));
  // A page that links no sheet of the document gets it after its own sheets, at a path of
  // the app's own, answered from memory before any file of the site.
  if (copied == 0 && !stem_.empty()) {
    const std::string path = "/fennelview-compiled/" + stem_ + ".css";
    cssPaths_.insert(path);
    pagesWithAddedCss_.insert(std::string(pageUrlPath));
    served.append("\n<link rel=\"stylesheet\" href=\"" + encodedUrlPath(path) + "?v=" + std::to_string(version_) + "\">\n");
  }
  return served;
}

bool ServedSite::cssAddedTo(std::string_view pageUrlPath) const {
  return pagesWithAddedCss_.contains(std::string(pageUrlPath));
}

std::optional<fs::path> ServedSite::linkedCssFile() const {
  if (firstCssPath_.empty()) return std::nullopt;
  const auto file = (webRoot_ / fs::path(firstCssPath_).relative_path()).lexically_normal();
  const auto inside = file.lexically_relative(webRoot_);
  if (inside.empty() || *inside.begin() == "..") return std::nullopt;
  return file;
}

void ServedSite::noteServed(const fs::path& file) {
  if (servedFiles_.insert(file).second && servedListener_) servedListener_(file);
}

}  // namespace fennelview
