// The shared application: its windows and the key window, event and action dispatch, the
// application delegate and the life-cycle callbacks (driven by the runner and by tests through
// the "driving" members below), URL opening (recorded: nothing leaves the machine), the status
// bar's facts, the icon badge, and background-task identifiers. There is no suspension on this
// platform, so a background task is only bookkeeping: begin hands out an identifier and keeps
// the expiration handler, end forgets it; `expireBackgroundTasks` runs the handlers of the
// tasks still open, as the system does when background time runs out.
//
// Background tasks may be used from any thread; everything else runs on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UILocalNotification.h"
#include "platform/uikit/UIResponder.h"

class NSTimer;
class UIApplication;
class UIWindow;
class UIEvent;

using UIBackgroundTaskIdentifier = NSUInteger;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

enum UIApplicationState : NSInteger {
  UIApplicationStateActive,
  UIApplicationStateInactive,
  UIApplicationStateBackground,
};

enum UIInterfaceOrientation : NSInteger {
  UIInterfaceOrientationUnknown = 0,
  UIInterfaceOrientationPortrait = 1,
  UIInterfaceOrientationPortraitUpsideDown = 2,
  UIInterfaceOrientationLandscapeLeft = 4,
  UIInterfaceOrientationLandscapeRight = 3,
};

enum UIStatusBarStyle : NSInteger {
  UIStatusBarStyleDefault,
  UIStatusBarStyleLightContent,
};

inline const zvt::StaticString UIApplicationDidFinishLaunchingNotification{"UIApplicationDidFinishLaunchingNotification"};
inline const zvt::StaticString UIApplicationDidBecomeActiveNotification{"UIApplicationDidBecomeActiveNotification"};
inline const zvt::StaticString UIApplicationWillResignActiveNotification{"UIApplicationWillResignActiveNotification"};
inline const zvt::StaticString UIApplicationDidEnterBackgroundNotification{"UIApplicationDidEnterBackgroundNotification"};
inline const zvt::StaticString UIApplicationWillEnterForegroundNotification{"UIApplicationWillEnterForegroundNotification"};
inline const zvt::StaticString UIApplicationWillTerminateNotification{"UIApplicationWillTerminateNotification"};
inline const zvt::StaticString UIApplicationDidReceiveMemoryWarningNotification{
    "UIApplicationDidReceiveMemoryWarningNotification"};

// The application delegate's callbacks (UIApplicationDelegate). The defaults do what the system
// does for a delegate without the method.
class UIApplicationDelegate {
 public:
  virtual ~UIApplicationDelegate() = default;
  virtual bool applicationWillFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& /*application*/,
                                                         const std::shared_ptr<NSDictionary>& /*options*/) {
    return true;
  }
  virtual bool applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& /*application*/,
                                                        const std::shared_ptr<NSDictionary>& /*options*/) {
    return true;
  }
  virtual void applicationDidBecomeActive(const std::shared_ptr<UIApplication>& /*application*/) {}
  virtual void applicationWillResignActive(const std::shared_ptr<UIApplication>& /*application*/) {}
  virtual void applicationDidEnterBackground(const std::shared_ptr<UIApplication>& /*application*/) {}
  virtual void applicationWillEnterForeground(const std::shared_ptr<UIApplication>& /*application*/) {}
  virtual void applicationWillTerminate(const std::shared_ptr<UIApplication>& /*application*/) {}
  virtual void applicationDidReceiveMemoryWarning(const std::shared_ptr<UIApplication>& /*application*/) {}
  virtual void applicationDidRegisterForRemoteNotificationsWithDeviceToken(
      const std::shared_ptr<UIApplication>& /*application*/, const std::shared_ptr<NSData>& /*deviceToken*/) {}
  virtual void applicationDidFailToRegisterForRemoteNotificationsWithError(
      const std::shared_ptr<UIApplication>& /*application*/, const std::shared_ptr<NSError>& /*error*/) {}
  virtual void applicationDidReceiveRemoteNotification(const std::shared_ptr<UIApplication>& /*application*/,
                                                       const std::shared_ptr<NSDictionary>& /*userInfo*/) {}
  // A local notification came due while the application was active (nothing else is shown).
  virtual void applicationDidReceiveLocalNotification(const std::shared_ptr<UIApplication>& /*application*/,
                                                      const std::shared_ptr<UILocalNotification>& /*notification*/) {}
  // application:openURL:sourceApplication:annotation:
  virtual bool applicationOpenURL(const std::shared_ptr<UIApplication>& /*application*/,
                                  const std::shared_ptr<NSURL>& /*url*/,
                                  const std::shared_ptr<NSString>& /*sourceApplication*/, const id& /*annotation*/) {
    return false;
  }
  // The delegate as a responder (the end of the responder chain), when it is one.
  virtual std::shared_ptr<UIResponder> delegateResponder() { return nullptr; }
};

class UIApplication : public UIResponder {
 public:
  static std::shared_ptr<UIApplication> sharedApplication();

  // --- background tasks (any thread)
  UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
  UIBackgroundTaskIdentifier beginBackgroundTaskWithName(const std::shared_ptr<NSString>& name,
                                                         std::function<void()> handler);
  // Ending an unknown or already ended task does nothing.
  void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
  // The number of tasks begun and not yet ended.
  size_t openBackgroundTaskCount() const;
  // Runs the expiration handlers of the open tasks (each once, outside the lock).
  void expireBackgroundTasks();

  // --- delegate (held strongly: the application owns the delegate it was started with)
  std::shared_ptr<UIApplicationDelegate> delegate() const { return delegate_; }
  void setDelegate(const std::shared_ptr<UIApplicationDelegate>& delegate) { delegate_ = delegate; }
  UIApplicationState applicationState() const { return state_; }

  // --- windows
  // Every window that exists, back to front (by level, then by when it was last shown).
  std::vector<std::shared_ptr<UIWindow>> windows() const;
  std::shared_ptr<UIWindow> keyWindow() const { return keyWindow_.lock(); }

  // --- events and actions
  // Hands each window its touches (touches that begin while interaction events are ignored
  // are dropped).
  virtual void sendEvent(const std::shared_ptr<UIEvent>& event);
  // Sends the action to the target, or, for a nil target, to the first responder that can
  // perform it, starting at the first responder (or at the sender when there is none) and
  // walking the responder chain. Returns whether someone received it.
  bool sendAction(const SEL& action, const id& target, const id& sender, const std::shared_ptr<UIEvent>& event);
  void beginIgnoringInteractionEvents();
  void endIgnoringInteractionEvents();
  bool isIgnoringInteractionEvents() const { return ignoringEvents_ > 0; }
  std::shared_ptr<UIResponder> nextResponder() const override;

  // --- URLs: openURL records the URL and answers whether its scheme can be opened (http,
  // https, tel, sms, mailto, itms, itms-apps, itms-appss, and those added with
  // setOpenableSchemes); nothing is opened.
  bool openURL(const std::shared_ptr<NSURL>& url);
  bool canOpenURL(const std::shared_ptr<NSURL>& url) const;
  std::vector<std::shared_ptr<NSURL>> openedURLs() const { return openedURLs_; }
  void setOpenableSchemes(std::set<std::string> schemes) { openableSchemes_ = std::move(schemes); }

  // --- status bar, activity indicator, badge
  UIStatusBarStyle statusBarStyle() const { return statusBarStyle_; }
  void setStatusBarStyle(UIStatusBarStyle style) { statusBarStyle_ = style; }
  void setStatusBarStyle(UIStatusBarStyle style, bool /*animated*/) { statusBarStyle_ = style; }
  bool isStatusBarHidden() const { return statusBarHidden_; }
  void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }
  bool isNetworkActivityIndicatorVisible() const { return networkActivityIndicatorVisible_; }
  void setNetworkActivityIndicatorVisible(bool visible) { networkActivityIndicatorVisible_ = visible; }
  // The interface is laid out upright; the orientation is a device fact tests may set.
  UIInterfaceOrientation statusBarOrientation() const { return statusBarOrientation_; }
  void setStatusBarOrientation(UIInterfaceOrientation orientation) { statusBarOrientation_ = orientation; }
  NSInteger applicationIconBadgeNumber() const { return badgeNumber_; }
  void setApplicationIconBadgeNumber(NSInteger number) { badgeNumber_ = number; }

  // --- local notifications, kept by the application in place of the system. A notification
  // comes due on the wall clock (on a timer of the main run loop); while the application is
  // active the delegate receives it, otherwise its badge number (when not 0) becomes the
  // icon's, as the system would show it. A repeating one is scheduled again for the first of
  // its repeats after now; missed repeats are not delivered.
  void scheduleLocalNotification(const std::shared_ptr<UILocalNotification>& notification);
  // Copies of the pending notifications, soonest first.
  std::vector<std::shared_ptr<UILocalNotification>> scheduledLocalNotifications() const;
  // Cancels the scheduled notification that the object (the one scheduled or a copy from
  // scheduledLocalNotifications) stands for; anything else is ignored.
  void cancelLocalNotification(const std::shared_ptr<UILocalNotification>& notification);
  void cancelAllLocalNotifications();

  // --- remote notifications: registering asks the system for the device token, which comes
  // to the delegate on a later turn of the main run loop (registerDeviceToken below). The token
  // is this installation's: 32 random bytes made on first use and kept in the sandbox
  // ("Library/DeviceToken"), so every registration delivers the same one. Main thread only.
  void registerForRemoteNotifications();
  bool isRegisteredForRemoteNotifications() const { return registeredForRemoteNotifications_; }

  // --- driving the life cycle (the runner and tests play the system's part): each calls the
  // delegate's callbacks and posts the notifications in the system's order.
  // Launch, then become active. Returns the delegate's answer.
  bool launchWithOptions(const std::shared_ptr<NSDictionary>& options);
  // Resign active (a window losing the focus) and become active again; each does nothing
  // unless the application is in the state it leaves.
  void resignActive();
  void becomeActive();
  // Resign active, then enter the background.
  void enterBackground();
  // Enter the foreground, then become active.
  void enterForeground();
  void terminate();
  void receiveMemoryWarning();
  void receiveRemoteNotification(const std::shared_ptr<NSDictionary>& userInfo);
  void registerDeviceToken(const std::shared_ptr<NSData>& token);
  // The system delivers a local notification (what a due scheduled one does).
  void receiveLocalNotification(const std::shared_ptr<UILocalNotification>& notification);
  // Another application asks this one to open the URL; returns the delegate's answer.
  bool openURLFromApplication(const std::shared_ptr<NSURL>& url, const std::shared_ptr<NSString>& sourceApplication);

  // --- for UIWindow
  void windowCreated(const std::shared_ptr<UIWindow>& window);
  void windowBecameKey(const std::shared_ptr<UIWindow>& window);
  void windowResignedKey(const UIWindow* window);
  uint64_t nextStackingOrder() { return ++stacking_; }

 private:
  void post(const std::shared_ptr<NSString>& name);
  struct ScheduledNotification {
    std::shared_ptr<UILocalNotification> notification;  // the system's copy
    NSTimeInterval due;                                   // wall-clock seconds
  };
  void rescheduleNotificationTimer();
  void deliverDueNotifications();

  mutable std::mutex mutex_;
  UIBackgroundTaskIdentifier next_ = 1;
  std::map<UIBackgroundTaskIdentifier, std::function<void()>> tasks_;

  std::shared_ptr<UIApplicationDelegate> delegate_;
  UIApplicationState state_ = UIApplicationStateInactive;
  std::vector<std::weak_ptr<UIWindow>> windows_;
  std::weak_ptr<UIWindow> keyWindow_;
  int ignoringEvents_ = 0;
  std::vector<std::shared_ptr<NSURL>> openedURLs_;
  std::set<std::string> openableSchemes_{"http", "https", "tel", "sms", "mailto", "itms", "itms-apps", "itms-appss"};
  UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
  bool statusBarHidden_ = false;
  bool networkActivityIndicatorVisible_ = false;
  UIInterfaceOrientation statusBarOrientation_ = UIInterfaceOrientationPortrait;
  bool registeredForRemoteNotifications_ = false;
  NSInteger badgeNumber_ = 0;
  uint64_t stacking_ = 0;
  std::vector<ScheduledNotification> scheduledNotifications_;  // soonest first
  uint64_t nextNotificationIdentifier_ = 1;
  std::shared_ptr<NSTimer> notificationTimer_;
};
