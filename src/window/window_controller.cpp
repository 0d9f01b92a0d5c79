// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_controller.hpp"

#include <glib/gi18n.h>

#include <cstring>
#include <utility>

#include "common/resources.hpp"

#include "common/glib_ptr.hpp"
#include "window/browser_share.hpp"
#include "window/document_window.hpp"
#include "preferences/editor_launch.hpp"
#include "preferences/preferences_controller.hpp"
#include "window/render_view_controller.hpp"
#include "window/save_css_dialog.hpp"

namespace fennelview {

namespace {

// The folder as a person says it: "~/projects/x/scss" under the home folder.
std::string spokenFolder(const std::string& folder) {
  const std::string home = g_get_home_dir();
  GCharPtr shown(g_filename_display_name(folder.c_str()));
  if (home.size() > 1 && folder.compare(0, home.size(), home) == 0 &&
      (folder.size() == home.size() || folder[home.size()] == '/')) {
    GCharPtr rest(g_filename_display_name(folder.c_str() + home.size()));
    return std::string("~") + rest.get();
  }
  return shown.get();
}

}  // namespace

std::shared_ptr<WindowController> WindowController::instantiateFromMain(GtkApplication* application,
                                                                       Settings& settings) {
  auto* window = FENNELVIEW_DOCUMENT_WINDOW(g_object_new(FENNELVIEW_TYPE_DOCUMENT_WINDOW, nullptr));
  const auto parts = documentWindowParts(window);
  std::shared_ptr<WindowController> controller(new WindowController(GTK_WINDOW(window), parts.renderView, settings));
  controller->titleLabel_ = parts.titleLabel;
  controller->toastOverlay_ = parts.toastOverlay;
  documentWindowAdopt(window, controller);
  if (application) gtk_window_set_application(GTK_WINDOW(window), application);
  parts.renderView->viewDidLoad(GTK_WINDOW(window), parts.header);
  controller->updateEditorAction();
  controller->updateExportActions();
  // Editors come and go with packages; the monitor reports each change of the installed ones.
  controller->appInfoMonitor_ = GObjectPtr<GAppInfoMonitor>(g_app_info_monitor_get());
  g_signal_connect_object(controller->appInfoMonitor_.get(), "changed", G_CALLBACK(+[](GAppInfoMonitor*, gpointer window) {
                            if (auto self = fromWindow(GTK_WINDOW(window))) self->updateEditorAction();
                          }),
                          window, G_CONNECT_DEFAULT);
  return controller;
}

std::shared_ptr<WindowController> WindowController::fromWindow(GtkWindow* window) {
  return FENNELVIEW_IS_DOCUMENT_WINDOW(window) ? documentWindowController(FENNELVIEW_DOCUMENT_WINDOW(window)) : nullptr;
}

WindowController::WindowController(GtkWindow* window, std::shared_ptr<RenderViewController> renderView,
                                   Settings& settings,
                                   std::pair<Signal<ParsingResult>, Observer<ParsingResult>> pipe)
    : settings_(settings),
      documentChangeSignal_(std::move(pipe.first)),
      documentChangeSink_(std::move(pipe.second)),
      window_(window),
      titleLabel_(nullptr),
      renderView_(std::move(renderView)) {}

WindowController::~WindowController() { tearDown(); }

void WindowController::setDocument(std::shared_ptr<SassDocument> document) {
  document_ = std::move(document);
  if (!document_) return;
  if (!document_->path().empty()) {
    cssExporter_ = std::make_unique<CssExporter>(document_->path(), settings_);
    cssExportObservation_ = settings_.observe(Settings::Entry::cssExport, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->updateExportActions();
    });
    documentChangeSignal_.observeNext([weak = weak_from_this()](const ParsingResult& result) {
      auto self = weak.lock();
      if (!self || !self->cssExporter_ || !self->document_) return;
      auto& document = *self->document_;
      self->cssExporter_->documentCompiled(result, document.parser().compiler(), document.followedFiles(),
                                           [weak](const std::string& why) {
                                             if (auto self = weak.lock()) self->showToast(why);
                                           });
    });
  }
  updateExportActions();
  watchSourceMapReaders();
  document_->parsingResult().producer().start(documentChangeSink_);

  const auto path = document_->path();
  // File names in any encoding read as text.
  GCharPtr name(path.empty() ? g_strdup(_("Untitled")) : g_filename_display_basename(path.c_str()));
  GCharPtr dirname(path.empty() ? nullptr : g_path_get_dirname(path.c_str()));
  GCharPtr folder(dirname ? g_filename_display_name(dirname.get()) : nullptr);
  // Two windows on files of one name tell apart by their folders.
  GCharPtr title(dirname ? g_strdup_printf(
                               /* Translators: a window's title: %1$s is the file's name, %2$s its folder, as in
                                  "bootstrap.scss — ~/projects/x/scss". */
                               _("%1$s \u2014 %2$s"), name.get(), spokenFolder(dirname.get()).c_str())
                         : g_strdup(name.get()));
  gtk_window_set_title(window_, title.get());
  if (titleLabel_) {
    gtk_label_set_text(titleLabel_, title.get());
    gtk_widget_set_tooltip_text(GTK_WIDGET(titleLabel_), folder.get());
  }
}

bool WindowController::openInEditor() {
  if (!document_) return false;
  std::string failure;
  GObjectPtr<GdkAppLaunchContext> context(gdk_display_get_app_launch_context(gtk_widget_get_display(GTK_WIDGET(window_))));
  if (openFileInDefaultEditor(settings_.store(), document_->fileURL(), &failure, G_APP_LAUNCH_CONTEXT(context.get()))) return true;
  showToast(failure);
  return false;
}

void WindowController::showToast(const std::string& text) { showToast(text, {}, {}); }

void WindowController::showToast(const std::string& text, const std::string& button, const std::string& action) {
  if (!toastOverlay_) return;
  GCharPtr escaped(g_markup_escape_text(text.c_str(), -1));  // toasts take markup
  AdwToast* toast = adw_toast_new(escaped.get());
  adw_toast_set_timeout(toast, 10);
  if (!button.empty()) {
    adw_toast_set_button_label(toast, button.c_str());
    adw_toast_set_detailed_action_name(toast, action.c_str());
  }
  adw_toast_overlay_add_toast(toastOverlay_, toast);
}

BrowserShare& WindowController::browserShare() {
  if (!browserShare_) browserShare_ = std::make_unique<BrowserShare>(*this);
  return *browserShare_;
}

void WindowController::showWindow() { gtk_window_present(window_); }

void WindowController::setFrameAutosaveName(const std::string& name) {
  frameAutosaveName_ = name;
  if (name.empty()) return;
  const auto frame = settings_.windowFrame(name);
  if (frame.width && frame.height) gtk_window_set_default_size(window_, *frame.width, *frame.height);
  if (frame.maximized) gtk_window_maximize(window_);
}

void WindowController::saveFrame() {
  // An unsaved document has no name to keep a frame under.
  if (frameAutosaveName_.empty()) return;
  int width = 0, height = 0;
  gtk_window_get_default_size(window_, &width, &height);
  settings_.setWindowFrame(frameAutosaveName_, width, height, gtk_window_is_maximized(window_));
}

void WindowController::windowDidAppear() {
  if (std::exchange(appeared_, true)) return;
  renderView_->viewDidAppear(*this);
  // An install that lacks its compiler or page says so where the user looks, not only on the terminal.
  if (const auto problem = checkResources(); problem && !problem->empty()) {
    GCharPtr first(g_utf8_substring(problem->c_str(), 0, 1));
    GCharPtr upper(g_utf8_strup(first.get(), -1));
    showToast(upper.get() + problem->substr(std::strlen(first.get())));
  }
}

void WindowController::openNewWindow() {
  if (!document_ || document_->path().empty()) return;
  GCharPtr uri(g_filename_to_uri(document_->path().c_str(), nullptr, nullptr));
  if (uri) gtk_widget_activate_action(GTK_WIDGET(window_), "app.new-window", "s", uri.get());
}

void WindowController::saveCssAs() {
  if (!cssExporter_) return;
  const auto proposal = cssExporter_->proposal(renderViewController().linkedCssFile());
  saveCssDialog_ = showSaveCssDialog(window_, proposal, [weak = weak_from_this()](CssExportChoice choice) {
    if (auto self = weak.lock()) self->saveCssTo(choice);
  });
}

void WindowController::saveCss() {
  if (!cssExporter_) return;
  if (const auto kept = cssExporter_->choice()) return saveCssTo(*kept);
  saveCssAs();
}

void WindowController::saveCssTo(const CssExportChoice& choice) {
  if (!cssExporter_ || !document_) return;
  auto told = [weak = weak_from_this(), target = choice.target](std::optional<std::string> failure) {
    auto self = weak.lock();
    if (!self) return;
    if (failure) return self->showToast(*failure);
    GCharPtr name(g_filename_display_basename(target.c_str()));
    GCharPtr text(g_strdup_printf(_("CSS saved to %s"), name.get()));
    self->showToast(text.get());
  };
  cssExporter_->save(choice, document_->parsingResult().value(), document_->parser().compiler(),
                     document_->followedFiles(), std::move(told));
}

bool WindowController::writesCssOnSave() const {
  const auto kept = cssExporter_ ? cssExporter_->choice() : std::nullopt;
  return kept && kept->onEverySave;
}

void WindowController::setWriteCssOnSave(bool on) {
  if (!cssExporter_) return;
  cssExporter_->setOnEverySave(on);
}

void WindowController::updateExportActions() {
  auto* widget = GTK_WIDGET(window_);
  gtk_widget_action_set_enabled(widget, "win.save-css", cssExporter_ != nullptr);
  gtk_widget_action_set_enabled(widget, "win.save-css-as", cssExporter_ != nullptr);
  gtk_widget_action_set_enabled(widget, "win.write-css-on-save", cssExporter_ && cssExporter_->choice());
  g_object_notify(G_OBJECT(window_), "write-css-on-save");
  updateSourceMapWant();
}

void WindowController::watchSourceMapReaders() {
  if (!renderView_) return;
  const auto changed = G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) {
    static_cast<WindowController*>(self)->updateSourceMapWant();
  });
  g_signal_connect(window_, "notify::show-css", changed, this);
  g_signal_connect(window_, "notify::picking", changed, this);
  g_signal_connect(renderViewController().pickPanel().widget(), "notify::visible", changed, this);
  // The inspector tells when it opens, in its own window or attached, and when it closes.
  renderViewController().inspector().setOpenChanged([this](bool open) {
    inspectorOpen_ = open;
    updateSourceMapWant();
  });
  updateSourceMapWant();
}

void WindowController::updateSourceMapWant() {
  if (!document_ || !renderView_ || tornDown_) return;
  auto& view = renderViewController();
  const auto kept = cssExporter_ ? cssExporter_->choice() : std::nullopt;
  const bool wanted = view.cssShown() || view.pickPanel().picking() ||
                      gtk_widget_get_visible(view.pickPanel().widget()) || inspectorOpen_ ||
                      (kept && kept->onEverySave && kept->sourceMap);
  if (wanted && !sourceMapWant_) {
    sourceMapWant_ = document_->wantSourceMap();
  } else if (!wanted) {
    sourceMapWant_ = {};
  }
}

void WindowController::tearDown() {
  if (std::exchange(tornDown_, true)) return;
  if (document_ && renderView_) {
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(renderViewController().pickPanel().widget(), this);
    renderViewController().inspector().setOpenChanged({});
  }
  sourceMapWant_ = {};
  browserShare_.reset();  // every browser's connection ends with the window
  if (renderView_) renderView_->viewWillClose();
  if (document_) document_->close();
}

std::shared_ptr<WindowController> makeWindowControllers(const std::shared_ptr<SassDocument>& document,
                                                        GtkApplication* application, Settings& settings) {
  auto controller = WindowController::instantiateFromMain(application, settings);
  controller->setDocument(document);
  return controller;
}

}  // namespace fennelview
