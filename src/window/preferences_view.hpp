#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "preferences/editor.hpp"
#include "preferences/preferences_controller.hpp"

namespace fennelview {

// The preferences window: a drop-down of the editors that can edit style sheets, showing
// and storing the default editor through its own PreferencesController. A choice is
// written at once; there is no separate save.
class PreferencesView {
 public:
  // Builds the window; the window owns the view. Transient for `parent` when one is given.
  static PreferencesView& instantiate(UserDefaults& defaults, GtkWindow* parent = nullptr);

  PreferencesView(const PreferencesView&) = delete;
  PreferencesView& operator=(const PreferencesView&) = delete;

  PreferencesController& preferences() { return preferences_; }
  const std::vector<std::shared_ptr<Editor>>& editors() { return preferences_.editors(); }
  std::shared_ptr<Editor> defaultEditor() { return preferences_.defaultEditor(); }
  void setDefaultEditor(const std::shared_ptr<Editor>& editor) { preferences_.setDefaultEditor(editor); }

  GtkWindow* window() const { return window_; }
  GtkDropDown* dropDown() const { return dropDown_; }
  GtkLabel* noEditorLabel() const { return noEditorLabel_; }

 private:
  explicit PreferencesView(UserDefaults& defaults) : preferences_(defaults) {}
  void bind();
  static void selectionChanged(GObject* dropDown, GParamSpec*, gpointer self);

  PreferencesController preferences_;
  GtkWindow* window_ = nullptr;  // owns this view
  GtkDropDown* dropDown_ = nullptr;
  GtkLabel* noEditorLabel_ = nullptr;
};

}  // namespace fennelview
