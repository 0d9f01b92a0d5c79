// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_view_controller.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "preferences/editor_line.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

namespace {

// Our own script world: the page's scripts cannot see or redefine what runs here.
constexpr const char* kWorld = "fennelview";
// Links to this scheme in the error panel ask for the error's place in the editor.
constexpr const char* kEditorLink = "fennelview-editor:open";
constexpr auto kCompilingDelay = 150;  // ms: a quick compile does not flash the spinner

// Replaces the user's style sheet and the error panel of the loaded page. After an error
// and its fix the page returns to where it was before the error, unless the user scrolled.
constexpr const char* kUpdateScript = R"JS(
const style = document.getElementById('fennelview-css');
const panel = document.getElementById('fennelview-error');
if (!style || !panel) return false;
const x = window.scrollX, y = window.scrollY;
if (replaceStyle) style.textContent = css;
panel.textContent = error;
if (error && file) {
  const link = document.createElement('a');
  link.id = 'fennelview-error-location';
  link.href = editorLink;
  link.textContent = file + (line ? ':' + line + (column ? ':' + column : '') : '');
  link.title = 'Open in the editor';
  panel.prepend(link, '\n');
}
const kept = globalThis.fennelviewKept;
if (error && !kept) {
  globalThis.fennelviewKept = {x, y, shownY: window.scrollY};
} else if (!error && kept) {
  if (window.scrollY === kept.shownY) window.scrollTo(kept.x, kept.y);
  globalThis.fennelviewKept = null;
}
return true;
)JS";

struct WidthPreset {
  const char* name;
  int width;  // -1: the whole window
};
constexpr std::array<WidthPreset, 4> kWidthPresets{{{"phone", 375}, {"tablet", 768}, {"desktop", 1280}, {"fill", -1}}};
constexpr std::array<double, 13> kZoomLevels{0.5, 0.67, 0.75, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

std::string withoutFragment(const char* uri) {
  std::string text = uri ? uri : "";
  return text.substr(0, text.find('#'));
}

// Callbacks outlive nothing: they hold the controller weakly.
using WeakSelf = std::weak_ptr<RenderViewController>;

}  // namespace

RenderViewController::RenderViewController(GtkWidget* view, GtkWidget* headerView, GtkLabel* parsingMetadataLabel)
    : view_(GObjectPtr<GtkWidget>::retain(view)),
      headerView_(headerView),
      label_(GObjectPtr<GtkLabel>::retain(parsingMetadataLabel)) {}

RenderViewController::~RenderViewController() {
  if (compilingTimer_) g_source_remove(compilingTimer_);
  if (webView_) g_signal_handlers_disconnect_by_data(webView_.get(), this);
}

std::string RenderViewController::labelText(const std::string& compilerName,
                                            const std::optional<std::string>& durationString) {
  if (!durationString) return "Compiling\u2026";
  return (compilerName.empty() ? "" : compilerName + " ") + "\U0001F552 " + *durationString;
}

WebKitWebView* RenderViewController::webView() {
  if (!webView_) {
    webView_ = GObjectPtr<WebKitWebView>(WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new())));
    g_signal_connect(webView_.get(), "decide-policy", G_CALLBACK(decidePolicy), this);
    g_signal_connect(webView_.get(), "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                       auto* self = static_cast<RenderViewController*>(data);
                       if (event != WEBKIT_LOAD_FINISHED) return;
                       self->loading_ = false;
                       // The full page carries the message; the panel's link to its place comes in place.
                       if (self->viewModel_ && self->viewModel_->errorLocation()) self->updateInPlace(false);
                     }),
                     this);
  }
  return webView_.get();
}

std::string RenderViewController::labelText() const { return label_ ? gtk_label_get_text(label_.get()) : ""; }

void RenderViewController::viewDidLoad(GtkBuilder* builder) {
  auto object = [builder](const char* id) { return gtk_builder_get_object(builder, id); };
  stack_ = GTK_STACK(object("content-stack"));
  spinner_ = GTK_WIDGET(object("compiling-spinner"));
  warningsButton_ = GTK_WIDGET(object("warnings-button"));
  warningsCount_ = GTK_LABEL(object("warnings-count"));
  warningsText_ = GTK_LABEL(object("warnings-text"));
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(object("preview-scroller")), GTK_WIDGET(webView()));
  gtk_widget_set_vexpand(cssView_.widget(), TRUE);
  gtk_box_append(GTK_BOX(object("css-page")), cssView_.widget());
  setPreviewWidth(widthPreset_);

  window_ = GTK_WINDOW(gtk_widget_get_root(view_.get()));
  if (!window_) return;
  installActions(window_);
  // A file dropped anywhere on the window opens as a document through the application, as from
  // the file manager; the page never navigates to it.
  dropTarget_ = gtk_drop_target_new(G_TYPE_INVALID, GDK_ACTION_COPY);
  GType types[] = {GDK_TYPE_FILE_LIST, G_TYPE_FILE};
  gtk_drop_target_set_gtypes(dropTarget_, types, G_N_ELEMENTS(types));
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(dropTarget_), GTK_PHASE_CAPTURE);
  g_signal_connect(dropTarget_, "drop", G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double, double, gpointer data) -> gboolean {
                     auto* window = static_cast<GtkWindow*>(data);
                     GApplication* app = G_APPLICATION(gtk_window_get_application(window));
                     std::vector<GFile*> files;
                     if (G_VALUE_HOLDS(value, G_TYPE_FILE)) files.push_back(G_FILE(g_value_get_object(value)));
                     if (G_VALUE_HOLDS(value, GDK_TYPE_FILE_LIST)) {
                       // The list is ours, its files the value's.
                       GSList* list = gdk_file_list_get_files(static_cast<GdkFileList*>(g_value_get_boxed(value)));
                       for (GSList* f = list; f; f = f->next) files.push_back(G_FILE(f->data));
                       g_slist_free(list);
                     }
                     if (!app || files.empty()) return FALSE;
                     g_application_open(app, files.data(), static_cast<int>(files.size()), "");
                     return TRUE;
                   }),
                   window_);
  gtk_widget_add_controller(GTK_WIDGET(window_), GTK_EVENT_CONTROLLER(dropTarget_));
}

void RenderViewController::viewDidAppear(WindowController& windowController) {
  // The subscription keeps this controller alive as long as the signal lasts.
  windowController.documentChangeSignal().observeNext([self = shared_from_this()](const ParsingResult& result) {
    self->setViewModel(RenderPresenter(result, self->documentPath_));
  });
  const auto document = windowController.sassDocument();
  if (!document) return;
  windowController.setFrameAutosaveName(document->path());

  documentPath_ = document->path();
  // Restored before the store is known to this view, so restoring writes nothing back.
  sizeKey_ = "preview:" + documentPath_;
  if (const auto kept = windowController.userDefaults().objectForKey(sizeKey_); kept && kept->is_object()) {
    if (const auto width = kept->find("width"); width != kept->end() && width->is_string()) {
      setPreviewWidth(width->get<std::string>());
    }
    if (const auto zoom = kept->find("zoom"); zoom != kept->end() && zoom->is_number()) {
      zoomLevel_ = std::clamp(zoom->get<double>(), kZoomLevels.front(), kZoomLevels.back());
      webkit_web_view_set_zoom_level(webView(), zoomLevel_);
    }
  }
  settings_ = &windowController.userDefaults();

  document->compiling().producer().start(Observer<bool>([weak = WeakSelf(weak_from_this())](const bool& compiling) {
    if (auto self = weak.lock()) self->showCompiling(compiling);
  }));
  // A first compile still under way: its starting value is no page to show.
  if (compiling_) return showCompilingNow();
  setViewModel(RenderPresenter(document->parsingResult().value(), documentPath_));
}

void RenderViewController::viewWillClose() {
  closed_ = true;
  if (compilingTimer_) g_source_remove(std::exchange(compilingTimer_, 0));
}

void RenderViewController::setViewModel(RenderPresenter presenter) {
  viewModel_ = std::move(presenter);
  if (closed_) return;
  const auto& css = viewModel_->styleText();
  // GVariant strings end at a NUL; such a sheet goes through the full page instead.
  const bool fits = std::memchr(css.data(), '\0', css.size()) == nullptr;
  if (loadedURI_.empty() || loading_ || !fits || loadedURI_ != viewModel_->baseURL() ||
      loadedTemplate_ != viewModel_->templateText()) {
    loadFullPage();
  } else {
    updateInPlace(true);
  }
  if (!viewModel_->isFailure()) cssView_.setCSS(viewModel_->sharedCSS());
  showLabel();
  showWarnings();
}

void RenderViewController::loadFullPage() {
  loadedURI_ = viewModel_->baseURL();
  loadedTemplate_ = viewModel_->templateText();
  loading_ = true;
  webkit_web_view_load_html(webView(), viewModel_->fullPageString().c_str(), loadedURI_.c_str());
}

void RenderViewController::updateInPlace(bool replaceStyle) {
  const auto& model = *viewModel_;
  const auto where = model.errorLocation().value_or(SourcePlace{});
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "css", "s", replaceStyle ? model.styleText().c_str() : "");
  // Strings only: the web view's bridge refuses booleans and integers.
  g_variant_dict_insert(&arguments, "replaceStyle", "s", replaceStyle ? "yes" : "");
  g_variant_dict_insert(&arguments, "error", "s", model.errorText().c_str());
  g_variant_dict_insert(&arguments, "file", "s", where.file.c_str());
  g_variant_dict_insert(&arguments, "line", "s", where.line ? std::to_string(*where.line).c_str() : "");
  g_variant_dict_insert(&arguments, "column", "s", where.column ? std::to_string(*where.column).c_str() : "");
  g_variant_dict_insert(&arguments, "editorLink", "s", kEditorLink);
  webkit_web_view_call_async_javascript_function(
      webView(), kUpdateScript, -1, g_variant_dict_end(&arguments), kWorld, nullptr, nullptr,
      +[](GObject* view, GAsyncResult* result, gpointer data) {
        std::unique_ptr<WeakSelf> weak(static_cast<WeakSelf*>(data));
        GError* rawError = nullptr;
        GObjectPtr<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &rawError));
        GErrorPtr error(rawError);
        auto self = weak->lock();
        if (!self || self->closed_ || !self->viewModel_) return;
        // A page without our elements, or one that went away, gets the whole page again.
        if (!value || !jsc_value_to_boolean(value.get())) self->loadFullPage();
      },
      new WeakSelf(weak_from_this()));
}

void RenderViewController::showCompiling(bool compiling) {
  compiling_ = compiling;
  if (closed_) return;
  if (compilingTimer_) g_source_remove(std::exchange(compilingTimer_, 0));
  if (!compiling) {
    gtk_spinner_stop(GTK_SPINNER(spinner_));
    gtk_widget_set_visible(spinner_, FALSE);
    showLabel();
    return;
  }
  compilingTimer_ = g_timeout_add_full(
      G_PRIORITY_DEFAULT, kCompilingDelay,
      +[](gpointer data) -> gboolean {
        auto* self = static_cast<RenderViewController*>(data);
        self->compilingTimer_ = 0;
        self->showCompilingNow();
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

void RenderViewController::showCompilingNow() {
  gtk_widget_set_visible(spinner_, TRUE);
  gtk_spinner_start(GTK_SPINNER(spinner_));
  if (label_) gtk_label_set_text(label_.get(), labelText({}, std::nullopt).c_str());
}

void RenderViewController::showLabel() {
  if (!label_ || !viewModel_) return;
  // A compile under way keeps saying so; the finished one writes its time.
  if (compiling_ && gtk_widget_get_visible(spinner_)) return;
  gtk_label_set_text(label_.get(), labelText(viewModel_->compilerName(), viewModel_->durationString()).c_str());
}

void RenderViewController::showWarnings() {
  if (!warningsButton_) return;
  const auto& warnings = viewModel_->warnings();
  gtk_widget_set_visible(warningsButton_, warnings.total > 0);
  if (warnings.total == 0) return;
  gtk_label_set_text(warningsCount_, std::to_string(warnings.total).c_str());
  gtk_label_set_text(warningsText_, warnings.summary().c_str());
}

void RenderViewController::openErrorLocation() {
  if (!settings_ || !viewModel_ || !viewModel_->errorLocation()) return;
  const auto& where = *viewModel_->errorLocation();
  openFileAtLineInDefaultEditor(*settings_, where.file, where.line.value_or(0), where.column.value_or(0));
}

gboolean RenderViewController::decidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                            WebKitPolicyDecisionType type, RenderViewController* self) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string target = uri ? uri : "";
  const auto kind = webkit_navigation_action_get_navigation_type(action);
  const bool clicked = kind == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED || kind == WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
  // Our own page load, and jumps to an anchor of the page shown, go ahead.
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    if (!clicked && target == self->loadedURI_) return FALSE;
    if (target.find('#') != std::string::npos && withoutFragment(uri) == withoutFragment(webkit_web_view_get_uri(view))) {
      return FALSE;
    }
  }
  webkit_policy_decision_ignore(decision);
  if (target == kEditorLink) {
    self->openErrorLocation();
  } else if ((target.starts_with("http://") || target.starts_with("https://")) &&
             webkit_navigation_action_is_user_gesture(action)) {
    g_app_info_launch_default_for_uri_async(target.c_str(), nullptr, nullptr, nullptr, nullptr);
  }
  return TRUE;
}

void RenderViewController::setPreviewWidth(const std::string& preset) {
  for (const auto& candidate : kWidthPresets) {
    if (preset != candidate.name) continue;
    widthPreset_ = preset;
    GtkWidget* web = GTK_WIDGET(webView());
    gtk_widget_set_size_request(web, candidate.width, -1);
    gtk_widget_set_halign(web, candidate.width < 0 ? GTK_ALIGN_FILL : GTK_ALIGN_CENTER);
    gtk_widget_set_hexpand(web, TRUE);
    gtk_widget_set_vexpand(web, TRUE);
    if (window_) {
      GAction* action = g_action_map_lookup_action(G_ACTION_MAP(window_), "preview-width");
      if (action) g_simple_action_set_state(G_SIMPLE_ACTION(action), g_variant_new_string(preset.c_str()));
    }
    saveSize();
  }
}

void RenderViewController::zoom(int steps) {
  std::size_t at = 0;
  while (at + 1 < kZoomLevels.size() && kZoomLevels[at] < zoomLevel_ - 1e-6) ++at;
  if (steps == 0) {
    zoomLevel_ = 1.0;
  } else {
    const auto next = static_cast<long>(at) + steps;
    zoomLevel_ = kZoomLevels[static_cast<std::size_t>(std::clamp(next, 0L, static_cast<long>(kZoomLevels.size()) - 1))];
  }
  webkit_web_view_set_zoom_level(webView(), zoomLevel_);
  saveSize();
}

void RenderViewController::showCSS(bool shown) {
  gtk_stack_set_visible_child_name(stack_, shown ? "css" : "preview");
  cssView_.setShown(shown);
}

void RenderViewController::saveSize() {
  if (!settings_ || documentPath_.empty()) return;
  settings_->setObject({{"width", widthPreset_}, {"zoom", zoomLevel_}}, sizeKey_);
}

}  // namespace fennelview
