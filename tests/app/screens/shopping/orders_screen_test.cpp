// The rebate orders screen through the device against the local service: opening it, both
// lists page by page, the empty and failure views, the rows' coupon states and the coupon flow,
// replies that arrive late, and pictures of each state on two screen sizes.

#include <set>

#include "analytics/StatAgent.h"
#include "app/ui/SharedViews.h"
#include "platform/network/NSURLConnection.h"
#include "tests/app/screens/shopping/OrdersScreenSupport.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace {

using nlohmann::json;
namespace ui = zvt::ui;
using zvt::test::OrdersScreenTest;

std::string field(const json& entry, const char* key) {
  if (!entry.is_object() || !entry.contains("fields") || !entry["fields"].contains(key)) return "(absent)";
  const json& value = entry["fields"][key];
  return value.is_string() ? value.get<std::string>() : value.dump();
}

// "number/do" of each order request, oldest first.
std::vector<std::string> pagesAsked(const json& log) {
  std::vector<std::string> out;
  for (const auto& entry : log) out.push_back(field(entry, "number") + "/" + field(entry, "do"));
  return out;
}

class OrdersTest : public OrdersScreenTest {
 protected:
  std::shared_ptr<PRRefreshFooter> footer() const { return pr_footer(table()); }
  std::string tipText() const {
    auto tip = orders()->noMessageTipView();
    return tip && ui::Device::isVisible(tip) ? text(tip->noMessageLabel()->text()) : "";
  }
  // Drags the first page past its end until the footer asks for page 2 (whose reply a test may
  // hold back); true once the service has seen that request.
  bool dragUntilPageTwoIsAsked() { return dragUntilAsked(2); }
  // Drags the list towards its end until the footer refreshes; true once the service has seen
  // `count` order requests.
  bool dragUntilAsked(int count) {
    auto list = table();
    for (int i = 0; i < 30 && footer()->state() != PRRefreshStateRefreshing && requests("order") < count; ++i) {
      device().dragView(list, CGPointMake(0, -350), 0.3);
      device().waitUntilStill(list);
    }
    device().wait(0.6);
    return waitFor([&] { return requests("order") == count; });
  }
  // Waits until the service has seen `count` order requests, letting the virtual clock run
  // between short real-time waits (the header calls back after its animation), but not for
  // the replies.
  bool askedWithoutWaitingForTheReply(int count) {
    for (int step = 0; step < 30 && requests("order") < count; ++step) {
      if (waitFor([&] { return requests("order") >= count; }, 0.1)) break;
      device().wait(0.1);
    }
    return requests("order") == count;
  }
  // The record id of the Taobao list's row.
  std::string orderId(NSUInteger row) const {
    auto order = std::dynamic_pointer_cast<TZTaobaoOrderModel>(orders()->taobaoArray()->objectAtIndex(row));
    return order ? text(zvt::shopping::orderText(order->orderID)) : "";
  }
};

TEST_F(OrdersTest, TheHomeItemAndThePushRouteOpenTheFirstTaobaoPage) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  ASSERT_TRUE(orders());
  EXPECT_EQ(orders()->className(), "TZOrderViewController");

  // The enciphered time stamp, then the enciphered order request, signed.
  json log = requestLog("", "enciphered");
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0]["op"], "get_time");
  EXPECT_EQ(log[1]["op"], "order");
  EXPECT_EQ(log[1]["form"], "des");
  EXPECT_EQ(log[1]["signature"], "ok");
  EXPECT_EQ(field(log[1], "id") + " " + field(log[1], "number") + " " + field(log[1], "do"), "10001 1 taobao");

  ASSERT_EQ(rows(), 10);
  EXPECT_TRUE(device().viewWithText("淘宝订单"));
  EXPECT_TRUE(device().viewWithText("商城订单"));
  auto cell = showRow(0);
  ASSERT_TRUE(cell);
  auto order = orders()->taobaoArray()->objectAtIndex(0);
  auto model = std::dynamic_pointer_cast<TZTaobaoOrderModel>(order);
  ASSERT_TRUE(model);
  for (auto shown : {cell->orderNumLabel()->text(), cell->orderTitleLabel()->text(), cell->priceLabel()->text(),
                     cell->timeLabel()->text()}) {
    EXPECT_TRUE(device().viewWithText(text(shown))) << text(shown);
  }
  EXPECT_EQ(text(cell->orderNumLabel()->text()), "88000000000000");
  EXPECT_EQ(text(cell->priceLabel()->text()), "6.96");
  EXPECT_EQ(text(cell->timeLabel()->text()), "2026-11-27 12:30:00");
  auto rebate = cell->jifenbaoLabel()->attributedText();
  EXPECT_EQ(text(rebate->string()), "回扣100集分宝");
  EXPECT_EQ(runAt(rebate, 2), "13b 255,110,40 2+3") << "the amount from character 2";

  device().tapView(device().viewWithText("淘宝订单"));  // a tap on the shown segment changes nothing
  EXPECT_EQ(requests("order"), 1);

  // Back, and open again through the push route of code 2.
  delegate_->tabBarController()->setSelectedWithIndex(0);
  std::static_pointer_cast<UINavigationController>(delegate_->tabBarController()->selectedViewController())
      ->popToRootViewControllerAnimated(false);
  device().wait(1);
  zvt::stat::flush();
  bool logged = false;
  for (const auto& entry : zvt::stat::recordedEntries())
    logged = logged || text(zvt::as<NSString>(entry->objectForKey("page"_ns))) == "回扣订单页";
  EXPECT_TRUE(logged) << "the page view is logged once the screen is left";
  delegate_->setRemoteNotification(
      NSDictionary::make({{"aps"_ns, NSDictionary::make({{"alert"_ns, "订单"_ns}})}, {"content_type"_ns, "2"_ns}}));
  delegate_->getPushInfo();
  device().wait(1);
  ASSERT_TRUE(orders()) << topClass();
  waitForRequests("order", 2);
  EXPECT_EQ(rows(), 10);
}

TEST_F(OrdersTest, BothListsPageWithTheirOwnMarks) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  ASSERT_EQ(rows(), 10);
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(rows(), 20);
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(rows(), 25);
  EXPECT_EQ(footer()->state(), PRRefreshStateNoMoreData);
  EXPECT_FALSE(pullUp()) << "the last page asks for nothing more";
  EXPECT_TRUE(device().viewWithText("已经全部加载完毕"));
  EXPECT_EQ(pagesAsked(requestLog("order")), (std::vector<std::string>{"1/taobao", "2/taobao", "3/taobao"}));

  switchTo("商城订单");
  EXPECT_EQ(pagesAsked(requestLog("order")).back(), "1/mall");
  ASSERT_EQ(rows(), 10);
  auto mall = storeCell(0);
  ASSERT_TRUE(mall);
  EXPECT_EQ(text(mall->priceLabel()->text()), "￥59.00");
  EXPECT_EQ(text(mall->velmoLabel()->text()), "30Velmo");
  EXPECT_EQ(runAt(mall->velmoLabel()->attributedText(), 0), "13b 255,110,40 0+2");
  EXPECT_EQ(text(mall->moneyLabel()->text()), "回扣收入3.00元");
  EXPECT_EQ(runAt(mall->moneyLabel()->attributedText(), 4), "13b 255,110,40 4+4");
  EXPECT_EQ(text(mall->statusLabel()->text()), "已结算");
  EXPECT_EQ(text(mall->timeLabel()->text()), "2026-10-28 09:15:00");
  EXPECT_EQ(text(mall->numberLabel()->text()), "数量x1");
  EXPECT_EQ(text(mall->orderNumLabel()->text()), "M202611000");
  EXPECT_TRUE(device().viewWithText("回扣收入3.00元"));
  // A mall row opens nothing.
  device().tapView(mall);
  device().wait(1);
  EXPECT_EQ(topClass(), "TZOrderViewController");
  EXPECT_EQ(footer()->state(), PRRefreshStateIdle) << "the mall list has its own mark";

  const int asked = requests("order");
  switchTo("淘宝订单");
  EXPECT_EQ(requests("order"), asked) << "a loaded list is only shown again";
  EXPECT_EQ(rows(), 25);
  EXPECT_EQ(footer()->state(), PRRefreshStateNoMoreData);

  // A pull-down brings page 1 again (end 0): the list is no longer complete.
  pullDownToRefresh();
  EXPECT_EQ(pagesAsked(requestLog("order")).back(), "1/taobao");
  EXPECT_EQ(rows(), 10);
  EXPECT_EQ(text(orders()->lastPageMark(0)), "0");
  switchTo("商城订单");
  switchTo("淘宝订单");
  EXPECT_EQ(footer()->state(), PRRefreshStateIdle);
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(pagesAsked(requestLog("order")).back(), "2/taobao") << ::testing::PrintToString(pagesAsked(requestLog("order")));
  EXPECT_EQ(rows(), 20);
}

TEST_F(OrdersTest, AUserWithoutOrdersSeesTheEmptyViewsThatLeadToShopping) {
  struct Case {
    const char* segment;  // nullptr: the list shown on opening
    const char* text;
    NSUInteger colouredFrom, colouredLength;
    NSUInteger tab;
  };
  for (const Case& c : std::vector<Case>{{nullptr, "订单会在您确认收货后24小时内显示", 5, 5, 0},
                                         {"商城订单", "订单会在您下单后15~20分钟显示", 8, 7, 3}}) {
    SCOPED_TRACE(c.text);
    if (!delegate_) {
      openAs(zvt::test::kServiceOtherUserName, zvt::test::kServiceOtherUserPassword);
    } else {
      delegate_->tabBarController()->setSelectedWithIndex(0);
      device().wait(1);
      openFromHomeItem();
    }
    if (c.segment) switchTo(c.segment);
    EXPECT_EQ(rows(), 0);
    ASSERT_EQ(tipText(), c.text);
    auto label = orders()->noMessageTipView()->noMessageLabel();
    // The tip's own 14-point grey where the text names no font or colour.
    EXPECT_EQ(runAt(label->attributedText(), 0), "14 153,153,153 0+" + std::to_string(c.colouredFrom));
    EXPECT_EQ(runAt(label->attributedText(), c.colouredFrom),
              "14 255,110,40 " + std::to_string(c.colouredFrom) + "+" + std::to_string(c.colouredLength));
    EXPECT_NE(picture(c.segment ? "no-mall-orders" : "no-taobao-orders"), "");
    auto navigation = orders()->navigationController();
    ASSERT_TRUE(device().tapText("去逛逛"));
    device().wait(1);
    EXPECT_EQ(navigation->viewControllers().size(), 1u) << "back at the root";
    EXPECT_EQ(delegate_->tabBarController()->selectedIndex(), c.tab);
  }
}

TEST_F(OrdersTest, AFailedPageShowsTheFailureViewAndRetriesThatPage) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2"})", .httpStatus = 500,
                                            .rawBody = "<html><body>500 Internal Server Error</body></html>"});
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(tipText(), "亲，您的手机网络不顺畅哦~");
  EXPECT_TRUE(device().viewWithText("点击重试"));
  EXPECT_EQ(rows(), 10) << "the rows stay";
  ASSERT_TRUE(device().tapText("点击重试"));
  waitForRequests("order", 3);
  EXPECT_EQ(pagesAsked(requestLog("order")), (std::vector<std::string>{"1/taobao", "2/taobao", "2/taobao"}));
  EXPECT_EQ(tipText(), "");
  EXPECT_FALSE(orders()->noMessageTipView());
  EXPECT_EQ(rows(), 20);
}

TEST_F(OrdersTest, TheRetryTappedAgainWhileItsPageIsOnItsWaySendsNothingMore) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2"})", .httpStatus = 500,
                                            .rawBody = "<html><body>500 Internal Server Error</body></html>"});
  ASSERT_TRUE(pullUp());
  ASSERT_EQ(tipText(), "亲，您的手机网络不顺畅哦~");
  // The retried page is held at the service: the failure view stays, and is tapped again.
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2"})", .hold = "retry"});
  ASSERT_TRUE(device().tapText("点击重试"));
  ASSERT_TRUE(askedWithoutWaitingForTheReply(3));
  ASSERT_TRUE(device().tapText("点击重试"));
  device().wait(0.5);
  service_->release("retry");
  settleReplies();
  ASSERT_TRUE(waitFor([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
  EXPECT_EQ(pagesAsked(requestLog("order")), (std::vector<std::string>{"1/taobao", "2/taobao", "2/taobao"}));
  EXPECT_EQ(rows(), 20);
}

TEST_F(OrdersTest, AFailedPageLeftByASwitchOfListsIsAskedForByTheNextPullUp) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2"})", .httpStatus = 500,
                                            .rawBody = "<html><body>500 Internal Server Error</body></html>"});
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(tipText(), "亲，您的手机网络不顺畅哦~");
  // Away to the other list and back: the failure view is gone, the first page shows again.
  switchTo("商城订单");
  switchTo("淘宝订单");
  EXPECT_EQ(tipText(), "");
  ASSERT_EQ(rows(), 10);
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(pagesAsked(requestLog("order")),
            (std::vector<std::string>{"1/taobao", "2/taobao", "1/mall", "2/taobao"}))
      << "the page that failed is asked for again, not skipped";
  EXPECT_EQ(rows(), 20);
  // And the paging goes on from there.
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(pagesAsked(requestLog("order")).back(), "3/taobao");
  EXPECT_EQ(rows(), 25);
}

TEST_F(OrdersTest, APullDownAfterAFailedPageStartsThePagingOver) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2"})", .httpStatus = 500,
                                            .rawBody = "<html><body>500 Internal Server Error</body></html>"});
  ASSERT_TRUE(pullUp());
  ASSERT_EQ(tipText(), "亲，您的手机网络不顺畅哦~");
  // Away and back (the failure view goes), then the list is pulled down and, before its first
  // page comes, up to its end again.
  switchTo("商城订单");
  switchTo("淘宝订单");
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "1", "do": "taobao"})",
                                            .delayMs = 2500});
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2", "do": "taobao"})",
                                            .delayMs = 5000});
  auto list = table();
  dragToTop(list);
  device().pullDown(list, 150);
  ASSERT_TRUE(askedWithoutWaitingForTheReply(4));
  ASSERT_TRUE(dragUntilAsked(5));
  ASSERT_TRUE(waitFor([&] { return !orders()->isLoading(); }, 10));
  settleReplies();
  EXPECT_EQ(pagesAsked(requestLog("order")),
            (std::vector<std::string>{"1/taobao", "2/taobao", "1/mall", "1/taobao", "2/taobao"}))
      << "the page that failed before the pull-down is not the one asked for after it";
  EXPECT_EQ(rows(), 20);
}

TEST_F(OrdersTest, APageOvertakenByAPullDownIsDropped) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  // Page 2 comes late; the person pulls the list down meanwhile and page 1 comes first.
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2", "do": "taobao"})",
                                            .delayMs = 1500});
  ASSERT_TRUE(dragUntilPageTwoIsAsked());
  pullDownToRefresh();
  ASSERT_TRUE(waitFor([&] { return !orders()->isLoading(); }));
  settleReplies();
  auto orderId = [&](NSUInteger i) {
    return text(zvt::shopping::orderText(std::dynamic_pointer_cast<TZTaobaoOrderModel>(orders()->taobaoArray()->objectAtIndex(i))->orderID));
  };
  ASSERT_EQ(rows(), 10) << "the list starts again from its first page";
  EXPECT_EQ(orderId(0), "3000");
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(pagesAsked(requestLog("order")),
            (std::vector<std::string>{"1/taobao", "2/taobao", "1/taobao", "2/taobao"}));
  ASSERT_EQ(rows(), 20);
  std::set<std::string> ids;
  for (NSUInteger i = 0; i < 20; ++i) ids.insert(orderId(i));
  EXPECT_EQ(ids.size(), 20u) << "no order twice";
  EXPECT_EQ(orderId(10), "3010");
}

TEST_F(OrdersTest, APageThatComesWhileTheListIsPulledDownLeavesThePullARefresh) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  // Page 2 comes late: the person has gone back to the top and is pulling the list down, finger
  // still on the glass, when it comes.
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2", "do": "taobao"})",
                                            .delayMs = 2000});
  ASSERT_TRUE(dragUntilPageTwoIsAsked());
  auto list = table();
  dragToTop(list);
  ASSERT_EQ(pr_header(list)->state(), PRRefreshStateIdle);
  auto finger = pullDownAndHold(list);
  EXPECT_TRUE(device().viewWithText("松开立即刷新")) << "pulled past the header";
  // The late page comes (and is shown: the list had not started again yet).
  ASSERT_TRUE(waitFor([&] { return !orders()->isLoading(); }));
  EXPECT_EQ(rows(), 20);
  EXPECT_TRUE(device().viewWithText("松开立即刷新")) << "the header still waits for the finger";
  device().touchUp(finger);
  waitForRequests("order", 3);
  EXPECT_EQ(pagesAsked(requestLog("order")), (std::vector<std::string>{"1/taobao", "2/taobao", "1/taobao"}));
  ASSERT_EQ(rows(), 10) << "the pull-down ends with the fresh first page";
  picture("pulled-down-past-a-late-page");
}

TEST_F(OrdersTest, APageAskedForBeforeTheFirstPageOfAPullDownComesFollowsThatFirstPage) {
  // The person pulls the list down and, before its first page comes, drags it to its end: the
  // footer asks for page 2 while page 1 is still on its way. Each reply is placed by the page it
  // asked for, whichever comes first.
  struct Case {
    const char* when;
    int firstPageDelayMs, secondPageDelayMs;
    // Page 1 held at the service until page 2's reply has been handled, however long the
    // footer takes to ask for it.
    bool firstPageWaitsForTheSecond;
    std::vector<std::string> asked;  // after the list has settled (and been pulled up once more if short)
  };
  for (const Case& c : std::vector<Case>{
           {"page 2 comes after page 1", 2500, 5000, false, {"1/taobao", "1/taobao", "2/taobao"}},
           {"page 2 comes before page 1", 0, 0, true, {"1/taobao", "1/taobao", "2/taobao", "2/taobao"}}}) {
    SCOPED_TRACE(c.when);
    if (delegate_) TearDown(), SetUp();
    openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
    ASSERT_EQ(rows(), 10);
    service_->script(zvt::test::ScriptedReply{.op = "order",
                                              .fieldsJSON = R"({"number": "1", "do": "taobao"})",
                                              .delayMs = c.firstPageDelayMs,
                                              .hold = c.firstPageWaitsForTheSecond ? "first page" : ""});
    if (c.secondPageDelayMs > 0)
      service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2", "do": "taobao"})",
                                                .delayMs = c.secondPageDelayMs});
    auto list = table();
    dragToTop(list);
    device().pullDown(list, 150);
    ASSERT_TRUE(askedWithoutWaitingForTheReply(2)) << "the pull-down asked for page 1";
    ASSERT_TRUE(dragUntilAsked(3)) << "the footer asked for page 2";
    if (c.firstPageWaitsForTheSecond) {
      // Page 2 is dropped when it comes (the list steps back to ask for it again), then page 1
      // is let go.
      ASSERT_TRUE(waitFor([&] { return text(orders()->pageText(0)) == "1"; }));
      service_->release("first page");
    }
    ASSERT_TRUE(waitFor([&] { return !orders()->isLoading(); }, 10));
    settleReplies();
    if (rows() < 20) {
      EXPECT_EQ(rows(), 10) << "the first page alone, not after the rows it replaces";
      // Still at the end of the list: back up a little, then up to its end again.
      device().dragView(list, CGPointMake(0, 200), 0.3);
      device().waitUntilStill(list);
      ASSERT_TRUE(pullUp());
    }
    EXPECT_EQ(pagesAsked(requestLog("order")), c.asked);
    ASSERT_EQ(rows(), 20);
    std::set<std::string> ids;
    for (NSUInteger i = 0; i < 20; ++i) ids.insert(orderId(i));
    EXPECT_EQ(ids.size(), 20u) << "no order twice";
    EXPECT_EQ(orderId(0), "3000");
    EXPECT_EQ(orderId(10), "3010");
    EXPECT_EQ(footer()->state(), PRRefreshStateIdle);
  }
  picture("paged-while-pulled-down");
}

TEST_F(OrdersTest, RowsShowTheirCouponState) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  struct Case {
    NSInteger row;
    const char* title;  // "" for no button
    double border;
    bool takesTouches;
  };
  for (const Case& c : std::vector<Case>{{0, "使用回扣券", 1, true}, {1, "额外+5个", 0, false}, {2, "", 0, false},
                                         {5, "使用回扣券", 1, true}}) {
    SCOPED_TRACE(c.row);
    auto cell = showRow(c.row);
    ASSERT_TRUE(cell);
    auto button = cell->rebateBtn();
    if (!*c.title) {
      EXPECT_FALSE(ui::Device::isVisible(button));
      continue;
    }
    ASSERT_TRUE(ui::Device::isVisible(button));
    EXPECT_EQ(text(button->currentTitle()), c.title);
    EXPECT_EQ(runAt(button->currentAttributedTitle(), 0), std::string("- 255,110,40 0+") +
                                                              std::to_string(button->currentTitle()->length()));
    EXPECT_EQ(button->layer()->borderWidth(), c.border);
    if (c.border > 0) {
      EXPECT_EQ(rgbOf(UIColor::colorWithCGColor(button->layer()->borderColor())), "255,110,40");
    }
    EXPECT_EQ(button->isUserInteractionEnabled(), c.takesTouches);
    EXPECT_TRUE(cell->rebateView()->isHidden() == !c.takesTouches);
  }
}

TEST_F(OrdersTest, ACouponIsChosenConfirmedAndShownOnItsOrder) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  auto cell = showRow(0);
  ASSERT_TRUE(cell);
  ASSERT_TRUE(device().tapView(cell->rebateBtn()));
  ASSERT_TRUE(waitFor([&] { return requests("get_coupon") == 1; }));
  waitFor([&] { return orders()->couponsArray() != nullptr; });
  device().wait(0.5);
  json asked = lastRequest("get_coupon");
  EXPECT_EQ(field(asked, "uid") + " " + field(asked, "tradeId"), "10001 3000") << "the order record's id";
  EXPECT_EQ(asked["signature"], "ok");

  // 192 + 15 + 2 lines of (15 + (320 - 46) / 4).
  EXPECT_EQ(rowHeight(0), 374);
  cell = showRow(0);
  ASSERT_TRUE(cell);
  auto tiles = cell->rebateView()->subviews();
  ASSERT_EQ(tiles.size(), 3u);
  struct Tile {
    CGRect frame;
    NSInteger tag;
    const char* image;
  };
  const Tile expected[] = {{{10, 15, 137, 68.5}, 101, "coupon1"},
                           {{157, 15, 137, 68.5}, 102, "coupon2"},
                           {{10, 98.5, 137, 68.5}, 103, "coupon2"}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    auto tile = std::dynamic_pointer_cast<UIImageView>(tiles[i]);
    ASSERT_TRUE(tile);
    EXPECT_TRUE(CGRectEqualToRect(tile->frame(), expected[i].frame)) << NSStringFromCGRect(tile->frame())->utf8();
    EXPECT_EQ(tile->tag(), expected[i].tag);
    EXPECT_EQ(tile->image(), UIImage::imageNamed(NSString::stringWithUTF8String(expected[i].image)));
  }
  EXPECT_EQ(cell->rebateView()->frame().origin.y, 192);
  EXPECT_EQ(cell->rebateView()->frame().size.height, 182);

  // A row lays itself out anew (a new picker each time): tiles are found as they show now.
  auto tile = [&](size_t i) { return showRow(0)->rebateView()->subviews().at(i); };
  // "取消" sends nothing.
  ASSERT_TRUE(device().tapView(tile(0)));
  device().wait(0.5);
  ASSERT_TRUE(device().viewWithText("确定对此商品订单使用回扣券？"));
  ASSERT_TRUE(device().tapText("取消"));
  device().wait(1);
  EXPECT_EQ(requests("use_coupon"), 0);

  ASSERT_TRUE(device().tapView(tile(0)));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("确定"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("使用成功，获得额外回扣5集分宝") != nullptr; }));
  json used = lastRequest("use_coupon");
  EXPECT_EQ(field(used, "uid") + " " + field(used, "couponId") + " " + field(used, "tradeId"), "10001 101 3000");
  device().wait(1.2);
  EXPECT_TRUE(device().viewWithText("使用成功，获得额外回扣5集分宝")) << "the tip stays 1.5 s";
  device().wait(1);
  EXPECT_FALSE(device().viewWithText("使用成功，获得额外回扣5集分宝"));
  EXPECT_EQ(rowHeight(0), 192);
  cell = showRow(0);
  ASSERT_TRUE(cell);
  EXPECT_EQ(text(cell->rebateBtn()->currentTitle()), "额外+5个");
  EXPECT_FALSE(cell->rebateBtn()->isUserInteractionEnabled());

  // Scrolled away and back, and after a pull-down, the order still shows it.
  showRow(8);
  cell = showRow(0);
  EXPECT_EQ(text(cell->rebateBtn()->currentTitle()), "额外+5个");
  // Row 8 is near the first page's end, so its drag may have set the footer loading page 2,
  // whose reply may come while the list is pulled down: the pull-down refreshes all the same.
  pullDownToRefresh();
  cell = showRow(0);
  ASSERT_TRUE(cell);
  EXPECT_EQ(text(cell->rebateBtn()->currentTitle()), "额外+5个");
  EXPECT_FALSE(device().viewWithText("使用回扣券") && device().viewWithText("使用回扣券")->isDescendantOfView(cell));
  EXPECT_EQ(requests("get_coupon"), 1);
}

TEST_F(OrdersTest, TheCouponButtonOpensAndClosesPickersAndReportsWhatTheServerSays) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  auto tap = [&](NSInteger row, bool asks = true) {
    const int before = requests("get_coupon");
    auto cell = showRow(row);
    ASSERT_TRUE(cell);
    ASSERT_TRUE(device().tapView(cell->rebateBtn()));
    if (asks) {
      ASSERT_TRUE(waitFor([&] { return requests("get_coupon") > before; }));
      waitFor([&] { return !orders()->openRebateCell() || orders()->couponsArray(); });
    }
    device().wait(0.6);
  };
  // Open, then a second tap closes without a request.
  tap(0);
  EXPECT_EQ(rowHeight(0), 374);
  tap(0, false);
  EXPECT_EQ(rowHeight(0), 192);
  EXPECT_EQ(requests("get_coupon"), 1);
  // Another row's button while one is open: that row's coupons, and the first row closes.
  tap(0);
  tap(3);
  EXPECT_EQ(requests("get_coupon"), 3);
  EXPECT_EQ(field(lastRequest("get_coupon"), "tradeId"), "3003");
  EXPECT_EQ(rowHeight(0), 192);
  // Five coupons: three lines, the fifth alone on the left.
  EXPECT_EQ(rowHeight(3), 192 + 15 + 3 * 83.5);
  auto tiles = showRow(3)->rebateView()->subviews();
  ASSERT_EQ(tiles.size(), 5u);
  EXPECT_EQ(tiles[4]->frame().origin.x, 10);
  EXPECT_EQ(tiles[4]->frame().origin.y, 15 + 2 * 83.5);

  // None offered: the alert, and the row stays closed.
  tap(5);
  EXPECT_TRUE(device().viewWithText("当前无可用回扣券"));
  dismissAlerts();
  EXPECT_EQ(rowHeight(5), 192);
  EXPECT_FALSE(orders()->openRebateCell());

  // A list of another kind counts as none offered.
  service_->script(zvt::test::ScriptedReply{.op = "get_coupon", .code = 101, .extraJSON = R"({"coupons": "none"})"});
  tap(4);
  EXPECT_TRUE(device().viewWithText("当前无可用回扣券"));
  dismissAlerts();
  EXPECT_EQ(rowHeight(4), 192);

  // The server refuses the list: its text in an alert.
  service_->script(zvt::test::ScriptedReply{.op = "get_coupon", .code = 202, .msg = "活动已结束"});
  tap(4);
  EXPECT_TRUE(device().viewWithText("活动已结束"));
  dismissAlerts();
  EXPECT_EQ(rowHeight(4), 192);

  // The server refuses the coupon: its text as a tip for 1.5 s, the picker stays open.
  tap(4);
  ASSERT_EQ(rowHeight(4), 192 + 15 + 83.5);
  service_->script(zvt::test::ScriptedReply{.op = "use_coupon", .code = 202, .msg = "该回扣券已过期"});
  auto tile = showRow(4)->rebateView()->subviews()[0];
  ASSERT_TRUE(device().tapView(tile));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("确定"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("该回扣券已过期") != nullptr; }));
  device().wait(2);
  EXPECT_FALSE(device().viewWithText("该回扣券已过期"));
  EXPECT_EQ(rowHeight(4), 192 + 15 + 83.5);
  EXPECT_TRUE(orders()->openRebateCell());
}

TEST_F(OrdersTest, LateRepliesLandInTheirOwnListOrAreDropped) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  // Page 2 of the Taobao list comes late; the user has switched to the mall list meanwhile.
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2", "do": "taobao"})",
                                            .delayMs = 1500});
  ASSERT_TRUE(dragUntilPageTwoIsAsked());
  switchTo("商城订单");
  ASSERT_TRUE(waitFor([&] { return orders()->taobaoArray()->count() == 20; }));
  device().wait(0.5);
  EXPECT_EQ(rows(), 10);
  for (const auto& cell : table()->visibleCells()) EXPECT_TRUE(std::dynamic_pointer_cast<TZStoreOrderCell>(cell));
  switchTo("淘宝订单");
  EXPECT_EQ(rows(), 20);
  EXPECT_EQ(requests("order"), 3);
  // The late page ended its request although another list was shown: its own list pages on.
  EXPECT_FALSE(orders()->isLoading());
  ASSERT_TRUE(pullUp()) << "the Taobao list asks its next page";
  EXPECT_EQ(pagesAsked(requestLog("order")).back(), "3/taobao");
  EXPECT_NE(footer()->state(), PRRefreshStateRefreshing);

  // A coupon list held back past a switch of lists is dropped; the control in the bar stays
  // reachable above the spinner.
  service_->script(zvt::test::ScriptedReply{.op = "get_coupon", .delayMs = 1500});
  auto cell = showRow(0);
  ASSERT_TRUE(cell);
  ASSERT_TRUE(device().tapView(cell->rebateBtn()));
  device().wait(0.3);
  switchTo("商城订单");
  ASSERT_TRUE(waitFor([&] { return requests("get_coupon") == 1; }));
  // The spinner stays until the held reply comes, and fades out with it however long that takes.
  ASSERT_TRUE(waitFor([&] {
    device().wait(0.1);
    return device().viewsOfClass<POProgressHUD>().empty();
  })) << "the spinner went with the dropped reply";
  device().wait(1);
  EXPECT_EQ(rows(), 10);
  EXPECT_FALSE(orders()->openRebateCell());
  EXPECT_FALSE(orders()->couponsArray());
  switchTo("淘宝订单");
  EXPECT_EQ(rowHeight(0), 192);
}

TEST_F(OrdersTest, ATaobaoRowOpensItsProductPage) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  ASSERT_TRUE(device().tapRow(table(), NSIndexPath::indexPathForRow(1, 0)));
  device().wait(1);
  EXPECT_EQ(topClass(), "WebDetailViewController");
  EXPECT_EQ(topValue("taoBao_goodsId") + " " + topValue("isProductPush"), "520000332598 1");
}

// Pictures of every state on both screen sizes (written for a person to look at).
class OrdersPictures : public OrdersScreenTest, public ::testing::WithParamInterface<ui::ScreenModel> {};

TEST_P(OrdersPictures, EveryState) {
  openAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword, GetParam());
  EXPECT_NE(picture("taobao-list"), "");
  auto cell = showRow(3);
  ASSERT_TRUE(cell);
  ASSERT_TRUE(device().tapView(cell->rebateBtn()));
  waitFor([&] { return requests("get_coupon") == 1; });
  waitFor([&] { return orders()->couponsArray() != nullptr; });
  device().wait(1);
  showRow(3);
  EXPECT_NE(picture("picker-5-coupons"), "");
  ASSERT_TRUE(device().tapView(showRow(3)->rebateView()->subviews()[0]));
  device().wait(0.5);
  EXPECT_NE(picture("confirm-coupon"), "");
  ASSERT_TRUE(device().tapText("确定"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("使用成功，获得额外回扣5集分宝") != nullptr; }));
  device().wait(0.5);
  EXPECT_NE(picture("coupon-used-tip"), "");
  device().wait(1.5);
  showRow(3);
  EXPECT_NE(picture("coupon-used"), "");
  switchTo("商城订单");
  EXPECT_NE(picture("mall-list"), "");
  service_->script(zvt::test::ScriptedReply{.op = "order", .fieldsJSON = R"({"number": "2"})", .httpStatus = 500,
                                            .rawBody = "<html><body>500 Internal Server Error</body></html>"});
  ASSERT_TRUE(pullUp());
  EXPECT_NE(picture("failure"), "");

  // The empty views of a user without orders.
  delegate_->tabBarController()->setSelectedWithIndex(0);
  std::static_pointer_cast<UINavigationController>(delegate_->tabBarController()->selectedViewController())
      ->popToRootViewControllerAnimated(false);
  device().wait(1);
  loginAs(zvt::test::kServiceOtherUserName, zvt::test::kServiceOtherUserPassword);
  openFromHomeItem();
  EXPECT_NE(picture("taobao-empty"), "");
  switchTo("商城订单");
  EXPECT_NE(picture("mall-empty"), "");
}

INSTANTIATE_TEST_SUITE_P(Screens, OrdersPictures, ::testing::Values(ui::kScreen320x568, ui::kScreen375x667),
                         [](const auto& info) { return std::string(info.param.name) == "320x568" ? "s320x568" : "s375x667"; });

}  // namespace
