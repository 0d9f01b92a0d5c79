// SPDX-License-Identifier: GPL-3.0-or-later
#include "app_delegate.hpp"

#include <glib/gi18n.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "app/document_controller.hpp"
#include "build_config.hpp"
#include "common/resources.hpp"
#include "compile/compilers.hpp"
#include "preferences/preferences_controller.hpp"
#include "site/server_pages.hpp"
#include "window/preferences_view.hpp"
#include "window/window_resources.hpp"
#include "window/preview_web_context.hpp"

namespace fennelview {

AppDelegate::AppDelegate()
    : application_(GTK_APPLICATION(adw_application_new(build::bundleIdentifier,
                                                  static_cast<GApplicationFlags>(G_APPLICATION_HANDLES_OPEN |
                                                                                 G_APPLICATION_HANDLES_COMMAND_LINE)))) {
  GApplication* app = G_APPLICATION(application_.get());
  g_set_application_name(DocumentController::applicationName);
  // Before start-up, where GtkApplication looks for its Keyboard Shortcuts window.
  registerWindowResources();
  g_application_set_option_context_parameter_string(app, "[FILE…]");
  g_application_set_option_context_summary(app, _("Shows each Sass style sheet FILE compiled, following every save."));
  g_application_add_main_option(app, "version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE,
                                _("Show the version of Fennelview and of its Sass compiler"), nullptr);
  g_application_add_main_option(app, "page", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_FILENAME,
                                _("Show the style sheets on this HTML page or server address"), "FILE.html|URL");
  // The command line goes to the running instance, if any, with its options.
  g_signal_connect(app, "command-line", G_CALLBACK(+[](GApplication*, GApplicationCommandLine* line, gpointer self) {
                     static_cast<AppDelegate*>(self)->commandLine(line);
                     return 0;
                   }),
                   this);
  g_signal_connect(app, "handle-local-options", G_CALLBACK(+[](GApplication*, GVariantDict* options, gpointer) {
                     return handleLocalOptions(options);
                   }),
                   nullptr);
  g_signal_connect(application_.get(), "startup", G_CALLBACK(+[](GApplication*, gpointer self) {
                     static_cast<AppDelegate*>(self)->applicationDidFinishLaunching();
                   }),
                   this);
  g_signal_connect(application_.get(), "activate", G_CALLBACK(+[](GApplication*, gpointer self) {
                     // A second start without a file, while windows are open, asks over the active one.
                     auto* delegate = static_cast<AppDelegate*>(self);
                     delegate->showOpenDialog(delegate->activeWindow());
                   }),
                   this);
  g_signal_connect(application_.get(), "open",
                   G_CALLBACK(+[](GApplication* app, GFile** files, gint count, gchar*, gpointer self) {
                     for (gint i = 0; i < count; ++i) {
                       DocumentController::openDocument(files[i], GTK_APPLICATION(app),
                                                        static_cast<AppDelegate*>(self)->settings_);
                     }
                   }),
                   this);
}

AppDelegate::~AppDelegate() {
  if (appInfoMonitor_) g_signal_handlers_disconnect_by_data(appInfoMonitor_.get(), this);
  if (preferencesWindow_) {
    g_object_remove_weak_pointer(G_OBJECT(preferencesWindow_), reinterpret_cast<gpointer*>(&preferencesWindow_));
  }
}

void AppDelegate::commandLine(GApplicationCommandLine* line) {
  const char* pageArgument = nullptr;
  g_variant_dict_lookup(g_application_command_line_get_options_dict(line), "page", "^&ay", &pageArgument);
  // A server's address stays as given: it names no file.
  const bool server = pageArgument && looksLikeServerAddress(pageArgument);
  GObjectPtr<GFile> pageFile(pageArgument && !server ? g_application_command_line_create_file_for_arg(line, pageArgument) : nullptr);
  GCharPtr page(pageFile ? g_file_get_path(pageFile.get()) : server ? g_strdup(pageArgument) : nullptr);
  int argc = 0;
  g_auto(GStrv) arguments = g_application_command_line_get_arguments(line, &argc);
  if (argc <= 1 && !pageFile) {
    g_application_activate(G_APPLICATION(application_.get()));
    return;
  }
  // A page alone opens with the document of the style sheet it links.
  if (argc <= 1) DocumentController::openDocument(pageFile.get(), application_.get(), settings_);
  for (int i = 1; i < argc; ++i) {
    GObjectPtr<GFile> file(g_application_command_line_create_file_for_arg(line, arguments[i]));
    DocumentController::openDocument(file.get(), application_.get(), settings_,
                                     DocumentController::Reuse::openWindow,
                                     page ? std::optional<std::filesystem::path>(page.get()) : std::nullopt);
  }
}

int AppDelegate::run(int argc, char** argv) { return g_application_run(G_APPLICATION(application_.get()), argc, argv); }

gint AppDelegate::handleLocalOptions(GVariantDict* options) {
  if (g_variant_dict_contains(options, "version")) {
    std::cout << "Fennelview " << build::versionNumber << " (" << build::buildNumber << ")\n";
    const auto found = Compilers::shared().found();
    if (found.empty() || found.front().id != kLibSassId) std::cout << "LibSass: unknown, the bundled sassc gave no version\n";
    for (const auto& compiler : found) std::cout << compiler.name << "\n";
    return 0;
  }
  // Without sassc or the template every preview says why; the message here helps whoever
  // started the program from a terminal, and comes before GTK needs a display.
  if (const auto problem = checkResources()) std::cerr << "fennelview: " << *problem << "\n";
  return -1;  // go on: open the files or ask for one
}

void AppDelegate::applicationDidFinishLaunching() {
  addIconSearchPath();
  gtk_window_set_default_icon_name(build::bundleIdentifier);
  installActions();
  PreferencesController(settings_).registerDefaultEditor();
  // The drawing choice applies to every preview at once, now and at each change.
  const auto applyDrawing = [this] {
    PreviewWebContext::shared().setHardwareAcceleration(hardwareAccelerationFromText(settings_.webRendering()));
  };
  applyDrawing();
  drawingObservation_ = settings_.observe(Settings::Entry::webRendering, applyDrawing);
}

void AppDelegate::contactSupport() const { support_.openFeedbackMail(); }

void AppDelegate::addIconSearchPath() {
  const auto resources = resourceDirectory();
  GdkDisplay* display = gdk_display_get_default();
  std::error_code ec;
  if (resources.empty() || !display || !std::filesystem::is_directory(resources.parent_path() / "icons", ec)) return;
  gtk_icon_theme_add_search_path(gtk_icon_theme_get_for_display(display), (resources.parent_path() / "icons").c_str());
}

GtkWindow* AppDelegate::activeWindow() const { return gtk_application_get_active_window(application_.get()); }

void AppDelegate::showOpenDialog(GtkWindow* parent) {
  GtkFileChooserNative* dialog =
      gtk_file_chooser_native_new(_("Open Style Sheet"), parent, GTK_FILE_CHOOSER_ACTION_OPEN, _("_Open"), _("_Cancel"));
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), TRUE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, _("Style sheets"));
  for (const char* pattern : DocumentController::filePatterns) gtk_file_filter_add_pattern(filter, pattern);
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
  g_object_unref(filter);
  // Keeps the application running while the dialog is the only thing on screen.
  g_application_hold(G_APPLICATION(application_.get()));
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkNativeDialog* native, gint response, gpointer self) {
                     auto* delegate = static_cast<AppDelegate*>(self);
                     if (response == GTK_RESPONSE_ACCEPT) {
                       GObjectPtr<GListModel> files(gtk_file_chooser_get_files(GTK_FILE_CHOOSER(native)));
                       for (guint i = 0; i < g_list_model_get_n_items(files.get()); ++i) {
                         GObjectPtr<GFile> file(G_FILE(g_list_model_get_item(files.get(), i)));
                         DocumentController::openDocument(file.get(), delegate->application(), delegate->settings());
                       }
                     }
                     g_object_unref(native);
                     g_application_release(G_APPLICATION(delegate->application()));
                   }),
                   this);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

void AppDelegate::showPreferences(GtkWindow* parent) {
  // One preferences window at a time; asking again brings it forward.
  if (!preferencesWindow_) {
    preferencesWindow_ = PreferencesView::instantiate(settings_, parent).window();
    g_object_add_weak_pointer(G_OBJECT(preferencesWindow_), reinterpret_cast<gpointer*>(&preferencesWindow_));
    gtk_window_set_application(preferencesWindow_, application_.get());
  }
  gtk_window_present(preferencesWindow_);
}

void AppDelegate::showAbout(GtkWindow* parent) {
  std::string compilers;
  for (const auto& compiler : Compilers::shared().found()) compilers += (compilers.empty() ? "" : ", ") + compiler.name;
  /* Translators: the About window: %1$s lists the Sass compilers found (or says none were), %2$s is an address. */
  GCharPtr comments(g_strdup_printf(_("Live preview for Sass style sheets: each save shows the compiled style sheet.\n\n"
                                      "Compilers: %1$s\nSupport: %2$s"),
                                    compilers.empty() ? _("none found") : compilers.c_str(), support_.email().c_str()));
  const std::string version = std::string(build::versionNumber) + " (" + build::buildNumber + ")";
  const std::string supportURL = "mailto:" + support_.email();
  GtkWidget* about = adw_about_window_new();
  g_object_set(about, "application-name", "Fennelview", "application-icon", build::bundleIdentifier, "version",
               version.c_str(), "comments", comments.get(), "license-type", GTK_LICENSE_GPL_3_0, "support-url",
               supportURL.c_str(), "developer-name", _("The Fennelview developers"), "website",
               "https://fennelview.org", nullptr);
  if (parent) gtk_window_set_transient_for(GTK_WINDOW(about), parent);
  gtk_window_set_application(GTK_WINDOW(about), application_.get());
  gtk_window_present(GTK_WINDOW(about));
}

void AppDelegate::quit() {
  GList* windows = g_list_copy(gtk_application_get_windows(application_.get()));
  for (GList* item = windows; item; item = item->next) gtk_window_close(GTK_WINDOW(item->data));
  g_list_free(windows);
  g_application_quit(G_APPLICATION(application_.get()));
}

}  // namespace fennelview
