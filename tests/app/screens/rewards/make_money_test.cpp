// The earn-money grid through the device against the local service: the service's five tiles in
// rows of two, a tile following its link as a configured banner does, the failures as tips over
// an empty grid, and its right item opening the offer wall behind the login gate.

#include <gtest/gtest.h>

#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/TZMakeMoneyViewController.h"
#include "tests/app/core/ShellTestSupport.h"
#include "ui/hud/POProgressHUD.h"

namespace zvt::test {
namespace {

class MakeMoneyTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    registerRewardsScreens();
    // The activity page lives in the shopping folder and the login screen in the account folder.
    registerStandInScreen({"ActivityZoneViewController", "活动专区", {"activityZoneUrl", "activityZoneName", "isShare", "infoModel"},
                           "activityZoneName"});
    registerStandInScreen({"TZLoginViewController", "登录", {}});
    launch();
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }

  // Pushed on the home tab as the personal centre's row pushes it; waits for its tiles.
  std::shared_ptr<TZMakeMoneyViewController> open() {
    homeStack()->pushViewController(makeScreen("TZMakeMoneyViewController"), true);
    device().wait(1);
    auto grid = std::dynamic_pointer_cast<TZMakeMoneyViewController>(topScreen());
    if (grid) waitFor([&] { return grid->dataArray()->count() > 0; });
    device().wait(0.5);
    return grid;
  }

  std::shared_ptr<UINavigationController> presentedStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->presentedViewController());
  }
};

TEST_F(MakeMoneyTest, FiveTilesInRowsOfTwoTwoAndOneWithTheirNames) {
  struct Tile {
    const char* name;
    const char* subName;
  };
  const Tile tiles[] = {{"限时返利活动", "精选高回扣商品"},
                        {"每日签到", "签到领Velmo"},
                        {"兑换中心", "Velmo换好礼"},
                        {"回扣教程", "一分钟学会拿回扣"},
                        {"新人任务", "三步上手拿回扣"}};
  auto grid = open();
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->title()->utf8(), "我要赚钱");
  ASSERT_EQ(grid->dataArray()->count(), 5u);
  auto collection = grid->makeMoneyCollectionView();
  EXPECT_EQ(collection->frame(), CGRectMake(0, 0, 375, 647));
  const CGFloat half = 375.0 / 2;
  for (NSInteger i = 0; i < 5; ++i) {
    SCOPED_TRACE(tiles[i].name);
    auto cell = std::dynamic_pointer_cast<TZMakeMoneyCell>(collection->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(i, 0)));
    ASSERT_TRUE(cell);
    // Two columns without gaps; the fifth alone on the left of the third row.
    EXPECT_EQ(cell->frame(), CGRectMake((i % 2) * half, (i / 2) * 170.0, half, 170));
    EXPECT_EQ(cell->mainTitleLabel()->text()->utf8(), tiles[i].name);
    EXPECT_EQ(cell->detailTtleLabel()->text()->utf8(), tiles[i].subName);
    EXPECT_TRUE(device().viewWithText(tiles[i].name));
    EXPECT_TRUE(device().viewWithText(tiles[i].subName));
  }
  EXPECT_TRUE(delegate_->tabBarController()->tabbarView()->isHidden());
  ASSERT_TRUE(waitFor([&] {
    for (NSInteger i = 0; i < 5; ++i) {
      auto cell = std::dynamic_pointer_cast<TZMakeMoneyCell>(collection->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(i, 0)));
      if (!cell || !cell->iconImageView()->image()) return false;
    }
    return true;
  })) << "every tile's picture arrives";
  device().wait(0.5);
  writeScreenPicture("earn-money-grid");
}

TEST_F(MakeMoneyTest, TilesFollowTheirLinksAndTheCheckInAsksForALogin) {
  auto grid = open();
  ASSERT_TRUE(grid);
  // "local" "0": the activity page with the tile's link.
  ASSERT_TRUE(device().tapText("限时返利活动"));
  device().wait(1);
  EXPECT_EQ(topClass(), "ActivityZoneViewController");
  EXPECT_EQ(topValue("activityZoneUrl"), service_->rootURL() + "/wap/activity.php?id=21");
  homeStack()->popViewControllerAnimated(false);
  device().wait(1);
  // "local" "1", link "2": the check-in needs a user.
  ASSERT_TRUE(device().tapText("每日签到"));
  device().wait(1);
  ASSERT_TRUE(presentedStack());
  EXPECT_EQ(presentedStack()->viewControllers().front()->className(), "TZLoginViewController");
  EXPECT_EQ(topScreen(), grid);
}

TEST_F(MakeMoneyTest, FailuresShowAsTipsOverAnEmptyGrid) {
  struct Case {
    const char* what;
    ScriptedReply script;
    const char* tip;
    const char* picture;
  };
  const Case cases[] = {
      {"an empty mainData", ScriptedReply{.op = "get_makeProfits_data", .iface = "json", .code = 101, .extraJSON = R"({"mainData":[]})"},
       "没有数据", "earn-money-empty"},
      {"a time without its time", ScriptedReply{.op = "get_time", .iface = "json", .omitTime = true}, "网络异常", ""},
      // Every go is cut: the loader sends a request cut on a kept-alive connection again, once
      // for each idle connection it holds.
      {"a dropped reply", ScriptedReply{.op = "get_makeProfits_data", .iface = "json", .drop = true, .sticky = true}, "网络异常", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    service_->reset();
    service_->script(c.script);
    homeStack()->pushViewController(makeScreen("TZMakeMoneyViewController"), true);
    device().wait(1);
    auto grid = std::dynamic_pointer_cast<TZMakeMoneyViewController>(topScreen());
    ASSERT_TRUE(grid);
    ASSERT_TRUE(waitFor([&] { return device().viewWithText(c.tip) != nullptr; }));
    EXPECT_EQ(grid->dataArray()->count(), 0u);
    EXPECT_EQ(grid->makeMoneyCollectionView()->numberOfItemsInSection(0), 0);
    if (*c.picture) writeScreenPicture(c.picture);
    // The tip goes after its two seconds; the screen asks nothing again (the connection sends a
    // cut request again by itself, before the failure shows).
    const int asked = service_->requestCount("get_makeProfits_data");
    if (!c.script.drop) {
      EXPECT_LE(asked, 1);
    }
    device().wait(2.5);
    EXPECT_FALSE(device().viewWithText(c.tip));
    EXPECT_EQ(service_->requestCount("get_makeProfits_data"), asked);
    homeStack()->popViewControllerAnimated(false);
    device().wait(1);
  }
}

TEST_F(MakeMoneyTest, TheOfferWallItemAsksForALoginWhileNobodyIsLoggedIn) {
  auto grid = open();
  ASSERT_TRUE(grid);
  ASSERT_TRUE(device().tapText("Kirvo任务"));
  device().wait(1);
  ASSERT_TRUE(presentedStack());
  EXPECT_EQ(presentedStack()->viewControllers().front()->className(), "TZLoginViewController");
  EXPECT_EQ(topScreen(), grid) << "no offer wall without a user";
  EXPECT_EQ(service_->requestCount("/wx/ios/lists.html"), 0);
}

}  // namespace
}  // namespace zvt::test
