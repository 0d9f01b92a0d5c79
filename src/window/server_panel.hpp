// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <string>

G_BEGIN_DECLS
#define FENNELVIEW_TYPE_SERVER_PANEL (fennelview_server_panel_get_type())
// Why a server's page is not shown, made from server_panel.ui: the message, "page.retry-server",
// "Sample Page" and, after a certificate error, "page.trust-server".
G_DECLARE_FINAL_TYPE(FennelviewServerPanel, fennelview_server_panel, FENNELVIEW, SERVER_PANEL, GtkBox)
G_END_DECLS

namespace fennelview {

GtkWidget* serverPanelNew();
// Shows the message (hides the panel for none); `canTrust` offers to continue past the host's certificate.
void showServerProblem(FennelviewServerPanel* panel, const std::string& text, bool canTrust);
// The message shown; empty while hidden.
std::string shownServerProblem(FennelviewServerPanel* panel);

}  // namespace fennelview
