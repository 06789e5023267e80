#include "push/PushService.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"

namespace zvt::push {
namespace {

// The settings store of the client: a preferences suite of its own, one dictionary under the
// key the keychain item had.
inline const zvt::StaticString kStoreSuite{"PushKeychain"};
inline const zvt::StaticString kStoreKey{"PushKeychainUserDefaultsKey"};
inline const zvt::StaticString kRegistrationIDKey{"registrationID"};
inline const zvt::StaticString kDeviceTokenKey{"deviceToken"};
inline const zvt::StaticString kAliasKey{"alias"};
inline const zvt::StaticString kTagsKey{"tags"};

struct PendingRequest {
  PSTagsAliasCallback callback;
  id object;
};

// Appends, dropping the oldest entry beyond the limit: a long-running client must not grow.
template <class T>
void keepRecent(std::vector<T>& list, T value) {
  if (list.size() >= kRecentReportLimit) list.erase(list.begin());
  list.push_back(std::move(value));
}

// The client core. All fields below `mutex_` are touched only on the client's thread; the
// queue is shared with the callers.
class Client {
 public:
  Client() : thread_([this] { run(); }) {}
  ~Client() {
    {
      std::lock_guard lock(queueMutex_);
      stopping_ = true;
    }
    queueReady_.notify_one();
    thread_.join();
  }

  void post(std::function<void()> work) {
    {
      std::lock_guard lock(queueMutex_);
      queue_.push_back(std::move(work));
    }
    queueReady_.notify_one();
  }

  // Runs `work` on the client's thread and waits for it.
  void sync(const std::function<void()>& work) {
    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool done = false;
    post([&] {
      work();
      std::lock_guard lock(doneMutex);
      done = true;
      doneCondition.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneCondition.wait(lock, [&] { return done; });
  }

  // --- on the client's thread

  void setup(const std::shared_ptr<NSDictionary>& launchOptions, bool fromMainThread) {
    ++state_.setupCount;
    if (fromMainThread) ++state_.setupsOnMainThread;
    loadStore();
    if (!state_.started) {
      state_.started = true;
      readConfig();
    }
    if (launchOptions) {
      auto payload = zvt::as<NSDictionary>(launchOptions->objectForKey(PSLaunchOptionsRemoteNotificationKey));
      if (payload && payload->count() > 0) state_.launchPayload = payload;
    }
  }

  void setTypes(NSUInteger types, bool fromMainThread) {
    ++state_.registrationCount;
    if (fromMainThread) ++state_.registrationsOnMainThread;
    state_.notificationTypes = types;
  }

  void registerToken(const std::shared_ptr<NSData>& token) {
    loadStore();
    if (!token || token->length() == 0) return;
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (NSUInteger i = 0; i < token->length(); ++i) {
      hex.push_back(digits[token->bytes()[i] >> 4]);
      hex.push_back(digits[token->bytes()[i] & 0xf]);
    }
    state_.deviceToken = NSString::stringWithUTF8String(hex);
    // The gateway hands a device one id and keeps it; a new token does not change it.
    if (!state_.registrationID || state_.registrationID->length() == 0) {
      state_.registrationID = newRegistrationID();
    }
    saveStore();
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& request : pending) answer(std::move(request));
  }

  std::shared_ptr<NSString> registrationID() {
    loadStore();
    return state_.registrationID ? state_.registrationID : NSString::string();
  }

  void receive(const std::shared_ptr<NSDictionary>& payload) {
    keepRecent(state_.receivedPayloads, payload);
    ++state_.receivedPayloadCount;
  }

  void reportBadge(NSInteger badge) {
    keepRecent(state_.badgeReports, badge);
    ++state_.badgeReportCount;
  }

  void setTagsAlias(const std::shared_ptr<NSSet>& tags, const std::shared_ptr<NSString>& alias,
                    PSTagsAliasCallback callback, const id& object) {
    loadStore();
    if (tags) state_.tags = tags;
    if (alias) state_.alias = alias;
    saveStore();
    PendingRequest request{std::move(callback), object};
    if (!request.callback) return;
    if (state_.registrationID && state_.registrationID->length() > 0) {
      answer(std::move(request));
    } else {
      pending_.push_back(std::move(request));
    }
  }

  ClientState snapshot() {
    loadStore();
    ClientState copy = state_;
    copy.pendingRequests = pending_.size();
    return copy;
  }

 private:
  void run() {
    for (;;) {
      std::function<void()> work;
      {
        std::unique_lock lock(queueMutex_);
        queueReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, nothing left
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      work();
    }
  }

  void answer(PendingRequest request) {
    auto tags = state_.tags ? state_.tags : NSSet::set();
    auto alias = state_.alias ? state_.alias : NSString::string();
    dispatch_async(dispatch_get_main_queue(), [request = std::move(request), tags, alias] {
      request.callback(request.object, kPSResultSuccess, tags, alias);
    });
  }

  static std::shared_ptr<NSString> newRegistrationID() {
    std::random_device device;
    std::uniform_int_distribution<int> digit(0, 15);
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 19; ++i) text.push_back(digits[digit(device)]);
    return NSString::stringWithUTF8String(text);
  }

  void readConfig() {
    auto path = NSBundle::mainBundle()->pathForResource("PushConfig"_ns, "plist"_ns);
    if (!path) return;
    auto data = NSData::dataWithContentsOfFile(path);
    if (!data) return;
    auto config = zvt::as<NSDictionary>(NSPropertyListSerialization::propertyListWithData(data, 0, nullptr, nullptr));
    if (!config) return;
    state_.appKey = zvt::as<NSString>(config->objectForKey("APP_KEY"_ns));
    state_.channel = zvt::as<NSString>(config->objectForKey("CHANNEL"_ns));
    if (auto production = zvt::as<NSNumber>(config->objectForKey("PUSH_FOR_PRODUCTION"_ns))) {
      state_.production = production->boolValue();
    }
  }

  std::shared_ptr<NSUserDefaults> store() { return NSUserDefaults::initWithSuiteName(kStoreSuite); }

  void loadStore() {
    if (loaded_) return;
    loaded_ = true;
    auto saved = store()->dictionaryForKey(kStoreKey);
    if (!saved) return;
    state_.registrationID = zvt::as<NSString>(saved->objectForKey(kRegistrationIDKey));
    state_.deviceToken = zvt::as<NSString>(saved->objectForKey(kDeviceTokenKey));
    state_.alias = zvt::as<NSString>(saved->objectForKey(kAliasKey));
    if (auto tags = zvt::as<NSArray>(saved->objectForKey(kTagsKey))) {
      auto set = NSMutableSet::set();
      for (const id& tag : *tags) set->addObject(tag);
      state_.tags = set;
    }
  }

  void saveStore() {
    auto saved = NSMutableDictionary::dictionary();
    if (state_.registrationID) saved->setObject(state_.registrationID, kRegistrationIDKey);
    if (state_.deviceToken) saved->setObject(state_.deviceToken, kDeviceTokenKey);
    if (state_.alias) saved->setObject(state_.alias, kAliasKey);
    if (state_.tags) saved->setObject(state_.tags->allObjects(), kTagsKey);
    auto defaults = store();
    defaults->setObject(saved, kStoreKey);
    defaults->synchronize();
  }

  std::mutex queueMutex_;
  std::condition_variable queueReady_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;

  bool loaded_ = false;
  ClientState state_;
  std::vector<PendingRequest> pending_;

  std::thread thread_;  // last: starts once everything above is made
};

std::mutex& clientMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
// The client in service. A caller holds its own share for the length of its call, so a
// shutdown meanwhile only lets go of the slot's: the client stops (its thread joined after the
// work queued on it) once the last caller is done with it.
std::shared_ptr<Client>*& clientSlot() {
  static std::shared_ptr<Client>* slot = new std::shared_ptr<Client>;
  return slot;
}

// The process ends soon after the application's termination, and with it the client's thread
// and whatever still waits on its queue (an alias cleared at logout, tags, a registration):
// the termination waits until the client has worked off what was asked before it. The lock
// keeps the client from being shut down meanwhile; nothing the client's thread runs takes it.
void finishOnTermination() {
  NSNotificationCenter::defaultCenter()->addObserverForName(
      UIApplicationWillTerminateNotification, nullptr, nullptr, [](const std::shared_ptr<NSNotification>&) {
        std::lock_guard lock(clientMutex());
        if (auto& slot = *clientSlot()) slot->sync([] {});
      });
}

// Work posted to the client refers to it by plain pointer: it runs on the client's own thread,
// which the client outlives, and a share held there could be the last one, whose release would
// have the thread join itself.
std::shared_ptr<Client> client() {
  static std::once_flag observing;
  std::call_once(observing, finishOnTermination);
  std::lock_guard lock(clientMutex());
  auto& slot = *clientSlot();
  if (!slot) slot = std::make_shared<Client>();
  return slot;
}

}  // namespace

ClientState clientState() {
  ClientState state;
  auto core = client();
  core->sync([&] { state = core->snapshot(); });
  return state;
}

void shutdownClient() {
  std::shared_ptr<Client> old;
  {
    std::lock_guard lock(clientMutex());
    old = std::move(*clientSlot());
  }
  old.reset();  // the last share joins after the queued work has run
}

}  // namespace zvt::push

using zvt::push::client;

void PushService::registerForRemoteNotificationTypes(NSUInteger types, const std::shared_ptr<NSSet>&) {
  const auto holder = client();
  auto& core = *holder;
  const bool fromMainThread = NSThread::isMainThread();
  core.post([&core, types, fromMainThread] { core.setTypes(types, fromMainThread); });
  // The system's registration, asked on the main thread as the system wants it: the device
  // token comes to the application's delegate later, which hands it back (registerDeviceToken).
  dispatch_async(dispatch_get_main_queue(), [] { UIApplication::sharedApplication()->registerForRemoteNotifications(); });
}

void PushService::setupWithOption(const std::shared_ptr<NSDictionary>& launchingOption) {
  const auto holder = client();
  auto& core = *holder;
  const bool fromMainThread = NSThread::isMainThread();
  core.post([&core, launchingOption, fromMainThread] { core.setup(launchingOption, fromMainThread); });
}

void PushService::registerDeviceToken(const std::shared_ptr<NSData>& deviceToken) {
  const auto holder = client();
  auto& core = *holder;
  auto token = deviceToken ? NSData::dataWithBytes(deviceToken->bytes(), deviceToken->length()) : nullptr;
  core.post([&core, token] { core.registerToken(token); });
}

std::shared_ptr<NSString> PushService::registrationID() {
  std::shared_ptr<NSString> result;
  const auto holder = client();
  auto& core = *holder;
  core.sync([&] { result = core.registrationID(); });
  return result;
}

void PushService::handleRemoteNotification(const std::shared_ptr<NSDictionary>& remoteInfo) {
  if (!remoteInfo || remoteInfo->count() == 0) return;
  auto payload = remoteInfo->copy();
  const auto holder = client();
  auto& core = *holder;
  core.post([&core, payload] { core.receive(payload); });
}

void PushService::resetBadge() {
  const auto holder = client();
  auto& core = *holder;
  core.post([&core] { core.reportBadge(0); });
}

void PushService::setTags(const std::shared_ptr<NSSet>& tags, const std::shared_ptr<NSString>& alias,
                          PSTagsAliasCallback callbackSelector, const id& object) {
  const auto holder = client();
  auto& core = *holder;
  auto tagsCopy = tags ? tags->copy() : nullptr;
  auto aliasCopy = alias ? alias->copy() : nullptr;
  core.post([&core, tagsCopy, aliasCopy, callback = std::move(callbackSelector), object]() mutable {
    core.setTagsAlias(tagsCopy, aliasCopy, std::move(callback), object);
  });
}

void PushService::setAlias(const std::shared_ptr<NSString>& alias, PSTagsAliasCallback callbackSelector,
                           const id& object) {
  setTags(nullptr, alias, std::move(callbackSelector), object);
}
