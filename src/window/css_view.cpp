// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/css_view.hpp"

#include <glib/gi18n.h>
#include <gtksourceview/gtksource.h>

#include <memory>

#include "compile/sassc_output.hpp"
#include "window/window_resources.hpp"

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

struct _FennelviewCssView {
  GtkBox parent_instance;
  GtkSearchBar* search_bar;
  GtkSearchEntry* search_entry;
  GtkSourceView* source_view;
  GtkWidget* place_bar;
  GtkButton* place_button;
  std::unique_ptr<fennelview::CssView> view;
};

G_DEFINE_FINAL_TYPE(FennelviewCssView, fennelview_css_view, GTK_TYPE_BOX)

static void fennelview_css_view_init(FennelviewCssView* self) {
  std::construct_at(&self->view);
  gtk_widget_init_template(GTK_WIDGET(self));
  self->view = std::make_unique<fennelview::CssView>(self);
}

static void fennelview_css_view_dispose(GObject* object) {
  auto* self = FENNELVIEW_CSS_VIEW(object);
  self->view.reset();
  gtk_widget_dispose_template(GTK_WIDGET(self), FENNELVIEW_TYPE_CSS_VIEW);
  G_OBJECT_CLASS(fennelview_css_view_parent_class)->dispose(object);
}

static void fennelview_css_view_finalize(GObject* object) {
  std::destroy_at(&FENNELVIEW_CSS_VIEW(object)->view);
  G_OBJECT_CLASS(fennelview_css_view_parent_class)->finalize(object);
}

static void fennelview_css_view_class_init(FennelviewCssViewClass* klass) {
  gtk_source_init();
  g_type_ensure(GTK_SOURCE_TYPE_VIEW);
  fennelview::registerWindowResources();
  G_OBJECT_CLASS(klass)->dispose = fennelview_css_view_dispose;
  G_OBJECT_CLASS(klass)->finalize = fennelview_css_view_finalize;
  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/css_view.ui");
  gtk_widget_class_bind_template_child(widgetClass, FennelviewCssView, search_bar);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewCssView, search_entry);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewCssView, source_view);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewCssView, place_bar);
  gtk_widget_class_bind_template_child(widgetClass, FennelviewCssView, place_button);
}

namespace fennelview {

CssView& cssViewOf(FennelviewCssView* widget) { return *widget->view; }

CssView::CssView(FennelviewCssView* widget)
    : widget_(widget),
      searchBar_(widget->search_bar),
      searchEntry_(widget->search_entry),
      textView_(GTK_TEXT_VIEW(widget->source_view)),
      buffer_(GTK_SOURCE_BUFFER(gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget->source_view)))),
      placeBar_(widget->place_bar),
      placeButton_(widget->place_button) {
  // A scheme of its own also gives the search its match style.
  gtk_source_buffer_set_style_scheme(
      buffer_, gtk_source_style_scheme_manager_get_scheme(gtk_source_style_scheme_manager_get_default(), "Adwaita"));
  gtk_source_buffer_set_language(
      buffer_, gtk_source_language_manager_get_language(gtk_source_language_manager_get_default(), "css"));
  gtk_search_bar_connect_entry(searchBar_, GTK_EDITABLE(searchEntry_));
  nameCloseButton(GTK_WIDGET(searchBar_));
  gtk_search_bar_set_key_capture_widget(searchBar_, GTK_WIDGET(widget_));
  // The bar keeps its height without a place.
  gtk_button_set_label(placeButton_, "_buttons.scss:7");
  int height = 0;
  gtk_widget_measure(GTK_WIDGET(placeButton_), GTK_ORIENTATION_VERTICAL, -1, nullptr, &height, nullptr, nullptr);
  gtk_widget_set_size_request(placeBar_, -1, height);
  gtk_button_set_label(placeButton_, "");
  GtkWidget* view = GTK_WIDGET(textView_);
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
  // A compile again only for its map keeps the text and the cursor where they are.
  const bool sameText = css_ && css && !stale_ && *css_ == *css;
  // With LibSass that compile adds line comments: the cursor and the top stay on their lines.
  const auto moved = css_ && css && !stale_ && !sameText && shown_ ? linesPastLineComments(*css_, *css) : std::vector<int>{};
  css_ = std::move(css);
  map_ = std::move(map);
  if (sameText) return showPlace();
  stale_ = true;
  if (shown_) fill(moved);
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

void CssView::fill(const std::vector<int>& moved) {
  stale_ = false;
  // The view keeps its own place: the line at its top stays there under the new text.
  GdkRectangle visible;
  gtk_text_view_get_visible_rect(textView_, &visible);
  GtkTextIter top;
  gtk_text_view_get_line_at_y(textView_, &top, visible.y, nullptr);
  const auto movedLine = [&moved](int line) {
    return line >= 0 && static_cast<std::size_t>(line) < moved.size() ? moved[static_cast<std::size_t>(line)] : line;
  };
  // The top takes along the comments added above its line.
  const int topLine = gtk_text_iter_get_line(&top);
  const int line = moved.empty() ? topLine : topLine > 0 ? movedLine(topLine - 1) + 1 : 0;
  auto* buffer = GTK_TEXT_BUFFER(buffer_);
  GtkTextIter cursor;
  gtk_text_buffer_get_iter_at_mark(buffer, &cursor, gtk_text_buffer_get_insert(buffer));
  const int cursorLine = movedLine(gtk_text_iter_get_line(&cursor)), cursorOffset = gtk_text_iter_get_line_offset(&cursor);
  gtk_text_buffer_set_text(buffer, css_->data(), static_cast<int>(css_->size()));
  if (!moved.empty()) {
    gtk_text_buffer_get_iter_at_line_offset(buffer, &cursor, cursorLine, cursorOffset);
    gtk_text_buffer_place_cursor(buffer, &cursor);
  }
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
