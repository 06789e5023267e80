// The block pool behind numbers and result sets: blocks are distinct while held, come back for
// reuse, travel between threads, finishing threads hand their blocks back, and idle batches beyond
// the stock's bound go back to the heap.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/foundation/BlockPool.h"
#include "platform/foundation/Foundation.h"

namespace {

using Pool = zvt::BlockPool<48>;

TEST(RuntimeBlockPool, HeldBlocksAreDistinctAndWritable) {
  std::vector<void*> held;
  std::set<void*> seen;
  for (size_t i = 0; i < Pool::kBatch * 3 + 7; ++i) {
    void* p = Pool::allocate();
    ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
    std::memset(p, static_cast<int>(i & 0xFF), 48);
    EXPECT_TRUE(seen.insert(p).second);
    held.push_back(p);
  }
  for (size_t i = 0; i < held.size(); ++i) {
    const auto* bytes = static_cast<const unsigned char*>(held[i]);
    for (size_t k = 0; k < 48; ++k) ASSERT_EQ(bytes[k], i & 0xFF);
  }
  for (void* p : held) Pool::deallocate(p);
}

TEST(RuntimeBlockPool, ReleasedBlockIsReusedFirst) {
  void* a = Pool::allocate();
  Pool::deallocate(a);
  void* b = Pool::allocate();
  EXPECT_EQ(a, b);
  Pool::deallocate(b);
}

TEST(RuntimeBlockPool, LongLocalListsAreHandedBackInBatches) {
  std::vector<void*> held;
  for (size_t i = 0; i < Pool::kBatch * 5; ++i) held.push_back(Pool::allocate());
  for (void* p : held) Pool::deallocate(p);
  EXPECT_LT(Pool::localCount(), 2 * Pool::kBatch);
}

TEST(RuntimeBlockPool, IdleBatchesBeyondTheBoundGoBackToTheHeap) {
  // A burst far larger than the stock keeps: afterwards the pool holds a bounded amount.
  std::vector<void*> held;
  for (size_t i = 0; i < Pool::kBatch * (Pool::kMaxStockBatches + 20); ++i) held.push_back(Pool::allocate());
  for (void* p : held) Pool::deallocate(p);
  EXPECT_LE(Pool::stockBatches(), Pool::kMaxStockBatches);
  EXPECT_LT(Pool::localCount(), 2 * Pool::kBatch);
  // The pool still serves.
  void* p = Pool::allocate();
  EXPECT_NE(p, nullptr);
  Pool::deallocate(p);
}

TEST(RuntimeBlockPool, BlocksMadeOnOneThreadAreReleasedOnAnother) {
  constexpr int kRounds = 20;
  constexpr size_t kPerRound = 3000;
  std::mutex mutex;
  std::vector<void*> handedOver;
  std::atomic<bool> done{false};
  std::thread consumer([&] {
    for (;;) {
      std::vector<void*> batch;
      {
        std::lock_guard<std::mutex> lock(mutex);
        batch.swap(handedOver);
      }
      for (void* p : batch) {
        // The producer's pattern is still intact: nothing else used the block meanwhile.
        auto* word = static_cast<uint64_t*>(p);
        EXPECT_EQ(word[2], reinterpret_cast<uintptr_t>(p) ^ 0x5A5A5A5Au);
        Pool::deallocate(p);
      }
      if (batch.empty() && done.load()) break;
      if (batch.empty()) std::this_thread::yield();
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    std::vector<void*> made;
    for (size_t i = 0; i < kPerRound; ++i) {
      void* p = Pool::allocate();
      static_cast<uint64_t*>(p)[2] = reinterpret_cast<uintptr_t>(p) ^ 0x5A5A5A5Au;
      made.push_back(p);
    }
    std::lock_guard<std::mutex> lock(mutex);
    handedOver.insert(handedOver.end(), made.begin(), made.end());
  }
  done.store(true);
  consumer.join();
}

TEST(RuntimeBlockPool, ManyThreadsMakeAndReleaseConcurrently) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures, t] {
      std::vector<void*> held;
      for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 600; ++i) {
          void* p = Pool::allocate();
          static_cast<uint64_t*>(p)[0] = static_cast<uint64_t>(t);
          static_cast<uint64_t*>(p)[3] = reinterpret_cast<uintptr_t>(p);
          held.push_back(p);
        }
        for (void* p : held) {
          if (static_cast<uint64_t*>(p)[0] != static_cast<uint64_t>(t) ||
              static_cast<uint64_t*>(p)[3] != reinterpret_cast<uintptr_t>(p)) {
            ++failures;
          }
          Pool::deallocate(p);
        }
        held.clear();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(RuntimeBlockPool, NumbersSharedAcrossThreadsSurviveTheirMakersThread) {
  std::vector<std::shared_ptr<NSNumber>> numbers;
  std::thread maker([&numbers] {
    for (int i = 0; i < 5000; ++i) numbers.push_back(NSNumber::numberWithDouble(i * 0.25));
  });
  maker.join();  // the maker's thread has finished and handed its free blocks back
  std::vector<std::shared_ptr<NSNumber>> more;
  for (int i = 0; i < 5000; ++i) more.push_back(NSNumber::numberWithLongLong(-i));
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(numbers[static_cast<size_t>(i)]->doubleValue(), i * 0.25);
    ASSERT_EQ(more[static_cast<size_t>(i)]->longLongValue(), -i);
  }
  numbers.clear();  // released on this thread
  more.clear();
}

}  // namespace
