#include "document/signal.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace fennelview {
namespace {

TEST(Signal, ValuesSentBeforeSubscribingAreLost) {
  auto [signal, observer] = Signal<int>::pipe();
  observer.sendNext(1);
  std::vector<int> seen;
  signal.observeNext([&](int v) { seen.push_back(v); });
  observer.sendNext(2);
  EXPECT_EQ(seen, std::vector<int>{2});
}

TEST(Signal, FilterPassesMatchingValuesInOrderAndDisposingEndsItUpstream) {
  auto [signal, observer] = Signal<std::string>::pipe();
  std::vector<std::string> seen;
  auto subscription =
      signal.filter([](const std::string& s) { return s.starts_with("/a"); }).observeNext([&](const std::string& s) {
        seen.push_back(s);
      });
  for (const char* path : {"/a/1", "/b/2", "/a/3"}) observer.sendNext(path);
  EXPECT_EQ(seen, (std::vector<std::string>{"/a/1", "/a/3"}));
  EXPECT_EQ(signal.subscriberCount(), 1u);
  subscription.dispose();
  EXPECT_EQ(signal.subscriberCount(), 0u) << "a disposed filter must not stay subscribed upstream";
  observer.sendNext("/a/4");
  EXPECT_EQ(seen.size(), 2u);
}

TEST(Signal, ObserversMayDisposeThemselvesWhileBeingCalled) {
  auto [signal, observer] = Signal<int>::pipe();
  int calls = 0;
  Disposable self;
  self = signal.observeNext([&](int) {
    ++calls;
    self.dispose();
  });
  observer.sendNext(1);
  observer.sendNext(2);
  EXPECT_EQ(calls, 1);
}

TEST(MutableProperty, ProducerStartsWithTheLatestValueThenFollows) {
  MutableProperty<int> property(0);
  for (int v : {1, 2, 3}) property.setValue(v);
  std::vector<int> seen;
  auto subscription = property.producer().start(Observer<int>([&](int v) { seen.push_back(v); }));
  property.setValue(4);
  subscription.dispose();
  property.setValue(5);
  EXPECT_EQ(seen, (std::vector<int>{3, 4}));
  EXPECT_EQ(property.value(), 5);
}

TEST(MutableProperty, ConcurrentStoresAreDeliveredOneAtATimeInStoreOrder) {
  MutableProperty<int> property(0);
  std::vector<int> seen;  // unguarded on purpose: deliveries must not overlap
  property.producer().start(Observer<int>([&](int v) { seen.push_back(v); }));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&property, t] {
      for (int i = 0; i < 1000; ++i) property.setValue(t * 1000 + i);
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(seen.size(), 4001u);
  EXPECT_EQ(seen.back(), property.value()) << "the last delivered value is the stored one";
}

TEST(MutableProperty, ProducerOfADestroyedPropertyEndsAtOnce) {
  auto property = std::make_unique<MutableProperty<int>>(1);
  auto producer = property->producer();
  bool ended = false;
  producer.start(Observer<int>([](int) {}, [&] { ended = true; }));
  property.reset();
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace fennelview
