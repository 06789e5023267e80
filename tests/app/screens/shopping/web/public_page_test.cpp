// The plain web page and the cart tips: the title, the back and close items, the failure tip that
// stays, the tips over the whole window on the cart page only, "知道啦" for this visit and
// "不再提示" for good (across a restart of the application), and the theme bar put back on leaving
// any page but the cart.

#include "app/core/Configuration.h"
#include "app/screens/shopping/TZPublicViewController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "tests/app/screens/shopping/web/WebScreenTestSupport.h"

namespace {

using zvt::test::WebScreenTest;
using zvt::test::runMainLoopUntil;

std::shared_ptr<NSString> str(const std::string& s) { return NSString::stringWithUTF8String(s); }

class PublicPageTest : public WebScreenTest {
 protected:
  std::shared_ptr<TZPublicViewController> openPage(const char* title, const std::string& address) {
    std::vector<std::pair<const char*, id>> properties = {{"webUrl", str(address)}};
    if (title) properties.push_back({"webTitle", str(title)});
    return open<TZPublicViewController>("TZPublicViewController", properties);
  }
  std::shared_ptr<TZPublicViewController> openCart() {
    return openPage("我的购物车", zvt::Configuration::taobaoCartURLString()->utf8());
  }
  void leave() {
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(1);
  }
};

TEST_F(PublicPageTest, TheCartTipsComeBackUntilTheUserDeclinesThemForGood) {
  launch();
  auto cart = openCart();
  ASSERT_TRUE(waitForPage(cart->customWebView(), "/shop/cart.html"));
  EXPECT_EQ(cart->title()->utf8(), "我的购物车");
  auto tips = device().viewsOfClass<TZShoppingCarTips>();
  ASSERT_EQ(tips.size(), 1u);
  EXPECT_EQ(tips[0]->superview(), delegate_->tabBarController()->view()) << "over the bars too";
  EXPECT_TRUE(CGRectEqualToRect(tips[0]->frame(), UIScreen::mainScreen()->bounds()));
  EXPECT_TRUE(device().viewWithText("小教程"));
  EXPECT_TRUE(device().viewsContainingText("再回到购物车下单才有回扣哦~").size() == 1);
  waitForPaint(cart->customWebView());
  zvt::test::writeScreenPicture("cart-tips");

  // "知道啦": gone for this visit, back on the next one.
  ASSERT_TRUE(device().tapText("知道啦"));
  device().wait(0.5);
  EXPECT_TRUE(device().viewsOfClass<TZShoppingCarTips>().empty());
  EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->boolForKey("isShoppingCarTipPopUp"_ns));
  leave();
  openCart();
  ASSERT_EQ(device().viewsOfClass<TZShoppingCarTips>().size(), 1u);

  // "不再提示": gone, also after a restart of the application.
  ASSERT_TRUE(device().tapText("不再提示"));
  device().wait(0.5);
  EXPECT_TRUE(device().viewsOfClass<TZShoppingCarTips>().empty());
  leave();
  delegate_->window()->setHidden(true);
  NSUserDefaults::resetStandardUserDefaults();
  launch();
  openCart();
  EXPECT_TRUE(device().viewsOfClass<TZShoppingCarTips>().empty());
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey("isShoppingCarTipPopUp"_ns));

  // Another title never shows them.
  leave();
  NSUserDefaults::standardUserDefaults()->removeObjectForKey("isShoppingCarTipPopUp"_ns);
  openPage("赚钱攻略", service_->rootURL() + "/shop/other.html");
  EXPECT_TRUE(device().viewsOfClass<TZShoppingCarTips>().empty());
}

TEST_F(PublicPageTest, LeavingAPageOtherThanTheCartPutsTheThemeBarBack) {
  launch();
  NSUserDefaults::standardUserDefaults()->setBool(true, "isShoppingCarTipPopUp"_ns);
  struct Case {
    const char* title;
    std::string address;
    bool whiteStays;
  };
  const Case cases[] = {
      {"赚钱攻略", service_->rootURL() + "/shop/other.html", false},
      {"我的购物车", zvt::Configuration::taobaoCartURLString()->utf8(), true},
  };
  auto bar = [&] { return homeStack()->navigationBar(); };
  auto titleColour = [&] { return bar()->titleTextAttributes()->objectForKey(NSForegroundColorAttributeName); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    // The screen under the page leaves the bar as it finds it, so what shows after the page has
    // gone is what the page left.
    auto below = UIViewController::make();
    below->setTitle("下层"_ns);
    homeStack()->pushViewController(below, false);
    device().wait(0.5);
    auto page = openPage(c.title, c.address);
    ASSERT_TRUE(waitFor([&] { return !page->customWebView()->isLoading(); }));
    EXPECT_TRUE(bar()->barTintColor()->isEqual(UIColor::whiteColor()));
    ASSERT_TRUE(tapBarItem(page->backItem()));
    device().wait(1);
    ASSERT_EQ(homeStack()->topViewController(), below);
    EXPECT_TRUE(bar()->barTintColor()->isEqual(c.whiteStays ? UIColor::whiteColor() : zvt::themeBarColor()));
    EXPECT_TRUE(titleColour()->isEqual(c.whiteStays ? UIColor::blackColor() : UIColor::whiteColor()));
    leave();
  }
}

TEST_F(PublicPageTest, BackWalksThePageThenLeavesAndAFailureStaysOnScreen) {
  launch();
  auto page = openPage(nullptr, service_->rootURL() + "/item.php?iid=520000000000&id=1000&uid=0");
  auto web = page->customWebView();
  EXPECT_EQ(page->title()->utf8(), "浏览网页");
  ASSERT_TRUE(waitForPage(web, "/item.php"));
  EXPECT_TRUE(device().viewsOfClass<TZShoppingCarTips>().empty());
  tapElement(web, "detail");
  ASSERT_TRUE(waitForPage(web, "/shop/detail.html"));
  ASSERT_TRUE(tapBarItem(page->backItem()));
  ASSERT_TRUE(waitForPage(web, "/item.php"));
  ASSERT_TRUE(page->closeItem());
  EXPECT_EQ(page->navigationItem()->leftBarButtonItems().size(), 2u);
  ASSERT_TRUE(tapBarItem(page->backItem()));
  device().wait(1);
  EXPECT_NE(homeStack()->topViewController(), page);

  // A shop that is gone: "加载失败" stays until something replaces it.
  auto gone = openPage("旧活动", service_->rootURL() + "/shop/gone.php");
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("加载失败") != nullptr; }));
  device().wait(10);
  EXPECT_TRUE(device().viewWithText("加载失败"));
  EXPECT_EQ(gone->title()->utf8(), "旧活动");
}

}  // namespace
