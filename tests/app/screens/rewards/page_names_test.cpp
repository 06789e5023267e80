// The folder's help, service and earning screens as the shell shows them: each pushed on the
// home tab and popped again records its page view under its own name, hides the custom tab bar
// or leaves it as its opener had it, and shows the white bar of the pushed screens.

#include <gtest/gtest.h>

#include "analytics/StatAgent.h"
#include "app/screens/rewards/FeedbackViewController.h"
#include "app/screens/rewards/HelpViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/TZWebWallViewController.h"
#include "platform/uikit/UINavigationBar.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {
namespace {

class PageNamesTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    registerRewardsScreens();
    launch();
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }

  // Page views begun and ended under the name.
  static int pageViews(const std::string& page) {
    stat::flush();
    int count = 0;
    for (const auto& record : stat::recordedEntries()) {
      auto kind = as<NSString>(record->objectForKey("kind"_ns));
      auto name = as<NSString>(record->objectForKey("page"_ns));
      if (kind && name && kind->utf8() == "page" && name->utf8() == page) ++count;
    }
    return count;
  }
};

TEST_F(PageNamesTest, EachScreenNamesItsPageAndSetsTheTabBarAndTheWhiteBar) {
  struct Case {
    const char* page;
    std::function<std::shared_ptr<UIViewController>()> make;
    bool hidesTabBar;
  };
  const std::vector<Case> cases = {
      {"回扣券", [] { return makeScreen("TZRebateCouponViewController"); }, true},
      {"意见反馈页", [] { return FeedbackViewController::make(); }, false},
      {"Zavelto客服页", [] { return makeScreen("TZServerQQViewController"); }, true},
      {"回扣教程页", [] { return makeScreen("CourseViewController"); }, true},
      {"帮助中心页", [] { return makeScreen("HelpViewController"); }, true},
      {"常见问题页",
       [] {
         auto page = TZHelpDetailViewController::make();
         page->helpTitle = "新手一分钟"_ns;
         return page;
       },
       false},
      {"关于Zavelto页", [] { return makeScreen("AboutZaveltoViewController"); }, false},
      {"赚积分", [] { return TZWebWallViewController::make(); }, true},
      {"我要赚钱页面", [] { return makeScreen("TZMakeMoneyViewController"); }, true},
  };
  auto bar = homeStack()->navigationBar();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    ASSERT_FALSE(delegate_->tabBarController()->tabbarView()->isHidden()) << "the home tab's root shows it";
    auto screen = c.make();
    ASSERT_TRUE(screen);
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    ASSERT_EQ(topScreen(), screen);
    EXPECT_EQ(delegate_->tabBarController()->tabbarView()->isHidden(), c.hidesTabBar);
    EXPECT_EQ(bar->barStyle(), UIBarStyleDefault);
    ASSERT_TRUE(bar->barTintColor());
    EXPECT_TRUE(bar->barTintColor()->isEqual(UIColor::whiteColor()));
    EXPECT_EQ(pageViews(c.page), 0) << "begun, not yet ended";
    homeStack()->popViewControllerAnimated(true);
    device().wait(1);
    EXPECT_EQ(pageViews(c.page), 1);
    // Whatever the screen left, the home tab's root brings its tab bar back.
    device().wait(0.5);
  }
}

}  // namespace
}  // namespace zvt::test
