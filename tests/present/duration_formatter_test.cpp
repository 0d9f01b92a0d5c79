#include "present/duration_formatter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace fennelview {
namespace {

struct Expectation {
  double seconds;
  const char* enUS;
  const char* deDE;
};

TEST(DurationFormatter, FormsAndBoundsInTwoLocales) {
  const Expectation cases[] = {
      {0.0, "0ms", "0ms"},
      {0.0004, "0ms", "0ms"},
      {0.9995, "1000ms", "1000ms"},  // 999.5 rounds half-even, with no grouping
      {0.0125, "12ms", "12ms"},
      {1.0, "1s", "1s"},
      {9.99, "9.99s", "9,99s"},
      {1.23456, "1.235s", "1,235s"},
      {10.0, "10s", "10 Sek."},
      {3723.0, "1h 2m 3s", "1 Std., 2 Min. und 3 Sek."},
      {-2.0, "-2s", "-2 Sek."},
  };
  DurationFormatter en("en_US");
  DurationFormatter de("de_DE");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(en.stringFromDuration(c.seconds), c.enUS);
    EXPECT_EQ(de.stringFromDuration(c.seconds), c.deDE);
  }
}

TEST(DurationFormatter, NotANumberFallsBackToZeroSeconds) {
  DurationFormatter en("en_US");
  EXPECT_EQ(en.stringFromDuration(std::numeric_limits<double>::quiet_NaN()), "0s");
  EXPECT_EQ(en.stringFromDuration(std::numeric_limits<double>::infinity()), "0s");
}

}  // namespace
}  // namespace fennelview
