#include "render_view_controller.hpp"

#include "build_config.hpp"
#include "window/window_controller.hpp"

namespace fennelview {

RenderViewController::RenderViewController(GtkWidget* view, GtkWidget* headerView, GtkLabel* parsingMetadataLabel)
    : view_(GObjectPtr<GtkWidget>::retain(view)),
      headerView_(headerView),
      label_(GObjectPtr<GtkLabel>::retain(parsingMetadataLabel)) {}

std::string RenderViewController::labelText(const std::string& compilerName, const std::string& durationString) {
  return (compilerName.empty() ? "" : compilerName + " ") + "\U0001F552 " + durationString;
}

WebKitWebView* RenderViewController::webView() {
  if (!webView_) {
    // Default settings: no scripts of ours, no handlers, no delegates.
    webView_ = GObjectPtr<WebKitWebView>::retain(WEBKIT_WEB_VIEW(webkit_web_view_new()));
  }
  return webView_.get();
}

std::string RenderViewController::labelText() const {
  return label_ ? gtk_label_get_text(label_.get()) : "";
}

void RenderViewController::viewDidLoad() {
  GtkWidget* web = GTK_WIDGET(webView());
  gtk_widget_set_hexpand(web, TRUE);
  gtk_widget_set_vexpand(web, TRUE);
  gtk_box_append(GTK_BOX(view_.get()), web);
}

void RenderViewController::viewDidAppear(WindowController& windowController) {
  // The subscription keeps this controller alive as long as the signal lasts.
  windowController.documentChangeSignal().observeNext(
      [self = shared_from_this()](const ParsingResult& result) { self->setViewModel(RenderPresenter(result)); });
  const auto document = windowController.sassDocument();
  if (!document) return;
  windowController.setFrameAutosaveName(document->path());
  setViewModel(RenderPresenter(document->parsingResult().value()));
}

void RenderViewController::setViewModel(RenderPresenter presenter) {
  viewModel_ = std::move(presenter);
  if (closed_) return;
  webkit_web_view_load_html(webView(), viewModel_->fullPageString().c_str(), viewModel_->baseURL().c_str());
  if (label_) gtk_label_set_text(label_.get(), labelText(viewModel_->compilerName(), viewModel_->durationString()).c_str());
}

}  // namespace fennelview
