// Object arenas: objects share the arena's ownership, find their arena from their address, are
// never split across pages, and everything (chunks, large blocks, registered destructors, arenas
// kept alive) goes when the last reference does.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/ObjectArena.h"

namespace {

using zvt::ObjectArena;

// Counts its destructions.
class Tracked : public NSObject {
 public:
  explicit Tracked(int* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

TEST(RuntimeObjectArena, ObjectsStayWithinAPageAndKnowTheirArena) {
  auto arena = ObjectArena::make();
  std::set<uintptr_t> pages;
  for (size_t size : {size_t{8}, size_t{24}, size_t{100}, size_t{1000}, size_t{4000}, ObjectArena::kMaxInlineBlock,
                      size_t{16}, size_t{3000}, size_t{40}}) {
    for (int i = 0; i < 20; ++i) {
      auto* p = static_cast<char*>(arena->allocateObject(size));
      const auto a = reinterpret_cast<uintptr_t>(p);
      EXPECT_EQ(a % 8, 0u);
      EXPECT_EQ(a / ObjectArena::kPageSize, (a + size - 1) / ObjectArena::kPageSize) << size;
      EXPECT_EQ(ObjectArena::arenaOfObject(p), arena.get());
      std::memset(p, 0xA5, size);  // the page's header is not in the way
      pages.insert(a / ObjectArena::kPageSize);
    }
  }
  for (uintptr_t page : pages) {
    EXPECT_EQ(ObjectArena::arenaOfObject(reinterpret_cast<void*>(page * ObjectArena::kPageSize + 8)), arena.get());
  }
  EXPECT_THROW(arena->allocateObject(ObjectArena::kMaxInlineBlock + 1), std::bad_alloc);
}

TEST(RuntimeObjectArena, ReferencesShareTheArenaAndReleaseItTogether) {
  const size_t chunksBefore = ObjectArena::liveChunkCount();
  int destroyed = 0;
  std::weak_ptr<ObjectArena> watch;
  id survivor;
  {
    auto arena = ObjectArena::make(100);
    watch = arena;
    auto* first = arena->make<Tracked>(&destroyed);
    arena->destroyLater(first);
    auto* second = arena->make<Tracked>(&destroyed);
    arena->destroyLater(second);
    arena->make<Tracked>(&destroyed);  // not registered: its destructor never runs
    auto* large = static_cast<char*>(arena->allocateBlock(100000));
    std::memset(large, 1, 100000);
    EXPECT_GE(arena->bytesReserved(), 100000u + ObjectArena::kPageSize);
    EXPECT_GT(ObjectArena::liveChunkCount(), chunksBefore);

    survivor = arena->adopt<NSObject>(second);
    // self() of an arena object shares the arena's ownership too.
    id again = second->self();
    EXPECT_EQ(again.get(), second);
    EXPECT_FALSE(again.owner_before(survivor) || survivor.owner_before(again));
    EXPECT_EQ(ObjectArena::ownerOf(first).get(), arena.get());
    EXPECT_EQ(ObjectArena::ownerOf(&destroyed), nullptr);
  }
  // One object keeps the whole arena.
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(destroyed, 0);
  survivor.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(ObjectArena::liveChunkCount(), chunksBefore);
}

TEST(RuntimeObjectArena, AnArenaKeepsTheOnesItPointsIntoAlive) {
  auto older = ObjectArena::make();
  std::weak_ptr<ObjectArena> watchOlder = older;
  auto newer = ObjectArena::make();
  newer->keepAlive(older);
  newer->keepAlive(older);  // once is enough
  newer->keepAlive(nullptr);
  older.reset();
  EXPECT_FALSE(watchOlder.expired());
  newer.reset();
  EXPECT_TRUE(watchOlder.expired());
}

TEST(RuntimeObjectArena, ManyChunksAndObjectsFromBigDocuments) {
  const size_t chunksBefore = ObjectArena::liveChunkCount();
  auto arena = ObjectArena::make(1 << 20);
  std::vector<NSObject*> made;
  for (int i = 0; i < 100000; ++i) made.push_back(arena->make<NSObject>());
  std::set<NSObject*> distinct(made.begin(), made.end());
  EXPECT_EQ(distinct.size(), made.size());
  for (size_t i = 0; i < made.size(); i += 997) EXPECT_EQ(ObjectArena::arenaOfObject(made[i]), arena.get());
  // Little is wasted: page headers, the tails of pages and of the last chunk.
  EXPECT_LT(arena->bytesReserved(), made.size() * sizeof(NSObject) * 105 / 100 + (256 << 10));
  arena.reset();
  EXPECT_EQ(ObjectArena::liveChunkCount(), chunksBefore);
}

TEST(RuntimeObjectArena, IdleChunksAreBoundedAndTheRestGoesBackToTheSystem) {
  auto resident = [] {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    EXPECT_EQ(std::fscanf(f, "%ld %ld", &pages, &resident), 2);
    std::fclose(f);
    return static_cast<size_t>(resident) * 4096;
  };
  // 32 MiB of objects, released: at most the bound stays, for the next arena.
  auto arena = ObjectArena::make(1 << 20);
  for (size_t i = 0; i < (32u << 20) / 4000; ++i) std::memset(arena->allocateObject(4000), 1, 4000);
  const size_t held = resident();
  arena.reset();
  EXPECT_LE(ObjectArena::idleChunkBytes(), 4u << 20);
#if !defined(__SANITIZE_ADDRESS__)
  // (Under the address sanitizer chunks come from its heap, which keeps freed memory in
  // quarantine: the resident size does not show the release there.)
  EXPECT_LT(resident() + (24u << 20), held);
#else
  (void)held;
#endif
  // The idle chunks serve the next arena.
  const size_t idle = ObjectArena::idleChunkBytes();
  auto next = ObjectArena::make(1 << 20);
  next->allocateObject(100);
  EXPECT_LT(ObjectArena::idleChunkBytes(), idle);
}

TEST(RuntimeObjectArena, ArenasOfManyThreadsAndObjectsReadEverywhere) {
  // Each thread makes arenas, hands an object to the next thread through a shared slot, and
  // releases what it got: chunks, the registry and the idle stock are shared by all.
  constexpr int kThreads = 4, kRounds = 200;
  std::mutex mutex;
  std::vector<id> handedOver;
  std::atomic<int> wrongOwners{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        auto arena = ObjectArena::make(round * 512);
        NSObject* last = nullptr;
        for (int i = 0; i < 50 + round; ++i) last = arena->make<NSObject>();
        id object = arena->adopt(last);
        if (last->self().get() != last || ObjectArena::ownerOf(last) != arena) ++wrongOwners;
        std::lock_guard<std::mutex> lock(mutex);
        handedOver.push_back(std::move(object));
        if (handedOver.size() > 8) handedOver.erase(handedOver.begin());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrongOwners.load(), 0);
  handedOver.clear();
}

}  // namespace
