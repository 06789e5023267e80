// The network activity indicator on the virtual clock: counted from the HTTP layer's
// notifications (only for objects whose request has a URL), shown at once while enabled, hidden
// 0.17 s after the last activity ended, kept through a quick restart, never counted below zero.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/http/NWNetworkActivityIndicatorManager.h"
#include "foundation/http/NWURLConnectionOperation.h"
#include "foundation/http/NWURLSessionManager.h"
#include "platform/foundation/NSKeyValueObserving.h"
#include "platform/uikit/UIApplication.h"
#include "tests/support/MainLoop.h"

namespace {

class VisibleObserver : public NSObject {
 public:
  void observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id&, const std::shared_ptr<NSDictionary>& change,
                              void*) override {
    lines.push_back(keyPath->utf8() + " " + NSStringFromObject(change->objectForKey(NSKeyValueChangeNewKey)));
  }
  std::vector<std::string> lines;
};

struct Indicator {
  zvt::test::VirtualClockScope clock;
  std::shared_ptr<NWNetworkActivityIndicatorManager> manager = std::make_shared<NWNetworkActivityIndicatorManager>();
  std::shared_ptr<NWURLConnectionOperation> operation =
      NWURLConnectionOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1/a")));

  Indicator() {
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
    manager->observeNotifications();
  }
  ~Indicator() {
    NSNotificationCenter::defaultCenter()->removeObserver(manager);
    clock.advanceBy(1);
    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
  }
  void post(const zvt::StaticString& name, const id& object) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, object);
    zvt::test::drainMainLoop();
  }
  void start() { post(NWNetworkingOperationDidStartNotification, operation); }
  void finish() { post(NWNetworkingOperationDidFinishNotification, operation); }
  static bool shown() { return UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible(); }
};

}  // namespace

TEST(NetworkActivityIndicator, ShowsAtOnceAndHidesAfterTheDelayWithoutActivity) {
  struct Step {
    const char* what;
    std::function<void(Indicator&)> act;
    NSInteger count;
    bool shown;
  };
  const std::vector<Step> steps = {
      {"disabled: counted, not shown", [](Indicator& i) { i.start(); }, 1, false},
      {"disabled: counted down", [](Indicator& i) { i.finish(); i.clock.advanceBy(0.2); }, 0, false},
      {"enabled: shown at once", [](Indicator& i) { i.manager->setEnabled(true); i.start(); }, 1, true},
      {"a second request", [](Indicator& i) { i.start(); }, 2, true},
      {"one of two ends", [](Indicator& i) { i.finish(); i.clock.advanceBy(0.5); }, 1, true},
      {"the last ends: still shown", [](Indicator& i) { i.finish(); i.clock.advanceBy(0.16); }, 0, true},
      {"hidden after 0.17 s", [](Indicator& i) { i.clock.advanceBy(0.011); }, 0, false},
      {"restart within the delay", [](Indicator& i) { i.start(); i.finish(); i.clock.advanceBy(0.1); i.start(); }, 1, true},
      {"the cancelled hide never comes", [](Indicator& i) { i.clock.advanceBy(0.5); }, 1, true},
      {"more finishes than starts", [](Indicator& i) { i.finish(); i.finish(); i.finish(); }, 0, true},
      {"never below zero", [](Indicator& i) { i.start(); }, 1, true},
      {"a negative count is zero", [](Indicator& i) { i.manager->setActivityCount(-3); i.clock.advanceBy(0.2); }, 0, false},
      {"objects without a URL are not counted",
       [](Indicator& i) {
         i.post(NWNetworkingOperationDidStartNotification, std::make_shared<NSObject>());
         i.post(NWNetworkingTaskDidResumeNotification, nullptr);
       },
       0, false},
      {"set directly",
       [](Indicator& i) {
         i.manager->setActivityCount(2);
         zvt::test::drainMainLoop();
       },
       2, true},
  };
  Indicator indicator;
  for (const auto& step : steps) {
    step.act(indicator);
    EXPECT_EQ(indicator.manager->activityCount(), step.count) << step.what;
    EXPECT_EQ(Indicator::shown(), step.shown) << step.what;
  }
}

TEST(NetworkActivityIndicator, ObserversOfVisibilityHearEveryChangeOfTheCount) {
  Indicator indicator;
  auto observer = std::make_shared<VisibleObserver>();
  indicator.manager->addObserver(observer, NSString::stringWithUTF8String("networkActivityIndicatorVisible"),
                                 NSKeyValueObservingOptionNew, nullptr);
  indicator.start();
  indicator.start();
  indicator.finish();
  indicator.finish();
  indicator.finish();
  EXPECT_EQ(observer->lines, (std::vector<std::string>{"networkActivityIndicatorVisible 1", "networkActivityIndicatorVisible 1",
                                                       "networkActivityIndicatorVisible 1", "networkActivityIndicatorVisible 0",
                                                       "networkActivityIndicatorVisible 0"}));
  indicator.manager->removeObserver(observer, NSString::stringWithUTF8String("networkActivityIndicatorVisible"));
}
