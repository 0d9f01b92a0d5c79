// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/css_view.hpp"

#include <glib/gi18n.h>
#include <gtksourceview/gtksource.h>

namespace {

// GTK's own close button of the search bar reads as its icon ("GtkImage") to a screen reader.
void nameCloseButton(GtkWidget* widget) {
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
    if (GTK_IS_BUTTON(child)) {
      gtk_accessible_update_property(GTK_ACCESSIBLE(child), GTK_ACCESSIBLE_PROPERTY_LABEL, _("Close Search"), -1);
    }
    nameCloseButton(child);
  }
}

}  // namespace

namespace fennelview {

CssView::CssView() {
  gtk_source_init();
  buffer_ = gtk_source_buffer_new(nullptr);
  // A scheme of its own also gives the search its match style.
  gtk_source_buffer_set_style_scheme(
      buffer_, gtk_source_style_scheme_manager_get_scheme(gtk_source_style_scheme_manager_get_default(), "Adwaita"));
  gtk_source_buffer_set_language(
      buffer_, gtk_source_language_manager_get_language(gtk_source_language_manager_get_default(), "css"));
  GtkWidget* view = gtk_source_view_new_with_buffer(buffer_);
  g_object_unref(buffer_);  // the view holds it
  textView_ = GTK_TEXT_VIEW(view);
  gtk_text_view_set_editable(textView_, FALSE);
  gtk_text_view_set_monospace(textView_, TRUE);
  gtk_source_view_set_show_line_numbers(GTK_SOURCE_VIEW(view), TRUE);

  searchEntry_ = GTK_SEARCH_ENTRY(gtk_search_entry_new());
  gtk_widget_set_hexpand(GTK_WIDGET(searchEntry_), TRUE);
  searchBar_ = GTK_SEARCH_BAR(gtk_search_bar_new());
  gtk_search_bar_set_child(searchBar_, GTK_WIDGET(searchEntry_));
  gtk_search_bar_connect_entry(searchBar_, GTK_EDITABLE(searchEntry_));
  gtk_search_bar_set_show_close_button(searchBar_, TRUE);
  nameCloseButton(GTK_WIDGET(searchBar_));

  GtkWidget* scroller = gtk_scrolled_window_new();
  gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), view);
  gtk_widget_set_vexpand(scroller, TRUE);
  root_ = GObjectPtr<GtkWidget>(GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))));
  gtk_box_append(GTK_BOX(root_.get()), GTK_WIDGET(searchBar_));
  gtk_box_append(GTK_BOX(root_.get()), scroller);
  gtk_search_bar_set_key_capture_widget(searchBar_, root_.get());

  // The place of the cursor's line, read out as it changes; the bar keeps its height without one.
  placeBar_ = GTK_WIDGET(g_object_new(GTK_TYPE_BOX, "accessible-role", GTK_ACCESSIBLE_ROLE_STATUS, nullptr));
  placeButton_ = GTK_BUTTON(gtk_button_new_with_label("_buttons.scss:7"));
  gtk_widget_add_css_class(GTK_WIDGET(placeButton_), "link");
  gtk_widget_set_tooltip_text(GTK_WIDGET(placeButton_), _("Open in the editor"));
  int height = 0;
  gtk_widget_measure(GTK_WIDGET(placeButton_), GTK_ORIENTATION_VERTICAL, -1, nullptr, &height, nullptr, nullptr);
  gtk_widget_set_size_request(placeBar_, -1, height);
  gtk_button_set_label(placeButton_, "");
  for (auto* side : {&gtk_widget_set_margin_start, &gtk_widget_set_margin_end}) side(placeBar_, 6);
  gtk_box_append(GTK_BOX(placeBar_), GTK_WIDGET(placeButton_));
  gtk_widget_set_visible(placeBar_, FALSE);
  gtk_box_append(GTK_BOX(root_.get()), placeBar_);
  g_signal_connect_swapped(placeButton_, "clicked", G_CALLBACK(+[](CssView* self) { self->openPlace(); }), this);
  g_signal_connect_swapped(buffer_, "notify::cursor-position", G_CALLBACK(+[](CssView* self) { self->showPlace(); }), this);
  keys_ = gtk_event_controller_key_new();
  g_signal_connect(keys_, "key-pressed",
                   G_CALLBACK(+[](GtkEventControllerKey*, guint key, guint, GdkModifierType, gpointer self) -> gboolean {
                     if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter && key != GDK_KEY_ISO_Enter) return FALSE;
                     return static_cast<CssView*>(self)->openPlace();
                   }),
                   this);
  gtk_widget_add_controller(view, keys_);

  g_signal_connect(searchEntry_, "search-changed", G_CALLBACK(+[](GtkSearchEntry* entry, gpointer self) {
                     auto* view = static_cast<CssView*>(self);
                     gtk_source_search_settings_set_search_text(
                         gtk_source_search_context_get_settings(view->search()),
                         gtk_editable_get_text(GTK_EDITABLE(entry)));
                     view->findNext();
                   }),
                   this);
  for (const char* signal : {"activate", "next-match"}) {
    auto next = +[](CssView* self) {
      GtkTextIter start;
      GtkTextIter end;
      gtk_text_buffer_get_selection_bounds(GTK_TEXT_BUFFER(self->buffer_), &start, &end);
      gtk_text_buffer_place_cursor(GTK_TEXT_BUFFER(self->buffer_), &end);
      self->findNext();
    };
    g_signal_connect_swapped(searchEntry_, signal, G_CALLBACK(next), this);
  }
}

CssView::~CssView() {
  g_signal_handlers_disconnect_by_data(searchEntry_, this);
  g_signal_handlers_disconnect_by_data(buffer_, this);
  g_signal_handlers_disconnect_by_data(placeButton_, this);
  g_signal_handlers_disconnect_by_data(keys_, this);
}

void CssView::setCSS(std::shared_ptr<const std::string> css, std::shared_ptr<const SourceMap> map) {
  css_ = std::move(css);
  map_ = std::move(map);
  stale_ = true;
  if (shown_) fill();
}

void CssView::setShown(bool shown) {
  shown_ = shown;
  if (shown_ && stale_) fill();
}

void CssView::toggleSearch() {
  const bool open = !gtk_search_bar_get_search_mode(searchBar_);
  gtk_search_bar_set_search_mode(searchBar_, open);
  if (open) gtk_widget_grab_focus(GTK_WIDGET(searchEntry_));
}

std::string CssView::text() const {
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(GTK_TEXT_BUFFER(buffer_), &start, &end);
  GCharPtr text(gtk_text_buffer_get_text(GTK_TEXT_BUFFER(buffer_), &start, &end, FALSE));
  return text.get();
}

void CssView::fill() {
  stale_ = false;
  // The view keeps its own place: the line at its top stays there under the new text.
  GdkRectangle visible;
  gtk_text_view_get_visible_rect(textView_, &visible);
  GtkTextIter top;
  gtk_text_view_get_line_at_y(textView_, &top, visible.y, nullptr);
  const int line = gtk_text_iter_get_line(&top);
  auto* buffer = GTK_TEXT_BUFFER(buffer_);
  gtk_text_buffer_set_text(buffer, css_->data(), static_cast<int>(css_->size()));
  gtk_text_buffer_get_iter_at_line(buffer, &top, line);
  GtkTextMark* mark = gtk_text_buffer_get_mark(buffer, "fennelview-top");
  if (!mark) mark = gtk_text_buffer_create_mark(buffer, "fennelview-top", &top, TRUE);
  gtk_text_buffer_move_mark(buffer, mark, &top);
  gtk_text_view_scroll_to_mark(textView_, mark, 0.0, TRUE, 0.0, 0.0);
  showPlace();
}

void CssView::showPlace() {
  place_.reset();
  if (map_ && shown_ && !stale_) {
    GtkTextIter at;
    gtk_text_buffer_get_iter_at_mark(GTK_TEXT_BUFFER(buffer_), &at, gtk_text_buffer_get_insert(GTK_TEXT_BUFFER(buffer_)));
    gtk_text_iter_set_line_offset(&at, 0);
    while (!gtk_text_iter_ends_line(&at) && g_unichar_isspace(gtk_text_iter_get_char(&at))) gtk_text_iter_forward_char(&at);
    place_ = placeOfLine(gtk_text_iter_get_line(&at) + 1, gtk_text_iter_get_line_offset(&at) + 1, *map_);
  }
  gtk_widget_set_visible(placeBar_, map_ != nullptr);
  gtk_widget_set_visible(GTK_WIDGET(placeButton_), place_.has_value());
  if (place_) gtk_button_set_label(placeButton_, place_->displayName.c_str());
  placeLink_.setPlace(place_ ? std::optional<SourcePlace>(SourcePlace{place_->file, place_->line, std::nullopt}) : std::nullopt);
}

std::string CssView::placeText() const { return place_ ? place_->displayName : std::string(); }

bool CssView::openPlace() const {
  if (!place_) return false;
  GObjectPtr<GdkAppLaunchContext> context(gdk_display_get_app_launch_context(gtk_widget_get_display(widget())));
  return placeLink_.open(G_APP_LAUNCH_CONTEXT(context.get()));
}

GtkSourceSearchContext* CssView::search() {
  // Made on first use: a window whose CSS is never searched keeps no search state.
  if (!search_) {
    auto* settings = gtk_source_search_settings_new();
    gtk_source_search_settings_set_wrap_around(settings, TRUE);
    search_ = GObjectPtr<GtkSourceSearchContext>(gtk_source_search_context_new(buffer_, settings));
    g_object_unref(settings);
  }
  return search_.get();
}

void CssView::findNext() {
  GtkTextIter from, start, end;
  gtk_text_buffer_get_iter_at_mark(GTK_TEXT_BUFFER(buffer_), &from,
                                   gtk_text_buffer_get_insert(GTK_TEXT_BUFFER(buffer_)));
  gboolean wrapped = FALSE;
  if (!gtk_source_search_context_forward(search(), &from, &start, &end, &wrapped)) return;
  gtk_text_buffer_select_range(GTK_TEXT_BUFFER(buffer_), &start, &end);
  gtk_text_view_scroll_to_iter(textView_, &start, 0.1, FALSE, 0.0, 0.0);
}

}  // namespace fennelview
