#include "window/document_windows.hpp"

#include "document/sass_document.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

std::shared_ptr<WindowController> makeWindowControllers(const std::shared_ptr<SassDocument>& document,
                                                        GtkApplication* application) {
  auto controller = WindowController::instantiate();
  if (application) gtk_window_set_application(controller->window(), application);
  controller->setDocument(document);
  return controller;
}

std::shared_ptr<WindowController> openDocumentWindow(const std::string& path, GtkApplication* application) {
  auto document = SassDocument::create();
  document->setFilePath(path);
  document->readFromURL(document->fileURL().value_or(""), "scss");
  auto controller = makeWindowControllers(document, application);
  // The saved size must be in place before the window first appears.
  controller->setFrameAutosaveName(document->path());
  gtk_window_present(controller->window());
  return controller;
}

}  // namespace fennelview
