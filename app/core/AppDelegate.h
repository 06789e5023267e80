#pragma once
// The application delegate: it builds the window and the five-tab shell at launch, watches
// reachability (logging out of the running session when the network goes, in again from the
// stored credentials when it comes back), starts the analytics and push clients, receives the
// life-cycle, device-token, notification and open-URL callbacks, routes push payloads to
// screens (the push router), and holds the global session state that every screen and both
// server clients read and write on the main thread, without locks. AppDelegate::shared()
// stands for `[UIApplication sharedApplication].delegate`; the launch makes the launched
// delegate the shared one.
//
// userInfoDictionary is always a mutable dictionary of its own: a decoded record (immutable)
// handed to the setter is copied, so that screens may write balances into it.
//
// The push router (getTokenMessageWithUserInfo) reads untrusted payloads: a "content_type" that
// is a number is that route code, any other kind but text reads as 0; an "aps" or "good" that
// is no dictionary, and an "is_Show" that is null, read as absent. The running-app alert's
// "去看看" routes by the code, link, name and share flag of the payload it was shown for.

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

class TabBarController;

class AppDelegate : public UIResponder, public UIApplicationDelegate {
 public:
  // The delegate of the running application; made on first use.
  static std::shared_ptr<AppDelegate> shared();
  // Installs the application's delegate (the launch does), or a fresh one for a test (nil:
  // a new empty delegate on the next shared()).
  static void setShared(const std::shared_ptr<AppDelegate>& delegate);

  bool isLogin() const { return isLogin_; }
  void setIsLogin(bool value) { isLogin_ = value; }
  bool isConnectNetwork() const { return isConnectNetwork_; }
  void setIsConnectNetwork(bool value) { isConnectNetwork_ = value; }
  // The site cookie as "var", "value", "domain".
  std::shared_ptr<NSDictionary> cookieDic() const { return cookieDic_; }
  void setCookieDic(const std::shared_ptr<NSDictionary>& value) { cookieDic_ = value; }
  // The logged-in user's record; its "id" is the user id requests send as "id" or "uid".
  std::shared_ptr<NSMutableDictionary> userInfoDictionary() const { return userInfoDictionary_; }
  void setUserInfoDictionary(const std::shared_ptr<NSDictionary>& value);
  std::shared_ptr<NSString> PushRegisterID() const { return PushRegisterID_; }
  void setPushRegisterID(const std::shared_ptr<NSString>& value) { PushRegisterID_ = value; }
  std::shared_ptr<NSDictionary> remoteNotification() const { return remoteNotification_; }
  void setRemoteNotification(const std::shared_ptr<NSDictionary>& value) { remoteNotification_ = value; }

  // Set by the home screen's configuration load.
  bool isShowBinding() const { return isShowBinding_; }
  void setIsShowBinding(bool value) { isShowBinding_ = value; }
  std::shared_ptr<NSString> bindingText() const { return bindingText_; }
  void setBindingText(const std::shared_ptr<NSString>& value) { bindingText_ = value; }
  std::shared_ptr<NSString> regMethod() const { return regMethod_; }
  void setRegMethod(const std::shared_ptr<NSString>& value) { regMethod_ = value; }
  std::shared_ptr<NSDictionary> signPageDic() const { return signPageDic_; }
  void setSignPageDic(const std::shared_ptr<NSDictionary>& value) { signPageDic_ = value; }
  std::shared_ptr<NSDictionary> goodAds() const { return goodAds_; }
  void setGoodAds(const std::shared_ptr<NSDictionary>& value) { goodAds_ = value; }
  std::shared_ptr<NSDictionary> evaluateDic() const { return evaluateDic_; }
  void setEvaluateDic(const std::shared_ptr<NSDictionary>& value) { evaluateDic_ = value; }

  // The window and its root, made at launch.
  std::shared_ptr<UIWindow> window() const { return window_; }
  std::shared_ptr<TabBarController> tabBarController() const { return tabBarController_; }

  // --- UIApplicationDelegate
  bool applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& application,
                                                const std::shared_ptr<NSDictionary>& options) override;
  void applicationWillResignActive(const std::shared_ptr<UIApplication>& application) override;
  void applicationDidEnterBackground(const std::shared_ptr<UIApplication>& application) override;
  void applicationWillEnterForeground(const std::shared_ptr<UIApplication>& application) override;
  void applicationDidBecomeActive(const std::shared_ptr<UIApplication>& application) override;
  void applicationWillTerminate(const std::shared_ptr<UIApplication>& application) override;
  void applicationDidRegisterForRemoteNotificationsWithDeviceToken(const std::shared_ptr<UIApplication>& application,
                                                                   const std::shared_ptr<NSData>& deviceToken) override;
  void applicationDidReceiveRemoteNotification(const std::shared_ptr<UIApplication>& application,
                                               const std::shared_ptr<NSDictionary>& userInfo) override;
  void applicationDidReceiveLocalNotification(const std::shared_ptr<UIApplication>& application,
                                              const std::shared_ptr<UILocalNotification>& notification) override;
  // application:openURL:options: (delivered through the platform's open-URL callback): YES
  // exactly for the scheme "tzzvt".
  bool applicationOpenURL(const std::shared_ptr<UIApplication>& application, const std::shared_ptr<NSURL>& url,
                          const std::shared_ptr<NSString>& sourceApplication, const id& annotation) override;
  std::shared_ptr<UIResponder> delegateResponder() override {
    return std::static_pointer_cast<UIResponder>(self());
  }
  // The observer of "OnlineConfigUpdatedNotification": nothing.
  void onlineConfigCallBack(const std::shared_ptr<NSNotification>& notification);

  // --- start-up steps (launch only)
  void initTheNetWork();
  void initAnalytics();
  // Runs on a global queue.
  void initPush(const std::shared_ptr<NSDictionary>& launchOptions);

  // --- push routing
  // Routes the pending launch payload, if any, as not running.
  void getPushInfo();
  // The push router.
  void getTokenMessageWithUserInfo(const std::shared_ptr<NSDictionary>& userInfo);
  // Opens the screen of the current route code on the current screen's navigation controller.
  void skipWithLink(const std::shared_ptr<NSString>& link, const std::shared_ptr<NSString>& linkName,
                    const std::shared_ptr<NSString>& isShare);
  // Pushes the product page of the product record ("id", "iid").
  void gotoProductWithInfo(const std::shared_ptr<NSDictionary>& info);

  // The route code of the last payload and whether it arrived while running (for tests).
  NSInteger type() const { return type_; }
  bool isAppOn() const { return isAppOn_; }

 protected:
  // Push routing's own state: the payload being handled arrived while running, and its route
  // code.
  bool isAppOn_ = false;
  NSInteger type_ = 0;

 private:
  std::shared_ptr<AppDelegate> delegateSelf() { return std::static_pointer_cast<AppDelegate>(self()); }
  // Routes `code` with the payload's link, name and share flag.
  void skipWithCode(NSInteger code, const std::shared_ptr<NSString>& link, const std::shared_ptr<NSString>& linkName,
                    const std::shared_ptr<NSString>& isShare);

  std::shared_ptr<UIWindow> window_;
  std::shared_ptr<TabBarController> tabBarController_;
  bool isLogin_ = false;
  bool isConnectNetwork_ = false;
  std::shared_ptr<NSDictionary> cookieDic_;
  std::shared_ptr<NSMutableDictionary> userInfoDictionary_;
  std::shared_ptr<NSString> PushRegisterID_;
  std::shared_ptr<NSDictionary> remoteNotification_;
  bool isShowBinding_ = false;
  std::shared_ptr<NSString> bindingText_;
  std::shared_ptr<NSString> regMethod_;
  std::shared_ptr<NSDictionary> signPageDic_;
  std::shared_ptr<NSDictionary> goodAds_;
  std::shared_ptr<NSDictionary> evaluateDic_;
};
