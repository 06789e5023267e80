// The record page ("详细情况") through the device under a private X display: the record's
// HTML content shown as a page of no address, reached by key-value coding as the openers set
// it, and its analytics page.

#include <gtest/gtest.h>

#include "app/screens/rewards/AssetsViewControllers.h"
#include "app/screens/rewards/DetailViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "platform/graphics/UIScreen.h"
#include "tests/app/core/ShellTestSupport.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace zvt::test {
namespace {

class RecordPageTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ZVT_REQUIRE_DISPLAY();
    registerRewardsScreens();
    launch();
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }

  // Made by name with `content` set by key-value coding, as the site messages do, and pushed.
  std::shared_ptr<DetailViewController> open(const id& content) {
    auto screen = makeScreen("DetailViewController");
    if (!screen) return nullptr;
    screen->setValueForKey(content, "content"_ns);
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    auto page = std::dynamic_pointer_cast<DetailViewController>(topScreen());
    if (page) waitFor([&] { return !page->webView()->isLoading() && page->webView()->request(); }, 20);
    return page;
  }

  static std::string evaluate(const std::shared_ptr<DetailViewController>& page, const char* script) {
    auto value = page->webView()->stringByEvaluatingJavaScriptFromString(NSString::stringWithUTF8String(script));
    return value ? value->utf8() : "";
  }

  // The page views recorded so far (a view is recorded once it has begun and ended).
  static int pageViews(const char* name) {
    stat::flush();
    int count = 0;
    for (const auto& entry : stat::recordedEntries()) {
      auto page = as<NSString>(entry->objectForKey("page"_ns));
      if (page && page->utf8() == name) ++count;
    }
    return count;
  }
};

TEST_F(RecordPageTest, TheContentIsShownAsAPageWithNoAddress) {
  auto page = open(NSString::stringWithUTF8String("<p>淘宝订单 <b>528800</b> 已确认收货，返利 <b>1.50元</b> 已到账。</p>"));
  ASSERT_TRUE(page) << topClass();
  EXPECT_EQ(page->title()->utf8(), "详细情况");
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  EXPECT_EQ(page->webView()->frame(), CGRectMake(0, 0, screen.width, screen.height - 20));
  EXPECT_EQ(evaluate(page, "document.body.textContent"), "淘宝订单 528800 已确认收货，返利 1.50元 已到账。");
  EXPECT_EQ(evaluate(page, "document.querySelectorAll('b').length"), "2") << "read as HTML, not as text";
  EXPECT_EQ(evaluate(page, "location.href"), "about:blank");
  EXPECT_TRUE(delegate_->tabBarController()->tabbarView()->isHidden());
  waitFor([] { return false; }, 0.5);
  device().wait(0.5);
  writeScreenPicture("record-page");

  // The back item leaves it; the page view ends then.
  EXPECT_EQ(pageViews("明细详细情况页"), 0);
  device().tap(CGPointMake(20, 42));
  device().wait(1);
  EXPECT_NE(topScreen(), page);
  EXPECT_EQ(pageViews("明细详细情况页"), 1);
}

TEST_F(RecordPageTest, AnIncomeRowOpensItsContentAsAPage) {
  // The demo user, logged in: the menu's income list, its first row tapped.
  storeCredentials();
  delegate_.reset();
  launch();
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin() && delegate_->userInfoDictionary(); }));
  homeStack()->pushViewController(makeScreen("MyAssetsViewController"), true);
  device().wait(1);
  ASSERT_TRUE(device().tapText("收入明细"));
  device().wait(1);
  auto list = std::dynamic_pointer_cast<TZAssetsViewController>(topScreen());
  ASSERT_TRUE(list) << topClass();
  ASSERT_TRUE(waitFor([&] { return list->dataAray()->count() > 0; }));
  device().wait(1);
  auto cell = std::dynamic_pointer_cast<TZRefundCell>(list->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)));
  ASSERT_TRUE(cell);
  const std::string content = cell->refundModel() ? as<NSString>(cell->refundModel()->content)->utf8() : "";
  // The demo's contents are plain text: the row shows it as it is, the page as HTML, alike.
  ASSERT_EQ(content, "淘宝订单 88000000000119 已确认收货，返利 97 个集分宝（含回扣券额外 5 个）已到账。");
  ASSERT_TRUE(device().tapView(cell));
  device().wait(1);
  auto page = std::dynamic_pointer_cast<DetailViewController>(topScreen());
  ASSERT_TRUE(page) << topClass();
  ASSERT_TRUE(waitFor([&] { return !page->webView()->isLoading() && page->webView()->request(); }, 20));
  EXPECT_EQ(evaluate(page, "document.body.innerHTML"), content);
  EXPECT_EQ(evaluate(page, "document.body.textContent"), content);
  EXPECT_EQ(evaluate(page, "location.href"), "about:blank");
}

TEST_F(RecordPageTest, ARecordWithoutContentShowsAnEmptyPage) {
  auto page = open(nullptr);
  ASSERT_TRUE(page) << topClass();
  EXPECT_EQ(evaluate(page, "document.body.textContent"), "");
  EXPECT_EQ(evaluate(page, "location.href"), "about:blank");
}

}  // namespace
}  // namespace zvt::test
