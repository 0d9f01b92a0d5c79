// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compilers.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

using test::TempDir;

// A real executable named sass that answers --version with `versionLine`.
void putSass(const TempDir& folder, const std::string& versionLine) {
  test::writeScript(folder / "sass", "echo '" + versionLine + "'");
}

// A resource folder holding the real sassc and no Dart Sass.
void putSassc(const TempDir& folder) { std::filesystem::create_symlink(test::realSassc(), folder / "sassc"); }

TEST(Compilers, NamesTheBundledCompilersWithTheVersionsTheyReport) {
  TempDir onPath;
  putSass(onPath, "1.99.0");  // the bundled Dart Sass comes first
  Compilers compilers(test::realResources(), onPath.path().string());
  const auto found = compilers.found();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].id, "libsass");
  EXPECT_EQ(found[0].name, std::string("LibSass ") + FENNELVIEW_TEST_LIBSASS_VERSION);
  EXPECT_EQ(found[1].id, "dart-sass");
  EXPECT_EQ(found[1].name, "Dart Sass 1.108.2");
}

TEST(Compilers, OffersASassOnTheSearchPathOnlyWhenItReportsADartSassVersion) {
  TempDir resources, empty, dartSass, rubySass;
  putSassc(resources);
  putSass(dartSass, "1.77.8 compiled with dart2js 3.4.4");
  putSass(rubySass, "Ruby Sass 3.7.4");
  const auto found = Compilers(resources.path(), empty.path().string() + "::" + dartSass.path().string()).found();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].name, "Dart Sass 1.77.8");
  EXPECT_EQ(found[1].executable, dartSass / "sass");
  EXPECT_EQ(Compilers(resources.path(), rubySass.path().string()).found().size(), 1u);
}

TEST(Compilers, ChoiceFallsBackToLibSass) {
  TempDir resources, noCompilers, noSass;
  putSassc(resources);
  Compilers compilers(test::realResources(), "");
  EXPECT_EQ(compilers.forChoice("dart-sass").id, "dart-sass");
  for (const auto& stored : {std::optional<std::string>(), std::optional<std::string>("libsass"),
                             std::optional<std::string>("node-sass")}) {
    EXPECT_EQ(compilers.forChoice(stored).id, "libsass");
  }
  EXPECT_EQ(Compilers(resources.path(), noSass.path().string()).forChoice("dart-sass").name,
            std::string("LibSass ") + FENNELVIEW_TEST_LIBSASS_VERSION);
  // Without a runnable sassc LibSass is still the answer, unnamed by version, so compiles say why.
  Compilers none(noCompilers.path(), noSass.path().string());
  EXPECT_TRUE(none.found().empty());
  EXPECT_EQ(none.forChoice("dart-sass").name, "LibSass");
  EXPECT_EQ(none.forChoice("dart-sass").executable, noCompilers / "sassc");
}

}  // namespace
}  // namespace fennelview
