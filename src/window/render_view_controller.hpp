// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <memory>
#include <string>

#include "present/render_presenter.hpp"
#include "window/css_view.hpp"
#include "window/error_link.hpp"
#include "window/file_drop.hpp"
#include "window/page_size.hpp"
#include "window/parsing_metadata_view.hpp"
#include "window/preview_page.hpp"
#include "window/warnings_view.hpp"

namespace fennelview {

class WindowController;

// What the render view shows in the window's header.
struct HeaderOutlets {
  GtkWidget* headerView;  // may be absent
  GtkLabel* parsingMetadataLabel;
  GtkSpinner* compilingSpinner;
  GtkWidget* warningsButton;
  GtkLabel* warningsCount;
  GtkListBox* warningsList;
  GtkLabel* errorLabel;  // may be absent
};

// The content of a document window: follows the window controller's results and the
// document's compiling state, and hands each result to the parts that show it (the page, the
// header's line, the warnings, the CSS view, the error's link).
class RenderViewController : public std::enable_shared_from_this<RenderViewController> {
 public:
  // The render view's own widgets: the preview and CSS pages and the frame the page sits in.
  RenderViewController(GtkStack* stack, AdwClamp* previewFrame, GtkBox* cssPage);
  ~RenderViewController();
  RenderViewController(const RenderViewController&) = delete;
  RenderViewController& operator=(const RenderViewController&) = delete;

  WebKitWebView* webView() const { return page_->webView(); }
  std::string labelText() const { return metadata_ ? metadata_->text() : std::string(); }
  CssView& cssView() { return cssView_; }
  PageSize& pageSize() { return pageSize_; }
  GtkDropTarget* dropTarget() const { return drop_ ? drop_->target() : nullptr; }

  const std::shared_ptr<const RenderPresenter>& viewModel() const { return viewModel_; }
  void setViewModel(RenderPresenter presenter);

  // viewDidLoad: wires the header's parts and the window's drop target.
  void viewDidLoad(GtkWindow* window, const HeaderOutlets& header);
  // viewDidAppear: follows the window controller's results and compiling state, names the
  // frame autosave entry, restores the page size and shows the document's current result.
  void viewDidAppear(WindowController& windowController);
  // The window is going away: results that still arrive are not shown.
  void viewWillClose();

  bool cssShown() const { return cssShown_; }
  void showCSS(bool shown);
  // Opens the CSS view's search, showing the CSS first.
  void find();
  // Keyboard focus to what is shown: the page or the CSS.
  void focusContent();

 private:
  std::shared_ptr<PreviewPage> page_ = std::make_shared<PreviewPage>();
  CssView cssView_;
  PageSize pageSize_;
  ErrorLink errorLink_;
  std::unique_ptr<ParsingMetadataView> metadata_;
  std::unique_ptr<WarningsView> warnings_;
  std::unique_ptr<FileDrop> drop_;
  GtkLabel* errorLabel_ = nullptr;  // owned by the window's header
  GtkStack* stack_;  // owned by the render view
  std::shared_ptr<const RenderPresenter> viewModel_;
  std::string documentPath_;
  bool cssShown_ = false;
  bool closed_ = false;
};

}  // namespace fennelview
