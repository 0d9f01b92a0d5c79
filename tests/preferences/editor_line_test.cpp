// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/editor_line.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

using Args = std::vector<std::string>;

TEST(EditorLineTest, EachEditorGetsTheLineInTheFormItsCommandLineTakes) {
  EXPECT_EQ(editorLineArguments("/usr/bin/gnome-text-editor", "/a b.scss", 3, 7), (Args{"+3", "/a b.scss"}));
  EXPECT_EQ(editorLineArguments("gedit", "/a.scss", 3, 7), (Args{"+3", "/a.scss"}));
  EXPECT_EQ(editorLineArguments("kate", "/a.scss", 3, 7), (Args{"--line", "3", "/a.scss"}));
  EXPECT_EQ(editorLineArguments("/usr/share/code/code", "/a.scss", 3, 7), (Args{"--goto", "/a.scss:3:7"}));
  EXPECT_EQ(editorLineArguments("subl", "/a.scss", 3, 0), (Args{"/a.scss:3:1"}));
  EXPECT_EQ(editorLineArguments("mousepad", "/a.scss", 3, 7), std::nullopt);
  EXPECT_EQ(editorLineArguments("gedit", "/a.scss", 0, 0), std::nullopt);
}

TEST(EditorLineTest, TheLineGoesIntoTheEntrysOwnCommandInPlaceOfItsFileCode) {
  const Args arguments{"+3", "/a b/100%.scss"};
  const std::pair<std::string, std::string> cases[] = {
      {"gedit %U", "gedit '+3' '/a b/100%%.scss'"},
      {"env LANG=C gedit --new-window %f --wait", "env LANG=C gedit --new-window '+3' '/a b/100%%.scss' --wait"},
      {"gedit %F %u", "gedit '+3' '/a b/100%%.scss' "},  // one place only
      {"gedit --name=%c %i", "gedit --name=%c %i '+3' '/a b/100%%.scss'"},  // codes GIO fills in itself
      {"gedit 50%% %fx", "gedit 50%% %fx '+3' '/a b/100%%.scss'"},  // no file code
  };
  for (const auto& [exec, line] : cases) EXPECT_EQ(editorCommandLine(exec, arguments), line) << exec;
}

}  // namespace
}  // namespace fennelview
