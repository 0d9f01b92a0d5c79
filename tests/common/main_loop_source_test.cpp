// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/main_loop_source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "test_support.hpp"

namespace fennelview {
namespace {

TEST(MainLoopSource, RunsUntilItsOwnerGoesEvenWhenTheCallbackEndsTheOwner) {
  std::vector<std::string> ran;
  auto dropped = std::make_unique<MainLoopSource>(MainLoopSource::idle([&] { ran.push_back("dropped"); }));
  dropped.reset();
  std::unique_ptr<MainLoopSource> self;
  self = std::make_unique<MainLoopSource>(MainLoopSource::every(std::chrono::milliseconds(1), [&] {
    ran.push_back("self");
    self.reset();  // its own owner, from inside
    return true;
  }));
  const auto once = MainLoopSource::after(std::chrono::milliseconds(1), [&] { ran.push_back("once"); });
  ASSERT_TRUE(test::runUntil([&] { return !once.active() && !self; }));
  test::runFor(std::chrono::milliseconds(20));
  std::ranges::sort(ran);
  EXPECT_EQ(ran, (std::vector<std::string>{"once", "self"}));
}

}  // namespace
}  // namespace fennelview
