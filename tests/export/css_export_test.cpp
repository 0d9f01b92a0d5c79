// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/css_export.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "../inspect/inspect_project.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using ::testing::HasSubstr;

class CssExportTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(CssExportTest, WritesTheCssAndItsMapBesideItWithSourcesThatMoveWithThePair) {
  const auto project = dir / "project";
  const auto compiled = test::compileInspectProject(project);
  std::filesystem::create_directories(dir / "dist" / "my css");
  const auto target = dir / "dist" / "my css" / "site.css";

  EXPECT_EQ(exportCss(ParsingResult::success(CSSOutput(compiled.css)), target, SourceMapText{compiled.map, project}),
            std::nullopt);

  // The comment sassc wrote for its own map is replaced by one for the map beside the copy.
  const auto css = test::readFile(target);
  EXPECT_EQ(css.substr(css.find("/*#")), "/*# sourceMappingURL=site.css.map */\n");
  const auto map = nlohmann::json::parse(test::readFile(dir / "dist" / "my css" / "site.css.map"));
  EXPECT_EQ(map["file"], "site.css");
  EXPECT_EQ(map["sources"], nlohmann::json::parse(R"(["../../project/main.scss", "../../project/_buttons.scss"])"));
  EXPECT_EQ(map["mappings"], nlohmann::json::parse(compiled.map)["mappings"]);

  // Without a map: the CSS alone, as compiled.
  EXPECT_EQ(exportCss(ParsingResult::success(CSSOutput("a{b:c}")), target), std::nullopt);
  EXPECT_EQ(test::readFile(target), "a{b:c}");
}

TEST_F(CssExportTest, WritesThroughLinksKeepsAFilesModeAndMakesAMissingFolder) {
  namespace fs = std::filesystem;
  const auto css = ParsingResult::success(CSSOutput("a{b:c}"));
  const auto restore = ::umask(077);
  test::writeFile(dir / "www" / "site.css", "old");
  fs::permissions(dir / "www" / "site.css", fs::perms(0664));
  fs::create_symlink("www", dir / "linked");
  fs::create_symlink("../www/site.css", dir / "linked" / "link.css");
  fs::create_symlink("www/absent.css", dir / "dangling.css");

  // Through a linked folder and a relative link: the linked file changes, the link stays.
  EXPECT_EQ(exportCss(css, dir / "linked" / "link.css"), std::nullopt);
  EXPECT_EQ(exportCss(css, dir / "dangling.css"), std::nullopt);
  EXPECT_EQ(exportCss(css, dir / "dist" / "new" / "site.css"), std::nullopt);
  ::umask(restore);

  EXPECT_TRUE(fs::is_symlink(dir / "www" / "link.css"));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.css"));
  EXPECT_EQ(test::readFile(dir / "www" / "site.css"), "a{b:c}");
  EXPECT_EQ(test::readFile(dir / "www" / "absent.css"), "a{b:c}");
  EXPECT_EQ(fs::status(dir / "www" / "site.css").permissions(), fs::perms(0664));
  EXPECT_EQ(fs::status(dir / "dist" / "new" / "site.css").permissions(), fs::perms(0600));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "www"), fs::directory_iterator()), 3);  // no temporary left
}

TEST_F(CssExportTest, WritesNothingAndSaysWhyWhenItCannot) {
  const auto target = dir / "out.css";
  EXPECT_THAT(exportCss(ParsingResult::failure(ParsingError::parsingFailed("Undefined variable.")), target).value_or(""),
              HasSubstr("did not compile: Undefined variable."));
  EXPECT_THAT(exportCss(ParsingResult::success(CSSOutput("a{}")), target, SourceMapText{"{not json", dir.path()})
                  .value_or(""),
              HasSubstr("source map could not be read"));
  EXPECT_FALSE(std::filesystem::exists(target));

  // A folder where the file should be is not replaced.
  std::filesystem::create_directories(target);
  EXPECT_THAT(exportCss(ParsingResult::success(CSSOutput("a{}")), target).value_or(""),
              HasSubstr("could not be saved to \u201C" + target.string() + "\u201D"));
  EXPECT_TRUE(std::filesystem::is_directory(target));
}

}  // namespace
}  // namespace fennelview
