// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <utility>

#include "common/glib_ptr.hpp"
#include "compile/parsing_result.hpp"
#include "document/sass_document.hpp"
#include "document/signal.hpp"
#include "export/css_exporter.hpp"
#include "preferences/settings.hpp"

namespace fennelview {

class BrowserShare;
class RenderViewController;

// The controller of one document window: forwards its document's parsing results on
// documentChangeSignal and opens the document's file in the default editor. The window
// (FennelviewDocumentWindow) owns its controller; destroying the window tears the document down.
class WindowController : public std::enable_shared_from_this<WindowController> {
 public:
  // A new window from the "Main" description, owning its controller; added to the application
  // when one is given.
  static std::shared_ptr<WindowController> instantiateFromMain(GtkApplication* application, Settings& settings);
  // The controller of a document window, or null for any other window.
  static std::shared_ptr<WindowController> fromWindow(GtkWindow* window);

  ~WindowController();
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  Settings& settings() const { return settings_; }
  const Signal<ParsingResult>& documentChangeSignal() const { return documentChangeSignal_; }
  const Observer<ParsingResult>& documentChangeSink() const { return documentChangeSink_; }

  // Starts forwarding the document's results, the current one first. The forwarding is
  // never cancelled here: it lasts as long as the document's property.
  void setDocument(std::shared_ptr<SassDocument> document);
  const std::shared_ptr<SassDocument>& sassDocument() const { return document_; }

  // Opens the document's file in the default editor; returns whether a launch was asked for.
  bool openInEditor();
  // Open in Editor works only while some editor for style sheets is installed.
  bool canOpenInEditor() const { return canOpenInEditor_; }
  // A passing message over the window's content, such as why an editor did not start.
  void showToast(const std::string& text);
  // A toast with a button that activates `action` (a detailed action name) in the window.
  void showToast(const std::string& text, const std::string& button, const std::string& action);
  // Another document, in a window of its own, on this window's file.
  void openNewWindow();

  // Save CSS As…: asks where and how, then saves the compiled CSS there and keeps the choice.
  void saveCssAs();
  // Save CSS: saves where the CSS was saved before, or asks first as Save CSS As… does.
  void saveCss();
  // Write CSS on Every Save: each successful compile is saved where the CSS was saved before.
  bool writesCssOnSave() const;
  void setWriteCssOnSave(bool on);

  // Open in Browser and its server, made when first asked.
  BrowserShare& browserShare();

  GtkWindow* window() const { return window_; }
  GtkLabel* titleLabel() const { return titleLabel_; }
  RenderViewController& renderViewController() const { return *renderView_; }
  void showWindow();

  // The window's size and maximized state are kept in the settings under this name;
  // naming restores what was kept. The empty name keeps nothing.
  void setFrameAutosaveName(const std::string& name);
  const std::string& frameAutosaveName() const { return frameAutosaveName_; }
  void saveFrame();

  // From the window: its first show wires the render view; its end tears the document down.
  void windowDidAppear();
  void tearDown();

 private:
  WindowController(GtkWindow* window, std::shared_ptr<RenderViewController> renderView, Settings& settings,
                   std::pair<Signal<ParsingResult>, Observer<ParsingResult>> pipe = Signal<ParsingResult>::pipe());
  void updateEditorAction();
  // The export actions work for a document with a file; the toggle once a place is kept.
  void updateExportActions();
  void saveCssTo(const CssExportChoice& choice);
  // The document gives source maps while a reader of them is open: the CSS view, the pick
  // panel, the Web Inspector, or writing the CSS with its map on every save.
  void watchSourceMapReaders();
  void updateSourceMapWant();

  Settings& settings_;
  Signal<ParsingResult> documentChangeSignal_;
  Observer<ParsingResult> documentChangeSink_;
  GtkWindow* window_;  // owns this controller
  GtkLabel* titleLabel_;
  AdwToastOverlay* toastOverlay_ = nullptr;  // owned by the window
  std::shared_ptr<RenderViewController> renderView_;
  std::unique_ptr<BrowserShare> browserShare_;
  GObjectPtr<GAppInfoMonitor> appInfoMonitor_;
  std::shared_ptr<SassDocument> document_;
  std::unique_ptr<CssExporter> cssExporter_;
  SassDocument::SourceMapWant sourceMapWant_;
  bool inspectorOpen_ = false;
  GObjectPtr<GtkFileChooserNative> saveCssDialog_;
  Settings::Observation cssExportObservation_;  // a choice made in another window on the file
  std::string frameAutosaveName_;
  bool appeared_ = false;
  bool tornDown_ = false;
  bool canOpenInEditor_ = false;
};

// Gives an opened document its window (makeWindowControllers of the document).
std::shared_ptr<WindowController> makeWindowControllers(const std::shared_ptr<SassDocument>& document,
                                                        GtkApplication* application, Settings& settings);

}  // namespace fennelview
