#pragma once
// The launched application for tests of the shell: the local service (one per suite, reset
// before each test), a fresh sandbox home, the configuration pointed at the service, the
// application's bundle, a reachable network through the fake source, recorded sounds and a
// virtual clock. launch() hands the application a new AppDelegate and launches it.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <memory>
#include <string>
#include <vector>

#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/storage/TZDBManager.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/screens/shopping/TZNewSearchViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "foundation/http/NWNetworkReachabilityManager.h"
#include "foundation/http/NWHTTPRequestOperation.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSBundle.h"
#include "platform/network/NSURLConnection.h"
#include "platform/sysconfig/FakeReachabilitySource.h"
#include "platform/uikit/AudioServices.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/internal/AlertPresentation.h"
#include "analytics/StatAgent.h"
#include "push/PushService.h"
#include "tests/app/core/PlaceholderScreen.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"
#include "tests/support/ui/ScreenPictures.h"

namespace zvt::test {

inline constexpr SCNetworkReachabilityFlags kReachable = kSCNetworkReachabilityFlagsReachable;

class ShellTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { service_ = std::make_unique<ServiceProcess>(); }
  static void TearDownTestSuite() {
    service_.reset();
    // The push client keeps the newest payloads it was handed; they go with it.
    push::shutdownClient();
  }

  void SetUp() override {
    if (!service_->running()) service_->start();
    service_->reset(true);
    home_ = std::make_unique<TempHome>();
    setMainBundlePath(ZVT_BUNDLE_ROOT);
    // The third tab's real root (its hot keywords come from the service); the other shopping
    // screens stay stand-ins here, tested with their folder.
    search::registerSearchNibs();
    registerScreenClass("TZNewSearchViewController", [] { return std::make_shared<TZNewSearchViewController>(); });
    // The shell's own tests put a placeholder where the home tab's screen goes: the real one
    // (tested with the shopping screens) would load products and cover the shell with its
    // first-run guide.
    registerScreenClass("HomeViewController", [] {
      return std::make_shared<PlaceholderScreen>(PlaceholderScreenClass{"HomeViewController", "首页", {}});
    });
    // The product store likewise (it loads its first category at once).
    registerScreenClass("ProductStoreViewController", [] {
      return std::make_shared<PlaceholderScreen>(
          PlaceholderScreenClass{"ProductStoreViewController", "超精选", {"smallSortType", "bigSortType", "isPush"}});
    });
    // The mall screen (the fourth tab) loads its categories and shows its first-visit guide.
    registerScreenClass("ThirdProductStoreViewController", [] {
      return std::make_shared<PlaceholderScreen>(
          PlaceholderScreenClass{"ThirdProductStoreViewController", "商城回扣", {"isPush"}});
    });
    // The stroll screen the routers open lives in the shopping folder: a stand-in here.
    registerScreenClass("TZStrollViewController", [] {
      return std::make_shared<PlaceholderScreen>(PlaceholderScreenClass{"TZStrollViewController", "逛逛", {}});
    });
    config_ = std::make_unique<ConfigurationScope>();
    Configuration::setServerRoot(service_->rootURL());
    reachability_ = FakeReachabilitySource::install(kReachable);
    stat::flush();
    stat::resetAgent();
    sounds_ = std::make_shared<audio::RecordingSoundOutput>();
    audio::setSoundOutput(sounds_);
    AppDelegate::setShared(nullptr);
  }

  void TearDown() override {
    pictures_.writeIfFailed();
    device().touchCancelAll();
    // The requests the test set going are answered while the application still lives: an answer
    // that came after it had gone would find no session and could put up an alert over the next
    // test's screens.
    settleRequests();
    dismissAlerts();
    if (delegate_ && delegate_->window()) delegate_->window()->setHidden(true);
    NWNetworkReachabilityManager::sharedManager()->stopMonitoring();
    NWNetworkReachabilityManager::sharedManager()->setReachabilityStatusChangeBlock(nullptr);
    device().wait(1);
    NSNotificationCenter::defaultCenter()->removeObserver(delegate_);
    UIApplication::sharedApplication()->setDelegate(nullptr);
    delegate_.reset();
    AppDelegate::setShared(nullptr);
    FakeReachabilitySource::uninstall();
    audio::setSoundOutput(nullptr);
    // A request the screens sent last is answered before the next test: a load still in flight
    // at the end would reach the next test's service or outlive the process as a leak.
    settleRequests();
    clearScreen();
    // The cache database lies in the test's home, which goes now: the next use opens one in the
    // home of its time.
    TZDBManager::sharedInstance()->setDatabase(nullptr);
    config_.reset();
    home_.reset();
  }

  // Waits (in real time) until no request is in flight and what the answers handed to the main
  // thread has run; an answer that sends the next request of a chain is waited for too.
  // A load that never ends fails the test here, saying so, well before the test's time limit.
  static void settleRequests(double seconds = 15) {
    auto idle = [] {
      return zvt::urlConnectionLoadsInFlight() == 0 && APIClient::sharedClient()->operationQueue()->operationCount() == 0;
    };
    for (int round = 0; round < 4; ++round) {
      runMainLoopUntil(idle, seconds);
      // Longer replies are read on the processing queue before their blocks reach the main one.
      dispatch_barrier_sync(NWHTTPRequestOperation::processingQueue(), [] {});
      drainMainLoop();
      if (idle()) return;
    }
    ADD_FAILURE() << "requests never settled: " << zvt::urlConnectionLoadsInFlight() << " loads in flight, "
                  << APIClient::sharedClient()->operationQueue()->operationCount() << " client operations";
  }

  // The next test starts from an empty screen of the standard phone: alerts that late answers
  // put up, the keyboard and any window still shown go, and a screen size a test chose is undone.
  static void clearScreen() {
    dismissAlerts();
    if (auto responder = UIResponder::currentFirstResponder()) responder->resignFirstResponder();
    device().wait(0.5);
    for (const auto& window : UIApplication::sharedApplication()->windows()) {
      if (!window->isHidden()) window->setHidden(true);
    }
    ui::Device::useScreen(ui::kScreen375x667);
  }

  // Stores credentials as a previous login on this device did.
  static void storeCredentials() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setBool(true, "isLogin"_ns);
    defaults->setObject(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(kServiceTestUserName)},
                                            {"password"_ns, NSString::stringWithUTF8String(kServiceTestUserPassword)}}),
                        "loginInfo"_ns);
  }

  // Launches a new delegate (with a launch payload when given) and lets the first reachability
  // report arrive.
  std::shared_ptr<AppDelegate> launch(const std::shared_ptr<NSDictionary>& payload = nullptr) {
    delegate_ = std::make_shared<AppDelegate>();
    auto application = UIApplication::sharedApplication();
    application->setDelegate(delegate_);
    auto options = payload ? NSDictionary::make({{PSLaunchOptionsRemoteNotificationKey, payload}}) : nullptr;
    const size_t reads = reachability_->readCount();
    application->launchWithOptions(options);
    device().wait(1);
    // The first reading of the network is made on another thread and reported on the main one.
    waitFor([&] { return reachability_->readCount() > reads; });
    runMainLoopUntil([] { return false; }, 0.1);
    device().wait(0.5);
    return delegate_;
  }

  // Waits (in real time) for replies of the service to arrive.
  static bool waitFor(const std::function<bool()>& done, double seconds = 15) { return runMainLoopUntil(done, seconds); }

  // The top screen of the selected tab.
  std::shared_ptr<UIViewController> topScreen() const {
    auto navigation = std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->selectedViewController());
    return navigation ? navigation->topViewController() : nullptr;
  }
  std::string topClass() const { return topScreen() ? topScreen()->className() : "(none)"; }
  // A property of the top screen as text ("" when nil).
  std::string topValue(const char* key) const {
    id value = topScreen()->valueForKey(NSString::stringWithUTF8String(key));
    return value ? NSString::stringWithFormat("%@", value)->utf8() : "";
  }

  // Answers every alert on screen with its cancel button.
  static void dismissAlerts() {
    for (int i = 0; i < 10 && ui::AlertPresenter::shared().count() > 0; ++i) {
      for (const char* cancel : {"确定", "取消", "下次吧"})
        if (device().tapText(cancel)) break;
      device().wait(0.5);
    }
  }

  static ui::Device& device() { return ui::Device::shared(); }

  // Drags the list up in steps that end exactly at its end (a drag past the end springs back
  // once the next page has come and may then reach the new end too), until `begun` answers yes
  // or the end is reached.
  static void dragToEndUntil(const std::shared_ptr<UIScrollView>& list, const std::function<bool()>& begun) {
    for (int i = 0; i < 30 && !begun(); ++i) {
      const CGFloat end = list->contentSize().height + list->contentInset().bottom - list->bounds().size.height;
      const CGFloat distance = std::clamp(end - list->contentOffset().y, 0.0, 350.0);
      if (distance < 1) break;
      device().dragView(list, CGPointMake(0, -distance), 0.3);
      device().waitUntilStill(list);
    }
  }

  // Drags the list down in steps that end exactly at its top (passing it would be a pull-down
  // of its own).
  static void dragToTop(const std::shared_ptr<UIScrollView>& list) {
    for (int i = 0; i < 30; ++i) {
      const CGFloat distance = std::min<CGFloat>(300, list->contentOffset().y + list->contentInset().top);
      if (distance < 1) break;
      device().dragView(list, CGPointMake(0, distance), 0.5);
      device().waitUntilStill(list);
    }
  }
  // A finger on the list at its top pulls it down by 180 points and stays there; the finger
  // to let go with touchUp.
  static ui::Device::Finger pullDownAndHold(const std::shared_ptr<UIScrollView>& list) {
    const CGRect shown = list->convertRectToView(list->bounds(), nullptr);
    const CGPoint from = CGPointMake(CGRectGetMidX(shown), shown.origin.y + list->contentInset().top + 40);
    auto finger = device().touchDown(from);
    for (int step = 1; step <= 18; ++step) {
      device().wait(1.0 / 60);
      device().touchMove(finger, CGPointMake(from.x, from.y + step * 10));
    }
    return finger;
  }

  static std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<TempHome> home_;
  std::unique_ptr<ConfigurationScope> config_;
  std::shared_ptr<FakeReachabilitySource> reachability_;
  std::shared_ptr<audio::RecordingSoundOutput> sounds_;
  std::shared_ptr<AppDelegate> delegate_;
  VirtualClockScope clock_;
  PicturesOnFailure pictures_;
};

inline std::unique_ptr<ServiceProcess> ShellTest::service_;

// A stand-in under the name of a screen whose real class lives in a screen folder above the
// core (its placeholder row has gone): tests of the shell and the routers, which link no screen
// folder, still see the class name and the properties set on it.
inline void registerStandInScreen(const PlaceholderScreenClass& row) {
  registerScreenClass(row.name, [row]() -> std::shared_ptr<UIViewController> {
    return std::make_shared<PlaceholderScreen>(row);
  });
}

}  // namespace zvt::test
