// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/compilers.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

using test::TempDir;

// A real executable named sass that answers `--embedded --version` with `embedded` (the
// protocol's version response when it speaks it) and `--version` with `versionLine`.
void putSass(const TempDir& folder, const std::string& embedded, const std::string& versionLine = "1.0.0") {
  test::writeScript(folder / "sass", "if [ \"$1\" = --embedded ]; then " + embedded + "; else echo '" + versionLine +
                                         "'; fi");
}
std::string speaks(const std::string& version) {
  return "echo '{\"protocolVersion\": \"3.4.0\", \"compilerVersion\": \"" + version + "\", \"id\": 0}'";
}

// A resource folder holding the real sassc and no Dart Sass.
void putSassc(const TempDir& folder) { std::filesystem::create_symlink(test::realSassc(), folder / "sassc"); }

TEST(Compilers, NamesTheBundledCompilersWithTheVersionsTheyReport) {
  TempDir onPath;
  putSass(onPath, speaks("1.99.0"));  // the bundled Dart Sass comes first
  Compilers compilers(test::realResources(), onPath.path().string());
  const auto found = compilers.found();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].id, "libsass");
  EXPECT_EQ(found[0].name, std::string("LibSass ") + FENNELVIEW_TEST_LIBSASS_VERSION);
  EXPECT_EQ(found[1].id, "dart-sass");
  EXPECT_EQ(found[1].name, "Dart Sass 1.108.2");
}

TEST(Compilers, OffersASassOnTheSearchPathOnlyWhenItSpeaksTheEmbeddedProtocol) {
  TempDir resources, empty, dartSass, pureJs, rubySass;
  putSassc(resources);
  putSass(dartSass, speaks("1.77.8"));
  // npm's JavaScript build reports a Dart Sass version, yet cannot compile for us.
  putSass(pureJs, "echo '--embedded is unavailable in pure JS mode' >&2; exit 64", "1.77.8 compiled with dart2js 3.4.4");
  putSass(rubySass, "echo 'Ruby Sass 3.7.4'", "Ruby Sass 3.7.4");
  Compilers compilers(resources.path(), empty.path().string() + "::" + dartSass.path().string());
  auto found = compilers.found();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[1].name, "Dart Sass 1.77.8");
  EXPECT_EQ(found[1].executable, dartSass / "sass");
  EXPECT_TRUE(compilers.refused().empty());
  // Asked again only once the executable has changed.
  putSass(dartSass, speaks("1.80.0"));
  std::filesystem::last_write_time(dartSass / "sass", std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
  EXPECT_EQ(compilers.found()[1].name, "Dart Sass 1.80.0");

  for (const auto& [folder, said] : {std::pair{&pureJs, "--embedded is unavailable in pure JS mode"},
                                    std::pair{&rubySass, "Ruby Sass 3.7.4"}}) {
    Compilers refusing(resources.path(), folder->path().string());
    EXPECT_EQ(refusing.found().size(), 1u);
    const auto refused = refusing.refused();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].executable, *folder / "sass");
    EXPECT_NE(refused[0].reason.find(said), std::string::npos) << refused[0].reason;
    EXPECT_NE(refused[0].reason.find("embedded protocol"), std::string::npos) << refused[0].reason;
  }
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
