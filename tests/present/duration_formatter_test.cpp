// SPDX-License-Identifier: GPL-3.0-or-later
#include "present/duration_formatter.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <limits>

namespace fennelview {
namespace {

TEST(DurationFormatter, FormsAndBoundsInTwoLocales) {
  struct Case { double seconds; const char *enUS, *deDE; };
  const Case cases[] = {
      {0.0, "0ms", "0ms"},       {0.0004, "0ms", "0ms"},        {0.9995, "1000ms", "1000ms"},  // half-even
      {1.0, "1s", "1s"},         {1.23456, "1.235s", "1,235s"}, {10.0, "10s", "10 Sek."},
      {3723.0, "1h 2m 3s", "1 Std., 2 Min. und 3 Sek."},        {-2.0, "-2s", "-2 Sek."},
      {std::numeric_limits<double>::quiet_NaN(), "0s", "0s"},
  };
  DurationFormatter en("en_US"), de("de_DE");
  for (const auto& c : cases) {
    EXPECT_EQ(en.stringFromDuration(c.seconds), c.enUS) << c.seconds;
    EXPECT_EQ(de.stringFromDuration(c.seconds), c.deDE) << c.seconds;
  }
}

TEST(DurationFormatter, NumbersFollowLcNumeric) {
  unsetenv("LC_ALL");
  setenv("LANG", "en_US.UTF-8", 1);
  setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
  EXPECT_EQ(DurationFormatter().stringFromDuration(1.5), "1,5s");
  setenv("LC_ALL", "en_US.UTF-8", 1);  // LC_ALL overrides every category
  EXPECT_EQ(DurationFormatter().stringFromDuration(1.5), "1.5s");
}

}  // namespace
}  // namespace fennelview
