#pragma once
// The account screens on the launched application, through the device, against the local
// service: the shell's fixture with the account screens registered, and the few steps every
// account test takes (open the login screen through the gate, type into a field, read the
// service's log).

#include <string>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/account/AccountScreens.h"
#include "app/screens/account/TZLoginViewController.h"
#include "app/screens/account/UserInfoViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/network/NSHTTPCookie.h"
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
  // Logs the demo user in through the client, as the login screen does (the login screen's own
  // tests type it in).
  static bool logInDemoUser() {
    bool done = false, ok = false;
    ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(kServiceTestUserName)},
                                                {"password"_ns, NSString::stringWithUTF8String(kServiceTestUserPassword)}}),
                            [&](bool success, const std::shared_ptr<NSString>&) {
                              ok = success;
                              done = true;
                            });
    return waitFor([&] { return done; }) && ok;
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
