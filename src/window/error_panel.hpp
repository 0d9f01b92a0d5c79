// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <string>

G_BEGIN_DECLS
#define FENNELVIEW_TYPE_ERROR_PANEL (fennelview_error_panel_get_type())
// The error over an own page, made from error_panel.ui: the place's link, which activates
// "page.open-error-place", and the compiler's whole message.
G_DECLARE_FINAL_TYPE(FennelviewErrorPanel, fennelview_error_panel, FENNELVIEW, ERROR_PANEL, GtkBox)
G_END_DECLS

namespace fennelview {

GtkWidget* errorPanelNew();
// Shows the message (hides the panel for none) and announces its first line; an empty `place`
// hides the link.
void showError(FennelviewErrorPanel* panel, const std::string& text, const std::string& place);
// The message shown; empty while hidden.
std::string shownError(FennelviewErrorPanel* panel);
// Shows an alert widget for `text` (hides it, or folds the revealer it is in, for none) so that
// a screen reader hears it; only one in a revealer is heard when it appears.
void announce(GtkWidget* alert, const std::string& text);

}  // namespace fennelview
