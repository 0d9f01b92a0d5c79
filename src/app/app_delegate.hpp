// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>

#include "app/support_controller.hpp"
#include "common/glib_ptr.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

// The application's delegate: holds the values of the feedback mail, registers the fallback
// editor when launching has finished, and answers the application's own actions. The
// application is an AdwApplication, so every window follows the desktop's light or dark style.
class AppDelegate {
 public:
  AppDelegate();
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Runs the GtkApplication with the process's arguments until its last window closes.
  int run(int argc, char** argv);
  GtkApplication* application() const { return application_.get(); }
  Settings& settings() { return settings_; }

  // On "startup": registers the fallback of defaultEditorPath through a fresh controller.
  void applicationDidFinishLaunching();
  void contactSupport() const;

  void showOpenDialog(GtkWindow* parent);
  void showPreferences(GtkWindow* parent);
  void showAbout(GtkWindow* parent);
  // Closes every window (each saves its frame and tears its document down), then quits.
  void quit();

 private:
  // --version, and the start-up check of the resource folder; -1 lets the application go on.
  static gint handleLocalOptions(GVariantDict* options);
  void installActions();
  // Opens the files of a command line (of this process or a later one), on the --page given.
  void commandLine(GApplicationCommandLine* line);
  // Contact Support works only while the desktop has a mail program.
  void updateSupportAction();
  // The app icon of a build tree (build/icons) or of an install whose prefix the desktop does
  // not search (PREFIX/share/icons): both sit beside the resource folder.
  static void addIconSearchPath();
  GtkWindow* activeWindow() const;

  SupportController support_;
  // The user's settings, read by every window and document of this process.
  Settings settings_{UserDefaults::standardFile()};
  Settings::Observation drawingObservation_;
  GObjectPtr<GtkApplication> application_;
  GtkWindow* preferencesWindow_ = nullptr;  // weak: cleared when the window goes
  GObjectPtr<GAppInfoMonitor> appInfoMonitor_;
};

}  // namespace fennelview
