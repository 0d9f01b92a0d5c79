// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compile/compilers.hpp"
#include "preferences/editor.hpp"
#include "preferences/preferences_controller.hpp"
#include "preferences/settings.hpp"

G_BEGIN_DECLS
// The Preferences window, built from preferences_view.ui as its template; it owns its
// PreferencesView.
G_DECLARE_FINAL_TYPE(FennelviewPreferencesWindow, fennelview_preferences_window, FENNELVIEW, PREFERENCES_WINDOW,
                     AdwPreferencesWindow)
G_END_DECLS

namespace fennelview {

// What the Preferences window shows and changes: the default editor, the Sass compiler and the
// load paths. A change is written at once (there is no separate save); the open documents
// observe the settings and compile again.
class PreferencesView {
 public:
  // Builds the window; the window owns the view. Transient for `parent` when one is given. With a
  // project root, the project's own load paths show and are edited too.
  static PreferencesView& instantiate(Settings& settings, GtkWindow* parent = nullptr,
                                      std::optional<std::filesystem::path> projectRoot = std::nullopt);

  PreferencesView(const PreferencesView&) = delete;
  PreferencesView& operator=(const PreferencesView&) = delete;

  // Stores the folder at the end of the list, unless it is there already.
  void addLoadPath(const std::string& folder);
  void removeLoadPath(const std::string& folder);
  // The same for the project's own list; nothing without a project.
  void addProjectLoadPath(const std::string& folder);
  void removeProjectLoadPath(const std::string& entry);
  // Asks for a folder and adds it: to the project's list (the chooser opens at the project), or
  // to the global one.
  void chooseLoadPath(bool forProject = false);
  // Says, one line each, why a `sass` that was found is not offered; an empty list hides the note.
  void showRefusedCompilers(const std::vector<std::string>& reasons);

  GtkWindow* window() const { return GTK_WINDOW(window_); }
  AdwComboRow* editorRow() const;
  AdwComboRow* compilerRow() const;
  // The remove button of each load path, in list order: the global ones, then the project's.
  const std::vector<GtkWidget*>& removeButtons() const { return removeButtons_; }

 private:
  PreferencesView(Settings& settings, FennelviewPreferencesWindow* window);
  void bindEditors();
  void bindCompilers();
  // The drawing choice, and which path is in use and why.
  void bindDrawing();
  void showDrawingPath();
  void showLoadPaths();
  void showLoadPaths(AdwPreferencesGroup* group, AdwActionRow* emptyRow, const std::vector<std::string>& folders,
                     const char* removeAction);

  Settings& settings_;
  PreferencesController preferences_;
  std::vector<Compiler> compilers_;
  FennelviewPreferencesWindow* window_;  // owns this view
  std::optional<std::filesystem::path> projectRoot_;
  Settings::Observation loadPathsObservation_;
  std::vector<GtkWidget*> loadPathRows_;
  std::vector<GtkWidget*> removeButtons_;
};

}  // namespace fennelview
