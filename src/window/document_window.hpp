// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>

#include <memory>

#include "window/render_view_controller.hpp"

G_BEGIN_DECLS
#define FENNELVIEW_TYPE_DOCUMENT_WINDOW (fennelview_document_window_get_type())
G_DECLARE_FINAL_TYPE(FennelviewDocumentWindow, fennelview_document_window, FENNELVIEW, DOCUMENT_WINDOW,
                     GtkApplicationWindow)
G_END_DECLS

namespace fennelview {

class WindowController;

// The document window's widget, made from "Main" (main.ui); it owns its WindowController.
struct DocumentWindowParts {
  GtkLabel* titleLabel;
  AdwToastOverlay* toastOverlay;
  HeaderOutlets header;
  std::shared_ptr<RenderViewController> renderView;
};

DocumentWindowParts documentWindowParts(FennelviewDocumentWindow* window);
// The window keeps its controller from here until it is finalized.
void documentWindowAdopt(FennelviewDocumentWindow* window, std::shared_ptr<WindowController> controller);
std::shared_ptr<WindowController> documentWindowController(FennelviewDocumentWindow* window);

// A named part of the header ("header_view", "warnings_button", "view_menu_button"), or null.
GtkWidget* documentWindowHeaderChild(FennelviewDocumentWindow* window, const char* name);

// The window's actions and their shortcuts (window_actions.cpp).
void installWindowActions(GtkWidgetClass* windowClass);
void registerWindowShortcuts(GtkApplication* application);

}  // namespace fennelview
