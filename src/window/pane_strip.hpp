// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/glib_ptr.hpp"
#include "common/main_loop_source.hpp"
#include "panes/pane_set.hpp"
#include "preferences/settings.hpp"
#include "present/render_presenter.hpp"
#include "site/served_site.hpp"
#include "window/page_size.hpp"
#include "window/preview_page.hpp"

namespace fennelview {

// The render view's page side by side: several panes at once, each at its width and media
// state, scaled together to fit the window. The render view's own page is the first pane; the
// others are pages of their own in the same web process, fed the same results. Off, the single
// view is as it always was, with the media state the view menu sets for it. Both the panes and
// the single view's state are kept per document; a kept set of two or more opens side by side.
class PaneStrip {
 public:
  // `frame` holds the single view's page; side by side it holds the strip instead.
  PaneStrip(std::shared_ptr<PreviewPage> page, GtkOverlay* frame, PageSize& pageSize);
  ~PaneStrip();
  PaneStrip(const PaneStrip&) = delete;
  PaneStrip& operator=(const PaneStrip&) = delete;

  bool shown() const { return shown_; }
  void setShown(bool shown);
  const std::vector<Pane>& panes() const { return panes_; }
  // Shows `panes` side by side.
  void setPanes(std::vector<Pane> panes);
  // What the single view emulates.
  const MediaState& media() const { return media_; }
  void setMedia(const MediaState& media);

  // Restores what was kept for the document, then keeps every change there.
  void keepIn(Settings& settings, const std::string& documentPath);
  // The window's actions: "panes.side-by-side", "panes.preset" ("widths" or "light-dark"),
  // "panes.scroll-together", "panes.follow-links",
  // and the single view's "panes.color-scheme" ("", "light", "dark"), "panes.print",
  // "panes.reduced-motion".
  void installActions(GtkWidget* window);

  // What the first pane is shown, for the others: a result, an own page (from the first pane's
  // site: one site knows every page the panes loaded, and its versions of the CSS are new to
  // every pane) or the sample page.
  void show(std::shared_ptr<const RenderPresenter> model, const std::string& placeText);
  void showSite(const std::filesystem::path& page);
  void showSample();
  void close();

  // Told when a link in a pane led the panes to another page of the site.
  void onPageFollowed(std::function<void()> followed) { pageFollowed_ = std::move(followed); }
  // A link followed in the first pane.
  void firstPageFollowed() { followed(page_->sitePage()); }

  // The panes' web views, first to last, while shown.
  std::vector<WebKitWebView*> webViews() const;
  // The text of a pane's label, such as "375 px · 52 %".
  std::string label(std::size_t pane) const;
  // A pane's name in a sentence: its width and states, such as "1280 px · dark".
  std::string name(std::size_t pane) const;

 private:
  struct PaneView {
    std::shared_ptr<PreviewPage> page;
    GtkWidget* box;  // owned by the strip
    GtkWidget* label;
    std::shared_ptr<WebKitUserScript> scrollLink;
  };
  static void measure(GtkWidget* widget, GtkOrientation orientation, int forSize, int* minimum, int* natural,
                      int* minimumBaseline, int* naturalBaseline);
  static void allocate(GtkWidget* widget, int width, int height, int baseline);
  void applyPanes();
  // Each pane's page tells where it is scrolled to; pages no longer shown stop.
  void linkScrolling(PaneView& view);
  void unlinkScrolling(PaneView& view);
  void scrolled(WebKitUserContentManager* from, const std::string& anchor);
  void followed(const std::filesystem::path& page);
  // The first pane follows the files the site serves: a change to one reloads it, and it leads
  // the others.
  void reloaded(WebKitWebView* view);
  void applyScale();
  void updateLabel(std::size_t pane);
  static std::string states(const Pane& shown);
  GtkWidget* editorFor(std::size_t pane);
  void changePane(std::size_t pane, const std::function<void(std::vector<Pane>&)>& change);
  void save();
  void updateActions();
  std::shared_ptr<PreviewPage> newPage();

  std::shared_ptr<PreviewPage> page_;
  GtkOverlay* frame_;  // owned by the render view
  PageSize& pageSize_;
  GObjectPtr<GtkWidget> strip_;
  std::vector<PaneView> views_;
  std::vector<Pane> panes_ = defaultPanes();
  MediaState media_;
  bool shown_ = false;
  double scale_ = 1.0;
  std::vector<double> zooms_;
  MainLoopSource scaleUpdate_;
  Settings* settings_ = nullptr;
  std::string documentPath_;
  GObjectPtr<GSimpleActionGroup> actions_;
  // What the panes besides the first show.
  std::shared_ptr<const RenderPresenter> model_;
  std::string placeText_;
  std::filesystem::path sitePage_;
  bool scrollTogether_ = true;
  bool followLinks_ = true;
  std::function<void()> pageFollowed_;
  // Panes reloaded by the strip itself, which lead no others.
  std::set<WebKitWebView*> ledReloads_;
};

}  // namespace fennelview
