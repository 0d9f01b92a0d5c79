// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

namespace fennelview {

// Files dropped anywhere on a window open through the application, as from the file manager;
// the page never navigates to them.
class FileDrop {
 public:
  // The target joins the window, which owns it.
  explicit FileDrop(GtkWindow* window);

  GtkDropTarget* target() const { return target_; }

 private:
  GtkDropTarget* target_;
};

}  // namespace fennelview
