// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/app_delegate.hpp"
#include "app/document_controller.hpp"
#include "common/glib_ptr.hpp"
#include "gui_test_support.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using namespace test;

using DesktopIntegrationTest = GuiTest;

bool enabled(GActionMap* actions, const char* name) {
  return g_action_get_enabled(g_action_map_lookup_action(actions, name));
}

TEST_F(DesktopIntegrationTest, AnOpenedDocumentJoinsTheRecentFilesWithThisApp) {
  writeFile(dir / "recent.scss", "a { b: c; }\n");
  open(dir / "recent.scss");
  GCharPtr uri(g_filename_to_uri((dir / "recent.scss").c_str(), nullptr, nullptr));
  GtkRecentInfo* info = gtk_recent_manager_lookup_item(gtk_recent_manager_get_default(), uri.get(), nullptr);
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(gtk_recent_info_has_application(info, DocumentController::applicationName));
  EXPECT_STREQ(gtk_recent_info_get_mime_type(info), "text/x-scss");
  gtk_recent_info_unref(info);
}

TEST_F(DesktopIntegrationTest, ActionsThatCannotWorkAreDisabledWhileNothingCanTakeThem) {
  writeFile(dir / "a.scss", "a { b: c; }\n");
  auto window = open(dir / "a.scss");
  AppDelegate delegate;
  delegate.applicationDidFinishLaunching();
  auto* appActions = G_ACTION_MAP(delegate.application());
  ASSERT_TRUE(window->canOpenInEditor());
  ASSERT_TRUE(enabled(appActions, "contact-support"));

  const std::vector<std::string> apps{"zed", "nameless", "alpha", "mid", "mail"};
  guiDesktop().setInstalled(apps, false);
  EXPECT_TRUE(runUntil([&] { return !window->canOpenInEditor(); }));
  EXPECT_TRUE(runUntil([&] { return !enabled(appActions, "contact-support"); }));
  guiDesktop().setInstalled(apps, true);
  EXPECT_TRUE(runUntil([&] { return window->canOpenInEditor() && enabled(appActions, "contact-support"); }));
}

}  // namespace
}  // namespace fennelview
