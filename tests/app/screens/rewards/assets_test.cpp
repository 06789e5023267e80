// The asset records through the device against the local service: the menu's three lists,
// their rows, paging up and down (the last page marked by "end" the number 1 alone), the
// failed-load and empty tips, the rows that open the record page, and the push route that opens
// the withdrawals.

#include <gtest/gtest.h>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/rewards/DetailViewController.h"
#include "tests/app/screens/rewards/MoneyTestSupport.h"
#include "ui/refresh/PRRefreshFooter.h"

namespace zvt::test {
namespace {

class AssetsTest : public MoneyTest {
 protected:
  std::shared_ptr<TZRefundCell> refundCell(NSInteger row) const {
    return std::dynamic_pointer_cast<TZRefundCell>(list()->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
  }
  std::shared_ptr<TZWithdrawCell> withdrawCell(NSInteger row) const {
    return std::dynamic_pointer_cast<TZWithdrawCell>(list()->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
  }
  void back() {
    homeStack()->popViewControllerAnimated(false);
    device().wait(0.5);
  }
  // The next record request of that page answered with these rows (a JSON array) and "end".
  void scriptPage(const char* number, const char* kind, const std::string& rows, int end) {
    service_->script(ScriptedReply{.op = "getUserDetailed",
                                   .iface = "enciphered",
                                   .fieldsJSON = std::string("{\"number\": \"") + number + "\", \"do\": \"" + kind + "\"}",
                                   .code = 101,
                                   .dataJSON = rows,
                                   .extraJSON = "{\"end\": " + std::to_string(end) + "}"});
  }
  // Holds back that page of the income list by `delayMs`, drags the list to its end until the
  // footer asks for it and waits until the service has it: the request count is then `asked`.
  ::testing::AssertionResult holdPageAndReachIt(const char* number, int delayMs, int asked) {
    service_->script(ScriptedReply{.op = "getUserDetailed",
                                   .iface = "enciphered",
                                   .fieldsJSON = std::string("{\"number\": \"") + number + "\", \"do\": \"in\"}",
                                   .delayMs = delayMs});
    dragToEndUntil(list()->tableView(), [&] { return list()->isLoading(); });
    device().wait(0.6);
    if (waitFor([&] { return service_->requestCount("getUserDetailed") == asked; }, 3)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "page " << number << " was not asked for";
  }
};

TEST_F(AssetsTest, EachMenuRowOpensItsListWhichLoadsItsFirstPage) {
  launchLoggedIn();
  auto menu = openMenu();
  ASSERT_TRUE(menu) << topClass();
  EXPECT_EQ(text(menu->title()), "资产明细");
  for (const char* title : {"收入明细", "提现明细", "退款明细"}) EXPECT_TRUE(device().viewWithText(title)) << title;
  EXPECT_TRUE(menu->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0))->imageView()->image());
  writeScreenPicture("assets-menu");
  service_->clearLog();

  struct Case {
    const char* row;
    const char* kind;
    NSInteger rows;
    const char* firstShown;  // a text of the first row
    const char* picture;
  };
  for (const Case& c : {Case{"收入明细", "in", 10, "购物返利", "assets-income"}, Case{"提现明细", "out", 10, "300个集分宝", "assets-withdrawals"},
                        Case{"退款明细", "refund", 3, "订单退款扣回", "assets-refunds"}}) {
    SCOPED_TRACE(c.row);
    auto screen = openList(c.row);
    ASSERT_TRUE(screen) << topClass();
    EXPECT_EQ(text(screen->title()), c.row);
    EXPECT_EQ(rows(), c.rows);
    EXPECT_TRUE(device().viewWithText(c.firstShown)) << c.firstShown;
    auto request = fieldsOf("getUserDetailed").back();
    EXPECT_EQ(orderKeys(request), (std::vector<std::string>{"do", "id", "number"}));
    EXPECT_EQ(field(request, "id"), kServiceTestUserId);
    EXPECT_EQ(field(request, "number"), "1");
    EXPECT_EQ(field(request, "do"), c.kind);
    EXPECT_EQ(menu->tableView()->indexPathForSelectedRow(), nullptr) << "the menu's row is deselected";
    writeScreenPicture(c.picture);
    back();
  }
  EXPECT_EQ(recordRequests(), (std::vector<std::string>{"1/in", "1/out", "1/refund"}));
}

TEST_F(AssetsTest, RowsShowTheirRecordsWithdrawalsInTheirUnitsAndOnlyIncomeAndRefundsOpen) {
  launchLoggedIn();
  openMenu();
  openList("提现明细");
  // The demo's first two withdrawals: 300 集分宝 (type "1") and 12.50 元 (type "2").
  EXPECT_EQ(text(withdrawCell(0)->moneyLabel()->text()), "300个集分宝");
  EXPECT_EQ(text(withdrawCell(1)->moneyLabel()->text()), "12.50元");
  EXPECT_EQ(text(withdrawCell(0)->accountLabel()->text()), "zvttest@alipay.example.com");
  EXPECT_EQ(text(withdrawCell(0)->statusLabel()->text()), "审核中");
  EXPECT_FALSE(withdrawCell(0)->isUserInteractionEnabled());
  EXPECT_TRUE(hasColour(UIColor::colorWithCGColor(withdrawCell(0)->bgView()->layer()->borderColor()), 222, 222, 222));
  EXPECT_EQ(withdrawCell(0)->bgView()->layer()->cornerRadius(), 4.0);
  device().tapView(withdrawCell(0));
  device().wait(1);
  EXPECT_EQ(topClass(), "TZAssetsViewController") << "a withdrawal row takes no tap";
  back();

  openList("收入明细");
  auto cell = refundCell(0);
  auto model = cell->refundModel();
  ASSERT_TRUE(model);
  EXPECT_EQ(text(cell->refundTitleLabel()->text()), text(as<NSString>(model->title)));
  EXPECT_EQ(text(cell->incomeLabel()->text()), text(as<NSString>(model->content)));
  EXPECT_EQ(text(cell->moneyLabel()->text()), text(as<NSString>(model->money)));
  EXPECT_EQ(text(cell->velmoLabel()->text()), text(as<NSString>(model->jifen)));
  EXPECT_EQ(text(cell->jifenbaoLabel()->text()), text(as<NSString>(model->jifenbao)));
  EXPECT_EQ(text(cell->timeLabel()->text()), text(as<NSString>(model->addtime)));
  ASSERT_TRUE(device().tapView(cell));
  device().wait(1);
  auto page = std::dynamic_pointer_cast<DetailViewController>(top());
  ASSERT_TRUE(page) << topClass();
  EXPECT_EQ(text(page->title()), "详细情况");
  EXPECT_EQ(text(page->content()), text(as<NSString>(model->content)));
  // Plain text, which reads the same in the row and on the page that renders it as HTML.
  EXPECT_EQ(text(cell->incomeLabel()->text()), "淘宝订单 88000000000119 已确认收货，返利 97 个集分宝（含回扣券额外 5 个）已到账。");
}

TEST_F(AssetsTest, PagesComeUpTheLastStopsTheFooterAndPullingDownStartsOver) {
  launchLoggedIn();
  openMenu();
  openList("收入明细");
  ASSERT_EQ(rows(), 10);
  for (NSInteger shown : {20, 30, 40, 46}) {
    ASSERT_TRUE(pullUp());
    EXPECT_EQ(rows(), shown);
  }
  EXPECT_EQ(pr_footer(list()->tableView())->state(), PRRefreshStateNoMoreData) << "\"end\" 1 on the fifth page";
  EXPECT_FALSE(pullUp()) << "the footer loads no more";
  EXPECT_EQ(recordRequests(), (std::vector<std::string>{"1/in", "2/in", "3/in", "4/in", "5/in"}));
  writeScreenPicture("assets-income-end");

  pullDown();
  EXPECT_EQ(recordRequests().back(), "1/in");
  EXPECT_EQ(rows(), 10) << "page 1 replaces every row";
  EXPECT_EQ(list()->page(), 1);

  // A first page that comes back empty keeps what is shown.
  ASSERT_TRUE(pullUp());
  ASSERT_EQ(rows(), 20);
  scriptPage("1", "in", "[]", 0);
  pullDown();
  EXPECT_EQ(rows(), 20);
  EXPECT_EQ(tipTitle(), "");
}

TEST_F(AssetsTest, OnlyTheNumberOneAsEndStopsTheFooter) {
  launchLoggedIn();
  openMenu();
  openList("收入明细");
  struct Case {
    const char* end;  // JSON of the reply's "end"
    bool last;
  };
  for (const Case& c : {Case{"1", true}, Case{R"("1")", false}, Case{"0", false}, Case{"1.5", false}, Case{"1.0", true}}) {
    SCOPED_TRACE(c.end);
    service_->script(ScriptedReply{.op = "getUserDetailed", .iface = "enciphered", .extraJSON = std::string(R"({"end": )") + c.end + "}"});
    pullDown();
    EXPECT_EQ(rows(), 10);
    EXPECT_EQ(pr_footer(list()->tableView())->state() == PRRefreshStateNoMoreData, c.last);
  }
}

TEST_F(AssetsTest, APageStillOnItsWayWhenTheListIsPulledDownIsNotShown) {
  launchLoggedIn();
  openMenu();
  openList("收入明细");
  ASSERT_TRUE(pullUp());
  ASSERT_EQ(rows(), 20);
  // The third page is slow to come; the finger reaches the end, then pulls the list down.
  ASSERT_TRUE(holdPageAndReachIt("3", 1500, 3));
  pullDown();
  ASSERT_TRUE(waitFor([&] { return !list()->isLoading(); }, 5)) << "the late page has come";
  device().wait(0.5);
  EXPECT_EQ(recordRequests(), (std::vector<std::string>{"1/in", "2/in", "3/in", "1/in"}));
  // The first page, in its order, and nothing of the third.
  ASSERT_EQ(rows(), 10);
  auto times = [&] {
    std::string out;
    for (NSUInteger i = 0; i < list()->dataAray()->count(); ++i)
      out += text(as<NSString>(as<TZRefundModel>(list()->dataAray()->objectAtIndex(i))->addtime)).substr(8, 2) + " ";
    return out;
  };
  EXPECT_EQ(times(), "30 30 29 29 28 27 26 24 23 18 ");
  // The next pull-up goes on from there.
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(recordRequests().back(), "2/in");
  EXPECT_EQ(rows(), 20);
}

TEST_F(AssetsTest, APageThatComesWhileTheListIsPulledDownLeavesThePullARefresh) {
  launchLoggedIn();
  openMenu();
  openList("收入明细");
  // The second page is slow to come; it comes while the person, back at the top, is pulling
  // the list down.
  ASSERT_TRUE(holdPageAndReachIt("2", 2000, 2));
  auto table = list()->tableView();
  dragToTop(table);
  auto finger = pullDownAndHold(table);
  EXPECT_TRUE(device().viewWithText("松开立即刷新"));
  ASSERT_TRUE(waitFor([&] { return !list()->isLoading(); }, 5)) << "the late page has come";
  EXPECT_EQ(rows(), 20);
  EXPECT_TRUE(device().viewWithText("松开立即刷新")) << "the header still waits for the finger";
  device().touchUp(finger);
  device().wait(0.5);  // the header opens, then calls back
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("getUserDetailed") == 3; }, 5)) << "letting go refreshes";
  ASSERT_TRUE(waitFor([&] { return !list()->isLoading(); }, 5));
  device().wait(0.6);
  EXPECT_EQ(recordRequests(), (std::vector<std::string>{"1/in", "2/in", "1/in"}));
  EXPECT_EQ(rows(), 10);
}

TEST_F(AssetsTest, AFailedLoadPutsTheRetryTipOverTheRowsAndTheRetryAsksForTheSamePage) {
  launchLoggedIn();
  openMenu();
  struct Case {
    const char* name;
    ScriptedReply failure;
  };
  for (const Case& c : {Case{"refused", ScriptedReply{.op = "getUserDetailed", .code = 201, .msg = "失败"}},
                        // Sticky: the loader tries again over every connection it keeps open.
                        Case{"cut", ScriptedReply{.op = "getUserDetailed", .drop = true, .sticky = true}}}) {
    SCOPED_TRACE(c.name);
    service_->clearLog();
    service_->script(c.failure);
    openList("收入明细");
    EXPECT_EQ(tipTitle(), "亲，您的手机网络不顺畅哦~");
    EXPECT_TRUE(device().viewWithText("点击重试"));
    ASSERT_TRUE(list()->noMessageTipView());
    EXPECT_EQ(list()->noMessageTipView()->noMessageImageView()->image(), UIImage::imageNamed("noSignal"_ns));
    EXPECT_EQ(rows(), 0);
    if (std::string(c.name) == "refused") writeScreenPicture("assets-failed");
    service_->clearScripts();
    const int asked = service_->requestCount("getUserDetailed");
    ASSERT_TRUE(device().tapText("点击重试"));
    waitForRecords(asked + 1);
    EXPECT_EQ(recordRequests().back(), "1/in");
    EXPECT_EQ(tipTitle(), "");
    EXPECT_EQ(rows(), 10);
    back();
  }

  // Page 3 fails after page 2: the tip covers the rows, which stay; the retry asks for page 3.
  service_->clearLog();
  openList("收入明细");
  ASSERT_TRUE(pullUp());
  service_->script(ScriptedReply{.op = "getUserDetailed", .code = 201});
  ASSERT_TRUE(pullUp());
  EXPECT_EQ(tipTitle(), "亲，您的手机网络不顺畅哦~");
  EXPECT_EQ(list()->dataAray()->count(), 20u);
  EXPECT_EQ(list()->page(), 3);
  ASSERT_TRUE(device().tapText("点击重试"));
  waitForRecords(4);
  EXPECT_EQ(recordRequests(), (std::vector<std::string>{"1/in", "2/in", "3/in", "3/in"}));
  EXPECT_EQ(tipTitle(), "");
  EXPECT_EQ(rows(), 30);
}

TEST_F(AssetsTest, EmptyListsShowTheirTipWithoutAButton) {
  launchLoggedIn();
  openMenu();
  struct Case {
    const char* row;
    const char* kind;
    const char* title;
    const char* image;
  };
  for (const Case& c : {Case{"退款明细", "refund", "亲~您当前暂无退款记录", "noRefund"},
                        Case{"提现明细", "out", "亲~您当前暂无提现记录", "noWithdraw"},
                        Case{"收入明细", "in", "亲~您当前暂无提现记录", "noWithdraw"}}) {
    SCOPED_TRACE(c.row);
    scriptPage("1", c.kind, "[]", 1);
    openList(c.row);
    EXPECT_EQ(tipTitle(), c.title);
    auto tip = list()->noMessageTipView();
    ASSERT_TRUE(tip);
    EXPECT_EQ(tip->noMessageImageView()->image(), UIImage::imageNamed(NSString::stringWithUTF8String(c.image)));
    EXPECT_TRUE(tip->noMessageButton()->isHidden());
    if (std::string(c.kind) == "refund") writeScreenPicture("assets-empty-refunds");
    back();
  }
}

TEST_F(AssetsTest, PushRouteOneOpensTheWithdrawalsOnlyWhileLoggedIn) {
  auto route = [&] {
    delegate_->setRemoteNotification(
        NSDictionary::make({{"aps"_ns, NSDictionary::make({{"alert"_ns, "提现"_ns}})}, {"content_type"_ns, "1"_ns}}));
    delegate_->getPushInfo();
    device().wait(1);
  };
  launchLoggedIn();
  route();
  ASSERT_TRUE(list()) << topClass();
  waitForRecords(1);
  EXPECT_EQ(text(list()->title()), "提现明细");
  EXPECT_EQ(recordRequests(), std::vector<std::string>{"1/out"});
  EXPECT_TRUE(device().viewWithText("300个集分宝"));

  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(0.5);
  ZVTAPIClient::failLogin();
  route();
  EXPECT_EQ(topClass(), "HomeViewController") << "logged out nothing opens";
  EXPECT_EQ(service_->requestCount("getUserDetailed"), 1);
}

TEST_F(AssetsTest, TheCodeBuiltWithdrawalRowWritesItsFourLines) {
  struct Case {
    id type;
    id money;
    const char* amount;  // "" : the line keeps what it had
  };
  for (const Case& c : {Case{"1"_ns, "300.7"_ns, "提现数额:  300个集分宝"}, Case{NSNumber::numberWithInteger(2), "12.5"_ns, "提现数额:  12.5元"},
                        Case{"3"_ns, "9"_ns, ""}}) {
    auto cell = WithDrawDetailsTableViewCell::initWithReuseIdentifier("withdrawal"_ns);
    EXPECT_EQ(cell->frame().size.height, 150);
    cell->initTheCellWithDataDictionary(NSDictionary::make({{"account"_ns, "a@b.c"_ns},
                                                            {"type"_ns, c.type},
                                                            {"money"_ns, c.money},
                                                            {"status"_ns, "已到账"_ns},
                                                            {"addtime"_ns, "2026-09-20 10:00:00"_ns}}));
    EXPECT_EQ(text(cell->withDrawToolLabel()->text()), "提现账号:  a@b.c");
    EXPECT_EQ(text(cell->withDrawAmountLabel()->text()), c.amount);
    EXPECT_EQ(text(cell->withDrawStatues()->text()), "提现状态:  已到账");
    EXPECT_EQ(text(cell->withDrawTime()->text()), "提现时间:  2026-09-20 10:00:00");
  }
}

}  // namespace
}  // namespace zvt::test
