// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/load_paths.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

namespace fs = std::filesystem;

TEST(LoadPathsTest, TheMissingImportIsReadFromEitherCompilersMessage) {
  const struct {
    const char* rule;
    std::string error;
    std::optional<std::string> url;
  } cases[] = {
      {"Dart Sass: the underlined text, unquoted",
       "Error: Can't find stylesheet to import.\n  \u2577\n1 \u2502 @import 'a', \"foundation\";\n"
       "  \u2502              ^^^^^^^^^^^^\n  \u2575\n  main.scss 1:14  root stylesheet",
       "foundation"},
      {"Dart Sass without unicode", "Error: Can't find stylesheet to import.\n  ,\n3 | @use \"kit/grid\";\n  |      ^^^^^^^^^^\n",
       "kit/grid"},
      {"LibSass", "Error: File to import not found or unreadable: bootstrap/scss/bootstrap.\n        on line 1:1 of a.scss\n",
       "bootstrap/scss/bootstrap"},
      {"another error's underline", "Error: Undefined variable.\n1 | a { b: $c; }\n  |        ^^\n", std::nullopt},
      {"carets past the line", "Error: Can't find stylesheet to import.\n1 | x\n  |       ^^^\n", std::nullopt},
      {"nothing", "", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(missingImport(c.error), c.url) << c.rule;
}

TEST(LoadPathsTest, TheFolderBelowNodeModulesThatMakesAnImportResolve) {
  test::TempDir dir;
  for (const char* file : {"node_modules/foundation-sites/scss/foundation.scss", "node_modules/foundation-sites/_vendor.scss",
                           "node_modules/@scope/kit/src/grid/_index.scss", "node_modules/b/sass/_b.sass",
                           "node_modules/z/scss/_kit.css", "node_modules/.cache/hidden.scss",
                           "node_modules/a/b/c/d/e/deep.scss", "elsewhere/outside.scss"})
    test::writeFile(dir / file, "");
  fs::create_directory_symlink(dir / "elsewhere", dir / "node_modules/linked");
  const struct {
    const char* url;
    std::optional<fs::path> folder;
  } cases[] = {
      {"foundation", "node_modules/foundation-sites/scss"},
      {"vendor", "node_modules/foundation-sites"},          // a partial, shallower than the others
      {"grid", "node_modules/@scope/kit/src"},               // an index file
      {"sass/b", "node_modules/b"},                          // a URL with a folder
      {"kit.css", "node_modules/z/scss"},                    // named with its extension
      {"hidden", std::nullopt},                              // dot-folders are not searched
      {"deep", std::nullopt},                                // below the depth searched
      {"outside", std::nullopt},                             // a linked folder is not followed
      {"../elsewhere/outside", std::nullopt},
      {"/etc/passwd", std::nullopt},
      {"missing", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(nodeModulesFolderFor(c.url, dir.path()), c.folder) << c.url;
}

}  // namespace
}  // namespace fennelview
