// SPDX-License-Identifier: GPL-3.0-or-later
#include "document_window.hpp"

#include <new>
#include <string_view>

#include "window/browser_share.hpp"
#include "window/render_view.hpp"
#include "window/window_controller.hpp"
#include "window/window_resources.hpp"

struct _FennelviewDocumentWindow {
  GtkApplicationWindow parent_instance;
  GtkWidget* header_view;
  GtkLabel* title_label;
  GtkLabel* parsing_metadata_label;
  GtkLabel* error_label;
  GtkSpinner* compiling_spinner;
  GtkWidget* warnings_button;
  GtkWidget* view_menu_button;
  GtkMenuButton* page_button;
  GtkLabel* warnings_count;
  GtkListBox* warnings_list;
  AdwToastOverlay* toast_overlay;
  FennelviewRenderView* render_view;
  std::shared_ptr<fennelview::WindowController> controller;  // placement-constructed in init
};

G_DEFINE_FINAL_TYPE(FennelviewDocumentWindow, fennelview_document_window, GTK_TYPE_APPLICATION_WINDOW)

namespace {

enum { PROP_0, PROP_SHOW_CSS, PROP_PREVIEW_WIDTH, PROP_WRITE_CSS_ON_SAVE, PROP_PICKING, PROP_ALLOW_OTHER_DEVICES, N_PROPS };
GParamSpec* properties[N_PROPS];

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
  if (id == PROP_ALLOW_OTHER_DEVICES) {
    const auto& controller = FENNELVIEW_DOCUMENT_WINDOW(object)->controller;
    return g_value_set_boolean(value, controller && controller->settings().allowOtherDevices());
  }
  if (id == PROP_WRITE_CSS_ON_SAVE) {
    const auto& controller = FENNELVIEW_DOCUMENT_WINDOW(object)->controller;
    return g_value_set_boolean(value, controller && controller->writesCssOnSave());
  }
  // Asked by the header's buttons while the template is still being built.
  auto* renderView = FENNELVIEW_DOCUMENT_WINDOW(object)->render_view;
  if (!renderView) return g_param_value_set_default(spec, value);
  auto& view = fennelview::renderViewController(renderView);
  switch (id) {
    case PROP_SHOW_CSS: g_value_set_boolean(value, view.cssShown()); break;
    case PROP_PREVIEW_WIDTH: g_value_set_string(value, view.pageSize().preset().c_str()); break;
    case PROP_PICKING: g_value_set_boolean(value, view.pickPanel().picking()); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
  }
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
  if (id == PROP_ALLOW_OTHER_DEVICES) {
    // Asks first when turning it on; the settings tell of the change once it is kept.
    if (const auto& controller = FENNELVIEW_DOCUMENT_WINDOW(object)->controller) {
      controller->browserShare().setAllowOtherDevices(g_value_get_boolean(value));
    }
    return;
  }
  if (id == PROP_WRITE_CSS_ON_SAVE) {
    // The controller tells of the change once it is kept.
    if (const auto& controller = FENNELVIEW_DOCUMENT_WINDOW(object)->controller) {
      controller->setWriteCssOnSave(g_value_get_boolean(value));
    }
    return;
  }
  auto* renderView = FENNELVIEW_DOCUMENT_WINDOW(object)->render_view;
  if (!renderView) return;
  auto& view = fennelview::renderViewController(renderView);
  switch (id) {
    case PROP_SHOW_CSS:
      if (view.cssShown() == static_cast<bool>(g_value_get_boolean(value))) return;
      view.showCSS(g_value_get_boolean(value));
      g_object_notify_by_pspec(object, spec);
      break;
    case PROP_PREVIEW_WIDTH:
      // The page size tells of every change itself, restored ones included.
      view.pageSize().setPreset(g_value_get_string(value) ? g_value_get_string(value) : "");
      break;
    case PROP_PICKING:
      // The pick panel tells of every change itself, Escape in the page included.
      if (view.pickPanel().picking() != static_cast<bool>(g_value_get_boolean(value))) view.togglePicking();
      break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
  }
}

}  // namespace

static void fennelview_document_window_init(FennelviewDocumentWindow* self) {
  g_type_ensure(FENNELVIEW_TYPE_RENDER_VIEW);
  gtk_widget_init_template(GTK_WIDGET(self));
  new (&self->controller) std::shared_ptr<fennelview::WindowController>();
  fennelview::renderViewController(self->render_view).pageSize().onChange([self] {
    g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_PREVIEW_WIDTH]);
  });
}

static void fennelview_document_window_map(GtkWidget* widget) {
  GTK_WIDGET_CLASS(fennelview_document_window_parent_class)->map(widget);
  if (auto controller = FENNELVIEW_DOCUMENT_WINDOW(widget)->controller) controller->windowDidAppear();
}

static gboolean fennelview_document_window_close_request(GtkWindow* window) {
  if (auto controller = FENNELVIEW_DOCUMENT_WINDOW(window)->controller) controller->saveFrame();
  return GTK_WINDOW_CLASS(fennelview_document_window_parent_class)->close_request(window);
}

static void fennelview_document_window_dispose(GObject* object) {
  auto* self = FENNELVIEW_DOCUMENT_WINDOW(object);
  if (self->controller) self->controller->tearDown();
  if (self->render_view) fennelview::renderViewController(self->render_view).pageSize().onChange({});
  G_OBJECT_CLASS(fennelview_document_window_parent_class)->dispose(object);
}

static void fennelview_document_window_finalize(GObject* object) {
  FENNELVIEW_DOCUMENT_WINDOW(object)->controller.~shared_ptr();
  G_OBJECT_CLASS(fennelview_document_window_parent_class)->finalize(object);
}

static void fennelview_document_window_class_init(FennelviewDocumentWindowClass* klass) {
  fennelview::registerWindowResources();
  auto* objectClass = G_OBJECT_CLASS(klass);
  objectClass->dispose = fennelview_document_window_dispose;
  objectClass->finalize = fennelview_document_window_finalize;
  objectClass->get_property = getProperty;
  objectClass->set_property = setProperty;
  properties[PROP_SHOW_CSS] =
      g_param_spec_boolean("show-css", nullptr, nullptr, FALSE, static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_PREVIEW_WIDTH] =
      g_param_spec_string("preview-width", nullptr, nullptr, "fill", static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_WRITE_CSS_ON_SAVE] = g_param_spec_boolean(
      "write-css-on-save", nullptr, nullptr, FALSE,
      static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_ALLOW_OTHER_DEVICES] = g_param_spec_boolean(
      "allow-other-devices", nullptr, nullptr, FALSE,
      static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_PICKING] =
      g_param_spec_boolean("picking", nullptr, nullptr, FALSE,
                           static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY));
  g_object_class_install_properties(objectClass, N_PROPS, properties);
  GTK_WIDGET_CLASS(klass)->map = fennelview_document_window_map;
  GTK_WINDOW_CLASS(klass)->close_request = fennelview_document_window_close_request;

  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/main.ui");
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, header_view);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, title_label);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, parsing_metadata_label);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, compiling_spinner);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, error_label);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, warnings_button);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, view_menu_button);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, page_button);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, warnings_count);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, warnings_list);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, toast_overlay);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewDocumentWindow, render_view);
  fennelview::installWindowActions(widgetClass);
}

namespace fennelview {

GtkWidget* documentWindowHeaderChild(FennelviewDocumentWindow* window, const char* name) {
  const std::string_view wanted(name);
  if (wanted == "header_view") return window->header_view;
  if (wanted == "warnings_button") return window->warnings_button;
  if (wanted == "view_menu_button") return window->view_menu_button;
  return nullptr;
}

DocumentWindowParts documentWindowParts(FennelviewDocumentWindow* window) {
  return {window->title_label,
          window->toast_overlay,
          {window->header_view, window->parsing_metadata_label, window->compiling_spinner, window->warnings_button,
           window->warnings_count, window->warnings_list, window->error_label, window->page_button},
          sharedRenderViewController(window->render_view)};
}

void documentWindowAdopt(FennelviewDocumentWindow* window, std::shared_ptr<WindowController> controller) {
  window->controller = std::move(controller);
}

std::shared_ptr<WindowController> documentWindowController(FennelviewDocumentWindow* window) {
  return window->controller;
}

}  // namespace fennelview
