#include "platform/foundation/NSKeyValueObserving.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/Format.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

// How it works. Every observed object (and every object on the way of an observed key path)
// has an entry in a side table, found by its address: the triggers (a key, and what to tell
// when a setter announces that key) and the registrations made on it. An entry keeps a weak
// reference to its object, which keeps the object's control block, so that an object made
// later at the same address is told apart from it. A registration (Observation) builds a tree
// of PathWatchers: one per key of the path on the object that key belongs to, plus one per
// dependent key path; each watcher registers a trigger for its key. A change of a key in the
// middle of a path re-targets the watchers after it. The tree holds its parts strongly and its
// parents weakly; triggers hold watchers weakly, so nothing is kept alive by the table but
// the registrations.

namespace zvt {
namespace {

using ObjectRef = std::weak_ptr<const NSObject>;

bool sameObject(const ObjectRef& a, const ObjectRef& b) { return !a.owner_before(b) && !b.owner_before(a); }

std::pair<std::string, std::string> splitKeyPath(std::string_view path) {
  size_t dot = path.find('.');
  if (dot == std::string_view::npos) return {std::string(path), {}};
  return {std::string(path.substr(0, dot)), std::string(path.substr(dot + 1))};
}

// What is told of the changes of something watched.
class Sink : public std::enable_shared_from_this<Sink> {
 public:
  virtual ~Sink() = default;
  virtual void willChange() = 0;
  virtual void didChange() = 0;
};

class Observation;

struct Trigger {
  std::string key;
  std::weak_ptr<Sink> sink;
  const Sink* raw;
};

struct Entry {
  ObjectRef owner;
  std::vector<Trigger> triggers;
  std::vector<std::shared_ptr<Observation>> observations;  // made on this object, oldest first
};

struct Shard {
  std::mutex mutex;
  std::unordered_map<const NSObject*, Entry> entries;
  std::atomic<size_t> size{0};  // read without the lock: most objects are never observed
  size_t sweepAt = 64;
};

constexpr size_t kShards = 16;
// Depth of dependent keys and path keys followed from one registration; cuts cycles of
// dependencies that run through other objects.
constexpr size_t kMaxDepth = 64;

Shard* allShards() {
  static Shard* const shards = new Shard[kShards];  // never destroyed: used from static destructors
  return shards;
}

Shard& shardOf(const NSObject* object) { return allShards()[(reinterpret_cast<uintptr_t>(object) >> 6) % kShards]; }

using Garbage = std::vector<std::shared_ptr<Observation>>;
void stopAll(Garbage& garbage);

// Drops what belongs to dead objects and dead observers. Called with the shard locked.
void sweep(Shard& shard, Garbage& garbage);

// The entry of `object` (whose weak reference is `ref`), or null. An entry that an earlier
// object at the same address left behind is dropped.
Entry* findEntry(Shard& shard, const NSObject* object, const ObjectRef& ref, Garbage& garbage) {
  auto it = shard.entries.find(object);
  if (it == shard.entries.end()) return nullptr;
  if (sameObject(it->second.owner, ref)) return &it->second;
  for (auto& o : it->second.observations) garbage.push_back(std::move(o));
  shard.entries.erase(it);
  shard.size = shard.entries.size();
  return nullptr;
}

Entry& entryFor(Shard& shard, const NSObject* object, const ObjectRef& ref, Garbage& garbage) {
  if (Entry* entry = findEntry(shard, object, ref, garbage)) return *entry;
  if (shard.entries.size() >= shard.sweepAt) {
    sweep(shard, garbage);
    shard.sweepAt = std::max<size_t>(64, 2 * shard.entries.size());
  }
  Entry& entry = shard.entries[object];
  entry.owner = ref;
  shard.size = shard.entries.size();
  return entry;
}

void eraseIfEmpty(Shard& shard, const NSObject* object) {
  auto it = shard.entries.find(object);
  if (it != shard.entries.end() && it->second.triggers.empty() && it->second.observations.empty()) {
    shard.entries.erase(it);
    shard.size = shard.entries.size();
  }
}

void addTrigger(const id& object, std::string key, const std::shared_ptr<Sink>& sink) {
  Shard& shard = shardOf(object.get());
  Garbage garbage;
  {
    std::lock_guard lock(shard.mutex);
    entryFor(shard, object.get(), object, garbage).triggers.push_back({std::move(key), sink, sink.get()});
  }
  stopAll(garbage);
}

void removeTrigger(const NSObject* object, const ObjectRef& ref, const std::string& key, const Sink* sink) {
  Shard& shard = shardOf(object);
  Garbage garbage;
  {
    std::lock_guard lock(shard.mutex);
    if (Entry* entry = findEntry(shard, object, ref, garbage)) {
      auto& triggers = entry->triggers;
      auto it = std::find_if(triggers.begin(), triggers.end(), [&](const Trigger& t) { return t.raw == sink && t.key == key; });
      if (it != triggers.end()) triggers.erase(it);
      eraseIfEmpty(shard, object);
    }
  }
  stopAll(garbage);
}

// The sinks to tell of a change of `key` of `object`, in the order they were registered.
std::vector<std::shared_ptr<Sink>> sinksFor(const NSObject& object, std::string_view key) {
  Shard& shard = shardOf(&object);
  if (shard.size.load(std::memory_order_relaxed) == 0) return {};
  ObjectRef ref = object.weak_from_this();
  std::vector<std::shared_ptr<Sink>> sinks;
  Garbage garbage;
  {
    std::lock_guard lock(shard.mutex);
    if (Entry* entry = findEntry(shard, &object, ref, garbage)) {
      bool expired = false;
      for (const auto& trigger : entry->triggers) {
        if (trigger.key != key) continue;
        if (auto sink = trigger.sink.lock()) sinks.push_back(std::move(sink));
        else expired = true;
      }
      if (expired) {
        std::erase_if(entry->triggers, [](const Trigger& t) { return t.sink.expired(); });
        eraseIfEmpty(shard, &object);
      }
    }
  }
  stopAll(garbage);
  return sinks;
}

// Pending changes of this thread: what the observations took at a will-change, for the
// did-change that closes it.
class Observation;
struct Pending {
  std::shared_ptr<const Observation> observation;
  id old;
};
thread_local std::vector<Pending> pendingChanges;

id orNull(id value) { return value ? std::move(value) : id(NSNull::null()); }

// One key of a key path on one object: tells its outer sink of every change of the key and
// of what lies further along the path (the child) or the key depends on (dependencies).
class PathWatcher final : public Sink {
 public:
  PathWatcher(const id& object, std::weak_ptr<Sink> outer, std::string key, std::string rest)
      : objectRaw_(object.get()), object_(object), outer_(std::move(outer)), key_(std::move(key)), rest_(std::move(rest)) {}

  using Chain = std::vector<std::pair<const NSObject*, std::string>>;

  void start(Chain& chain) {
    id object = object_.lock();
    if (!object) return;
    const std::pair<const NSObject*, std::string> self{objectRaw_, key_};
    if (chain.size() >= kMaxDepth || std::find(chain.begin(), chain.end(), self) != chain.end()) {
      return;  // a cycle of dependencies: this key is watched further up already
    }
    // The key and the keys of this object it depends on, directly or through each other, are
    // triggers of this watcher (each once); key paths through other objects it depends on
    // are watchers of their own.
    std::vector<std::string> keys{key_};
    std::vector<std::string> paths;
    if (const KVCClass* table = object->kvcClass()) {
      for (size_t i = 0; i < keys.size() && keys.size() < kMaxDepth; ++i) {
        for (auto& path : table->keyPathsForValuesAffectingValueForKey(keys[i])) {
          auto& list = path.find('.') == std::string::npos ? keys : paths;
          if (std::find(list.begin(), list.end(), path) == list.end()) list.push_back(std::move(path));
        }
      }
    }
    keys_ = keys;
    for (const auto& key : keys_) addTrigger(object, key, shared_from_this());

    chain.push_back(self);
    std::vector<std::shared_ptr<PathWatcher>> dependencies;
    for (const auto& path : paths) {
      auto [key, rest] = splitKeyPath(path);
      auto dependency = std::make_shared<PathWatcher>(object, weakSink(), std::move(key), std::move(rest));
      dependency->start(chain);
      dependencies.push_back(std::move(dependency));
    }
    std::shared_ptr<PathWatcher> child = makeChild(*object, chain);
    chain.pop_back();

    std::vector<std::shared_ptr<PathWatcher>> unused;
    {
      std::lock_guard lock(mutex_);
      if (stopped_) {
        unused = std::move(dependencies);
        unused.push_back(std::move(child));
      } else {
        dependencies_ = std::move(dependencies);
        if (!child_) child_ = std::move(child);  // else a change during the start came first
        else unused.push_back(std::move(child));
      }
    }
    for (auto& w : unused)
      if (w) w->stop();
  }

  void stop() {
    std::vector<std::shared_ptr<PathWatcher>> parts;
    {
      std::lock_guard lock(mutex_);
      if (stopped_) return;
      stopped_ = true;
      parts = std::move(dependencies_);
      parts.push_back(std::move(child_));
    }
    for (const auto& key : keys_) removeTrigger(objectRaw_, object_, key, this);
    for (auto& w : parts)
      if (w) w->stop();
  }

  void willChange() override {
    if (auto outer = outer_.lock()) outer->willChange();
  }
  void didChange() override {
    follow();
    if (auto outer = outer_.lock()) outer->didChange();
  }

 private:
  std::weak_ptr<Sink> weakSink() { return weak_from_this(); }

  std::shared_ptr<PathWatcher> makeChild(const NSObject& object, Chain& chain) {
    if (rest_.empty()) return nullptr;
    id value = object.valueForKey(NSString::stringWithUTF8String(key_));
    if (!value) return nullptr;
    auto [key, rest] = splitKeyPath(rest_);
    auto child = std::make_shared<PathWatcher>(value, outer_, std::move(key), std::move(rest));
    child->start(chain);
    return child;
  }

  // The key changed: watch the rest of the path on its new value.
  void follow() {
    if (rest_.empty()) return;
    id object = object_.lock();
    if (!object) return;
    Chain chain;
    std::shared_ptr<PathWatcher> fresh = makeChild(*object, chain);
    std::shared_ptr<PathWatcher> old;
    {
      std::lock_guard lock(mutex_);
      if (stopped_) old = std::move(fresh);
      else old = std::exchange(child_, std::move(fresh));
    }
    if (old) old->stop();
  }

  const NSObject* const objectRaw_;
  const std::weak_ptr<NSObject> object_;
  const std::weak_ptr<Sink> outer_;
  const std::string key_;
  const std::string rest_;
  std::vector<std::string> keys_;  // the triggers: set by start, before anyone can stop it
  std::mutex mutex_;
  bool stopped_ = false;
  std::vector<std::shared_ptr<PathWatcher>> dependencies_;
  std::shared_ptr<PathWatcher> child_;
};

// One addObserver registration.
class Observation final : public Sink {
 public:
  Observation(const id& observed, const id& observer, std::shared_ptr<NSString> keyPath, NSKeyValueObservingOptions options,
              void* context)
      : observedRaw_(observed.get()),
        observed_(observed),
        observerRaw_(observer.get()),
        observer_(observer),
        keyPath_(std::move(keyPath)),
        options_(options),
        context_(context) {}

  void start() {
    auto [key, rest] = splitKeyPath(keyPath_->view());
    auto root = std::make_shared<PathWatcher>(observed_.lock(), weak_from_this(), std::move(key), std::move(rest));
    PathWatcher::Chain chain;
    root->start(chain);
    std::lock_guard lock(mutex_);
    root_ = std::move(root);
  }

  void stop() {
    active_ = false;
    std::shared_ptr<PathWatcher> root;
    {
      std::lock_guard lock(mutex_);
      root = std::move(root_);
    }
    if (root) root->stop();
  }

  bool matches(const NSObject* observer, std::string_view keyPath, bool anyContext, void* context) const {
    return observer == observerRaw_ && keyPath_->view() == keyPath && (anyContext || context == context_);
  }
  bool observerGone() const { return observer_.expired(); }

  void sendInitial() {
    std::vector<std::pair<id, id>> change{{NSKeyValueChangeKindKey, NSNumber::numberWithUnsignedInteger(NSKeyValueChangeSetting)}};
    if (options_ & NSKeyValueObservingOptionNew) change.emplace_back(NSKeyValueChangeNewKey, orNull(currentValue()));
    deliver(std::move(change));
  }

  void willChange() override {
    if (!active_) return;
    id old = (options_ & NSKeyValueObservingOptionOld) ? currentValue() : nullptr;
    if (options_ & NSKeyValueObservingOptionPrior) {
      std::vector<std::pair<id, id>> change{{NSKeyValueChangeKindKey, NSNumber::numberWithUnsignedInteger(NSKeyValueChangeSetting)},
                                            {NSKeyValueChangeNotificationIsPriorKey, kCFBooleanTrue}};
      if (options_ & NSKeyValueObservingOptionOld) change.emplace_back(NSKeyValueChangeOldKey, orNull(old));
      deliver(std::move(change));
    }
    pendingChanges.push_back({std::static_pointer_cast<const Observation>(shared_from_this()), std::move(old)});
  }

  void didChange() override {
    bool announced = false;  // a did-change without its will-change has no old value
    id old;
    for (auto it = pendingChanges.rbegin(); it != pendingChanges.rend(); ++it) {
      if (it->observation.get() != this) continue;
      old = std::move(it->old);
      pendingChanges.erase(std::next(it).base());
      announced = true;
      break;
    }
    if (!active_) return;
    std::vector<std::pair<id, id>> change{{NSKeyValueChangeKindKey, NSNumber::numberWithUnsignedInteger(NSKeyValueChangeSetting)}};
    if ((options_ & NSKeyValueObservingOptionOld) && announced) change.emplace_back(NSKeyValueChangeOldKey, orNull(old));
    if (options_ & NSKeyValueObservingOptionNew) change.emplace_back(NSKeyValueChangeNewKey, orNull(currentValue()));
    deliver(std::move(change));
  }

 private:
  id currentValue() const {
    id observed = observed_.lock();
    return observed ? observed->valueForKeyPath(keyPath_) : nullptr;
  }

  void deliver(std::vector<std::pair<id, id>> change);

  const NSObject* const observedRaw_;
  const std::weak_ptr<NSObject> observed_;
  const NSObject* const observerRaw_;
  const std::weak_ptr<NSObject> observer_;
  const std::shared_ptr<NSString> keyPath_;
  const NSKeyValueObservingOptions options_;
  void* const context_;
  std::atomic<bool> active_{true};
  std::mutex mutex_;
  std::shared_ptr<PathWatcher> root_;
};

void stopAll(Garbage& garbage) {
  for (auto& o : garbage) o->stop();
  garbage.clear();
}

void sweep(Shard& shard, Garbage& garbage) {
  for (auto it = shard.entries.begin(); it != shard.entries.end();) {
    Entry& entry = it->second;
    if (entry.owner.expired()) {
      for (auto& o : entry.observations) garbage.push_back(std::move(o));
      it = shard.entries.erase(it);
      continue;
    }
    std::erase_if(entry.triggers, [](const Trigger& t) { return t.sink.expired(); });
    for (auto& o : entry.observations)
      if (o->observerGone()) garbage.push_back(std::move(o));
    std::erase_if(entry.observations, [](const std::shared_ptr<Observation>& o) { return !o; });
    if (entry.triggers.empty() && entry.observations.empty()) it = shard.entries.erase(it);
    else ++it;
  }
  shard.size = shard.entries.size();
}

// Takes the latest registration on `observed` that `match` accepts.
template <class Match>
std::shared_ptr<Observation> takeObservation(const NSObject& observed, Match match) {
  Shard& shard = shardOf(&observed);
  Garbage garbage;
  std::shared_ptr<Observation> taken;
  {
    std::lock_guard lock(shard.mutex);
    if (Entry* entry = findEntry(shard, &observed, observed.weak_from_this(), garbage)) {
      auto& list = entry->observations;
      for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (!match(**it)) continue;
        taken = std::move(*it);
        list.erase(std::next(it).base());
        break;
      }
      eraseIfEmpty(shard, &observed);
    }
  }
  stopAll(garbage);
  return taken;
}

void Observation::deliver(std::vector<std::pair<id, id>> change) {
  id observer = observer_.lock();
  id observed = observed_.lock();
  if (!observer || !observed) {
    if (!observer && observed) {  // the observer is gone: so is its registration
      if (auto taken = takeObservation(*observed, [this](const Observation& o) { return &o == this; })) taken->stop();
    }
    return;
  }
  if (!active_) return;
  observer->observeValueForKeyPath(keyPath_, observed, NSDictionary::dictionaryWithPairs(std::move(change)), context_);
}

void announce(NSObject& object, std::string_view key, bool will) {
  for (const auto& sink : sinksFor(object, key)) {
    if (will) sink->willChange();
    else sink->didChange();
  }
}

}  // namespace

// Sequentially consistent: a caller that stores a value and then finds nobody observing knows a
// registration made meanwhile reads the stored value (the registration stores the count first).
bool mayBeObserved(const NSObject& object) { return shardOf(&object).size.load() != 0; }

size_t observedObjectCount() {
  size_t count = 0;
  for (size_t i = 0; i < kShards; ++i) {
    Shard& shard = allShards()[i];
    Garbage garbage;
    {
      std::lock_guard lock(shard.mutex);
      sweep(shard, garbage);
      count += shard.entries.size();
    }
    stopAll(garbage);
  }
  return count;
}

}  // namespace zvt

void NSObject::addObserver(const id& observer, const std::shared_ptr<NSString>& keyPath, NSKeyValueObservingOptions options,
                           void* context) {
  if (!observer) return;
  if (!keyPath || keyPath->length() == 0) {
    zvt::raise(NSInvalidArgumentException, "-[" + className() + " addObserver:forKeyPath:options:context:]: no key path");
  }
  id observed = weak_from_this().lock();
  if (!observed) {
    zvt::raise(NSInvalidArgumentException,
               "-[" + className() + " addObserver:forKeyPath:options:context:]: the object is not owned by a shared_ptr");
  }
  auto observation = std::make_shared<zvt::Observation>(observed, observer, keyPath, options, context);
  observation->start();
  {
    zvt::Shard& shard = zvt::shardOf(this);
    zvt::Garbage garbage;
    {
      std::lock_guard lock(shard.mutex);
      zvt::entryFor(shard, this, observed, garbage).observations.push_back(observation);
    }
    zvt::stopAll(garbage);
  }
  if (options & NSKeyValueObservingOptionInitial) observation->sendInitial();
}

namespace {

void removeObservation(NSObject& observed, const NSObject* observer, const std::shared_ptr<NSString>& keyPath, bool anyContext,
                       void* context) {
  if (!keyPath) return;
  auto match = [&](const zvt::Observation& o) { return o.matches(observer, keyPath->view(), anyContext, context); };
  if (auto taken = zvt::takeObservation(observed, match)) {
    taken->stop();
    return;
  }
  // Registrations of dead observers and on dead objects are dropped without notice, so a
  // destructor that removes one may find it gone already: that is no fault.
  if (!observer || observer->weak_from_this().expired() || observed.weak_from_this().expired()) return;
  zvt::raise(NSRangeException, zvt::format("Cannot remove an observer <%s %p> for the key path \"%s\" from <%s %p> because it is not "
                                           "registered as an observer.",
                                           {observer->className(), static_cast<const void*>(observer), keyPath->utf8(),
                                            observed.className(), static_cast<const void*>(&observed)}));
}

}  // namespace

void NSObject::removeObserver(const NSObject* observer, const std::shared_ptr<NSString>& keyPath) {
  removeObservation(*this, observer, keyPath, true, nullptr);
}

void NSObject::removeObserver(const NSObject* observer, const std::shared_ptr<NSString>& keyPath, void* context) {
  removeObservation(*this, observer, keyPath, false, context);
}

void NSObject::observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id& object,
                                      const std::shared_ptr<NSDictionary>& change, void* context) {
  zvt::raise(NSInternalInconsistencyException,
             zvt::format("<%s %p>: An -observeValueForKeyPath:ofObject:change:context: message was received but not handled.\n"
                         "Key path: %@\nObserved object: %@\nChange: %@\nContext: %p",
                         {className(), static_cast<const void*>(this), keyPath, object, change, context}));
}

void NSObject::willChangeValueForKey(std::string_view key) { zvt::announce(*this, key, true); }

void NSObject::didChangeValueForKey(std::string_view key) { zvt::announce(*this, key, false); }
