// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/resources.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "common/canonical_equal.hpp"
#include "test_support.hpp"

namespace fennelview {
namespace {

TEST(Resources, EachMissingPieceIsNamedInTheStartUpMessage) {
  test::TempDir dir;
  setenv("FENNELVIEW_RESOURCES", dir.path().c_str(), 1);
  EXPECT_NE(checkResources().value_or("").find("sassc"), std::string::npos);
  test::writeScript(dir / "sassc", "");
  EXPECT_NE(checkResources().value_or("").find("index.html"), std::string::npos);
  setenv("FENNELVIEW_RESOURCES", test::realResources().c_str(), 1);
  EXPECT_EQ(checkResources(), std::nullopt);
}

TEST(CanonicalEqual, OnlyCanonicallyEquivalentUtf8IsEqual) {
  EXPECT_TRUE(canonicallyEqual("/tmp/caf\xC3\xA9.scss", "/tmp/cafe\xCC\x81.scss"));
  EXPECT_FALSE(canonicallyEqual("/tmp/A.scss", "/tmp/a.scss"));
  EXPECT_FALSE(canonicallyEqual("\xEF\xAC\x81", "fi"));  // the ligature is only compatibility-equal
  EXPECT_FALSE(canonicallyEqual("/tmp/\xFF", "/tmp/\xFE"));  // bytes that are not UTF-8 compare exactly
}

}  // namespace
}  // namespace fennelview
