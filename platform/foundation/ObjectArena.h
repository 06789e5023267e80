#pragma once
// Objects made together and released together. A decoded JSON document's whole tree lives in one
// arena: making an object costs a pointer bump, and releasing the tree frees a few chunks instead
// of walking every object, so the memory goes back when the tree goes.
//
// Ownership is shared: a strong reference to an object of the arena is a std::shared_ptr that
// shares the arena's ownership (std::shared_ptr's aliasing constructor, see adopt()), so the whole
// arena lives while any of its objects is referenced. Objects of an arena refer to each other by
// plain pointers (a strong reference from the inside would keep the arena alive for ever); an
// arena whose objects point into another keeps that one alive (keepAlive).
//
// Objects are carved from chunks of whole pages, which come straight from the system; released
// chunks wait for the next arenas up to a bounded amount (kMaxIdleBytes in the implementation),
// the rest goes back to the system at once. Each page begins with the address of its arena,
// so an object known to live in an arena finds it from its own address (arenaOfObject), and no
// object straddles two pages. Blocks of more than kMaxInlineBlock bytes (the cells of long
// arrays) are allocated on their own. Destructors are not run, except for the objects registered
// with destroyLater (those that own memory elsewhere, like long strings).
//
// NSObject::self() of an arena object answers a reference that shares the arena's ownership
// (ownerOf finds the arena from any address through a registry of the chunks).
//
// An arena is filled by one thread; once its objects are handed out they are only read.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

class NSObject;

namespace zvt {

class ObjectArena : public std::enable_shared_from_this<ObjectArena> {
 public:
  static constexpr size_t kPageSize = 4096;
  // Largest object (or block carved from the pages): a page less its header.
  static constexpr size_t kMaxInlineBlock = kPageSize - sizeof(void*);

  // `sizeHint`: about how many bytes the objects will take; it sizes the first chunk.
  static std::shared_ptr<ObjectArena> make(size_t sizeHint = 0);
  ~ObjectArena();
  ObjectArena(const ObjectArena&) = delete;
  ObjectArena& operator=(const ObjectArena&) = delete;

  // Storage for an object of `bytes` (at most kMaxInlineBlock), 8-byte aligned, within one page.
  void* allocateObject(size_t bytes) {
    const size_t size = (bytes + 7) & ~size_t{7};
    if (size <= static_cast<size_t>(pageEnd_ - next_)) {
      void* p = next_;
      next_ += size;
      return p;
    }
    return allocateObjectSlow(size);
  }
  // Storage for a block that holds no object (cells of a container), 8-byte aligned; freed with
  // the arena. Small blocks come from the pages, large ones from the heap.
  void* allocateBlock(size_t bytes) {
    return bytes <= kMaxInlineBlock ? allocateObject(bytes) : allocateLargeBlock(bytes);
  }

  template <class T, class... Args>
  T* make(Args&&... args) {
    static_assert(sizeof(T) <= kMaxInlineBlock && alignof(T) <= 8);
    return new (allocateObject(sizeof(T))) T(std::forward<Args>(args)...);
  }

  // `object`, of this arena, is destroyed with the arena (the last registered first).
  void destroyLater(NSObject* object) { destroy_.push_back(object); }
  // Keeps another owner alive as long as this arena: objects of this arena point into it.
  void keepAlive(std::shared_ptr<const void> owner);

  // A strong reference to an object of this arena.
  template <class T>
  std::shared_ptr<T> adopt(T* object) {
    return std::shared_ptr<T>(shared_from_this(), object);
  }

  // The arena of an object made by allocateObject: the first word of the object's page. Only
  // for objects known to live in an arena.
  static ObjectArena* arenaOfObject(const void* object) {
    return *reinterpret_cast<ObjectArena* const*>(reinterpret_cast<uintptr_t>(object) & ~(uintptr_t{kPageSize} - 1));
  }
  // A strong reference to the arena whose chunks hold `address`, or nullptr when none does.
  static std::shared_ptr<ObjectArena> ownerOf(const void* address);

  // Bytes of the chunks and large blocks (for tests and diagnostics).
  size_t bytesReserved() const { return reserved_; }
  // Chunks of every arena alive in the process, and bytes of released chunks kept for reuse
  // (for tests).
  static size_t liveChunkCount();
  static size_t idleChunkBytes();

  struct Private {};
  ObjectArena(Private, size_t sizeHint);

 private:
  void* allocateObjectSlow(size_t size);
  void* allocateLargeBlock(size_t bytes);
  void newChunk(size_t minimum);

  char* next_ = nullptr;     // the next free byte of the current page
  char* pageEnd_ = nullptr;  // the end of the current page
  char* chunkEnd_ = nullptr; // the end of the current chunk
  size_t nextChunkSize_;
  size_t reserved_ = 0;
  std::vector<std::pair<void*, size_t>> chunks_;
  std::vector<void*> largeBlocks_;
  std::vector<NSObject*> destroy_;
  std::vector<std::shared_ptr<const void>> keptAlive_;
};

}  // namespace zvt
