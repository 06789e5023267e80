#include "foundation/http/NWNetworkActivityIndicatorManager.h"

#include <algorithm>

#include "foundation/http/NWURLConnectionOperation.h"
#include "foundation/http/NWURLSessionManager.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/network/NSURLSession.h"
#include "platform/uikit/UIApplication.h"

namespace {

// The request a notification's object carries: an operation's request, else a task's original
// request.
std::shared_ptr<NSURLRequest> requestOf(const std::shared_ptr<NSNotification>& notification) {
  const id& object = notification->object();
  if (auto operation = zvt::as<NWURLConnectionOperation>(object)) return operation->request();
  if (auto task = zvt::as<NSURLSessionTask>(object)) return task->originalRequest();
  return nullptr;
}

bool hasURL(const std::shared_ptr<NSNotification>& notification) {
  auto request = requestOf(notification);
  return request && request->URL();
}

}  // namespace

std::shared_ptr<NWNetworkActivityIndicatorManager> NWNetworkActivityIndicatorManager::sharedManager() {
  static const auto* shared = [] {
    auto manager = std::make_shared<NWNetworkActivityIndicatorManager>();
    manager->observeNotifications();
    return new std::shared_ptr<NWNetworkActivityIndicatorManager>(manager);
  }();
  return *shared;
}

void NWNetworkActivityIndicatorManager::observeNotifications() {
  auto center = NSNotificationCenter::defaultCenter();
  auto self = std::static_pointer_cast<NWNetworkActivityIndicatorManager>(shared_from_this());
  std::weak_ptr<NWNetworkActivityIndicatorManager> weak = self;
  auto up = [weak](const std::shared_ptr<NSNotification>& notification) {
    auto manager = weak.lock();
    if (manager && hasURL(notification)) manager->incrementActivityCount();
  };
  auto down = [weak](const std::shared_ptr<NSNotification>& notification) {
    auto manager = weak.lock();
    if (manager && hasURL(notification)) manager->decrementActivityCount();
  };
  center->addObserver(self, up, NWNetworkingOperationDidStartNotification, nullptr);
  center->addObserver(self, up, NWNetworkingTaskDidResumeNotification, nullptr);
  center->addObserver(self, down, NWNetworkingOperationDidFinishNotification, nullptr);
  center->addObserver(self, down, NWNetworkingTaskDidSuspendNotification, nullptr);
  center->addObserver(self, down, NWNetworkingTaskDidCompleteNotification, nullptr);
}

bool NWNetworkActivityIndicatorManager::isEnabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

void NWNetworkActivityIndicatorManager::setEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  enabled_ = enabled;
}

NSInteger NWNetworkActivityIndicatorManager::activityCount() const {
  std::lock_guard lock(mutex_);
  return activityCount_;
}

void NWNetworkActivityIndicatorManager::setActivityCount(NSInteger count) { changeCount(count, true); }
void NWNetworkActivityIndicatorManager::incrementActivityCount() { changeCount(1, false); }
void NWNetworkActivityIndicatorManager::decrementActivityCount() { changeCount(-1, false); }

void NWNetworkActivityIndicatorManager::changeCount(NSInteger value, bool absolute) {
  willChangeValueForKey("activityCount");
  {
    std::lock_guard lock(mutex_);
    activityCount_ = std::max<NSInteger>(0, absolute ? value : activityCount_ + value);
  }
  didChangeValueForKey("activityCount");
  auto self = std::static_pointer_cast<NWNetworkActivityIndicatorManager>(shared_from_this());
  dispatch_async(dispatch_get_main_queue(), [self] { self->updateVisibilityDelayed(); });
}

// Main queue: shows at once, hides only after the delay (a new activity meanwhile cancels it).
void NWNetworkActivityIndicatorManager::updateVisibilityDelayed() {
  if (!isEnabled()) return;
  if (isNetworkActivityIndicatorVisible()) {
    updateVisibility();
    return;
  }
  if (activityIndicatorVisibilityTimer_) activityIndicatorVisibilityTimer_->invalidate();
  std::weak_ptr<NWNetworkActivityIndicatorManager> weak =
      std::static_pointer_cast<NWNetworkActivityIndicatorManager>(shared_from_this());
  activityIndicatorVisibilityTimer_ =
      NSTimer::timerWithTimeInterval(kInvisibilityDelay, false, [weak](const std::shared_ptr<NSTimer>&) {
        if (auto manager = weak.lock()) manager->updateVisibility();
      });
  NSRunLoop::mainRunLoop()->addTimer(activityIndicatorVisibilityTimer_, NSRunLoopCommonModes);
}

void NWNetworkActivityIndicatorManager::updateVisibility() {
  UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(isNetworkActivityIndicatorVisible());
}

std::vector<std::string> NWNetworkActivityIndicatorManager::keyPathsForValuesAffectingValueForKey(const std::string& key) {
  if (key == "networkActivityIndicatorVisible") return {"activityCount"};
  return {};
}

const zvt::KVCClass* NWNetworkActivityIndicatorManager::classTable() {
  static const zvt::KVCClass table =
      zvt::KVCClass::Builder<NWNetworkActivityIndicatorManager>()
          .readonlyProperty("activityCount", &NWNetworkActivityIndicatorManager::activityCount)
          .readonlyProperty("networkActivityIndicatorVisible",
                            &NWNetworkActivityIndicatorManager::isNetworkActivityIndicatorVisible)
          .keyPathsForValuesAffecting(&NWNetworkActivityIndicatorManager::keyPathsForValuesAffectingValueForKey)
          .build();
  return &table;
}
