// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include "window/render_view_controller.hpp"

G_BEGIN_DECLS
#define FENNELVIEW_TYPE_RENDER_VIEW (fennelview_render_view_get_type())
G_DECLARE_FINAL_TYPE(FennelviewRenderView, fennelview_render_view, FENNELVIEW, RENDER_VIEW, GtkBox)
G_END_DECLS

namespace fennelview {

// The render view's widget, made from "render_view.ui"; it owns its controller.
RenderViewController& renderViewController(FennelviewRenderView* view);
std::shared_ptr<RenderViewController> sharedRenderViewController(FennelviewRenderView* view);

}  // namespace fennelview
