// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "preferences/settings.hpp"

namespace fennelview {

// The page's width preset ("phone", "tablet", "desktop", "fill") and zoom, kept per document.
// A preset gives the web view exactly its width, centred; the menu's state follows the preset.
class PageSize {
 public:
  PageSize(WebKitWebView* webView, AdwClamp* frame);

  const std::string& preset() const { return preset_; }
  // The preset's width in CSS pixels; 0 for the whole window.
  int width() const;
  // An unknown name changes nothing.
  void setPreset(const std::string& preset);
  // One step in or out, or back to 100 % for 0.
  void zoom(int steps);
  double zoomLevel() const { return zoomLevel_; }

  // While inactive (the page is side by side) changes are kept but leave the view alone; the
  // view shows them again when it is active.
  void setActive(bool active);

  // Restores what was kept for the document, then keeps every change there.
  void keepIn(Settings& settings, const std::string& documentPath);
  void onChange(std::function<void()> changed) { changed_ = std::move(changed); }

 private:
  void save();
  void apply();

  WebKitWebView* webView_;  // owned by the render view
  AdwClamp* frame_;         // owned by the render view
  std::string preset_ = "fill";
  double zoomLevel_ = 1.0;
  bool active_ = true;
  Settings* settings_ = nullptr;
  std::string documentPath_;
  std::function<void()> changed_;
};

}  // namespace fennelview
