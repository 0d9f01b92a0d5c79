// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gio/gio.h>
#include <webkit/webkit.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/glib_ptr.hpp"
#include "inspect/page_style_sheets.hpp"

namespace fennelview {

// What the label over a picked element shows: its tag, id and classes.
struct PickedElement {
  std::string tag;
  std::string id;
  std::vector<std::string> classes;
  // Child indices from <html>: the same element in another page of the same markup.
  std::vector<int> path;
  bool operator==(const PickedElement&) const = default;
};

// Pick mode for a web view: the element under the pointer (or with the keyboard focus) is outlined
// and labelled, a click (or Enter) selects it without reaching the page (no button pressed, no link
// followed), Escape leaves.
// The page's script runs in a world of its own, so the page's scripts neither see nor disturb it;
// it works on any page, one loaded with load_html included.
class ElementPicker {
 public:
  using MatchResult = std::optional<std::vector<bool>>;

  explicit ElementPicker(WebKitWebView* view);
  ~ElementPicker();
  ElementPicker(const ElementPicker&) = delete;
  ElementPicker& operator=(const ElementPicker&) = delete;

  // Enters pick mode; it stays on across loads of the page until an element is picked or it is left.
  void enter();
  void leave();
  bool picking() const { return picking_; }
  // Outlines the element at `path` and makes it the picked one; an empty path removes the outline.
  void markPath(const std::vector<int>& path);
  WebKitWebView* view() const { return view_; }

  // Called when the user picked an element (pick mode is then over).
  void setPickedHandler(std::function<void(const PickedElement&)> handler) { picked_ = std::move(handler); }
  // Called when pick mode ends without a pick (Escape in the page, or leave()).
  void setLeftHandler(std::function<void()> handler) { left_ = std::move(handler); }

  // Which of `selectors` the picked element matches, in their order (a selector the page cannot
  // parse does not match). None when nothing is picked or the element is no longer in the page.
  // `done` is not called once the picker is gone.
  void matchSelectors(const std::vector<std::string>& selectors, std::function<void(MatchResult)> done);
  // Which of the grouping conditions (@media, @supports) hold in the page now, in their order;
  // others hold. None when the page could not answer.
  void judgeConditions(const std::vector<Condition>& conditions, std::function<void(MatchResult)> done);
  // The page's style sheets in document order: the URL of a linked one, the text of one in a
  // <style> element (on a server's page, with the text of its own linked ones); and the page's own URL.
  void listStyleSheets(std::function<void(std::optional<PageSheetList>)> done);

 private:
  static void onScriptMessage(WebKitUserContentManager* manager, JSCValue* value, gpointer self);
  static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  void run(const char* call);
  // Calls a function of the picker's world with `list` (JSON text) and gives back the JSON text it returns.
  void call(const char* function, const std::string& list, std::function<void(std::optional<std::string>)> done);

  WebKitWebView* view_;
  GObjectPtr<WebKitUserContentManager> manager_;
  GObjectPtr<GCancellable> cancellable_;
  gulong messageHandler_ = 0;
  gulong loadHandler_ = 0;
  bool picking_ = false;
  std::function<void(const PickedElement&)> picked_;
  std::function<void()> left_;
};

}  // namespace fennelview
