// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_drop.hpp"

#include <vector>

namespace fennelview {

namespace {

gboolean drop(GtkDropTarget*, const GValue* value, double, double, gpointer data) {
  GApplication* app = G_APPLICATION(gtk_window_get_application(static_cast<GtkWindow*>(data)));
  std::vector<GFile*> files;
  if (G_VALUE_HOLDS(value, G_TYPE_FILE)) files.push_back(G_FILE(g_value_get_object(value)));
  if (G_VALUE_HOLDS(value, GDK_TYPE_FILE_LIST)) {
    // The list is ours, its files the value's.
    GSList* list = gdk_file_list_get_files(static_cast<GdkFileList*>(g_value_get_boxed(value)));
    for (GSList* f = list; f; f = f->next) files.push_back(G_FILE(f->data));
    g_slist_free(list);
  }
  if (!app || files.empty()) return FALSE;
  g_application_open(app, files.data(), static_cast<int>(files.size()), "");
  return TRUE;
}

}  // namespace

FileDrop::FileDrop(GtkWindow* window) : target_(gtk_drop_target_new(G_TYPE_INVALID, GDK_ACTION_COPY)) {
  GType types[] = {GDK_TYPE_FILE_LIST, G_TYPE_FILE};
  gtk_drop_target_set_gtypes(target_, types, G_N_ELEMENTS(types));
  // Before the web view, which would take the drop as a navigation.
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(target_), GTK_PHASE_CAPTURE);
  g_signal_connect(target_, "drop", G_CALLBACK(drop), window);
  gtk_widget_add_controller(GTK_WIDGET(window), GTK_EVENT_CONTROLLER(target_));
}

}  // namespace fennelview
