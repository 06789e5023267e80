// The home screen in the launched application, through the device, against the local service:
// the cold start (what is asked of the service, the header, the cache, the remembered height),
// a start without the service (the cached header, the placeholder and its retry), paging, the
// taps and where they lead, and the page dots following the carousel.

#include <gtest/gtest.h>

#include <iomanip>
#include <set>
#include <sstream>

#include "app/screens/shopping/SingleProductAdvert.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/network/NSURLConnection.h"
#include "tests/app/screens/shopping/HomeScreenTestSupport.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace {

using zvt::as;
using zvt::test::HomeScreenTest;

std::string frameText(const std::shared_ptr<UIView>& view) {
  if (!view || !view->superview()) return "none";
  CGRect f = view->frame();
  std::ostringstream out;
  out << std::setprecision(10) << "{{" << f.origin.x << ", " << f.origin.y << "}, {" << f.size.width << ", "
      << f.size.height << "}}";
  return out.str();
}

size_t cachedCount(const char* suffix) {
  auto list = TZDBManager::sharedInstance()->selectModelArrayInDatabase(std::make_shared<TZHeaderInfoModel>(),
                                                                        NSString::stringWithUTF8String(suffix));
  return list ? list->count() : 0;
}

class HomeScreen : public HomeScreenTest {
 protected:
  // Drags the grid up until the next page has come (or the placeholder shows).
  bool pullUp() {
    const size_t before = productCount();
    for (int i = 0; i < 6 && productCount() == before && !placeholderShown(); ++i) {
      // No drag while a page is on its way (the footer also asks by itself when a page lands
      // with the list at its end): a drag after its reply would ask once more.
      if (!pr_footer(grid())->isRefreshing()) device().dragView(grid(), CGPointMake(0, -3000), 0.3);
      settleUntil([&] { return productCount() > before || placeholderShown(); }, 3);
    }
    return productCount() > before;
  }
  bool placeholderShown() const { return device().viewWithText("亲，您的手机网络不顺畅哦~") != nullptr; }
};

TEST_F(HomeScreen, ColdStartAsksTheServiceAndBuildsTheConfiguredHeader) {
  skipGuide();
  launchHome();
  // The unsigned configuration first, then the signed first page.
  auto log = logOf();
  std::vector<std::shared_ptr<NSDictionary>> config, goods;
  for (NSUInteger i = 0; i < log->count(); ++i) {
    auto entry = as<NSDictionary>(log->objectAtIndex(i));
    if (value(entry, "op") == "get_ios_config") config.push_back(entry);
    if (value(entry, "op") == "get_goods") goods.push_back(entry);
  }
  ASSERT_EQ(config.size(), 1u);
  ASSERT_EQ(goods.size(), 1u);
  EXPECT_EQ(value(config[0], "method"), "GET");
  EXPECT_EQ(value(config[0], "signature"), "unsigned");
  EXPECT_LT(std::stoi(value(config[0], "seq")), std::stoi(value(goods[0], "seq")));
  EXPECT_EQ(value(goods[0], "signature"), "ok");
  EXPECT_EQ(field(goods[0], "userLevel") + " " + field(goods[0], "type") + " " + field(goods[0], "cid") + " " +
                field(goods[0], "number") + " " + field(goods[0], "ps"),
            "0 3 0 1 12");

  // Twelve products in the grid, the configured blocks in the header at the sizes of a
  // 320-point screen.
  EXPECT_EQ(grid()->numberOfItemsInSection(0), 12);
  auto header = home()->headerView();
  ASSERT_TRUE(header);
  EXPECT_EQ(frameText(header->adRollView), "{{0, 0}, {320, 122.5}}");
  EXPECT_EQ(frameText(header->smallClassView), "{{0, 122.5}, {320, 170}}");
  EXPECT_EQ(frameText(header->activityView), "{{0, 302.5}, {320, 99.84}}");
  EXPECT_EQ(frameText(header->smallActivityView), "{{0, 412.34}, {320, 75}}");
  EXPECT_EQ(frameText(header->bigClassView), "{{0, 497.34}, {320, 183}}");
  EXPECT_NEAR(header->headHeight(), 680.34, 1e-3);
  EXPECT_NEAR(std::stod(as<NSString>(NSUserDefaults::standardUserDefaults()->objectForKey("HomeHeaderH"_ns))->utf8()),
              680.34, 1e-3);
  // Three banners: dots for three, the first lit.
  ASSERT_TRUE(home()->pageControl());
  EXPECT_EQ(home()->pageControl()->numberOfPages(), 3);
  EXPECT_EQ(home()->pageControl()->superview(), header);
  // The five lists in the cache database.
  EXPECT_EQ(cachedCount("_banner"), 3u);
  EXPECT_EQ(cachedCount("_nav"), 8u);
  EXPECT_EQ(cachedCount("_middleBanner"), 1u);
  EXPECT_EQ(cachedCount("_blockBanner"), 2u);
  EXPECT_EQ(cachedCount("_fixedBanner"), 3u);
  // The other values reached the delegate.
  EXPECT_EQ(delegate_->regMethod()->utf8(), "1");
  EXPECT_TRUE(delegate_->isShowBinding());
  EXPECT_EQ(delegate_->bindingText()->utf8(), "绑定手机号后才能提现");
  ASSERT_TRUE(delegate_->signPageDic());
  EXPECT_EQ(value(delegate_->signPageDic(), "name"), "签到攻略");
  ASSERT_TRUE(delegate_->goodAds());
  EXPECT_EQ(value(delegate_->goodAds(), "is_Show"), "0");
  EXPECT_TRUE(delegate_->evaluateDic());
  EXPECT_TRUE(device().viewWithText("品牌特卖") == nullptr) << "activities are pictures";
  EXPECT_TRUE(device().viewWithText("逛逛"));
  EXPECT_FALSE(home()->topBtn()->isHidden() == false) << "the top button waits for a scrolled grid";
  zvt::test::writeScreenPicture("home_top");

  // Scrolled more than a screen down: the top button shows, and brings the grid back.
  device().dragView(grid(), CGPointMake(0, -1500), 0.3);
  device().waitUntilStill(grid());
  ASSERT_GT(grid()->contentOffset().y, 568);
  EXPECT_FALSE(home()->topBtn()->isHidden());
  // Each product in the cell of its rebate's kind, the text rebates shown whole in their fixed
  // 44-point badges.
  size_t textBadges = 0;
  for (const auto& cell : grid()->visibleCells()) {
    auto product = as<TZProductModel>(home()->totalProductArray()->objectAtIndex(
        static_cast<NSUInteger>(grid()->indexPathForCell(cell)->item())));
    auto text = std::dynamic_pointer_cast<TZHomeHKCell>(cell);
    EXPECT_EQ(text != nullptr, as<NSString>(product->fan_string) != nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<zvt::shopping::ProductCell>(cell)->productModel(), product);
    if (!text) continue;
    ++textBadges;
    EXPECT_LE(text->fan_stringLabel->intrinsicContentSize().width, text->fan_stringLabel->bounds().size.width)
        << text->fan_stringLabel->text()->utf8();
  }
  EXPECT_GT(textBadges, 0u);
  waitForPictures();
  zvt::test::writeScreenPicture("home_scrolled");
  ASSERT_TRUE(device().tapView(home()->topBtn()));
  device().wait(1);
  EXPECT_EQ(grid()->contentOffset().y, -64);
  EXPECT_TRUE(home()->topBtn()->isHidden());
}

TEST_F(HomeScreen, APartialOrEmptyConfigurationLeavesTheCacheAndTheDelegateSound) {
  skipGuide();
  launchHome();
  delegate_->setRegMethod("2"_ns);
  useConfig("partial");
  // Pulled down: the configuration again with page 1.
  pullDownGrid();
  // The two replies may come in either order: the products end the refresh, the configuration
  // takes the banner away.
  ASSERT_TRUE(settleUntil([&] {
    return service_->requestCount("get_ios_config") == 2 && !pr_header(grid())->isRefreshing() &&
           !home()->headerView()->adRollView;
  }));
  device().wait(1);
  auto header = home()->headerView();
  // No banner and no activities now, the tiles under the categories; no big categories.
  EXPECT_EQ(frameText(header->adRollView), "none");
  EXPECT_EQ(frameText(header->activityView), "none");
  EXPECT_EQ(frameText(header->bigClassView), "none");
  EXPECT_EQ(frameText(header->smallActivityView), "{{0, 302.5}, {320, 75}}");
  EXPECT_TRUE(home()->pageControl()->isHidden());
  // The cached banner list stays for the next start.
  EXPECT_EQ(cachedCount("_banner"), 3u);
  EXPECT_EQ(cachedCount("_fixedBanner"), 3u);
  // A missing method keeps the known one; an advert record that is a number counts as none.
  ASSERT_TRUE(delegate_->regMethod());
  EXPECT_EQ(delegate_->regMethod()->utf8(), "2");
  EXPECT_FALSE(delegate_->goodAds());
  EXPECT_EQ(productCount(), 12u);

  useConfig("empty");
  pullDownGrid();
  ASSERT_TRUE(settleUntil([&] {
    return service_->requestCount("get_ios_config") == 3 && !pr_header(grid())->isRefreshing() &&
           !header->smallClassView;
  }));
  device().wait(1);
  EXPECT_EQ(frameText(header->smallClassView), "none");
  EXPECT_EQ(header->headHeight(), 0);
  EXPECT_EQ(cachedCount("_nav"), 8u);
}

TEST_F(HomeScreen, AReturningUserWhoseConfigurationHasNoHeaderSeesTheProductsUnderTheBar) {
  skipGuide();
  // An earlier run built the configured header and remembered its height.
  launchHome();
  ASSERT_GT(NSUserDefaults::standardUserDefaults()->floatForKey("HomeHeaderH"_ns), 600);
  // Started again with the same sandbox; the configuration now carries no header lists.
  useConfig("empty");
  delegate_->window()->setHidden(true);
  NSNotificationCenter::defaultCenter()->removeObserver(delegate_);
  launchHome();
  // The header is built from the cache when the grid first shows it, which may come before or
  // after the first reply; the reply to a pull-down comes after it in any case.
  ASSERT_TRUE(home()->headerView());
  pullDownGrid();
  ASSERT_TRUE(settleUntil([&] { return !home()->headerView()->adRollView && !pr_header(grid())->isRefreshing(); }));
  device().wait(1);
  EXPECT_EQ(home()->headerView()->headHeight(), 0);
  // The first products start right under the bar, not a remembered header's height further down.
  auto first = grid()->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0));
  ASSERT_TRUE(first && zvt::ui::Device::isVisible(first)) << "the first product is on the first screen";
  const CGRect shown = zvt::ui::Device::visibleRect(first);
  EXPECT_GE(shown.origin.y, 64);
  EXPECT_LT(shown.origin.y, 80);
  zvt::test::writeScreenPicture("home_no_header");
}

TEST_F(HomeScreen, ItemsSharingALinkAreAllCached) {
  skipGuide();
  // Two banners that open the same page, and a list item that is no record.
  const std::string banner = R"({"link":"1","local":"1","name":"%s","pic":")" + service_->rootURL() + R"(/images/banner0.png"})";
  char first[512], second[512];
  std::snprintf(first, sizeof first, banner.c_str(), "甲");
  std::snprintf(second, sizeof second, banner.c_str(), "乙");
  service_->script(zvt::test::ScriptedReply{
      .op = "get_ios_config", .rawBody = std::string(R"({"code":101,"banner":[)") + first + "," + second + R"(,7]})"});
  launchHome();
  EXPECT_EQ(cachedCount("_banner"), 2u);
  EXPECT_EQ(home()->headerView()->adRollView->pics()->count(), 4u) << "two pictures and their copies";
}

TEST_F(HomeScreen, WithoutTheServiceTheCachedHeaderShowsUnderThePlaceholderUntilARetryLoads) {
  skipGuide();
  // An earlier run cached the header and remembered its height.
  launchHome();
  const double height = home()->headerView()->headHeight();
  ASSERT_GT(height, 0);
  // Started again with the service gone.
  delegate_->window()->setHidden(true);
  NSNotificationCenter::defaultCenter()->removeObserver(delegate_);
  service_->stop();
  launch();
  ASSERT_TRUE(settleUntil([&] { return placeholderShown(); }));
  device().wait(0.5);
  // The header comes from the cache, in the slot of the remembered height, while the
  // placeholder covers the list.
  ASSERT_TRUE(home()->headerView());
  EXPECT_NEAR(home()->headerView()->frame().size.height, height, 0.2);
  EXPECT_EQ(frameText(home()->headerView()->bigClassView), "{{0, 497.34}, {320, 183}}");
  EXPECT_EQ(productCount(), 0u);
  auto placeholder = home()->noMessageTipView();
  ASSERT_TRUE(placeholder);
  EXPECT_EQ(placeholder->frame(), CGRectMake(0, 64, 320, 504));
  EXPECT_TRUE(device().viewWithText("点击重试"));
  zvt::test::writeScreenPicture("home_no_network");

  service_->start();
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(settleUntil([&] { return productCount() == 12; }));
  device().wait(0.5);
  EXPECT_FALSE(placeholderShown());
  EXPECT_FALSE(home()->noMessageTipView());
}

TEST_F(HomeScreen, PagingUpToTheEndAndAFailedPageStepsBack) {
  skipGuide();
  launchHome();
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(productCount(), 24u);
  EXPECT_EQ(home()->pageNumber(), 2);
  // Page 3 refused: back to page 2, the placeholder over the list. (Refused as often as it is
  // asked for: the automatic footer asks again when the list still moves at its end after a
  // failure.) The failure ends the footer's refreshing.
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .code = 0, .msg = "no", .sticky = true});
  EXPECT_FALSE(pullUp());
  ASSERT_TRUE(settleUntil([&] { return placeholderShown(); }));
  device().waitUntilStill(grid());
  EXPECT_TRUE(settleUntil([&] { return !pr_footer(grid())->isRefreshing(); }));
  EXPECT_EQ(home()->pageNumber(), 2);
  EXPECT_EQ(productCount(), 24u);
  service_->clearScripts();
  // The retry loads page 1 again, then pages go on to the end (66 products, 6 pages).
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(settleUntil([&] { return !placeholderShown() && productCount() == 12; }));
  device().wait(0.5);
  for (int page = 2; page <= 6; ++page) ASSERT_TRUE(pullUp()) << page;
  EXPECT_EQ(productCount(), 66u);
  EXPECT_EQ(pr_footer(grid())->state(), PRRefreshStateNoMoreData);
  const int asked = service_->requestCount("get_goods");
  device().dragView(grid(), CGPointMake(0, -3000), 0.3);
  device().wait(2);
  EXPECT_EQ(service_->requestCount("get_goods"), asked) << "no more pages after the last";

  // A page 1 without products (not the last) keeps the list and stops the spinner.
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .code = 101, .dataJSON = "[]", .extraJSON = R"({"end":0})"});
  grid()->setContentOffset(CGPointMake(0, -64));
  pullDownGrid();
  ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") == asked + 1; }));
  EXPECT_TRUE(settleUntil([&] { return !pr_header(grid())->isRefreshing(); }));
  EXPECT_EQ(productCount(), 66u);
}

TEST_F(HomeScreen, TheRetryTappedAgainWhileItsLoadIsOnItsWaySendsNothingMore) {
  skipGuide();
  launchHome();
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .code = 0, .msg = "no", .sticky = true});
  EXPECT_FALSE(pullUp());
  ASSERT_TRUE(settleUntil([&] { return placeholderShown(); }));
  device().waitUntilStill(grid());
  service_->clearScripts();
  // The retry's page is held at the service: the placeholder stays, and is tapped again.
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .fieldsJSON = R"({"number": "1"})", .hold = "retry"});
  // First pages only: the footer may ask for page 2 by itself once page 1 is in.
  auto firstPages = [&] {
    int n = 0;
    auto log = logOf("get_goods");
    for (NSUInteger i = 0; i < log->count(); ++i) n += field(as<NSDictionary>(log->objectAtIndex(i)), "number") == "1";
    return n;
  };
  const int goods = firstPages();
  const int configs = service_->requestCount("get_ios_config");
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(settleUntil([&] { return firstPages() == goods + 1; }));
  ASSERT_TRUE(device().tapText("点击重试"));
  device().wait(0.5);
  service_->release("retry");
  ASSERT_TRUE(settleUntil([&] { return !placeholderShown() && zvt::urlConnectionLoadsInFlight() == 0; }));
  EXPECT_EQ(firstPages(), goods + 1) << "one page asked for";
  EXPECT_EQ(service_->requestCount("get_ios_config"), configs + 1);
  EXPECT_GE(productCount(), 12u);
}

TEST_F(HomeScreen, APageOvertakenByAPullDownIsDropped) {
  skipGuide();
  launchHome();
  // Page 2 comes late; the person goes back to the top and pulls down meanwhile.
  service_->script(zvt::test::ScriptedReply{.op = "get_goods", .fieldsJSON = R"({"number": "2"})", .delayMs = 2000});
  const int asked = service_->requestCount("get_goods");
  device().dragView(grid(), CGPointMake(0, -3000), 0.3);
  ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") == asked + 1; }, 3));
  grid()->setContentOffset(CGPointMake(0, -64));
  pullDownGrid();
  ASSERT_TRUE(settleUntil([&] { return service_->requestCount("get_goods") == asked + 2; }, 3));
  // Both replies in (the service holds page 2 for two seconds of real time), page 2 last.
  waitFor([] { return false; }, 2.5);
  settleUntil([] { return false; }, 1);
  auto pages = [&] {
    std::string out;
    auto log = logOf("get_goods");
    for (NSUInteger i = 0; i < log->count(); ++i) out += field(as<NSDictionary>(log->objectAtIndex(i)), "number") + " ";
    return out;
  };
  EXPECT_EQ(productCount(), 12u) << "the list starts again from its first page";
  EXPECT_EQ(home()->pageNumber(), 1);
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(pages(), "1 2 1 2 ");
  EXPECT_EQ(productCount(), 24u);
  std::set<std::string> ids;
  for (const id& item : *home()->totalProductArray())
    ids.insert(NSString::stringWithFormat("%@", as<TZProductModel>(item)->zvtProductID)->utf8());
  EXPECT_EQ(ids.size(), 24u) << "no product twice";
}

TEST_F(HomeScreen, TapsOpenTheProductTheItemsAndTheLogin) {
  skipGuide();
  launchHome();
  auto first = as<TZProductModel>(home()->totalProductArray()->objectAtIndex(0));
  ASSERT_TRUE(device().tapItem(grid(), NSIndexPath::indexPathForItem(0, 0)));
  device().wait(1);
  EXPECT_EQ(topClass(), "WebDetailViewController");
  EXPECT_EQ(topValue("goodsId"), NSString::stringWithFormat("%@", first->zvtProductID)->utf8());
  EXPECT_EQ(topValue("taoBao_goodsId"), NSString::stringWithFormat("%@", first->iid)->utf8());
  EXPECT_EQ(topValue("isProductPush"), "1");
  home()->navigationController()->popToRootViewControllerAnimated(false);
  device().wait(1);

  struct Case {
    std::function<std::shared_ptr<UIView>()> view;
    const char* opens;
    std::vector<std::pair<const char*, std::string>> values;
    int banner = 0;  // the carousel's picture tapped
  };
  auto header = [this] { return home()->headerView(); };
  const std::string activity = service_->rootURL() + "/wap/activity.php?id=";
  const Case cases[] = {
      // The first two banners: activity pages, each its own.
      {[&] { return header()->adRollView; },
       "ActivityZoneViewController",
       {{"activityZoneName", "双十一返利狂欢"}, {"activityZoneUrl", activity + "1"}}},
      {[&] { return header()->adRollView; },
       "ActivityZoneViewController",
       {{"activityZoneName", "新人专享高返"}, {"activityZoneUrl", activity + "2"}},
       1},
      // The icon of "逛逛", the fourth category (an icon and its name per item).
      {[&] { return header()->smallClassView->subviews()[6]; }, "TZStrollViewController", {}},
      // The third big category, link 10: the store's category 11.
      {[&] { return header()->bigClassView->subviews()[2]; },
       "ProductStoreViewController",
       {{"smallSortType", "11"}, {"bigSortType", "0"}, {"isPush", "1"}}},
      // The first big category, link 1.
      {[&] { return header()->bigClassView->subviews()[0]; }, "ProductStoreViewController", {{"smallSortType", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opens);
    device().wait(0.5);
    auto view = c.view();
    ASSERT_TRUE(view);
    // Scrolled so that the view shows a little below the bar.
    CGRect inGrid = view->convertRectToView(view->bounds(), grid());
    grid()->setContentOffset(CGPointMake(0, std::max<CGFloat>(-64, inGrid.origin.y - 150)));
    device().wait(0.5);
    // The carousel moves on by itself: tapped while it shows the picture of the case.
    for (int i = 0; i < 100 && view == header()->adRollView && header()->adRollView->currentPage() != c.banner; ++i)
      device().wait(0.1);
    ASSERT_TRUE(device().tapView(view));
    device().wait(1);
    EXPECT_EQ(topClass(), c.opens);
    for (auto [key, expected] : c.values) EXPECT_EQ(topValue(key), expected) << key;
    home()->navigationController()->popToRootViewControllerAnimated(false);
    device().wait(1);
  }

  // The check-in button while logged out: the login screen comes up instead.
  auto bar = home()->navigationController()->navigationBar();
  auto signIn = bar->viewForItem(home()->navigationItem()->rightBarButtonItem());
  ASSERT_TRUE(signIn);
  ASSERT_TRUE(device().tapView(signIn));
  device().wait(1);
  auto presented = std::dynamic_pointer_cast<UINavigationController>(home()->navigationController()->presentedViewController());
  ASSERT_TRUE(presented);
  EXPECT_EQ(presented->viewControllers().front()->className(), "TZLoginViewController");
}

TEST_F(HomeScreen, TheSearchBarOpensTheSearchPageWithoutTheKeyboard) {
  skipGuide();
  launchHome();
  ASSERT_TRUE(device().tapView(home()->searchBar()));
  device().wait(1);
  EXPECT_EQ(topClass(), "SearchViewController");
  EXPECT_EQ(topValue("isSearchPush"), "1");
  // The home bar keeps no keyboard; the search page's own bar takes it.
  auto responder = UIResponder::currentFirstResponder();
  ASSERT_TRUE(responder);
  EXPECT_NE(responder, home()->searchBar()->searchField());
  EXPECT_TRUE(topScreen()->navigationItem()->titleView()->isFirstResponder());
}

TEST_F(HomeScreen, PageDotsFollowTheCarouselEveryThreeSeconds) {
  skipGuide();
  launchHome();
  auto dots = home()->pageControl();
  ASSERT_TRUE(dots);
  // Page changes as they happen, each with the time it was seen.
  std::vector<std::pair<NSInteger, double>> seen{{dots->currentPage(), 0}};
  for (int step = 1; step <= 100; ++step) {
    device().wait(0.1);
    if (dots->currentPage() != seen.back().first) seen.push_back({dots->currentPage(), step * 0.1});
  }
  ASSERT_GE(seen.size(), 4u);
  std::vector<NSInteger> pages;
  for (auto [page, at] : seen) pages.push_back(page);
  EXPECT_EQ(std::vector<NSInteger>(pages.begin(), pages.begin() + 4), (std::vector<NSInteger>{seen[0].first, (seen[0].first + 1) % 3, (seen[0].first + 2) % 3, seen[0].first}));
  EXPECT_NEAR(seen[2].second - seen[1].second, 3.0, 0.25);
  EXPECT_NEAR(seen[3].second - seen[2].second, 3.0, 0.25);
}

}  // namespace

namespace advert {

using zvt::as;

class HomeAdvert : public zvt::test::HomeScreenTest {
 protected:
  std::vector<std::shared_ptr<zvt::shopping::SingleProductAdvert>> adverts() const {
    return device().viewsOfClass<zvt::shopping::SingleProductAdvert>();
  }
  // Leaves the home screen for a product and comes back.
  void leaveAndReturn() {
    ASSERT_TRUE(device().tapItem(grid(), NSIndexPath::indexPathForItem(1, 0)));
    device().wait(1);
    home()->navigationController()->popViewControllerAnimated(true);
    device().wait(1);
    waitForPictures();
  }
  static std::shared_ptr<NSDate> today() {
    auto formatter = NSDateFormatter::make();
    formatter->setDateFormat("yyyy-MM-dd"_ns);
    return formatter->dateFromString(formatter->stringFromDate(NSDate::date()));
  }
  static std::shared_ptr<NSDate> storedDay() {
    return as<NSDate>(NSUserDefaults::standardUserDefaults()->objectForKey("ADShowTime"_ns));
  }
};

TEST_F(HomeAdvert, ComesOnTheSecondAppearanceAndClosingRemembersTheDay) {
  skipGuide();
  useConfig("ads");
  launchHome();
  EXPECT_EQ(home()->enterNum(), 1);
  EXPECT_TRUE(adverts().empty()) << "not on the first appearance";
  leaveAndReturn();
  EXPECT_EQ(home()->enterNum(), 2);
  ASSERT_TRUE(settleUntil([&] { return !adverts().empty() && adverts()[0]->frame().origin.y == 0; }));
  device().wait(0.5);  // slid in
  auto ad = adverts()[0];
  EXPECT_EQ(ad->superview(), delegate_->tabBarController()->view()) << "over the tab bar too";
  // The first product of the high-rebate list, as the store sells it.
  EXPECT_TRUE(device().viewWithText("价格22.27"));
  EXPECT_EQ(ad->priceLabel()->attributedText()->string()->utf8(), "到手价17.81");
  EXPECT_EQ(ad->huikouPriceLabel()->attributedText()->string()->utf8(), "回扣5.16");
  zvt::test::writeScreenPicture("home_advert");
  // The background closes it and remembers today.
  device().tap(CGPointMake(10, 300));
  device().wait(0.5);
  EXPECT_TRUE(adverts().empty());
  ASSERT_TRUE(storedDay());
  EXPECT_TRUE(storedDay()->isEqual(today()));
  // Not again in this run.
  leaveAndReturn();
  EXPECT_EQ(home()->enterNum(), 3);
  EXPECT_TRUE(adverts().empty());

  // Shown again (as the second appearance does): the close button, then the product.
  struct Case {
    const char* how;
    std::function<void()> close;
    const char* opens;
  };
  const Case cases[] = {
      {"close button", [&] { ASSERT_TRUE(device().tapView(adverts()[0]->subviews().back())); }, "HomeViewController"},
      {"product", [&] { ASSERT_TRUE(device().tapView(adverts()[0]->contentView())); }, "WebDetailViewController"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey("ADShowTime"_ns);
    home()->adShowWithGoods(delegate_->goodAds());
    ASSERT_TRUE(settleUntil([&] { return !adverts().empty(); }));
    device().wait(0.5);
    c.close();
    device().wait(1);
    EXPECT_TRUE(adverts().empty());
    EXPECT_TRUE(storedDay() && storedDay()->isEqual(today()));
    EXPECT_EQ(topClass(), c.opens);
  }
  EXPECT_EQ(topValue("goodsId") + " " + topValue("taoBao_goodsId"), "1001 520000007919");

  // The push router's advert remembers nothing.
  NSUserDefaults::standardUserDefaults()->removeObjectForKey("ADShowTime"_ns);
  auto pushed = loadFromNib<TZSingleProductView>();
  ASSERT_TRUE(std::dynamic_pointer_cast<zvt::shopping::SingleProductAdvert>(pushed));
  pushed->setProductDic(delegate_->goodAds());
  pushed->showSingleProductWithCurrentVC(delegate_->tabBarController(), nullptr);
  ASSERT_TRUE(settleUntil([&] { return !adverts().empty(); }));
  device().wait(0.5);
  device().tap(CGPointMake(10, 300));
  device().wait(0.5);
  EXPECT_TRUE(adverts().empty());
  EXPECT_FALSE(storedDay());
}

TEST_F(HomeAdvert, ADayAlreadyShownOrAMissingPictureShowsNothing) {
  struct Case {
    const char* config;
    std::shared_ptr<NSDate> stored;
    bool shows;
  };
  const Case cases[] = {
      {"ads", today(), false},
      {"ads", NSDate::dateWithTimeInterval(-86400, today()), true},
      {"ads_missing", nullptr, false},
      {"full", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.config) + (c.stored ? " with a day" : ""));
    if (delegate_) TearDown(), SetUp();
    skipGuide();
    if (c.stored) NSUserDefaults::standardUserDefaults()->setObject(c.stored, "ADShowTime"_ns);
    useConfig(c.config);
    launchHome();
    leaveAndReturn();
    settleUntil([&] { return !adverts().empty(); }, 3);
    EXPECT_EQ(!adverts().empty(), c.shows);
  }
}

}  // namespace advert

namespace guide {

class HomeGuide : public zvt::test::HomeScreenTest {
 protected:
  zvt::ui::ScreenModel screen() const override { return zvt::ui::kScreen320x480; }
};

TEST_F(HomeGuide, TheFirstStartGuideCoversTheShellUntilItsStartButton) {
  launchHome();
  auto guide = home()->homePageView()->guideScrollView;
  ASSERT_TRUE(guide);
  EXPECT_EQ(guide->superview(), delegate_->tabBarController()->view()) << "over the tab bar too";
  auto last = std::dynamic_pointer_cast<UIImageView>(guide->subviews()[3]);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->image(), UIImage::imageNamed("guideFourth3_5"_ns));
  for (int page = 0; page < 3; ++page) device().swipePage(guide, +1);
  zvt::test::writeScreenPicture("home_guide");
  ASSERT_FALSE(last->subviews().empty());
  ASSERT_TRUE(device().tapView(last->subviews().front()));
  device().wait(1);
  EXPECT_FALSE(guide->superview());
  EXPECT_FALSE(home()->homePageView()->guideScrollView);
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey("isBeforeEnter"_ns));
  EXPECT_TRUE(device().tapText("超精选")) << "the tab bar takes taps again";
  // A later start builds no guide.
  auto later = std::dynamic_pointer_cast<HomeViewController>(zvt::makeScreen("HomeViewController"));
  ASSERT_TRUE(later);
  later->view();
  EXPECT_FALSE(later->homePageView()->guideScrollView);
}

}  // namespace guide
