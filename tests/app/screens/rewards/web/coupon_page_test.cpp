// The rebate coupon page through the device against the local service, under a private X
// display: opened from the personal centre's coupon button with the site cookie of a login,
// its three native functions driven by the page's own buttons, the spinner over every load the
// page starts, the failure tip and the refresh item.

#include <gtest/gtest.h>

#include "app/screens/account/UserInfoViewController.h"
#include "app/screens/rewards/TZRebateCouponViewController.h"
#include "app/screens/shopping/TZOrderViewController.h"
#include "tests/app/screens/rewards/web/RewardsWebTestSupport.h"

namespace zvt::test {
namespace {

constexpr const char* kPage = "/wap/coupon.php";

class CouponPageTest : public RewardsWebTest {
 protected:
  void SetUp() override {
    RewardsWebTest::SetUp();
    if (IsSkipped()) return;
    launch();
  }

  std::shared_ptr<UINavigationController> centreStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().at(4));
  }

  // The fifth tab's personal centre, then its coupon button, as a person opens the page.
  std::shared_ptr<TZRebateCouponViewController> openFromCentre() {
    device().tapText("我的");
    device().wait(1);
    auto centre = std::dynamic_pointer_cast<UserInfoViewController>(topScreen());
    if (!centre) return nullptr;
    waitFor([&] { return centre->headerView()->couponBtn() && !centre->headerView()->couponBtn()->isHidden(); }, 10);
    device().wait(0.5);
    if (!device().tapView(centre->headerView()->couponBtn())) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZRebateCouponViewController>(topScreen());
  }

  // Lets the page finish and the finish's overlay leave.
  static bool waitForCoupons(const std::shared_ptr<UIWebView>& web) {
    const bool shown = waitForPage(web, kPage);
    device().wait(1);
    return shown;
  }
};

TEST_F(CouponPageTest, TheLoggedInUsersPageDrivesOrdersLoginAndSearch) {
  ASSERT_TRUE(logInDemoUser());
  auto screen = openFromCentre();
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen->title()->utf8(), "回扣券");
  auto web = screen->mainView();
  ASSERT_TRUE(waitForCoupons(web));
  EXPECT_EQ(web->frame(), screen->view()->bounds());
  // A plain GET of the address; the cookie told the service who asks.
  EXPECT_EQ(pageRequests(kPage), 1u);
  EXPECT_EQ(lastPageValue(kPage, "target"), kPage);
  EXPECT_EQ(lastPageValue(kPage, "method"), "GET");
  EXPECT_EQ(lastPageValue(kPage, "session_user"), std::string(kServiceTestUserId));
  EXPECT_EQ(text(web, "owner").rfind("zvttest的回扣券", 0), 0u) << text(web, "owner");
  EXPECT_NE(text(web, "usable"), "0");
  EXPECT_FALSE(spinnerShows());
  EXPECT_TRUE(delegate_->tabBarController()->tabbarView()->isHidden());
  waitForPaint(web);
  writeScreenPicture("coupon-page");

  // "callOrder": the rebate orders over the page.
  tapElement(web, "order");
  ASSERT_TRUE(waitFor([&] { return topClass() == "TZOrderViewController"; }, 10));
  device().wait(1);
  EXPECT_EQ(centreStack()->viewControllers().size(), 3u);
  centreStack()->popViewControllerAnimated(false);
  device().wait(1);
  ASSERT_EQ(topScreen(), screen);

  // "upLogin": the login screen presented over the page, which is not loaded again by itself.
  tapElement(web, "login");
  ASSERT_TRUE(waitFor([&] { return presented() != nullptr; }, 10));
  device().wait(1);
  auto login = std::dynamic_pointer_cast<UINavigationController>(presented());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->viewControllers().front()->className(), "TZLoginViewController");
  login->dismissViewControllerAnimated(false);
  device().wait(1);
  EXPECT_EQ(pageRequests(kPage), 1u);

  // "callSearch": the fifth tab's stack back at its root, the Taobao rebate tab shown.
  tapElement(web, "search");
  ASSERT_TRUE(waitFor([&] { return delegate_->tabBarController()->selectedIndex() == 2; }, 10));
  device().wait(1);
  EXPECT_EQ(centreStack()->viewControllers().size(), 1u);
  EXPECT_EQ(centreStack()->topViewController()->className(), "UserInfoViewController");
  EXPECT_TRUE(device().viewWithText("淘宝回扣"));
  EXPECT_EQ(topClass(), "TZNewSearchViewController");
}

// The demo user's page names each coupon's order by the number the orders list shows, and after
// a coupon is used there, the order's other coupons are no longer counted or offered as usable
// (the page once named orders by record ids, "订单 3000", and kept the others "可使用").
TEST_F(CouponPageTest, ACouponsOrderIsTheOneTheOrdersListShowsAndAUseThereVoidsItsOthers) {
  ASSERT_TRUE(logInDemoUser());
  auto screen = openFromCentre();
  ASSERT_TRUE(screen);
  auto web = screen->mainView();
  ASSERT_TRUE(waitForCoupons(web));
  const int usable = std::stoi(text(web, "usable"));
  auto rowsOf = [&](const std::string& number) {
    return js(web, "Array.from(document.querySelectorAll('#coupons li span')).map(s => s.textContent)"
                   ".filter(t => t.indexOf('订单 " + number + " ') == 0).join('|')");
  };
  const std::string first = js(web, "document.querySelector('#coupons li span').textContent");
  const size_t from = first.find("订单 "), to = first.find(" · ");
  ASSERT_TRUE(from == 0 && to != std::string::npos) << first;
  const std::string number = first.substr(from + std::string("订单 ").size(), to - from - std::string("订单 ").size());
  EXPECT_EQ(rowsOf(number), "订单 " + number + " · 可使用|订单 " + number + " · 可使用|订单 " + number + " · 可使用");

  // "去回扣订单使用": the orders list, whose first order bears that number; one of its coupons used.
  tapElement(web, "order");
  ASSERT_TRUE(waitFor([&] { return topClass() == "TZOrderViewController"; }, 10));
  auto orders = std::dynamic_pointer_cast<TZOrderViewController>(topScreen());
  ASSERT_TRUE(orders);
  ASSERT_TRUE(waitFor(
      [&] {
        device().wait(0.1);
        return orders->tableView()->numberOfRowsInSection(0) > 0;
      },
      10));
  device().wait(1);
  auto firstOrder = [&] {
    return std::dynamic_pointer_cast<TZTaobaoOrderCell>(orders->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)));
  };
  ASSERT_TRUE(firstOrder());
  EXPECT_EQ(firstOrder()->orderNumLabel()->text()->utf8(), number);
  const int offers = service_->requestCount("get_coupon");
  ASSERT_TRUE(device().tapView(firstOrder()->rebateBtn()));
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("get_coupon") > offers; }, 10));
  ASSERT_TRUE(waitFor(
      [&] {
        device().wait(0.1);
        return firstOrder() && firstOrder()->rebateView()->subviews().size() == 3;
      },
      10));
  device().wait(0.5);
  ASSERT_EQ(firstOrder()->rebateView()->subviews().size(), 3u);
  ASSERT_TRUE(device().tapView(firstOrder()->rebateView()->subviews().at(0)));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("确定"));
  ASSERT_TRUE(waitFor(
      [] {
        device().wait(0.05);
        return device().viewWithText("使用成功，获得额外回扣5集分宝") != nullptr;
      },
      10));
  device().wait(3);

  // Back on the page, loaded again: one used, its two siblings void, none of them counted.
  centreStack()->popViewControllerAnimated(false);
  device().wait(1);
  ASSERT_EQ(topScreen(), screen);
  const size_t asked = pageRequests(kPage);
  ASSERT_TRUE(tapBarItemOf(centreStack(), screen->navigationItem()->rightBarButtonItem()));
  ASSERT_TRUE(waitFor([&] { return pageRequests(kPage) > asked && !web->isLoading(); }, 20));
  device().wait(1);
  EXPECT_EQ(rowsOf(number), "订单 " + number + " · 已使用|订单 " + number + " · 已失效|订单 " + number + " · 已失效");
  EXPECT_EQ(text(web, "usable"), std::to_string(usable - 3));
  waitForPaint(web);
  writeScreenPicture("coupon-page-after-a-use");
}

TEST_F(CouponPageTest, WithoutASessionThePageOffersOnlyTheLogin) {
  // The screen pushed while nobody is logged in: no cookie goes with the request.
  homeStack()->pushViewController(makeScreen("TZRebateCouponViewController"), true);
  device().wait(1);
  auto screen = std::dynamic_pointer_cast<TZRebateCouponViewController>(topScreen());
  ASSERT_TRUE(screen);
  ASSERT_TRUE(waitForCoupons(screen->mainView()));
  EXPECT_EQ(lastPageValue(kPage, "session_user"), "(nil)");
  EXPECT_EQ(js(screen->mainView(), "document.querySelectorAll('button').length"), "1");
  tapElement(screen->mainView(), "login");
  ASSERT_TRUE(waitFor([&] { return presented() != nullptr; }, 10));
  device().wait(1);
  presented()->dismissViewControllerAnimated(false);
  device().wait(1);
}

TEST_F(CouponPageTest, AfterThePopTheFunctionsDoNothing) {
  ASSERT_TRUE(logInDemoUser());
  std::shared_ptr<UIWebView> web;
  {
    auto screen = openFromCentre();
    ASSERT_TRUE(screen);
    web = screen->mainView();
    ASSERT_TRUE(waitForCoupons(web));
    ASSERT_TRUE(tapBarItemOf(centreStack(), screen->navigationItem()->leftBarButtonItem()));
  }
  device().wait(1);
  ASSERT_EQ(centreStack()->viewControllers().size(), 1u);
  // The page, kept alive, calls each function as its buttons would.
  for (const char* function : {"callOrder", "upLogin", "callSearch"}) {
    SCOPED_TRACE(function);
    js(web, std::string(function) + "()");
    waitFor([] { return false; }, 0.5);
    device().wait(0.5);
    EXPECT_EQ(centreStack()->viewControllers().size(), 1u);
    EXPECT_FALSE(presented());
    EXPECT_EQ(delegate_->tabBarController()->selectedIndex(), 4u);
  }
}

TEST_F(CouponPageTest, EveryLoadShowsTheSpinnerAndAFailureTipsThenRefreshLoadsAgain) {
  ASSERT_TRUE(logInDemoUser());
  // The first load held back a moment, so the spinner can be seen.
  service_->script(ScriptedReply{.op = kPage, .iface = "page", .delayMs = 800});
  auto screen = openFromCentre();
  ASSERT_TRUE(screen);
  auto web = screen->mainView();
  EXPECT_TRUE(waitFor([] { return spinnerShows(); }, 5)) << "the spinner while the page loads";
  ASSERT_TRUE(waitForCoupons(web));
  EXPECT_FALSE(spinnerShows());

  // A load the page starts itself shows the spinner again until it finishes.
  service_->script(ScriptedReply{.op = kPage, .iface = "page", .delayMs = 800});
  js(web, "location.href='" + service_->rootURL() + kPage + "?all=1'");
  EXPECT_TRUE(waitFor([] { return spinnerShows(); }, 5));
  ASSERT_TRUE(waitFor([&] { return js(web, "location.search") == "?all=1" && !web->isLoading(); }, 20));
  EXPECT_EQ(pageRequests(kPage), 2u);
  device().wait(1);
  EXPECT_FALSE(spinnerShows());

  // A dropped load: the failure tip for 1.5 s, the page left as it was. Every go is dropped
  // until the tip shows: the engine sends a load cut on a kept-alive connection again, once for
  // each idle connection it holds.
  service_->script(ScriptedReply{.op = kPage, .iface = "page", .drop = true, .sticky = true});
  ASSERT_TRUE(tapBarItemOf(centreStack(), screen->navigationItem()->rightBarButtonItem()));
  ASSERT_TRUE(waitFor([] { return device().viewWithText("加载失败，请检查您的网络是否正常") != nullptr; }, 20));
  service_->clearScripts();
  // The spinner it replaced fades out meanwhile.
  device().wait(0.5);
  EXPECT_FALSE(spinnerShows());
  writeScreenPicture("coupon-page-failed");
  device().wait(0.8);
  EXPECT_TRUE(device().viewWithText("加载失败，请检查您的网络是否正常"));
  device().wait(0.6);
  EXPECT_FALSE(device().viewWithText("加载失败，请检查您的网络是否正常"));
  const size_t asked = pageRequests(kPage);

  // The refresh item tries again.
  ASSERT_TRUE(tapBarItemOf(centreStack(), screen->navigationItem()->rightBarButtonItem()));
  ASSERT_TRUE(waitFor([&] { return pageRequests(kPage) > asked && !web->isLoading(); }, 20));
  device().wait(1);
  EXPECT_FALSE(spinnerShows());
  EXPECT_EQ(text(web, "owner").rfind("zvttest的回扣券", 0), 0u);
}

}  // namespace
}  // namespace zvt::test
