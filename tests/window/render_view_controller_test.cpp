// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/render_view_controller.hpp"

#include <gtest/gtest.h>

#include "compile/compilers.hpp"
#include "window/document_window.hpp"
#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

const std::string clock = " \U0001F552 ";

// A finished compile shows a real duration, never the starting "0ms".
bool showsCompiledDuration(const std::string& label) {
  return label.find(clock) != std::string::npos && !label.ends_with(clock + "0ms");
}

using RenderViewTest = GuiTest;

TEST_F(RenderViewTest, TheHeaderNamesTheCompilerWithTheTimeOfTheLastCompileFailedOrNot) {
  const auto sheet = dir / "site.scss";
  const std::string compiler = compilerForChoice(std::nullopt).name;
  writeFile(sheet, "$brand: #123456;\nh1 { color: $brand; }\n");
  auto window = open(sheet);
  EXPECT_TRUE(waitForLabel(*window, showsCompiledDuration).starts_with(compiler + clock)) << labelOf(*window);

  writeFile(sheet, "h1 { color: #123456\n");
  const auto failed = waitForLabel(*window, [](const std::string& l) { return l.find("failed") != std::string::npos; });
  EXPECT_TRUE(failed.starts_with(compiler + " \u00B7 failed after ")) << failed;
  EXPECT_GT(failed.size(), (compiler + " \u00B7 failed after ").size()) << "the failed compile's time";

  writeFile(sheet, "h1 { color: #123456; }\n");
  EXPECT_TRUE(waitForLabel(*window, showsCompiledDuration).starts_with(compiler + clock)) << labelOf(*window);
}

TEST_F(RenderViewTest, WarningsReadAsAListOfAboutEightyColumnsEachWithItsPlace) {
  const auto sheet = dir / "warned.scss";
  writeFile(sheet, "@warn \"first, about a deprecated mixin that needs a long sentence to say so\";\n"
                   "a { b: c; }\n@warn \"second\";\n");
  auto window = open(sheet);
  const auto& header = documentWindowParts(FENNELVIEW_DOCUMENT_WINDOW(window->window())).header;
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_visible(header.warningsButton); }, std::chrono::seconds(20)));
  EXPECT_STREQ(gtk_label_get_text(header.warningsCount), "2");
  gtk_menu_button_popup(GTK_MENU_BUTTON(header.warningsButton));
  std::vector<GtkLabel*> rows;
  for (int i = 0; auto* row = gtk_list_box_get_row_at_index(header.warningsList, i); ++i) {
    rows.push_back(GTK_LABEL(gtk_list_box_row_get_child(row)));
  }
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_TRUE(runUntil([&] { return gtk_widget_get_width(GTK_WIDGET(rows[0])) > 0; }));
  for (auto* row : rows) {
    EXPECT_NE(std::string(gtk_label_get_text(row)).find("warned.scss"), std::string::npos) << gtk_label_get_text(row);
    int start = 0, end = 0;
    EXPECT_FALSE(gtk_label_get_selection_bounds(row, &start, &end)) << "nothing is selected on open";
  }
  // Eighty columns of the smallest font are wider than 400 px; a few characters are not.
  EXPECT_GT(gtk_widget_get_width(GTK_WIDGET(rows[0])), 400);
  gtk_menu_button_popdown(GTK_MENU_BUTTON(header.warningsButton));
}

}  // namespace
}  // namespace fennelview
