// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inspect/page_style_sheets.hpp"
#include "inspect/picked_rules.hpp"
#include "present/render_presenter.hpp"
#include "site/served_site.hpp"
#include "preferences/settings.hpp"
#include "window/element_picker.hpp"

G_BEGIN_DECLS
#define FENNELVIEW_TYPE_PICK_PANEL (fennelview_pick_panel_get_type())
G_DECLARE_FINAL_TYPE(FennelviewPickPanel, fennelview_pick_panel, FENNELVIEW, PICK_PANEL, GtkBox)
G_END_DECLS

namespace fennelview {

// Picking an element of the page and the panel beside it that lists the rules applying to it,
// strongest first, each with its Sass place; a row opens its place in the editor. The rules are
// read from the compiled CSS itself (the page's CSSOM drops what it does not support) and the page
// only says which selectors match. After each compile the panel follows the same element.
// The widget, made from "pick_panel.ui", owns this part of it.
class PickPanel {
 public:
  PickPanel(FennelviewPickPanel* widget, WebKitWebView* view);
  PickPanel(const PickPanel&) = delete;
  PickPanel& operator=(const PickPanel&) = delete;

  // The panel, to be placed beside the page; hidden until an element is picked.
  GtkWidget* widget() const { return GTK_WIDGET(widget_); }
  void setSettings(Settings& settings) { settings_ = &settings; }
  // Where the panel tells what went wrong (no editor to open a place).
  void setNotice(std::function<void(const std::string&)> notice) { notice_ = std::move(notice); }
  // What the page's site answers for a style sheet's URL: the compiled CSS, a file of the site
  // (its rules are listed with its own file and line), or nothing (not listed).
  void setStyleSheetSource(std::function<SiteAnswer(const std::string& url)> source) { source_ = std::move(source); }
  // The project file behind a server's style sheet URL, which a row placed by that URL opens.
  void setFileServedAt(std::function<std::optional<std::filesystem::path>(const std::string& url)> fileAt) {
    fileAt_ = std::move(fileAt);
  }
  // Called when pick mode starts or ends.
  void setPickingChanged(std::function<void(bool)> changed) { pickingChanged_ = std::move(changed); }

  // The side by side panes, first (the panel's own page) to last, with their names: a pick in any
  // of them outlines the element in all, and the panel names the panes where other rules win.
  using PaneList = std::vector<std::pair<WebKitWebView*, std::string>>;
  void setPanes(std::function<PaneList()> panes) { panes_ = std::move(panes); }
  // The line naming those panes; empty when every pane agrees.
  std::string differenceText() const { return gtk_label_get_text(differs_); }

  void enter();
  void leave();
  bool picking() const { return picker_.picking(); }
  // A new result: the panel lists the picked element's rules from it. A failed compile leaves
  // the last rules in place, as the page keeps its last CSS.
  void show(std::shared_ptr<const RenderPresenter> model);
  void hide();

  // What the rows show, one text per row: selector, place, declarations; for tests and tools.
  std::vector<std::string> rowTexts() const;

  // Closed by the user: the page has the keyboard again.
  void dismiss();
  void open(std::size_t row);
  // The list's row with the focus, if any.
  std::optional<std::size_t> focusedRow() const;

 private:
  void refresh();
  void match(unsigned generation);
  void watch(ElementPicker& picker);
  void picked(ElementPicker& picker, const PickedElement& element);
  // The picked element's rules in the page of `picker`; none when the element is gone.
  void rulesIn(ElementPicker& picker, unsigned generation, std::function<void(std::optional<std::vector<PickedRule>>)> done);
  void compare(unsigned generation);
  void fill(std::vector<PickedRule> rows);
  void setStatus(const std::string& text);

  FennelviewPickPanel* widget_;  // owns this
  GtkRevealer* revealer_;
  GtkLabel* title_;
  GtkLabel* status_;
  GtkListBox* list_;
  ElementPicker picker_;
  GtkLabel* differs_;
  std::function<PaneList()> panes_;
  std::string firstName_;
  std::vector<std::pair<std::unique_ptr<ElementPicker>, std::string>> others_;
  ElementPicker* picked_ = &picker_;  // where the element was picked
  Settings* settings_ = nullptr;
  std::function<void(const std::string&)> notice_;
  std::function<void(bool)> pickingChanged_;
  std::shared_ptr<const RenderPresenter> model_;
  std::function<SiteAnswer(const std::string&)> source_;
  std::function<std::optional<std::filesystem::path>(const std::string&)> fileAt_;
  PageStyleSheets sheets_;
  std::optional<PickedElement> element_;
  std::vector<PickedRule> rows_;
  unsigned generation_ = 0;  // answers for an older question are dropped
  bool focusFirst_ = false;
};

// A new panel for picking in `view`, with a floating reference.
FennelviewPickPanel* newPickPanel(WebKitWebView* view);
PickPanel& pickPanel(FennelviewPickPanel* widget);

}  // namespace fennelview
