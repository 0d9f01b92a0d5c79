// SPDX-License-Identifier: GPL-3.0-or-later
// The app's own texts in German, from the catalogue the build compiled; run with LANGUAGE=de
// under C.UTF-8, as a machine without a German locale can.
#include <glib/gi18n.h>
#include <gtest/gtest.h>

#include <clocale>

#include "build_config.hpp"
#include "compile/compile_limits.hpp"
#include "gui_test_support.hpp"
#include "preferences/editor_launch.hpp"
#include "window/parsing_metadata_view.hpp"
#include "window/preferences_view.hpp"
#include "window/warnings_view.hpp"

namespace fennelview {
namespace {

using TranslationTest = test::GuiTest;

TEST_F(TranslationTest, HeaderWarningsPreferencesErrorsAndCompilerMessagesReadInGerman) {
  ASSERT_STREQ(g_getenv("LANGUAGE"), "de") << "run through ctest, which sets the language";
  std::setlocale(LC_ALL, "");
  bindtextdomain(build::gettextPackage, FENNELVIEW_BUILD_LOCALE);
  bind_textdomain_codeset(build::gettextPackage, "UTF-8");
  textdomain(build::gettextPackage);

  EXPECT_EQ(ParsingMetadataView::labelText("", std::nullopt), "Wird kompiliert \u2026");

  GtkWidget* button = g_object_ref_sink(gtk_menu_button_new());
  GtkWidget* count = g_object_ref_sink(gtk_label_new(""));
  GtkWidget* list = g_object_ref_sink(gtk_list_box_new());
  WarningsView warnings(button, GTK_LABEL(count), GTK_LIST_BOX(list));
  warnings.show(CompilerWarnings{.total = 9, .groups = {{"Deprecation", 3}}, .hiddenGroups = 4});
  GtkWidget* more = gtk_list_box_row_get_child(gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), 1));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(more)), "\u2026 und 4 weitere Arten von Warnungen.");
  for (GtkWidget* widget : {button, count, list}) g_object_unref(widget);

  EXPECT_STREQ(gtk_window_get_title(PreferencesView::instantiate(settings).window()), "Einstellungen");

  std::string failure;
  EXPECT_FALSE(openFileInDefaultEditor(defaults, "file:///tmp/a.scss", &failure));
  EXPECT_EQ(failure, "Kein Editor gewählt: Wählen Sie einen in den Einstellungen.");

  EXPECT_EQ(outputTooLargeMessage("sassc", 1, OutputKind::kMessages),
            "Kompilieren abgebrochen: Die Ausgabe des Compilers ist zu groß (sassc schrieb mehr als 1 Byte an Meldungen).");
  EXPECT_EQ(timeoutMessage("Dart Sass", std::chrono::seconds(1)),
            "Zeitüberschreitung beim Kompilieren: Dart Sass lief nach 1 Sekunde noch und wurde beendet.");
}

}  // namespace
}  // namespace fennelview
