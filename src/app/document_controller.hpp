// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>

#include "window/window_controller.hpp"

namespace fennelview {

// Opens files as documents, one document and one window per request: opening the same file
// twice gives two documents and two windows.
class DocumentController {
 public:
  // Document file types offered in the Open dialog.
  static constexpr const char* filePatterns[] = {"*.scss", "*.sass", "*.css"};
  // The name the recent files list the documents' application by.
  static constexpr const char* applicationName = "Fennelview";

  // Creates the document, sets its file URL, reads it (first compile, then watching),
  // gives it its window (keeping its size in `settings`) and shows that; adds the file to the
  // recent files. The window owns controller and document.
  static std::shared_ptr<WindowController> openDocument(GFile* file, GtkApplication* application,
                                                        Settings& settings);
};

}  // namespace fennelview
