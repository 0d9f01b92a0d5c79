// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/render_presenter.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

class RenderPresenterTest : public ::testing::Test {
 protected:
  std::filesystem::path templ(const std::string& text) {
    test::writeFile(dir / "index.html", text);
    return dir / "index.html";
  }
  RenderPresenter make(const ParsingResult& r, const std::filesystem::path& path) { return {r, "", path, formatter}; }

  test::TempDir dir;
  DurationFormatter formatter{"en_US"};
};

ParsingResult css(const std::string& text, double time = 0.0) { return ParsingResult::success(CSSOutput(text, time)); }
ParsingResult failure(const std::string& message, std::optional<SourcePlace> place = {}) {
  return ParsingResult::failure(
      std::make_shared<const ParsingError>("d", 3001, UserInfo{{NSLocalizedDescriptionKey, message}}, place));
}

TEST_F(RenderPresenterTest, FillsEveryPlaceholderAndRemovesTheOtherOneEverywhere) {
  const auto path = templ("[$CSS|$ERROR|$CSS]");
  EXPECT_EQ(make(css("a{} $ERROR b{}", 0.012), path).fullPageString(), "[a{}  b{}||a{}  b{}]");
  EXPECT_EQ(make(css("", 0.012), path).durationString(), "12ms");
  EXPECT_EQ(make(failure("bad $CSS here"), path).fullPageString(), "[|bad  here|]");
  EXPECT_EQ(make(failure("x"), path).durationString(), "0s");
  // The header still tells how long a failed or stopped compile ran.
  EXPECT_EQ(make(failure("x").stamped(5.2), path).compileSeconds(), 5.2);
  EXPECT_EQ(make(failure("x"), path).compileSeconds(), std::nullopt);
  const auto noMessage = std::make_shared<const ParsingError>("d", 3001, UserInfo{});
  EXPECT_EQ(make(ParsingResult::failure(noMessage), templ("$ERROR")).fullPageString(), "\xF0\x9F\x98\xB1");
}

TEST_F(RenderPresenterTest, NeitherTheCssNorTheMessageCanEndTheirElementEvenAfterThePlaceholderRemoval) {
  const auto path = templ("<style>$CSS</style><pre>$ERROR</pre>");
  EXPECT_EQ(make(failure("\"<script>x('$C$CSSSS')</script>\" &"), path).fullPageString(),
            "<style></style><pre>&quot;&lt;script&gt;x(&#39;$CSS&#39;)&lt;/script&gt;&quot; &amp;</pre>");
  EXPECT_EQ(make(css("a::after { content: \"</style><$ERROR/style><$ER$ERRORROR/x>\"; }"), path).fullPageString(),
            "<style>a::after { content: \"<\\/style><\\/style><$ERROR/x>\"; }</style><pre></pre>");
}

TEST_F(RenderPresenterTest, APageTakesResultsInPlaceOnlyWhereEachPlaceholderStandsOnceInItsElement) {
  const std::string style = "<style id=\"fennelview-css\">$CSS</style>";
  const std::string panel = "<pre id='fennelview-error'>$ERROR</pre>";
  const std::vector<std::pair<std::string, bool>> cases = {
      {style + panel, true},
      {"<p>" + style + "</p><pre class=\"x\" id='fennelview-error'>$ERROR</pre>", true},
      {style + panel + "<title>$CSS</title>", false},
      {style + panel + "<p>$ERROR</p>", false},
      {style + "<pre id=\"fennelview-error\"> $ERROR</pre>", false},
      {style + "<pre data-id=\"fennelview-error\">$ERROR</pre>", false},
      {style, false},
  };
  for (const auto& [text, inPlace] : cases) EXPECT_EQ(make(css("a{}"), templ(text)).updatesInPlace(), inPlace) << text;
  EXPECT_TRUE(make(css("a{}"), dir / "missing.html").updatesInPlace()) << "the page shown instead";
}

TEST_F(RenderPresenterTest, AnUnreadableTemplateStillGivesAPageWithTheContent) {
  const auto page = make(failure("Error: <x>"), dir / "missing.html").fullPageString();
  EXPECT_NE(page.find("could not be read"), std::string::npos);
  EXPECT_NE(page.find("Error: &lt;x&gt;"), std::string::npos);
  EXPECT_NE(make(css("h1{}"), templ("\xFF $CSS")).fullPageString().find(">h1{}</style>"), std::string::npos);
}

TEST_F(RenderPresenterTest, RelativeUrlsResolveInTheDocumentsFolderAndTheErrorKeepsItsLocation) {
  const RenderPresenter error(failure("boom", SourcePlace{"/w/a.scss", 3, 7}), "/w/site/main.scss");
  EXPECT_EQ(error.baseURL(), "file:///w/site/");
  EXPECT_EQ(error.errorLocation(), (SourcePlace{"/w/a.scss", 3, 7}));
}

TEST_F(RenderPresenterTest, WarningsAreGroupedByKindWithTheirCount) {
  std::string flood;
  for (int i = 0; i < 30; ++i) flood += "WARNING: w" + std::to_string(i % 25) + "\n  on line " + std::to_string(i) + ":1 of a.scss\n\n";
  const auto warnings = groupWarnings(flood + "DEPRECATION WARNING on line 3 of /a.scss:\nOld.\n\n/a.scss:4 DEBUG: d\n");
  EXPECT_EQ(warnings.total, 32u);
  EXPECT_EQ(warnings.groups.size(), CompilerWarnings::kShownGroups);
  EXPECT_EQ(groupWarnings("WARNING: " + std::string(1 << 20, 'w') + "\n on line 1:1 of a.scss\n").total, 1u);
  EXPECT_EQ(warnings.hiddenGroups, 7u);
  EXPECT_EQ(warnings.groups[0], (WarningGroup{"WARNING: w0\n  on line 0:1 of a.scss", 2}));
  EXPECT_TRUE(warnings.summary().starts_with("2× WARNING: w0\n  on line 0:1 of a.scss\n\n2× WARNING: w1")) << warnings.summary();
  // Those the compile did not keep count, and the list ends saying so.
  const auto cut = groupWarnings("WARNING: w\n", 12345);
  EXPECT_EQ(cut.total, 12346u);
  EXPECT_EQ(cut.groups.back().text, "\u2026and 12345 more warnings, too many to keep.");
}

}  // namespace
}  // namespace fennelview
