// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/settings.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "test_support.hpp"

namespace fennelview {
namespace {

using nlohmann::json;

class SettingsTest : public ::testing::Test {
 protected:
  // Every entry as the app reads it, for the document at /d.scss.
  std::string described() {
    std::ostringstream text;
    text << settings.compiler() << " [";
    for (const auto& folder : settings.loadPaths()) text << folder << ";";
    text << "] " << settings.defaultEditorPath().value_or("-") << " " << settings.webRendering() << " ";
    const auto preview = settings.preview("/d.scss");
    text << preview.width.value_or("-") << "@" << (preview.zoom ? std::to_string(*preview.zoom).substr(0, 4) : "-");
    const auto frame = settings.windowFrame("/d.scss");
    text << " " << frame.width.value_or(0) << "x" << frame.height.value_or(0) << (frame.maximized ? " max" : "");
    if (const auto kept = settings.cssExport("/d.scss")) {
      text << " " << kept->target.string() << (kept->style == OutputStyle::kCompressed ? " compressed" : " expanded")
           << (kept->sourceMap ? " map" : "") << (kept->onEverySave ? " every" : "");
    } else {
      text << " -";
    }
    return text.str();
  }

  test::TempDir dir;
  Settings settings{dir / "settings.json"};
};

TEST_F(SettingsTest, StoredValuesAreReadWithTheirTypeAndCheckElseAsTheDefault) {
  const std::string defaults = "libsass [] - auto -@- 0x0 -";
  const struct {
    const char* key;
    json stored;
    std::string expected;
  } cases[] = {
      {"compiler", "dart-sass", "dart-sass [] - auto -@- 0x0 -"},
      {"compiler", "sassc", defaults},
      {"compiler", 7, defaults},
      {"loadPaths", {"/a", 3, "", "/b"}, "libsass [/a;/b;] - auto -@- 0x0 -"},
      {"loadPaths", "/a", defaults},
      {"defaultEditorPath", "file:///e.desktop", "libsass [] file:///e.desktop auto -@- 0x0 -"},
      {"defaultEditorPath", false, defaults},
      {"webRendering", "off", "libsass [] - off -@- 0x0 -"},
      {"webRendering", "fast", defaults},
      {"preview:/d.scss", {{"width", "phone"}, {"zoom", 9}}, "libsass [] - auto phone@3.00 0x0 -"},
      {"preview:/d.scss", {{"width", "huge"}, {"zoom", "1"}}, defaults},
      {"preview:/d.scss", {{"zoom", 0.1}}, "libsass [] - auto -@0.50 0x0 -"},
      {"/d.scss", {{"width", 700}, {"height", 500}, {"maximized", true}}, "libsass [] - auto -@- 700x500 max -"},
      {"/d.scss", {{"width", "800"}, {"height", 600}, {"maximized", "yes"}}, defaults},
      {"/d.scss", {{"width", 0}, {"height", 600}}, defaults},
      {"/d.scss", {{"width", 40000}, {"height", 600}}, defaults},
      {"/d.scss", "700x500", defaults},
      {"export:/d.scss", {{"target", "/o/d.css"}, {"style", "compressed"}, {"sourceMap", true}},
       "libsass [] - auto -@- 0x0 /o/d.css compressed map"},
      {"export:/d.scss", {{"target", "/o/d.css"}, {"onEverySave", true}},
       "libsass [] - auto -@- 0x0 /o/d.css expanded every"},
      {"export:/d.scss", {{"target", "o.css"}}, defaults},
      {"export:/d.scss", {{"target", "/o/d.css"}, {"style", "nested"}}, defaults},
      {"export:/d.scss", {{"target", "/o/d.css"}, {"sourceMap", "yes"}}, defaults},
  };
  EXPECT_EQ(described(), defaults);
  for (const auto& [key, stored, expected] : cases) {
    settings.store().setObject(stored, key);
    EXPECT_EQ(described(), expected) << key << " " << stored;
    settings.store().setObject(nullptr, key);
  }
}

TEST_F(SettingsTest, WritesKeepTheStoredFormAndRefuseValuesTheAppCannotUse) {
  settings.setCompiler("dart-sass");
  settings.setCompiler("ruby-sass");
  settings.setWebRendering("sometimes");
  settings.setPreview("/d.scss", "tablet", 1.25);
  settings.setWindowFrame("/d.scss", 640, 480, false);
  settings.setLoadPaths({"/srv/styles"});
  settings.setCssExport("/d.scss", {"/o/d.min.css", OutputStyle::kCompressed, true, false});
  EXPECT_EQ(json::parse(test::readFile(dir / "settings.json")),
            (json{{"compiler", "dart-sass"},
                  {"export:/d.scss", {{"target", "/o/d.min.css"}, {"style", "compressed"}, {"sourceMap", true},
                                      {"onEverySave", false}}},
                  {"preview:/d.scss", {{"width", "tablet"}, {"zoom", 1.25}}},
                  {"/d.scss", {{"width", 640}, {"height", 480}, {"maximized", false}}},
                  {"loadPaths", {"/srv/styles"}}}));
}

TEST_F(SettingsTest, PanesAndMediaAreKeptBesideTheWidthAndAreNeverFatal) {
  settings.setPreview("/d.scss", "tablet", 1.0);
  settings.setPreviewPanes("/d.scss", lightDarkPanes(800));
  settings.setPreviewMedia("/d.scss", MediaState{ColorScheme::dark});
  auto kept = settings.preview("/d.scss");
  EXPECT_EQ(kept.width, "tablet");
  EXPECT_EQ(kept.panes, lightDarkPanes(800));
  EXPECT_EQ(kept.media, MediaState{ColorScheme::dark});
  settings.store().setObject(json{{"width", "phone"}, {"panes", "three"}, {"media", 3}}, "preview:/d.scss");
  kept = settings.preview("/d.scss");
  EXPECT_EQ(kept.width, "phone");
  EXPECT_TRUE(kept.panes.empty());
  EXPECT_FALSE(kept.media.emulates());
}

TEST_F(SettingsTest, ObserversHearWritesOfTheirEntryUntilTheirObservationEnds) {
  int compilerChanges = 0, loadPathChanges = 0;
  auto compiler = settings.observe(Settings::Entry::compiler, [&] { ++compilerChanges; });
  {
    auto loadPaths = settings.observe(Settings::Entry::loadPaths, [&] { ++loadPathChanges; });
    settings.setLoadPaths({"/a"});
    settings.setCompiler("dart-sass");
    settings.setPreview("/d.scss", "fill", 1.0);
  }
  settings.setLoadPaths({"/b"});
  EXPECT_EQ(std::pair(compilerChanges, loadPathChanges), std::pair(1, 1));

  // An observation may outlive the settings it observes.
  auto kept = std::make_unique<Settings>(dir / "other.json");
  auto observation = kept->observe(Settings::Entry::compiler, [] {});
  kept.reset();
}

}  // namespace
}  // namespace fennelview
