#pragma once
// The personal information family (personal information, e-mail and QQ, phone verification,
// Alipay, the password tip) through the device: a login as one of the demo accounts, the
// personal centre shown, screens pushed on its stack as their openers push them, and the
// screen size of the phone under test.

#include <string>

#include "app/screens/account/TZPersonalViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/graphics/UIScreen.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace zvt::test {

class PersonalScreenTest : public AccountScreenTest {
 protected:
  void TearDown() override {
    AccountScreenTest::TearDown();
    UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 375, 667));
  }

  static bool logInNewUser() { return logInAs(kServiceNewUserName, kServiceNewUserPassword); }

  // Launches, logs in and shows the personal centre.
  std::shared_ptr<UserInfoViewController> launchAs(const char* userName, const char* password) {
    launch();
    if (!logInAs(userName, password)) return nullptr;
    const int asked = service_->requestCount("userInfo&do=my");
    auto centre = showCentre();
    settleRefresh(asked);
    return centre;
  }

  // Waits (in real time) until a refresh asked for after `asked` others has been answered and
  // its reply handled: the service has seen the request and no load is left in flight (the
  // enciphered client handles a reply as its load ends). A fixed pause after the request was
  // seen let a slow reply land during the next tap, whose row the reload took away.
  static void settleRefresh(int asked) {
    waitFor([&] { return service_->requestCount("userInfo&do=my") > asked && urlConnectionLoadsInFlight() == 0; });
    drainMainLoop();
  }

  // The personal information, opened by the centre's avatar.
  std::shared_ptr<TZPersonalViewController> openPersonal(const std::shared_ptr<UserInfoViewController>& centre) {
    const int asked = service_->requestCount("userInfo&do=my");
    if (!centre || !device().tapView(centre->headerView()->userIconImageView())) return nullptr;
    device().wait(1);
    settleRefresh(asked);
    return std::dynamic_pointer_cast<TZPersonalViewController>(topScreen());
  }

  // Pushes the screen registered under `name` on the shown tab's stack, as an opener does.
  std::shared_ptr<UIViewController> push(const char* name) {
    auto screen = makeScreen(name);
    auto top = topScreen();
    if (!screen || !top || !top->navigationController()) return nullptr;
    top->navigationController()->pushViewController(screen, true);
    device().wait(1);
    return screen;
  }
  // Sets fields of a stored user record: {"id": "10004", "alipay": null}.
  static void setUser(const std::string& json) { service_->setUserFields(json); }

  // The alerts on screen.
  static size_t alertCount() { return ui::AlertPresenter::shared().count(); }
  // Whether a view showing exactly `text` is on screen.
  static bool shows(const std::string& text) { return device().viewWithText(text) != nullptr; }
};

}  // namespace zvt::test
