// NSCache: eviction by count and by cost in order of last use, replacement, refusals, and
// use from several threads at once.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"

namespace {

std::string keysOf(const NSCache& cache, const std::vector<std::string>& candidates) {
  std::string held;
  for (const auto& key : candidates) {
    if (cache.objectForKey(NSString::stringWithUTF8String(key))) held += key;
  }
  return held;
}

TEST(ObjectsCache, EvictsLeastRecentlyUsedBeyondItsLimits) {
  struct Step {
    char op;  // 's' store (key, cost), 'g' get, 'r' remove, 'c' count limit, 't' cost limit
    std::string key;
    NSUInteger value = 0;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::string held;  // of the keys "abcd", in that order
    NSUInteger cost;
  };
  const Case cases[] = {
      {"no limits keep everything", {{'s', "a", 5}, {'s', "b", 5}, {'s', "c", 5}}, "abc", 15},
      {"count limit drops the oldest", {{'c', "", 2}, {'s', "a"}, {'s', "b"}, {'s', "c"}}, "bc", 0},
      {"a lookup counts as use", {{'c', "", 2}, {'s', "a"}, {'s', "b"}, {'g', "a"}, {'s', "c"}}, "ac", 0},
      {"cost limit drops until within",
       {{'t', "", 10}, {'s', "a", 4}, {'s', "b", 4}, {'s', "c", 4}, {'s', "d", 1}},
       "bcd", 9},
      {"an object over the limit alone does not stay", {{'t', "", 10}, {'s', "a", 3}, {'s', "b", 11}}, "a", 3},
      {"replacing changes the cost", {{'t', "", 10}, {'s', "a", 4}, {'s', "b", 4}, {'s', "a", 7}}, "a", 7},
      {"lowering a limit evicts at once", {{'s', "a"}, {'s', "b"}, {'s', "c"}, {'c', "", 1}}, "c", 0},
      {"remove forgets the cost", {{'s', "a", 4}, {'s', "b", 2}, {'r', "a"}}, "b", 2},
  };
  for (const auto& c : cases) {
    auto cache = NSCache::make();
    for (const auto& step : c.steps) {
      auto key = NSString::stringWithUTF8String(step.key);
      switch (step.op) {
        case 's': cache->setObject(NSString::stringWithUTF8String("value " + step.key), key, step.value); break;
        case 'g': EXPECT_TRUE(cache->objectForKey(key)) << c.name; break;
        case 'r': cache->removeObjectForKey(key); break;
        case 'c': cache->setCountLimit(step.value); break;
        case 't': cache->setTotalCostLimit(step.value); break;
      }
    }
    EXPECT_EQ(keysOf(*cache, {"a", "b", "c", "d"}), c.held) << c.name;
    EXPECT_EQ(cache->totalCost(), c.cost) << c.name;
    cache->removeAllObjects();
    EXPECT_EQ(cache->count(), 0u) << c.name;
    EXPECT_EQ(cache->totalCost(), 0u) << c.name;
  }
}

TEST(ObjectsCache, KeysCompareByValueAndNilIsRefused) {
  auto cache = NSCache::make();
  cache->setName("images"_ns);
  cache->setObject(1_n, NSString::stringWithUTF8String("http://h/a.png"));
  EXPECT_EQ(NSStringFromObject(cache->objectForKey("http://h/a.png"_ns)), "1");
  EXPECT_FALSE(cache->objectForKey(nullptr));
  cache->removeObjectForKey(nullptr);
  EXPECT_EQ(cache->name()->utf8(), "images");
  EXPECT_THROW(cache->setObject(nullptr, "k"_ns), NSException);
  EXPECT_THROW(cache->setObject(1_n, nullptr), NSException);
}

TEST(ObjectsCache, ManyThreadsStoreLookUpAndEvict) {
  auto cache = NSCache::make();
  cache->setCountLimit(50);
  cache->setTotalCostLimit(400);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([cache, t] {
      for (int i = 0; i < 2000; ++i) {
        auto key = NSString::stringWithUTF8String(std::to_string((i * 7 + t) % 120));
        if (i % 3 == 0) {
          cache->setObject(key, key, static_cast<NSUInteger>(i % 13));
        } else if (i % 11 == 0) {
          cache->removeObjectForKey(key);
        } else if (auto found = cache->objectForKey(key)) {
          EXPECT_TRUE(found->isEqual(key));
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_LE(cache->count(), 50u);
  EXPECT_LE(cache->totalCost(), 400u);
}

}  // namespace
