// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences_view.hpp"

#include <glib/gi18n.h>

#include <algorithm>
#include <memory>

#include "common/glib_ptr.hpp"
#include "site/project_settings.hpp"
#include "window/preview_web_context.hpp"
#include "window/window_resources.hpp"

struct _FennelviewPreferencesWindow {
  AdwPreferencesWindow parent_instance;
  AdwComboRow* editorRow;
  AdwActionRow* noEditorRow;
  AdwComboRow* compilerRow;
  AdwActionRow* refusedCompilerRow;
  AdwComboRow* drawingRow;
  AdwPreferencesGroup* loadPathsGroup;
  AdwActionRow* noLoadPathsRow;
  AdwPreferencesGroup* projectLoadPathsGroup;
  AdwActionRow* noProjectLoadPathsRow;
  std::unique_ptr<fennelview::PreferencesView> view;
};

G_DEFINE_FINAL_TYPE(FennelviewPreferencesWindow, fennelview_preferences_window, ADW_TYPE_PREFERENCES_WINDOW)

static void fennelview_preferences_window_init(FennelviewPreferencesWindow* self) {
  std::construct_at(&self->view);
  gtk_widget_init_template(GTK_WIDGET(self));
}

static void fennelview_preferences_window_dispose(GObject* object) {
  auto* self = FENNELVIEW_PREFERENCES_WINDOW(object);
  self->view.reset();
  gtk_widget_dispose_template(GTK_WIDGET(self), fennelview_preferences_window_get_type());
  G_OBJECT_CLASS(fennelview_preferences_window_parent_class)->dispose(object);
}

static void fennelview_preferences_window_finalize(GObject* object) {
  std::destroy_at(&FENNELVIEW_PREFERENCES_WINDOW(object)->view);
  G_OBJECT_CLASS(fennelview_preferences_window_parent_class)->finalize(object);
}

static void fennelview_preferences_window_class_init(FennelviewPreferencesWindowClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fennelview_preferences_window_dispose;
  G_OBJECT_CLASS(klass)->finalize = fennelview_preferences_window_finalize;
  auto* widgetClass = GTK_WIDGET_CLASS(klass);
  fennelview::registerWindowResources();
  gtk_widget_class_set_template_from_resource(widgetClass, "/org/fennelview/Fennelview/window/preferences_view.ui");
  const std::pair<const char*, glong> children[] = {
      {"editor-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, editorRow)},
      {"no-editor-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, noEditorRow)},
      {"compiler-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, compilerRow)},
      {"refused-compiler-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, refusedCompilerRow)},
      {"drawing-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, drawingRow)},
      {"load-paths-group", G_STRUCT_OFFSET(FennelviewPreferencesWindow, loadPathsGroup)},
      {"no-load-paths-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, noLoadPathsRow)},
      {"project-load-paths-group", G_STRUCT_OFFSET(FennelviewPreferencesWindow, projectLoadPathsGroup)},
      {"no-project-load-paths-row", G_STRUCT_OFFSET(FennelviewPreferencesWindow, noProjectLoadPathsRow)},
  };
  for (const auto& [id, offset] : children) gtk_widget_class_bind_template_child_full(widgetClass, id, FALSE, offset);
  gtk_widget_class_install_action(widgetClass, "preferences.add-load-path", nullptr,
                                  +[](GtkWidget* widget, const char*, GVariant*) {
                                    if (auto& view = FENNELVIEW_PREFERENCES_WINDOW(widget)->view) view->chooseLoadPath();
                                  });
  gtk_widget_class_install_action(widgetClass, "preferences.add-project-load-path", nullptr,
                                  +[](GtkWidget* widget, const char*, GVariant*) {
                                    if (auto& view = FENNELVIEW_PREFERENCES_WINDOW(widget)->view) view->chooseLoadPath(true);
                                  });
  gtk_widget_class_install_action(widgetClass, "preferences.remove-project-load-path", "s",
                                  +[](GtkWidget* widget, const char*, GVariant* entry) {
                                    if (auto& view = FENNELVIEW_PREFERENCES_WINDOW(widget)->view) {
                                      view->removeProjectLoadPath(g_variant_get_string(entry, nullptr));
                                    }
                                  });
  gtk_widget_class_install_action(widgetClass, "preferences.remove-load-path", "s",
                                  +[](GtkWidget* widget, const char*, GVariant* folder) {
                                    if (auto& view = FENNELVIEW_PREFERENCES_WINDOW(widget)->view) {
                                      view->removeLoadPath(g_variant_get_string(folder, nullptr));
                                    }
                                  });
}

namespace fennelview {

namespace {
GObjectPtr<GtkStringList> stringList(const std::vector<std::string>& names) {
  GObjectPtr<GtkStringList> list(gtk_string_list_new(nullptr));
  for (const auto& name : names) gtk_string_list_append(list.get(), name.c_str());
  return list;
}
}  // namespace

PreferencesView::PreferencesView(Settings& settings, FennelviewPreferencesWindow* window)
    : settings_(settings), preferences_(settings), window_(window) {}

PreferencesView& PreferencesView::instantiate(Settings& settings, GtkWindow* parent,
                                              std::optional<std::filesystem::path> projectRoot) {
  adw_init();
  auto* window = FENNELVIEW_PREFERENCES_WINDOW(g_object_new(fennelview_preferences_window_get_type(), nullptr));
  window->view.reset(new PreferencesView(settings, window));
  auto& view = *window->view;
  view.projectRoot_ = std::move(projectRoot);
  if (view.projectRoot_) {
    GCharPtr name(g_filename_display_basename(view.projectRoot_->c_str()));
    /* Translators: the title of a project's own load paths; %1$s is the project's folder name. */
    GCharPtr title(g_strdup_printf(_("Load paths of %1$s"), name.get()));
    GCharPtr escaped(g_markup_escape_text(title.get(), -1));  // the title reads markup
    adw_preferences_group_set_title(window->projectLoadPathsGroup, escaped.get());
    gtk_widget_set_visible(GTK_WIDGET(window->projectLoadPathsGroup), TRUE);
  }
  if (parent) gtk_window_set_transient_for(view.window(), parent);
  view.bindEditors();
  view.bindCompilers();
  view.bindDrawing();
  view.showLoadPaths();
  // The list follows every change of the load paths, wherever it is made.
  view.loadPathsObservation_ = settings.observe(Settings::Entry::loadPaths, [&view] { view.showLoadPaths(); });
  if (const auto notice = settings.takeNotice()) {
    // A toast's title is markup; the file's name may hold characters markup reads as tags.
    GCharPtr title(g_markup_escape_text(notice->c_str(), -1));
    AdwToast* toast = adw_toast_new(title.get());
    adw_toast_set_timeout(toast, 0);  // stays until dismissed: it is about the user's data
    adw_preferences_window_add_toast(ADW_PREFERENCES_WINDOW(window), toast);
  }
  return view;
}

AdwComboRow* PreferencesView::editorRow() const { return window_->editorRow; }
AdwComboRow* PreferencesView::compilerRow() const { return window_->compilerRow; }

void PreferencesView::bindEditors() {
  const auto& list = preferences_.editors();
  std::vector<std::string> names;
  // An application without a display name still needs a visible entry.
  for (const auto& editor : list) names.push_back(editor->description().empty() ? editor->path() : editor->description());
  adw_combo_row_set_model(window_->editorRow, G_LIST_MODEL(stringList(names).get()));
  if (list.empty()) {
    gtk_widget_set_visible(GTK_WIDGET(window_->editorRow), FALSE);
    gtk_widget_set_visible(GTK_WIDGET(window_->noEditorRow), TRUE);
    return;
  }
  const auto found = std::find(list.begin(), list.end(), preferences_.defaultEditor());
  adw_combo_row_set_selected(window_->editorRow, static_cast<guint>(found - list.begin()));
  // Connected after the first selection, so showing the window writes nothing.
  g_signal_connect(window_->editorRow, "notify::selected",
                   G_CALLBACK(+[](AdwComboRow* row, GParamSpec*, PreferencesView* view) {
                     const guint selected = adw_combo_row_get_selected(row);
                     const auto& editors = view->preferences_.editors();
                     if (selected < editors.size()) view->preferences_.setDefaultEditor(editors[selected]);
                   }),
                   this);
}

void PreferencesView::bindCompilers() {
  compilers_ = Compilers::shared().found();
  std::vector<std::string> names;
  for (const auto& compiler : compilers_) names.push_back(compiler.name);
  adw_combo_row_set_model(window_->compilerRow, G_LIST_MODEL(stringList(names).get()));
  const auto current = Compilers::shared().forChoice(settings_.compiler()).id;
  const auto found = std::ranges::find(compilers_, current, &Compiler::id);
  adw_combo_row_set_selected(window_->compilerRow, found == compilers_.end()
                                                       ? GTK_INVALID_LIST_POSITION
                                                       : static_cast<guint>(found - compilers_.begin()));
  gtk_widget_set_sensitive(GTK_WIDGET(window_->compilerRow), compilers_.size() > 1);
  g_signal_connect(window_->compilerRow, "notify::selected",
                   G_CALLBACK(+[](AdwComboRow* row, GParamSpec*, PreferencesView* view) {
                     const guint selected = adw_combo_row_get_selected(row);
                     if (selected < view->compilers_.size()) view->settings_.setCompiler(view->compilers_[selected].id);
                   }),
                   this);
  std::vector<std::string> reasons;
  for (const auto& refused : Compilers::shared().refused()) reasons.push_back(refused.executable.string() + ": " + refused.reason);
  showRefusedCompilers(reasons);
}

namespace {
// In the order of the drawing row's entries.
constexpr HardwareAcceleration kDrawingChoices[] = {HardwareAcceleration::Auto, HardwareAcceleration::On,
                                                    HardwareAcceleration::Off};
}  // namespace

void PreferencesView::bindDrawing() {
  /* Translators: the choices for drawing the preview with hardware acceleration. */
  adw_combo_row_set_model(window_->drawingRow, G_LIST_MODEL(stringList({C_("hardware acceleration", "Automatic"),
                                                                         C_("hardware acceleration", "On"),
                                                                         C_("hardware acceleration", "Off")})
                                                                  .get()));
  const auto current = hardwareAccelerationFromText(settings_.webRendering());
  const auto found = std::ranges::find(kDrawingChoices, current);
  adw_combo_row_set_selected(window_->drawingRow, static_cast<guint>(found - std::begin(kDrawingChoices)));
  showDrawingPath();
  g_signal_connect(window_->drawingRow, "notify::selected",
                   G_CALLBACK(+[](AdwComboRow* row, GParamSpec*, PreferencesView* view) {
                     const guint selected = adw_combo_row_get_selected(row);
                     if (selected >= std::size(kDrawingChoices)) return;
                     view->settings_.setWebRendering(hardwareAccelerationText(kDrawingChoices[selected]));
                     // Applied here as well, so the reason below is the new one whatever observes the setting.
                     PreviewWebContext::shared().setHardwareAcceleration(kDrawingChoices[selected]);
                     view->showDrawingPath();
                   }),
                   this);
}

void PreferencesView::showDrawingPath() {
  // The row reads markup; the renderer's name is text.
  GCharPtr reason(g_markup_escape_text(PreviewWebContext::shared().drawingPath().reason.c_str(), -1));
  adw_action_row_set_subtitle(ADW_ACTION_ROW(window_->drawingRow), reason.get());
}

void PreferencesView::showRefusedCompilers(const std::vector<std::string>& reasons) {
  std::string text;
  for (const auto& reason : reasons) text += (text.empty() ? "" : "\n") + reason;
  // The row reads markup; a path or a compiler's words are text.
  GCharPtr escaped(g_markup_escape_text(text.c_str(), -1));
  adw_action_row_set_subtitle(window_->refusedCompilerRow, escaped.get());
  gtk_widget_set_visible(GTK_WIDGET(window_->refusedCompilerRow), !reasons.empty());
}

void PreferencesView::addLoadPath(const std::string& folder) {
  auto folders = settings_.loadPaths();
  if (std::ranges::find(folders, folder) != folders.end()) return;
  folders.push_back(folder);
  settings_.setLoadPaths(folders);
}

void PreferencesView::removeLoadPath(const std::string& folder) {
  auto folders = settings_.loadPaths();
  if (std::erase(folders, folder) > 0) settings_.setLoadPaths(folders);
}

void PreferencesView::addProjectLoadPath(const std::string& folder) {
  if (projectRoot_) fennelview::addProjectLoadPath(settings_, *projectRoot_, folder);
}

void PreferencesView::removeProjectLoadPath(const std::string& entry) {
  if (projectRoot_) fennelview::removeProjectLoadPath(settings_, *projectRoot_, entry);
}

void PreferencesView::showLoadPaths() {
  for (auto* row : loadPathRows_) adw_preferences_group_remove(ADW_PREFERENCES_GROUP(gtk_widget_get_ancestor(row, ADW_TYPE_PREFERENCES_GROUP)), row);
  loadPathRows_.clear();
  removeButtons_.clear();
  showLoadPaths(window_->loadPathsGroup, window_->noLoadPathsRow, settings_.loadPaths(), "preferences.remove-load-path");
  if (projectRoot_) {
    showLoadPaths(window_->projectLoadPathsGroup, window_->noProjectLoadPathsRow,
                  projectSettings(settings_.store(), *projectRoot_).loadPaths, "preferences.remove-project-load-path");
  }
}

void PreferencesView::showLoadPaths(AdwPreferencesGroup* group, AdwActionRow* emptyRow,
                                    const std::vector<std::string>& folders, const char* removeAction) {
  gtk_widget_set_visible(GTK_WIDGET(emptyRow), folders.empty());
  for (const auto& folder : folders) {
    GtkWidget* row = adw_action_row_new();
    // A path may hold characters that Pango markup would read as tags.
    adw_preferences_row_set_use_markup(ADW_PREFERENCES_ROW(row), FALSE);
    adw_preferences_row_set_title(ADW_PREFERENCES_ROW(row), folder.c_str());
    GtkWidget* remove = gtk_button_new_from_icon_name("list-remove-symbolic");
    gtk_widget_set_valign(remove, GTK_ALIGN_CENTER);
    gtk_widget_add_css_class(remove, "flat");
    gtk_widget_set_tooltip_text(remove, _("Remove Load Path"));
    /* Translators: the spoken name of the button that removes a load path; %1$s is the folder. */
    GCharPtr accessibleName(g_strdup_printf(_("Remove %1$s"), folder.c_str()));
    gtk_accessible_update_property(GTK_ACCESSIBLE(remove), GTK_ACCESSIBLE_PROPERTY_LABEL, accessibleName.get(), -1);
    gtk_actionable_set_action_name(GTK_ACTIONABLE(remove), removeAction);
    gtk_actionable_set_action_target_value(GTK_ACTIONABLE(remove), g_variant_new_string(folder.c_str()));
    adw_action_row_add_suffix(ADW_ACTION_ROW(row), remove);
    adw_preferences_group_add(group, row);
    loadPathRows_.push_back(row);
    removeButtons_.push_back(remove);
  }
}

void PreferencesView::chooseLoadPath(bool forProject) {
  forProject = forProject && projectRoot_;
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(_("Add Load Path"), window(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                             _("_Add"), _("_Cancel"));
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  if (forProject) {
    GObjectPtr<GFile> root(g_file_new_for_path(projectRoot_->c_str()));
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), root.get(), nullptr);
  }
  g_object_set_data(G_OBJECT(dialog), "for-project", GINT_TO_POINTER(forProject));
  // The window is kept until the answer; its view may be gone by then if it was closed.
  g_signal_connect(dialog, "response",
                   G_CALLBACK(+[](GtkNativeDialog* native, gint response, FennelviewPreferencesWindow* window) {
                     if (response == GTK_RESPONSE_ACCEPT && window->view) {
                       GObjectPtr<GFile> folder(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(native)));
                       GCharPtr path(folder ? g_file_get_path(folder.get()) : nullptr);
                       if (path && g_object_get_data(G_OBJECT(native), "for-project")) {
                         window->view->addProjectLoadPath(path.get());
                       } else if (path) {
                         window->view->addLoadPath(path.get());
                       }
                     }
                     g_object_unref(window);
                     g_object_unref(native);
                   }),
                   g_object_ref(window_));
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

}  // namespace fennelview
