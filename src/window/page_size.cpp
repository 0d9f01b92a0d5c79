// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_size.hpp"

#include <algorithm>
#include <array>

namespace fennelview {

namespace {

struct WidthPreset {
  const char* name;
  int width;  // 0: the whole window
};
constexpr std::array<WidthPreset, 4> kWidthPresets{{{"phone", 375}, {"tablet", 768}, {"desktop", 1280}, {"fill", 0}}};
constexpr std::array<double, 13> kZoomLevels{0.5, 0.67, 0.75, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
// The clamp's bound for "fill": wider than any screen.
constexpr int kUnbounded = 1 << 20;

}  // namespace

PageSize::PageSize(WebKitWebView* webView, AdwClamp* frame) : webView_(webView), frame_(frame) {
  gtk_widget_set_hexpand(GTK_WIDGET(webView_), TRUE);
  gtk_widget_set_vexpand(GTK_WIDGET(webView_), TRUE);
  setPreset(preset_);
}

void PageSize::setPreset(const std::string& preset) {
  const auto found = std::find_if(kWidthPresets.begin(), kWidthPresets.end(),
                                  [&](const WidthPreset& candidate) { return preset == candidate.name; });
  if (found == kWidthPresets.end()) return;
  preset_ = preset;
  apply();
  save();
  if (changed_) changed_();
}

void PageSize::zoom(int steps) {
  std::size_t at = 0;
  while (at + 1 < kZoomLevels.size() && kZoomLevels[at] < zoomLevel_ - 1e-6) ++at;
  if (steps == 0) {
    zoomLevel_ = 1.0;
  } else {
    const auto next = static_cast<long>(at) + steps;
    zoomLevel_ = kZoomLevels[static_cast<std::size_t>(std::clamp(next, 0L, static_cast<long>(kZoomLevels.size()) - 1))];
  }
  if (active_) webkit_web_view_set_zoom_level(webView_, zoomLevel_);
  save();
}

int PageSize::width() const {
  const auto found = std::find_if(kWidthPresets.begin(), kWidthPresets.end(),
                                  [&](const WidthPreset& candidate) { return preset_ == candidate.name; });
  return found->width;
}

void PageSize::setActive(bool active) {
  active_ = active;
  apply();
}

void PageSize::apply() {
  const int width = active_ ? this->width() : 0;
  // A size request is only a minimum: the clamp gives the page no more than the preset, and the
  // request no less, so a narrower window scrolls sideways.
  gtk_widget_set_size_request(GTK_WIDGET(webView_), width > 0 ? width : -1, -1);
  adw_clamp_set_maximum_size(frame_, width > 0 ? width : kUnbounded);
  adw_clamp_set_tightening_threshold(frame_, width > 0 ? width : kUnbounded);
  if (active_) webkit_web_view_set_zoom_level(webView_, zoomLevel_);
}

void PageSize::keepIn(Settings& settings, const std::string& documentPath) {
  if (documentPath.empty()) return;
  documentPath_ = documentPath;
  // Restored before the settings are known here, so restoring writes nothing back.
  const auto kept = settings.preview(documentPath_);
  if (kept.width) setPreset(*kept.width);
  if (kept.zoom) {
    zoomLevel_ = std::clamp(*kept.zoom, kZoomLevels.front(), kZoomLevels.back());
    if (active_) webkit_web_view_set_zoom_level(webView_, zoomLevel_);
  }
  settings_ = &settings;
}

void PageSize::save() {
  if (settings_) settings_->setPreview(documentPath_, preset_, zoomLevel_);
}

}  // namespace fennelview
