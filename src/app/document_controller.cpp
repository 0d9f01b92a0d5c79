#include "document_controller.hpp"

#include <string>

#include "common/glib_ptr.hpp"
#include "document/sass_document.hpp"

namespace fennelview {

namespace {
std::string typeName(GFile* file) {
  GCharPtr name(g_file_get_basename(file));
  const std::string base = name ? name.get() : "";
  const auto dot = base.rfind('.');
  return dot == std::string::npos ? "scss" : base.substr(dot + 1);
}
}  // namespace

std::shared_ptr<WindowController> DocumentController::openDocument(GFile* file, GtkApplication* application,
                                                                  UserDefaults& defaults) {
  auto document = SassDocument::create(defaults);
  GCharPtr uri(g_file_get_uri(file));
  document->setFileURL(std::string(uri.get()));
  document->readFromURL(uri.get(), typeName(file));
  auto controller = makeWindowControllers(document, application, defaults);
  controller->showWindow();
  return controller;
}

}  // namespace fennelview
