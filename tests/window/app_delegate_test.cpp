#include "app/app_delegate.hpp"

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "preferences/preferences_controller.hpp"

namespace fennelview {
namespace {

using namespace test;

TEST(AppDelegateTest, LaunchingRegistersTheLastEditorAndKeepsAStoredChoice) {
  auto& defaults = UserDefaults::standard();
  const char* key = PreferencesController::defaultEditorPathKey;
  defaults.setObject(nullptr, key);
  AppDelegate delegate;
  delegate.applicationDidFinishLaunching();
  EXPECT_EQ(defaults.objectForKey(key), nlohmann::json(guiDesktop().applicationURL("mid")));

  defaults.setObject(guiDesktop().applicationURL("alpha"), key);
  AppDelegate().applicationDidFinishLaunching();
  EXPECT_EQ(defaults.objectForKey(key), nlohmann::json(guiDesktop().applicationURL("alpha")));
  defaults.setObject(nullptr, key);
}

TEST(AppDelegateTest, MenuActionsAndShortcutsAreInstalled) {
  AppDelegate delegate;
  delegate.applicationDidFinishLaunching();
  for (const char* name : {"open", "preferences", "contact-support", "about", "quit"}) {
    EXPECT_NE(g_action_map_lookup_action(G_ACTION_MAP(delegate.application()), name), nullptr) << name;
  }
  gchar** keys = gtk_application_get_accels_for_action(delegate.application(), "win.open-in-editor");
  ASSERT_NE(keys, nullptr);
  EXPECT_STREQ(keys[0], "<Control>e");
  g_strfreev(keys);
}

}  // namespace
}  // namespace fennelview
