// The own search results through the device against the local service: the request's fields
// for each order and filter, the filter panel and the header's marks, the empty-result tip in
// both places, a new keyword, the hot panel, paging with its end and its network cover, replies
// of replaced requests, the result cells and the product page they open.

#include "platform/network/NSURLConnection.h"
#include "app/screens/shopping/NewSearchResultViewController.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "tests/app/screens/shopping/SearchTestSupport.h"

using zvt::as;
using zvt::test::runMainLoopUntil;

namespace {

using zvt::test::Fields;
using zvt::test::ScriptedReply;
using zvt::test::SearchScreenTest;

const std::string kSearch = "/api/search_tbk_v3.php";

class SearchResultsTest : public SearchScreenTest {
 protected:
  // The results as the search page opens them.
  std::shared_ptr<NewSearchResultViewController> open(const std::string& keyword) {
    launchOnQuietTab();
    // The screen below, as the search page is when it opens the results.
    pushScreen("TZStrollViewController", {});
    service_->clearLog();
    auto results = std::dynamic_pointer_cast<NewSearchResultViewController>(
        pushScreen("NewSearchResultViewController", {{"keyword", NSString::stringWithUTF8String(keyword)},
                                                     {"isFromSearch", NSNumber::numberWithBool(true)}}));
    EXPECT_TRUE(results);
    if (results) settleUntil([&] { return count(kSearch) >= 1 && !results->searchResultView()->headView()->isHidden() &&
                                          results->datasArray()->count() > 0; });
    return results;
  }
  // Waits for the n-th request and its reply; answers its fields.
  Fields request(size_t n) {
    settleUntil([&] { return count(kSearch) >= n; });
    runMainLoopUntil([] { return false; }, 0.3);
    device().wait(0.5);
    auto all = logged(kSearch);
    return all.size() >= n ? all[n - 1] : Fields{};
  }
  std::shared_ptr<UIButton> header(const std::shared_ptr<NewSearchResultViewController>& r, NSInteger tag) {
    return r->searchResultView()->headerButton(tag);
  }
  size_t rowsShown(const std::shared_ptr<NewSearchResultViewController>& r) {
    return static_cast<size_t>(r->searchResultView()->searchResultCollectionView()->numberOfItemsInSection(0));
  }
  // Drags the list towards its end until the n-th request has gone out (the footer may also ask
  // by itself when it comes into view after a short page).
  bool pullUpUntil(const std::shared_ptr<NewSearchResultViewController>& r, size_t n) {
    auto grid = r->searchResultView()->searchResultCollectionView();
    for (int i = 0; i < 12 && count(kSearch) < n; ++i) {
      device().dragView(grid, CGPointMake(0, -400), 0.3);
      device().wait(0.5);
      if (waitFor([&] { return count(kSearch) >= n; }, 0.5)) return true;
    }
    return waitFor([&] { return count(kSearch) >= n; }, 3);
  }
  void searchFromBar(const std::shared_ptr<NewSearchResultViewController>& r, const std::string& text) {
    ASSERT_TRUE(device().tapView(r->searchBar()));
    device().wait(0.3);
    r->searchBar()->searchField()->setText(nullptr);
    if (!text.empty()) {
      ASSERT_TRUE(device().paste(text));
    }
    ASSERT_TRUE(device().pressReturn());
    device().wait(0.3);
  }
};

TEST_F(SearchResultsTest, OrdersAndFiltersSendTheirFields) {
  auto results = open("连衣裙");
  ASSERT_TRUE(results);
  EXPECT_EQ(request(1), (Fields{{"keyword", "连衣裙"}, {"startPrice", ""}, {"endPrice", ""}, {"mallItem", "0"},
                                {"page", "1"}, {"sort", "0"}}));
  EXPECT_TRUE(header(results, 30000)->isSelected()) << "综合 shows selected before any tap";
  EXPECT_EQ(rowsShown(results), 10u);
  struct Step {
    const char* tap;
    Fields expected;  // the fields that change
  };
  // The header's buttons by their title ("回扣" also labels every rebate in the list).
  auto tapHeader = [&](const std::string& title) {
    for (NSInteger tag = 30000; tag <= 30003; ++tag)
      if (header(results, tag)->titleForState(UIControlStateNormal)->utf8() == title) return device().tapView(header(results, tag));
    return false;
  };
  // A price range first, so that the orders can show they keep it.
  ASSERT_TRUE(device().tapText("筛选"));
  device().wait(0.5);
  auto panel = results->searchResultView()->chooseRegionView();
  ASSERT_TRUE(panel);
  ASSERT_TRUE(device().tapView(panel->lowPriceTextField()));
  ASSERT_TRUE(device().typeText("50"));
  picture("OwnResults.panel");
  ASSERT_TRUE(device().tapText("确定"));
  auto fields = request(2);
  EXPECT_EQ(fields["startPrice"], "50");
  EXPECT_EQ(fields["mallItem"], "0");
  EXPECT_EQ(header(results, 30003)->titleForState(UIControlStateSelected)->utf8(), "已筛选");
  EXPECT_TRUE(header(results, 30003)->isSelected()) << "a price marks the filter";
  size_t n = 2;
  for (const Step& step : {Step{"销量", {{"sort", "2"}, {"page", "1"}, {"startPrice", "50"}, {"mallItem", "0"}}},
                           Step{"综合", {{"sort", "1"}, {"page", "1"}, {"startPrice", "50"}}},
                           Step{"回扣", {{"sort", "3"}, {"page", "1"}, {"startPrice", "50"}}}}) {
    SCOPED_TRACE(step.tap);
    ASSERT_TRUE(tapHeader(step.tap));
    fields = request(++n);
    for (auto& [key, value] : step.expected) EXPECT_EQ(fields[key], value) << key;
    for (NSInteger tag = 30000; tag <= 30002; ++tag)
      EXPECT_EQ(header(results, tag)->isSelected(), header(results, tag)->titleForState(UIControlStateNormal)->utf8() == step.tap);
  }
  picture("OwnResults.sorted");

  // Only Tmall: mallItem 1, "已筛选", the orange triangle further right.
  ASSERT_TRUE(tapHeader("筛选"));
  device().wait(0.5);
  panel->lowPriceTextField()->setText(nullptr);
  ASSERT_TRUE(device().tapText("只看天猫"));
  ASSERT_TRUE(device().tapText("确定"));
  fields = request(++n);
  EXPECT_EQ(fields["mallItem"], "1");
  EXPECT_EQ(fields["startPrice"], "");
  EXPECT_EQ(fields["sort"], "3");
  EXPECT_TRUE(device().viewWithText("已筛选"));
  auto triangle = results->searchResultView()->chooseRegionImageView();
  EXPECT_EQ(triangle->image(), UIImage::imageNamed("triangleSelected"_ns));
  EXPECT_NEAR(triangle->frame().origin.x, 0.94 * zvt::search::screenWidth(), 0.01);
  for (size_t i = 0; i < results->datasArray()->count(); ++i)
    EXPECT_EQ(zvt::search::textOf(as<TZSearchResultModel>(results->datasArray()->objectAtIndex(i))->shop_type)->utf8(), "B");

  // A new keyword from the bar: the filter is cleared, the order stays.
  searchFromBar(results, "保温杯");
  fields = request(++n);
  EXPECT_EQ(fields, (Fields{{"keyword", "保温杯"}, {"startPrice", ""}, {"endPrice", ""}, {"mallItem", "0"},
                            {"page", "1"}, {"sort", "3"}}));
  EXPECT_FALSE(header(results, 30003)->isSelected());
  EXPECT_TRUE(device().viewWithText("筛选"));
  EXPECT_EQ(triangle->image(), UIImage::imageNamed("triangleNomal"_ns));

  // The left item goes back to the root, not to the screen below.
  device().tap(CGPointMake(20, 42));
  device().wait(1);
  EXPECT_EQ(navigation()->viewControllers().size(), 1u);
}

TEST_F(SearchResultsTest, EmptyResultTipSitsWhereTheFilterStaysReachable) {
  auto results = open("连衣裙");
  ASSERT_TRUE(results);
  auto view = results->searchResultView();
  // A confirmed panel, even an empty one, keeps the header: the tip sits right under it.
  service_->script(ScriptedReply{.op = kSearch, .rawBody = "[]"});
  ASSERT_TRUE(device().tapText("筛选"));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("确定"));
  request(2);
  // The reply may still be on its way once the request is logged: the tip shows when it lands.
  ASSERT_TRUE(settleUntil([] { return device().viewWithText("暂未搜到商品，试试搜索其它商品吧") != nullptr; }));
  EXPECT_FALSE(view->headView()->isHidden());
  EXPECT_TRUE(device().viewWithText("筛选")) << "an empty panel leaves the filter unmarked";
  EXPECT_EQ(view->tipLabel()->frame().origin.y, CGRectGetMaxY(view->headView()->frame()));
  EXPECT_EQ(rowsShown(results), 0u);
  picture("OwnResults.tipWithFilter");

  // A new keyword forgets the panel: the header hides and the tip sits 8 points below its top.
  searchFromBar(results, "不存在的宝贝");
  request(3);
  ASSERT_TRUE(settleUntil([&] { return view->headView()->isHidden() && device().viewWithText("暂未搜到商品，试试搜索其它商品吧") != nullptr; }));
  EXPECT_EQ(view->tipLabel()->frame().origin.y, view->headView()->frame().origin.y + 8);
  picture("OwnResults.tipWithoutFilter");
}

TEST_F(SearchResultsTest, EditingTheBarShowsHotKeywordsThatSearch) {
  auto results = open("连衣裙");
  ASSERT_TRUE(results);
  ASSERT_TRUE(device().tapView(results->searchBar()));
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("热门搜索") && device().viewWithText("运动鞋") != nullptr; }));
  picture("OwnResults.hot");
  ASSERT_TRUE(device().tapText("运动鞋"));
  auto fields = request(2);
  EXPECT_EQ(fields["keyword"], "运动鞋");
  EXPECT_EQ(results->searchBar()->text()->utf8(), "运动鞋");
  EXPECT_FALSE(device().viewWithText("热门搜索"));
}

TEST_F(SearchResultsTest, PagingAppendsEndsAndRecoversFromANetworkFailure) {
  auto results = open("连衣裙");
  ASSERT_TRUE(results);
  // Page 2 fails: the cover, whose retry asks for page 2 again.
  service_->script(ScriptedReply{.op = kSearch, .httpStatus = 500});
  ASSERT_TRUE(pullUpUntil(results, 2));
  auto fields = request(2);
  EXPECT_EQ(fields["page"], "2");
  ASSERT_TRUE(settleUntil([&] { return device().viewWithText("亲，您的手机网络不顺畅哦~") != nullptr; }));
  picture("OwnResults.cover");
  ASSERT_TRUE(device().tapText("点击重试"));
  fields = request(3);
  EXPECT_EQ(fields["page"], "2");
  ASSERT_TRUE(settleUntil([&] { return rowsShown(results) == 20; }));
  EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
  EXPECT_FALSE(results->noMessageTipView());
  // Page 3 holds the last six; page 4 is empty: no more data, the rows stay.
  ASSERT_TRUE(pullUpUntil(results, 4));
  EXPECT_EQ(request(4)["page"], "3");
  ASSERT_TRUE(settleUntil([&] { return rowsShown(results) == 26; }));
  ASSERT_TRUE(pullUpUntil(results, 5));
  EXPECT_EQ(request(5)["page"], "4");
  auto footer = pr_footer(results->searchResultView()->searchResultCollectionView());
  ASSERT_TRUE(settleUntil([&] { return footer && footer->state() == PRRefreshStateNoMoreData; }));
  EXPECT_EQ(rowsShown(results), 26u);
}

TEST_F(SearchResultsTest, AReplacedRequestsLateReplyIsNotShown) {
  auto results = open("连衣裙");
  ASSERT_TRUE(results);
  service_->script(ScriptedReply{.op = kSearch, .delayMs = 1500});
  searchFromBar(results, "保温杯");
  searchFromBar(results, "零食");
  ASSERT_TRUE(settleUntil([&] { return count(kSearch) == 3; }));
  runMainLoopUntil([] { return false; }, 2.0);
  device().wait(0.5);
  ASSERT_GT(rowsShown(results), 0u);
  for (size_t i = 0; i < results->datasArray()->count(); ++i) {
    auto title = zvt::search::textOf(as<TZSearchResultModel>(results->datasArray()->objectAtIndex(i))->title)->utf8();
    EXPECT_NE(title.find("零食"), std::string::npos) << title;
  }
}

TEST_F(SearchResultsTest, CellsShowPriceRebateSalesAndTheTmallMark) {
  auto results = open("连衣裙");
  ASSERT_TRUE(results);
  auto grid = results->searchResultView()->searchResultCollectionView();
  bool sawTmall = false, sawTaobao = false, sawNoRebate = false;
  for (NSInteger i = 0; i < 10; ++i) {
    auto index = NSIndexPath::indexPathForItem(i, 0);
    grid->scrollToItemAtIndexPath(index, UICollectionViewScrollPositionCenteredVertically, false);
    device().wait(0.1);
    auto cell = std::dynamic_pointer_cast<TZSearchResultCell>(grid->cellForItemAtIndexPath(index));
    ASSERT_TRUE(cell);
    auto model = cell->model();
    auto text = [](const id& v) { return zvt::search::textOrEmpty(v)->utf8(); };
    SCOPED_TRACE(text(model->title));
    EXPECT_EQ(cell->priceLabel()->text()->utf8(), "¥" + text(model->promotion_price));
    char rebate[32];
    std::snprintf(rebate, sizeof rebate, "%.2f", std::stod(text(model->fan)));
    EXPECT_EQ(cell->fanLabel()->text()->utf8(), rebate);
    EXPECT_EQ(cell->salesVolumeLabel()->text()->utf8(), "月销" + text(model->volume));
    EXPECT_EQ(cell->storeNameLabel()->text()->utf8(), text(model->nick));
    EXPECT_EQ(cell->areaLabel()->text()->utf8(), text(model->item_location));
    const bool tmall = text(model->shop_type) == "B";
    EXPECT_EQ(cell->tmalliconImageView()->isHidden(), !tmall);
    const bool noRebate = text(model->fan) == "0";
    EXPECT_EQ(cell->fanLabel()->isHidden(), noRebate);
    EXPECT_EQ(cell->rebateLabel()->isHidden(), noRebate);
    sawTmall |= tmall;
    sawTaobao |= !tmall;
    sawNoRebate |= noRebate;
  }
  EXPECT_TRUE(sawTmall && sawTaobao && sawNoRebate);
  // Showing the tenth cell began the footer's refresh, which asks for the next page half a second
  // later on the clock, and the cells' pictures: let them land before the tap, since the page's
  // reload would replace the cell under the finger. The count of loads alone does not tell that
  // the page has landed: it is zero before the footer asks and again once the page's connection
  // has ended, before its reply has crossed to the main queue and reloaded the grid.
  device().wait(PRRefreshAutoFooterDelay);
  ASSERT_TRUE(settleUntil([&] { return rowsShown(results) == 20 && zvt::urlConnectionLoadsInFlight() == 0; }))
      << "rows shown: " << rowsShown(results);
  grid->setContentOffset(CGPointZero, false);
  device().wait(0.3);
  // Back at the top, the first cells ask for their pictures again: those land first too.
  settleUntil([&] { return zvt::urlConnectionLoadsInFlight() == 0; });
  picture("OwnResults.cells");

  auto first = as<TZSearchResultModel>(results->datasArray()->objectAtIndex(0));
  ASSERT_TRUE(device().tapItem(grid, NSIndexPath::indexPathForItem(0, 0)));
  settleUntil([&] { return topClass() == "WebDetailViewController"; });
  ASSERT_EQ(topClass(), "WebDetailViewController");
  EXPECT_EQ(value(topScreen(), "taoBao_goodsId"), zvt::search::textOf(first->num_iid)->utf8());
  EXPECT_EQ(value(topScreen(), "isProductPush"), "1");
  EXPECT_EQ(value(topScreen(), "isSearchResultPush"), "1");
  if (!isPlaceholder(topScreen())) {
    ASSERT_TRUE(settleUntil([&] { return count("search_goods_click_url") > 0; }));
    auto click = last("search_goods_click_url");
    EXPECT_EQ(click["good_iid"], zvt::search::textOf(first->num_iid)->utf8());
    EXPECT_EQ(click["good_id"], "0");
  }
}

TEST_F(SearchResultsTest, OnlyATmallShopShowsTheTmallMark) {
  struct Case {
    const char* what;
    const char* shopType;  // raw JSON; nil: the row has none
    bool mark;
  };
  const Case cases[] = {
      {"Tmall", R"("B")", true},      {"Taobao", R"("C")", false},  {"lower case", R"("b")", false},
      {"another letter", R"("D")", false}, {"empty", R"("")", false}, {"null", "null", false},
      {"a number", "1", false},       {"none", nullptr, false},
  };
  std::string rows;
  int n = 0;
  for (const auto& c : cases) {
    rows += std::string(rows.empty() ? "" : ",") + R"({"num_iid":")" + std::to_string(570000000000LL + n++) +
            R"(","title":")" + c.what + R"(","promotion_price":"19.90","fan":"1.00","nick":"店","item_location":"杭州","volume":"5")" +
            (c.shopType ? std::string(R"(,"shop_type":)") + c.shopType : std::string()) + "}";
  }
  service_->script(ScriptedReply{.op = kSearch, .rawBody = "[" + rows + "]"});
  auto results = open("甲");
  ASSERT_TRUE(results);
  ASSERT_EQ(results->datasArray()->count(), std::size(cases));
  auto grid = results->searchResultView()->searchResultCollectionView();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    auto index = NSIndexPath::indexPathForItem(static_cast<NSInteger>(i), 0);
    grid->scrollToItemAtIndexPath(index, UICollectionViewScrollPositionCenteredVertically, false);
    device().wait(0.1);
    auto cell = std::dynamic_pointer_cast<TZSearchResultCell>(grid->cellForItemAtIndexPath(index));
    ASSERT_TRUE(cell);
    ASSERT_NE(cell->productTitleLabel()->text()->utf8().find(cases[i].what), std::string::npos);
    EXPECT_EQ(zvt::ui::Device::isVisible(cell->tmalliconImageView()), cases[i].mark);
  }
}

}  // namespace
