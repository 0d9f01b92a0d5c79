// SPDX-License-Identifier: GPL-3.0-or-later
#include "compile/warning_log.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(WarningLog, KeepsWholeWarningsUpToItsLimitCountsTheRestAndKeepsTheEnd) {
  const std::string w1 = "WARNING: one\n  on line 1:1 of a.scss\n\n";
  const std::string w2 = "WARNING: two\n  on line 2:1 of a.scss\n\n";
  const std::string debug = "a.scss:3 DEBUG: d\n";
  const std::string error = "Error: broken\n  on line 9:1 of a.scss\n";
  struct Case {
    const char* rule;
    std::string stream;
    std::size_t limit;
    std::size_t pieceSize;
    std::string kept;
    std::size_t leftOut;
    std::string end;
  };
  const std::vector<Case> cases = {
      {"under the limit all is kept", w1 + w2 + error, 1000, 7, w1 + w2 + error, 0, w1 + w2 + error},
      {"a warning the limit cuts is left out whole", w1 + w2 + w2 + error, w1.size() + 10, 5, w1, 3, "(tail)"},
      {"each DEBUG line is a warning of its own", w1 + debug + debug + debug, w1.size() + debug.size() + 3, 1000,
       w1 + debug, 2, "(tail)"},
      {"a last line without a line feed counts", w1 + "WARNING: x", w1.size() + 2, 3, w1, 1, "(tail)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    WarningLog log(c.limit, 64);
    for (std::size_t at = 0; at < c.stream.size(); at += c.pieceSize) log.append(std::string_view(c.stream).substr(at, c.pieceSize));
    log.finish();
    EXPECT_EQ(log.kept(), c.kept);
    EXPECT_EQ(log.leftOut(), c.leftOut);
    EXPECT_EQ(log.cut(), c.leftOut > 0);
    if (c.end != "(tail)") { EXPECT_EQ(log.end(), c.end); }
  }

  // Past the limit the error at the end is still whole, from a line's start.
  WarningLog flood(100, 64);
  for (int i = 0; i < 10000; ++i) flood.append(w1);
  flood.append(error);
  flood.finish();
  EXPECT_EQ(flood.leftOut(), 10001u - 2u) << "two warnings fit, the error's paragraph counts";
  EXPECT_TRUE(flood.end().ends_with(error));
  EXPECT_LE(flood.end().size(), 64u);

  // Log events are warnings given whole.
  WarningLog events(10);
  for (const auto* event : {"abc", "defg", "hijklmnop", "q"}) events.appendWarning(event);
  EXPECT_EQ(events.kept(), "abc\n\ndefg");
  EXPECT_EQ(events.leftOut(), 2u);
}

}  // namespace
}  // namespace fennelview
