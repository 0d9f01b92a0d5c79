// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/preferences_controller.hpp"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "common/canonical_equal.hpp"
#include "common/glib_ptr.hpp"
#include "common/resources.hpp"

namespace fennelview {

namespace {

struct AppInfoListDeleter {
  void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using AppInfoList = std::unique_ptr<GList, AppInfoListDeleter>;

// Display name, or the desktop file id for an application that has none, so no entry is blank.
std::string nameOf(GAppInfo* app, const char* filename) {
  if (const char* name = g_app_info_get_display_name(app); name && *name) return name;
  if (const char* id = g_app_info_get_id(app); id && *id) return id;
  GCharPtr base(g_path_get_basename(filename));
  return base.get();
}

std::vector<std::shared_ptr<Editor>> lookUpEditors() {
  std::vector<std::shared_ptr<Editor>> editors;
  const auto sample = resourcePath("Template/main.css");
  if (!sample) return editors;

  GCharPtr contentType(g_content_type_guess(sample->c_str(), nullptr, 0, nullptr));
  if (!contentType) return editors;
  AppInfoList apps(g_app_info_get_all_for_type(contentType.get()));
  // The desktop's default for style sheets leads, as the user set it up for every application.
  GObjectPtr<GAppInfo> preferred(g_app_info_get_default_for_type(contentType.get(), FALSE));
  for (GList* item = apps.get(); item; item = item->next) {
    auto* app = static_cast<GAppInfo*>(item->data);
    // Only a .desktop file gives the URL that is stored and launched later.
    if (!G_IS_DESKTOP_APP_INFO(app)) continue;
    const char* filename = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app));
    if (!filename) continue;
    GObjectPtr<GFile> file(g_file_new_for_path(filename));
    GCharPtr uri(g_file_get_uri(file.get()));
    auto editor = std::make_shared<Editor>(nameOf(app, filename), uri.get());
    if (preferred && g_app_info_equal(app, preferred.get())) {
      editors.insert(editors.begin(), std::move(editor));
    } else {
      editors.push_back(std::move(editor));
    }
  }
  return editors;
}

}  // namespace

PreferencesController::PreferencesController(Settings& defaults) : defaults_(defaults) {}

const std::vector<std::shared_ptr<Editor>>& PreferencesController::editors() {
  if (!editors_) editors_ = lookUpEditors();
  return *editors_;
}

std::shared_ptr<Editor> PreferencesController::defaultEditor() {
  const auto& list = editors();
  if (list.empty()) return nullptr;
  if (const auto wanted = defaults_.defaultEditorPath()) {
    for (const auto& editor : list) {
      if (canonicallyEqual(editor->path(), *wanted)) return editor;
    }
  }
  return list.front();
}

void PreferencesController::setDefaultEditor(const std::shared_ptr<Editor>& editor) {
  if (!editor) return;
  defaults_.setDefaultEditorPath(editor->path());
}

void PreferencesController::registerDefaultEditor() {
  const auto& list = editors();
  if (list.empty()) return;
  defaults_.registerDefaultEditorPath(list.front()->path());
}

}  // namespace fennelview
