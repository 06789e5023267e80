#include "platform/uikit/UIApplication.h"

#include <algorithm>
#include <random>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
  static const auto* shared = new std::shared_ptr<UIApplication>(std::make_shared<UIApplication>());
  return *shared;
}

// --- background tasks -------------------------------------------------------------------------

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  UIBackgroundTaskIdentifier identifier = next_++;
  tasks_.emplace(identifier, std::move(handler));
  return identifier;
}

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithName(const std::shared_ptr<NSString>&,
                                                                      std::function<void()> handler) {
  return beginBackgroundTaskWithExpirationHandler(std::move(handler));
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier) {
  std::function<void()> dropped;
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(identifier);
  if (it == tasks_.end()) return;
  dropped = std::move(it->second);
  tasks_.erase(it);
}

size_t UIApplication::openBackgroundTaskCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

void UIApplication::expireBackgroundTasks() {
  std::vector<std::function<void()>> handlers;
  {
    std::lock_guard lock(mutex_);
    for (auto& [identifier, handler] : tasks_) {
      if (handler) handlers.push_back(handler);
    }
  }
  for (auto& handler : handlers) handler();
}

// --- windows ----------------------------------------------------------------------------------

void UIApplication::windowCreated(const std::shared_ptr<UIWindow>& window) {
  zvt::ui::assertMainThread("UIWindow::initWithFrame");
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const auto& w) { return w.expired(); }),
                 windows_.end());
  for (const auto& w : windows_)
    if (w.lock() == window) return;
  windows_.push_back(window);
}

std::vector<std::shared_ptr<UIWindow>> UIApplication::windows() const {
  std::vector<std::shared_ptr<UIWindow>> out;
  for (const auto& w : windows_)
    if (auto window = w.lock()) out.push_back(std::move(window));
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    if (a->windowLevel() != b->windowLevel()) return a->windowLevel() < b->windowLevel();
    return a->stackingOrder() < b->stackingOrder();
  });
  return out;
}

void UIApplication::windowBecameKey(const std::shared_ptr<UIWindow>& window) { keyWindow_ = window; }

void UIApplication::windowResignedKey(const UIWindow* window) {
  if (keyWindow_.lock().get() == window) keyWindow_.reset();
}

// --- events and actions -----------------------------------------------------------------------

void UIApplication::sendEvent(const std::shared_ptr<UIEvent>& event) {
  zvt::ui::assertMainThread("UIApplication::sendEvent");
  if (!event) return;
  std::vector<std::shared_ptr<UIWindow>> targets;
  for (const auto& touch : event->touches()) {
    // A touch that begins while interaction is ignored goes nowhere, for its whole life.
    if (touch->phase() == UITouchPhaseBegan && ignoringEvents_ > 0) touch->setWindow(nullptr);
    auto window = touch->window();
    if (window && std::find(targets.begin(), targets.end(), window) == targets.end()) targets.push_back(window);
  }
  for (auto& window : targets) window->sendEvent(event);
}

bool UIApplication::sendAction(const SEL& action, const id& target, const id& sender,
                               const std::shared_ptr<UIEvent>& event) {
  zvt::ui::assertMainThread("UIApplication::sendAction");
  if (!action) return false;
  std::shared_ptr<NSObject> receiver = target;
  if (!receiver) {
    std::shared_ptr<UIResponder> start = UIResponder::currentFirstResponder();
    if (!start) start = std::dynamic_pointer_cast<UIResponder>(sender);
    if (start) receiver = start->targetForAction(action, sender);
  }
  if (!receiver || !action.respondsTo(*receiver)) return false;
  action.perform(*receiver, sender, event);
  return true;
}

void UIApplication::beginIgnoringInteractionEvents() {
  zvt::ui::assertMainThread("UIApplication::beginIgnoringInteractionEvents");
  ++ignoringEvents_;
}

void UIApplication::endIgnoringInteractionEvents() {
  zvt::ui::assertMainThread("UIApplication::endIgnoringInteractionEvents");
  if (ignoringEvents_ > 0) --ignoringEvents_;
}

std::shared_ptr<UIResponder> UIApplication::nextResponder() const {
  return delegate_ ? delegate_->delegateResponder() : nullptr;
}

// --- URLs -------------------------------------------------------------------------------------

bool UIApplication::canOpenURL(const std::shared_ptr<NSURL>& url) const {
  if (!url) return false;
  auto scheme = url->scheme();
  return scheme && openableSchemes_.count(scheme->lowercaseString()->utf8()) > 0;
}

bool UIApplication::openURL(const std::shared_ptr<NSURL>& url) {
  zvt::ui::assertMainThread("UIApplication::openURL");
  if (!url) return false;
  openedURLs_.push_back(url);
  return canOpenURL(url);
}

// --- life cycle -------------------------------------------------------------------------------

void UIApplication::post(const std::shared_ptr<NSString>& name) {
  NSNotificationCenter::defaultCenter()->postNotificationName(name, self());
}

bool UIApplication::launchWithOptions(const std::shared_ptr<NSDictionary>& options) {
  zvt::ui::assertMainThread("UIApplication::launchWithOptions");
  auto app = std::static_pointer_cast<UIApplication>(self());
  bool answer = true;
  if (delegate_) {
    answer = delegate_->applicationWillFinishLaunchingWithOptions(app, options);
    answer = delegate_->applicationDidFinishLaunchingWithOptions(app, options) && answer;
  }
  post(UIApplicationDidFinishLaunchingNotification);
  state_ = UIApplicationStateActive;
  if (delegate_) delegate_->applicationDidBecomeActive(app);
  post(UIApplicationDidBecomeActiveNotification);
  return answer;
}

void UIApplication::resignActive() {
  zvt::ui::assertMainThread("UIApplication::resignActive");
  if (state_ != UIApplicationStateActive) return;
  state_ = UIApplicationStateInactive;
  if (delegate_) delegate_->applicationWillResignActive(std::static_pointer_cast<UIApplication>(self()));
  post(UIApplicationWillResignActiveNotification);
}

void UIApplication::becomeActive() {
  zvt::ui::assertMainThread("UIApplication::becomeActive");
  if (state_ != UIApplicationStateInactive) return;
  state_ = UIApplicationStateActive;
  if (delegate_) delegate_->applicationDidBecomeActive(std::static_pointer_cast<UIApplication>(self()));
  post(UIApplicationDidBecomeActiveNotification);
}

void UIApplication::enterBackground() {
  zvt::ui::assertMainThread("UIApplication::enterBackground");
  auto app = std::static_pointer_cast<UIApplication>(self());
  if (state_ == UIApplicationStateActive) {
    state_ = UIApplicationStateInactive;
    if (delegate_) delegate_->applicationWillResignActive(app);
    post(UIApplicationWillResignActiveNotification);
  }
  state_ = UIApplicationStateBackground;
  if (delegate_) delegate_->applicationDidEnterBackground(app);
  post(UIApplicationDidEnterBackgroundNotification);
}

void UIApplication::enterForeground() {
  zvt::ui::assertMainThread("UIApplication::enterForeground");
  auto app = std::static_pointer_cast<UIApplication>(self());
  if (state_ == UIApplicationStateBackground) {
    state_ = UIApplicationStateInactive;
    if (delegate_) delegate_->applicationWillEnterForeground(app);
    post(UIApplicationWillEnterForegroundNotification);
  }
  state_ = UIApplicationStateActive;
  if (delegate_) delegate_->applicationDidBecomeActive(app);
  post(UIApplicationDidBecomeActiveNotification);
}

void UIApplication::terminate() {
  zvt::ui::assertMainThread("UIApplication::terminate");
  if (delegate_) delegate_->applicationWillTerminate(std::static_pointer_cast<UIApplication>(self()));
  post(UIApplicationWillTerminateNotification);
}

void UIApplication::receiveMemoryWarning() {
  zvt::ui::assertMainThread("UIApplication::receiveMemoryWarning");
  if (delegate_) delegate_->applicationDidReceiveMemoryWarning(std::static_pointer_cast<UIApplication>(self()));
  post(UIApplicationDidReceiveMemoryWarningNotification);
}

void UIApplication::receiveRemoteNotification(const std::shared_ptr<NSDictionary>& userInfo) {
  zvt::ui::assertMainThread("UIApplication::receiveRemoteNotification");
  if (delegate_) delegate_->applicationDidReceiveRemoteNotification(std::static_pointer_cast<UIApplication>(self()), userInfo);
}

void UIApplication::registerDeviceToken(const std::shared_ptr<NSData>& token) {
  zvt::ui::assertMainThread("UIApplication::registerDeviceToken");
  if (delegate_)
    delegate_->applicationDidRegisterForRemoteNotificationsWithDeviceToken(std::static_pointer_cast<UIApplication>(self()),
                                                                          token);
}

namespace {

// The installation's device token: read from the sandbox, or made and kept there on first use.
std::shared_ptr<NSData> installationDeviceToken() {
  constexpr size_t kTokenLength = 32;
  const std::string path = NSHomeDirectory()->utf8() + "/Library/DeviceToken";
  auto stored = NSData::dataWithContentsOfFile(NSString::stringWithUTF8String(path));
  if (stored && stored->length() == kTokenLength) return stored;
  std::random_device random;
  std::vector<uint8_t> bytes(kTokenLength);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  // A token that cannot be kept is still this run's: the next run makes another, as after a
  // reinstallation.
  (void)zvt::writeFileAtomically(path, bytes.data(), bytes.size(), 0600);
  return NSData::dataWithBytes(bytes.data(), bytes.size());
}

}  // namespace

void UIApplication::registerForRemoteNotifications() {
  zvt::ui::assertMainThread("UIApplication::registerForRemoteNotifications");
  registeredForRemoteNotifications_ = true;
  auto token = installationDeviceToken();
  // The system answers later, never inside the call.
  std::weak_ptr<UIApplication> weak = std::static_pointer_cast<UIApplication>(self());
  dispatch_async(dispatch_get_main_queue(), [weak, token] {
    if (auto application = weak.lock()) application->registerDeviceToken(token);
  });
}

bool UIApplication::openURLFromApplication(const std::shared_ptr<NSURL>& url,
                                           const std::shared_ptr<NSString>& sourceApplication) {
  zvt::ui::assertMainThread("UIApplication::openURLFromApplication");
  if (!delegate_) return false;
  return delegate_->applicationOpenURL(std::static_pointer_cast<UIApplication>(self()), url, sourceApplication, nullptr);
}
