// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/css_exporter.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "test_support.hpp"

namespace fennelview {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using test::readFile;
using test::writeFile;

class CssExporterTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(document, sass); }
  // Saves with the real compiler and waits for the outcome.
  std::optional<std::string> save(const CssExportChoice& choice, const Compiler& compiler,
                                  const ParsingResult& current = ParsingResult::success(CSSOutput(""))) {
    std::optional<std::optional<std::string>> outcome;
    exporter.save(choice, current, compiler, filesRead,
                  [&](std::optional<std::string> failure) { outcome = std::move(failure); });
    EXPECT_TRUE(test::runUntil([&] { return outcome.has_value(); }, std::chrono::seconds(30)));
    return outcome.value_or("test: no outcome");
  }
  test::TempDir dir;
  std::set<std::string> filesRead;
  Settings settings{dir / "settings.json"};
  std::filesystem::path document = dir / "main.scss";
  const std::string sass = "$c: red;\n.a {\n  color: $c;\n}\n.b { margin: 1px 2px; }\n";
  CssExporter exporter{document.string(), settings};
};

// A compressed save with a map, the choice kept, then a compile error that writes nothing.
TEST_F(CssExporterTest, BothCompilersSaveCompressedCssWithItsMapAndNothingWhenTheSassDoesNotCompile) {
  for (const auto& compiler :
       {Compiler{std::string(kLibSassId), test::realSassc(), "LibSass"}, compilerForChoice("dart-sass")}) {
    SCOPED_TRACE(compiler.name);
    writeFile(document, sass);
    const CssExportChoice choice{dir / "dist" / "site.min.css", OutputStyle::kCompressed, true, false};
    ASSERT_EQ(save(choice, compiler), std::nullopt);
    EXPECT_EQ(readFile(choice.target), ".a{color:red}.b{margin:1px 2px}\n\n/*# sourceMappingURL=site.min.css.map */\n");
    const auto map = nlohmann::json::parse(readFile(dir / "dist" / "site.min.css.map"));
    EXPECT_EQ(map["sources"], nlohmann::json::array({"../main.scss"}));
    EXPECT_EQ(Settings(dir / "settings.json").cssExport(document.string()), choice);

    writeFile(document, ".a { color: $missing; }\n");
    const CssExportChoice broken{dir / "dist" / "broken.css", OutputStyle::kExpanded, false, false};
    EXPECT_THAT(save(broken, compiler).value_or(""), AllOf(HasSubstr("did not compile"), HasSubstr("Undefined variable")));
    EXPECT_FALSE(std::filesystem::exists(broken.target));
  }
}

TEST_F(CssExporterTest, ProposesTheKeptChoiceElseThePagesLinkedCssElseACssFileBesideTheSass) {
  using std::filesystem::path;
  // The linked file's folder need not exist: the save makes it.
  for (const auto& [linked, proposed] : std::vector<std::pair<std::optional<path>, CssExportChoice>>{
           {std::nullopt, {dir / "main.css"}},
           {dir / "missing" / "main.css", {dir / "missing" / "main.css"}},
           {dir / "css" / "main.min.css", {dir / "css" / "main.min.css", OutputStyle::kCompressed}},
           {dir / "css" / "MAIN.MIN.CSS", {dir / "css" / "MAIN.MIN.CSS", OutputStyle::kCompressed}},
           {dir / "css" / ".min.css", {dir / "css" / ".min.css"}}}) {
    EXPECT_EQ(exporter.proposal(linked), proposed) << linked.value_or("none");
  }
  const CssExportChoice kept{dir / "kept.css", OutputStyle::kExpanded, true, true};
  settings.setCssExport(document.string(), kept);
  EXPECT_EQ(exporter.proposal(dir / "css" / "main.min.css"), kept);
}

TEST_F(CssExporterTest, OnEverySaveWritesEachSuccessTellsAFailureOnceAndNeverWritesOverTheSass) {
  const auto dartSass = compilerForChoice("dart-sass");
  const auto compiled = [&](const std::string& css) {
    return ParsingResult::success(CSSOutput(css)).named(dartSass.name);
  };
  std::vector<std::string> told;
  const auto tell = [&](std::string message) { told.push_back(std::move(message)); };
  const CssExportChoice choice{dir / "dist" / "site.css", OutputStyle::kExpanded, false, false};

  // Asked for a map, a preview result without one is compiled again with it.
  const CssExportChoice mapped{dir / "dist" / "mapped.css", OutputStyle::kExpanded, true, false};
  ASSERT_EQ(save(mapped, dartSass, compiled(".a {}")), std::nullopt);
  EXPECT_THAT(readFile(dir / "dist" / "mapped.css.map"), HasSubstr("main.scss"));

  // Nothing is written before the user chose "on every save".
  ASSERT_EQ(save(choice, dartSass, compiled(".a {\n  b: c;\n}")), std::nullopt);
  exporter.documentCompiled(compiled(".changed {}"), dartSass, filesRead, tell);
  EXPECT_EQ(readFile(choice.target), ".a {\n  b: c;\n}");

  // The preview's expanded CSS from Dart Sass is written as it is, at once.
  exporter.setOnEverySave(true);
  EXPECT_TRUE(settings.cssExport(document.string())->onEverySave);
  exporter.documentCompiled(compiled(".d {}"), dartSass, filesRead, tell);
  const auto failed = ParsingResult::failure(ParsingError::parsingFailed("nope")).named(dartSass.name);
  exporter.documentCompiled(failed, dartSass, filesRead, tell);
  EXPECT_EQ(readFile(choice.target), ".d {}");

  std::filesystem::remove_all(dir / "dist");
  writeFile(dir / "dist", "");
  exporter.documentCompiled(compiled(".e {}"), dartSass, filesRead, tell);
  exporter.documentCompiled(compiled(".f {}"), dartSass, filesRead, tell);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_THAT(told[0], HasSubstr("could not be saved to \u201C" + choice.target.string() + "\u201D: Not a directory"));

  // A choice naming the Sass itself, or a file it reads, however reached through links, is refused
  // and not kept.
  writeFile(dir / "src" / "inc.css", "i {}");
  std::filesystem::create_symlink("src", dir / "link");
  std::filesystem::create_symlink("../main.scss", dir / "src" / "main.css");
  filesRead = {(dir / "src" / "inc.css").string()};
  for (const auto& [target, refused] : std::vector<std::pair<std::filesystem::path, std::string>>{
           {document, "\u201Cmain.scss\u201D is a Sass file"},
           {dir / "link" / "main.css", "\u201Cmain.css\u201D is a Sass file"},
           {dir / "link" / "inc.css", "the Sass reads \u201Cinc.css\u201D"},
           {dir / "src" / ".." / "link" / "inc.css", "the Sass reads \u201Cinc.css\u201D"}}) {
    EXPECT_THAT(save({target, OutputStyle::kExpanded, false, true}, dartSass).value_or(""), HasSubstr(refused))
        << target;
  }
  EXPECT_EQ(settings.cssExport(document.string())->target, choice.target);
  settings.setCssExport(document.string(), {dir / "link" / "inc.css", OutputStyle::kExpanded, false, true});
  exporter.documentCompiled(compiled(".g {}"), dartSass, filesRead, tell);
  EXPECT_THAT(told.back(), HasSubstr("the Sass reads \u201Cinc.css\u201D"));
  EXPECT_EQ(readFile(document), sass);
  EXPECT_EQ(readFile(dir / "src" / "inc.css"), "i {}");

  // A stored value the app cannot use is left as it is.
  settings.store().setObject({{"target", "relative.css"}}, "export:" + document.string());
  exporter.setOnEverySave(false);
  EXPECT_EQ(settings.store().objectForKey("export:" + document.string()), nlohmann::json({{"target", "relative.css"}}));
}

}  // namespace
}  // namespace fennelview
