// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_view.hpp"

#include <new>

#include "window/window_resources.hpp"

struct _FennelviewRenderView {
  GtkBox parent_instance;
  GtkStack* content_stack;
  AdwClamp* preview_clamp;
  GtkBox* preview_box;
  FennelviewCssView* css_view;
  std::shared_ptr<fennelview::RenderViewController> controller;  // placement-constructed in init
};

G_DEFINE_FINAL_TYPE(FennelviewRenderView, fennelview_render_view, GTK_TYPE_BOX)

static void fennelview_render_view_init(FennelviewRenderView* self) {
  g_type_ensure(FENNELVIEW_TYPE_CSS_VIEW);
  gtk_widget_init_template(GTK_WIDGET(self));
  new (&self->controller) std::shared_ptr<fennelview::RenderViewController>(
      std::make_shared<fennelview::RenderViewController>(self->content_stack, self->preview_clamp, self->css_view,
                                                         self->preview_box));
}

static void fennelview_render_view_dispose(GObject* object) {
  auto* self = FENNELVIEW_RENDER_VIEW(object);
  if (self->controller) self->controller->viewWillClose();
  gtk_widget_dispose_template(GTK_WIDGET(object), FENNELVIEW_TYPE_RENDER_VIEW);
  G_OBJECT_CLASS(fennelview_render_view_parent_class)->dispose(object);
}

static void fennelview_render_view_finalize(GObject* object) {
  FENNELVIEW_RENDER_VIEW(object)->controller.~shared_ptr();
  G_OBJECT_CLASS(fennelview_render_view_parent_class)->finalize(object);
}

static void fennelview_render_view_class_init(FennelviewRenderViewClass* klass) {
  fennelview::registerWindowResources();
  G_OBJECT_CLASS(klass)->dispose = fennelview_render_view_dispose;
  G_OBJECT_CLASS(klass)->finalize = fennelview_render_view_finalize;
  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/render_view.ui");
  gtk_widget_class_bind_template_child(widgetClass, FennelviewRenderView, content_stack);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewRenderView, preview_clamp);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewRenderView, preview_box);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewRenderView, css_view);
}

namespace fennelview {

RenderViewController& renderViewController(FennelviewRenderView* view) { return *view->controller; }
std::shared_ptr<RenderViewController> sharedRenderViewController(FennelviewRenderView* view) { return view->controller; }

}  // namespace fennelview
