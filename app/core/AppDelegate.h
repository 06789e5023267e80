#pragma once
// The application delegate's global session state, read and written by every screen and by
// both server clients on the main thread, without locks. AppDelegate::shared() stands for
// `[UIApplication sharedApplication].delegate`. (The window, the tab-bar shell and the launch
// sequence join this class with the UIKit layer.)
//
// userInfoDictionary is always a mutable dictionary of its own: a decoded record (immutable)
// handed to the setter is copied, so that screens may write balances into it.

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class AppDelegate : public NSObject {
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

 protected:
  // Push routing's own state: the payload being handled arrived while running, and its route
  // code.
  bool isAppOn_ = false;
  NSInteger type_ = 0;

 private:
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
