#include "present/render_presenter.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace fennelview {
namespace {

using test::writeFile;

class RenderPresenterTest : public ::testing::Test {
 protected:
  std::filesystem::path templ(const std::string& text) {
    const auto path = dir / "index.html";
    writeFile(path, text);
    return path;
  }
  RenderPresenter make(const ParsingResult& r, const std::filesystem::path& path) { return {r, path, formatter}; }

  test::TempDir dir;
  DurationFormatter formatter{"en_US"};
};

ParsingResult css(const std::string& text, double time = 0.0) { return ParsingResult::success(CSSOutput(text, time)); }
ParsingResult failure(const std::string& message) {
  return ParsingResult::failure(ParsingError::parsingFailed(message));
}

TEST_F(RenderPresenterTest, FillsEveryPlaceholderAndRemovesTheOtherOneEverywhere) {
  const auto path = templ("[$CSS|$ERROR|$CSS]");
  EXPECT_EQ(make(css("a{} $ERROR b{}", 0.012), path).fullPageString(), "[a{}  b{}||a{}  b{}]");
  EXPECT_EQ(make(css("", 0.012), path).durationString(), "12ms");
  EXPECT_EQ(make(failure("bad $CSS here"), path).fullPageString(), "[|bad  here|]");
  EXPECT_EQ(make(failure("x"), path).durationString(), "0s");
  EXPECT_EQ(make(css(""), templ("plain")).fullPageString(), "plain");
  EXPECT_EQ(make(failure("m"), templ("plain")).fullPageString(), "plain");
}

TEST_F(RenderPresenterTest, TheMessageIsEscapedAndTheCssCannotCloseItsStyleElement) {
  const auto path = templ("<style>$CSS</style><pre>$ERROR</pre>");
  EXPECT_EQ(make(failure("Error: \"<script>alert('x')</script>\" & more"), path).fullPageString(),
            "<style></style><pre>Error: &quot;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&quot; &amp; more</pre>");
  EXPECT_EQ(make(css("a::after { content: \"</style><b>\"; } /* a > b & c */"), path).fullPageString(),
            "<style>a::after { content: \"<\\/style><b>\"; } /* a > b & c */</style><pre></pre>");
}

TEST_F(RenderPresenterTest, AnErrorWithoutAStringMessageShowsTheScream) {
  const auto path = templ("$ERROR");
  const auto noKey = std::make_shared<const ParsingError>("d", 3001, UserInfo{});
  const auto number =
      std::make_shared<const ParsingError>("d", 3001, UserInfo{{NSLocalizedDescriptionKey, std::int64_t{1}}});
  EXPECT_EQ(make(ParsingResult::failure(noKey), path).fullPageString(), "\xF0\x9F\x98\xB1");
  EXPECT_EQ(make(ParsingResult::failure(number), path).fullPageString(), "\xF0\x9F\x98\xB1");
}

TEST_F(RenderPresenterTest, AnUnreadableTemplateStillGivesAPageWithTheContent) {
  for (const auto& path : {dir / "missing.html", templ("\xFF\xFE not utf-8 $CSS")}) {
    SCOPED_TRACE(path);
    const auto page = make(failure("Error: <x>"), path).fullPageString();
    EXPECT_NE(page.find("could not be read"), std::string::npos);
    EXPECT_NE(page.find(path.string()), std::string::npos);
    EXPECT_NE(page.find("Error: &lt;x&gt;"), std::string::npos);
    EXPECT_NE(make(css("h1{color:red}"), path).fullPageString().find("<style>h1{color:red}</style>"),
              std::string::npos);
  }
}

TEST_F(RenderPresenterTest, TheRealTemplateCarriesBothAndTheBaseUrlIsItsLocation) {
  const RenderPresenter success(css("h1 { color: #abcdef; }"));
  const RenderPresenter error(failure("Error: boom"));
  EXPECT_NE(success.fullPageString().find("h1 { color: #abcdef; }"), std::string::npos);
  EXPECT_EQ(success.fullPageString().find("$ERROR"), std::string::npos);
  EXPECT_NE(error.fullPageString().find("Error: boom"), std::string::npos);
  EXPECT_EQ(error.fullPageString().find("$CSS"), std::string::npos);
  const auto expected = "file://" + (test::realResources() / "Template" / "index.html").string();
  EXPECT_EQ(success.baseURL(), expected);
  EXPECT_EQ(error.baseURL(), expected);
}

}  // namespace
}  // namespace fennelview
