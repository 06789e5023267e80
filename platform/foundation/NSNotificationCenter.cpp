#include "platform/foundation/NSNotificationCenter.h"

#include <algorithm>
#include <atomic>

#include "platform/foundation/NSOperation.h"

namespace {

// What addObserverForName hands out: the observer identity of a block observation.
class NotificationObserverToken : public NSObject {};

}  // namespace

struct NSNotificationCenter::Observation {
  // The observer: held weakly for addObserver, strongly (the token) for addObserverForName.
  std::weak_ptr<NSObject> observer;
  id token;
  const NSObject* observerKey = nullptr;
  NSNotificationName name;  // nil: any
  std::weak_ptr<NSObject> object;
  const NSObject* objectKey = nullptr;  // nil: any
  std::shared_ptr<NSOperationQueue> queue;
  Callback callback;
  std::atomic<bool> removed{false};

  bool observerGone() const { return !token && observer.expired(); }

  bool matches(const NSNotificationName& noteName, const NSObject* noteObject) const {
    if (removed) return false;
    if (name && !(noteName && name->isEqualToString(noteName))) return false;
    if (objectKey && (noteObject != objectKey || object.expired())) return false;
    return true;
  }
};

std::shared_ptr<NSNotification> NSNotification::notificationWithName(const NSNotificationName& name,
                                                                     const id& object,
                                                                     const std::shared_ptr<NSDictionary>& userInfo) {
  return std::make_shared<NSNotification>(name, object, userInfo);
}

std::shared_ptr<NSString> NSNotification::description() const {
  return NSString::stringWithFormat("NSConcreteNotification %p {name = %@; object = %@; userInfo = %@}",
                                    static_cast<const void*>(this), name_, object_, userInfo_);
}

NSNotificationCenter::~NSNotificationCenter() = default;

const std::shared_ptr<NSNotificationCenter>& NSNotificationCenter::defaultCenter() {
  static const std::shared_ptr<NSNotificationCenter>* center =
      new std::shared_ptr<NSNotificationCenter>(std::make_shared<NSNotificationCenter>());
  return *center;
}

void NSNotificationCenter::addObserver(const id& observer, Callback callback, const NSNotificationName& name,
                                       const id& object) {
  if (!observer || !callback) return;
  auto o = std::make_shared<Observation>();
  o->observer = observer;
  o->observerKey = observer.get();
  o->name = name;
  o->object = object;
  o->objectKey = object.get();
  o->callback = std::move(callback);
  std::lock_guard<std::mutex> lock(mutex_);
  observations_.push_back(std::move(o));
  observationsSize_ = observations_.size();
}

id NSNotificationCenter::addObserverForName(const NSNotificationName& name, const id& object,
                                            const std::shared_ptr<NSOperationQueue>& queue, Callback block) {
  if (!block) return nullptr;
  auto token = std::make_shared<NotificationObserverToken>();
  auto o = std::make_shared<Observation>();
  o->token = token;
  o->observer = token;
  o->observerKey = token.get();
  o->name = name;
  o->object = object;
  o->objectKey = object.get();
  o->queue = queue;
  o->callback = std::move(block);
  std::lock_guard<std::mutex> lock(mutex_);
  observations_.push_back(std::move(o));
  observationsSize_ = observations_.size();
  return token;
}

void NSNotificationCenter::removeObserver(const id& observer) { removeObserver(observer, nullptr, nullptr); }

void NSNotificationCenter::removeObserver(const id& observer, const NSNotificationName& name, const id& object) {
  if (!observer) return;
  std::vector<std::shared_ptr<Observation>> removed;  // callbacks released outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto keep = std::stable_partition(observations_.begin(), observations_.end(), [&](const auto& o) {
    bool hit = o->observerKey == observer.get() && (!name || (o->name && o->name->isEqualToString(name))) &&
               (!object || o->objectKey == object.get());
    return !hit;
  });
  for (auto it = keep; it != observations_.end(); ++it) {
    (*it)->removed = true;
    removed.push_back(std::move(*it));
  }
  observations_.erase(keep, observations_.end());
  observationsSize_ = observations_.size();
}

void NSNotificationCenter::prune() {
  observations_.erase(std::remove_if(observations_.begin(), observations_.end(),
                                     [](const auto& o) {
                                       if (!o->observerGone()) return false;
                                       o->removed = true;
                                       return true;
                                     }),
                      observations_.end());
  observationsSize_ = observations_.size();
}

std::vector<std::shared_ptr<NSNotificationCenter::Observation>> NSNotificationCenter::matching(
    const NSNotificationName& name, const NSObject* object) {
  std::vector<std::shared_ptr<Observation>> hits;
  if (observationsSize_.load(std::memory_order_acquire) == 0) return hits;  // nobody observes: no lock taken
  std::vector<std::shared_ptr<Observation>> pruned;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& o : observations_) {
    if (o->observerGone()) {
      o->removed = true;
      pruned.push_back(o);
    } else if (o->matches(name, object)) {
      hits.push_back(o);
    }
  }
  if (!pruned.empty()) prune();
  return hits;
}

void NSNotificationCenter::postNotification(const std::shared_ptr<NSNotification>& notification) {
  if (!notification) return;
  deliver(matching(notification->name(), notification->object().get()), notification);
}

void NSNotificationCenter::deliver(const std::vector<std::shared_ptr<Observation>>& hits,
                                   const std::shared_ptr<NSNotification>& notification) {
  for (const auto& o : hits) {
    if (o->removed) continue;  // removed by an earlier observer of this very post
    id observer = o->observer.lock();
    if (!observer) continue;
    if (o->queue && NSOperationQueue::currentQueue() != o->queue) {
      o->queue->addOperationWithBlock([o, notification] {
        if (!o->removed) o->callback(notification);
      });
      continue;
    }
    o->callback(notification);
  }
}

// The notification object is made only when some observation takes it.
void NSNotificationCenter::postNotificationName(const NSNotificationName& name, const id& object) {
  auto hits = matching(name, object.get());
  if (!hits.empty()) deliver(hits, NSNotification::notificationWithName(name, object));
}

void NSNotificationCenter::postNotificationName(const NSNotificationName& name, const id& object,
                                                const std::shared_ptr<NSDictionary>& userInfo) {
  auto hits = matching(name, object.get());
  if (!hits.empty()) deliver(hits, NSNotification::notificationWithName(name, object, userInfo));
}

size_t NSNotificationCenter::observationCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const auto& o : observations_)
    if (!o->observerGone()) ++n;
  return n;
}

namespace zvt {

ObserverToken observe(const std::shared_ptr<NSNotificationCenter>& center, const NSNotificationName& name,
                      const id& object, const std::shared_ptr<NSOperationQueue>& queue,
                      NSNotificationCenter::Callback block) {
  if (!center) return {};
  return ObserverToken(center, center->addObserverForName(name, object, queue, std::move(block)));
}

}  // namespace zvt
