// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "common/glib_ptr.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

// Save CSS As…: the system's file chooser, in the folder and under the name of `proposal`, with
// the style and the source map as choices set as it has them. `chosen` hears the user's choice
// (with `proposal`'s onEverySave); nothing is heard on cancel or when the dialog goes first.
GObjectPtr<GtkFileChooserNative> showSaveCssDialog(GtkWindow* parent, const CssExportChoice& proposal,
                                                   std::function<void(CssExportChoice)> chosen);

}  // namespace fennelview
