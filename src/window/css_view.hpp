// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "common/glib_ptr.hpp"

// GtkSourceView stays private to the window library.
typedef struct _GtkSourceBuffer GtkSourceBuffer;
typedef struct _GtkSourceSearchContext GtkSourceSearchContext;

namespace fennelview {

// The compiled CSS of a document window: read-only, highlighted, searchable. It follows
// every compile but fills its buffer only while shown, so a hidden view of a large style
// sheet costs nothing per save; a new text keeps the line at the top of the view.
class CssView {
 public:
  CssView();
  ~CssView();
  CssView(const CssView&) = delete;
  CssView& operator=(const CssView&) = delete;

  GtkWidget* widget() const { return root_.get(); }
  void setCSS(std::shared_ptr<const std::string> css);
  void setShown(bool shown);
  // Opens the search bar, or closes it when open.
  void toggleSearch();
  std::string text() const;

 private:
  void fill();
  void findNext();
  GtkSourceSearchContext* search();

  GObjectPtr<GtkWidget> root_;
  GtkSearchBar* searchBar_;
  GtkSearchEntry* searchEntry_;
  GtkTextView* textView_;
  GtkSourceBuffer* buffer_;
  GObjectPtr<GtkSourceSearchContext> search_;
  std::shared_ptr<const std::string> css_;
  bool stale_ = false;
  bool shown_ = false;
};

}  // namespace fennelview
