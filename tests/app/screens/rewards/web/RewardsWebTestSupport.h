#pragma once
// The rewards folder's web screens in the launched shell: the web screens' fixture (the shopping
// and account screens registered, a private X display) with the rewards screens on top, the
// demo user logged in through the client, the spinner and the service's page log read.

#include <string>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "foundation/json/JSONDecoder.h"
#include "tests/app/screens/shopping/web/WebScreenTestSupport.h"
#include "ui/hud/POProgressHUD.h"

namespace zvt::test {

class RewardsWebTest : public WebScreenTest {
 protected:
  void SetUp() override {
    WebScreenTest::SetUp();
    if (IsSkipped()) return;
    registerRewardsScreens();
  }

  // Logs the demo user in through the client, which installs the site cookie.
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

  // Taps a bar item of the stack's navigation bar.
  static bool tapBarItemOf(const std::shared_ptr<UINavigationController>& stack, const std::shared_ptr<UIBarButtonItem>& item) {
    auto view = item && stack ? stack->navigationBar()->viewForItem(item) : nullptr;
    return view && device().tapView(view);
  }

  static bool spinnerShows() {
    for (const auto& hud : device().viewsOfClass<POProgressHUD>()) {
      if (hud->mode() == POProgressHUDModeIndeterminate && !hud->isHidden()) return true;
    }
    return false;
  }

  // The service's log of page requests for the path, as objects.
  std::shared_ptr<NSArray> pageLog(const std::string& path) const {
    return std::dynamic_pointer_cast<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(path, "page"))));
  }
  size_t pageRequests(const std::string& path) const {
    auto log = pageLog(path);
    return log ? log->count() : 0;
  }
  // A value of the newest logged request for the path by key path, as text ("(nil)" when absent).
  std::string lastPageValue(const std::string& path, const char* keyPath) const {
    auto log = pageLog(path);
    auto entry = log && log->count() > 0 ? std::dynamic_pointer_cast<NSDictionary>(log->lastObject()) : nullptr;
    id value = entry ? entry->valueForKeyPath(NSString::stringWithUTF8String(keyPath)) : nullptr;
    if (!value || std::dynamic_pointer_cast<NSNull>(value)) return "(nil)";
    return value->description()->utf8();
  }
};

}  // namespace zvt::test
