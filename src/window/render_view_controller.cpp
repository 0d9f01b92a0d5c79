// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_view_controller.hpp"

#include <glib/gi18n.h>

#include "common/formatted.hpp"
#include "document/file_watcher.hpp"
#include "site/kept_page.hpp"
#include "site/project_root.hpp"
#include "site/project_settings.hpp"
#include "site/site_pages.hpp"
#include "site/site_paths.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

namespace fs = std::filesystem;

namespace {

std::string displayName(const fs::path& file) {
  GCharPtr name(g_filename_display_name(file.c_str()));
  return name.get();
}

}  // namespace

RenderViewController::RenderViewController(GtkStack* stack, AdwClamp* previewFrame, GtkBox* cssPage,
                                           GtkBox* previewBox)
    : pageSize_(page_->webView(), previewFrame),       pickPanelWidget_(FENNELVIEW_PICK_PANEL(g_object_ref_sink(newPickPanel(page_->webView())))),
      pickPanel_(&fennelview::pickPanel(pickPanelWidget_.get())),
      stack_(stack) {
  gtk_box_append(previewBox, pickPanel_->widget());
  // The error panel is a widget over the web view: the page's own CSS and scripts cannot hide it.
  GtkWidget* overlay = gtk_overlay_new();
  gtk_overlay_set_child(GTK_OVERLAY(overlay), GTK_WIDGET(page_->webView()));
  errorPanel_ = GTK_WIDGET(g_object_new(GTK_TYPE_BOX, "accessible-role", GTK_ACCESSIBLE_ROLE_ALERT, "orientation",
                                        GTK_ORIENTATION_VERTICAL, "valign", GTK_ALIGN_START, "spacing", 6, nullptr));
  for (const char* name : {"card", "error-panel"}) gtk_widget_add_css_class(errorPanel_, name);
  gtk_widget_set_margin_start(errorPanel_, 12);
  gtk_widget_set_margin_end(errorPanel_, 12);
  gtk_widget_set_margin_top(errorPanel_, 12);
  errorPlace_ = GTK_BUTTON(gtk_button_new());
  keptErrorPlace_ = GObjectPtr<GtkButton>::retain(errorPlace_);
  gtk_widget_add_css_class(GTK_WIDGET(errorPlace_), "link");
  gtk_widget_set_halign(GTK_WIDGET(errorPlace_), GTK_ALIGN_START);
  gtk_widget_set_tooltip_text(GTK_WIDGET(errorPlace_), _("Open in the editor"));
  g_signal_connect(errorPlace_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     static_cast<RenderViewController*>(self)->errorLink_.open();
                   }),
                   this);
  errorLabel_ = GTK_LABEL(gtk_label_new(nullptr));
  gtk_label_set_wrap(errorLabel_, TRUE);
  gtk_label_set_selectable(errorLabel_, TRUE);
  gtk_label_set_xalign(errorLabel_, 0);
  gtk_widget_add_css_class(GTK_WIDGET(errorLabel_), "monospace");
  for (GtkWidget* part : {GTK_WIDGET(errorPlace_), GTK_WIDGET(errorLabel_)}) {
    gtk_widget_set_margin_start(part, 12);
    gtk_widget_set_margin_end(part, 12);
    gtk_box_append(GTK_BOX(errorPanel_), part);
  }
  gtk_widget_set_margin_bottom(GTK_WIDGET(errorLabel_), 12);
  gtk_widget_set_visible(errorPanel_, FALSE);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), errorPanel_);
  adw_clamp_set_child(previewFrame, overlay);
  gtk_widget_set_vexpand(cssView_.widget(), TRUE);
  gtk_box_append(cssPage, cssView_.widget());
  page_->onEditorLink([this] { errorLink_.open(); });
}

RenderViewController::~RenderViewController() {
  page_->onEditorLink({});
  if (pickButton_) {
    g_signal_handlers_disconnect_by_data(pickButton_, this);
    g_object_remove_weak_pointer(G_OBJECT(pickButton_), reinterpret_cast<gpointer*>(&pickButton_));
  }
  // The window's widgets and action group may outlive this controller.
  g_signal_handlers_disconnect_by_data(errorPlace_, this);
  if (pageActions_) {
    for (const char* name : {"show", "choose"}) {
      g_signal_handlers_disconnect_by_data(g_action_map_lookup_action(G_ACTION_MAP(pageActions_.get()), name), this);
    }
  }
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
  g_signal_connect(pageAction_.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant* target, gpointer self) {
                     const std::string page = g_variant_get_string(target, nullptr);
                     static_cast<RenderViewController*>(self)->choosePage(
                         page.empty() ? std::nullopt : std::optional<fs::path>(page));
                   }),
                   this);
  GObjectPtr<GSimpleAction> choose(g_simple_action_new("choose", nullptr));
  g_signal_connect(choose.get(), "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer self) {
                     static_cast<RenderViewController*>(self)->chooseFile();
                   }),
                   this);
  pageActions_ = GObjectPtr<GSimpleActionGroup>(g_simple_action_group_new());
  g_action_map_add_action(G_ACTION_MAP(pageActions_.get()), G_ACTION(pageAction_.get()));
  g_action_map_add_action(G_ACTION_MAP(pageActions_.get()), G_ACTION(choose.get()));
  gtk_widget_insert_action_group(GTK_WIDGET(window), "page", G_ACTION_GROUP(pageActions_.get()));
  updatePageMenu();
  if (header.headerView && GTK_IS_HEADER_BAR(header.headerView)) {
    GtkWidget* button = gtk_menu_button_new();
    gtk_menu_button_set_label(GTK_MENU_BUTTON(button), _("Page"));
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Page"), -1);
    gtk_menu_button_set_menu_model(GTK_MENU_BUTTON(button), G_MENU_MODEL(pageMenu_.get()));
    gtk_widget_set_tooltip_text(button, _("The Page the Style Sheet Is Shown On"));
    gtk_header_bar_pack_start(GTK_HEADER_BAR(header.headerView), button);

    pickButton_ = GTK_TOGGLE_BUTTON(gtk_toggle_button_new());
    g_object_add_weak_pointer(G_OBJECT(pickButton_), reinterpret_cast<gpointer*>(&pickButton_));
    gtk_button_set_icon_name(GTK_BUTTON(pickButton_), "find-location-symbolic");
    gtk_widget_set_tooltip_text(GTK_WIDGET(pickButton_), _("Pick an Element to See Its Rules (Ctrl+Shift+C)"));
    gtk_accessible_update_property(GTK_ACCESSIBLE(pickButton_), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Pick an Element"), -1);
    g_signal_connect(pickButton_, "toggled", G_CALLBACK(+[](GtkToggleButton* toggle, gpointer self) {
                       auto* controller = static_cast<RenderViewController*>(self);
                       if (gtk_toggle_button_get_active(toggle) != controller->pickPanel_->picking()) controller->togglePicking();
                     }),
                     this);
    gtk_header_bar_pack_start(GTK_HEADER_BAR(header.headerView), GTK_WIDGET(pickButton_));
  }
  pickPanel_->setPickingChanged([this](bool picking) {
    if (pickButton_ && gtk_toggle_button_get_active(pickButton_) != picking) gtk_toggle_button_set_active(pickButton_, picking);
  });
  alertLabel_ = header.errorLabel;
  // Tab past the page's last link hands the focus to a child WebKit keeps inside the view, where
  // it would stay; it goes on to the pick panel when it is open, else to the header, as it does
  // everywhere else.
  if (header.headerView) {
    headerView_ = header.headerView;
    g_signal_connect(window, "notify::focus-widget", G_CALLBACK(+[](GtkWindow* window, GParamSpec*, gpointer self) {
                       auto* controller = static_cast<RenderViewController*>(self);
                       auto* view = GTK_WIDGET(controller->page_->webView());
                       auto* focus = gtk_root_get_focus(GTK_ROOT(window));
                       if (focus && focus != view && gtk_widget_is_ancestor(focus, view) && !controller->closed_) {
                         auto* panel = controller->pickPanel_->widget();
                         if (!gtk_widget_get_visible(panel) || !gtk_widget_child_focus(panel, GTK_DIR_TAB_FORWARD)) {
                           gtk_widget_child_focus(controller->headerView_, GTK_DIR_TAB_FORWARD);
                         }
                       }
                     }),
                     this);
  }
}

void RenderViewController::viewDidAppear(WindowController& windowController) {
  // The subscription keeps this controller alive as long as the signal lasts.
  windowController.documentChangeSignal().observeNext([self = shared_from_this()](const ParsingResult& result) {
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
        if (!self || self->closed_ || !self->metadata_) return;
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
  errorLink_.setSettings(windowController.settings());
  pickPanel_->setSettings(windowController.settings());
  pickPanel_->setStyleSheetSource([page = std::weak_ptr<PreviewPage>(page_)](const std::string& url) {
    const auto shown = page.lock();
    return shown ? shown->answerFor(url) : SiteAnswer(SiteRefusal{});
  });
  pickPanel_->setNotice([weak = windowController.weak_from_this()](const std::string& text) {
    if (auto window = weak.lock()) window->showToast(text);
  });
  cssView_.setSettings(windowController.settings());
  windowController_ = windowController.weak_from_this();
  appeared_ = true;

  // The page: one asked for, else the one kept for the document, else its first own page.
  const auto root = projectRootOf(documentPath_, g_get_home_dir());
  if (root) pages_ = findPages(*root, documentPath_);
  std::optional<fs::path> page;
  if (requestedPage_) {
    page = *requestedPage_;
    keepPage(windowController.settings(), documentPath_, page ? page->string() : std::string());
  } else if (const auto kept = keptPage(windowController.settings(), documentPath_)) {
    std::error_code ec;
    if (!kept->empty() && fs::is_regular_file(*kept, ec)) {
      page = fs::path(*kept);
    } else if (!kept->empty()) {
      /* Translators: %1$s is the name of a web page's file. */
      toast(formatted(_("The page %1$s is gone: the style sheet is shown on the sample page."), displayName(*kept).c_str()));
    }
  } else if (!pages_.empty()) {
    page = pages_.front();
  }
  showPage(page);

  document->compiling().producer().start(
      Observer<bool>([weak = std::weak_ptr<RenderViewController>(weak_from_this())](const bool& compiling) {
        if (auto self = weak.lock(); self && self->metadata_ && !self->closed_) self->metadata_->setCompiling(compiling);
      }));
  // A first compile still under way: its starting value is no page to show.
  if (metadata_ && metadata_->compiling()) return;
  setViewModel(RenderPresenter(document->parsingResult().value(), documentPath_));
}

void RenderViewController::viewWillClose() {
  closed_ = true;
  pickPanel_->setPickingChanged({});
  // The window is still there while its content goes.
  if (window_ && headerView_) g_signal_handlers_disconnect_by_data(window_, this);
  headerView_ = nullptr;
  pollingSubscription_.dispose();
  page_->close();
  if (metadata_) metadata_->stop();
}

void RenderViewController::setViewModel(RenderPresenter presenter) {
  viewModel_ = std::make_shared<const RenderPresenter>(std::move(presenter));
  if (closed_) return;
  const auto& place = errorPlace(*viewModel_);
  errorLink_.setPlace(place);
  page_->show(viewModel_, place ? ErrorLink::text(*place) : std::string());
  showErrorPanel();
  if (!viewModel_->isFailure()) cssView_.setCSS(viewModel_->sharedCSS(), viewModel_->sourceMap());
  pickPanel_->show(viewModel_);
  if (metadata_) metadata_->show(*viewModel_);
  if (warnings_) warnings_->show(viewModel_->warnings());
  if (alertLabel_) {
    // Its first line: the whole message, place and excerpt, is on the page.
    const auto& error = viewModel_->errorText();
    const auto line = error.substr(0, error.find('\n'));
    gtk_label_set_text(alertLabel_, line.c_str());
    gtk_widget_set_visible(GTK_WIDGET(alertLabel_), viewModel_->isFailure() && !line.empty());
  }
}

void RenderViewController::showCSS(bool shown) {
  cssShown_ = shown;
  gtk_stack_set_visible_child_name(stack_, shown ? "css" : "preview");
  cssView_.setShown(shown);
}

void RenderViewController::focusContent() {
  auto* content = cssShown_ ? cssView_.widget() : GTK_WIDGET(page_->webView());
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
  cssView_.toggleSearch();
}

void RenderViewController::choosePage(std::optional<fs::path> page) {
  if (!appeared_) {
    requestedPage_ = std::move(page);
    return;
  }
  if (auto controller = windowController_.lock()) {
    keepPage(controller->settings(), documentPath_, page ? page->string() : std::string());
  }
  showPage(page);
}

std::optional<fs::path> RenderViewController::shownPage() const {
  return page_->site() ? std::optional<fs::path>(page_->sitePage()) : std::nullopt;
}

std::optional<fs::path> RenderViewController::linkedCssFile() const {
  return page_->site() ? page_->site()->linkedCssFile() : std::nullopt;
}

std::string RenderViewController::errorPanelText() const {
  return gtk_widget_get_visible(errorPanel_) ? gtk_label_get_text(errorLabel_) : std::string();
}

void RenderViewController::showPage(const std::optional<fs::path>& page) {
  std::optional<fs::path> root;
  if (page) {
    root = projectRootOf(*page, g_get_home_dir());
    // Without a project around it a page is served from its own folder, but never from the whole home.
    std::error_code ec;
    if (!root && page->parent_path() != fs::path(g_get_home_dir()) && page->parent_path() != page->root_path()) {
      root = fs::weakly_canonical(page->parent_path(), ec);
    }
    /* Translators: %1$s is the name of a web page's file. */
    if (!root) toast(formatted(_("The page %1$s lies in no project folder: the sample page is shown."), displayName(*page).c_str()));
  }
  if (page && root) {
    std::optional<fs::path> chosenWebRoot;
    if (auto controller = windowController_.lock()) chosenWebRoot = projectSettings(controller->settings().store(), *root).webRoot;
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(*page, ec);
    page_->showSite(std::make_shared<ServedSite>(*root, webRootFor(file, *root, chosenWebRoot), documentPath_), file);
  } else {
    page_->showSample();
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
  GObjectPtr<GMenu> others(g_menu_new());
  GObjectPtr<GMenuItem> sample(g_menu_item_new(_("Sample Page"), nullptr));
  g_menu_item_set_action_and_target_value(sample.get(), "page.show", g_variant_new_string(""));
  g_menu_append_item(others.get(), sample.get());
  g_menu_append(others.get(), _("Choose…"), "page.choose");
  g_menu_append_section(pageMenu_.get(), nullptr, G_MENU_MODEL(others.get()));
  const auto shown = shownPage();
  g_simple_action_set_state(pageAction_.get(), g_variant_new_string(shown ? shown->c_str() : ""));
}

void RenderViewController::showErrorPanel() {
  const bool shown = page_->site() && viewModel_ && viewModel_->isFailure() && !closed_;
  gtk_widget_set_visible(errorPanel_, shown);
  if (!shown) return;
  const auto& place = errorPlace(*viewModel_);
  gtk_button_set_label(errorPlace_, place ? ErrorLink::text(*place).c_str() : "");
  gtk_widget_set_visible(GTK_WIDGET(errorPlace_), place.has_value());
  gtk_label_set_text(errorLabel_, viewModel_->errorText().c_str());
}

void RenderViewController::chooseFile() {
  GtkFileChooserNative* dialog =
      gtk_file_chooser_native_new(_("Choose a Page"), window_, GTK_FILE_CHOOSER_ACTION_OPEN, _("_Choose"), _("_Cancel"));
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, _("Web pages"));
  gtk_file_filter_add_mime_type(filter, "text/html");
  for (const char* pattern : {"*.html", "*.htm"}) gtk_file_filter_add_pattern(filter, pattern);
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
  g_object_unref(filter);
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkNativeDialog* native, gint response, gpointer data) {
                     std::unique_ptr<std::weak_ptr<RenderViewController>> weak(
                         static_cast<std::weak_ptr<RenderViewController>*>(data));
                     auto self = weak->lock();
                     if (self && !self->closed_ && response == GTK_RESPONSE_ACCEPT) {
                       GObjectPtr<GFile> file(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(native)));
                       GCharPtr path(file ? g_file_get_path(file.get()) : nullptr);
                       if (path) self->choosePage(fs::path(path.get()));
                     }
                     g_object_unref(native);
                   }),
                   new std::weak_ptr<RenderViewController>(weak_from_this()));
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

void RenderViewController::toast(const std::string& text) {
  if (auto controller = windowController_.lock()) controller->showToast(text);
}

}  // namespace fennelview
