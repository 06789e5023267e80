// The push router and the item router through the launched shell: the route tables logged in
// and out, the running-app alert, the deferred launch route, untrusted payloads.

#include "analytics/StatAgent.h"
#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/ui/SharedViews.h"
#include "foundation/json/JSONDecoder.h"
#include "tests/app/core/ShellTestSupport.h"

namespace {

using zvt::test::ShellTest;

std::shared_ptr<NSDictionary> payload(const std::string& json) {
  return zvt::as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(json)));
}

class RoutingTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    zvt::test::registerStandInScreen({"ThecalendarViewController", "签到", {}});
    zvt::test::registerStandInScreen({"TZOrderViewController", "返利订单", {}});
    zvt::test::registerStandInScreen({"WebDetailViewController", "商品详情", {"goodsId", "taoBao_goodsId", "isProductPush"}});
    zvt::test::registerStandInScreen({"ActivityZoneViewController", "活动专区",
                                      {"activityZoneUrl", "activityZoneName", "isShare", "infoModel"}, "activityZoneName"});
    zvt::test::registerStandInScreen({"TZExchangeViewController", "兑换中心", {}});
    zvt::test::registerStandInScreen({"CourseViewController", "回扣教程", {"selectedIndex"}});
    zvt::test::registerStandInScreen({"InviteFriendsViewController", "邀请有奖", {}});
    zvt::test::registerStandInScreen({"TZMessageViewController", "站内信", {}});
    zvt::test::registerStandInScreen({"TZAssetsViewController", "资产明细", {"flag", "assetsTitle"}, "assetsTitle"});
  }
  // Back to the home tab's root, without animation.
  void home() {
    auto shell = delegate_->tabBarController();
    for (const auto& stack : shell->viewControllers())
      std::static_pointer_cast<UINavigationController>(stack)->popToRootViewControllerAnimated(false);
    shell->setSelectedWithIndex(0);
    device().wait(1);
  }
  // "key=value" of the properties, in the order asked.
  std::string properties(const std::vector<const char*>& keys) const {
    std::string out;
    for (const char* key : keys) out += std::string(out.empty() ? "" : " ") + key + "=" + topValue(key);
    return out;
  }
};

TEST_F(RoutingTest, TheLaunchRouteTableLoggedOutAndIn) {
  struct Case {
    int code;
    const char* loggedOut;   // the top class logged out ("" = nothing opened: the home root)
    const char* loggedIn;
    std::vector<const char*> keys;
    const char* values;      // the properties logged in
  };
  const std::vector<Case> cases = {
      {0, "", "", {}, ""},
      {1, "", "TZAssetsViewController", {"flag", "assetsTitle"}, "flag=out assetsTitle=提现明细"},
      {2, "", "TZOrderViewController", {}, ""},
      {3, "", "TZMessageViewController", {}, ""},
      {4, "ActivityZoneViewController", "ActivityZoneViewController", {"activityZoneUrl", "activityZoneName", "isShare"},
       "activityZoneUrl=http://127.0.0.1/act activityZoneName=双十一 isShare=1"},
      {5, "", "", {}, ""},
      {6, "TZStrollViewController", "TZStrollViewController", {}, ""},
      {7, "", "TZExchangeViewController", {}, ""},
      {8, "", "ThecalendarViewController", {}, ""},
      {9, "", "InviteFriendsViewController", {}, ""},
      {10, "TZNewSearchViewController", "TZNewSearchViewController", {}, ""},
      {11, "ProductStoreViewController", "ProductStoreViewController", {"smallSortType", "bigSortType", "isPush"},
       "smallSortType=0 bigSortType=1 isPush=1"},
      {12, "ProductStoreViewController", "ProductStoreViewController", {"bigSortType", "isPush"}, "bigSortType=4 isPush=1"},
      {13, "ProductStoreViewController", "ProductStoreViewController", {"bigSortType", "isPush"}, "bigSortType=3 isPush=1"},
      {14, "ThirdProductStoreViewController", "ThirdProductStoreViewController", {"isPush"}, "isPush=1"},
      {15, "", "", {}, ""},
  };
  auto delegate = launch();
  for (bool loggedIn : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(c.code) + (loggedIn ? " logged in" : " logged out"));
      home();
      delegate->setIsLogin(loggedIn);
      delegate->setRemoteNotification(payload(
          R"({"aps":{"alert":"新消息"},"content_type":")" + std::to_string(c.code) +
          R"(","link":"http://127.0.0.1/act","link_name":"双十一","isShare":"1"})"));
      delegate->getPushInfo();
      device().wait(1);
      const std::string expected = (loggedIn ? c.loggedIn : c.loggedOut);
      EXPECT_EQ(topClass(), expected.empty() ? "HomeViewController" : expected);
      EXPECT_EQ(delegate->remoteNotification() == nullptr, !expected.empty()) << "a route clears the payload";
      if (loggedIn && !c.keys.empty()) {
        EXPECT_EQ(properties(c.keys), c.values);
      }
      EXPECT_TRUE(sounds_->events().empty()) << "a launch payload plays no sound";
    }
  }
}

TEST_F(RoutingTest, AnAdvertShowsOverTheShellAndItsTapOpensTheProduct) {
  auto delegate = launch();
  const size_t handled = zvt::push::clientState().receivedPayloadCount;
  delegate->setRemoteNotification(payload(R"({"content_type":"goodAds","good":{"is_Show":"0","id":"5"}})"));
  delegate->getPushInfo();
  device().wait(1);
  EXPECT_TRUE(device().viewsOfClass<TZSingleProductView>().empty()) << "is_Show 0 shows nothing";
  EXPECT_FALSE(delegate->remoteNotification());
  EXPECT_EQ(zvt::push::clientState().receivedPayloadCount, handled + 1) << "still handed to the push client";

  delegate->setRemoteNotification(
      payload(R"({"content_type":"goodAds","good":{"is_Show":1,"id":"77","iid":"5550001","title":"夏季新款T恤"}})"));
  delegate->getPushInfo();
  device().wait(1);
  ASSERT_EQ(device().viewsOfClass<TZSingleProductView>().size(), 1u);
  EXPECT_EQ(device().viewsOfClass<TZSingleProductView>()[0]->superview(), delegate->tabBarController()->view());
  ASSERT_TRUE(device().tapText("夏季新款T恤"));
  device().wait(1);
  EXPECT_EQ(topClass(), "WebDetailViewController");
  EXPECT_EQ(topValue("goodsId") + " " + topValue("taoBao_goodsId") + " " + topValue("isProductPush"), "77 5550001 1");
}

TEST_F(RoutingTest, ARunningPayloadPlaysTheSoundAndAsksBeforeItRoutes) {
  auto delegate = launch();
  delegate->setIsLogin(true);
  auto application = UIApplication::sharedApplication();
  application->receiveRemoteNotification(payload(
      R"({"aps":{"alert":"双十一活动开始啦"},"content_type":"4","link":"http://127.0.0.1/a","link_name":"活动","isShare":"0"})"));
  device().wait(1);
  ASSERT_EQ(sounds_->events().size(), 1u);
  EXPECT_NE(sounds_->events()[0].find("play "), std::string::npos);
  EXPECT_NE(sounds_->events()[0].find("sound.wav"), std::string::npos);
  ASSERT_TRUE(device().viewWithText("双十一活动开始啦"));
  ASSERT_TRUE(device().tapText("去看看"));
  device().wait(1.5);
  EXPECT_EQ(topClass(), "ActivityZoneViewController");
  EXPECT_EQ(topValue("activityZoneName"), "活动");

  // "取消" opens nothing and clears the pending payload.
  delegate->setRemoteNotification(payload(R"({"content_type":"6"})"));
  application->receiveRemoteNotification(payload(R"({"aps":{"alert":"去逛逛"},"content_type":"6"})"));
  device().wait(1);
  ASSERT_TRUE(device().tapText("取消"));
  device().wait(1);
  EXPECT_EQ(topClass(), "ActivityZoneViewController");
  EXPECT_FALSE(delegate->remoteNotification());

  // Without a route code: the text with "确定" only.
  application->receiveRemoteNotification(payload(R"({"aps":{"alert":"系统通知"}})"));
  device().wait(1);
  EXPECT_TRUE(device().viewWithText("系统通知"));
  EXPECT_TRUE(device().viewWithText("确定"));
  EXPECT_FALSE(device().viewWithText("去看看"));
}

TEST_F(RoutingTest, TwoPayloadsInARowRouteEachByItsOwnCode) {
  auto delegate = launch();
  auto application = UIApplication::sharedApplication();
  application->receiveRemoteNotification(payload(
      R"({"aps":{"alert":"第一条"},"content_type":"4","link":"http://127.0.0.1/first","link_name":"第一","isShare":"1"})"));
  application->receiveRemoteNotification(payload(R"({"aps":{"alert":"第二条"},"content_type":"6"})"));
  device().wait(1);
  EXPECT_EQ(delegate->type(), 6);
  ASSERT_TRUE(device().tapText("去看看"));  // the newest alert, in front
  device().wait(1.5);
  EXPECT_EQ(topClass(), "TZStrollViewController");
  ASSERT_TRUE(device().viewWithText("第一条"));
  ASSERT_TRUE(device().tapText("去看看"));
  device().wait(1.5);
  EXPECT_EQ(topClass(), "ActivityZoneViewController") << "the first alert routes by its own code";
  EXPECT_EQ(topValue("activityZoneUrl"), "http://127.0.0.1/first");
}

TEST_F(RoutingTest, UntrustedPayloadsNeverCrash) {
  struct Case {
    const char* json;
    NSInteger type;
    const char* shows;  // a text the running alert shows, "" for none
  };
  const std::vector<Case> cases = {
      {R"({"aps":{"alert":"数字"},"content_type":6})", 6, "去看看"},
      {R"({"aps":{"alert":"空"},"content_type":null})", 0, "确定"},
      {R"({"aps":{"alert":"字典"},"content_type":{"a":1}})", 0, "确定"},
      {R"({"aps":"not a dictionary","content_type":[1,2]})", 0, "确定"},
      {R"({"content_type":"goodAds","good":"not a dictionary"})", 0, ""},
      {R"({"content_type":"goodAds","good":{"is_Show":null}})", 0, ""},
      // No alert text: the question still comes, with an empty message.
      {R"({"content_type":"6"})", 6, "去看看"},
      {R"({"aps":{},"content_type":"3"})", 3, "去看看"},
      {R"({"aps":{"badge":1}})", 0, "确定"},
  };
  auto delegate = launch();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto p = payload(c.json);
    ASSERT_TRUE(p);
    UIApplication::sharedApplication()->receiveRemoteNotification(p);
    device().wait(1);
    if (*c.shows) {
      EXPECT_EQ(delegate->type(), c.type);
      EXPECT_TRUE(device().viewWithText(c.shows));
    }
    EXPECT_TRUE(device().viewsContainingText("(null)").empty());
    EXPECT_TRUE(device().viewsOfClass<TZSingleProductView>().empty());
    dismissAlerts();
  }
}

TEST_F(RoutingTest, ALaunchPayloadWaitsForTheAutomaticLogin) {
  storeCredentials();
  // The network is first reported down, so that the launch routes before any login.
  reachability_->setFlags(0);
  auto delegate = launch(payload(R"({"aps":{"alert":"订单返利到账"},"content_type":"2"})"));
  dismissAlerts();
  EXPECT_EQ(topClass(), "HomeViewController") << "nothing opens before the login";
  EXPECT_TRUE(delegate->remoteNotification());
  reachability_->changeFlags(zvt::test::kReachable);
  ASSERT_TRUE(waitFor([&] { return topClass() == "TZOrderViewController"; }));
  EXPECT_TRUE(delegate->isLogin());
  EXPECT_FALSE(delegate->remoteNotification());
  EXPECT_EQ(service_->requestCount("login"), 1);
}

TEST_F(RoutingTest, TheItemRouterTable) {
  struct Case {
    int local;
    int link;
    bool loggedIn;
    const char* opens;    // "" = nothing; "login" = the login screen presented
    const char* event;    // "" = none
    std::vector<const char*> keys;
    const char* values;
  };
  const std::vector<Case> cases = {
      {0, 0, false, "ActivityZoneViewController", "ActiveZone", {"activityZoneName", "isShare"}, "activityZoneName=秒杀 isShare=1"},
      {1, 1, false, "ProductStoreViewController", "ExcellentGoods", {"bigSortType", "isPush"}, "bigSortType=4 isPush=1"},
      {1, 2, false, "login", "", {}, ""},
      {1, 2, true, "ThecalendarViewController", "", {}, ""},
      {1, 3, false, "login", "", {}, ""},
      {1, 3, true, "TZExchangeViewController", "ExchangeCentre", {}, ""},
      {1, 4, false, "ProductStoreViewController", "Free9point9", {"bigSortType"}, "bigSortType=1"},
      {1, 5, false, "ProductStoreViewController", "HighRebate", {"bigSortType"}, "bigSortType=3"},
      {1, 6, true, "", "", {}, ""},
      {1, 7, false, "ThirdProductStoreViewController", "MallRebate", {"isPush"}, "isPush=1"},
      {1, 8, false, "login", "", {}, ""},
      {1, 8, true, "TZOrderViewController", "RebateOrder", {}, ""},
      {1, 9, false, "CourseViewController", "RebateCourse", {}, ""},
      {1, 10, false, "TZStrollViewController", "Stroll", {}, ""},
      {1, 11, true, "", "", {}, ""},
      {2, 1, true, "", "", {}, ""},
  };
  auto delegate = launch();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.local) + "/" + std::to_string(c.link) + (c.loggedIn ? " logged in" : ""));
    home();
    zvt::stat::flush();
    const size_t recordsBefore = zvt::stat::recordedEntries().size();
    delegate->setIsLogin(c.loggedIn);
    auto item = std::make_shared<TZHeaderInfoModel>();
    item->local = NSString::stringWithFormat("%d", c.local);
    item->link = c.local == 0 ? std::static_pointer_cast<NSObject>("http://127.0.0.1/zone"_ns)
                              : std::static_pointer_cast<NSObject>(NSString::stringWithFormat("%d", c.link));
    item->name = "秒杀"_ns;
    item->isShare = "1"_ns;
    auto root = topScreen();
    clickAction(root, item);
    device().wait(1);
    const std::string opens = c.opens;
    if (opens == "login") {
      auto presented = std::dynamic_pointer_cast<UINavigationController>(root->navigationController()->presentedViewController());
      ASSERT_TRUE(presented);
      EXPECT_EQ(presented->viewControllers().front()->className(), "TZLoginViewController");
      presented->dismissViewControllerAnimated(false);
      device().wait(1);
    } else {
      EXPECT_EQ(topClass(), opens.empty() ? "HomeViewController" : opens);
      if (!c.keys.empty()) {
        EXPECT_EQ(properties(c.keys), c.values);
      }
      if (opens == "ActivityZoneViewController") {
        EXPECT_EQ(topScreen()->valueForKey("infoModel"_ns), item);
      }
    }
    zvt::stat::flush();
    auto records = zvt::stat::recordedEntries();
    std::string logged;
    for (size_t i = recordsBefore; i < records.size(); ++i)
      if (NSString::stringWithFormat("%@", records[i]->objectForKey("kind"_ns))->isEqualToString("event"))
        logged = NSString::stringWithFormat("%@", records[i]->objectForKey("id"_ns))->utf8();
    EXPECT_EQ(logged, c.event);
  }
}

}  // namespace
