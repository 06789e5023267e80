// The exchange store through the device against the local service: the first page of coupons,
// the tabs and their kinds, paging, the failures' placeholder and tips, the stored pictures,
// the poster and a row's detail.

#include "platform/foundation/NSFileManager.h"
#include "platform/graphics/UIImage.h"
#include "tests/app/screens/rewards/ExchangeTestSupport.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace {

using zvt::test::ExchangeTest;
using zvt::test::runMainLoopUntil;
using zvt::test::ScriptedReply;

class ExchangeStoreTest : public ExchangeTest {
 protected:
  // Drags the list up until the footer loads the next page, then waits for its request (the
  // clock stands still meanwhile, so that the request's time-out does not run out).
  bool pullUp(const std::shared_ptr<TZExchangeViewController>& store) {
    const int asked = service_->requestCount("exchange_goods");
    auto footer = pr_footer(store->tableView());
    for (int i = 0; i < 8 && !footer->isRefreshing(); ++i) {
      device().dragView(store->tableView(), CGPointMake(0, -700), 0.3);
      device().wait(0.1);
    }
    device().wait(0.6);  // the footer calls back half a second after it began
    if (!waitForRequests("exchange_goods", asked + 1)) return false;
    runMainLoopUntil([&] { return !footer->isRefreshing(); }, 5);
    device().wait(0.5);
    return true;
  }
  std::vector<std::string> askedPages() const {
    std::vector<std::string> out;
    for (const auto& fields : fieldsOf("exchange_goods")) out.push_back(field(fields, "cid") + ":" + field(fields, "number"));
    return out;
  }
  void tapTab(const char* identifier) {
    ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier(identifier))) << identifier;
    device().wait(0.5);
  }
  // Waits (real time) until `done` holds, turning the main loop.
  bool settle(const std::function<bool()>& done, double seconds = 15) { return waitFor(done, seconds); }
};

TEST_F(ExchangeStoreTest, OpensOnCouponsAndEachTabAsksItsKind) {
  launchLoggedIn();
  service_->clearLog();
  auto store = openStore();
  ASSERT_TRUE(store);
  auto asked = fieldsOf("exchange_goods");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(orderKeys(asked[0]), (std::vector<std::string>{"cid", "number"}));
  EXPECT_EQ(field(asked[0], "cid"), "2");
  EXPECT_EQ(field(asked[0], "number"), "1");
  EXPECT_FALSE(field(asked[0], "time").empty());
  EXPECT_FALSE(field(asked[0], "code").empty());
  EXPECT_FALSE(pr_header(store->tableView())->isRefreshing()) << "no pull-down animation at the start";
  EXPECT_TRUE(device().viewWithText("兑换商城"));

  struct Tab {
    const char* identifier;  // nullptr: the tab the store opens on
    const char* cid;
    const char* picture;
    const char* name;
  };
  for (const Tab& tab : std::vector<Tab>{{nullptr, "2", "pointsStoreTabBar00", "coupons"},
                                         {"exchangeTabVirtual", "3", "pointsStoreTabBar01", "virtual"},
                                         {"exchangeTabPhysical", "1", "pointsStoreTabBar02", "physical"}}) {
    SCOPED_TRACE(tab.name);
    if (tab.identifier) {
      const int before = service_->requestCount("exchange_goods");
      tapTab(tab.identifier);
      ASSERT_TRUE(waitForRequests("exchange_goods", before + 1));
      settle([&] { return store->dataArray()->count() == 10; });
      device().wait(0.5);
      auto last = fieldsOf("exchange_goods").back();
      EXPECT_EQ(field(last, "cid"), tab.cid);
      EXPECT_EQ(field(last, "number"), "1");
      EXPECT_EQ(store->exchangeCentreView()->buttonImageView()->image(), UIImage::imageNamed(NSString::stringWithUTF8String(tab.picture)));
    }
    EXPECT_EQ(store->type(), std::stoi(tab.cid));
    auto cells = visibleCells(store);
    ASSERT_GE(cells.size(), 3u);
    for (const auto& cell : cells) {
      auto record = cell->productDictionary();
      ASSERT_TRUE(record);
      auto text = [&](const char* key) { return field(record, key); };
      EXPECT_TRUE(device().viewWithText(text("title"))) << text("title");
      EXPECT_EQ(cell->zaveltoMoneyLabel()->text()->utf8(), "Velmo:" + text("jifen"));
      EXPECT_TRUE(hasColour(cell->zaveltoMoneyLabel()->textColor(), 97, 190, 235));
      EXPECT_EQ(cell->aLiBaBaMoneyLabel()->text()->utf8(), "集分宝:" + text("jifenbao"));
      EXPECT_TRUE(hasColour(cell->aLiBaBaMoneyLabel()->textColor(), 255, 100, 0));
      EXPECT_EQ(cell->stockImageView()->image(),
                UIImage::imageNamed(text("num") == "0" ? "withDrawOutIcon"_ns : "withDrawIcon"_ns))
          << text("title") << " num " << text("num");
      EXPECT_EQ(cell->frame().size.height, 94);
    }
    EXPECT_EQ(store->tableView()->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)).size.height, 94);
    // The pictures of the rows in view, before the picture is taken.
    settle([&] {
      for (const auto& cell : visibleCells(store))
        if (cell->orderImageView()->image() == UIImage::imageNamed("placeholder_HomeProduct"_ns)) return false;
      return true;
    }, 5);
    device().wait(0.2);
    zvt::test::writeScreenPicture(std::string("ExchangeStore.") + tab.name);
  }
  // The sold-out physical good (the third) shows its mark.
  auto third = std::dynamic_pointer_cast<PointsProductTableViewCell>(
      store->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0)));
  ASSERT_TRUE(third);
  EXPECT_EQ(field(third->productDictionary(), "num"), "0");
  EXPECT_EQ(third->stockImageView()->image(), UIImage::imageNamed("withDrawOutIcon"_ns));
}

TEST_F(ExchangeStoreTest, PullUpAsksTheNextPageAndTheLastPageEndsIt) {
  launchLoggedIn();
  auto store = openStore();
  ASSERT_TRUE(store);
  service_->clearLog();
  ASSERT_TRUE(pullUp(store));
  EXPECT_EQ(askedPages(), (std::vector<std::string>{"2:2"}));
  settle([&] { return store->dataArray()->count() == 20; });
  EXPECT_EQ(store->dataArray()->count(), 20u);
  EXPECT_NE(pr_footer(store->tableView())->state(), PRRefreshStateNoMoreData) << "end 0 leaves pull-up possible";

  scriptGoods(goodsJSON(4, 900, "good%d.png"), 1);
  ASSERT_TRUE(pullUp(store));
  settle([&] { return store->dataArray()->count() == 24; });
  EXPECT_EQ(askedPages(), (std::vector<std::string>{"2:2", "2:3"}));
  EXPECT_EQ(pr_footer(store->tableView())->state(), PRRefreshStateNoMoreData);
}

TEST_F(ExchangeStoreTest, AKindsPageStillOnItsWayWhenAnotherTabIsTappedIsDropped) {
  launchLoggedIn();
  service_->script(ScriptedReply{.op = "exchange_goods", .fieldsJSON = R"({"cid": "2"})", .hold = "coupons"});
  const int asked = service_->requestCount("exchange_goods");
  auto store = std::dynamic_pointer_cast<TZExchangeViewController>(zvt::makeScreen("TZExchangeViewController"));
  ASSERT_TRUE(store);
  homeStack()->pushViewController(store, false);
  ASSERT_TRUE(waitForRequests("exchange_goods", asked + 1));
  // Tapped while the loading overlay fades in; the coupons come after the virtual goods.
  tapTab("exchangeTabVirtual");
  ASSERT_TRUE(waitForRequests("exchange_goods", asked + 2));
  ASSERT_TRUE(settle([&] { return store->dataArray()->count() == 10; }));
  service_->release("coupons");
  settleRequests();
  device().wait(0.5);
  EXPECT_EQ(store->tableView()->numberOfRowsInSection(0), 10) << "the virtual goods alone";
}

TEST_F(ExchangeStoreTest, FailuresShowThePlaceholderOrTheKindsTipAndAFailedPageIsAskedAgain) {
  launchLoggedIn();
  auto store = openStore();
  ASSERT_TRUE(store);

  struct Case {
    const char* name;
    ScriptedReply reply;
  };
  for (const Case& c : std::vector<Case>{
           {"code 222", ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .code = 222, .msg = "网络错误"}},
           // A request cut on a kept-alive connection is sent again by the loader, once for each
           // idle connection it still holds and then on a new one: how many go out depends on
           // how many connections earlier requests left open, so every one is cut until the
           // placeholder shows.
           {"a dropped connection", ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .drop = true, .sticky = true}}}) {
    SCOPED_TRACE(c.name);
    service_->script(c.reply);
    const int before = service_->requestCount("exchange_goods");
    tapTab("exchangeTabVirtual");
    ASSERT_TRUE(waitForRequests("exchange_goods", before + 1));
    ASSERT_TRUE(settle([&] { return store->tipView() != nullptr; }));
    service_->clearScripts();
    const int failed = service_->requestCount("exchange_goods");
    device().wait(0.5);
    EXPECT_TRUE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
    EXPECT_TRUE(device().viewWithText("点击重试"));
    EXPECT_EQ(store->tableView()->numberOfRowsInSection(0), 0);
    if (std::string(c.name) == "code 222") zvt::test::writeScreenPicture("ExchangeStore.placeholder");

    ASSERT_TRUE(device().tapText("点击重试"));
    ASSERT_TRUE(waitForRequests("exchange_goods", failed + 1));
    auto retry = fieldsOf("exchange_goods").back();
    EXPECT_EQ(field(retry, "cid"), "3") << "the same kind";
    EXPECT_EQ(field(retry, "number"), "1");
    ASSERT_TRUE(settle([&] { return store->tipView() == nullptr; }));
    device().wait(0.5);
    EXPECT_FALSE(device().viewWithText("点击重试"));
    EXPECT_EQ(store->dataArray()->count(), 10u);
  }

  // Any other code: the kind's tip for two seconds over an empty list.
  service_->script(ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .code = 203, .msg = "无"});
  tapTab("exchangeTabCoupons");
  ASSERT_TRUE(settle([&] { return device().viewWithText("当前无可兑换优惠券") != nullptr; }));
  EXPECT_EQ(store->tableView()->numberOfRowsInSection(0), 0);
  EXPECT_FALSE(store->tipView());
  device().wait(2.5);
  EXPECT_FALSE(device().viewWithText("当前无可兑换优惠券")) << "gone after two seconds";

  // A failed pull-up to page 3: the next pull-up asks page 3 again.
  const int before = service_->requestCount("exchange_goods");
  tapTab("exchangeTabCoupons");
  ASSERT_TRUE(waitForRequests("exchange_goods", before + 1));
  settle([&] { return store->dataArray()->count() == 10; });
  ASSERT_TRUE(pullUp(store));
  settle([&] { return store->dataArray()->count() == 20; });
  service_->clearLog();
  service_->script(ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .code = 203, .msg = "无"});
  ASSERT_TRUE(pullUp(store));
  settle([&] { return device().viewWithText("当前无可兑换优惠券") != nullptr; });
  device().wait(2.5);
  EXPECT_EQ(store->dataArray()->count(), 20u) << "the rows loaded stay";
  ASSERT_TRUE(pullUp(store));
  EXPECT_EQ(askedPages(), (std::vector<std::string>{"2:3", "2:3"}));
}

TEST_F(ExchangeStoreTest, PicturesAreStoredAsPNGFilesShownAtOnceAndNeverOnAnotherProductsRow) {
  launchLoggedIn();
  auto files = NSFileManager::defaultManager();
  auto stored = PointsProductTableViewCell::pictureFilePath(NSString::stringWithUTF8String(service_->rootURL() + "/images/abc.jpg"));
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->hasSuffix("/Documents/image/abc.jpg.png")) << stored->utf8();

  scriptGoods(goodsJSON(1, 1, "abc.jpg"));
  auto store = openStore();
  ASSERT_TRUE(store);
  ASSERT_TRUE(settle([&] { return files->fileExistsAtPath(stored); }));
  auto bytes = NSData::dataWithContentsOfFile(stored);
  ASSERT_TRUE(bytes && bytes->length() > 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes->bytes()), 8), "\x89PNG\r\n\x1a\n");
  auto decoded = UIImage::imageWithData(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->size().width, 60);
  auto cell = visibleCells(store).at(0);
  ASSERT_TRUE(settle([&] { return cell->orderImageView()->image() != UIImage::imageNamed("placeholder_HomeProduct"_ns); }));
  homeStack()->popViewControllerAnimated(false);
  device().wait(0.5);

  // Opened again with the download held back: the stored file shows before it ends.
  service_->script(ScriptedReply{.op = "/images/abc.jpg", .iface = "image", .delayMs = 3000});
  scriptGoods(goodsJSON(1, 1, "abc.jpg"));
  const auto opened = std::chrono::steady_clock::now();
  store = openStore();
  ASSERT_TRUE(store);
  cell = visibleCells(store).at(0);
  EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::milliseconds(2900));
  ASSERT_TRUE(cell->orderImageView()->image());
  EXPECT_EQ(cell->orderImageView()->image()->size().width, 60) << "the stored picture, not the placeholder";
  homeStack()->popViewControllerAnimated(false);
  device().wait(0.5);

  // A damaged picture: the error image, and no file.
  scriptGoods(goodsJSON(1, 2, "broken%d.png"));
  store = openStore();
  ASSERT_TRUE(store);
  cell = visibleCells(store).at(0);
  ASSERT_TRUE(settle([&] { return cell->orderImageView()->image() == UIImage::imageNamed("image_error"_ns); }));
  EXPECT_FALSE(files->fileExistsAtPath(PointsProductTableViewCell::pictureFilePath(
      NSString::stringWithUTF8String(service_->rootURL() + "/images/broken2.png"))));
  homeStack()->popViewControllerAnimated(false);
  device().wait(0.5);

  // Sixty rows over slow pictures, flung: each picture's width tells its product (40 + id).
  scriptGoods(goodsJSON(60, 1, "slow%1$d_%1$dx40.png"));
  store = openStore();
  ASSERT_TRUE(store);
  for (int i = 0; i < 4; ++i) {
    device().dragView(store->tableView(), CGPointMake(0, i % 2 ? 900 : -1400), 0.15, zvt::ui::Device::Release::Fling);
    device().wait(0.4);
  }
  // Until no picture has been asked for in a while (each answers after two seconds).
  for (int last = -1, now = service_->requestCount("", "image"); now != last; now = service_->requestCount("", "image")) {
    last = now;
    runMainLoopUntil([] { return false; }, 2.6);
  }
  device().wait(0.5);
  auto cells = visibleCells(store);
  ASSERT_FALSE(cells.empty());
  int pictures = 0;
  for (const auto& row : cells) {
    auto image = row->orderImageView()->image();
    if (!image || image == UIImage::imageNamed("placeholder_HomeProduct"_ns)) continue;
    ++pictures;
    EXPECT_EQ(image->size().width, std::stoi(field(row->productDictionary(), "id")))
        << "row of product " << field(row->productDictionary(), "id");
  }
  EXPECT_GT(pictures, 0);
}

TEST_F(ExchangeStoreTest, ALatePictureOfAProductARowNoLongerShowsStaysOffIt) {
  launchLoggedIn();
  // Product 51's picture comes late; the row shows product 52 by then, whose picture is quick.
  service_->script(ScriptedReply{.op = "/images/late51_51x40.png", .iface = "image", .delayMs = 2500, .times = 6});
  scriptGoods(goodsJSON(1, 51, "late%1$d_%1$dx40.png"));
  auto store = openStore();
  ASSERT_TRUE(store);
  // The cell that showed product 51 is filled again with product 52 by the reload.
  auto cell = visibleCells(store).at(0);
  scriptGoods(goodsJSON(1, 52, "good%1$d_%1$dx40.png"));
  tapTab("exchangeTabCoupons");
  ASSERT_TRUE(settle([&] { return field(cell->productDictionary(), "id") == "52"; }));
  ASSERT_TRUE(settle([&] {
    auto image = cell->orderImageView()->image();
    return image && image->size().width == 52;
  }));
  runMainLoopUntil([] { return false; }, 3.5);  // the late pictures have come and gone
  device().wait(0.2);
  EXPECT_EQ(cell->orderImageView()->image()->size().width, 52) << "product 51's picture is not shown on product 52's row";
}

TEST_F(ExchangeStoreTest, ThePosterLeadsToTheCheckInOrTheLoginAndARowToItsDetail) {
  auto delegate = launchLoggedIn();
  auto store = openStore();
  ASSERT_TRUE(store);
  auto poster = store->exchangeCentreView()->posterImageView();
  ASSERT_TRUE(device().tapView(poster));
  device().wait(1);
  EXPECT_EQ(topClass(), "ThecalendarViewController");
  homeStack()->popViewControllerAnimated(false);
  device().wait(0.5);

  NSUserDefaults::standardUserDefaults()->removeObjectForKey("info"_ns);
  ASSERT_TRUE(delegate->isLogin());
  ASSERT_TRUE(device().tapView(poster));
  device().wait(1);
  EXPECT_TRUE(device().viewWithText("TZLoginViewController")) << "the login screen is presented";
  EXPECT_EQ(topScreen(), store);
  store->dismissViewControllerAnimated(false);
  device().wait(0.5);

  const int before = service_->requestCount("exchange_goods");
  tapTab("exchangeTabVirtual");
  ASSERT_TRUE(waitForRequests("exchange_goods", before + 1));
  settle([&] { return store->dataArray()->count() == 10; });
  device().wait(0.5);
  ASSERT_TRUE(device().tapRow(store->tableView(), NSIndexPath::indexPathForRow(1, 0)));
  device().wait(1);
  auto detail = std::dynamic_pointer_cast<PointsProductDetailViewController>(topScreen());
  ASSERT_TRUE(detail);
  EXPECT_TRUE(device().viewWithText("兑换详情"));
  EXPECT_EQ(detail->productType(), 3);
  EXPECT_EQ(detail->infoDic(), store->dataArray()->objectAtIndex(1));
}

}  // namespace
