#pragma once
// The launched application with the real shopping screens, for tests of the home screen and the
// product store: the shell's test set-up (local service, sandbox home, bundle, virtual clock)
// on a 320 x 568 screen, the cache database in the test's home, and helpers that read what
// the service was asked.

#include <string>

#include "app/screens/shopping/HomeViewController.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "app/storage/TZDBManager.h"
#include "foundation/json/JSONDecoder.h"
#include "tests/app/core/ShellTestSupport.h"
#include "ui/images/WIWebImageManager.h"

namespace zvt::test {

class HomeScreenTest : public ShellTest {
 protected:
  void SetUp() override {
    ui::Device::useScreen(screen());
    ShellTest::SetUp();
    registerShoppingScreens();
    // What these screens open is seen by its class name and properties: stand-ins for the web
    // pages (they need a display) and the login screen (another folder).
    registerStandInScreen({"WebDetailViewController", "商品详情", {"goodsId", "taoBao_goodsId", "isProductPush"}});
    registerStandInScreen({"ActivityZoneViewController", "活动专区",
                           {"activityZoneUrl", "activityZoneName", "isShare", "infoModel"}, "activityZoneName"});
    registerStandInScreen({"TZLoginViewController", "登录", {}});
    // The cache database of this test's home.
    TZDBManager::sharedInstance()->creatDatabase();
  }
  void TearDown() override {
    // No picture is left on its way into the next test.
    waitForPictures();
    ShellTest::TearDown();
    ui::Device::useScreen(ui::kScreen375x667);
  }
  virtual ui::ScreenModel screen() const { return ui::kScreen320x568; }

  // Lets every picture asked for arrive (real time), then what they set off.
  static void waitForPictures() {
    waitFor([] { return !WIWebImageManager::sharedManager()->isRunning(); }, 20);
    device().wait(0.3);
  }
  // Waits for replies in real time and lets the virtual clock run meanwhile (controls end their
  // refreshing after a delay of their own), until `done` or the time is up.
  static bool settleUntil(const std::function<bool()>& done, double seconds = 15) {
    for (double waited = 0; waited < seconds; waited += 0.15) {
      if (done()) return true;
      runMainLoopUntil(done, 0.05);
      device().wait(0.1);
    }
    return done();
  }
  // Pulls the grid down by a finger on its content (the bar lies over the grid's top) and lets go.
  static void pullDownGrid() {
    device().drag(CGPointMake(160, 200), CGPointMake(160, 380), 0.6);
    device().wait(0.5);
  }
  // Sets the configuration get_ios_config answers ("full", "partial", "empty", "ads"...).
  static void useConfig(const std::string& name) { service_->configure(R"({"ios_config":")" + name + R"("})"); }
  // Marks the first-run guide as seen, as an earlier start did.
  static void skipGuide() { NSUserDefaults::standardUserDefaults()->setBool(true, "isBeforeEnter"_ns); }

  std::shared_ptr<HomeViewController> home() const {
    auto navigation = std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers()[0]);
    return std::dynamic_pointer_cast<HomeViewController>(navigation->viewControllers().front());
  }
  std::shared_ptr<UICollectionView> grid() const { return home()->homePageView()->homePageCollectionView; }
  size_t productCount() const { return home()->totalProductArray()->count(); }
  // Launches and waits for the home screen's first products.
  void launchHome(size_t products = 12) {
    launch();
    ASSERT_TRUE(home());
    ASSERT_TRUE(waitFor([&] { return productCount() >= products; })) << productCount();
    device().wait(0.5);
    waitForPictures();
  }

  // The service's log of an operation (all when empty), oldest first, as objects.
  static std::shared_ptr<NSArray> logOf(const std::string& op = "") {
    return as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(op))));
  }
  // A value of a logged request's "fields" as text ("" when absent).
  static std::string field(const std::shared_ptr<NSDictionary>& entry, const char* key) {
    auto fields = as<NSDictionary>(entry->objectForKey("fields"_ns));
    id value = fields ? fields->objectForKey(NSString::stringWithUTF8String(key)) : nullptr;
    return value ? NSString::stringWithFormat("%@", value)->utf8() : "";
  }
  static std::string value(const std::shared_ptr<NSDictionary>& entry, const char* key) {
    id value = entry->objectForKey(NSString::stringWithUTF8String(key));
    return value ? NSString::stringWithFormat("%@", value)->utf8() : "";
  }
};

}  // namespace zvt::test
