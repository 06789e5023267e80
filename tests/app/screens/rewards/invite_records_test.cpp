// The reward records and the history of invited friends, one set of cases for both lists:
// their hand-signed pages, the alternating rows, the closing strip, the last page and what a
// later pull-down gives back, failures that step back quietly and an empty first page; the
// reward rows' labels laid out from the standard cell.

#include "platform/graphics/UIScreen.h"
#include "tests/app/screens/rewards/InviteTestSupport.h"

namespace {

using zvt::test::InviteTest;
using zvt::test::ScriptedReply;

// How far a list scrolls: its rows and strip, and below them the inset the footer keeps (the
// list's bottom lies off the screen by as much: one that stops short of it leaves its last rows
// and strip below the screen's edge).
CGFloat endOffset(const std::shared_ptr<UITableView>& table) {
  return std::max<CGFloat>(0, table->contentSize().height + table->contentInset().bottom - table->bounds().size.height);
}

struct List {
  const char* name;
  const char* op;
  const char* ps;
  const char* title;
};

class InviteRecordsTest : public InviteTest, public ::testing::WithParamInterface<List> {
 protected:
  // Opens the list through the screens a person passes: the invite screen's "查看邀请奖励",
  // then for the history "查看历史邀请明细>".
  std::shared_ptr<UITableView> openList() {
    auto invite = openInvite();
    if (!invite) return nullptr;
    const std::string op = GetParam().op;
    int asked = service_->requestCount("invite_info");
    EXPECT_TRUE(device().tapText("查看邀请奖励"));
    device().wait(1);
    waitForRequests("invite_info", asked + 1);
    settle();
    auto rewards = std::dynamic_pointer_cast<MyWardViewController>(top());
    if (!rewards) return nullptr;
    if (op == "invite_info") return rewards->myWardView()->wardTableView();
    asked = service_->requestCount(op);
    EXPECT_TRUE(device().tapText("查看历史邀请明细>"));
    device().wait(1);
    waitForRequests(op, asked + 1);
    settle();
    auto history = std::dynamic_pointer_cast<HistoryInviteViewController>(top());
    return history ? history->historyWardView()->historyWardTableView() : nullptr;
  }
  std::vector<std::string> pages() const { return askedPages(GetParam().op); }
  void script(ScriptedReply reply) const {
    reply.op = GetParam().op;
    reply.iface = "json";
    service_->script(reply);
  }
  // Whether an image view showing "juxing" is on screen.
  bool stripShown() const {
    for (const auto& view : device().viewsOfClass<UIImageView>()) {
      if (view->image() == UIImage::imageNamed("juxing"_ns) && zvt::ui::Device::isVisible(view) &&
          !CGRectIsEmpty(zvt::ui::Device::visibleRect(view)) && view->frame().origin.y > 0 &&
          std::dynamic_pointer_cast<UITableView>(view->superview()))
        return true;
    }
    return false;
  }
  // Scrolls the list to its end.
  void toEnd(const std::shared_ptr<UITableView>& table) {
    for (int i = 0; i < 10 && table->contentOffset().y < endOffset(table) - 1; ++i) {
      device().dragView(table, CGPointMake(0, -400), 0.3);
      device().waitUntilStill(table);
    }
  }
};

TEST_P(InviteRecordsTest, PagesAreSignedAlternateEndAndComeBackAfterAPullDown) {
  const List list = GetParam();
  launchLoggedIn();
  service_->clearLog();
  auto table = openList();
  ASSERT_TRUE(table);
  EXPECT_TRUE(device().viewWithText(list.title));

  // Page 1 by itself, signed by the screen.
  auto first = entriesOf(list.op);
  ASSERT_EQ(first.size(), 1u);
  auto fields = zvt::as<NSDictionary>(first[0]->objectForKey("fields"_ns));
  EXPECT_EQ(orderKeys(fields), (std::vector<std::string>{"number", "ps", "uid"}));
  EXPECT_EQ(fields->count(), 5u);
  EXPECT_EQ(field(fields, "number"), "1");
  EXPECT_EQ(field(fields, "ps"), list.ps);
  EXPECT_EQ(field(fields, "uid"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(field(first[0], "signature"), "ok");
  const NSInteger pageSize = std::stoi(list.ps);
  EXPECT_EQ(table->numberOfRowsInSection(0), pageSize);

  // White, grey, white...
  for (NSInteger row = 0; row < 4; ++row) {
    auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0));
    ASSERT_TRUE(cell) << row;
    if (row % 2) {
      EXPECT_TRUE(hasBackground(cell, 243, 243, 243)) << row;
    } else {
      EXPECT_FALSE(hasBackground(cell, 243, 243, 243)) << row;
      EXPECT_TRUE(!cell->backgroundColor() || hasBackground(cell, 255, 255, 255)) << row;
    }
  }
  zvt::test::writeScreenPicture(std::string("InviteRecords.") + list.name);

  // Pages 2 and 3; the third is the last, and pull-up stops there.
  ASSERT_TRUE(pullUpList(table, list.op));
  ASSERT_TRUE(pullUpList(table, list.op));
  EXPECT_EQ(pages(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(pr_footer(table)->state(), PRRefreshStateNoMoreData);
  EXPECT_GT(table->numberOfRowsInSection(0), 2 * pageSize);
  toEnd(table);
  EXPECT_TRUE(stripShown()) << "the strip closes a list with rows";
  EXPECT_FALSE(pullUpList(table, list.op)) << "no page after the last";

  // A pull-down that succeeds makes pull-up work again.
  pullDownList(table, list.op);
  EXPECT_EQ(table->numberOfRowsInSection(0), pageSize);
  EXPECT_NE(pr_footer(table)->state(), PRRefreshStateNoMoreData);
  ASSERT_TRUE(pullUpList(table, list.op));
  EXPECT_EQ(pages(), (std::vector<std::string>{"1", "2", "3", "1", "2"}));

  // A refused page 3 steps back: the next pull-up asks page 3 again. Nothing is shown.
  service_->clearLog();
  script({.code = 202, .msg = "服务繁忙"});
  ASSERT_TRUE(pullUpList(table, list.op));
  EXPECT_FALSE(device().viewWithText("服务繁忙"));
  EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u);
  EXPECT_EQ(table->numberOfRowsInSection(0), 2 * pageSize) << "the rows stay";
  ASSERT_TRUE(pullUpList(table, list.op));
  EXPECT_EQ(pages(), (std::vector<std::string>{"3", "3"}));
}

TEST_P(InviteRecordsTest, FailuresOnPageOneAndAnEmptyPageOneKeepTheRows) {
  const List list = GetParam();
  launchLoggedIn();
  auto table = openList();
  ASSERT_TRUE(table);
  const NSInteger shown = table->numberOfRowsInSection(0);
  ASSERT_GT(shown, 0);

  struct Case {
    const char* name;
    ScriptedReply reply;
  };
  for (const Case& c : std::vector<Case>{{"code 202", {.code = 202, .msg = "失败"}},
                                         {"dropped", {.drop = true, .sticky = true}},
                                         {"time without time", {.op = "get_time", .iface = "json", .omitTime = true}},
                                         {"empty page 1", {.code = 101, .dataJSON = "[]", .extraJSON = R"({"end": 0})"}}}) {
    SCOPED_TRACE(c.name);
    service_->clearLog();
    if (c.reply.op == "get_time") {
      service_->script(c.reply);
    } else {
      script(c.reply);
    }
    pullDownList(table, std::string(c.name) == "time without time" ? "get_time" : list.op);
    service_->clearScripts();
    EXPECT_EQ(table->numberOfRowsInSection(0), shown) << "the rows shown stay";
    EXPECT_FALSE(pr_header(table)->isRefreshing());
    EXPECT_FALSE(device().viewWithText("失败"));
    EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u);
    // The page stays 1: the next pull-up asks page 2.
    service_->clearLog();
    ASSERT_TRUE(pullUpList(table, list.op));
    EXPECT_EQ(pages(), (std::vector<std::string>{"2"}));
    pullDownList(table, list.op);
  }
}

TEST_P(InviteRecordsTest, APageStillOnItsWayWhenTheListIsPulledDownIsNotShown) {
  const List list = GetParam();
  const NSInteger pageSize = std::stoi(list.ps);
  launchLoggedIn();
  auto table = openList();
  ASSERT_TRUE(table);
  // The records behind the rows, as text.
  auto records = [&] {
    std::shared_ptr<NSMutableArray> rows;
    if (auto rewards = std::dynamic_pointer_cast<MyWardViewController>(top())) rows = rewards->dataArray();
    if (auto history = std::dynamic_pointer_cast<HistoryInviteViewController>(top())) rows = history->datasArray();
    return rows ? NSString::stringWithFormat("%@", rows)->utf8() : std::string();
  };
  const std::string firstPage = records();
  ASSERT_EQ(table->numberOfRowsInSection(0), pageSize);
  ASSERT_TRUE(pullUpList(table, list.op));

  // The third page is slow to come; the finger reaches the end, then pulls the list down.
  script({.fieldsJSON = R"({"number": "3"})", .delayMs = 1500});
  const int asked = service_->requestCount(list.op);
  auto footer = pr_footer(table);
  for (int i = 0; i < 8 && !footer->isRefreshing() && service_->requestCount(list.op) == asked; ++i) {
    device().dragView(table, CGPointMake(0, -700), 0.3);
    device().wait(0.1);
  }
  device().wait(0.6);
  ASSERT_TRUE(waitFor([&] { return service_->requestCount(list.op) > asked; }, 3));
  pullDownList(table, list.op);
  zvt::test::runMainLoopUntil([] { return false; }, 2);  // the late page comes meanwhile
  settle();
  device().wait(0.5);
  EXPECT_EQ(pages(), (std::vector<std::string>{"1", "2", "3", "1"}));
  EXPECT_EQ(table->numberOfRowsInSection(0), pageSize);
  EXPECT_EQ(records(), firstPage) << "the first page, in its order, and nothing of the third";
}

TEST_P(InviteRecordsTest, AnEmptyFirstPageShowsTheTitlesWithoutRowsOrStrip) {
  launchLoggedIn();
  // The next page 1 of this list is empty and the last.
  script({.code = 101, .dataJSON = "[]", .extraJSON = R"({"end": 1})", .sticky = true});
  auto table = openList();
  ASSERT_TRUE(table);
  EXPECT_EQ(table->numberOfRowsInSection(0), 0);
  EXPECT_FALSE(stripShown());
  EXPECT_TRUE(device().viewWithText("会员名"));
  EXPECT_EQ(pr_footer(table)->state(), PRRefreshStateNoMoreData);
}

INSTANTIATE_TEST_SUITE_P(Lists, InviteRecordsTest,
                         ::testing::Values(List{"rewards", "invite_info", "10", "我的奖励"},
                                           List{"history", "old_invite_info", "12", "历史邀请明细"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The reward rows lay their labels out once, from the standard cell frame they are made with
// (320 x 44 points), not from the row's own height: the type and the reward are half as high as
// the name and the date from the same top, so their centres sit 4.4 points higher, and the row
// (0.18 of the screen's width) has room below them.
using RewardRowsTest = InviteTest;

TEST_F(RewardRowsTest, TheLabelsKeepTheFramesOfTheStandardCell) {
  launchLoggedIn();
  ASSERT_TRUE(openInvite());
  ASSERT_TRUE(device().tapText("查看邀请奖励"));
  device().wait(1);
  waitForRequests("invite_info", 1);
  settle();
  auto rewards = std::dynamic_pointer_cast<MyWardViewController>(top());
  ASSERT_TRUE(rewards);
  auto table = rewards->myWardView()->wardTableView();
  const CGFloat width = UIScreen::mainScreen()->bounds().size.width;
  const CGFloat column = (320 - 0.4 * 44) / 4;
  struct Label {
    const char* name;
    std::shared_ptr<UILabel> (WardTableViewCell::*label)() const;
    CGRect frame;
  };
  const std::vector<Label> labels = {
      {"name", &WardTableViewCell::nameLabel, CGRectMake(8.8, 11, column, 30.8)},
      {"type", &WardTableViewCell::typeLabel, CGRectMake(8.8 + column, 11, column, 22)},
      {"reward", &WardTableViewCell::wardNumLabel, CGRectMake(8.8 + 2 * column, 11, column, 22)},
      {"date", &WardTableViewCell::dateWardLabel, CGRectMake(8.8 + 3 * column, 11, column, 30.8)},
  };
  for (NSInteger row : {0, 1}) {
    auto cell = std::dynamic_pointer_cast<WardTableViewCell>(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
    ASSERT_TRUE(cell) << row;
    EXPECT_NEAR(cell->frame().size.height, 0.18 * width, 0.01) << row;
    for (const Label& l : labels) {
      SCOPED_TRACE(std::string(l.name) + " of row " + std::to_string(row));
      const CGRect frame = ((*cell).*l.label)()->frame();
      EXPECT_NEAR(frame.origin.x, l.frame.origin.x, 0.01);
      EXPECT_NEAR(frame.origin.y, l.frame.origin.y, 0.01);
      EXPECT_NEAR(frame.size.width, l.frame.size.width, 0.01);
      EXPECT_NEAR(frame.size.height, l.frame.size.height, 0.01);
    }
  }
}

// The history's own values: the reward in whole yuan, names and times as texts.
class InviteHistoryTest : public InviteTest {};

TEST_F(InviteHistoryTest, AwardsShowTheirWholeYuanAndMissingValuesShowNothingOrZero) {
  launchLoggedIn();
  service_->script(ScriptedReply{.op = "old_invite_info",
                                 .iface = "json",
                                 .code = 101,
                                 .dataJSON = R"([{"people": "好友甲", "award": "15.8", "regTime": "2026-05-01"},
                                                 {"people": "好友乙", "award": 15, "regTime": "2026-05-02"},
                                                 {"people": "好友丙"},
                                                 {"people": 12345, "award": "abc", "regTime": 20260504}])",
                                 .extraJSON = R"({"end": 1})"});
  auto invite = openInvite();
  ASSERT_TRUE(invite);
  ASSERT_TRUE(device().tapText("查看邀请奖励"));
  device().wait(1);
  settle();
  ASSERT_TRUE(device().tapText("查看历史邀请明细>"));
  device().wait(1);
  waitForRequests("old_invite_info", 1);
  settle();
  auto history = std::dynamic_pointer_cast<HistoryInviteViewController>(top());
  ASSERT_TRUE(history);
  auto table = history->historyWardView()->historyWardTableView();
  ASSERT_EQ(table->numberOfRowsInSection(0), 4);
  struct Row {
    const char* name;
    const char* award;
    const char* time;
  };
  const std::vector<Row> rows = {{"好友甲", "15", "2026-05-01"}, {"好友乙", "15", "2026-05-02"}, {"好友丙", "0", ""},
                                 {"12345", "0", "20260504"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    auto cell = std::dynamic_pointer_cast<HistoryTableViewCell>(
        table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(static_cast<NSInteger>(i), 0)));
    ASSERT_TRUE(cell);
    EXPECT_EQ(textOf(cell->nameLabel()), rows[i].name);
    EXPECT_EQ(textOf(cell->wardNumLabel()), rows[i].award);
    EXPECT_EQ(textOf(cell->dateWardLabel()), rows[i].time);
  }
  EXPECT_TRUE(device().viewWithText("已获奖励(仅供参考)"));
  zvt::test::writeScreenPicture("InviteRecords.historyValues");
}

// The demo user's history as seeded, read as a person scrolls it: its rows add up to the total
// the invite screen shows, one row a friend it counts (the awards once carried decimals the
// history's whole yuan drop: rows of 110 under a total of 118).
TEST_F(InviteHistoryTest, TheRowsAddUpToTheTotalTheInviteScreenShows) {
  launchLoggedIn();
  auto invite = openInvite();
  ASSERT_TRUE(invite);
  auto totals = invite->inviteFriendView();
  ASSERT_TRUE(waitFor([&] { return !textOf(totals->numTotalLabel()).empty(); }, 5));
  const std::string total = textOf(totals->numTotalLabel()), friends = textOf(totals->numSucceedLabel());
  ASSERT_TRUE(device().tapText("查看邀请奖励"));
  device().wait(1);
  settle();
  EXPECT_TRUE(device().viewWithText(total + "元")) << "the rewards' header";
  ASSERT_TRUE(device().tapText("查看历史邀请明细>"));
  device().wait(1);
  waitForRequests("old_invite_info", 1);
  settle();
  auto history = std::dynamic_pointer_cast<HistoryInviteViewController>(top());
  ASSERT_TRUE(history);
  auto table = history->historyWardView()->historyWardTableView();
  std::map<NSInteger, long> shown;  // row -> the award it shows
  auto read = [&] {
    for (const auto& cell : table->visibleCells()) {
      auto row = std::dynamic_pointer_cast<HistoryTableViewCell>(cell);
      auto path = table->indexPathForCell(cell);
      if (row && path) shown[path->row()] = std::stol(textOf(row->wardNumLabel()));
    }
  };
  for (int page = 0; page < 5 && pr_footer(table)->state() != PRRefreshStateNoMoreData; ++page)
    ASSERT_TRUE(pullUpList(table, "old_invite_info"));
  // Every page there: from the top down to the last row.
  dragToTop(table);
  for (int i = 0; i < 30 && table->contentOffset().y < endOffset(table) - 1; ++i) {
    read();
    device().dragView(table, CGPointMake(0, -200), 0.3);
    device().waitUntilStill(table);
  }
  read();
  long sum = 0;
  for (const auto& [row, award] : shown) sum += award;
  EXPECT_EQ(static_cast<NSInteger>(shown.size()), table->numberOfRowsInSection(0)) << "every row read";
  EXPECT_EQ(std::to_string(shown.size()), friends);
  EXPECT_EQ(std::to_string(sum), total);
}

}  // namespace
