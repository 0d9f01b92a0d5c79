// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include "present/compiler_warnings.hpp"

namespace fennelview {

// The header's warnings button and its popover: one row a kind of warning, as the compiler
// wrote it (its place included), with how often it came.
class WarningsView {
 public:
  WarningsView(GtkWidget* button, GtkLabel* count, GtkListBox* list)
      : button_(button), count_(count), list_(list) {}

  void show(const CompilerWarnings& warnings);

 private:
  // All owned by the window's header.
  GtkWidget* button_;
  GtkLabel* count_;
  GtkListBox* list_;
};

}  // namespace fennelview
