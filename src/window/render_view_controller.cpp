// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_view_controller.hpp"

#include "window/window_controller.hpp"

namespace fennelview {

RenderViewController::RenderViewController(GtkStack* stack, AdwClamp* previewFrame, GtkBox* cssPage)
    : pageSize_(page_->webView(), previewFrame), stack_(stack) {
  adw_clamp_set_child(previewFrame, GTK_WIDGET(page_->webView()));
  gtk_widget_set_vexpand(cssView_.widget(), TRUE);
  gtk_box_append(cssPage, cssView_.widget());
  page_->onEditorLink([this] { errorLink_.open(); });
}

RenderViewController::~RenderViewController() { page_->onEditorLink({}); }

void RenderViewController::viewDidLoad(GtkWindow* window, const HeaderOutlets& header) {
  drop_ = std::make_unique<FileDrop>(window);
  metadata_ = std::make_unique<ParsingMetadataView>(header.parsingMetadataLabel, header.compilingSpinner);
  warnings_ = std::make_unique<WarningsView>(header.warningsButton, header.warningsCount, header.warningsList);
  errorLabel_ = header.errorLabel;
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
  pageSize_.keepIn(windowController.userDefaults(), documentPath_);
  errorLink_.setSettings(windowController.userDefaults());

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
  page_->close();
  if (metadata_) metadata_->stop();
}

void RenderViewController::setViewModel(RenderPresenter presenter) {
  viewModel_ = std::make_shared<const RenderPresenter>(std::move(presenter));
  if (closed_) return;
  const auto& place = errorPlace(*viewModel_);
  errorLink_.setPlace(place);
  page_->show(viewModel_, place ? ErrorLink::text(*place) : std::string());
  if (!viewModel_->isFailure()) cssView_.setCSS(viewModel_->sharedCSS());
  if (metadata_) metadata_->show(*viewModel_);
  if (warnings_) warnings_->show(viewModel_->warnings());
  if (errorLabel_) {
    // Its first line: the whole message, place and excerpt, is on the page.
    const auto& error = viewModel_->errorText();
    const auto line = error.substr(0, error.find('\n'));
    gtk_label_set_text(errorLabel_, line.c_str());
    gtk_widget_set_visible(GTK_WIDGET(errorLabel_), viewModel_->isFailure() && !line.empty());
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

void RenderViewController::find() {
  cssView_.toggleSearch();
}

}  // namespace fennelview
