// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>

#include "present/render_presenter.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

// The place of a failed compile, read in one spot so the result's form of it can change.
inline const std::optional<SourcePlace>& errorPlace(const RenderPresenter& model) { return model.errorLocation(); }

// The error panel's link to the failed compile's place, which opens it in the user's editor.
class ErrorLink {
 public:
  // The scheme the page's link uses; the page never navigates to it.
  static constexpr const char* kURI = "fennelview-editor:open";

  // "file:line:column" as the link shows it; a file name in any encoding reads as text.
  static std::string text(const SourcePlace& where);

  void setSettings(Settings& settings) { settings_ = &settings; }
  void setPlace(std::optional<SourcePlace> where) { place_ = std::move(where); }
  // Opens the place in the editor, launched as Open in Editor is (with the display's launch
  // context, when given); false when there is none or no editor could be asked.
  bool open(GAppLaunchContext* context = nullptr) const;

 private:
  Settings* settings_ = nullptr;  // the window controller's
  std::optional<SourcePlace> place_;
};

}  // namespace fennelview
