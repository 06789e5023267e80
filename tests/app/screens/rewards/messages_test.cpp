// The site messages through the device against the local service: the first page by itself,
// rows as high as their wrapped titles, the last page (only "end" the number 1) and the
// pull-down that reopens paging, a pull-down whose page 1 is empty and keeps the rows,
// the no-network placeholder with its retry of the same page, an empty first page; the push
// routes that open the messages and the invitations; the page names and the tab bar of the
// screens of this folder.

#include "foundation/json/JSONDecoder.h"
#include "app/screens/rewards/TZMessageViewController.h"
#include "tests/app/screens/rewards/InviteTestSupport.h"

namespace {

using zvt::test::InviteTest;
using zvt::test::runMainLoopUntil;
using zvt::test::ScriptedReply;

class MessagesTest : public InviteTest {
 protected:
  std::shared_ptr<TZMessageViewController> openMessages() {
    const int asked = service_->requestCount("msg");
    auto screen = std::dynamic_pointer_cast<TZMessageViewController>(zvt::makeScreen("TZMessageViewController"));
    EXPECT_TRUE(screen) << "the real message list is registered";
    if (!screen) return nullptr;
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    EXPECT_TRUE(waitForRequests("msg", asked + 1));
    settle();
    return screen;
  }
  // The list opened and pulled up once: pages 1 and 2, twenty rows (nil when it did not get there).
  std::shared_ptr<TZMessageViewController> openTwoPages() {
    auto screen = openMessages();
    if (!screen) return nullptr;
    EXPECT_TRUE(pullUpList(screen->messageTabelView(), "msg"));
    EXPECT_EQ(screen->dataArray()->count(), 20u);
    return screen->dataArray()->count() == 20u ? screen : nullptr;
  }
  void scriptMessages(const std::string& recordsJSON, int end, bool sticky = false) const {
    service_->script(ScriptedReply{.op = "msg",
                                   .iface = "enciphered",
                                   .code = 101,
                                   .dataJSON = recordsJSON,
                                   .extraJSON = "{\"end\": " + std::to_string(end) + "}",
                                   .sticky = sticky});
  }
  void failMessages() const { service_->script(ScriptedReply{.op = "msg", .iface = "enciphered", .code = 201, .msg = "失败"}); }
  static std::vector<std::shared_ptr<TZMessageCell>> cells(const std::shared_ptr<TZMessageViewController>& screen) {
    std::vector<std::shared_ptr<TZMessageCell>> out;
    for (const auto& cell : screen->messageTabelView()->visibleCells())
      if (auto row = std::dynamic_pointer_cast<TZMessageCell>(cell)) out.push_back(row);
    return out;
  }
  static std::string titleAt(const std::shared_ptr<TZMessageViewController>& screen, NSUInteger row) {
    auto model = zvt::as<TZMessageModel>(screen->dataArray()->objectAtIndex(row));
    return model ? NSString::stringWithFormat("%@", model->title)->utf8() : "";
  }
  size_t placeholders() const { return device().viewsOfClass<TZNoMessageTipView>().size(); }
};

TEST_F(MessagesTest, TheFirstPageLoadsByItselfAndWrappedTitlesMakeTallerRows) {
  launchLoggedIn();
  service_->clearLog();
  auto screen = openMessages();
  ASSERT_TRUE(screen);
  auto asked = entriesOf("msg");
  ASSERT_EQ(asked.size(), 1u);
  auto fields = zvt::as<NSDictionary>(asked[0]->objectForKey("fields"_ns));
  EXPECT_EQ(orderKeys(fields), (std::vector<std::string>{"id", "number"}));
  EXPECT_EQ(field(fields, "id"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(field(fields, "number"), "1");
  EXPECT_EQ(field(asked[0], "signature"), "ok");
  EXPECT_TRUE(device().viewWithText("站内信"));
  ASSERT_EQ(screen->dataArray()->count(), 10u);

  // Each row shows its title and time; rows of one, two and three lines differ in height.
  auto table = screen->messageTabelView();
  std::map<size_t, CGFloat> heightByLines;
  for (const auto& cell : cells(screen)) {
    auto model = cell->messageModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(textOf(cell->messageTitleLabel()), NSString::stringWithFormat("%@", model->title)->utf8());
    EXPECT_EQ(textOf(cell->messageTimeLabel()), NSString::stringWithFormat("%@", model->addtime)->utf8());
    const CGRect title = cell->messageTitleLabel()->frame();
    const size_t lines = static_cast<size_t>(std::lround(title.size.height / cell->messageTitleLabel()->font()->lineHeight()));
    heightByLines[lines] = cell->frame().size.height;
    // Nothing is cut off: the time lies inside the card, under the title.
    EXPECT_GE(cell->messageTimeLabel()->frame().origin.y, CGRectGetMaxY(title));
    EXPECT_LE(CGRectGetMaxY(cell->messageTimeLabel()->frame()), cell->bgView()->bounds().size.height);
  }
  ASSERT_GE(heightByLines.size(), 2u) << "titles of different lengths on screen";
  CGFloat previous = 0;
  for (const auto& [lines, height] : heightByLines) {
    EXPECT_GT(height, previous) << lines << " lines";
    previous = height;
  }
  EXPECT_NE(table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)).size.height,
            table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)).size.height);
  zvt::test::writeScreenPicture("Messages.list");
}

TEST_F(MessagesTest, EndOnTheFirstPageStopsTheFooterUntilASuccessfulPullDown) {
  launchLoggedIn();
  scriptMessages(R"([{"title": "唯一的消息", "content": "<p>一</p>", "addtime": "2026-07-01 18:00:00"},
                     {"title": "第二条", "content": "<p>二</p>", "addtime": "2026-07-02 18:00:00"}])",
                 1);
  auto screen = openMessages();
  ASSERT_TRUE(screen);
  auto table = screen->messageTabelView();
  EXPECT_EQ(screen->dataArray()->count(), 2u);
  EXPECT_EQ(pr_footer(table)->state(), PRRefreshStateNoMoreData);
  EXPECT_FALSE(pullUpList(table, "msg")) << "no page asked after the last";
  pullDownList(table, "msg");
  EXPECT_EQ(screen->dataArray()->count(), 10u) << "page 1 replaces the rows";
  EXPECT_NE(pr_footer(table)->state(), PRRefreshStateNoMoreData);
  ASSERT_TRUE(pullUpList(table, "msg"));
  EXPECT_EQ(askedPages("msg").back(), "2");
}

TEST_F(MessagesTest, APullDownWhosePageOneBringsNoMessagesKeepsTheRows) {
  launchLoggedIn();
  auto screen = openTwoPages();
  ASSERT_TRUE(screen);
  auto table = screen->messageTabelView();
  const std::string first = titleAt(screen, 0), last = titleAt(screen, 19);
  for (int end : {0, 1}) {
    SCOPED_TRACE(end);
    scriptMessages("[]", end);
    pullDownList(table, "msg");
    EXPECT_EQ(askedPages("msg").back(), "1");
    EXPECT_EQ(table->numberOfRowsInSection(0), 20) << "the rows shown stay";
    EXPECT_EQ(titleAt(screen, 0), first);
    EXPECT_EQ(titleAt(screen, 19), last);
    EXPECT_TRUE(device().viewWithText(first));
    EXPECT_FALSE(screen->noMessageTipView());
    EXPECT_FALSE(pr_header(table)->isRefreshing());
    EXPECT_EQ(pr_footer(table)->state() == PRRefreshStateNoMoreData, end == 1);
  }
}

TEST_F(MessagesTest, OnlyTheNumberOneAsEndStopsTheFooter) {
  launchLoggedIn();
  auto screen = openMessages();
  ASSERT_TRUE(screen);
  auto table = screen->messageTabelView();
  struct Case {
    const char* end;  // JSON of the reply's "end"
    bool last;
  };
  for (const Case& c : {Case{"1", true}, Case{R"("1")", false}, Case{"0", false}, Case{"1.5", false}, Case{"1.0", true}}) {
    SCOPED_TRACE(c.end);
    service_->script(ScriptedReply{.op = "msg", .iface = "enciphered", .extraJSON = std::string(R"({"end": )") + c.end + "}"});
    pullDownList(table, "msg");
    EXPECT_EQ(screen->dataArray()->count(), 10u);
    EXPECT_EQ(pr_footer(table)->state() == PRRefreshStateNoMoreData, c.last);
  }
}

TEST_F(MessagesTest, AFailedPullUpShowsThePlaceholderWhoseRetryAsksTheSamePage) {
  launchLoggedIn();
  auto screen = openTwoPages();
  ASSERT_TRUE(screen);
  auto table = screen->messageTabelView();

  service_->clearLog();
  failMessages();
  ASSERT_TRUE(pullUpList(table, "msg"));
  ASSERT_TRUE(screen->noMessageTipView());
  EXPECT_TRUE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
  EXPECT_TRUE(device().viewWithText("点击重试"));
  EXPECT_FALSE(device().viewWithText("加载失败"));
  EXPECT_EQ(screen->dataArray()->count(), 20u) << "the rows stay";
  EXPECT_EQ(screen->page(), 3) << "a failed pull-up is not stepped back";
  zvt::test::writeScreenPicture("Messages.placeholder");

  // Consecutive failures refill the same placeholder.
  const auto first = screen->noMessageTipView();
  service_->script(ScriptedReply{.op = "msg", .iface = "enciphered", .drop = true, .sticky = true});
  ASSERT_TRUE(device().tapText("点击重试"));
  waitForRequests("msg", 2);
  settle(2);
  service_->clearScripts();
  EXPECT_EQ(screen->noMessageTipView(), first);
  EXPECT_EQ(placeholders(), 1u);

  // The retry that succeeds asks page 3 and appends its rows under page 2's.
  const int before = service_->requestCount("msg");
  ASSERT_TRUE(device().tapText("点击重试"));
  waitForRequests("msg", before + 1);
  settle();
  for (const auto& number : askedPages("msg")) EXPECT_EQ(number, "3");
  EXPECT_FALSE(screen->noMessageTipView());
  EXPECT_EQ(placeholders(), 0u);
  ASSERT_EQ(screen->dataArray()->count(), 25u);
  EXPECT_EQ(titleAt(screen, 19), "提现已到账：700个集分宝已转入您绑定的支付宝账户") << "page 2's last";
  EXPECT_EQ(titleAt(screen, 20), "提现已到账：20.50元已转入您绑定的支付宝账户") << "page 3's first";
  EXPECT_EQ(pr_footer(table)->state(), PRRefreshStateNoMoreData);

  // The next failure after a success makes a new placeholder.
  failMessages();
  pullDownList(table, "msg");
  ASSERT_TRUE(screen->noMessageTipView());
  EXPECT_NE(screen->noMessageTipView(), first);
  EXPECT_EQ(placeholders(), 1u);
}

TEST_F(MessagesTest, APageStillOnItsWayWhenTheListIsPulledDownIsNotShown) {
  launchLoggedIn();
  auto screen = openMessages();
  ASSERT_TRUE(screen);
  auto table = screen->messageTabelView();
  auto titles = [&] {
    std::vector<std::string> out;
    for (NSUInteger i = 0; i < screen->dataArray()->count(); ++i) out.push_back(titleAt(screen, i));
    return out;
  };
  const auto firstPage = titles();
  ASSERT_EQ(firstPage.size(), 10u);
  ASSERT_TRUE(pullUpList(table, "msg"));
  ASSERT_EQ(screen->dataArray()->count(), 20u);

  // The third page is slow to come; the finger reaches the end, then pulls the list down.
  service_->script(ScriptedReply{.op = "msg", .iface = "enciphered", .fieldsJSON = R"({"number": "3"})", .delayMs = 1500});
  const int asked = service_->requestCount("msg");
  auto footer = pr_footer(table);
  for (int i = 0; i < 8 && !footer->isRefreshing() && service_->requestCount("msg") == asked; ++i) {
    device().dragView(table, CGPointMake(0, -700), 0.3);
    device().wait(0.1);
  }
  device().wait(0.6);
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("msg") > asked; }, 3));
  pullDownList(table, "msg");
  runMainLoopUntil([] { return false; }, 2);  // the late page comes meanwhile
  settle();
  device().wait(0.5);
  EXPECT_EQ(titles(), firstPage) << "the first page, in its order, and nothing of the third";
  // The next pull-up goes on from there.
  ASSERT_TRUE(pullUpList(table, "msg"));
  EXPECT_EQ(screen->page(), 2);
  EXPECT_EQ(screen->dataArray()->count(), 20u);
}

TEST_F(MessagesTest, AnEmptyFirstPageShowsAnEmptyTableAndNoPlaceholder) {
  launchLoggedIn();
  scriptMessages("[]", 1);
  auto screen = openMessages();
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen->messageTabelView()->numberOfRowsInSection(0), 0);
  EXPECT_FALSE(screen->noMessageTipView());
  EXPECT_EQ(placeholders(), 0u);
  EXPECT_FALSE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
}

TEST_F(MessagesTest, PushRoutesOpenTheMessagesAndTheInvitationsOnlyWhileLoggedIn) {
  struct Route {
    int code;
    const char* screen;
    const char* title;
  };
  for (bool loggedIn : {false, true}) {
    SCOPED_TRACE(loggedIn ? "logged in" : "logged out");
    auto delegate = loggedIn ? launchLoggedIn() : launch();
    for (const Route& route : {Route{3, "TZMessageViewController", "站内信"}, Route{9, "InviteFriendsViewController", "邀请有奖"}}) {
      SCOPED_TRACE(route.code);
      homeStack()->popToRootViewControllerAnimated(false);
      device().wait(0.5);
      delegate->setRemoteNotification(zvt::as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(
          R"({"aps":{"alert":"新消息"},"content_type":")" + std::to_string(route.code) + R"("})"))));
      delegate->getPushInfo();
      device().wait(1);
      settle();
      if (loggedIn) {
        EXPECT_EQ(topClass(), route.screen);
        EXPECT_TRUE(device().viewWithText(route.title));
      } else {
        EXPECT_EQ(topClass(), "HomeViewController") << "nothing opens";
      }
    }
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(MessagesTest, EachScreenLogsItsPageAndHidesTheTabBar) {
  launchLoggedIn();
  struct Screen {
    const char* page;
    std::function<void()> open;
  };
  auto tabBarHidden = [&] { return delegate_->tabBarController()->tabbarView()->isHidden(); };
  const std::vector<Screen> screens = {
      {"邀请有奖页", [&] { openInvite(); }},
      {"我的奖励页", [&] { device().tapText("查看邀请奖励"); }},
      {"历史邀请明细页", [&] { device().tapText("查看历史邀请明细>"); }},
  };
  for (const auto& s : screens) {
    SCOPED_TRACE(s.page);
    s.open();
    device().wait(1);
    settle();
    EXPECT_TRUE(tabBarHidden());
  }
  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(1);
  openMessages();
  EXPECT_TRUE(tabBarHidden());
  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(1);
  for (const char* page : {"邀请有奖页", "我的奖励页", "历史邀请明细页", "站内信页"}) {
    EXPECT_EQ(pageViewsOf(page), 1) << page << ": begun and ended once";
  }
}

}  // namespace
