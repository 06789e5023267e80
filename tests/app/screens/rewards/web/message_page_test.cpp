// A site message opens its page through the device under a private X display: the tapped row's
// HTML content (heading, paragraph, link) in the record page "详细情况".

#include <gtest/gtest.h>

#include "app/core/AppDelegate.h"
#include "app/screens/rewards/DetailViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/TZMessageViewController.h"
#include "tests/app/core/ShellTestSupport.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace zvt::test {
namespace {

class MessagePageTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ZVT_REQUIRE_DISPLAY();
    registerRewardsScreens();
    storeCredentials();
    auto delegate = launch();
    waitFor([&] { return delegate->isLogin() && delegate->userInfoDictionary(); });
    device().wait(0.5);
  }
};

TEST_F(MessagePageTest, ARowOpensItsHtmlInTheRecordPage) {
  auto stack = std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->selectedViewController());
  auto list = std::dynamic_pointer_cast<TZMessageViewController>(makeScreen("TZMessageViewController"));
  ASSERT_TRUE(list);
  stack->pushViewController(list, true);
  device().wait(1);
  waitFor([&] { return list->dataArray()->count() > 0; });
  device().wait(1);
  ASSERT_GT(list->dataArray()->count(), 1u);
  auto second = as<TZMessageModel>(list->dataArray()->objectAtIndex(1));
  ASSERT_TRUE(second);
  ASSERT_TRUE(device().tapRow(list->messageTabelView(), NSIndexPath::indexPathForRow(1, 0)));
  device().wait(1);
  auto page = std::dynamic_pointer_cast<DetailViewController>(topScreen());
  ASSERT_TRUE(page) << topClass();
  EXPECT_EQ(page->title()->utf8(), "详细情况");
  EXPECT_EQ(page->content()->utf8(), NSString::stringWithFormat("%@", second->content)->utf8());
  waitFor([&] { return !page->webView()->isLoading() && page->webView()->request(); }, 20);
  auto evaluate = [&](const char* script) {
    auto value = page->webView()->stringByEvaluatingJavaScriptFromString(NSString::stringWithUTF8String(script));
    return value ? value->utf8() : "";
  };
  EXPECT_EQ(evaluate("document.querySelector('h3').textContent"), NSString::stringWithFormat("%@", second->title)->utf8());
  EXPECT_EQ(evaluate("document.querySelectorAll('p').length"), "2");
  EXPECT_EQ(evaluate("document.querySelector('a').textContent"), "查看购物问题") << "a rebate's message";
  waitFor([] { return false; }, 0.5);
  device().wait(0.5);
  writeScreenPicture("Messages.page");
}

}  // namespace
}  // namespace zvt::test
