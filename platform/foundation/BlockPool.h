#pragma once
// Fixed-size blocks for small objects that are made and released in great numbers (numbers,
// result sets), and an allocator over them for std::allocate_shared.
//
// Each thread keeps its own free list, so making and releasing is a push or a pop without any
// lock. A block may be released on another thread than the one that made it: it simply joins
// the releasing thread's list. Blocks move between a thread and a shared, mutex-guarded stock
// in whole batches whose length is known, so a move never walks a chain: a thread's list that
// reaches kBatch blocks is set aside as its spare batch (the previous spare going to the stock),
// and an empty list takes the spare back or a batch from the stock. A finishing thread hands
// back everything it holds. The stock is bounded: a batch given back to a full stock goes back
// to the heap, block by block, so idle memory does not stay with the pool for good.
//
// Under AddressSanitizer the allocator goes straight to operator new and delete instead, so
// that use after release and leaks of the objects are still found.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace zvt {

template <size_t BlockSize>
class BlockPool {
  static_assert(BlockSize >= sizeof(void*) && BlockSize % alignof(std::max_align_t) == 0);

 public:
  // Blocks moved at once between a thread's list and the shared stock.
  static constexpr size_t kBatch = 256;
  // Batches the shared stock keeps for reuse; more go back to the heap.
  static constexpr size_t kMaxStockBatches = 8;

  static void* allocate() {
    Local& local = localList();
    if (local.head == nullptr) {
      if (local.spare != nullptr) {
        local.head = local.spare;
        local.count = kBatch;
        local.spare = nullptr;
      } else {
        refill(local);
      }
    }
    Block* block = local.head;
    local.head = block->next;
    --local.count;
    // The next block is likely cold (released long ago); fetching it now keeps the following
    // allocation from waiting on it.
    __builtin_prefetch(local.head);
    return block;
  }

  static void deallocate(void* pointer) {
    Block* block = static_cast<Block*>(pointer);
    Local& local = localList();
    // A thread that only releases blocks must hand them back when it ends too.
    if (!local.flusherArmed) armFlusher(local);
    block->next = local.head;
    local.head = block;
    if (++local.count == kBatch) {
      if (local.spare != nullptr) giveBack(local.spare, kBatch);
      local.spare = local.head;
      local.head = nullptr;
      local.count = 0;
    }
  }

  // Blocks on this thread's free list and its spare batch (for tests).
  static size_t localCount() {
    const Local& local = localList();
    return local.count + (local.spare != nullptr ? kBatch : 0);
  }
  // Batches in the shared stock (for tests).
  static size_t stockBatches() {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.batches.size();
  }

 private:
  struct Block {
    Block* next;
  };

  // A thread's list. Trivially destructible so that it can be used at any time, even while
  // the thread is finishing; the Flusher hands its blocks back when the thread ends.
  struct Local {
    Block* head = nullptr;
    size_t count = 0;          // blocks in the chain at head, below kBatch
    Block* spare = nullptr;    // a chain of exactly kBatch blocks, or none
    bool flusherArmed = false;
  };

  struct Batch {
    Block* first;
    size_t count;
  };

  struct Shared {
    std::mutex mutex;
    std::vector<Batch> batches;  // chains ending in nullptr, at most kMaxStockBatches
  };

  struct Flusher {
    ~Flusher() {
      Local& local = localList();
      if (local.spare != nullptr) giveBack(local.spare, kBatch);
      if (local.head != nullptr) giveBack(local.head, local.count);
      local.spare = nullptr;
      local.head = nullptr;
      local.count = 0;
    }
  };

  static Shared& shared() {
    // Never destroyed: blocks can still be released while static objects are torn down.
    static Shared* instance = new Shared;
    return *instance;
  }

  static Local& localList() {
    static thread_local Local local;
    return local;
  }

  static void armFlusher(Local& local) {
    local.flusherArmed = true;
    static thread_local Flusher flusher;
    (void)flusher;
  }

  // Takes a batch from the stock, or makes a new one when the stock is empty.
  static void refill(Local& local) {
    if (!local.flusherArmed) armFlusher(local);
    {
      Shared& s = shared();
      std::lock_guard<std::mutex> lock(s.mutex);
      if (!s.batches.empty()) {
        const Batch batch = s.batches.back();
        s.batches.pop_back();
        local.head = batch.first;
        local.count = batch.count;
        return;
      }
    }
    // Blocks of their own, so that each can go back to the heap.
    Block* head = nullptr;
    for (size_t i = 0; i < kBatch; ++i) {
      auto* block = static_cast<Block*>(::operator new(BlockSize));
      block->next = head;
      head = block;
    }
    local.head = head;
    local.count = kBatch;
  }

  // Hands a chain of `count` blocks, ending in nullptr, to the stock, or to the heap when the
  // stock is full.
  static void giveBack(Block* first, size_t count) {
    {
      Shared& s = shared();
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.batches.size() < kMaxStockBatches) {
        s.batches.push_back(Batch{first, count});
        return;
      }
    }
    while (first != nullptr) {
      Block* next = first->next;
      ::operator delete(first);
      first = next;
    }
  }
};

#if defined(__SANITIZE_ADDRESS__)
#define ZVT_BLOCK_POOL_BYPASS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZVT_BLOCK_POOL_BYPASS 1
#endif
#endif

// For std::allocate_shared: single objects come from the pool of their size (rounded up to
// 16 bytes); anything else from operator new.
template <class T>
class PoolAllocator {
 public:
  using value_type = T;

  PoolAllocator() = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) {}

  T* allocate(size_t n) {
#if !defined(ZVT_BLOCK_POOL_BYPASS)
    if (n == 1 && alignof(T) <= alignof(std::max_align_t)) return static_cast<T*>(BlockPool<kBlockSize>::allocate());
#endif
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }

  void deallocate(T* pointer, size_t n) {
#if !defined(ZVT_BLOCK_POOL_BYPASS)
    if (n == 1 && alignof(T) <= alignof(std::max_align_t)) {
      BlockPool<kBlockSize>::deallocate(pointer);
      return;
    }
#endif
    // Unsized: clang enables sized deallocation only on request.
    (void)n;
    ::operator delete(pointer);
  }

  template <class U>
  bool operator==(const PoolAllocator<U>&) const {
    return true;
  }

 private:
  static constexpr size_t kBlockSize =
      (sizeof(T) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t) <
              2 * sizeof(void*)
          ? 2 * sizeof(void*)
          : (sizeof(T) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
};

}  // namespace zvt
