// Notifications: a name, an object and user info, delivered by a notification center to the
// observers whose name and object filters match.
//
// Delivery is synchronous on the posting thread, in the order the observers were added; an
// observer added with an operation queue gets an operation on that queue instead (run inline
// when the poster already runs on that queue; the post does not wait for it). Observers may be
// added and removed at any time, also from inside a delivery: an observer removed during a
// post is not called afterwards.
//
// An observer object is held weakly: when it goes away its observations end with it, so a
// missing removeObserver cannot call into a destroyed object. The object filter is held weakly
// too and compared by identity.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSOperationQueue;

using NSNotificationName = std::shared_ptr<NSString>;

class NSNotification : public NSObject {
 public:
  NSNotification(NSNotificationName name, id object, std::shared_ptr<NSDictionary> userInfo)
      : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}

  static std::shared_ptr<NSNotification> notificationWithName(const NSNotificationName& name, const id& object,
                                                              const std::shared_ptr<NSDictionary>& userInfo = nullptr);

  const NSNotificationName& name() const { return name_; }
  const id& object() const { return object_; }
  const std::shared_ptr<NSDictionary>& userInfo() const { return userInfo_; }

  // "NSConcreteNotification 0x...{name = ...; object = ...; userInfo = ...}"
  std::shared_ptr<NSString> description() const override;

 private:
  NSNotificationName name_;
  id object_;
  std::shared_ptr<NSDictionary> userInfo_;
};

class NSNotificationCenter : public NSObject {
 public:
  using Callback = std::function<void(const std::shared_ptr<NSNotification>& notification)>;

  NSNotificationCenter() = default;
  ~NSNotificationCenter() override;

  static const std::shared_ptr<NSNotificationCenter>& defaultCenter();
  static std::shared_ptr<NSNotificationCenter> make() { return std::make_shared<NSNotificationCenter>(); }

  // addObserver:selector:name:object: with the callback in place of the selector. A nil name
  // or object matches any. The observer is held weakly and names the observation for removal.
  void addObserver(const id& observer, Callback callback, const NSNotificationName& name, const id& object);
  // addObserverForName:object:queue:usingBlock: returns the token that removeObserver takes.
  // The center holds the block (and so what it captures) until the token is removed.
  id addObserverForName(const NSNotificationName& name, const id& object,
                        const std::shared_ptr<NSOperationQueue>& queue, Callback block);

  // Every observation of `observer` (or of that token).
  void removeObserver(const id& observer);
  // The observations of `observer` whose name is `name` (any name when nil) and whose object is
  // `object` (any object when nil).
  void removeObserver(const id& observer, const NSNotificationName& name, const id& object);

  void postNotification(const std::shared_ptr<NSNotification>& notification);
  void postNotificationName(const NSNotificationName& name, const id& object);
  void postNotificationName(const NSNotificationName& name, const id& object,
                            const std::shared_ptr<NSDictionary>& userInfo);

  // The number of live observations (for tests and leak checks).
  size_t observationCount() const;

 private:
  struct Observation;
  std::vector<std::shared_ptr<Observation>> matching(const NSNotificationName& name, const NSObject* object);
  void deliver(const std::vector<std::shared_ptr<Observation>>& hits, const std::shared_ptr<NSNotification>& notification);
  void prune();

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Observation>> observations_;
  // observations_.size(), read without the lock: a post to a center nobody observes (the usual
  // case for the networking layer's notifications) ends there.
  std::atomic<size_t> observationsSize_{0};
};

namespace zvt {

// Ends an observation when it goes out of scope: for observers that must go away with their
// owner. Holds the center weakly; movable, not copyable.
class ObserverToken {
 public:
  ObserverToken() = default;
  ObserverToken(const std::shared_ptr<NSNotificationCenter>& center, id token)
      : center_(center), token_(std::move(token)) {}
  ~ObserverToken() { reset(); }
  ObserverToken(ObserverToken&& other) noexcept = default;
  ObserverToken& operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
      reset();
      center_ = std::move(other.center_);
      token_ = std::move(other.token_);
    }
    return *this;
  }
  ObserverToken(const ObserverToken&) = delete;
  ObserverToken& operator=(const ObserverToken&) = delete;

  // Removes the observation now.
  void reset() {
    if (auto center = center_.lock(); center && token_) center->removeObserver(token_);
    center_.reset();
    token_.reset();
  }
  explicit operator bool() const { return token_ != nullptr; }

 private:
  std::weak_ptr<NSNotificationCenter> center_;
  id token_;
};

// addObserverForName on `center` with its token wrapped for scope-bound removal.
ObserverToken observe(const std::shared_ptr<NSNotificationCenter>& center, const NSNotificationName& name,
                      const id& object, const std::shared_ptr<NSOperationQueue>& queue,
                      NSNotificationCenter::Callback block);

}  // namespace zvt
