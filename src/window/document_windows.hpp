#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

namespace fennelview {

class SassDocument;
class WindowController;

// Gives the document its window: a new controller from the "Main" description, handed the document.
std::shared_ptr<WindowController> makeWindowControllers(const std::shared_ptr<SassDocument>& document,
                                                        GtkApplication* application);

// Opens a file as a new document (a second one when it is already open) and shows its window.
std::shared_ptr<WindowController> openDocumentWindow(const std::string& path, GtkApplication* application);

}  // namespace fennelview
