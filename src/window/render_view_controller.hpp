// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <adwaita.h>
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/main_loop_source.hpp"
#include "document/signal.hpp"
#include "present/render_presenter.hpp"
#include "window/css_view.hpp"
#include "present/error_link.hpp"
#include "window/error_panel.hpp"
#include "window/file_drop.hpp"
#include "window/inspector_window.hpp"
#include "window/page_size.hpp"
#include "window/pane_strip.hpp"
#include "window/parsing_metadata_view.hpp"
#include "window/pick_panel.hpp"
#include "window/preview_page.hpp"
#include "window/server_panel.hpp"
#include "site/server_pages.hpp"
#include "site/server_search.hpp"
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
  GtkMenuButton* pageButton;  // may be absent
};

// The content of a document window: follows the window controller's results and the
// document's compiling state, and hands each result to the parts that show it (the page, the
// header's line, the warnings, the CSS view, the error's link). Picks the page the document is
// shown on (its own page from its project, or the sample page) and offers the choice in the
// header's Page menu; on an own page an error shows in a panel above the web view.
class RenderViewController : public std::enable_shared_from_this<RenderViewController> {
 public:
  // The render view's own widgets: the pages' stack, the frame the page sits in, the CSS view and
  // the box beside the page that takes the pick panel.
  RenderViewController(GtkStack* stack, AdwClamp* previewFrame, FennelviewCssView* cssView, GtkBox* previewBox);
  ~RenderViewController();
  RenderViewController(const RenderViewController&) = delete;
  RenderViewController& operator=(const RenderViewController&) = delete;

  WebKitWebView* webView() const { return page_->webView(); }
  const PreviewPage& previewPage() const { return *page_; }
  std::string labelText() const { return metadata_ ? metadata_->text() : std::string(); }
  CssView& cssView() { return cssViewOf(cssView_.get()); }
  PageSize& pageSize() { return pageSize_; }
  PaneStrip& paneStrip() { return *panes_; }
  InspectorWindow& inspector() { return inspector_; }
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
  // Pick mode: the next element clicked (or chosen with Enter) in the page shows its rules.
  void togglePicking();
  PickPanel& pickPanel() { return *pickPanel_; }

  // Shows the document on `page` (none: the sample page) and keeps that choice for it. Before
  // the window appears the choice waits and wins over the kept one.
  void choosePage(std::optional<std::filesystem::path> page);
  // The file the own page links for the compiled CSS, none on the sample page.
  std::optional<std::filesystem::path> linkedCssFile() const;
  // The own page shown, none on the sample page.
  std::optional<std::filesystem::path> shownPage() const;
  const std::vector<std::filesystem::path>& foundPages() const { return pages_; }
  // The address of the server's page shown, none for a file's page or the sample page.
  std::optional<std::string> shownServer() const;
  // Asks local servers on `ports` for a page that links the document's CSS: the ones that do are
  // offered in the Page menu, a single one is shown at once unless the user chose a page.
  void searchServers(const std::vector<std::uint16_t>& ports = commonServerPorts());
  const std::vector<std::string>& foundServers() const { return foundServers_; }
  // Why the server's page is not shown; empty while it is.
  std::string serverProblemText() const;
  // The text of the error panel over an own page; empty while it is hidden.
  std::string errorPanelText() const;
  // The folder under node_modules last offered as a project load path for an import not found.
  const std::optional<std::filesystem::path>& offeredLoadPath() const { return offeredLoadPath_; }

 private:
  std::shared_ptr<PreviewPage> page_ = std::make_shared<PreviewPage>();
  Disposable resultsSubscription_;
  Disposable compilingSubscription_;
  Disposable pollingSubscription_;
  bool pollingToldOnce_ = false;
  // Kept, so the CSS view outlives the window while results may still arrive.
  GObjectPtr<FennelviewCssView> cssView_;
  PageSize pageSize_;
  std::unique_ptr<PaneStrip> panes_;
  ErrorLink errorLink_;
  std::unique_ptr<ParsingMetadataView> metadata_;
  std::unique_ptr<WarningsView> warnings_;
  std::unique_ptr<FileDrop> drop_;
  GObjectPtr<FennelviewPickPanel> pickPanelWidget_;
  PickPanel* pickPanel_;  // the widget's own part
  InspectorWindow inspector_;
  void showPage(const std::optional<std::filesystem::path>& page);
  void updatePageMenu();
  void showErrorPanel();
  void chooseFile();
  void editLoadPaths();
  // Keeps Tab and Shift+Tab moving between the page and the header.
  void focusMoved(GtkWidget* focus);
  void openErrorPlace();
  // Offers, once per import, the folder under node_modules that a failed import needs.
  void offerLoadPath();
  void toast(const std::string& text);
  std::string inspectorTitle() const;
  void showServer(const std::string& address);
  void addServerActions();

  FennelviewServerPanel* serverPanel_;  // owned by the render view
  std::unique_ptr<ServerSearch> search_;
  std::vector<std::string> foundServers_;
  bool pageChosen_ = false;

  std::weak_ptr<WindowController> windowController_;
  GtkWindow* window_ = nullptr;  // owns the render view
  FennelviewErrorPanel* errorPanel_;  // owned by the render view
  GObjectPtr<GMenu> pageMenu_;
  GObjectPtr<GSimpleAction> pageAction_;
  GObjectPtr<GSimpleActionGroup> pageActions_;
  std::vector<std::filesystem::path> pages_;
  std::optional<std::filesystem::path> projectRoot_;
  std::string offeredImport_;
  std::optional<std::filesystem::path> offeredLoadPath_;
  std::optional<std::optional<std::filesystem::path>> requestedPage_;
  bool appeared_ = false;
  GtkLabel* alertLabel_ = nullptr;  // the header's error line, owned by the window
  GtkWidget* headerView_ = nullptr;  // owned by the window
  bool focusInHeader_ = false;
  MainLoopSource leftPageTimer_;
  GObjectPtr<GtkFileChooserNative> pageChooser_;
  GtkStack* stack_;  // owned by the render view
  std::shared_ptr<const RenderPresenter> viewModel_;
  std::string documentPath_;
  bool cssShown_ = false;
};

}  // namespace fennelview
