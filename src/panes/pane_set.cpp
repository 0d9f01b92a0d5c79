// SPDX-License-Identifier: GPL-3.0-or-later
#include "panes/pane_set.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace fennelview {

using nlohmann::json;

std::vector<Pane> defaultPanes() { return {Pane{375, {}}, Pane{768, {}}, Pane{1280, {}}}; }

std::vector<Pane> lightDarkPanes(int width) {
  return {Pane{width, MediaState{ColorScheme::light}}, Pane{width, MediaState{ColorScheme::dark}}};
}

json toJson(const MediaState& media) {
  json stored = json::object();
  if (media.colorScheme) stored["colorScheme"] = *media.colorScheme == ColorScheme::dark ? "dark" : "light";
  if (media.print) stored["media"] = "print";
  if (media.reducedMotion) stored["reducedMotion"] = true;
  return stored;
}

json toJson(const std::vector<Pane>& panes) {
  json stored = json::array();
  for (const auto& pane : panes) {
    auto entry = toJson(pane.media);
    entry["width"] = pane.width;
    stored.push_back(std::move(entry));
  }
  return stored;
}

std::optional<MediaState> mediaStateFrom(const json& value) {
  if (!value.is_object()) return std::nullopt;
  MediaState media;
  if (const auto scheme = value.find("colorScheme"); scheme != value.end()) {
    if (*scheme == "light") {
      media.colorScheme = ColorScheme::light;
    } else if (*scheme == "dark") {
      media.colorScheme = ColorScheme::dark;
    } else {
      return std::nullopt;
    }
  }
  if (const auto type = value.find("media"); type != value.end()) {
    if (*type != "print") return std::nullopt;
    media.print = true;
  }
  if (const auto motion = value.find("reducedMotion"); motion != value.end()) {
    if (!motion->is_boolean()) return std::nullopt;
    media.reducedMotion = motion->get<bool>();
  }
  return media;
}

std::vector<Pane> panesFrom(const json& value) {
  std::vector<Pane> panes;
  if (!value.is_array()) return panes;
  for (const auto& entry : value) {
    if (panes.size() == kMostPanes) break;
    const auto media = mediaStateFrom(entry);
    const auto width = media ? entry.find("width") : entry.end();
    if (!media || width == entry.end() || !width->is_number_integer()) continue;
    const auto pixels = width->get<std::int64_t>();
    if (pixels < kSmallestPaneWidth || pixels > kLargestPaneWidth) continue;
    panes.push_back(Pane{static_cast<int>(pixels), *media});
  }
  return panes;
}

double fitScale(std::span<const int> widths, int available, int gap) {
  if (widths.empty()) return 1.0;
  const long total = std::accumulate(widths.begin(), widths.end(), 0L);
  const long room = static_cast<long>(available) - static_cast<long>(gap) * static_cast<long>(widths.size() - 1);
  if (total <= 0 || room >= total) return 1.0;
  return std::max(kSmallestPaneScale, static_cast<double>(room) / static_cast<double>(total));
}

bool movePane(std::vector<Pane>& panes, std::size_t from, int step) {
  const auto to = static_cast<long>(from) + step;
  if (from >= panes.size() || to < 0 || to >= static_cast<long>(panes.size())) return false;
  std::swap(panes[from], panes[static_cast<std::size_t>(to)]);
  return true;
}

}  // namespace fennelview
