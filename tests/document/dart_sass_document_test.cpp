// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "compile/compilers.hpp"
#include "document/sass_document.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

using test::runUntil;
using test::writeFile;

// Documents that follow the compiler chosen in their own settings store.
class DartSassDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { choose("dart-sass"); }
  void TearDown() override { std::ranges::for_each(docs_, &SassDocument::close); }
  void choose(const std::string& compiler) { settings.setCompiler(compiler); }
  std::shared_ptr<SassDocument> open(const std::string& name) {
    auto doc = SassDocument::create(settings);
    doc->setFilePath((dir / name).string());
    doc->readFromURL(doc->fileURL().value_or(""), "scss");
    return docs_.emplace_back(doc);
  }
  // Waits for a result of the given kind whose text (CSS or message) holds `fragment`.
  static bool waitFor(const std::shared_ptr<SassDocument>& doc, bool success, const std::string& fragment) {
    return runUntil([&] {
      const auto& r = doc->parsingResult().value();
      if (doc->compiling().value() || r.isSuccess() != success) return false;
      return (success ? r.output().output : r.error()->localizedDescription().value_or("")).find(fragment) !=
             std::string::npos;
    });
  }

  test::TempDir dir;
  Settings settings{dir / "settings.json"};
  const std::string dartSass = compilerForChoice("dart-sass").name;

 private:
  std::vector<std::shared_ptr<SassDocument>> docs_;
};

TEST_F(DartSassDocumentTest, CompilesModulesNamesTheModuleOfAnErrorAndASaveOfAVariableOnlyModuleRecompiles) {
  test::TempDir library;  // a load path: its deprecation warnings are left out, ours are kept
  settings.setLoadPaths({library.path().string()});
  writeFile(library / "_kit.scss", "$dark: darken(red, 10%);\n");
  writeFile(dir / "_tokens.scss", "$gap: 3px;\n");
  writeFile(dir / "_index.scss", "@forward \"tokens\";\n");
  writeFile(dir / "main.scss",
            "@use \"sass:math\";\n@use \"index\" as t;\n@use \"kit\";\n.a { margin: math.div(t.$gap * 4, 2); }\n"
            "@warn \"ours\";\n");
  auto doc = open("main.scss");
  ASSERT_TRUE(waitFor(doc, true, ".a {\n  margin: 6px;\n}"));
  EXPECT_EQ(doc->parsingResult().value().compilerName(), dartSass);
  EXPECT_EQ(doc->parsingResult().value().output().warnings, "WARNING: ours\n    main.scss 5:1  root stylesheet");
  EXPECT_TRUE(doc->followedFiles().contains((dir / "_tokens.scss").string()));
  EXPECT_TRUE(doc->followedFiles().contains((library / "_kit.scss").string()));

  // An error in a module names the module's file, line and column.
  writeFile(dir / "_tokens.scss", "$w: 1px;\n$gap: $w + 2em;\n");
  ASSERT_TRUE(waitFor(doc, false, "1px and 2em have incompatible units."));
  EXPECT_EQ(doc->parsingResult().value().error()->place(), (SourcePlace{(dir / "_tokens.scss").string(), 2, 7}));
  // Its value reaches the CSS only through arithmetic: a source map would not name it.
  writeFile(dir / "_tokens.scss", "$gap: 5px;\n");
  EXPECT_TRUE(waitFor(doc, true, "margin: 10px;"));
}

TEST_F(DartSassDocumentTest, ASourceMapOnlyWhileAReaderWantsOneWithTheSameCssAndFilesRead) {
  writeFile(dir / "_part.scss", ".p { c: d; }\n");
  writeFile(dir / "main.scss", "@import \"part\";\n.a { b: c; }\n");
  for (const std::string compiler : {"libsass", "dart-sass"}) {
    SCOPED_TRACE(compiler);
    choose(compiler);
    auto doc = open("main.scss");
    const auto map = [&] { return doc->parsingResult().value().output().sourceMap; };
    ASSERT_TRUE(waitFor(doc, true, ".a"));
    EXPECT_FALSE(map());
    const auto css = doc->parsingResult().value().output().output;
    const auto files = doc->followedFiles();
    EXPECT_TRUE(files.contains((dir / "_part.scss").string()));
    const auto started = doc->parser().startedCount();
    {
      const auto want = doc->wantSourceMap();
      const auto another = doc->wantSourceMap();  // has it already asked for
      ASSERT_TRUE(runUntil([&] { return !doc->compiling().value() && map(); }));
      EXPECT_EQ(doc->parser().startedCount(), started + 1);
      // sassc's line comments come with the map: only a reader of the map reads them.
      const auto withMap = doc->parsingResult().value().output().output;
      if (compiler == "libsass") {
        EXPECT_EQ(css.find("/* line"), std::string::npos);
        EXPECT_THAT(withMap, testing::HasSubstr("/* line 1, _part.scss */\n.p {"));
      } else {
        EXPECT_EQ(withMap, css);
      }
      EXPECT_EQ(doc->followedFiles(), files);
    }
    // The map shown stays; the next compile goes without.
    EXPECT_TRUE(map());
    doc->parse();
    ASSERT_TRUE(waitFor(doc, true, ".a"));
    EXPECT_FALSE(map());
  }
}

TEST_F(DartSassDocumentTest, LibSassSaysItLacksTheModuleSystemAndChoosingDartSassCompilesAgainWithIt) {
  choose("libsass");
  writeFile(dir / "main.scss", "@use \"sass:math\";\n.a { width: 2px; }\n");
  auto doc = open("main.scss");
  ASSERT_TRUE(waitFor(doc, false, "LibSass does not support the module system"));
  EXPECT_NE(doc->parsingResult().value().error()->localizedDescription()->find("Dart Sass"), std::string::npos);
  EXPECT_EQ(doc->parsingResult().value().compilerName(), compilerForChoice("libsass").name);

  choose("dart-sass");  // compiles again
  ASSERT_TRUE(waitFor(doc, true, ".a {\n  width: 2px;\n}"));
  EXPECT_EQ(doc->parsingResult().value().compilerName(), dartSass);
}

}  // namespace
}  // namespace fennelview
