// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences_view.hpp"

#include <algorithm>

#include "common/glib_ptr.hpp"
#include "document/sass_document.hpp"
#include "window/window_resources.hpp"

namespace fennelview {

namespace {
constexpr const char* description = "/org/fennelview/Fennelview/window/preferences_view.ui";
constexpr const char* viewKey = "fennelview-preferences-view";
void deleteView(gpointer view) { delete static_cast<PreferencesView*>(view); }

GObjectPtr<GtkStringList> stringList(const std::vector<std::string>& names) {
  GObjectPtr<GtkStringList> list(gtk_string_list_new(nullptr));
  for (const auto& name : names) gtk_string_list_append(list.get(), name.c_str());
  return list;
}
}  // namespace

PreferencesView& PreferencesView::instantiate(UserDefaults& defaults, GtkWindow* parent) {
  adw_init();
  std::unique_ptr<PreferencesView> view(new PreferencesView(defaults));
  registerWindowResources();
  GObjectPtr<GtkBuilder> builder(gtk_builder_new_from_resource(description));
  const auto object = [&](const char* id) { return gtk_builder_get_object(builder.get(), id); };
  view->window_ = ADW_PREFERENCES_WINDOW(object("preferences-view"));
  view->editorRow_ = ADW_COMBO_ROW(object("editor-row"));
  view->noEditorRow_ = GTK_WIDGET(object("no-editor-row"));
  view->compilerRow_ = ADW_COMBO_ROW(object("compiler-row"));
  view->loadPathsGroup_ = ADW_PREFERENCES_GROUP(object("load-paths-group"));
  view->noLoadPathsRow_ = GTK_WIDGET(object("no-load-paths-row"));
  g_signal_connect_swapped(object("add-load-path-button"), "clicked", G_CALLBACK(+[](PreferencesView* self) {
                             self->chooseLoadPath();
                           }),
                           view.get());
  if (parent) gtk_window_set_transient_for(view->window(), parent);
  view->bindEditors();
  view->bindCompilers();
  view->showLoadPaths();
  GtkWindow* window = view->window();
  auto& result = *view;
  g_object_set_data_full(G_OBJECT(window), viewKey, view.release(), deleteView);
  return result;
}

void PreferencesView::bindEditors() {
  const auto& list = preferences_.editors();
  std::vector<std::string> names;
  // An application without a display name still needs a visible entry.
  for (const auto& editor : list) names.push_back(editor->description().empty() ? editor->path() : editor->description());
  adw_combo_row_set_model(editorRow_, G_LIST_MODEL(stringList(names).get()));
  if (list.empty()) {
    gtk_widget_set_visible(GTK_WIDGET(editorRow_), FALSE);
    gtk_widget_set_visible(noEditorRow_, TRUE);
    return;
  }
  const auto found = std::find(list.begin(), list.end(), preferences_.defaultEditor());
  adw_combo_row_set_selected(editorRow_, static_cast<guint>(found - list.begin()));
  // Connected after the first selection, so showing the window writes nothing.
  g_signal_connect(editorRow_, "notify::selected", G_CALLBACK(+[](AdwComboRow* row, GParamSpec*, gpointer self) {
                     auto& view = *static_cast<PreferencesView*>(self);
                     const guint selected = adw_combo_row_get_selected(row);
                     const auto& editors = view.preferences_.editors();
                     if (selected < editors.size()) view.preferences_.setDefaultEditor(editors[selected]);
                   }),
                   this);
}

void PreferencesView::bindCompilers() {
  compilers_ = Compilers::shared().found();
  std::vector<std::string> names;
  for (const auto& compiler : compilers_) names.push_back(compiler.name);
  adw_combo_row_set_model(compilerRow_, G_LIST_MODEL(stringList(names).get()));
  const auto current = Compilers::shared().forChoice(defaults_.stringForKey(std::string(kCompilerSettingKey))).id;
  const auto found = std::find_if(compilers_.begin(), compilers_.end(), [&](const auto& c) { return c.id == current; });
  adw_combo_row_set_selected(compilerRow_, found == compilers_.end() ? GTK_INVALID_LIST_POSITION
                                                                     : static_cast<guint>(found - compilers_.begin()));
  gtk_widget_set_sensitive(GTK_WIDGET(compilerRow_), compilers_.size() > 1);
  g_signal_connect(compilerRow_, "notify::selected", G_CALLBACK(+[](AdwComboRow* row, GParamSpec*, gpointer self) {
                     auto& view = *static_cast<PreferencesView*>(self);
                     const guint selected = adw_combo_row_get_selected(row);
                     if (selected >= view.compilers_.size()) return;
                     view.defaults_.setObject(view.compilers_[selected].id, std::string(kCompilerSettingKey));
                     SassDocument::recompileAll();
                   }),
                   this);
}

std::vector<std::string> PreferencesView::loadPaths() const {
  std::vector<std::string> folders;
  const auto stored = defaults_.objectForKey(loadPathsKey);
  if (!stored || !stored->is_array()) return folders;
  for (const auto& item : *stored) {
    if (auto folder = typedValue<std::string>(item)) folders.push_back(std::move(*folder));
  }
  return folders;
}

void PreferencesView::addLoadPath(const std::string& folder) {
  auto folders = loadPaths();
  if (std::find(folders.begin(), folders.end(), folder) != folders.end()) return;
  folders.push_back(folder);
  storeLoadPaths(folders);
}

void PreferencesView::storeLoadPaths(const std::vector<std::string>& folders) {
  defaults_.setObject(folders, loadPathsKey);
  showLoadPaths();
  SassDocument::recompileAll();
}

void PreferencesView::showLoadPaths() {
  for (auto* row : loadPathRows_) adw_preferences_group_remove(loadPathsGroup_, row);
  loadPathRows_.clear();
  removeButtons_.clear();
  const auto folders = loadPaths();
  gtk_widget_set_visible(noLoadPathsRow_, folders.empty());
  for (const auto& folder : folders) {
    GtkWidget* row = adw_action_row_new();
    // A path may hold characters that Pango markup would read as tags.
    adw_preferences_row_set_use_markup(ADW_PREFERENCES_ROW(row), FALSE);
    adw_preferences_row_set_title(ADW_PREFERENCES_ROW(row), folder.c_str());
    GtkWidget* remove = gtk_button_new_from_icon_name("list-remove-symbolic");
    gtk_widget_set_valign(remove, GTK_ALIGN_CENTER);
    gtk_widget_add_css_class(remove, "flat");
    gtk_widget_set_tooltip_text(remove, "Remove Load Path");
    const std::string accessibleName = "Remove " + folder;
    gtk_accessible_update_property(GTK_ACCESSIBLE(remove), GTK_ACCESSIBLE_PROPERTY_LABEL, accessibleName.c_str(), -1);
    g_object_set_data_full(G_OBJECT(remove), "folder", g_strdup(folder.c_str()), g_free);
    g_signal_connect(remove, "clicked", G_CALLBACK(+[](GtkButton* button, gpointer self) {
                       auto& view = *static_cast<PreferencesView*>(self);
                       const std::string gone = static_cast<const char*>(g_object_get_data(G_OBJECT(button), "folder"));
                       auto kept = view.loadPaths();
                       std::erase(kept, gone);
                       // The emission holds the button, so its row may go during this handler.
                       view.storeLoadPaths(kept);
                     }),
                     this);
    adw_action_row_add_suffix(ADW_ACTION_ROW(row), remove);
    adw_preferences_group_add(loadPathsGroup_, row);
    loadPathRows_.push_back(row);
    removeButtons_.push_back(remove);
  }
}

void PreferencesView::chooseLoadPath() {
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new("Add Load Path", window(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                             "_Add", "_Cancel");
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  // The window (and with it this view) is kept until the answer, even if closed meanwhile.
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkNativeDialog* native, gint response, gpointer window) {
                     auto* view = static_cast<PreferencesView*>(g_object_get_data(G_OBJECT(window), viewKey));
                     if (response == GTK_RESPONSE_ACCEPT && view) {
                       GObjectPtr<GFile> folder(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(native)));
                       GCharPtr path(folder ? g_file_get_path(folder.get()) : nullptr);
                       if (path) view->addLoadPath(path.get());
                     }
                     g_object_unref(window);
                     g_object_unref(native);
                   }),
                   g_object_ref(window_));
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

}  // namespace fennelview
