// SPDX-License-Identifier: GPL-3.0-or-later
// The app's own texts in German, from the catalogue the build compiled; run with LANGUAGE=de
// under C.UTF-8, as a machine without a German locale can.
#include <glib/gi18n.h>
#include <gtest/gtest.h>

#include <clocale>

#include "build_config.hpp"
#include "gui_test_support.hpp"
#include "preferences/editor_launch.hpp"
#include "window/parsing_metadata_view.hpp"
#include "window/preferences_view.hpp"
#include "window/warnings_view.hpp"

namespace fennelview {
namespace {

using TranslationTest = test::GuiTest;

std::string lastRowText(GtkListBox* list) {
  GtkWidget* row = gtk_widget_get_last_child(GTK_WIDGET(list));
  return row ? gtk_label_get_text(GTK_LABEL(gtk_list_box_row_get_child(GTK_LIST_BOX_ROW(row)))) : "";
}

TEST_F(TranslationTest, HeaderWarningsPreferencesAndErrorsReadInGerman) {
  ASSERT_STREQ(g_getenv("LANGUAGE"), "de") << "run through ctest, which sets the language";
  std::setlocale(LC_ALL, "");
  bindtextdomain(build::gettextPackage, FENNELVIEW_BUILD_LOCALE);
  bind_textdomain_codeset(build::gettextPackage, "UTF-8");
  textdomain(build::gettextPackage);

  EXPECT_EQ(ParsingMetadataView::labelText("", std::nullopt), "Wird kompiliert \u2026");
  EXPECT_EQ(ParsingMetadataView::failureText("LibSass 3.6.5", "12 ms"), "LibSass 3.6.5 \u00B7 nach 12 ms fehlgeschlagen");

  GtkWidget* button = g_object_ref_sink(gtk_menu_button_new());
  GtkWidget* count = g_object_ref_sink(gtk_label_new(""));
  GtkWidget* list = g_object_ref_sink(gtk_list_box_new());
  WarningsView warnings(button, GTK_LABEL(count), GTK_LIST_BOX(list));
  for (const auto& [hidden, expected] : {std::pair<std::size_t, const char*>{1, "\u2026 und 1 weitere Art von Warnung."},
                                         {4, "\u2026 und 4 weitere Arten von Warnungen."}}) {
    warnings.show(CompilerWarnings{.total = 9, .groups = {{"Deprecation", 3}}, .hiddenGroups = hidden});
    EXPECT_EQ(lastRowText(GTK_LIST_BOX(list)), expected);
  }
  for (GtkWidget* widget : {button, count, list}) g_object_unref(widget);

  EXPECT_STREQ(gtk_window_get_title(PreferencesView::instantiate(defaults).window()), "Einstellungen");

  std::string failure;
  EXPECT_FALSE(openFileInDefaultEditor(defaults, "file:///tmp/a.scss", &failure));
  EXPECT_EQ(failure, "Kein Editor gewählt: Wählen Sie einen in den Einstellungen.");
}

}  // namespace
}  // namespace fennelview
