// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fennelview {

enum class ColorScheme { light, dark };

// The media a preview emulates over what the desktop gives: none of it by default.
struct MediaState {
  std::optional<ColorScheme> colorScheme;
  bool print = false;
  bool reducedMotion = false;
  bool emulates() const { return colorScheme || print || reducedMotion; }
  bool operator==(const MediaState&) const = default;
};

// One pane of a side by side preview: the page at `width` CSS pixels in `media`.
struct Pane {
  int width = 0;
  MediaState media;
  bool operator==(const Pane&) const = default;
};

inline constexpr int kSmallestPaneWidth = 120;
inline constexpr int kLargestPaneWidth = 7680;
inline constexpr std::size_t kMostPanes = 8;
// The smallest scale a pane is shown at, however many and wide the panes are.
inline constexpr double kSmallestPaneScale = 0.1;

// Phone, tablet and desktop.
std::vector<Pane> defaultPanes();
// The same width in the light and in the dark scheme.
std::vector<Pane> lightDarkPanes(int width);

// The stored form: {"width": N} and, where set, "colorScheme": "light"|"dark", "media": "print",
// "reducedMotion": true. A list read keeps the entries that are whole and valid, the first
// kMostPanes of them; anything else reads as none.
nlohmann::json toJson(const MediaState& media);
nlohmann::json toJson(const std::vector<Pane>& panes);
std::optional<MediaState> mediaStateFrom(const nlohmann::json& value);
std::vector<Pane> panesFrom(const nlohmann::json& value);

// The one scale at which panes of `widths`, side by side with `gap` pixels between them, fit
// `available` pixels: 1 when they fit, never below kSmallestPaneScale.
double fitScale(std::span<const int> widths, int available, int gap);

// Moves the pane at `from` one place left (-1) or right (+1); false when it cannot.
bool movePane(std::vector<Pane>& panes, std::size_t from, int step);

}  // namespace fennelview
