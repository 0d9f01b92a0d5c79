// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/signal.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace fennelview {
namespace {

TEST(MutableProperty, ProducerStartsWithTheLatestValueThenFollows) {
  MutableProperty<int> property(0);
  for (int v : {1, 2, 3}) property.setValue(v);
  std::vector<int> seen;
  auto subscription = property.producer().start(Observer<int>([&](int v) { seen.push_back(v); }));
  property.setValue(4);
  subscription.dispose();
  property.setValue(5);
  EXPECT_EQ(seen, (std::vector<int>{3, 4}));
}

TEST(MutableProperty, ConcurrentStoresAreDeliveredOneAtATimeInStoreOrder) {
  MutableProperty<int> property(0);
  std::vector<int> seen;  // unguarded on purpose: deliveries must not overlap
  property.producer().start(Observer<int>([&](int v) { seen.push_back(v); }));
  std::vector<std::jthread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&property, t] { for (int i = 0; i < 1000; ++i) property.setValue(t * 1000 + i); });
  }
  threads.clear();  // joins them
  ASSERT_EQ(seen.size(), 4001u);
  EXPECT_EQ(seen.back(), property.value()) << "the last delivered value is the stored one";
}

}  // namespace
}  // namespace fennelview
