#pragma once
// Shared pieces of the collection implementations.

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/NSObject.h"

namespace zvt {

// Indentation of a nesting level in the container text forms.
std::string indent(NSUInteger level);
// An element's text form at a nesting level.
std::string elementDescription(const id& object, NSUInteger level);

struct ObjectHash {
  size_t operator()(const id& key) const { return key ? static_cast<size_t>(key->hash()) : 0; }
};
struct ObjectEqual {
  bool operator()(const id& a, const id& b) const { return objectsEqual(a, b); }
};

// Makes a T with room for `trailing` bytes right after it, in one block (the immutable plain
// containers keep their elements there, so that reading them needs no second fetch). The
// reference's control block is made apart.
template <class T, class... Args>
std::shared_ptr<T> makeWithTrailing(size_t trailing, Args&&... args) {
  void* block = ::operator new(sizeof(T) + trailing);
  T* object;
  try {
    object = new (block) T(std::forward<Args>(args)...);
  } catch (...) {
    ::operator delete(block);
    throw;
  }
  return std::shared_ptr<T>(object, [](T* p) {
    p->~T();
    ::operator delete(static_cast<void*>(p));
  });
}

// The first byte after an object made by makeWithTrailing.
template <class U, class T>
U* trailingStorage(const T* object) {
  return reinterpret_cast<U*>(reinterpret_cast<uintptr_t>(object) + sizeof(T));
}

// A hash table of objects by key that remembers insertion order.
class OrderedTable {
 public:
  NSUInteger count() const { return index_.size(); }
  id find(const id& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : entries_[it->second].second;
  }
  // Replaces the object of an equal key in place (keeping its position and its key).
  void set(const id& key, const id& object) {
    auto it = index_.find(key);
    if (it != index_.end()) {
      entries_[it->second].second = object;
      return;
    }
    index_.emplace(key, entries_.size());
    entries_.emplace_back(key, object);
  }
  bool remove(const id& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return false;
    entries_[it->second] = {};
    index_.erase(it);
    ++holes_;
    if (holes_ > 16 && holes_ * 2 > entries_.size()) compact();
    return true;
  }
  void clear() {
    entries_.clear();
    index_.clear();
    holes_ = 0;
  }
  void reserve(size_t n) {
    entries_.reserve(n);
    index_.reserve(n);
  }
  template <class F>
  bool forEach(F&& f) const {  // f(key, object) -> bool stop
    for (const auto& [key, object] : entries_) {
      if (key && f(key, object)) return true;
    }
    return false;
  }
  // Up to `count` entries from the entry index `position`, which moves past them (holes left by
  // removals are skipped).
  size_t fetchUnretained(const NSObject** objects, const NSObject** keys, size_t count, size_t& position) const {
    size_t n = 0;
    while (n < count && position < entries_.size()) {
      const auto& [key, object] = entries_[position++];
      if (!key) continue;
      if (objects) objects[n] = object.get();
      if (keys) keys[n] = key.get();
      ++n;
    }
    return n;
  }
  // The live entries in order (for freezing into an immutable dictionary).
  std::vector<std::pair<id, id>> takeEntries() && {
    std::vector<std::pair<id, id>> live;
    live.reserve(index_.size());
    for (auto& entry : entries_) {
      if (entry.first) live.push_back(std::move(entry));
    }
    clear();
    return live;
  }
  std::vector<id> keys() const {
    std::vector<id> out;
    out.reserve(count());
    for (const auto& entry : entries_) {
      if (entry.first) out.push_back(entry.first);
    }
    return out;
  }

 private:
  void compact() {
    std::vector<std::pair<id, id>> live;
    live.reserve(index_.size());
    for (auto& entry : entries_) {
      if (entry.first) live.push_back(std::move(entry));
    }
    entries_ = std::move(live);
    index_.clear();
    for (size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
    holes_ = 0;
  }

  std::vector<std::pair<id, id>> entries_;
  std::unordered_map<id, size_t, ObjectHash, ObjectEqual> index_;
  size_t holes_ = 0;
};

}  // namespace zvt
