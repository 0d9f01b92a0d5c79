// SPDX-License-Identifier: GPL-3.0-or-later
#include "panes/media_query_rewrite.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

const MediaState kDark{ColorScheme::dark};
const MediaState kLight{ColorScheme::light};
const MediaState kPrint{std::nullopt, true};
const MediaState kCalm{std::nullopt, false, true};

TEST(MediaQueryRewrite, DecidedFeaturesAndTypesAnswerAsTheStateSays) {
  const struct {
    const char* list;
    MediaState media;
    const char* rewritten;
  } cases[] = {
      {"(prefers-color-scheme: dark)", kDark, "(min-width: 0px)"},
      {"(prefers-color-scheme: dark)", kLight, "(not (min-width: 0px))"},
      {"( PREFERS-color-scheme :Light )", kLight, "(min-width: 0px)"},
      {"screen and (prefers-color-scheme: dark) and (min-width: 600px)", kDark,
       "screen and (min-width: 0px) and (min-width: 600px)"},
      {"(min-width: 600px) or (not (prefers-color-scheme: dark))", kDark, "(min-width: 600px) or (not (min-width: 0px))"},
      {"(prefers-reduced-motion: reduce), (prefers-reduced-motion: no-preference)", kCalm,
       "(min-width: 0px), (not (min-width: 0px))"},
      // What the state does not emulate stays for the engine to answer.
      {"(prefers-color-scheme: dark)", kCalm, "(prefers-color-scheme: dark)"},
      {"print", kDark, "print"},
      {"(prefers-contrast: more)", kDark, "(prefers-contrast: more)"},
      // On paper, by media type.
      {"print", kPrint, "all"},
      {"only print and (min-width: 600px)", kPrint, "only all and (min-width: 600px)"},
      {"screen and (min-width: 600px)", kPrint, "not all"},
      {"not screen and (color)", kPrint, "all"},
      {"not print and (color)", kPrint, "not all and (color)"},
      {"screen, print", kPrint, "not all, all"},
      {"not (prefers-color-scheme: dark)", kDark, "not (min-width: 0px)"},
      {"", kDark, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(emulateMediaQueryList(c.list, c.media), c.rewritten) << c.list;
}

TEST(MediaQueryRewrite, OnlyTheAtMediaPreludesOfASheetChange) {
  const std::string css =
      "body { background: grey; }\n"
      "@media (max-width: 600px) { body { background: green; } }\n"
      "@MEDIA (prefers-color-scheme: dark) and (min-width: 601px) {\n  body { background: blue; }\n}\n"
      "/* @media (prefers-color-scheme: dark) */ a::after { content: \"@media (prefers-color-scheme: dark)\"; }\n"
      "@import url(\"print.css\") print;\n"
      "@mediafoo (prefers-color-scheme: dark) {}\n";
  const std::string expected =
      "body { background: grey; }\n"
      "@media (max-width: 600px) { body { background: green; } }\n"
      "@MEDIA (min-width: 0px) and (min-width: 601px) {\n  body { background: blue; }\n}\n"
      "/* @media (prefers-color-scheme: dark) */ a::after { content: \"@media (prefers-color-scheme: dark)\"; }\n"
      "@import url(\"print.css\") print;\n"
      "@mediafoo (prefers-color-scheme: dark) {}\n";
  EXPECT_EQ(emulateMedia(css, kDark), expected);
  EXPECT_EQ(emulateMedia(css, MediaState{}), css);
  // Unclosed comments, strings and preludes end with the text.
  for (const char* cut : {"@media (prefers-color-scheme: dark", "@media \"", "/* @media", "@media"}) {
    EXPECT_NO_THROW(emulateMedia(cut, kDark)) << cut;
  }
  EXPECT_EQ(emulateMedia("@media (prefers-color-scheme: dark", kDark), "@media (prefers-color-scheme: dark");
}

}  // namespace
}  // namespace fennelview
