#include <gtest/gtest.h>

#include "build_config.hpp"
#include "compile/parsing_result.hpp"

namespace fennelview {
namespace {

TEST(ParsingError, KeepsAnyCodeAndUsesTheBundleIdentifierAsDomain) {
  for (std::intptr_t code : {std::intptr_t{0}, std::intptr_t{-7}, std::intptr_t{3001}}) {
    const auto error = ParsingError::withMessage("boom", code);
    EXPECT_EQ(error->code(), code);
    EXPECT_EQ(error->domain(), build::bundleIdentifier);
    ASSERT_EQ(error->userInfo().size(), 1u);
    EXPECT_EQ(error->localizedDescription(), "boom");
  }
}

TEST(ParsingError, DefaultMessageOnlyWhenNoneIsGiven) {
  EXPECT_EQ(ParsingError::parsingFailed()->localizedDescription(), "Parsing failed due to an unknown error.");
  EXPECT_EQ(ParsingError::parsingFailed("")->localizedDescription(), "");
  EXPECT_EQ(ParsingError::parsingFailed("x")->code(), 3001);
}

TEST(ParsingError, NonStringDescriptionReadsAsNone) {
  const ParsingError error("d", 1, UserInfo{{NSLocalizedDescriptionKey, std::int64_t{42}}});
  EXPECT_FALSE(error.localizedDescription().has_value());
}

TEST(CSSOutput, OutputAloneHasZeroTimeAndStampingKeepsTheText) {
  const CSSOutput css("a {\n  color: red; }\n\xF0\x9F\x98\xB1");
  EXPECT_EQ(css.parsingTime, 0.0);
  const auto stamped = css.stamped(1.25);
  EXPECT_EQ(stamped.output, css.output);
  EXPECT_EQ(stamped.parsingTime, 1.25);
}

TEST(ParsingResult, PresentOutputNeverCallsTheSupplier) {
  int calls = 0;
  const auto result = ParsingResult::make(CSSOutput("a{}"), [&] {
    ++calls;
    return ParsingError::parsingFailed();
  });
  EXPECT_TRUE(result.isSuccess());
  EXPECT_EQ(result.output().output, "a{}");
  EXPECT_EQ(calls, 0);
}

TEST(ParsingResult, MissingOutputCallsTheSupplierOnce) {
  int calls = 0;
  const auto result = ParsingResult::make(std::nullopt, [&] {
    ++calls;
    return ParsingError::parsingFailed("bad");
  });
  EXPECT_TRUE(result.isFailure());
  EXPECT_EQ(result.error()->localizedDescription(), "bad");
  EXPECT_EQ(calls, 1);
}

TEST(ParsingResult, MappingAFailureKeepsTheVeryErrorAndSkipsTheFunction) {
  const auto error = ParsingError::parsingFailed("bad");
  bool called = false;
  const auto mapped = ParsingResult::failure(error).map([&](const CSSOutput& c) {
    called = true;
    return c;
  });
  EXPECT_FALSE(called);
  EXPECT_EQ(mapped.error().get(), error.get());
}

TEST(ParsingResult, MappingASuccessAppliesTheFunction) {
  const auto mapped = ParsingResult::success(CSSOutput("x")).map([](const CSSOutput& c) { return c.stamped(2.0); });
  EXPECT_EQ(mapped.output(), CSSOutput("x", 2.0));
}

TEST(ParsingResult, StampingGivesASuccessItsTimeAndLeavesAFailureAsItIs) {
  EXPECT_EQ(ParsingResult::success(CSSOutput("x")).stamped(0.5).output(), CSSOutput("x", 0.5));
  const auto error = ParsingError::parsingFailed("bad");
  EXPECT_EQ(ParsingResult::failure(error).stamped(0.5).error().get(), error.get());
}

}  // namespace
}  // namespace fennelview
