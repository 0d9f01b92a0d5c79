// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/served_source_map.hpp"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/bounded_read.hpp"

namespace fennelview {

namespace fs = std::filesystem;

namespace {

bool isStyleSheet(const fs::path& file) {
  const auto extension = file.extension();
  return extension == ".scss" || extension == ".sass" || extension == ".css";
}

// A source's text from disk when it is a style sheet that fits what is left of the budget.
nlohmann::json readSource(const std::string& source, std::size_t& budget) {
  const fs::path file(source);
  if (!file.is_absolute() || !isStyleSheet(file)) return nullptr;
  auto text = readWholeFile(file, budget);
  if (!text) return nullptr;
  budget -= text->size();
  return std::move(*text);
}

}  // namespace

std::optional<std::string> servedSourceMap(const SourceMap& map, std::string_view cssName,
                                           const std::function<std::string(const fs::path&)>& urlOf, std::size_t sourceBytes) {
  auto json = nlohmann::json::parse(map.text(), nullptr, false);
  if (!json.is_object()) return std::nullopt;
  auto sources = nlohmann::json::array();
  auto contents = nlohmann::json::array();
  for (const auto& source : map.sources()) {
    sources.push_back(fs::path(source).is_absolute() ? urlOf(source) : source);
    if (const auto carried = map.contentOf(source)) {
      contents.push_back(std::string(*carried));
    } else {
      contents.push_back(readSource(source, sourceBytes));
    }
  }
  // The sources are whole paths now: a root would be put in front of them again.
  json.erase("sourceRoot");
  json["sources"] = std::move(sources);
  json["sourcesContent"] = std::move(contents);
  json["file"] = cssName;
  // A file in another encoding still gives a map; its odd bytes read as U+FFFD.
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace fennelview
