// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane_strip.hpp"

#include <glib/gi18n.h>

#include <cmath>
#include <cstring>

#include "common/formatted.hpp"
#include "panes/scroll_anchor.hpp"
#include "window/window_resources.hpp"

namespace fennelview {

namespace {

constexpr const char* kStripKey = "fennelview-pane-strip";
constexpr const char* kPaneKey = "fennelview-pane";
constexpr int kGap = 8;
// The light and dark preset's width when the single view fills the window.
constexpr int kLightDarkWidth = 1280;
// Our own script world and the scroll link's channel in it.
constexpr const char* kWorld = "fennelview";
constexpr const char* kScrollChannel = "fennelviewScroll";
// Longer than any anchor a page within kDeepestAnchor levels sends.
constexpr std::size_t kLongestAnchor = 8192;

// The strip a widget's handlers serve; none once it has gone.
PaneStrip* stripOf(gpointer widget) { return static_cast<PaneStrip*>(g_object_get_data(G_OBJECT(widget), kStripKey)); }

std::size_t paneOf(gpointer control) { return GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(control), kPaneKey)); }

GtkWidget* tagged(GtkWidget* control, std::size_t pane) {
  g_object_set_data(G_OBJECT(control), kPaneKey, GSIZE_TO_POINTER(pane));
  return control;
}

}  // namespace

PaneStrip::PaneStrip(std::shared_ptr<PreviewPage> page, GtkOverlay* frame, PageSize& pageSize)
    : page_(std::move(page)),
      frame_(frame),
      pageSize_(pageSize),
      strip_(GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0)))) {
  gtk_widget_set_layout_manager(strip_.get(), gtk_custom_layout_new(nullptr, measure, allocate));
  gtk_widget_set_hexpand(strip_.get(), TRUE);
  gtk_widget_set_vexpand(strip_.get(), TRUE);
  gtk_widget_set_overflow(strip_.get(), GTK_OVERFLOW_HIDDEN);
  g_object_set_data(G_OBJECT(strip_.get()), kStripKey, this);
}

PaneStrip::~PaneStrip() {
  close();
  g_object_set_data(G_OBJECT(strip_.get()), kStripKey, nullptr);
}

void PaneStrip::measure(GtkWidget* widget, GtkOrientation orientation, int, int* minimum, int* natural,
                        int* minimumBaseline, int* naturalBaseline) {
  *minimum = *natural = 0;
  *minimumBaseline = *naturalBaseline = -1;
  for (auto* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
    int childMinimum = 0, childNatural = 0;
    gtk_widget_measure(child, orientation, -1, &childMinimum, &childNatural, nullptr, nullptr);
    if (orientation == GTK_ORIENTATION_HORIZONTAL) {
      *minimum += childMinimum + (*minimum > 0 ? kGap : 0);
    } else {
      *minimum = std::max(*minimum, childMinimum);
      *natural = std::max(*natural, childNatural);
    }
  }
  if (orientation != GTK_ORIENTATION_HORIZONTAL) return;
  // Asked for its panes' full widths, it takes what the window gives and scales them to it.
  if (auto* self = stripOf(widget)) {
    for (const auto& pane : self->panes_) *natural += pane.width + (*natural > 0 ? kGap : 0);
  }
  *natural = std::max(*natural, *minimum);
}

void PaneStrip::allocate(GtkWidget* widget, int width, int height, int) {
  auto* self = stripOf(widget);
  if (!self) return;
  std::vector<int> widths;
  for (const auto& pane : self->panes_) widths.push_back(pane.width);
  const double scale = fitScale(widths, width, kGap);
  std::vector<int> shown;
  int total = 0;
  std::size_t at = 0;
  for (auto* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child), ++at) {
    int minimum = 0;
    gtk_widget_measure(child, GTK_ORIENTATION_HORIZONTAL, height, &minimum, nullptr, nullptr, nullptr);
    const int wanted = at < widths.size() ? static_cast<int>(std::lround(widths[at] * scale)) : 0;
    shown.push_back(std::max(wanted, minimum));
    total += shown.back() + (at > 0 ? kGap : 0);
  }
  // Panes that fit are centred, as the single view is.
  int x = std::max(0, (width - total) / 2);
  at = 0;
  for (auto* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child), ++at) {
    const graphene_point_t origin = GRAPHENE_POINT_INIT(static_cast<float>(x), 0.0f);
    gtk_widget_allocate(child, shown[at], height, -1, gsk_transform_translate(nullptr, &origin));
    x += shown[at] + kGap;
  }
  // Each pane's zoom makes its exact width in CSS pixels of what it was given, and changes
  // after this allocation, not within it.
  std::vector<double> zooms;
  for (std::size_t pane = 0; pane < widths.size() && pane < shown.size(); ++pane) {
    zooms.push_back(static_cast<double>(shown[pane]) / widths[pane]);
  }
  if (scale != self->scale_ || zooms != self->zooms_) {
    self->scale_ = scale;
    self->zooms_ = std::move(zooms);
    self->scaleUpdate_ = MainLoopSource::idle([self] { self->applyScale(); });
  }
}

void PaneStrip::applyScale() {
  for (std::size_t pane = 0; pane < views_.size(); ++pane) {
    if (pane < zooms_.size()) webkit_web_view_set_zoom_level(views_[pane].page->webView(), zooms_[pane]);
    updateLabel(pane);
  }
}

std::string PaneStrip::label(std::size_t pane) const {
  if (pane >= panes_.size()) return {};
  const auto& shown = panes_[pane];
  /* Translators: a side by side pane's label: its width in CSS pixels and the scale it is shown at. */
  return formatted(_("%1$d px · %2$ld %%"), shown.width, std::lround(scale_ * 100)) + states(shown);
}

std::string PaneStrip::name(std::size_t pane) const {
  if (pane >= panes_.size()) return {};
  /* Translators: a side by side pane's width in CSS pixels. */
  return formatted(_("%d px"), panes_[pane].width) + states(panes_[pane]);
}

std::string PaneStrip::states(const Pane& shown) {
  std::string text;
  if (shown.media.colorScheme) text += shown.media.colorScheme == ColorScheme::dark ? _(" · dark") : _(" · light");
  if (shown.media.print) text += _(" · print");
  if (shown.media.reducedMotion) text += _(" · reduced motion");
  return text;
}

void PaneStrip::updateLabel(std::size_t pane) {
  if (pane < views_.size()) gtk_menu_button_set_label(GTK_MENU_BUTTON(views_[pane].label), label(pane).c_str());
}

std::shared_ptr<PreviewPage> PaneStrip::newPage() {
  auto page = std::make_shared<PreviewPage>();
  gtk_widget_set_hexpand(GTK_WIDGET(page->webView()), TRUE);
  gtk_widget_set_vexpand(GTK_WIDGET(page->webView()), TRUE);
  return page;
}

void PaneStrip::applyPanes() {
  if (!shown_) return;
  auto* strip = GTK_BOX(strip_.get());
  while (views_.size() > panes_.size()) {
    auto& last = views_.back();
    unlinkScrolling(last);
    if (last.page != page_) last.page->close();
    gtk_box_remove(strip, last.box);
    views_.pop_back();
  }
  while (views_.size() < panes_.size()) {
    const std::size_t pane = views_.size();
    auto page = pane == 0 ? page_ : newPage();
    auto* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    auto* label = tagged(gtk_menu_button_new(), pane);
    gtk_menu_button_set_has_frame(GTK_MENU_BUTTON(label), FALSE);
    gtk_menu_button_set_create_popup_func(
        GTK_MENU_BUTTON(label),
        +[](GtkMenuButton* button, gpointer strip) {
          if (auto* self = stripOf(strip)) gtk_menu_button_set_popover(button, self->editorFor(paneOf(button)));
        },
        strip_.get(), nullptr);
    gtk_box_append(GTK_BOX(box), label);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(page->webView()));
    gtk_box_append(strip, box);
    views_.push_back(PaneView{page, box, label, nullptr});
    linkScrolling(views_.back());
    if (page == page_) continue;
    page->onPageFollowed([this, shown = page.get()] { followed(shown->sitePage()); });
    page->setMedia(panes_[pane].media);
    webkit_web_view_set_zoom_level(page->webView(), pane < zooms_.size() ? zooms_[pane] : scale_);
    if (page_->site()) page->showSite(page_->site(), sitePage_);
    if (model_) page->show(model_, placeText_);
  }
  // Showing and closing pages took the site's files from the first pane.
  page_->followServed();
  for (std::size_t pane = 0; pane < views_.size(); ++pane) {
    views_[pane].page->setMedia(panes_[pane].media);
    updateLabel(pane);
  }
  gtk_widget_queue_resize(strip_.get());
}

void PaneStrip::setShown(bool shown) {
  if (shown == shown_) return;
  shown_ = shown;
  auto* view = GTK_WIDGET(page_->webView());
  if (shown_) {
    pageSize_.setActive(false);
    gtk_overlay_set_child(frame_, nullptr);
    gtk_overlay_set_child(frame_, strip_.get());
    zooms_.clear();  // the first allocation sets every pane's zoom
    applyPanes();
  } else {
    if (!views_.empty()) gtk_box_remove(GTK_BOX(views_.front().box), view);
    for (auto& shown : views_) unlinkScrolling(shown);
    close();
    while (auto* child = gtk_widget_get_first_child(strip_.get())) gtk_box_remove(GTK_BOX(strip_.get()), child);
    views_.clear();
    gtk_overlay_set_child(frame_, nullptr);
    gtk_overlay_set_child(frame_, view);
    page_->followServed();
    pageSize_.setActive(true);
    page_->setMedia(media_);
  }
  save();
  updateActions();
}

void PaneStrip::linkScrolling(PaneView& view) {
  static const std::string script = windowScript("page/scroll_link.js");
  auto* content = webkit_web_view_get_user_content_manager(view.page->webView());
  view.scrollLink.reset(webkit_user_script_new_for_world(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                         WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, kWorld, nullptr, nullptr),
                        webkit_user_script_unref);
  webkit_user_content_manager_add_script(content, view.scrollLink.get());
  webkit_user_content_manager_register_script_message_handler(content, kScrollChannel, kWorld);
  g_signal_connect_object(content, (std::string("script-message-received::") + kScrollChannel).c_str(),
                          G_CALLBACK(+[](WebKitUserContentManager* from, JSCValue* value, gpointer strip) {
                            auto* self = stripOf(strip);
                            if (!self || !jsc_value_is_string(value)) return;
                            GCharPtr text(jsc_value_to_string(value));
                            if (text && std::strlen(text.get()) <= kLongestAnchor) self->scrolled(from, text.get());
                          }),
                          strip_.get(), G_CONNECT_DEFAULT);
  g_signal_connect_object(
      view.page->webView(), "decide-policy",
      G_CALLBACK(+[](WebKitWebView* webView, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer strip) {
        if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
        auto* action = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        auto* self = stripOf(strip);
        if (self && webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_RELOAD) self->reloaded(webView);
        return FALSE;
      }),
      strip_.get(), G_CONNECT_DEFAULT);
  // A page already shown runs it now; later loads run it themselves.
  webkit_web_view_evaluate_javascript(view.page->webView(), script.c_str(), -1, kWorld, nullptr, nullptr, nullptr, nullptr);
}

void PaneStrip::unlinkScrolling(PaneView& view) {
  if (!view.scrollLink) return;
  auto* content = webkit_web_view_get_user_content_manager(view.page->webView());
  webkit_user_content_manager_remove_script(content, view.scrollLink.get());
  webkit_user_content_manager_unregister_script_message_handler(content, kScrollChannel, kWorld);
  g_signal_handlers_disconnect_by_data(content, strip_.get());
  g_signal_handlers_disconnect_by_data(view.page->webView(), strip_.get());
  ledReloads_.erase(view.page->webView());
  view.scrollLink.reset();
}

void PaneStrip::scrolled(WebKitUserContentManager* from, const std::string& text) {
  const auto anchor = scrollTogether_ ? parseScrollAnchor(text) : std::nullopt;
  if (!anchor) return;
  const auto call = "globalThis.fennelviewScrollLink?.scrollTo(" + scrollAnchorArguments(*anchor) + ")";
  for (const auto& view : views_) {
    auto* webView = view.page->webView();
    if (webkit_web_view_get_user_content_manager(webView) == from) continue;
    webkit_web_view_evaluate_javascript(webView, call.c_str(), -1, kWorld, nullptr, nullptr, nullptr, nullptr);
  }
}

void PaneStrip::reloaded(WebKitWebView* view) {
  if (ledReloads_.erase(view)) return;
  for (const auto& other : views_) {
    auto* webView = other.page->webView();
    if (webView == view || !other.page->site()) continue;
    ledReloads_.insert(webView);
    other.page->reloadKeepingScroll();
  }
}

void PaneStrip::followed(const std::filesystem::path& page) {
  if (!shown_ || !followLinks_ || !page_->site() || page.empty() || page == sitePage_) return;
  sitePage_ = page;
  for (const auto& view : views_) {
    if (view.page->sitePage() != page) view.page->showSite(page_->site(), page);
  }
  page_->followServed();
  if (pageFollowed_) pageFollowed_();
}

void PaneStrip::setPanes(std::vector<Pane> panes) {
  if (panes.empty()) return;
  panes_ = std::move(panes);
  if (shown_) {
    applyPanes();
    save();
  } else {
    setShown(true);
  }
}

void PaneStrip::setMedia(const MediaState& media) {
  media_ = media;
  if (!shown_) page_->setMedia(media_);
  save();
  updateActions();
}

void PaneStrip::changePane(std::size_t pane, const std::function<void(std::vector<Pane>&)>& change) {
  if (pane >= panes_.size()) return;
  change(panes_);
  if (panes_.empty()) return setShown(false);
  applyPanes();
  save();
}

GtkWidget* PaneStrip::editorFor(std::size_t pane) {
  if (pane >= panes_.size()) return nullptr;
  const auto& shown = panes_[pane];
  auto* strip = strip_.get();
  auto* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);

  auto* widthRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  auto* widthLabel = gtk_label_new_with_mnemonic(_("_Width"));
  auto* width = tagged(gtk_spin_button_new_with_range(kSmallestPaneWidth, kLargestPaneWidth, 1), pane);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(width), shown.width);
  gtk_label_set_mnemonic_widget(GTK_LABEL(widthLabel), width);
  gtk_box_append(GTK_BOX(widthRow), widthLabel);
  gtk_box_append(GTK_BOX(widthRow), width);
  gtk_box_append(GTK_BOX(box), widthRow);
  g_signal_connect(width, "value-changed", G_CALLBACK(+[](GtkSpinButton* button, gpointer strip) {
                     const int pixels = gtk_spin_button_get_value_as_int(button);
                     if (auto* self = stripOf(strip)) self->changePane(paneOf(button), [&](auto& panes) { panes[paneOf(button)].width = pixels; });
                   }),
                   strip);

  const char* schemes[] = {_("Desktop's Colour Scheme"), _("Light"), _("Dark"), nullptr};
  auto* scheme = tagged(gtk_drop_down_new_from_strings(schemes), pane);
  gtk_drop_down_set_selected(GTK_DROP_DOWN(scheme), !shown.media.colorScheme ? 0 : shown.media.colorScheme == ColorScheme::light ? 1 : 2);
  gtk_box_append(GTK_BOX(box), scheme);
  g_signal_connect(scheme, "notify::selected", G_CALLBACK(+[](GtkDropDown* drop, GParamSpec*, gpointer strip) {
                     const auto selected = gtk_drop_down_get_selected(drop);
                     const std::optional<ColorScheme> chosen =
                         selected == 1 ? std::optional(ColorScheme::light) : selected == 2 ? std::optional(ColorScheme::dark) : std::nullopt;
                     if (auto* self = stripOf(strip)) self->changePane(paneOf(drop), [&](auto& panes) { panes[paneOf(drop)].media.colorScheme = chosen; });
                   }),
                   strip);

  auto* print = tagged(gtk_check_button_new_with_mnemonic(_("_Print")), pane);
  gtk_check_button_set_active(GTK_CHECK_BUTTON(print), shown.media.print);
  g_signal_connect(print, "toggled", G_CALLBACK(+[](GtkCheckButton* check, gpointer strip) {
                     const bool on = gtk_check_button_get_active(check);
                     if (auto* self = stripOf(strip)) self->changePane(paneOf(check), [&](auto& panes) { panes[paneOf(check)].media.print = on; });
                   }),
                   strip);
  auto* motion = tagged(gtk_check_button_new_with_mnemonic(_("_Reduced Motion")), pane);
  gtk_check_button_set_active(GTK_CHECK_BUTTON(motion), shown.media.reducedMotion);
  g_signal_connect(motion, "toggled", G_CALLBACK(+[](GtkCheckButton* check, gpointer strip) {
                     const bool on = gtk_check_button_get_active(check);
                     if (auto* self = stripOf(strip)) self->changePane(paneOf(check), [&](auto& panes) { panes[paneOf(check)].media.reducedMotion = on; });
                   }),
                   strip);
  gtk_box_append(GTK_BOX(box), print);
  gtk_box_append(GTK_BOX(box), motion);

  // Moving, adding and removing change which pane the popover is for: it closes first.
  auto* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  const struct {
    const char* icon;
    const char* tip;
    int step;  // -1, +1: move; 0: add a copy after it; 2: remove
    bool sensitive;
  } edits[] = {
      {"go-previous-symbolic", _("Move Left"), -1, pane > 0},
      {"go-next-symbolic", _("Move Right"), 1, pane + 1 < panes_.size()},
      {"list-add-symbolic", _("Add a Pane"), 0, panes_.size() < kMostPanes},
      {"list-remove-symbolic", _("Remove the Pane"), 2, panes_.size() > 1},
  };
  for (const auto& edit : edits) {
    auto* button = tagged(gtk_button_new_from_icon_name(edit.icon), pane);
    gtk_widget_set_tooltip_text(button, edit.tip);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, edit.tip, -1);
    gtk_widget_set_sensitive(button, edit.sensitive);
    g_object_set_data(G_OBJECT(button), "fennelview-step", GINT_TO_POINTER(edit.step));
    g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* button, gpointer strip) {
                       const int step = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "fennelview-step"));
                       const auto pane = paneOf(button);
                       if (auto* popover = gtk_widget_get_ancestor(GTK_WIDGET(button), GTK_TYPE_POPOVER)) {
                         gtk_popover_popdown(GTK_POPOVER(popover));
                       }
                       auto* self = stripOf(strip);
                       if (!self) return;
                       self->changePane(pane, [&](std::vector<Pane>& panes) {
                         if (step == 0 && panes.size() < kMostPanes) {
                           panes.insert(panes.begin() + static_cast<long>(pane) + 1, panes[pane]);
                         } else if (step == 2) {
                           panes.erase(panes.begin() + static_cast<long>(pane));
                         } else {
                           movePane(panes, pane, step);
                         }
                       });
                     }),
                     strip);
    gtk_box_append(GTK_BOX(buttons), button);
  }
  gtk_box_append(GTK_BOX(box), buttons);
  auto* popover = gtk_popover_new();
  gtk_popover_set_child(GTK_POPOVER(popover), box);
  return popover;
}

void PaneStrip::keepIn(Settings& settings, const std::string& documentPath) {
  if (documentPath.empty()) return;
  documentPath_ = documentPath;
  // Restored before the settings are known here, so restoring writes nothing back.
  const auto kept = settings.preview(documentPath_);
  media_ = kept.media;
  if (kept.panes.size() >= 2) {
    panes_ = kept.panes;
    setShown(true);
  } else {
    page_->setMedia(media_);
  }
  settings_ = &settings;
  updateActions();
}

void PaneStrip::save() {
  if (!settings_) return;
  settings_->setPreviewPanes(documentPath_, shown_ ? panes_ : std::vector<Pane>{});
  settings_->setPreviewMedia(documentPath_, media_);
}

void PaneStrip::installActions(GtkWidget* window) {
  actions_ = GObjectPtr<GSimpleActionGroup>(g_simple_action_group_new());
  auto add = [&](GSimpleAction* action, const char* signal, GCallback handler) {
    // Tied to the strip: an action the window still holds does nothing once it has gone.
    g_signal_connect_object(action, signal, handler, strip_.get(), G_CONNECT_DEFAULT);
    g_action_map_add_action(G_ACTION_MAP(actions_.get()), G_ACTION(action));
    g_object_unref(action);
  };
  add(g_simple_action_new_stateful("side-by-side", nullptr, g_variant_new_boolean(FALSE)), "change-state",
      G_CALLBACK(+[](GSimpleAction*, GVariant* value, gpointer strip) {
        if (auto* self = stripOf(strip)) self->setShown(g_variant_get_boolean(value));
      }));
  add(g_simple_action_new("preset", G_VARIANT_TYPE_STRING), "activate",
      G_CALLBACK(+[](GSimpleAction*, GVariant* value, gpointer strip) {
        auto* self = stripOf(strip);
        if (!self) return;
        const std::string preset = g_variant_get_string(value, nullptr);
        const int width = self->pageSize_.width() > 0 ? self->pageSize_.width() : kLightDarkWidth;
        if (preset == "widths") self->setPanes(defaultPanes());
        if (preset == "light-dark") self->setPanes(lightDarkPanes(width));
      }));
  add(g_simple_action_new_stateful("scroll-together", nullptr, g_variant_new_boolean(TRUE)), "change-state",
      G_CALLBACK(+[](GSimpleAction* action, GVariant* value, gpointer strip) {
        if (auto* self = stripOf(strip)) self->scrollTogether_ = g_variant_get_boolean(value);
        g_simple_action_set_state(action, value);
      }));
  add(g_simple_action_new_stateful("follow-links", nullptr, g_variant_new_boolean(TRUE)), "change-state",
      G_CALLBACK(+[](GSimpleAction* action, GVariant* value, gpointer strip) {
        if (auto* self = stripOf(strip)) self->followLinks_ = g_variant_get_boolean(value);
        g_simple_action_set_state(action, value);
      }));
  add(g_simple_action_new_stateful("color-scheme", G_VARIANT_TYPE_STRING, g_variant_new_string("")), "change-state",
      G_CALLBACK(+[](GSimpleAction*, GVariant* value, gpointer strip) {
        auto* self = stripOf(strip);
        if (!self) return;
        const std::string scheme = g_variant_get_string(value, nullptr);
        auto media = self->media_;
        media.colorScheme = scheme == "dark"    ? std::optional(ColorScheme::dark)
                            : scheme == "light" ? std::optional(ColorScheme::light)
                                                : std::nullopt;
        self->setMedia(media);
      }));
  add(g_simple_action_new_stateful("print", nullptr, g_variant_new_boolean(FALSE)), "change-state",
      G_CALLBACK(+[](GSimpleAction*, GVariant* value, gpointer strip) {
        auto* self = stripOf(strip);
        if (!self) return;
        auto media = self->media_;
        media.print = g_variant_get_boolean(value);
        self->setMedia(media);
      }));
  add(g_simple_action_new_stateful("reduced-motion", nullptr, g_variant_new_boolean(FALSE)), "change-state",
      G_CALLBACK(+[](GSimpleAction*, GVariant* value, gpointer strip) {
        auto* self = stripOf(strip);
        if (!self) return;
        auto media = self->media_;
        media.reducedMotion = g_variant_get_boolean(value);
        self->setMedia(media);
      }));
  gtk_widget_insert_action_group(window, "panes", G_ACTION_GROUP(actions_.get()));
  updateActions();
}

void PaneStrip::updateActions() {
  if (!actions_) return;
  auto* map = G_ACTION_MAP(actions_.get());
  auto set = [&](const char* name, GVariant* state) {
    g_simple_action_set_state(G_SIMPLE_ACTION(g_action_map_lookup_action(map, name)), state);
  };
  set("side-by-side", g_variant_new_boolean(shown_));
  set("color-scheme", g_variant_new_string(!media_.colorScheme                        ? ""
                                           : media_.colorScheme == ColorScheme::dark ? "dark"
                                                                                     : "light"));
  set("print", g_variant_new_boolean(media_.print));
  set("reduced-motion", g_variant_new_boolean(media_.reducedMotion));
  // The single view's states are set in the panes' own popovers while side by side.
  for (const char* name : {"color-scheme", "print", "reduced-motion"}) {
    g_simple_action_set_enabled(G_SIMPLE_ACTION(g_action_map_lookup_action(map, name)), !shown_);
  }
}

void PaneStrip::show(std::shared_ptr<const RenderPresenter> model, const std::string& placeText) {
  model_ = std::move(model);
  placeText_ = placeText;
  for (std::size_t pane = 1; pane < views_.size(); ++pane) views_[pane].page->show(model_, placeText_);
}

void PaneStrip::showSite(const std::filesystem::path& page) {
  sitePage_ = page;
  for (std::size_t pane = 1; pane < views_.size(); ++pane) views_[pane].page->showSite(page_->site(), sitePage_);
  page_->followServed();
}

void PaneStrip::showSample() {
  sitePage_.clear();
  for (std::size_t pane = 1; pane < views_.size(); ++pane) views_[pane].page->showSample();
}

void PaneStrip::close() {
  for (std::size_t pane = 1; pane < views_.size(); ++pane) views_[pane].page->close();
}

std::vector<WebKitWebView*> PaneStrip::webViews() const {
  if (!shown_) return {page_->webView()};
  std::vector<WebKitWebView*> views;
  for (const auto& view : views_) views.push_back(view.page->webView());
  return views;
}

}  // namespace fennelview
