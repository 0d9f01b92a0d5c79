// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "compile/compilers.hpp"
#include "preferences/editor.hpp"
#include "preferences/preferences_controller.hpp"

namespace fennelview {

// The Preferences window: the default editor, the Sass compiler and the load paths. A change
// is written at once (there is no separate save); a new compiler or new load paths compile
// every open document again.
class PreferencesView {
 public:
  static constexpr const char* loadPathsKey = "loadPaths";

  // Builds the window; the window owns the view. Transient for `parent` when one is given.
  static PreferencesView& instantiate(UserDefaults& defaults, GtkWindow* parent = nullptr);

  PreferencesView(const PreferencesView&) = delete;
  PreferencesView& operator=(const PreferencesView&) = delete;

  // The stored folders; entries that are not strings are skipped.
  std::vector<std::string> loadPaths() const;
  // Stores the folder at the end of the list, unless it is there already.
  void addLoadPath(const std::string& folder);

  GtkWindow* window() const { return GTK_WINDOW(window_); }
  AdwComboRow* editorRow() const { return editorRow_; }
  AdwComboRow* compilerRow() const { return compilerRow_; }
  // The remove button of each load path, in list order.
  const std::vector<GtkWidget*>& removeButtons() const { return removeButtons_; }

 private:
  explicit PreferencesView(UserDefaults& defaults) : defaults_(defaults), preferences_(defaults) {}
  void bindEditors();
  void bindCompilers();
  void showLoadPaths();
  void storeLoadPaths(const std::vector<std::string>& folders);
  void chooseLoadPath();

  UserDefaults& defaults_;
  PreferencesController preferences_;
  std::vector<Compiler> compilers_;
  AdwPreferencesWindow* window_ = nullptr;  // owns this view
  AdwComboRow* editorRow_ = nullptr;
  GtkWidget* noEditorRow_ = nullptr;
  AdwComboRow* compilerRow_ = nullptr;
  AdwPreferencesGroup* loadPathsGroup_ = nullptr;
  GtkWidget* noLoadPathsRow_ = nullptr;
  std::vector<GtkWidget*> loadPathRows_;
  std::vector<GtkWidget*> removeButtons_;
};

}  // namespace fennelview
