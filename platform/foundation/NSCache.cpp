#include "platform/foundation/NSCache.h"

#include "platform/foundation/NSException.h"

std::shared_ptr<NSString> NSCache::name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return name_;
}

void NSCache::setName(const std::shared_ptr<NSString>& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = name ? name->copy() : nullptr;
}

id NSCache::objectForKey(const id& key) const {
  if (!key) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = index_.find(key);
  if (found == index_.end()) return nullptr;
  recency_.splice(recency_.begin(), recency_, found->second);
  return found->second->object;
}

void NSCache::setObject(const id& object, const id& key) { setObject(object, key, 0); }

void NSCache::setObject(const id& object, const id& key, NSUInteger cost) {
  if (!object) zvt::raise(NSInvalidArgumentException, "-[NSCache setObject:forKey:cost:]: attempt to insert nil value");
  if (!key) zvt::raise(NSInvalidArgumentException, "-[NSCache setObject:forKey:cost:]: attempt to insert nil key");
  Recency gone;  // objects given up go after the lock is left
  id released;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = index_.find(key);
  if (totalCostLimit_ > 0 && cost > totalCostLimit_) {
    // Could never stay: it replaces what the key held and pushes nothing else out.
    if (found != index_.end()) removeLocked(found->second, gone);
    return;
  }
  if (found != index_.end()) {
    Entry& entry = *found->second;
    released = std::move(entry.object);
    entry.object = object;
    totalCost_ = totalCost_ - entry.cost + cost;
    entry.cost = cost;
    recency_.splice(recency_.begin(), recency_, found->second);
  } else {
    recency_.push_front(Entry{key, object, cost});
    index_.emplace(key, recency_.begin());
    totalCost_ += cost;
  }
  evictLocked(gone);
}

void NSCache::removeObjectForKey(const id& key) {
  if (!key) return;
  Recency gone;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = index_.find(key);
  if (found != index_.end()) removeLocked(found->second, gone);
}

void NSCache::removeAllObjects() {
  Recency gone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    index_.clear();
    gone.swap(recency_);
    totalCost_ = 0;
  }
}

NSUInteger NSCache::totalCostLimit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return totalCostLimit_;
}

void NSCache::setTotalCostLimit(NSUInteger limit) {
  Recency gone;
  std::lock_guard<std::mutex> lock(mutex_);
  totalCostLimit_ = limit;
  evictLocked(gone);
}

NSUInteger NSCache::countLimit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return countLimit_;
}

void NSCache::setCountLimit(NSUInteger limit) {
  Recency gone;
  std::lock_guard<std::mutex> lock(mutex_);
  countLimit_ = limit;
  evictLocked(gone);
}

NSUInteger NSCache::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recency_.size();
}

NSUInteger NSCache::totalCost() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return totalCost_;
}

void NSCache::evictLocked(Recency& gone) {
  while (!recency_.empty() && ((countLimit_ > 0 && recency_.size() > countLimit_) ||
                               (totalCostLimit_ > 0 && totalCost_ > totalCostLimit_))) {
    removeLocked(std::prev(recency_.end()), gone);
  }
}

void NSCache::removeLocked(Recency::iterator at, Recency& gone) {
  index_.erase(at->key);
  totalCost_ -= at->cost;
  gone.splice(gone.end(), recency_, at);
}
