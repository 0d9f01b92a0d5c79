// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>

#include "window/window_controller.hpp"

namespace fennelview {

// Opens files as documents, each in a window of its own. A file that is open already (by any
// path to it) brings its window forward instead, unless a new document is asked for.
class DocumentController {
 public:
  // Document file types offered in the Open dialog.
  static constexpr const char* filePatterns[] = {"*.scss", "*.sass", "*.css"};
  // The name the recent files list the documents' application by.
  static constexpr const char* applicationName = "Fennelview";

  enum class Reuse { openWindow, never };

  // Creates the document, sets its file URL, reads it (first compile, then watching),
  // gives it its window (keeping its size in `defaults`) and shows that; adds the file to the
  // recent files. The window owns controller and document. With Reuse::openWindow, a window
  // of the application showing the same file is shown instead.
  static std::shared_ptr<WindowController> openDocument(GFile* file, GtkApplication* application,
                                                        UserDefaults& defaults, Reuse reuse = Reuse::openWindow);
  // The application's window showing this file, found by the file's identity, not its path.
  static std::shared_ptr<WindowController> windowShowing(GFile* file, GtkApplication* application);
};

}  // namespace fennelview
