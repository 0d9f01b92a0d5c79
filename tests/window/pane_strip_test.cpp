// SPDX-License-Identifier: GPL-3.0-or-later
// Side by side panes, checked as the user sees them: the colours GTK shows in each pane.
#include <gtest/gtest.h>

#include "common/formatted.hpp"
#include "common/glib_ptr.hpp"
#include "gui_test_support.hpp"
#include "test_support.hpp"
#include "window/render_view_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

// The colour GTK shows half way down a widget, just inside its left edge, where the page's
// background shows: "r,g,b".
std::string shownColour(GtkWidget* widget) {
  const int width = gtk_widget_get_width(widget), height = gtk_widget_get_height(widget);
  if (width < 4 || height < 4) return {};
  GObjectPtr<GdkPaintable> paintable(gtk_widget_paintable_new(widget));
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable.get(), snapshot, width, height);
  GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
  if (!node) return {};
  const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
  GObjectPtr<GdkTexture> texture(gsk_renderer_render_texture(gtk_native_get_renderer(gtk_widget_get_native(widget)), node, &bounds));
  gsk_render_node_unref(node);
  std::vector<guchar> pixels(static_cast<std::size_t>(width) * height * 4);
  gdk_texture_download(texture.get(), pixels.data(), static_cast<gsize>(width) * 4);
  // Cairo's order: blue, green, red, alpha.
  const auto at = (static_cast<std::size_t>(height / 2) * width + 2) * 4;
  return formatted("%d,%d,%d", pixels[at + 2], pixels[at + 1], pixels[at]);
}

GtkWidget* spinButtonIn(GtkWidget* widget) {
  if (!widget || GTK_IS_SPIN_BUTTON(widget)) return widget;
  for (auto* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
    if (auto* found = spinButtonIn(child)) return found;
  }
  return nullptr;
}

std::string waitForColour(WebKitWebView* view, const std::string& colour) {
  std::string seen;
  runUntil([&] { return (seen = shownColour(GTK_WIDGET(view))) == colour; }, std::chrono::seconds(20));
  return seen;
}

constexpr const char* kGrey = "128,128,128";
constexpr const char* kGreen = "0,128,0";
constexpr const char* kBlue = "0,0,255";
constexpr const char* kYellow = "255,255,0";

std::string sheet(const char* wide) {
  return formatted(
      "body { background: %s; min-height: 5000px; }\n"
      "@media (max-width: 600px) { body { background: rgb(0, 128, 0); } }\n"
      "@media (prefers-color-scheme: dark) and (min-width: 601px) { body { background: rgb(0, 0, 255); } }\n",
      wide);
}

using PaneStripTest = GuiTest;

TEST_F(PaneStripTest, PanesShowEachWidthAndSchemeAtOnceAndASaveSwapsEveryPaneInPlace) {
  const auto file = dir / "panes.scss";
  writeFile(file, sheet("rgb(128, 128, 128)"));
  auto window = open(file);
  auto& view = window->renderViewController();
  auto& strip = view.paneStrip();
  gtk_widget_activate_action(GTK_WIDGET(window->window()), "panes.side-by-side", nullptr);
  auto panes = strip.webViews();
  ASSERT_EQ(panes.size(), 3u);
  EXPECT_EQ(panes[0], view.webView()) << "the window's own page is the first pane";
  EXPECT_EQ(waitForColour(panes[0], kGreen), kGreen);
  EXPECT_EQ(waitForColour(panes[2], kGrey), kGrey);
  EXPECT_EQ(waitForPage(panes[2], "window.innerWidth", "1280"), "1280");
  EXPECT_TRUE(strip.label(0).starts_with("375 px · ")) << strip.label(0);
  EXPECT_NE(strip.label(0), "375 px · 100 %") << "three panes do not fit a window this wide";

  // Scrolling the desktop pane to a heading brings the same heading to the top of the phone pane.
  evaluate(panes[2], "document.querySelectorAll('h2')[1].scrollIntoView(); window.scrollY");
  // Within a screen pixel: a pane scaled to under half scrolls by steps of over two CSS pixels.
  const std::string headingAtTop = "Math.abs(document.querySelectorAll('h2')[1].getBoundingClientRect().top) < 4";
  EXPECT_EQ(waitForPage(panes[0], headingAtTop, "true"), "true");
  EXPECT_NE(evaluate(panes[0], "window.scrollY"), evaluate(panes[2], "window.scrollY")) << "by element, not by offset";

  // A save: the desktop pane turns yellow, the phone pane stays green, and each keeps its scroll.
  const auto phoneScroll = evaluate(panes[0], "window.scrollY");
  const auto desktopScroll = evaluate(panes[2], "window.scrollY");
  writeFileByRename(file, sheet("rgb(255, 255, 0)"));
  EXPECT_EQ(waitForColour(panes[2], kYellow), kYellow);
  EXPECT_EQ(waitForColour(panes[0], kGreen), kGreen);
  EXPECT_EQ(evaluate(panes[0], "window.scrollY"), phoneScroll);
  EXPECT_EQ(evaluate(panes[2], "window.scrollY"), desktopScroll);

  // A pick in the phone pane outlines the same element in the desktop pane; the narrow rule wins only in the phone pane.
  view.pickPanel().enter();
  ASSERT_TRUE(runUntil([&] { return evaluate(panes[0], "document.body.click(), !!document.querySelector('[data-fennelview-mark]')") == "true"; }));
  const std::string outlinesBody = "(() => { const m = document.querySelector('[data-fennelview-mark]')?.getBoundingClientRect(); "
                                   "const b = document.body.getBoundingClientRect(); return !!m && Math.abs(m.top - b.top) < 1 && Math.abs(m.width - b.width) < 1; })()";
  EXPECT_EQ(waitForPage(panes[2], outlinesBody, "true"), "true");
  ASSERT_TRUE(runUntil([&] { return !view.pickPanel().differenceText().empty(); }, std::chrono::seconds(20)));
  EXPECT_EQ(view.pickPanel().differenceText(), "Other rules win in 768 px, 1280 px.");
  EXPECT_TRUE(view.pickPanel().rowTexts().front().starts_with("body  panes.scss:2")) << view.pickPanel().rowTexts().front();
  view.pickPanel().dismiss();

  // Light | dark at one width: the dark pane alone takes the dark rules, and says so to scripts.
  writeFileByRename(file, sheet("rgb(128, 128, 128)"));
  GVariant* preset = g_variant_ref_sink(g_variant_new_string("light-dark"));
  gtk_widget_activate_action_variant(GTK_WIDGET(window->window()), "panes.preset", preset);
  g_variant_unref(preset);
  panes = strip.webViews();
  ASSERT_EQ(panes.size(), 2u);
  EXPECT_EQ(waitForColour(panes[0], kGrey), kGrey);
  EXPECT_EQ(waitForColour(panes[1], kBlue), kBlue);
  const std::string dark = "matchMedia('(prefers-color-scheme: dark)').matches";
  EXPECT_EQ(waitForPage(panes[0], dark, "false"), "false");
  EXPECT_EQ(waitForPage(panes[1], dark, "true"), "true");
  EXPECT_EQ(settings.preview(file.string()).panes, lightDarkPanes(1280));
  EXPECT_TRUE(strip.label(1).starts_with("1280 px · ") && strip.label(1).ends_with(" · dark")) << strip.label(1);

  // A pane's label sets its width, kept with the others.
  auto* label = gtk_widget_get_first_child(gtk_widget_get_parent(GTK_WIDGET(panes[1])));
  gtk_menu_button_popup(GTK_MENU_BUTTON(label));
  auto* width = spinButtonIn(GTK_WIDGET(gtk_menu_button_get_popover(GTK_MENU_BUTTON(label))));
  ASSERT_TRUE(width);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(width), 500);
  EXPECT_EQ(settings.preview(file.string()).panes[1].width, 500);
  EXPECT_EQ(waitForColour(panes[1], kGreen), kGreen) << "the dark pane at 500 px takes the narrow rule";

  // Off: the one view, as before, in the window's frame.
  gtk_widget_activate_action(GTK_WIDGET(window->window()), "panes.side-by-side", nullptr);
  ASSERT_EQ(strip.webViews().size(), 1u);
  EXPECT_TRUE(GTK_IS_OVERLAY(gtk_widget_get_parent(GTK_WIDGET(view.webView()))));
  EXPECT_EQ(waitForPage(view.webView(), "window.innerWidth > 600", "true"), "true");
  EXPECT_TRUE(settings.preview(file.string()).panes.empty());
}

TEST_F(PaneStripTest, KeptPanesOpenSideBySideAndTheSingleViewKeepsItsScheme) {
  const auto file = dir / "kept.scss";
  writeFile(file, sheet("rgb(128, 128, 128)"));
  settings.setPreviewPanes(file.string(), lightDarkPanes(1024));
  auto window = open(file);
  auto panes = window->renderViewController().paneStrip().webViews();
  ASSERT_EQ(panes.size(), 2u);
  EXPECT_EQ(waitForColour(panes[1], kBlue), kBlue);
  close(window);

  settings.setPreviewPanes(file.string(), {});
  settings.setPreviewMedia(file.string(), MediaState{ColorScheme::dark});
  window = open(file);
  EXPECT_EQ(waitForColour(window->renderViewController().webView(), kBlue), kBlue);
}

TEST_F(PaneStripTest, OwnPagesTakeEachPanesMediaAndALinkFollowedInOnePaneLeadsThemAll) {
  const auto root = dir / "site";
  const std::string head = "<!doctype html><meta charset=utf-8><link rel=stylesheet href=css/style.css>";
  writeFiles(dir.path(), {{"site/.git/HEAD", ""},
                          {"site/scss/style.scss", sheet("rgb(128, 128, 128)")},
                          {"site/index.html", head + "<a id=next href=next.html>next</a>"},
                          {"site/next.html", head + "<p>next</p>"}});
  auto window = open(root / "scss/style.scss", root / "index.html");
  GVariant* preset = g_variant_ref_sink(g_variant_new_string("light-dark"));
  gtk_widget_activate_action_variant(GTK_WIDGET(window->window()), "panes.preset", preset);
  g_variant_unref(preset);
  auto panes = window->renderViewController().paneStrip().webViews();
  ASSERT_EQ(panes.size(), 2u);
  EXPECT_EQ(waitForColour(panes[0], kGrey), kGrey);
  EXPECT_EQ(waitForColour(panes[1], kBlue), kBlue);

  evaluate(panes[1], "document.getElementById('next').click()");
  EXPECT_EQ(waitForPage(panes[0], "location.pathname", "/next.html"), "/next.html");
  EXPECT_EQ(window->renderViewController().shownPage(), root / "next.html");
  EXPECT_EQ(waitForColour(panes[1], kBlue), kBlue);

  // A save swaps the sheet in each pane, the dark pane's rewritten as the first was.
  writeFileByRename(root / "scss/style.scss", sheet("rgb(255, 255, 0)"));
  EXPECT_EQ(waitForColour(panes[0], kYellow), kYellow);
  EXPECT_EQ(waitForColour(panes[1], kBlue), kBlue);

  // The page changed on disk loads again in every pane.
  writeFileByRename(root / "next.html", head + "<p id=changed>next</p>");
  for (auto* pane : panes) EXPECT_EQ(waitForPage(pane, "!!document.getElementById('changed')", "true"), "true");
}

}  // namespace
}  // namespace fennelview
