#pragma once
// The account screens on the launched application, through the device, against the local
// service: the shell's fixture with the account screens registered, and the few steps every
// account test takes (open the login screen through the gate, type into a field, read the
// service's log).

#include <string>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/account/AccountForm.h"
#include "app/screens/account/AccountScreens.h"
#include "app/screens/account/TZBindingViewController.h"
#include "app/screens/account/TZChangePasswordViewController.h"
#include "app/screens/account/TZRegisterViewController.h"
#include "app/screens/account/TZRetrievePasswordViewController.h"
#include "app/screens/account/TZLoginViewController.h"
#include "app/screens/account/UserInfoViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/network/NSHTTPCookie.h"
#include "platform/uikit/UINavigationController.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {

class AccountScreenTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    registerAccountScreens();
    // The cart page is a web page of the shopping screens: a stand-in that keeps what it is given.
    registerScreenClass("TZPublicViewController", [] {
      return std::make_shared<PlaceholderScreen>(PlaceholderScreenClass{"TZPublicViewController", "网页", {"webTitle", "webUrl"}, "webTitle"});
    });
    // The help centre, the customer-service, about and coupon pages and the earn-money grid live
    // in the rewards folder, not linked here.
    registerStandInScreen({"HelpViewController", "帮助中心", {}});
    registerStandInScreen({"TZServerQQViewController", "Zavelto客服", {}});
    registerStandInScreen({"AboutZaveltoViewController", "关于Zavelto", {}});
    registerStandInScreen({"TZRebateCouponViewController", "回扣券", {}});
    registerStandInScreen({"TZMakeMoneyViewController", "我要赚钱", {}});
  }

  // The navigation controller presented over the shell, or nil.
  std::shared_ptr<UINavigationController> presentedStack() const {
    auto shown = delegate_->tabBarController()->presentedViewController();
    return std::dynamic_pointer_cast<UINavigationController>(shown);
  }
  // The login screen at the root of the presented stack, or nil.
  std::shared_ptr<TZLoginViewController> presentedLogin() const {
    auto stack = presentedStack();
    if (!stack || stack->viewControllers().empty()) return nullptr;
    return std::dynamic_pointer_cast<TZLoginViewController>(stack->viewControllers().front());
  }
  // Opens the login gate from the top screen of the selected tab, as every gated entry does.
  std::shared_ptr<TZLoginViewController> openLoginThroughGate() {
    presentLoginScreen(topScreen());
    device().wait(1);
    return presentedLogin();
  }

  // The fifth tab ("我的"), shown: the personal centre.
  std::shared_ptr<UserInfoViewController> showCentre() {
    device().tapText("我的");
    device().wait(1);
    return std::dynamic_pointer_cast<UserInfoViewController>(topScreen());
  }
  // Logs in through the client, as the login screen does (the login screen's own tests type it
  // in).
  static bool logInAs(const char* userName, const char* password) {
    bool done = false, ok = false;
    ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(userName)},
                                                {"password"_ns, NSString::stringWithUTF8String(password)}}),
                            [&](bool success, const std::shared_ptr<NSString>&) {
                              ok = success;
                              done = true;
                            });
    return waitFor([&] { return done; }) && ok;
  }
  static bool logInDemoUser() { return logInAs(kServiceTestUserName, kServiceTestUserPassword); }

  // --- the forms' ways in, on the launched application
  // Presents the registration screen as the personal centre does (in a new navigation
  // controller), with the service's registration mode set to `regMethod` (nullptr: none).
  std::shared_ptr<TZRegisterViewController> presentRegister(const char* regMethod) {
    delegate_->setRegMethod(regMethod ? NSString::stringWithUTF8String(regMethod) : nullptr);
    auto screen = std::dynamic_pointer_cast<TZRegisterViewController>(makeScreen("TZRegisterViewController"));
    if (!screen) return nullptr;
    topScreen()->navigationController()->presentViewController(UINavigationController::initWithRootViewController(screen),
                                                                true);
    device().wait(1);
    return screen;
  }
  // Pushes the binding screen on the login stack, as a first partner login does.
  std::shared_ptr<TZBindingViewController> openBinding(const char* regMethod) {
    delegate_->setRegMethod(regMethod ? NSString::stringWithUTF8String(regMethod) : nullptr);
    if (!openLoginThroughGate()) return nullptr;
    auto screen = std::dynamic_pointer_cast<TZBindingViewController>(makeScreen("TZBindingViewController"));
    if (!screen) return nullptr;
    screen->setUserInfo(NSDictionary::make({{"web"_ns, "tb"_ns},
                                            {"webId"_ns, "TB-OPENID-0001"_ns},
                                            {"first"_ns, NSNumber::numberWithInt(1)},
                                            {"newVer"_ns, "yes"_ns}}));
    presentedStack()->pushViewController(screen, true);
    device().wait(1);
    return screen;
  }
  // "我的" → the header's login button → "忘记密码?": the retrieval screen on the login stack.
  std::shared_ptr<TZRetrievePasswordViewController> openRetrieval() {
    auto centre = showCentre();
    if (!centre || !device().tapView(centre->headerView()->loginButton())) return nullptr;
    device().wait(1);
    if (!presentedLogin() || !device().tapText("忘记密码?")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZRetrievePasswordViewController>(presentedTop());
  }
  // Logged in as the demo user: "我的" → "设置" → "修改密码".
  std::shared_ptr<TZChangePasswordViewController> openChange() {
    if (!logInDemoUser()) return nullptr;
    auto centre = showCentre();
    if (!centre) return nullptr;
    device().dragView(centre->tableView(), CGPointMake(0, -300), 0.4);
    device().waitUntilStill(centre->tableView());
    if (!device().tapText("设置")) return nullptr;
    device().wait(1);
    if (!device().tapText("修改密码")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZChangePasswordViewController>(topScreen());
  }
  // The top screen of the presented stack, or nil.
  std::shared_ptr<UIViewController> presentedTop() const {
    auto stack = presentedStack();
    return stack ? stack->topViewController() : nullptr;
  }
  // Taps the bar's left item ("grayReturn"), where a thumb finds it.
  void tapBack() {
    device().tap(CGPointMake(20, 42));
    device().wait(1);
  }
  // Whether a form's main button is lit (enabled, in its lit colour).
  static bool lit(const std::shared_ptr<UIButton>& button) { return account::isMainButtonEnabled(button); }
  // The text of a field ("" when empty).
  static std::string textOf(const std::shared_ptr<UITextField>& field) {
    return field && field->text() ? field->text()->utf8() : "";
  }

  // Taps the field (so that it edits and the keyboard shows) and types the text.
  bool typeInto(const std::shared_ptr<UIView>& field, const std::string& text) {
    if (!device().tapView(field)) return false;
    device().wait(0.5);
    return text.empty() || device().typeText(text);
  }

  // The service's log of an operation, as objects.
  std::shared_ptr<NSArray> logOf(const std::string& op) const {
    return std::dynamic_pointer_cast<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(op))));
  }
  // A value of a dictionary by key path as text ("(nil)" when absent).
  static std::string at(const id& object, const char* path) {
    auto dict = std::dynamic_pointer_cast<NSDictionary>(object);
    id value = dict ? dict->valueForKeyPath(NSString::stringWithUTF8String(path)) : nullptr;
    return value ? value->description()->utf8() : "(nil)";
  }

  // The push alias once the push client has taken it ("(nil)" when none was ever set).
  static std::string pushAlias() {
    auto alias = push::clientState().alias;
    return alias ? alias->utf8() : "(nil)";
  }
  // Waits until the push client holds `alias`.
  static bool waitForAlias(const std::string& alias) {
    return waitFor([&] { return pushAlias() == alias; }, 5);
  }

  // The site cookie's value that the shared store holds for the service's root, or "".
  static std::string sessionCookie() {
    auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(
        NSURL::URLWithString(NSString::stringWithUTF8String(service_->rootURL() + "/")));
    for (NSUInteger i = 0; cookies && i < cookies->count(); ++i) {
      auto cookie = std::dynamic_pointer_cast<NSHTTPCookie>(cookies->objectAtIndex(i));
      if (cookie && cookie->name()->isEqualToString("ZVTSESSID")) return cookie->value()->utf8();
    }
    return "";
  }

  // Whether the analytics records hold a page view of that name (begun and ended).
  static bool pageLogged(const std::string& page) {
    stat::flush();
    for (const auto& record : stat::recordedEntries()) {
      if (at(record, "kind") == "page" && at(record, "page") == page) return true;
    }
    return false;
  }
};

}  // namespace zvt::test
