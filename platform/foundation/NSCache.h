#pragma once
// NSCache: a thread-safe store of objects by key that gives objects up on its own. Unlike a
// dictionary it does not copy its keys; it evicts the least recently used objects (a lookup or
// a store counts as use) as soon as a store leaves it above its count limit or its total cost
// limit (0 means no limit). An object whose cost alone exceeds the cost limit is not kept and
// pushes nothing out. Keys compare with isEqual/hash.

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSCache : public NSObject {
 public:
  NSCache() = default;
  static std::shared_ptr<NSCache> make() { return std::make_shared<NSCache>(); }

  std::shared_ptr<NSString> name() const;
  void setName(const std::shared_ptr<NSString>& name);

  // nil for a nil key or a key without an object.
  id objectForKey(const id& key) const;
  // A nil object or key raises NSInvalidArgumentException.
  void setObject(const id& object, const id& key);
  void setObject(const id& object, const id& key, NSUInteger cost);
  void removeObjectForKey(const id& key);
  virtual void removeAllObjects();

  NSUInteger totalCostLimit() const;
  void setTotalCostLimit(NSUInteger limit);
  NSUInteger countLimit() const;
  void setCountLimit(NSUInteger limit);

  // Ours, for diagnostics: the objects held and the sum of their costs.
  NSUInteger count() const;
  NSUInteger totalCost() const;

 private:
  struct Entry {
    id key;
    id object;
    NSUInteger cost = 0;
  };
  struct KeyHash {
    size_t operator()(const id& key) const { return static_cast<size_t>(key->hash()); }
  };
  struct KeyEqual {
    bool operator()(const id& a, const id& b) const { return a == b || a->isEqual(b); }
  };
  using Recency = std::list<Entry>;  // most recently used first

  // Entries taken out are moved to `gone`, which the caller releases after leaving the lock.
  void evictLocked(Recency& gone);
  void removeLocked(Recency::iterator at, Recency& gone);

  mutable std::mutex mutex_;
  mutable Recency recency_;
  std::unordered_map<id, Recency::iterator, KeyHash, KeyEqual> index_;
  NSUInteger totalCost_ = 0;
  NSUInteger totalCostLimit_ = 0;
  NSUInteger countLimit_ = 0;
  std::shared_ptr<NSString> name_;
};
