#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <memory>
#include <optional>
#include <string>

#include "common/glib_ptr.hpp"
#include "compile/parsing_result.hpp"
#include "present/render_presenter.hpp"

namespace fennelview {

class WindowController;

// The content of a document window: the header's metadata label and a web view that fills
// the area below the header and shows the preview page.
class RenderViewController : public std::enable_shared_from_this<RenderViewController> {
 public:
  // The widgets come from the window's description; the web view is made on first use.
  RenderViewController(GtkWidget* view, GtkWidget* headerView, GtkLabel* parsingMetadataLabel);
  RenderViewController(const RenderViewController&) = delete;
  RenderViewController& operator=(const RenderViewController&) = delete;

  static std::string labelText(const std::string& compilerName, const std::string& durationString);

  WebKitWebView* webView();
  GtkLabel* parsingMetadataLabel() const { return label_.get(); }
  std::string labelText() const;

  const std::optional<RenderPresenter>& viewModel() const { return viewModel_; }
  // Loads the page and writes the label, every time, even for an unchanged page.
  void setViewModel(RenderPresenter presenter);

  // viewDidLoad: puts the web view in place.
  void viewDidLoad();
  // viewDidAppear: follows the window controller's results, names the frame autosave entry
  // and shows the document's current result.
  void viewDidAppear(WindowController& windowController);
  // The window is going away: results that still arrive are not shown.
  void viewWillClose() { closed_ = true; }

 private:
  GObjectPtr<GtkWidget> view_;
  GtkWidget* headerView_;  // owned by the window; may be absent
  GObjectPtr<GtkLabel> label_;
  GObjectPtr<WebKitWebView> webView_;
  std::optional<RenderPresenter> viewModel_;
  bool closed_ = false;
};

}  // namespace fennelview
