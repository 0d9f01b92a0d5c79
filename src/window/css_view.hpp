// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/glib_ptr.hpp"
#include "inspect/rule_place.hpp"
#include "present/error_link.hpp"

// GtkSourceView stays private to the window library.
typedef struct _GtkSourceBuffer GtkSourceBuffer;
typedef struct _GtkSourceSearchContext GtkSourceSearchContext;

G_BEGIN_DECLS
#define FENNELVIEW_TYPE_CSS_VIEW (fennelview_css_view_get_type())
// The CSS view's widget, made from css_view.ui; it owns its CssView.
G_DECLARE_FINAL_TYPE(FennelviewCssView, fennelview_css_view, FENNELVIEW, CSS_VIEW, GtkBox)
G_END_DECLS

namespace fennelview {

// The compiled CSS of a document window: read-only, highlighted, searchable. It follows
// every compile but fills its buffer only while shown, so a hidden view of a large style
// sheet costs nothing per save; a new text keeps the line at the top of the view. A bar under
// it names the Sass place of the cursor's line, through the compile's map; the bar, or Enter,
// opens that place in the editor.
class CssView {
 public:
  // Made by its widget, from the widget's template children.
  explicit CssView(FennelviewCssView* widget);
  ~CssView();
  CssView(const CssView&) = delete;
  CssView& operator=(const CssView&) = delete;

  GtkWidget* widget() const { return GTK_WIDGET(widget_); }
  void setCSS(std::shared_ptr<const std::string> css, std::shared_ptr<const SourceMap> map = nullptr);
  void setSettings(Settings& settings) { placeLink_.setSettings(settings); }
  void setShown(bool shown);
  // Opens the search bar, or closes it when open.
  void toggleSearch();
  std::string text() const;
  GtkTextView* textView() const { return textView_; }
  // The cursor's line's place as the bar names it ("_buttons.scss:7"); empty for none.
  std::string placeText() const;
  // Opens that place in the editor; false when there is none or no editor could be asked.
  bool openPlace() const;

 private:
  // `moved`: where each line of the text shown went in the new one, when known.
  void fill(const std::vector<int>& moved = {});
  void showPlace();
  void findNext();
  GtkSourceSearchContext* search();

  FennelviewCssView* widget_;  // owns this
  GtkSearchBar* searchBar_;
  GtkSearchEntry* searchEntry_;
  GtkTextView* textView_;
  GtkSourceBuffer* buffer_;
  GObjectPtr<GtkSourceSearchContext> search_;
  std::shared_ptr<const std::string> css_;
  // Decoded only once the view is shown and asks for a line's place.
  std::shared_ptr<const SourceMap> map_;
  GtkWidget* placeBar_;
  GtkButton* placeButton_;
  GtkEventController* keys_;  // Enter opens the place
  std::optional<RulePlace> place_;
  ErrorLink placeLink_;
  bool stale_ = false;
  bool shown_ = false;
};

// The widget's C++ part.
CssView& cssViewOf(FennelviewCssView* widget);

}  // namespace fennelview
