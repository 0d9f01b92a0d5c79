// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_controller.hpp"

#include <vector>

#include "common/glib_ptr.hpp"
#include "window/window_resources.hpp"
#include "preferences/editor_launch.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {

namespace {

constexpr const char* mainDescription = "/org/fennelview/Fennelview/window/main.ui";
constexpr const char* controllerKey = "fennelview-window-controller";

void deleteControllerHandle(gpointer handle) { delete static_cast<std::shared_ptr<WindowController>*>(handle); }

}  // namespace

std::shared_ptr<WindowController> WindowController::instantiateFromMain(GtkApplication* application,
                                                                       Settings& settings) {
  registerWindowResources();
  GObjectPtr<GtkBuilder> builder(gtk_builder_new_from_resource(mainDescription));
  auto* window = GTK_WINDOW(gtk_builder_get_object(builder.get(), "document-window-controller"));
  auto renderView = std::make_shared<RenderViewController>(
      GTK_WIDGET(gtk_builder_get_object(builder.get(), "render-view")),
      GTK_WIDGET(gtk_builder_get_object(builder.get(), "header-view")),
      GTK_LABEL(gtk_builder_get_object(builder.get(), "parsing-metadata-label")));
  std::shared_ptr<WindowController> controller(new WindowController(window, renderView, settings));
  controller->titleLabel_ = GTK_LABEL(gtk_builder_get_object(builder.get(), "title-label"));
  // The window holds the controller; the handle goes when the window does.
  g_object_set_data_full(G_OBJECT(window), controllerKey, new std::shared_ptr<WindowController>(controller),
                         deleteControllerHandle);
  if (application) gtk_window_set_application(window, application);
  renderView->viewDidLoad(builder.get());
  controller->installActions();
  controller->connectWindowSignals();
  return controller;
}

std::shared_ptr<WindowController> WindowController::fromWindow(GtkWindow* window) {
  auto* handle = static_cast<std::shared_ptr<WindowController>*>(g_object_get_data(G_OBJECT(window), controllerKey));
  return handle ? *handle : nullptr;
}

WindowController::WindowController(GtkWindow* window, std::shared_ptr<RenderViewController> renderView,
                                   Settings& settings,
                                   std::pair<Signal<ParsingResult>, Observer<ParsingResult>> pipe)
    : settings_(settings),
      documentChangeSignal_(std::move(pipe.first)),
      documentChangeSink_(std::move(pipe.second)),
      window_(window),
      titleLabel_(nullptr),
      renderView_(std::move(renderView)) {}

WindowController::~WindowController() { tearDown(); }

void WindowController::setDocument(std::shared_ptr<SassDocument> document) {
  document_ = std::move(document);
  if (!document_) return;
  document_->parsingResult().producer().start(documentChangeSink_);

  const auto path = document_->path();
  GCharPtr name(path.empty() ? g_strdup("Untitled") : g_path_get_basename(path.c_str()));
  GCharPtr folder(path.empty() ? nullptr : g_path_get_dirname(path.c_str()));
  gtk_window_set_title(window_, name.get());
  if (titleLabel_) {
    gtk_label_set_text(titleLabel_, name.get());
    gtk_widget_set_tooltip_text(GTK_WIDGET(titleLabel_), folder.get());
  }
}

bool WindowController::openInEditor() {
  if (!document_) return false;
  return openFileInDefaultEditor(settings_.store(), document_->fileURL());
}

void WindowController::showWindow() { gtk_window_present(window_); }

void WindowController::setFrameAutosaveName(const std::string& name) {
  frameAutosaveName_ = name;
  if (name.empty()) return;
  const auto frame = settings_.windowFrame(name);
  if (frame.width && frame.height) gtk_window_set_default_size(window_, *frame.width, *frame.height);
  if (frame.maximized) gtk_window_maximize(window_);
}

void WindowController::saveFrame() {
  // An unsaved document has no name to keep a frame under.
  if (frameAutosaveName_.empty()) return;
  int width = 0, height = 0;
  gtk_window_get_default_size(window_, &width, &height);
  settings_.setWindowFrame(frameAutosaveName_, width, height, gtk_window_is_maximized(window_));
}

void WindowController::connectWindowSignals() {
  // The first show wires the render view, as a view's first appearance does.
  g_signal_connect(window_, "map", G_CALLBACK(+[](GtkWidget* widget, gpointer) {
                     auto self = fromWindow(GTK_WINDOW(widget));
                     if (!self || self->appeared_) return;
                     self->appeared_ = true;
                     self->renderView_->viewDidAppear(*self);
                   }),
                   nullptr);
  g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow* window, gpointer) -> gboolean {
                     if (auto self = fromWindow(window)) self->saveFrame();
                     return FALSE;
                   }),
                   nullptr);
  g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget* widget, gpointer) {
                     if (auto self = fromWindow(GTK_WINDOW(widget))) self->tearDown();
                   }),
                   nullptr);
}

void WindowController::tearDown() {
  if (renderView_) renderView_->viewWillClose();
  if (document_) document_->close();
}

std::shared_ptr<WindowController> makeWindowControllers(const std::shared_ptr<SassDocument>& document,
                                                        GtkApplication* application, Settings& settings) {
  auto controller = WindowController::instantiateFromMain(application, settings);
  controller->setDocument(document);
  return controller;
}

}  // namespace fennelview
