#include "preferences_view.hpp"

#include <algorithm>
#include <string>

#include "common/glib_ptr.hpp"
#include "window/window_resources.hpp"

namespace fennelview {

namespace {
constexpr const char* description = "/org/fennelview/Fennelview/window/preferences_view.ui";
void deleteView(gpointer view) { delete static_cast<PreferencesView*>(view); }
}  // namespace

PreferencesView& PreferencesView::instantiate(UserDefaults& defaults, GtkWindow* parent) {
  std::unique_ptr<PreferencesView> view(new PreferencesView(defaults));
  registerWindowResources();
  GObjectPtr<GtkBuilder> builder(gtk_builder_new_from_resource(description));
  view->window_ = GTK_WINDOW(gtk_builder_get_object(builder.get(), "preferences-view"));
  view->dropDown_ = GTK_DROP_DOWN(gtk_builder_get_object(builder.get(), "editor-drop-down"));
  view->noEditorLabel_ = GTK_LABEL(gtk_builder_get_object(builder.get(), "no-editor-label"));
  if (parent) gtk_window_set_transient_for(view->window_, parent);
  view->bind();
  GtkWindow* window = view->window_;
  auto& result = *view;
  g_object_set_data_full(G_OBJECT(window), "fennelview-preferences-view", view.release(), deleteView);
  return result;
}

void PreferencesView::bind() {
  const auto& list = editors();
  GObjectPtr<GtkStringList> names(gtk_string_list_new(nullptr));
  for (const auto& editor : list) {
    // An application without a display name still needs a visible entry.
    const auto& name = editor->description().empty() ? editor->path() : editor->description();
    gtk_string_list_append(names.get(), name.c_str());
  }
  gtk_drop_down_set_model(dropDown_, G_LIST_MODEL(names.get()));
  if (list.empty()) {
    gtk_widget_set_sensitive(GTK_WIDGET(dropDown_), FALSE);
    gtk_widget_set_visible(GTK_WIDGET(noEditorLabel_), TRUE);
    return;
  }
  const auto current = defaultEditor();
  const auto found = std::find(list.begin(), list.end(), current);
  gtk_drop_down_set_selected(dropDown_, found == list.end() ? GTK_INVALID_LIST_POSITION
                                                            : static_cast<guint>(found - list.begin()));
  // Connected after the first selection, so showing the window writes nothing.
  g_signal_connect(dropDown_, "notify::selected", G_CALLBACK(selectionChanged), this);
}

void PreferencesView::selectionChanged(GObject* dropDown, GParamSpec*, gpointer self) {
  auto& view = *static_cast<PreferencesView*>(self);
  const guint selected = gtk_drop_down_get_selected(GTK_DROP_DOWN(dropDown));
  const auto& list = view.editors();
  if (selected < list.size()) view.setDefaultEditor(list[selected]);
}

}  // namespace fennelview
