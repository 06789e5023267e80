#include "platform/foundation/ObjectArena.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "platform/foundation/NSObject.h"

namespace zvt {
namespace {

// Chunk sizes: powers of two from a page up to kMaxChunk, growing within an arena from its
// size hint. The pages of a chunk's tail that an arena never reaches are never touched.
constexpr size_t kMaxChunk = 256 * 1024;
constexpr size_t kChunkClasses = 7;  // 4 KiB ... 256 KiB
// Idle chunks kept for the next arenas: a bounded amount, the rest goes back to the system.
constexpr size_t kMaxIdleBytes = 4 * 1024 * 1024;

#if defined(__SANITIZE_ADDRESS__)
#define ZVT_ARENA_HEAP_CHUNKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZVT_ARENA_HEAP_CHUNKS 1
#endif
#endif

// The leak checker neither tracks nor scans memory mapped behind its back: an arena alive at exit
// (a tree a singleton still holds) would show every long string it owns as leaked, and a truly
// leaked arena would show nothing of itself. Under the address sanitizer chunks therefore come
// from the heap, so that a chunk is scanned while its arena is reachable and reported when not.
void* systemChunk(size_t size) {
#ifdef ZVT_ARENA_HEAP_CHUNKS
  void* chunk = std::aligned_alloc(ObjectArena::kPageSize, size);
  if (chunk == nullptr) throw std::bad_alloc();
  return chunk;
#else
  void* chunk = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (chunk == MAP_FAILED) throw std::bad_alloc();
  return chunk;
#endif
}

void releaseChunk(void* chunk, [[maybe_unused]] size_t size) {
#ifdef ZVT_ARENA_HEAP_CHUNKS
  std::free(chunk);
#else
  munmap(chunk, size);
#endif
}

size_t chunkClass(size_t size) {
  size_t c = 0;
  while ((ObjectArena::kPageSize << c) < size) ++c;
  return c;
}

// Chunks come straight from the system (page-aligned, and given back whole); released ones
// wait for reuse up to kMaxIdleBytes.
class ChunkSource {
 public:
  void* take(size_t size) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto& idle = idle_[chunkClass(size)];
      if (!idle.empty()) {
        void* chunk = idle.back();
        idle.pop_back();
        idleBytes_ -= size;
        return chunk;
      }
    }
    return systemChunk(size);
  }

  void give(void* chunk, size_t size) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (idleBytes_ + size <= kMaxIdleBytes) {
#ifdef ZVT_ARENA_HEAP_CHUNKS
        // A waiting chunk's old pointers would hide leaks from the checker's scan.
        std::memset(chunk, 0, size);
#endif
        idle_[chunkClass(size)].push_back(chunk);
        idleBytes_ += size;
        return;
      }
    }
    releaseChunk(chunk, size);
  }

  size_t idleBytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idleBytes_;
  }

 private:
  std::mutex mutex_;
  std::array<std::vector<void*>, kChunkClasses> idle_;
  size_t idleBytes_ = 0;
};

ChunkSource& chunkSource() {
  static ChunkSource* instance = new ChunkSource;  // never destroyed, like the registry
  return *instance;
}

// Every live chunk by its start, for ownerOf.
struct Registry {
  std::shared_mutex mutex;
  std::map<uintptr_t, std::pair<uintptr_t, ObjectArena*>> chunks;  // start -> (end, arena)
};

Registry& registry() {
  // Never destroyed: arenas may be released while static objects are torn down.
  static Registry* instance = new Registry;
  return *instance;
}

// The chunk size class that holds `bytes`, within the classes.
size_t chunkSizeFor(size_t bytes) {
  return ObjectArena::kPageSize << std::min(chunkClass(std::max(bytes, size_t{1})), kChunkClasses - 1);
}

}  // namespace

std::shared_ptr<ObjectArena> ObjectArena::make(size_t sizeHint) {
  return std::make_shared<ObjectArena>(Private{}, sizeHint);
}

ObjectArena::ObjectArena(Private, size_t sizeHint) : nextChunkSize_(chunkSizeFor(sizeHint)) {}

ObjectArena::~ObjectArena() {
  for (auto it = destroy_.rbegin(); it != destroy_.rend(); ++it) (*it)->~NSObject();
  for (void* block : largeBlocks_) std::free(block);
  if (!chunks_.empty()) {
    Registry& r = registry();
    std::unique_lock<std::shared_mutex> lock(r.mutex);
    for (const auto& [chunk, size] : chunks_) r.chunks.erase(reinterpret_cast<uintptr_t>(chunk));
  }
  for (const auto& [chunk, size] : chunks_) chunkSource().give(chunk, size);
  // keptAlive_ goes last: the objects above may have pointed into those owners.
}

void ObjectArena::keepAlive(std::shared_ptr<const void> owner) {
  if (!owner) return;
  // Trees refer to a few others at most (values shared through a decoder's cache).
  for (const auto& kept : keptAlive_) {
    if (!kept.owner_before(owner) && !owner.owner_before(kept)) return;
  }
  keptAlive_.push_back(std::move(owner));
}

void ObjectArena::newChunk(size_t minimum) {
  const size_t size = std::max(nextChunkSize_, chunkSizeFor(minimum));
  void* chunk = chunkSource().take(size);
  try {
    chunks_.emplace_back(chunk, size);
  } catch (...) {
    chunkSource().give(chunk, size);
    throw;
  }
  reserved_ += size;
  nextChunkSize_ = std::min(nextChunkSize_ * 2, kMaxChunk);
  // Each page gets its header when the arena reaches it: pages it never reaches stay untouched.
  char* base = static_cast<char*>(chunk);
  *reinterpret_cast<ObjectArena**>(base) = this;
  next_ = base + sizeof(void*);
  pageEnd_ = base + kPageSize;
  chunkEnd_ = base + size;
  Registry& r = registry();
  std::unique_lock<std::shared_mutex> lock(r.mutex);
  r.chunks.emplace(reinterpret_cast<uintptr_t>(base),
                   std::make_pair(reinterpret_cast<uintptr_t>(chunkEnd_), this));
}

void* ObjectArena::allocateObjectSlow(size_t size) {
  if (size > kMaxInlineBlock) throw std::bad_alloc();
  if (pageEnd_ == chunkEnd_) {
    newChunk(kPageSize);
  } else {
    *reinterpret_cast<ObjectArena**>(pageEnd_) = this;
    next_ = pageEnd_ + sizeof(void*);
    pageEnd_ += kPageSize;
  }
  void* p = next_;
  next_ += size;
  return p;
}

void* ObjectArena::allocateLargeBlock(size_t bytes) {
  void* block = std::malloc(bytes);
  if (block == nullptr) throw std::bad_alloc();
  try {
    largeBlocks_.push_back(block);
  } catch (...) {
    std::free(block);
    throw;
  }
  reserved_ += bytes;
  return block;
}

std::shared_ptr<ObjectArena> ObjectArena::ownerOf(const void* address) {
  const auto a = reinterpret_cast<uintptr_t>(address);
  Registry& r = registry();
  std::shared_lock<std::shared_mutex> lock(r.mutex);
  auto it = r.chunks.upper_bound(a);
  if (it == r.chunks.begin()) return nullptr;
  --it;
  if (a >= it->second.first) return nullptr;
  // A reference to one of the arena's objects keeps it alive, so it is not being destroyed.
  return it->second.second->weak_from_this().lock();
}

size_t ObjectArena::idleChunkBytes() { return chunkSource().idleBytes(); }

size_t ObjectArena::liveChunkCount() {
  Registry& r = registry();
  std::shared_lock<std::shared_mutex> lock(r.mutex);
  return r.chunks.size();
}

}  // namespace zvt
