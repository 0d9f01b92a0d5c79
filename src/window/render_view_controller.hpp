// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <memory>
#include <optional>
#include <string>

#include "common/glib_ptr.hpp"
#include "compile/parsing_result.hpp"
#include "preferences/settings.hpp"
#include "present/render_presenter.hpp"
#include "window/css_view.hpp"

namespace fennelview {

class WindowController;

// The content of a document window: the header's state (metadata label, compiling spinner,
// warnings), a web view showing the preview page and, toggled with it, the compiled CSS.
// The page is loaded once; later results replace its style sheet and error panel in place,
// so scroll position, form values, focus and selection stay.
class RenderViewController : public std::enable_shared_from_this<RenderViewController> {
 public:
  // The widgets come from the window's description; the web view is made on first use.
  RenderViewController(GtkWidget* view, GtkWidget* headerView, GtkLabel* parsingMetadataLabel);
  ~RenderViewController();
  RenderViewController(const RenderViewController&) = delete;
  RenderViewController& operator=(const RenderViewController&) = delete;

  // The header's text for a finished compile, or for one under way (no duration).
  static std::string labelText(const std::string& compilerName, const std::optional<std::string>& durationString);

  WebKitWebView* webView();
  GtkLabel* parsingMetadataLabel() const { return label_.get(); }
  std::string labelText() const;
  CssView& cssView() { return cssView_; }
  GtkDropTarget* dropTarget() const { return dropTarget_; }

  const std::optional<RenderPresenter>& viewModel() const { return viewModel_; }
  // Shows a result: the first page (or one from a changed template) loads in full, later
  // ones replace the style sheet and the error panel in the loaded page.
  void setViewModel(RenderPresenter presenter);

  // viewDidLoad: puts the web view and the CSS view in place and wires the header.
  void viewDidLoad(GtkBuilder* builder);
  // viewDidAppear: follows the window controller's results and compiling state, names the
  // frame autosave entry, restores the page size and shows the document's current result.
  void viewDidAppear(WindowController& windowController);
  // The window is going away: results that still arrive are not shown.
  void viewWillClose();

  // Page width presets ("phone", "tablet", "desktop", "fill") and zoom, kept per document.
  void setPreviewWidth(const std::string& preset);
  void zoom(int steps);  // 0 resets
  void showCSS(bool shown);

 private:
  void installActions(GtkWindow* window);
  void loadFullPage();
  void updateInPlace(bool replaceStyle);
  void showCompiling(bool compiling);
  void showCompilingNow();
  void showLabel();
  void showWarnings();
  void openErrorLocation();
  void saveSize();
  static gboolean decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                               RenderViewController* self);

  GObjectPtr<GtkWidget> view_;
  GtkWidget* headerView_;  // owned by the window; may be absent
  GObjectPtr<GtkLabel> label_;
  GObjectPtr<WebKitWebView> webView_;
  std::optional<RenderPresenter> viewModel_;
  CssView cssView_;
  bool closed_ = false;

  // Widgets of the window's description, all owned by the window.
  GtkStack* stack_ = nullptr;
  GtkWidget* spinner_ = nullptr;
  GtkWidget* warningsButton_ = nullptr;
  GtkLabel* warningsCount_ = nullptr;
  GtkLabel* warningsText_ = nullptr;
  GtkWindow* window_ = nullptr;
  GtkDropTarget* dropTarget_ = nullptr;  // owned by the window

  // The page in the web view: the URI of the load under way or done and its template.
  std::string loadedURI_;
  std::string loadedTemplate_;
  bool loading_ = false;
  bool compiling_ = false;
  guint compilingTimer_ = 0;

  Settings* settings_ = nullptr;  // the window controller's, from viewDidAppear on
  std::string documentPath_;
  std::string widthPreset_ = "fill";
  double zoomLevel_ = 1.0;
};

}  // namespace fennelview
