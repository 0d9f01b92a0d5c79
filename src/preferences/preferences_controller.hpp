// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "preferences/editor.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

// The editor list and the user's default editor, kept under "defaultEditorPath".
// Main thread only; the list is computed on first use and then kept.
class PreferencesController {
 public:
  static constexpr const char* defaultEditorPathKey = Settings::defaultEditorPathKey;

  // Touches neither GIO nor the stored values.
  explicit PreferencesController(Settings& defaults);

  // The applications GIO registers for the type of Template/main.css: the desktop's default
  // for it first, then the others in GIO's order.
  const std::vector<std::shared_ptr<Editor>>& editors();
  // The first editor whose URL is the stored string, else the first editor; null when
  // the list is empty. Always an object of editors().
  std::shared_ptr<Editor> defaultEditor();
  // Stores the editor's URL; a null editor changes nothing.
  void setDefaultEditor(const std::shared_ptr<Editor>& editor);
  // Registers the first editor's URL (the desktop's default) as the fallback; nothing for an
  // empty list.
  void registerDefaultEditor();

 private:
  Settings& defaults_;
  std::optional<std::vector<std::shared_ptr<Editor>>> editors_;
};

}  // namespace fennelview
