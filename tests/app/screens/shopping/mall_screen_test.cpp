// The mall screen ("商城回扣") through the device against the local service: a new user's
// first visit (the signed requests, the tabs, the first grid, the guide), the tabs, the
// category list and the page swipes, fewer categories, a held-back reply, the no-network
// placeholder and failed loads, the pushed screen and the tab bar, and what a tap opens.

#include <algorithm>
#include <cmath>

#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/screens/shopping/ThirdProductStoreViewController.h"
#include "app/ui/TabBarController.h"
#include "platform/uikit/UIApplication.h"
#include "tests/app/screens/shopping/SearchTestSupport.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/images/WIWebImageManager.h"

using zvt::as;

namespace {

using zvt::test::ScriptedReply;
using zvt::test::SearchScreenTest;

constexpr CGFloat W = 375;
constexpr CGFloat T = (W - 40) / 3;

class MallScreenTest : public SearchScreenTest {
 protected:
  void SetUp() override {
    SearchScreenTest::SetUp();
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    zvt::test::registerStandInScreen({"CourseViewController", "回扣教程", {"selectedIndex"}});
  }

  // A new user opens the fourth tab (the home screen's own guide already seen).
  std::shared_ptr<ThirdProductStoreViewController> openTab(bool waitForMalls = true) {
    NSUserDefaults::standardUserDefaults()->setBool(true, "isBeforeEnter"_ns);
    launch();
    waitFor([&] { return count("get_ios_config") >= 1; }, 5);
    zvt::test::runMainLoopUntil([] { return false; }, 0.2);
    exchangeBefore_ = mallExchange().size();
    dismissAlerts();  // offline, the shell says so first
    EXPECT_TRUE(device().tapText("商城回扣"));
    device().wait(0.5);
    auto screen = std::dynamic_pointer_cast<ThirdProductStoreViewController>(topScreen());
    EXPECT_TRUE(screen) << topClass();
    if (screen && waitForMalls) {
      EXPECT_TRUE(loaded(screen, 0));
    }
    return screen;
  }
  // The screen pushed over the quiet fourth tab, as the routers push it.
  std::shared_ptr<ThirdProductStoreViewController> pushOverQuietTab(bool waitForMalls = true) {
    NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
    launchOnQuietTab();
    zvt::registerShoppingScreens();
    auto screen = std::dynamic_pointer_cast<ThirdProductStoreViewController>(
        pushScreen("ThirdProductStoreViewController", {{"isPush", NSNumber::numberWithBool(true)}}));
    EXPECT_TRUE(screen);
    if (screen && waitForMalls) {
      EXPECT_TRUE(loaded(screen, 0));
    }
    return screen;
  }
  // Waits for category i's malls and for the overlay to go.
  bool loaded(const std::shared_ptr<ThirdProductStoreViewController>& screen, NSInteger i) {
    return settle([&] {
      auto list = screen->mallsOf(i);
      return list && list->count() > 0 && !screen->isLoading(i) && !hudShown();
    });
  }
  // Waits for replies in real time while the virtual clock runs too (the overlay fades out on
  // it), until `done` or the time is up.
  static bool settle(const std::function<bool()>& done, double seconds = 10) {
    for (double waited = 0; waited < seconds; waited += 0.15) {
      if (done()) return true;
      zvt::test::runMainLoopUntil(done, 0.05);
      device().wait(0.1);
    }
    return done();
  }
  static bool hudShown() { return !device().viewsOfClass<POProgressHUD>().empty(); }
  static std::shared_ptr<UICollectionView> gridOf(const std::shared_ptr<ThirdProductStoreViewController>& screen, NSInteger i) {
    return screen->thirdProductView()->collectionViewArray[static_cast<size_t>(i)];
  }
  // The "cid" of every mall request so far, in order.
  std::vector<std::string> mallCids() const {
    std::vector<std::string> out;
    for (auto& fields : logged("mall")) out.push_back(fields["cid"]);
    return out;
  }
  // The operations of the mall screen in the order the service saw them, each with its
  // signature check ("get_time:ok", "mall_type:ok"...).
  std::vector<std::string> mallExchange() const {
    std::vector<std::string> out;
    auto log = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(""))));
    for (NSUInteger i = 0; log && i < log->count(); ++i) {
      auto entry = as<NSDictionary>(log->objectAtIndex(i));
      auto op = entry ? as<NSString>(entry->objectForKey("op"_ns)) : nullptr;
      if (!op || (!op->isEqualToString("get_time") && !op->isEqualToString("mall_type") && !op->isEqualToString("mall")))
        continue;
      out.push_back(op->utf8() + ":" + zvt::search::textOrEmpty(entry->objectForKey("signature"_ns))->utf8());
    }
    return out;
  }
  // The exchange since the tab was opened.
  std::vector<std::string> exchangeSinceOpening() const {
    auto all = mallExchange();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(std::min(exchangeBefore_, all.size())), all.end());
  }
  size_t exchangeBefore_ = 0;
  bool tabBarHidden() const {
    auto bar = delegate_->tabBarController()->tabbarView();
    return bar->isHidden() || bar->frame().origin.y >= 667;
  }
  static void expectSelected(const std::shared_ptr<ThirdProductView>& content, NSInteger index) {
    for (size_t i = 0; i < content->scrollViewButtonArray.size(); ++i)
      EXPECT_EQ(content->scrollViewButtonArray[i]->isSelected(), static_cast<NSInteger>(i) == index) << "tab " << i;
    for (size_t i = 0; i < content->listViewButtonArray.size(); ++i)
      EXPECT_EQ(content->listViewButtonArray[i]->isSelected(), static_cast<NSInteger>(i) == index) << "list " << i;
  }
};

TEST_F(MallScreenTest, ANewUserSeesTheCategoriesTheFirstMallsAndTheGuideOnce) {
  auto screen = openTab();
  ASSERT_TRUE(screen);
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey("isFisrtGotoStore"_ns)) << "stored before any tap";
  EXPECT_EQ(exchangeSinceOpening(), (std::vector<std::string>{"get_time:ok", "mall_type:ok", "get_time:ok", "mall:ok"}));
  EXPECT_EQ(mallCids(), std::vector<std::string>{"1"});

  auto content = screen->thirdProductView();
  ASSERT_EQ(content->scrollViewButtonArray.size(), 5u);
  EXPECT_EQ(content->scrollViewButtonArray[0]->titleForState(UIControlStateNormal)->utf8(), "综合商城");
  for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(content->scrollViewButtonArray[i]->frame().size.width, T, 1e-6);
  EXPECT_EQ(content->listScrollView->frame(), CGRectMake(0, 0, W - 40, 40));
  ASSERT_TRUE(content->arrowButton);
  EXPECT_EQ(content->arrowButton->frame(), CGRectMake(W - 40, 0, 40, 40));
  EXPECT_EQ(content->frame(), CGRectMake(0, 64, W, 667 - 64));

  // The first grid: every mall of the first category with its logo and its rebate.
  auto grid = gridOf(screen, 0);
  ASSERT_EQ(grid->numberOfItemsInSection(0), 12);
  waitFor([] { return !WIWebImageManager::sharedManager()->isRunning(); }, 10);
  device().wait(0.5);
  auto cell = std::dynamic_pointer_cast<ThirdCollectionViewCell>(grid->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(1, 0)));
  ASSERT_TRUE(cell);
  EXPECT_NEAR(cell->frame().size.width, (W - 10) / 3, 1e-6);
  EXPECT_EQ(cell->nameLabel()->text()->utf8(), "最高回扣:8%");
  auto orange = as<UIColor>(cell->nameLabel()->attributedText()->attribute(NSForegroundColorAttributeName, 5, nullptr));
  ASSERT_TRUE(orange);
  EXPECT_TRUE(orange->isEqual(zvt::shopping::rgb(255, 100, 0)));
  auto grey = as<UIColor>(cell->nameLabel()->attributedText()->attribute(NSForegroundColorAttributeName, 0, nullptr));
  ASSERT_TRUE(grey);
  EXPECT_TRUE(grey->isEqual(zvt::shopping::rgb(102, 102, 102)));
  ASSERT_TRUE(cell->imageView()->image());
  EXPECT_NE(cell->imageView()->image(), UIImage::imageNamed("storeloadingimage"_ns)) << "the logo arrived";
  // Rebates missing or of another kind read as "".
  struct Record {
    const char* json;
    const char* shown;
  };
  for (Record r : {Record{R"({"fan": ""})", "最高回扣:"}, Record{R"({"img": 5})", "最高回扣:"},
                   Record{R"({"fan": ["8%"]})", "最高回扣:"}, Record{R"({"fan": 12})", "最高回扣:12"}, Record{"[]", "最高回扣:"}}) {
    SCOPED_TRACE(r.json);
    auto made = UIView::makeView<ThirdCollectionViewCell>(cell->frame());
    made->fillCellWith(objectFromJSONString(*NSString::stringWithUTF8String(r.json)));
    EXPECT_EQ(made->nameLabel()->text()->utf8(), r.shown);
  }

  // The guide lies over the content that arrived after it; its button removes it.
  auto tips = screen->tipsView();
  ASSERT_TRUE(tips);
  auto subviews = screen->view()->subviews();
  auto position = [&](const std::shared_ptr<UIView>& v) { return std::find(subviews.begin(), subviews.end(), v) - subviews.begin(); };
  EXPECT_GT(position(tips), position(content));
  EXPECT_NEAR(tips->frame().size.height, W * 1136 / 640, 1e-6);
  picture("Malls.guide");
  EXPECT_FALSE(device().tapView(content->scrollViewButtonArray[1])) << "the guide takes the taps";
  device().wait(0.6);
  EXPECT_EQ(screen->indexTag(), 0);
  auto button = as<UIButton>(tips->subviews().back());
  ASSERT_TRUE(button);
  EXPECT_NEAR(button->frame().origin.y, tips->frame().size.height / 2 + 20, 1e-6);
  ASSERT_TRUE(device().tapView(button));
  device().wait(0.5);
  EXPECT_FALSE(screen->tipsView());
  EXPECT_FALSE(tips->superview());
  picture("Malls.five");

  // A restart shows no guide.
  delegate_->window()->setHidden(true);
  launch();
  ASSERT_TRUE(device().tapText("商城回扣"));
  device().wait(0.5);
  auto again = std::dynamic_pointer_cast<ThirdProductStoreViewController>(topScreen());
  ASSERT_TRUE(again);
  EXPECT_FALSE(again->tipsView());
  EXPECT_TRUE(loaded(again, 0));
  ASSERT_TRUE(device().tapText("我的"));
  device().wait(0.5);
  EXPECT_GE(pageCount("商城页"), 1u);
}

TEST_F(MallScreenTest, TabsLoadOnceMoveTheStripAndTheUnderline) {
  NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
  auto screen = openTab();
  ASSERT_TRUE(screen);
  auto content = screen->thirdProductView();
  struct Step {
    NSInteger tab;
    CGFloat stripOffset;  // in tab widths
    bool asks;
  };
  // Tab t brings the strip to (t - 1) T, the last tab to (n - 3) T; a loaded tab asks nothing.
  const Step steps[] = {{1, 0, true}, {2, 1, true}, {3, 2, true}, {4, 2, true}, {2, 1, false}, {1, 0, false}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.tab);
    const size_t asked = count("mall");
    if (step.asks) service_->script(ScriptedReply{.op = "mall", .delayMs = 400});
    ASSERT_TRUE(device().tapView(content->scrollViewButtonArray[static_cast<size_t>(step.tab)]));
    EXPECT_EQ(hudShown(), step.asks) << "the overlay while a category loads";
    device().wait(0.6);
    EXPECT_NEAR(content->lineView->frame().origin.x, step.tab * T, 1e-6) << "the underline after 0.5 s";
    EXPECT_NEAR(content->lineView->frame().size.width, T, 1e-6);
    EXPECT_NEAR(content->listScrollView->contentOffset().x, step.stripOffset * T, 1e-6);
    EXPECT_NEAR(content->backScrollView->contentOffset().x, step.tab * W, 1e-6);
    if (step.asks) {
      ASSERT_TRUE(loaded(screen, step.tab));
    }
    EXPECT_EQ(count("mall"), asked + (step.asks ? 1 : 0));
    if (step.asks) {
      EXPECT_EQ(mallCids().back(), std::to_string(step.tab + 1));
    }
    expectSelected(content, step.tab);
    EXPECT_EQ(screen->indexTag(), step.tab);
    EXPECT_EQ(gridOf(screen, step.tab)->numberOfItemsInSection(0),
              static_cast<NSInteger>(screen->mallsOf(step.tab)->count()));
  }
  // The first tab again, from the list: the strip back at 0.
  ASSERT_TRUE(device().tapView(content->arrowButton));
  ASSERT_TRUE(device().tapView(content->listViewButtonArray[0]));
  device().wait(0.6);
  EXPECT_NEAR(content->listScrollView->contentOffset().x, 0, 1e-6);
  // Each grid shows its own category: neighbouring pages seen in a swipe show their malls,
  // whichever category is selected when a grid asks (its counts are asked for anew here).
  for (NSInteger i = 0; i < 5; ++i) {
    auto grid = gridOf(screen, i);
    EXPECT_EQ(screen->collectionViewNumberOfItemsInSection(grid, 0), static_cast<NSInteger>(screen->mallsOf(i)->count())) << i;
    grid->reloadData();
    EXPECT_EQ(grid->numberOfItemsInSection(0), static_cast<NSInteger>(screen->mallsOf(i)->count())) << i;
  }
  EXPECT_NE(gridOf(screen, 0)->numberOfItemsInSection(0), gridOf(screen, 1)->numberOfItemsInSection(0));
}

TEST_F(MallScreenTest, TheListAndThePageSwipesSelectTheSameCategoryEverywhere) {
  NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
  auto screen = openTab();
  ASSERT_TRUE(screen);
  auto content = screen->thirdProductView();
  // The arrow opens the list over the shade, hides the strip and turns half a turn.
  ASSERT_TRUE(device().tapView(content->arrowButton));
  device().wait(0.3);
  EXPECT_FALSE(content->listView->isHidden());
  EXPECT_FALSE(content->shadowView->isHidden());
  EXPECT_TRUE(content->listScrollView->isHidden());
  EXPECT_TRUE(content->arrowButton->isSelected());
  EXPECT_NEAR(content->arrowButton->transform().a, -1, 1e-6);
  EXPECT_EQ(content->listView->frame(), CGRectMake(0, 0, W, 30 * 2 + 50));
  EXPECT_TRUE(device().viewWithText("切换类目"));
  EXPECT_EQ(content->listViewButtonArray[4]->frame(), CGRectMake(W / 3, 70, W / 3, 30)) << "three a row";
  picture("Malls.list");
  // A choice closes it and selects the category in the strip and the pages.
  ASSERT_TRUE(device().tapView(content->listViewButtonArray[3]));
  ASSERT_TRUE(loaded(screen, 3));
  device().wait(0.6);
  EXPECT_TRUE(content->listView->isHidden());
  EXPECT_TRUE(content->shadowView->isHidden());
  EXPECT_FALSE(content->listScrollView->isHidden());
  EXPECT_FALSE(content->arrowButton->isSelected());
  EXPECT_NEAR(content->arrowButton->transform().a, 1, 1e-6);
  EXPECT_NEAR(content->arrowButton->transform().b, 0, 1e-6);
  expectSelected(content, 3);
  EXPECT_NEAR(content->backScrollView->contentOffset().x, 3 * W, 1e-6);
  EXPECT_NEAR(content->listScrollView->contentOffset().x, 2 * T, 1e-6);
  EXPECT_EQ(mallCids().back(), "4");
  // A tap on the shade closes the list.
  ASSERT_TRUE(device().tapView(content->arrowButton));
  device().wait(0.3);
  device().tap(CGPointMake(W / 2, 500));
  device().wait(0.3);
  EXPECT_TRUE(content->listView->isHidden());
  EXPECT_TRUE(content->shadowView->isHidden());
  EXPECT_FALSE(content->arrowButton->isSelected());

  // Swipes: back to page 2 from page 3 (loaded by now? no: category 2 was never asked for).
  const size_t asked = count("mall");
  device().swipePage(content->backScrollView, -1);
  ASSERT_TRUE(loaded(screen, 2));
  device().wait(0.6);
  EXPECT_EQ(screen->indexTag(), 2);
  expectSelected(content, 2);
  EXPECT_NEAR(content->lineView->frame().origin.x, 2 * T, 1e-6);
  EXPECT_NEAR(content->listScrollView->contentOffset().x, 2 * T, 1e-6) << "a swipe leaves the strip";
  EXPECT_EQ(count("mall"), asked + 1);
  EXPECT_EQ(mallCids().back(), "3");
  // Onto a loaded page: nothing asked.
  device().swipePage(content->backScrollView, 1);
  device().wait(0.6);
  EXPECT_EQ(screen->indexTag(), 3);
  expectSelected(content, 3);
  EXPECT_EQ(count("mall"), asked + 1);
}

TEST_F(MallScreenTest, FewerCategoriesChangeTheTabsAndTheList) {
  struct Case {
    int categories;
    CGFloat tab;
    bool list;
    CGFloat listHeight;
  };
  auto first = pushOverQuietTab();
  ASSERT_TRUE(first);
  navigation()->popViewControllerAnimated(false);
  device().wait(0.5);
  for (Case c : {Case{3, W / 3, false, 0}, Case{2, W / 3, false, 0}, Case{4, T, true, 110}}) {
    SCOPED_TRACE(c.categories);
    service_->configure("{\"mall_categories\": " + std::to_string(c.categories) + "}");
    auto screen = std::dynamic_pointer_cast<ThirdProductStoreViewController>(
        pushScreen("ThirdProductStoreViewController", {{"isPush", NSNumber::numberWithBool(true)}}));
    ASSERT_TRUE(screen);
    ASSERT_TRUE(loaded(screen, 0));
    auto content = screen->thirdProductView();
    ASSERT_EQ(content->scrollViewButtonArray.size(), static_cast<size_t>(c.categories));
    EXPECT_NEAR(content->scrollViewButtonArray[0]->frame().size.width, c.tab, 1e-6);
    EXPECT_EQ(content->listScrollView->frame().size.width, c.list ? W - 40 : W);
    EXPECT_EQ(content->arrowButton != nullptr, c.list);
    EXPECT_EQ(content->listView != nullptr, c.list);
    if (c.list) {
      EXPECT_EQ(content->listView->frame().size.height, c.listHeight);
    }
    // The underline follows a tab of its own width.
    ASSERT_TRUE(device().tapView(content->scrollViewButtonArray[1]));
    ASSERT_TRUE(loaded(screen, 1));
    device().wait(0.6);
    EXPECT_NEAR(content->lineView->frame().origin.x, c.tab, 1e-6);
    if (c.categories == 3) picture("Malls.three");
    navigation()->popViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(MallScreenTest, AHeldReplyKeepsTapsAwayAndLandsInItsOwnCategory) {
  NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
  service_->script(ScriptedReply{.op = "mall", .fieldsJSON = R"({"cid":"1"})", .delayMs = 1500});
  auto screen = openTab(false);
  ASSERT_TRUE(screen);
  ASSERT_TRUE(settle([&] { return screen->thirdProductView() != nullptr; }, 5));
  auto content = screen->thirdProductView();
  ASSERT_TRUE(hudShown());
  device().wait(0.5);
  // The overlay takes every tap on the tabs and the pages until the reply arrives.
  device().tap(CGPointMake(T * 1.5, 64 + 25));
  device().swipe(CGPointMake(300, 300), CGPointMake(40, 300));
  device().wait(0.3);
  EXPECT_EQ(screen->indexTag(), 0);
  EXPECT_NEAR(content->backScrollView->contentOffset().x, 0, 1e-6);
  ASSERT_TRUE(loaded(screen, 0));
  EXPECT_EQ(mallCids(), std::vector<std::string>{"1"}) << "no second request";
  EXPECT_EQ(screen->mallsOf(0)->count(), 12u);
  EXPECT_EQ(gridOf(screen, 1)->numberOfItemsInSection(0), 0);

  // Past the overlay (the controller driven directly): a reply for category 1 arriving after
  // category 2 was chosen lands in category 1, and category 1 is not asked for twice.
  service_->script(ScriptedReply{.op = "mall", .fieldsJSON = R"({"cid":"2"})", .delayMs = 1200});
  screen->selectCategory(1);
  screen->selectCategory(1);
  screen->selectCategory(2);
  ASSERT_TRUE(loaded(screen, 2));
  ASSERT_TRUE(loaded(screen, 1));
  // Categories 2 and 3 are asked for side by side: the service may see either first.
  auto cids = mallCids();
  if (cids.size() > 1) std::sort(cids.begin() + 1, cids.end());
  EXPECT_EQ(cids, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(screen->indexTag(), 2);
  EXPECT_EQ(screen->mallsOf(1)->count(), 8u);
  EXPECT_EQ(screen->mallsOf(2)->count(), 7u) << "the late reply went to its own category";
  EXPECT_EQ(gridOf(screen, 1)->numberOfItemsInSection(0), 8);
  EXPECT_EQ(gridOf(screen, 2)->numberOfItemsInSection(0), 7);
  // A category asked for again (a failed earlier load) is replaced, never doubled.
  screen->mallsOf(1)->removeAllObjects();
  screen->selectCategory(1);
  ASSERT_TRUE(loaded(screen, 1));
  EXPECT_EQ(screen->mallsOf(1)->count(), 8u);
  // Asked for again while it still holds its malls (the retry asks for the category selected):
  // the reply takes the place of what the list held.
  const size_t asked = mallCids().size();
  screen->refreshAction();
  ASSERT_TRUE(settle([&] { return mallCids().size() == asked + 1 && !screen->isLoading(1) && !hudShown(); }));
  EXPECT_EQ(mallCids().back(), "2");
  EXPECT_EQ(screen->mallsOf(1)->count(), 8u);
  EXPECT_EQ(gridOf(screen, 1)->numberOfItemsInSection(0), 8);
}

TEST_F(MallScreenTest, OfflineOrFailedCategoriesShowThePlaceholderAndItsRetryLoads) {
  NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
  reachability_->setFlags(0);
  auto screen = openTab(false);
  ASSERT_TRUE(screen);
  device().wait(0.5);
  ASSERT_TRUE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
  EXPECT_TRUE(device().viewWithText("点击重试"));
  EXPECT_EQ(screen->noMessageTipView()->frame(), CGRectMake(0, 64, W, 667 - 64));
  EXPECT_TRUE(exchangeSinceOpening().empty()) << "no request offline";
  picture("Malls.offline");
  reachability_->changeFlags(zvt::test::kReachable);
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(loaded(screen, 0));
  EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
  EXPECT_FALSE(screen->noMessageTipView());
  EXPECT_EQ(screen->thirdProductView()->scrollViewButtonArray.size(), 5u);

  // Online, but the categories fail: the placeholder, whose retry builds the content.
  struct Failure {
    const char* name;
    ScriptedReply script;
  };
  for (const Failure& f : {Failure{"refused", ScriptedReply{.op = "mall_type", .code = 202}},
                           Failure{"empty", ScriptedReply{.op = "mall_type", .dataJSON = "[]"}},
                           Failure{"no entries", ScriptedReply{.op = "mall_type", .dataJSON = R"([["7"], 5, "x"])"}},
                           Failure{"not a list", ScriptedReply{.op = "mall_type", .dataJSON = R"({"1": "综合商城"})"}},
                           Failure{"time 500", ScriptedReply{.op = "get_time", .httpStatus = 500}},
                           Failure{"no time", ScriptedReply{.op = "get_time", .omitTime = true}}}) {
    SCOPED_TRACE(f.name);
    service_->script(f.script);
    auto pushed = std::dynamic_pointer_cast<ThirdProductStoreViewController>(
        pushScreen("ThirdProductStoreViewController", {{"isPush", NSNumber::numberWithBool(true)}}));
    ASSERT_TRUE(pushed);
    ASSERT_TRUE(settle([&] { return pushed->noMessageTipView() && !pushed->isLoading(-1) && !hudShown(); }, 5));
    EXPECT_TRUE(device().viewWithText("点击重试"));
    EXPECT_FALSE(pushed->thirdProductView());
    ASSERT_TRUE(device().tapText("点击重试"));
    ASSERT_TRUE(loaded(pushed, 0));
    EXPECT_FALSE(pushed->noMessageTipView());
    EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
    navigation()->popViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(MallScreenTest, PushedTheTabBarStaysHiddenAsTabRootItFollowsTheGrid) {
  // Pushed by the home screen's item with in-app code 7.
  NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
  launchOnQuietTab();
  zvt::registerShoppingScreens();
  auto item = std::make_shared<TZHeaderInfoModel>();
  item->local = "1"_ns;
  item->link = "7"_ns;
  clickAction(topScreen(), item);
  device().wait(1);
  auto pushed = std::dynamic_pointer_cast<ThirdProductStoreViewController>(topScreen());
  ASSERT_TRUE(pushed) << topClass();
  EXPECT_TRUE(pushed->isPush());
  ASSERT_TRUE(loaded(pushed, 0));
  EXPECT_TRUE(tabBarHidden());
  auto content = pushed->thirdProductView();
  gridOf(pushed, 0)->setContentOffset(CGPointMake(0, 200));
  device().wait(0.5);
  gridOf(pushed, 0)->setContentOffset(CGPointZero, true);
  device().wait(1);
  EXPECT_TRUE(tabBarHidden()) << "back at the top, pushed";
  device().swipePage(content->backScrollView, 1);
  ASSERT_TRUE(loaded(pushed, 1));
  EXPECT_TRUE(tabBarHidden()) << "after a page swipe";
  picture("Malls.pushed");
  navigation()->popViewControllerAnimated(false);
  device().wait(0.5);

  // Pushed by push route 14.
  UIApplication::sharedApplication()->receiveRemoteNotification(
      as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(R"({"aps":{"alert":"去商城"},"content_type":"14"})"))));
  device().wait(1);
  ASSERT_TRUE(device().tapText("去看看"));
  device().wait(1);
  auto routed = std::dynamic_pointer_cast<ThirdProductStoreViewController>(topScreen());
  ASSERT_TRUE(routed) << topClass();
  EXPECT_TRUE(routed->isPush());
  ASSERT_TRUE(loaded(routed, 0));
  EXPECT_TRUE(tabBarHidden());
}

TEST_F(MallScreenTest, AsTabRootAGridScrolledDownHidesTheTabBar) {
  NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
  auto screen = openTab();
  ASSERT_TRUE(screen);
  EXPECT_FALSE(tabBarHidden());
  // The demo categories fit on one screen: the grid is moved as a longer one would be.
  auto grid = gridOf(screen, 0);
  grid->setContentOffset(CGPointMake(0, 11));
  device().wait(0.5);
  EXPECT_TRUE(tabBarHidden());
  grid->setContentOffset(CGPointMake(0, 10));
  device().wait(0.5);
  EXPECT_FALSE(tabBarHidden()) << "back at the top";
  grid->setContentOffset(CGPointMake(0, 200));
  device().wait(0.5);
  EXPECT_TRUE(tabBarHidden());
  grid->setContentOffset(CGPointZero, true);
  device().wait(1);
  EXPECT_FALSE(tabBarHidden());
}

TEST_F(MallScreenTest, AMallTheSearchBoxAndTheTutorialOpenTheirPages) {
  for (bool loggedIn : {false, true}) {
    SCOPED_TRACE(loggedIn ? "logged in" : "logged out");
    NSUserDefaults::standardUserDefaults()->setBool(true, "isFisrtGotoStore"_ns);
    auto screen = openTab();
    ASSERT_TRUE(screen);
    if (loggedIn) logIn();
    auto mall = as<NSDictionary>(screen->mallsOf(0)->objectAtIndex(1));
    ASSERT_TRUE(device().tapItem(gridOf(screen, 0), NSIndexPath::indexPathForItem(1, 0)));
    ASSERT_TRUE(settleUntil([&] { return topScreen() != screen; }));
    EXPECT_EQ(topClass(), "WebDetailViewController");
    EXPECT_EQ(topValue("goodsId"), zvt::search::textOrEmpty(mall->objectForKey("id"_ns))->utf8());
    EXPECT_EQ(topValue("titleString"), "天猫");
    EXPECT_EQ(topValue("isStorePush"), "1");
    ASSERT_TRUE(settleUntil([&] { return count("go_mall") >= 1; }));
    EXPECT_EQ(last("go_mall")["id"], topValue("goodsId"));
    EXPECT_EQ(last("go_mall")["uid"], loggedIn ? std::string(zvt::test::kServiceTestUserId) : "0");
    navigation()->popViewControllerAnimated(false);
    device().wait(0.5);
    EXPECT_GE(pageCount("商城页"), 1u);
    if (loggedIn) break;
    ASSERT_TRUE(device().tapText("搜商城名称，购物就可拿回扣"));
    device().wait(1);
    EXPECT_EQ(topClass(), "SearchViewController");
    EXPECT_EQ(topValue("isStorePush"), "1");
    navigation()->popViewControllerAnimated(false);
    device().wait(0.5);
    ASSERT_TRUE(device().tapView(screen->courseButton()));
    device().wait(1);
    EXPECT_EQ(topClass(), "CourseViewController");
    EXPECT_EQ(topValue("selectedIndex"), "1");
    navigation()->popViewControllerAnimated(false);
    device().wait(0.5);
    // The next round starts the application anew.
    delegate_->window()->setHidden(true);
    service_->reset();
  }
}

}  // namespace
