#pragma once

#include <gtk/gtk.h>

#include "app/support_controller.hpp"
#include "common/glib_ptr.hpp"

namespace fennelview {

// The application's delegate: holds the values of the feedback mail, registers the fallback
// editor when launching has finished, and answers the application's own actions.
class AppDelegate {
 public:
  AppDelegate();
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Runs the GtkApplication with the process's arguments until its last window closes.
  int run(int argc, char** argv);
  GtkApplication* application() const { return application_.get(); }

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
  GtkWindow* activeWindow() const;

  SupportController support_;
  GObjectPtr<GtkApplication> application_;
  GtkWindow* preferencesWindow_ = nullptr;  // weak: cleared when the window goes
};

}  // namespace fennelview
