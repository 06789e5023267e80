// The product store in the launched application, through the device, against the local
// service: a pushed store with its sort and category, switching categories (from the strip,
// the list and by swiping), the sort list, the error view and its retry, a late reply, the
// switcher's strip and underline, and the tab root's scrolling.

#include <gtest/gtest.h>

#include <set>

#include "app/screens/shopping/ProductStoreViewController.h"
#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/network/NSURLConnection.h"
#include "tests/app/screens/shopping/HomeScreenTestSupport.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace {

using zvt::as;
using zvt::test::HomeScreenTest;

class ProductStore : public HomeScreenTest {
 protected:
  // The store pushed on the home tab as the item router pushes it.
  std::shared_ptr<ProductStoreViewController> push(NSInteger bigSortType, NSInteger smallSortType) {
    auto screen = zvt::makeScreen("ProductStoreViewController");
    screen->setValueForKey(NSNumber::numberWithInteger(smallSortType), "smallSortType"_ns);
    screen->setValueForKey(NSNumber::numberWithInteger(bigSortType), "bigSortType"_ns);
    screen->setValueForKey(NSNumber::numberWithBool(true), "isPush"_ns);
    home()->navigationController()->pushViewController(screen, true);
    device().wait(1);
    return std::dynamic_pointer_cast<ProductStoreViewController>(screen);
  }
  // The store of the second tab.
  std::shared_ptr<ProductStoreViewController> tabRoot() {
    EXPECT_TRUE(device().tapText("超精选"));
    device().wait(1);
    return std::dynamic_pointer_cast<ProductStoreViewController>(topScreen());
  }
  static std::shared_ptr<UICollectionView> gridOf(const std::shared_ptr<ProductStoreViewController>& store, NSInteger i) {
    return store->babyProductsView()->collectionArray[static_cast<size_t>(i)];
  }
  // Waits for the category's list, then for what its arrival sets off (the header's closing
  // animation, the footer's early load of the next page) to end.
  bool loaded(const std::shared_ptr<ProductStoreViewController>& store, NSInteger i, size_t count = 12) {
    auto grid = gridOf(store, i);
    auto idle = [&] {
      return store->productsOf(i)->count() >= count && !pr_header(grid)->isRefreshing() && !pr_footer(grid)->isRefreshing();
    };
    if (!settleUntil(idle)) return false;
    device().wait(1);
    return settleUntil(idle);
  }
  // The prices the grid's cells show, and the average rate they show (the rebate, a number or
  // a text "返3元", over the price).
  struct Shown {
    std::vector<double> prices;
    double rate = 0;
  };
  static Shown shown(const std::shared_ptr<ProductStoreViewController>& store, NSInteger i) {
    auto amount = [](const std::shared_ptr<UILabel>& label) {
      const std::string text = label && label->text() ? label->text()->utf8() : "";
      const size_t digits = text.find_first_of("0123456789");
      return digits == std::string::npos ? 0.0 : std::stod(text.substr(digits));
    };
    Shown out;
    for (const auto& visible : gridOf(store, i)->visibleCells()) {
      std::shared_ptr<UILabel> rebate;
      if (auto number = std::dynamic_pointer_cast<TZHomeCell>(visible)) rebate = number->promotionPriceLabel;
      if (auto text = std::dynamic_pointer_cast<TZHomeHKCell>(visible)) rebate = text->fan_stringLabel;
      auto cell = std::dynamic_pointer_cast<zvt::shopping::ProductCell>(visible);
      if (!cell || !rebate) continue;
      out.prices.push_back(amount(cell->priceLabel));
      out.rate += amount(rebate) / out.prices.back();
    }
    if (!out.prices.empty()) out.rate /= static_cast<double>(out.prices.size());
    return out;
  }
  // The last first page asked for, as "cid/type/number" (a grid's footer may ask for its
  // second page early on its own).
  // How often the store has asked for the page of the category (the home grid behind it asks
  // with type "3", and its footer may ask by itself at any time).
  int storeAsked(const std::string& cid, const std::string& number) {
    int n = 0;
    auto log = logOf("get_goods");
    for (NSUInteger i = 0; i < log->count(); ++i) {
      auto entry = as<NSDictionary>(log->objectAtIndex(i));
      if (field(entry, "type") != "3" && field(entry, "cid") == cid && field(entry, "number") == number) ++n;
    }
    return n;
  }
  std::string lastGoods() {
    auto log = logOf("get_goods");
    for (NSInteger i = log ? static_cast<NSInteger>(log->count()) - 1 : -1; i >= 0; --i) {
      auto entry = as<NSDictionary>(log->objectAtIndex(static_cast<NSUInteger>(i)));
      if (field(entry, "number") != "1") continue;
      return field(entry, "cid") + "/" + field(entry, "type") + "/" + field(entry, "number");
    }
    return "none";
  }
};

TEST_F(ProductStore, APushedStoreKeepsItsSortAndOpensItsCategory) {
  skipGuide();
  launchHome();
  auto store = push(4, 11);
  ASSERT_TRUE(store);
  ASSERT_TRUE(loaded(store, 3, 6));
  EXPECT_EQ(store->hederButton()->titleForState(UIControlStateNormal)->utf8(), "优品特卖");
  EXPECT_EQ(store->bigSortTypeArrowImageView()->frame(), CGRectMake(100, 16, 18, 18));
  EXPECT_EQ(store->indexTag(), 3);
  EXPECT_TRUE(store->babyProductsView()->scrollViewArray[3]->isSelected());
  EXPECT_FALSE(store->babyProductsView()->scrollViewArray[0]->isSelected());
  EXPECT_EQ(store->babyProductsView()->backScrollView->contentOffset().x, 3 * 320);
  EXPECT_EQ(lastGoods(), "11/4/1");
  auto entry = as<NSDictionary>(logOf("get_goods")->lastObject());
  EXPECT_EQ(field(entry, "userLevel") + " " + field(entry, "ps"), "0 12");
  // Six products of men's wear under the fourth sort; the tab bar stays away.
  EXPECT_EQ(gridOf(store, 3)->numberOfItemsInSection(0), 6);
  EXPECT_TRUE(delegate_->tabBarController()->tabbarView()->isHidden() ||
              delegate_->tabBarController()->tabbarView()->frame().origin.y >= 568);
  zvt::test::writeScreenPicture("store_pushed_men");

  // A tap on a product opens its page.
  auto first = as<TZProductModel>(store->productsOf(3)->objectAtIndex(0));
  ASSERT_TRUE(device().tapItem(gridOf(store, 3), NSIndexPath::indexPathForItem(0, 0)));
  device().wait(1);
  EXPECT_EQ(topClass(), "WebDetailViewController");
  EXPECT_EQ(topValue("goodsId"), NSString::stringWithFormat("%@", first->zvtProductID)->utf8());
  EXPECT_EQ(topValue("isProductPush"), "1");
}

TEST_F(ProductStore, TheTabRootStartsWithEverythingAndSwitchesCategoriesWithoutAskingTwice) {
  skipGuide();
  launchHome();
  auto store = tabRoot();
  ASSERT_TRUE(store);
  ASSERT_TRUE(loaded(store, 0));
  EXPECT_EQ(store->hederButton()->titleForState(UIControlStateNormal)->utf8(), "全部");
  EXPECT_EQ(store->bigSortTypeArrowImageView()->frame(), CGRectMake(80, 16, 18, 18));
  EXPECT_EQ(lastGoods(), "0/0/1");

  // The strip: 女装 loads once.
  ASSERT_TRUE(device().tapText("女装"));
  ASSERT_TRUE(loaded(store, 1));
  EXPECT_EQ(lastGoods(), "1/0/1");
  EXPECT_GE(gridOf(store, 0)->numberOfItemsInSection(0), 12) << "each grid keeps its own list";
  EXPECT_EQ(gridOf(store, 0)->numberOfItemsInSection(0), static_cast<NSInteger>(store->productsOf(0)->count()));
  zvt::test::writeScreenPicture("store_women");
  // Back to 全部 by swiping the pager: filled, nothing asked.
  const int asked = service_->requestCount("get_goods");
  device().swipePage(store->babyProductsView()->backScrollView, -1);
  device().wait(1);
  EXPECT_EQ(store->indexTag(), 0);
  EXPECT_TRUE(store->babyProductsView()->scrollViewArray[0]->isSelected());
  EXPECT_EQ(service_->requestCount("get_goods"), asked);
  // The category list: open, choose 居家, closed again.
  ASSERT_TRUE(device().tapView(store->babyProductsView()->arrowButton));
  device().wait(0.5);
  EXPECT_FALSE(store->babyProductsView()->listView->isHidden());
  EXPECT_FALSE(store->babyProductsView()->shadowView->isHidden());
  EXPECT_TRUE(device().viewWithText("切换类目"));
  ASSERT_TRUE(device().tapView(store->babyProductsView()->listViewArray[2]));
  ASSERT_TRUE(loaded(store, 2));
  EXPECT_TRUE(store->babyProductsView()->listView->isHidden());
  EXPECT_TRUE(store->babyProductsView()->shadowView->isHidden());
  EXPECT_FALSE(store->babyProductsView()->arrowButton->isSelected());
  EXPECT_EQ(lastGoods(), "7/0/1");
  EXPECT_EQ(store->babyProductsView()->backScrollView->contentOffset().x, 2 * 320);
}

TEST_F(ProductStore, TheSortListReloadsEveryCategoryWithTheNewType) {
  skipGuide();
  launchHome();
  auto store = tabRoot();
  ASSERT_TRUE(loaded(store, 0));
  ASSERT_TRUE(device().tapText("女装"));
  ASSERT_TRUE(loaded(store, 1));
  // The title opens the sort list over a shade; the shade closes it.
  ASSERT_TRUE(device().tapView(store->hederButton()));
  device().wait(0.5);
  EXPECT_TRUE(store->isSelected());
  EXPECT_FALSE(store->babyProductsView()->bigButtonView->isHidden());
  EXPECT_TRUE(store->babyProductsView()->listScrollView->isHidden());
  zvt::test::writeScreenPicture("store_sort_list");
  device().tap(CGPointMake(160, 500));
  device().wait(0.5);
  EXPECT_FALSE(store->isSelected());
  EXPECT_TRUE(store->babyProductsView()->bigButtonView->isHidden());
  EXPECT_TRUE(store->babyProductsView()->shadowView->isHidden());
  EXPECT_FALSE(store->babyProductsView()->listScrollView->isHidden());
  // "超高回扣": type 3 for the category shown, the others emptied.
  ASSERT_TRUE(device().tapView(store->hederButton()));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("超高回扣"));
  ASSERT_TRUE(loaded(store, 1, 6));
  EXPECT_EQ(lastGoods(), "1/3/1");
  EXPECT_EQ(store->hederButton()->titleForState(UIControlStateNormal)->utf8(), "超高回扣");
  EXPECT_EQ(store->bigSortTypeArrowImageView()->frame(), CGRectMake(100, 16, 18, 18));
  EXPECT_EQ(store->productsOf(0)->count(), 0u);
  EXPECT_EQ(gridOf(store, 0)->numberOfItemsInSection(0), 0);
  ASSERT_TRUE(device().tapText("全部"));
  ASSERT_TRUE(loaded(store, 0));
  EXPECT_EQ(lastGoods(), "0/3/1");

  // Each list shows what its name says: "9.9包邮" prices of 9.90 at most, "超高回扣" a rate
  // at least half again the 9.9 list's.
  const Shown high = shown(store, 0);
  ASSERT_GE(high.prices.size(), 4u);
  ASSERT_TRUE(device().tapView(store->hederButton()));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("9.9包邮"));
  ASSERT_TRUE(loaded(store, 0));
  EXPECT_EQ(lastGoods(), "0/1/1");
  const Shown cheap = shown(store, 0);
  ASSERT_GE(cheap.prices.size(), 4u);
  for (double price : cheap.prices) EXPECT_LE(price, 9.90);
  EXPECT_GE(high.rate, 1.5 * cheap.rate);
  zvt::test::writeScreenPicture("store_nine_nine");
}

TEST_F(ProductStore, AFailureShowsTheErrorViewUntilARetryLoads) {
  skipGuide();
  launchHome();
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .fieldsJSON = R"({"type": "0"})", .httpStatus = 500});
  auto store = tabRoot();
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("亲，您的手机网络不顺畅哦~") != nullptr; }));
  device().wait(0.5);
  EXPECT_FALSE(store->hederButton()->isUserInteractionEnabled());
  EXPECT_EQ(store->noMessageTipView()->frame(), store->babyProductsView()->frame());
  zvt::test::writeScreenPicture("store_error");
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(loaded(store, 0));
  device().wait(0.5);
  EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
  EXPECT_TRUE(store->hederButton()->isUserInteractionEnabled());
}

TEST_F(ProductStore, TheRetryTappedAgainWhileItsPageIsOnItsWaySendsNothingMore) {
  skipGuide();
  launchHome();
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .fieldsJSON = R"({"type": "0"})", .httpStatus = 500});
  auto store = tabRoot();
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("点击重试") != nullptr; }));
  device().wait(0.5);  // the grid's controls close
  // The retried page is held at the service: the error view stays, and is tapped again.
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .fieldsJSON = R"({"type": "0", "number": "1"})", .hold = "retry"});
  const int asked = storeAsked("0", "1");
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(settleUntil([&] { return storeAsked("0", "1") == asked + 1; }));
  ASSERT_TRUE(device().tapText("点击重试"));
  device().wait(0.5);
  service_->release("retry");
  ASSERT_TRUE(loaded(store, 0));
  ASSERT_TRUE(settleUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
  EXPECT_EQ(storeAsked("0", "1"), asked + 1) << "one first page asked for";
}

TEST_F(ProductStore, AFailedLaterPageIsAskedForAgainAndTheRetryStartsOver) {
  skipGuide();
  launchHome();
  auto store = tabRoot();
  ASSERT_TRUE(loaded(store, 0));
  auto grid = gridOf(store, 0);
  const int shown = static_cast<int>(store->pageOf(0)->integerValue());
  const std::string next = std::to_string(shown + 1);
  service_->script(zvt::test::ScriptedReply{
      .op = "get_goods", .fieldsJSON = R"({"type": "0", "cid": "0", "number": ")" + next + R"("})", .code = 0, .msg = "no"});
  device().dragView(grid, CGPointMake(0, -3000), 0.3);
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("亲，您的手机网络不顺畅哦~") != nullptr; }));
  device().wait(0.5);  // the grid's controls close
  EXPECT_EQ(storeAsked("0", next), 1);
  // The refused page is the one to ask for next; the products shown stay.
  EXPECT_EQ(store->pageOf(0)->integerValue(), shown);
  EXPECT_EQ(store->productsOf(0)->count(), 12u * static_cast<size_t>(shown));
  const int asked = storeAsked("0", "1");
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(settleUntil([&] { return storeAsked("0", "1") > asked; }));
  ASSERT_TRUE(loaded(store, 0));
  EXPECT_EQ(lastGoods(), "0/0/1");
  EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
}

TEST_F(ProductStore, AFailureInACategoryLeftBehindStaysWithItsCategory) {
  skipGuide();
  launchHome();
  // The person leaves a category before its load goes out: a grid's header asks once its
  // opening animation is done (a quarter of a second), its footer half a second after it starts.
  struct Case {
    const char* name;
    NSInteger failing, shown;
  };
  const Case cases[] = {
      {"the first page of a category tapped and left at once", 1, 0},
      {"the next page of a grid pulled up and left at once", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (delegate_) TearDown(), SetUp();
    skipGuide();
    launchHome();
    auto store = tabRoot();
    ASSERT_TRUE(loaded(store, 0));
    auto tab = [&](NSInteger i) { return store->babyProductsView()->scrollViewArray[static_cast<size_t>(i)]; };
    const std::string cid = ProductStoreViewController::cidArray()[static_cast<size_t>(c.failing)];
    const int page = c.failing == 0 ? static_cast<int>(store->pageOf(0)->integerValue()) + 1 : 1;
    auto asked = [&] { return storeAsked(cid, std::to_string(page)); };
    service_->script(zvt::test::ScriptedReply{
        .op = "get_goods",
        .fieldsJSON = R"({"type": "0", "cid": ")" + cid + R"(", "number": ")" + std::to_string(page) + R"("})",
        .code = 0,
        .msg = "no"});
    if (c.failing == 1) {
      ASSERT_TRUE(device().tapView(tab(1)));
    } else {
      device().dragView(gridOf(store, 0), CGPointMake(0, -3000), 0.2);
      ASSERT_TRUE(pr_footer(gridOf(store, 0))->isRefreshing());
    }
    ASSERT_TRUE(device().tapView(tab(c.shown)));
    ASSERT_EQ(store->indexTag(), c.shown);
    ASSERT_TRUE(settleUntil([&] {
      return asked() == 1 && zvt::urlConnectionLoadsInFlight() == 0 && !pr_header(gridOf(store, c.failing))->isRefreshing() &&
             !pr_footer(gridOf(store, c.failing))->isRefreshing();
    }));
    ASSERT_TRUE(loaded(store, c.shown));
    // The category shown keeps its products, its title button and no error view.
    EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
    EXPECT_TRUE(store->hederButton()->isUserInteractionEnabled());
    EXPECT_TRUE(zvt::ui::Device::isVisible(gridOf(store, c.shown)->visibleCells().front()));
    // Back in the category that failed, the page that failed is asked for again.
    ASSERT_TRUE(device().tapView(tab(c.failing)));
    device().wait(1);
    if (store->productsOf(c.failing)->count() > 0) device().dragView(gridOf(store, c.failing), CGPointMake(0, -3000), 0.3);
    ASSERT_TRUE(loaded(store, c.failing, 12u * static_cast<size_t>(page)));
    EXPECT_EQ(asked(), 2);
    std::set<std::string> ids;
    for (const id& item : *store->productsOf(c.failing))
      ids.insert(NSString::stringWithFormat("%@", as<TZProductModel>(item)->zvtProductID)->utf8());
    EXPECT_EQ(ids.size(), store->productsOf(c.failing)->count()) << "no product twice";
  }
}

TEST_F(ProductStore, ALateReplyLandsInTheCategoryThatAskedOrNowhereAfterASortChange) {
  skipGuide();
  launchHome();
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .delayMs = 1500});
  auto store = tabRoot();
  // 全部 is on its way when 女装 is chosen.
  ASSERT_TRUE(device().tapText("女装"));
  ASSERT_TRUE(loaded(store, 1));
  ASSERT_TRUE(loaded(store, 0)) << store->productsOf(0)->count() << " header " << pr_header(gridOf(store, 0))->state()
                                << " footer " << pr_footer(gridOf(store, 0))->state();
  auto first = as<TZProductModel>(store->productsOf(1)->objectAtIndex(0));
  EXPECT_EQ(NSString::stringWithFormat("%@", first->cid)->utf8(), "1");
  EXPECT_GE(store->productsOf(0)->count(), 12u);
  EXPECT_EQ(gridOf(store, 1)->numberOfItemsInSection(0), static_cast<NSInteger>(store->productsOf(1)->count()));
  for (NSUInteger i = 0; i < store->productsOf(1)->count(); ++i)
    EXPECT_EQ(NSString::stringWithFormat("%@", as<TZProductModel>(store->productsOf(1)->objectAtIndex(i))->cid)->utf8(), "1");
  // A reply of the old sort arriving after a sort change is dropped.
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .delayMs = 1500});
  ASSERT_TRUE(device().tapText("男装"));
  device().wait(0.2);
  ASSERT_TRUE(device().tapView(store->hederButton()));
  device().wait(0.3);
  ASSERT_TRUE(device().tapText("优品特卖"));
  ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") >= 4; }));
  zvt::test::runMainLoopUntil([] { return false; }, 2.5);
  device().wait(0.5);
  EXPECT_EQ(store->productsOf(3)->count(), 6u) << "only the new sort's list";
  for (NSUInteger i = 0; i < store->productsOf(3)->count(); ++i)
    EXPECT_EQ(NSString::stringWithFormat("%@", as<TZProductModel>(store->productsOf(3)->objectAtIndex(i))->type)->utf8(), "4");
}

TEST_F(ProductStore, ALaterPageStillOnItsWayWhenTheGridIsPulledDownIsDropped) {
  skipGuide();
  launchHome();
  auto store = tabRoot();
  ASSERT_TRUE(store);
  ASSERT_TRUE(loaded(store, 0));
  auto grid = gridOf(store, 0);
  auto idsOf = [&] {
    std::vector<std::string> ids;
    for (const id& item : *store->productsOf(0))
      ids.push_back(NSString::stringWithFormat("%@", as<TZProductModel>(item)->zvtProductID)->utf8());
    return ids;
  };
  const auto shown = idsOf();
  const std::vector<std::string> firstPage(shown.begin(), shown.begin() + 12);
  // The next page comes late: the person pulls the grid down meanwhile, and page 1 comes first.
  const std::string next = std::to_string(store->pageOf(0)->integerValue() + 1);
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .fieldsJSON = R"({"number": ")" + next + R"("})",
                                            .delayMs = 2000});
  const int before = service_->requestCount("get_goods");
  for (int i = 0; i < 30 && service_->requestCount("get_goods") == before; ++i) {
    device().dragView(grid, CGPointMake(0, -350), 0.3);
    device().waitUntilStill(grid);
    device().wait(0.6);
    settleUntil([&] { return service_->requestCount("get_goods") > before; }, 0.5);
  }
  ASSERT_EQ(service_->requestCount("get_goods"), before + 1);
  EXPECT_EQ(field(as<NSDictionary>(logOf("get_goods")->lastObject()), "number"), next);
  for (int i = 0; i < 30 && grid->contentOffset().y + grid->contentInset().top > 1; ++i) {
    device().dragView(grid, CGPointMake(0, std::min<CGFloat>(300, grid->contentOffset().y + grid->contentInset().top)), 0.5);
    device().waitUntilStill(grid);
  }
  device().pullDown(grid, 150);
  ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") >= before + 2; }));
  // Both replies in, the late page well after the first.
  zvt::test::runMainLoopUntil([] { return false; }, 2.5);
  ASSERT_TRUE(loaded(store, 0));
  // The first page again, and whatever the footer has asked for since, page by page.
  const auto ids = idsOf();
  ASSERT_GE(ids.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(ids.begin(), ids.begin() + 12), firstPage);
  EXPECT_EQ(ids.size(), 12u * static_cast<size_t>(store->pageOf(0)->integerValue())) << "pages asked: " << store->pageOf(0)->utf8();
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size()) << "no product twice";
  EXPECT_EQ(grid->numberOfItemsInSection(0), static_cast<NSInteger>(ids.size()));
}

TEST_F(ProductStore, TheStripFollowsTheChosenTab) {
  skipGuide();
  launchHome();
  auto store = tabRoot();
  ASSERT_TRUE(loaded(store, 0));
  auto switcher = store->babyProductsView();
  const CGFloat T = switcher->tabWidth();
  EXPECT_EQ(T, (320 - 44) / 5.0);
  struct Case {
    NSInteger index;
    CGFloat offset;
  };
  for (Case c : {Case{3, 0.5}, Case{10, 7}, Case{11, 7}, Case{1, 0}}) {
    SCOPED_TRACE(c.index);
    // The strip dragged until the tab lies whole inside it, then the tab tapped.
    auto strip = switcher->listScrollView;
    auto tab = switcher->scrollViewArray[static_cast<size_t>(c.index)];
    for (int drag = 0; drag < 6; ++drag) {
      const CGRect shown = tab->convertRectToView(tab->bounds(), strip->superview());
      if (CGRectContainsRect(strip->frame(), shown)) break;
      device().dragView(strip, CGPointMake(shown.origin.x < strip->frame().origin.x ? 120 : -120, 0), 0.3);
      device().waitUntilStill(strip);
    }
    ASSERT_TRUE(device().tapView(tab));
    device().wait(1);
    EXPECT_NEAR(switcher->listScrollView->contentOffset().x, c.offset * T, 1e-6);
    EXPECT_NEAR(switcher->lineView->frame().origin.x, c.index * T, 1e-6);
    for (NSInteger i = 0; i < 12; ++i) {
      EXPECT_EQ(switcher->scrollViewArray[static_cast<size_t>(i)]->isSelected(), i == c.index);
      EXPECT_EQ(switcher->listViewArray[static_cast<size_t>(i)]->isSelected(), i == c.index);
    }
  }
}

TEST_F(ProductStore, ScrollingTheTabRootHidesAndShowsTheTabBarAndMovesTheTopButton) {
  skipGuide();
  launchHome();
  auto store = tabRoot();
  ASSERT_TRUE(loaded(store, 0));
  auto tabbar = delegate_->tabBarController()->tabbarView();
  auto grid = gridOf(store, 0);
  // Dragged more than one screen down: the tab bar goes, the button shows low.
  device().dragView(grid, CGPointMake(0, -1200), 0.4);
  device().waitUntilStill(grid);
  device().wait(1);
  ASSERT_GT(grid->contentOffset().y, 568);
  EXPECT_FALSE(store->topBtn()->isHidden());
  EXPECT_EQ(store->topBtn()->frame(), store->lowRect());
  EXPECT_GE(tabbar->frame().origin.y, 568);
  // Dragged back a little (still past a screen): the bar and the button come up.
  device().dragView(grid, CGPointMake(0, 60), 0.4);
  device().waitUntilStill(grid);
  device().wait(1);
  ASSERT_GT(grid->contentOffset().y, 568);
  EXPECT_EQ(store->topBtn()->frame(), store->highRect());
  EXPECT_FALSE(tabbar->isHidden());
  EXPECT_LT(tabbar->frame().origin.y, 568);
  // Dragged back above a screen: no button.
  device().dragView(grid, CGPointMake(0, 800), 0.4);
  device().waitUntilStill(grid);
  device().wait(1);
  ASSERT_LT(grid->contentOffset().y, 568);
  EXPECT_TRUE(store->topBtn()->isHidden());
  EXPECT_FALSE(tabbar->isHidden());
}

TEST_F(ProductStore, TheHomeGridAndTheStoreAskForTheProductsOfTheUsersLevel) {
  skipGuide();
  launchHome();
  struct Case {
    const char* name;
    id level;  // the user record's "level"; nil: logged out
    bool loggedIn;
    const char* sent;
  };
  const std::vector<Case> cases = {
      {"logged out", nullptr, false, "0"},
      {"level as text", "2"_ns, true, "2"},
      {"level as a number", NSNumber::numberWithInt(3), true, "3"},
      {"no level in the record", nullptr, true, "0"},
  };
  auto lastLevel = [&] {
    auto entry = as<NSDictionary>(logOf("get_goods")->lastObject());
    return entry ? field(entry, "userLevel") : std::string("none");
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = NSMutableDictionary::dictionary();
    record->setObject(NSString::stringWithUTF8String(zvt::test::kServiceTestUserId), "id"_ns);
    if (c.level) record->setObject(c.level, "level"_ns);
    delegate_->setIsLogin(c.loggedIn);
    delegate_->setUserInfoDictionary(c.loggedIn ? record : nullptr);
    // The home grid pulled down.
    int asked = service_->requestCount("get_goods");
    grid()->setContentOffset(CGPointMake(0, -64));
    pullDownGrid();
    ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") > asked; }));
    EXPECT_EQ(lastLevel(), c.sent) << "home";
    settleUntil([&] { return !pr_header(grid())->isRefreshing(); });
    // The store pushed onto the home tab.
    asked = service_->requestCount("get_goods");
    auto store = push(0, 1);
    ASSERT_TRUE(store);
    ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") > asked; }));
    EXPECT_EQ(lastLevel(), c.sent) << "store";
    loaded(store, 1, 1);
    home()->navigationController()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

}  // namespace
