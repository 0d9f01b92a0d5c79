// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_view_controller.hpp"

#include <glib/gi18n.h>

#include "common/formatted.hpp"
#include "document/file_watcher.hpp"
#include "document/load_paths.hpp"
#include "site/kept_page.hpp"
#include "site/page_choice.hpp"
#include "site/project_root.hpp"
#include "site/project_settings.hpp"
#include "site/site_pages.hpp"
#include "site/site_paths.hpp"
#include "window/error_panel.hpp"
#include "window/preferences_view.hpp"
#include "window/server_address_dialog.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

namespace fs = std::filesystem;

namespace {

std::string displayName(const fs::path& file) {
  GCharPtr name(g_filename_display_name(file.c_str()));
  return name.get();
}

// The controller of the window a handler is tied to, kept while the handler runs: handlers tied to
// the window end with it, and never reach a controller that is gone.
std::shared_ptr<WindowController> controllerOf(gpointer window) { return WindowController::fromWindow(GTK_WINDOW(window)); }

}  // namespace

RenderViewController::RenderViewController(GtkStack* stack, AdwClamp* previewFrame, FennelviewCssView* cssView,
                                           GtkBox* previewBox)
    : cssView_(GObjectPtr<FennelviewCssView>::retain(cssView)),
      pageSize_(page_->webView(), previewFrame),
      pickPanelWidget_(FENNELVIEW_PICK_PANEL(g_object_ref_sink(newPickPanel(page_->webView())))),
      pickPanel_(&fennelview::pickPanel(pickPanelWidget_.get())),
      inspector_(page_->webView(), [this] { return inspectorTitle(); }),
      stack_(stack) {
  gtk_box_append(previewBox, pickPanel_->widget());
  // The error panel is a widget over the web view: the page's own CSS and scripts cannot hide it.
  GtkWidget* overlay = gtk_overlay_new();
  gtk_overlay_set_child(GTK_OVERLAY(overlay), GTK_WIDGET(page_->webView()));
  errorPanel_ = FENNELVIEW_ERROR_PANEL(errorPanelNew());
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), GTK_WIDGET(errorPanel_));
  serverPanel_ = FENNELVIEW_SERVER_PANEL(serverPanelNew());
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), GTK_WIDGET(serverPanel_));
  adw_clamp_set_child(previewFrame, overlay);
  panes_ = std::make_unique<PaneStrip>(page_, GTK_OVERLAY(overlay), pageSize_);
  page_->onEditorLink([this] { openErrorPlace(); });
  page_->onPageFollowed([this] {
    updatePageMenu();
    panes_->firstPageFollowed();
  });
  panes_->onPageFollowed([this] { updatePageMenu(); });
}

RenderViewController::~RenderViewController() {
  page_->onEditorLink({});
  page_->onPageFollowed({});
  panes_->onPageFollowed({});
  // The dialog is this controller's alone; its answer must not come after it.
  if (pageChooser_) g_signal_handlers_disconnect_by_data(pageChooser_.get(), this);
}

void RenderViewController::viewDidLoad(GtkWindow* window, const HeaderOutlets& header) {
  drop_ = std::make_unique<FileDrop>(window);
  metadata_ = std::make_unique<ParsingMetadataView>(header.parsingMetadataLabel, header.compilingSpinner);
  warnings_ = std::make_unique<WarningsView>(header.warningsButton, header.warningsCount, header.warningsList);
  window_ = window;

  // The Page menu: the pages found for the document, the sample page, any other HTML file.
  pageMenu_ = GObjectPtr<GMenu>(g_menu_new());
  pageAction_ = GObjectPtr<GSimpleAction>(
      g_simple_action_new_stateful("show", G_VARIANT_TYPE_STRING, g_variant_new_string("")));
  // The actions' handlers end with the window, which owns this controller through its own.
  g_signal_connect_object(pageAction_.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* target, gpointer window) {
                            const std::string page = g_variant_get_string(target, nullptr);
                            if (auto controller = controllerOf(window)) {
                              controller->renderViewController().choosePage(
                                  page.empty() ? std::nullopt : std::optional<fs::path>(page));
                            }
                          }),
                          window, G_CONNECT_DEFAULT);
  GObjectPtr<GSimpleAction> choose(g_simple_action_new("choose", nullptr));
  g_signal_connect_object(choose.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
                            if (auto controller = controllerOf(window)) controller->renderViewController().chooseFile();
                          }),
                          window, G_CONNECT_DEFAULT);
  GObjectPtr<GSimpleAction> loadPaths(g_simple_action_new("load-paths", nullptr));
  g_signal_connect_object(loadPaths.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
                            if (auto controller = controllerOf(window)) controller->renderViewController().editLoadPaths();
                          }),
                          window, G_CONNECT_DEFAULT);
  GObjectPtr<GSimpleAction> addLoadPath(g_simple_action_new("add-load-path", G_VARIANT_TYPE_STRING));
  g_signal_connect_object(addLoadPath.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* folder, gpointer window) {
                            auto controller = controllerOf(window);
                            if (!controller) return;
                            const auto& root = controller->renderViewController().projectRoot_;
                            if (root) addProjectLoadPath(controller->settings(), *root, g_variant_get_string(folder, nullptr));
                          }),
                          window, G_CONNECT_DEFAULT);
  GObjectPtr<GSimpleAction> openPlace(g_simple_action_new("open-error-place", nullptr));
  g_signal_connect_object(openPlace.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
                            if (auto controller = controllerOf(window)) controller->renderViewController().openErrorPlace();
                          }),
                          window, G_CONNECT_DEFAULT);
  pageActions_ = GObjectPtr<GSimpleActionGroup>(g_simple_action_group_new());
  for (GSimpleAction* action : {pageAction_.get(), choose.get(), loadPaths.get(), addLoadPath.get(), openPlace.get()}) {
    g_action_map_add_action(G_ACTION_MAP(pageActions_.get()), G_ACTION(action));
  }
  addServerActions();
  gtk_widget_insert_action_group(GTK_WIDGET(window), "page", G_ACTION_GROUP(pageActions_.get()));
  updatePageMenu();
  panes_->installActions(GTK_WIDGET(window));
  if (header.pageButton) gtk_menu_button_set_menu_model(header.pageButton, G_MENU_MODEL(pageMenu_.get()));
  // The header's pick button follows the window's "picking", which follows the panel.
  pickPanel_->setPickingChanged([window](bool) { g_object_notify(G_OBJECT(window), "picking"); });
  alertLabel_ = header.errorLabel;
  if (header.headerView) {
    headerView_ = header.headerView;
    // On the window itself, so it ends with it; closing clears headerView_ and with it the handler's work.
    g_signal_connect(window, "notify::focus-widget", G_CALLBACK(+[](GtkWindow* window, GParamSpec*, gpointer) {
                       auto controller = controllerOf(window);
                       if (!controller) return;
                       auto& self = controller->renderViewController();
                       if (self.headerView_) self.focusMoved(gtk_root_get_focus(GTK_ROOT(window)));
                     }),
                     nullptr);
  }
}

void RenderViewController::focusMoved(GtkWidget* focus) {
  auto* view = GTK_WIDGET(page_->webView());
  const bool fromHeader = std::exchange(focusInHeader_, focus && headerView_ && gtk_widget_is_ancestor(focus, headerView_));
  if (!focus || focus == view || !gtk_widget_is_ancestor(focus, view)) return;
  // A child WebKit keeps inside the view takes the focus past either end of the page, and would
  // keep it. Shift+Tab from the header goes on into the page.
  if (fromHeader) {
    gtk_widget_grab_focus(view);
    return;
  }
  // Tab past the page's last element: GTK's own move of the same key usually follows and reaches
  // what comes after the page, the pick panel when it is open, else the header's first button;
  // if none comes, the focus goes there all the same. Moving it here would race that move.
  if (leftPageTimer_.active()) return;
  leftPageTimer_ = MainLoopSource::after(std::chrono::milliseconds(200), [this] {
    auto* view = GTK_WIDGET(page_->webView());
    auto* focus = window_ ? gtk_root_get_focus(GTK_ROOT(window_)) : nullptr;
    if (!focus || focus == view || !gtk_widget_is_ancestor(focus, view)) return;
    auto* panel = pickPanel_->widget();
    if (gtk_widget_get_visible(panel) && gtk_widget_child_focus(panel, GTK_DIR_TAB_FORWARD)) return;
    if (headerView_) gtk_widget_child_focus(headerView_, GTK_DIR_TAB_FORWARD);
  });
}

void RenderViewController::viewDidAppear(WindowController& windowController) {
  // The subscription keeps this controller alive until the window closes.
  resultsSubscription_ = windowController.documentChangeSignal().observeNext([self = shared_from_this()](const ParsingResult& result) {
    self->setViewModel(RenderPresenter(result, self->documentPath_));
  });
  page_->setNotice([weak = windowController.weak_from_this()](const std::string& text) {
    if (auto window = weak.lock()) window->showToast(text);
  });
  // A settings file kept aside is the user's data: the first window says so.
  if (const auto notice = windowController.settings().takeNotice()) windowController.showToast(*notice);
  const auto document = windowController.sassDocument();
  if (!document) return;
  windowController.setFrameAutosaveName(document->path());
  documentPath_ = document->path();
  // Saves that inotify cannot see are found by polling; the header says so while it lasts.
  pollingSubscription_ = sharedFileWatcher().pollingReason().producer().start(Observer<std::string>(
      [weak = std::weak_ptr<RenderViewController>(weak_from_this()), window = windowController.weak_from_this()](
          const std::string& reason) {
        auto self = weak.lock();
        if (!self || !self->metadata_) return;
        const bool polled = !reason.empty() && sharedFileWatcher().isPolled(self->documentPath_);
        /* Translators: %1$s is why, such as "Some files are on a network or shared file system (NFS), …". */
        self->metadata_->setNote(
            polled ? formatted(_("Saves are found by checking the file every half second: %1$s"), reason.c_str()) : "");
        if (polled && !self->pollingToldOnce_) {
          self->pollingToldOnce_ = true;
          if (auto controller = window.lock()) controller->showToast(_("Saves of this file are found by checking it every half second."));
        }
      }));
  pageSize_.keepIn(windowController.settings(), documentPath_);
  panes_->keepIn(windowController.settings(), documentPath_);
  errorLink_.setSettings(windowController.settings());
  pickPanel_->setSettings(windowController.settings());
  pickPanel_->setPanes([this] {
    PickPanel::PaneList list;
    const auto views = panes_->webViews();
    for (std::size_t pane = 0; pane < views.size(); ++pane) list.emplace_back(views[pane], panes_->name(pane));
    return list;
  });
  pickPanel_->setStyleSheetSource([page = std::weak_ptr<PreviewPage>(page_)](const std::string& url) {
    const auto shown = page.lock();
    return shown ? shown->answerFor(url) : SiteAnswer(SiteRefusal{});
  });
  pickPanel_->setFileServedAt([this](const std::string& url) -> std::optional<std::filesystem::path> {
    const auto* server = page_->server();
    const auto origin = server ? serverOrigin(server->address()) : std::string();
    if (origin.empty() || !projectRoot_ || !url.starts_with(origin + "/")) return std::nullopt;
    return projectFileServedAt(*projectRoot_, url.substr(origin.size()));
  });
  pickPanel_->setNotice([weak = windowController.weak_from_this()](const std::string& text) {
    if (auto window = weak.lock()) window->showToast(text);
  });
  cssView().setSettings(windowController.settings());
  windowController_ = windowController.weak_from_this();
  appeared_ = true;

  // The page: one asked for, else the one kept for the document, else its first own page.
  const auto root = projectRootOf(documentPath_, g_get_home_dir());
  projectRoot_ = root;
  if (root) pages_ = findPages(*root, documentPath_);
  const auto choice = pageToShow(requestedPage_, keptPage(windowController.settings(), documentPath_), pages_);
  if (requestedPage_) keepPage(windowController.settings(), documentPath_, choice.page ? choice.page->string() : std::string());
  if (choice.gone) {
    /* Translators: %1$s is the name of a web page's file. */
    toast(formatted(_("The page %1$s is gone: the style sheet is shown on the sample page."), displayName(*choice.gone).c_str()));
  }
  showPage(choice.page);
  // No page of the project links the CSS: perhaps a development server's page does.
  if (!choice.page && pages_.empty() && !keptPage(windowController.settings(), documentPath_)) searchServers();

  compilingSubscription_ = document->compiling().producer().start(
      Observer<bool>([weak = std::weak_ptr<RenderViewController>(weak_from_this())](const bool& compiling) {
        if (auto self = weak.lock(); self && self->metadata_) self->metadata_->setCompiling(compiling);
      }));
  // A first compile still under way: its starting value is no page to show.
  if (metadata_ && metadata_->compiling()) return;
  setViewModel(RenderPresenter(document->parsingResult().value(), documentPath_));
}

void RenderViewController::viewWillClose() {
  search_.reset();
  resultsSubscription_.dispose();
  compilingSubscription_.dispose();
  pickPanel_->setPickingChanged({});
  headerView_ = nullptr;
  leftPageTimer_.reset();
  if (pageChooser_) gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(pageChooser_.get()));
  pollingSubscription_.dispose();
  page_->close();
  panes_->close();
  inspector_.close();
  if (metadata_) metadata_->stop();
}

std::string RenderViewController::inspectorTitle() const {
  const auto document = displayName(fs::path(documentPath_).filename());
  if (const auto page = shownPage()) {
    /* Translators: the Web Inspector's window; %1$s is the page's file, %2$s the Sass file. */
    return formatted(_("Web Inspector \u2014 %1$s \u2014 %2$s"), displayName(page->filename()).c_str(), document.c_str());
  }
  /* Translators: the Web Inspector's window on the sample page; %1$s is the Sass file. */
  return formatted(_("Web Inspector \u2014 %1$s"), document.c_str());
}

void RenderViewController::setViewModel(RenderPresenter presenter) {
  viewModel_ = std::make_shared<const RenderPresenter>(std::move(presenter));
  const auto& place = errorPlace(*viewModel_);
  errorLink_.setPlace(place);
  page_->show(viewModel_, place ? ErrorLink::text(*place) : std::string());
  panes_->show(viewModel_, place ? ErrorLink::text(*place) : std::string());
  showErrorPanel();
  if (!viewModel_->isFailure()) cssView().setCSS(viewModel_->sharedCSS(), viewModel_->sourceMap());
  offerLoadPath();
  pickPanel_->show(viewModel_);
  if (metadata_) metadata_->show(*viewModel_);
  if (warnings_) warnings_->show(viewModel_->warnings());
  if (alertLabel_) {
    // Its first line: the whole message, place and excerpt, is on the page.
    const auto& error = viewModel_->errorText();
    const auto line = error.substr(0, error.find('\n'));
    announce(GTK_WIDGET(alertLabel_), viewModel_->isFailure() ? line : std::string());
    gtk_label_set_text(alertLabel_, line.c_str());
  }
}

void RenderViewController::showCSS(bool shown) {
  cssShown_ = shown;
  gtk_stack_set_visible_child_name(stack_, shown ? "css" : "preview");
  cssView().setShown(shown);
}

void RenderViewController::focusContent() {
  auto* content = cssShown_ ? cssView().widget() : GTK_WIDGET(page_->webView());
  if (!gtk_widget_grab_focus(content)) gtk_widget_child_focus(content, GTK_DIR_TAB_FORWARD);
}

void RenderViewController::togglePicking() {
  if (pickPanel_->picking()) {
    pickPanel_->leave();
    return;
  }
  // The page takes the pointer and the keys: Escape in it leaves.
  if (cssShown_ && window_) g_object_set(window_, "show-css", FALSE, nullptr);
  pickPanel_->enter();
  gtk_widget_grab_focus(GTK_WIDGET(page_->webView()));
}

void RenderViewController::find() {
  cssView().toggleSearch();
}

void RenderViewController::choosePage(std::optional<fs::path> page) {
  if (!appeared_) {
    requestedPage_ = std::move(page);
    return;
  }
  if (auto controller = windowController_.lock()) {
    keepPage(controller->settings(), documentPath_, page ? page->string() : std::string());
  }
  pageChosen_ = true;
  showPage(page);
}

std::optional<fs::path> RenderViewController::shownPage() const {
  return page_->site() ? std::optional<fs::path>(page_->sitePage()) : std::nullopt;
}

std::optional<fs::path> RenderViewController::linkedCssFile() const {
  // A server's page: the project's file the server most likely serves at its link.
  if (const auto* server = page_->server()) {
    return projectRoot_ && !server->linkedPath().empty() ? projectFileServedAt(*projectRoot_, server->linkedPath()) : std::nullopt;
  }
  return page_->site() ? page_->site()->linkedCssFile() : std::nullopt;
}

std::string RenderViewController::errorPanelText() const { return shownError(errorPanel_); }

std::string RenderViewController::serverProblemText() const { return shownServerProblem(serverPanel_); }

std::optional<std::string> RenderViewController::shownServer() const {
  return page_->server() ? std::optional<std::string>(page_->server()->address()) : std::nullopt;
}

void RenderViewController::showServer(const std::string& address) {
  if (auto controller = windowController_.lock(); controller && projectRoot_) {
    keepServerAddress(controller->settings().store(), *projectRoot_, address);
  }
  page_->showServer(address, sassStem(documentPath_), projectRoot_, [this](const std::string& text, bool canTrust) {
    showServerProblem(serverPanel_, text, canTrust);
  });
  updatePageMenu();
  showErrorPanel();
}

void RenderViewController::searchServers(const std::vector<std::uint16_t>& ports) {
  search_ = std::make_unique<ServerSearch>(sassStem(documentPath_), ports, [this](const std::vector<std::string>& found) {
    foundServers_ = found;
    updatePageMenu();
    // Shown at once only when it is the one answer and nothing else was asked for meanwhile.
    if (found.size() == 1 && !pageChosen_ && !page_->site()) showServer(found.front());
  });
}

void RenderViewController::addServerActions() {
  const auto add = [&](const char* name, GCallback activate, const GVariantType* type = nullptr) {
    GObjectPtr<GSimpleAction> action(g_simple_action_new(name, type));
    g_signal_connect_object(action.get(), "activate", activate, window_, G_CONNECT_DEFAULT);
    g_action_map_add_action(G_ACTION_MAP(pageActions_.get()), G_ACTION(action.get()));
  };
  add("server-address", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
        auto controller = controllerOf(window);
        if (!controller) return;
        const auto shown = controller->renderViewController().shownServer();
        askServerAddress(GTK_WINDOW(window), shown.value_or(""), [weak = controller->weak_from_this()](const std::string& address) {
          if (auto controller = weak.lock()) controller->renderViewController().choosePage(fs::path(address));
        });
      }));
  add("search-servers", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
        if (auto controller = controllerOf(window)) controller->renderViewController().searchServers();
      }));
  add("retry-server", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
        auto controller = controllerOf(window);
        if (auto* server = controller ? controller->renderViewController().page_->server() : nullptr) server->retry();
      }));
  add("trust-server", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer window) {
        auto controller = controllerOf(window);
        if (auto* server = controller ? controller->renderViewController().page_->server() : nullptr) server->trust();
      }));
}

void RenderViewController::showPage(const std::optional<fs::path>& page) {
  showServerProblem(serverPanel_, {}, false);
  if (page && looksLikeServerAddress(page->string())) {
    if (const auto address = serverAddress(page->string())) return showServer(*address);
    /* Translators: %1$s is what was given as a server's address. */
    toast(formatted(_("%1$s is no http: or https: address: the sample page is shown."), page->c_str()));
    page_->showSample();
    updatePageMenu();
    return;
  }
  // A server's template shows only as the server makes it, never raw; a page whose own link
  // names the CSS (a script framework's {{ }} in it) is no template.
  const auto head = page ? readPageHead(*page) : std::string();
  if (page && isServerTemplate(head) && !linksDocumentCss(head, {}, sassStem(documentPath_))) {
    page_->showSample();
    updatePageMenu();
    showErrorPanel();
    if (auto controller = windowController_.lock()) {
      /* Translators: %1$s is the name of a template file, such as "base.html". */
      controller->showToast(formatted(_("A server makes the page from %1$s: enter its address to see it."),
                                      displayName(page->filename()).c_str()),
                            _("Server Address…"), "page.server-address");
    }
    return;
  }
  std::optional<fs::path> root;
  if (page) {
    root = servingRootOf(*page, g_get_home_dir());
    /* Translators: %1$s is the name of a web page's file. */
    if (!root) toast(formatted(_("The page %1$s lies in no project folder: the sample page is shown."), displayName(*page).c_str()));
  }
  if (page && root) {
    std::optional<fs::path> chosenWebRoot;
    if (auto controller = windowController_.lock()) chosenWebRoot = projectSettings(controller->settings().store(), *root).webRoot;
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(*page, ec);
    const auto webRoot = webRootFor(file, *root, chosenWebRoot);
    page_->showSite(std::make_shared<ServedSite>(*root, webRoot, documentPath_), file);
    panes_->showSite(file);
  } else {
    page_->showSample();
    panes_->showSample();
  }
  updatePageMenu();
  showErrorPanel();
}

void RenderViewController::updatePageMenu() {
  if (!pageMenu_) return;
  g_menu_remove_all(pageMenu_.get());
  GObjectPtr<GMenu> found(g_menu_new());
  const auto root = projectRootOf(documentPath_, g_get_home_dir());
  for (const auto& page : pages_) {
    const fs::path shown = root ? page.lexically_relative(*root) : page.filename();
    GObjectPtr<GMenuItem> item(g_menu_item_new(displayName(shown).c_str(), nullptr));
    g_menu_item_set_action_and_target_value(item.get(), "page.show", g_variant_new_string(page.c_str()));
    g_menu_append_item(found.get(), item.get());
  }
  g_menu_append_section(pageMenu_.get(), nullptr, G_MENU_MODEL(found.get()));
  // The servers found and the ones the project used, each once.
  GObjectPtr<GMenu> servers(g_menu_new());
  std::vector<std::string> offered = foundServers_;
  if (auto controller = windowController_.lock(); controller && projectRoot_) {
    for (const auto& address : projectSettings(controller->settings().store(), *projectRoot_).serverAddresses) {
      if (std::find(offered.begin(), offered.end(), address) == offered.end()) offered.push_back(address);
    }
  }
  for (const auto& address : offered) {
    if (!g_utf8_validate(address.c_str(), -1, nullptr)) continue;
    GObjectPtr<GMenuItem> item(g_menu_item_new(address.c_str(), nullptr));
    g_menu_item_set_action_and_target_value(item.get(), "page.show", g_variant_new_string(address.c_str()));
    g_menu_append_item(servers.get(), item.get());
  }
  g_menu_append(servers.get(), _("Server Address…"), "page.server-address");
  g_menu_append(servers.get(), _("Search Again"), "page.search-servers");
  g_menu_append_section(pageMenu_.get(), nullptr, G_MENU_MODEL(servers.get()));
  GObjectPtr<GMenu> others(g_menu_new());
  GObjectPtr<GMenuItem> sample(g_menu_item_new(_("Sample Page"), nullptr));
  g_menu_item_set_action_and_target_value(sample.get(), "page.show", g_variant_new_string(""));
  g_menu_append_item(others.get(), sample.get());
  g_menu_append(others.get(), _("Choose…"), "page.choose");
  if (projectRoot_) g_menu_append(others.get(), _("Load Paths of the Project…"), "page.load-paths");
  g_menu_append_section(pageMenu_.get(), nullptr, G_MENU_MODEL(others.get()));
  const auto shown = shownPage();
  const auto server = shownServer();
  g_simple_action_set_state(pageAction_.get(), g_variant_new_string(server ? server->c_str() : shown ? shown->c_str() : ""));
}

void RenderViewController::showErrorPanel() {
  const bool shown = (page_->site() || page_->server()) && viewModel_ && viewModel_->isFailure();
  const auto& place = shown ? errorPlace(*viewModel_) : std::nullopt;
  showError(errorPanel_, shown ? viewModel_->errorText() : std::string(), place ? ErrorLink::text(*place) : std::string());
}

void RenderViewController::chooseFile() {
  // One chooser, kept by this controller: its answer comes to it and ends with it.
  if (!pageChooser_) {
    pageChooser_ = GObjectPtr<GtkFileChooserNative>(
        gtk_file_chooser_native_new(_("Choose a Page"), window_, GTK_FILE_CHOOSER_ACTION_OPEN, _("_Choose"), _("_Cancel")));
    GObjectPtr<GtkFileFilter> filter(gtk_file_filter_new());
    gtk_file_filter_set_name(filter.get(), _("Web pages"));
    gtk_file_filter_add_mime_type(filter.get(), "text/html");
    for (const char* pattern : {"*.html", "*.htm"}) gtk_file_filter_add_pattern(filter.get(), pattern);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(pageChooser_.get()), filter.get());
    g_signal_connect(pageChooser_.get(), "response", G_CALLBACK(+[](GtkNativeDialog* native, gint response, gpointer self) {
                       if (response != GTK_RESPONSE_ACCEPT) return;
                       GObjectPtr<GFile> file(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(native)));
                       GCharPtr path(file ? g_file_get_path(file.get()) : nullptr);
                       if (path) static_cast<RenderViewController*>(self)->choosePage(fs::path(path.get()));
                     }),
                     this);
  }
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(pageChooser_.get()));
}

void RenderViewController::openErrorPlace() {
  GObjectPtr<GdkAppLaunchContext> context(gdk_display_get_app_launch_context(gtk_widget_get_display(GTK_WIDGET(stack_))));
  errorLink_.open(G_APP_LAUNCH_CONTEXT(context.get()));
}

void RenderViewController::editLoadPaths() {
  auto controller = windowController_.lock();
  if (!controller || !projectRoot_) return;
  auto& view = PreferencesView::instantiate(controller->settings(), window_, *projectRoot_);
  gtk_window_present(view.window());
}

void RenderViewController::offerLoadPath() {
  if (!viewModel_->isFailure()) offeredImport_.clear();
  const auto missing = viewModel_->isFailure() ? missingImport(viewModel_->errorText()) : std::nullopt;
  if (!missing || !projectRoot_ || *missing == offeredImport_) return;
  offeredImport_ = *missing;
  offeredLoadPath_ = nodeModulesFolderFor(*missing, *projectRoot_);
  auto controller = windowController_.lock();
  // An action's target is UTF-8; a folder named otherwise is left to the Page menu's dialog.
  if (!offeredLoadPath_ || !controller || !g_utf8_validate(offeredLoadPath_->c_str(), -1, nullptr)) return;
  GVariant* folder = g_variant_ref_sink(g_variant_new_string(offeredLoadPath_->c_str()));
  GCharPtr action(g_action_print_detailed_name("page.add-load-path", folder));
  g_variant_unref(folder);
  /* Translators: %1$s is what a style sheet imports, %2$s a folder, such as "node_modules/foundation-sites/scss". */
  controller->showToast(formatted(_("“%1$s” is found in %2$s."), missing->c_str(), displayName(*offeredLoadPath_).c_str()),
                        _("Add Load Path"), action.get());
}

void RenderViewController::toast(const std::string& text) {
  if (auto controller = windowController_.lock()) controller->showToast(text);
}

}  // namespace fennelview
