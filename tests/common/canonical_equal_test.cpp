#include "common/canonical_equal.hpp"

#include <gtest/gtest.h>

namespace fennelview {
namespace {

TEST(CanonicalEqual, PrecomposedAndDecomposedFormsAreEqual) {
  EXPECT_TRUE(canonicallyEqual("/tmp/caf\xC3\xA9.scss", "/tmp/cafe\xCC\x81.scss"));
  EXPECT_TRUE(canonicallyEqual("", ""));
}

TEST(CanonicalEqual, CaseAndCompatibilityFormsStayDistinct) {
  EXPECT_FALSE(canonicallyEqual("/tmp/A.scss", "/tmp/a.scss"));
  EXPECT_FALSE(canonicallyEqual("\xEF\xAC\x81", "fi")) << "the ligature is only compatibility-equal";
  EXPECT_FALSE(canonicallyEqual("/tmp/a", "/tmp/a/"));
}

TEST(CanonicalEqual, BytesThatAreNotUtf8CompareExactly) {
  EXPECT_FALSE(canonicallyEqual("/tmp/\xFF", "/tmp/\xFE"));
  EXPECT_TRUE(canonicallyEqual("/tmp/\xFF", "/tmp/\xFF"));
}

}  // namespace
}  // namespace fennelview
