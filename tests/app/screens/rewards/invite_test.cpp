// The invite screen through the device against the local service: the totals' signed chain
// and the values it shows, the leaderboard's ranks, badges, extras and reward texts (reused
// rows included), the share panel, and the way to the reward records.

#include "platform/uikit/UIWindow.h"
#include "tests/app/screens/rewards/InviteTestSupport.h"
#include "ui/hud/POProgressHUD.h"

namespace {

using zvt::test::InviteTest;
using zvt::test::ScriptedReply;

class InviteScreenTest : public InviteTest {
 protected:
  void scriptTotals(const std::string& dataJSON) {
    service_->script(ScriptedReply{.op = "user_invite", .iface = "json", .code = 101, .dataJSON = dataJSON});
  }
  void scriptLeaderboard(const std::string& recordsJSON, int code = 101) {
    service_->script(ScriptedReply{
        .op = "get_invitePage_data", .iface = "json", .code = code, .extraJSON = "{\"inviteData\": " + recordsJSON + "}"});
  }
  static std::vector<std::shared_ptr<TZLeaderboardCell>> leaderCells(const std::shared_ptr<InviteFriendsViewController>& screen) {
    std::vector<std::shared_ptr<TZLeaderboardCell>> out;
    for (const auto& cell : screen->inviteFriendView()->leaderboardView()->leaderBoardTableView()->visibleCells()) {
      if (auto row = std::dynamic_pointer_cast<TZLeaderboardCell>(cell)) out.push_back(row);
    }
    return out;
  }
  // Scrolls the page so that the leaderboard stands in view.
  void showLeaderboard(const std::shared_ptr<InviteFriendsViewController>& screen) {
    auto page = screen->inviteFriendView()->scrollView();
    device().dragView(page, CGPointMake(0, -260), 0.5);
    device().waitUntilStill(page);
  }
  // The colour of a range of an attributed label's text.
  static bool highlighted(const std::shared_ptr<UILabel>& label, NSUInteger at) {
    auto text = label->attributedText();
    if (!text || at >= text->length()) return false;
    auto colour = zvt::as<UIColor>(text->attributesAtIndex(at, nullptr)->objectForKey(NSForegroundColorAttributeName));
    return colour && hasColour(colour, 255, 39, 90);
  }
};

TEST_F(InviteScreenTest, TotalsAreSignedByTheScreenAndShownUnderTheirCaptions) {
  launchLoggedIn();
  // The launch uploads the push registration id with a time stamp of its own, whenever the
  // push client answers: let it go before the log is cleared, so that only the screen's count.
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("up_push_id") > 0; }, 15));
  service_->clearLog();
  scriptTotals(R"({"inviteTotal": "3", "inviteMoney": "12.5"})");
  auto screen = openInvite();
  ASSERT_TRUE(screen);
  waitFor([&] { return !textOf(screen->inviteFriendView()->numTotalLabel()).empty(); }, 5);

  // A JSON time stamp, then the totals signed with it; the leaderboard without a body.
  auto times = entriesOf("get_time");
  ASSERT_EQ(times.size(), 1u);
  EXPECT_EQ(field(times[0], "iface"), "json");
  auto totals = entriesOf("user_invite");
  ASSERT_EQ(totals.size(), 1u);
  auto fields = zvt::as<NSDictionary>(totals[0]->objectForKey("fields"_ns));
  EXPECT_EQ(orderKeys(fields), (std::vector<std::string>{"uid"}));
  EXPECT_EQ(fields->count(), 3u) << "code, time and uid only";
  EXPECT_EQ(field(fields, "uid"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(field(totals[0], "signature"), "ok") << "code = MD5(MD5(secret) + time)";
  EXPECT_LT(std::stoll(field(times[0], "seq")), std::stoll(field(totals[0], "seq"))) << "the time stamp first";
  auto board = entriesOf("get_invitePage_data");
  ASSERT_EQ(board.size(), 1u);
  EXPECT_EQ(field(board[0], "form"), "none");

  EXPECT_TRUE(device().viewWithText("邀请有奖"));
  EXPECT_EQ(textOf(screen->inviteFriendView()->numTotalLabel()), "12.5");
  EXPECT_EQ(textOf(screen->inviteFriendView()->numSucceedLabel()), "3");
  EXPECT_TRUE(device().viewWithText("累计邀请奖励(元)"));
  EXPECT_TRUE(device().viewWithText("成功邀请好友(人)"));
  EXPECT_FALSE(POProgressHUD::HUDForView(screen->view())) << "the overlay is gone";
  zvt::test::writeScreenPicture("Invite.page");
}

TEST_F(InviteScreenTest, TotalsOfEveryShapeAndFailuresShowNoNullAndNoMessage) {
  launchLoggedIn();
  struct Case {
    const char* name;
    std::vector<ScriptedReply> scripts;
    const char* money;
    const char* count;
    bool asksTotals;
  };
  const std::vector<Case> cases = {
      {"inviteTotal missing", {{.op = "user_invite", .iface = "json", .code = 101, .dataJSON = R"({"inviteMoney": "8"})"}}, "8", "0", true},
      {"inviteTotal abc", {{.op = "user_invite", .iface = "json", .code = 101, .dataJSON = R"({"inviteTotal": "abc", "inviteMoney": "8"})"}}, "8", "0", true},
      {"numbers", {{.op = "user_invite", .iface = "json", .code = 101, .dataJSON = R"({"inviteTotal": 3, "inviteMoney": 12.5})"}}, "12.5", "3", true},
      {"inviteMoney missing", {{.op = "user_invite", .iface = "json", .code = 101, .dataJSON = R"({"inviteTotal": "2"})"}}, "", "2", true},
      {"code 202", {{.op = "user_invite", .iface = "json", .code = 202, .msg = "无权限"}}, "", "", true},
      {"dropped", {{.op = "user_invite", .iface = "json", .drop = true, .sticky = true}}, "", "", true},
      {"time without time", {{.op = "get_time", .iface = "json", .omitTime = true}}, "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
    service_->clearLog();
    for (const auto& script : c.scripts) service_->script(script);
    auto screen = openInvite();
    ASSERT_TRUE(screen);
    settle(2);
    EXPECT_EQ(service_->requestCount("user_invite") > 0, c.asksTotals);
    service_->clearScripts();
    EXPECT_EQ(textOf(screen->inviteFriendView()->numTotalLabel()), c.money);
    EXPECT_EQ(textOf(screen->inviteFriendView()->numSucceedLabel()), c.count);
    EXPECT_FALSE(POProgressHUD::HUDForView(screen->view())) << "the overlay is hidden";
    EXPECT_TRUE(device().viewsContainingText("null").empty());
    EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u);
  }
}

TEST_F(InviteScreenTest, LeaderboardRanksBadgesExtrasAndRewards) {
  launchLoggedIn();
  // Two records, in a reply whose code is not 101.
  scriptLeaderboard(R"([{"num": "100", "username": "王**"}, {"num": "", "username": "李**"}])", 0);
  auto screen = openInvite();
  ASSERT_TRUE(screen);
  showLeaderboard(screen);
  auto cells = leaderCells(screen);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(textOf(cells[0]->numLabel()), "1");
  EXPECT_TRUE(hasBackground(cells[0]->numLabel(), 255, 224, 11));
  EXPECT_EQ(textOf(cells[0]->extraLabel()), "（额外奖2000元）");
  EXPECT_EQ(textOf(cells[0]->userNameLabel()), "王**");
  EXPECT_EQ(cells[0]->inviteWardLabel()->attributedText()->string()->utf8(), "邀请奖100元");
  for (NSUInteger at = 0; at < 7; ++at) {
    EXPECT_EQ(highlighted(cells[0]->inviteWardLabel(), at), at >= 3 && at < 6) << at;
  }
  EXPECT_EQ(textOf(cells[1]->numLabel()), "2");
  EXPECT_TRUE(hasBackground(cells[1]->numLabel(), 174, 175, 174));
  EXPECT_EQ(textOf(cells[1]->extraLabel()), "（额外奖1000元）");
  EXPECT_EQ(cells[1]->inviteWardLabel()->attributedText()->string()->utf8(), "邀请奖元");
  for (NSUInteger at = 0; at < 4; ++at) EXPECT_FALSE(highlighted(cells[1]->inviteWardLabel(), at)) << at;
  EXPECT_TRUE(device().viewWithText("（额外奖2000元）"));
  EXPECT_NEAR(cells[0]->numLabel()->layer()->cornerRadius(), cells[0]->numLabel()->frame().size.height / 2, 0.01);
}

TEST_F(InviteScreenTest, TenInvitersScrollAndReusedRowsTakeTheDefaultBadge) {
  launchLoggedIn();
  auto screen = openInvite();
  ASSERT_TRUE(screen);
  ASSERT_EQ(screen->dataArray()->count(), 10u);
  showLeaderboard(screen);
  zvt::test::writeScreenPicture("Invite.leaderboard");
  auto first = leaderCells(screen);
  ASSERT_GE(first.size(), 3u);
  std::vector<std::shared_ptr<TZLeaderboardCell>> podium(first.begin(), first.begin() + 3);
  EXPECT_TRUE(hasBackground(podium[2]->numLabel(), 209, 110, 82));
  EXPECT_EQ(textOf(podium[2]->extraLabel()), "（额外奖500元）");

  auto table = screen->inviteFriendView()->leaderboardView()->leaderBoardTableView();
  device().dragView(table, CGPointMake(0, -400), 0.5);
  device().waitUntilStill(table);
  int reused = 0;
  for (const auto& cell : leaderCells(screen)) {
    const int rank = std::stoi(textOf(cell->numLabel()));
    SCOPED_TRACE(rank);
    EXPECT_GE(rank, 4);
    EXPECT_TRUE(textOf(cell->extraLabel()).empty()) << "no extra after the third place";
    EXPECT_TRUE(zvt::test::ExchangeTest::hasColour(cell->numLabel()->backgroundColor(), 255, 160, 182))
        << "the badge's own colour, not a medal's";
    for (const auto& medal : podium) reused += cell == medal;
  }
  EXPECT_GE(reused, 1) << "a row of places 1 to 3 was reused";
}

TEST_F(InviteScreenTest, SharePanelOpensStaysForItsTargetsAndClosesOnTheDimmedArea) {
  launchLoggedIn();
  auto screen = openInvite();
  ASSERT_TRUE(screen);
  auto body = screen->inviteFriendView();
  EXPECT_TRUE(body->backView()->isHidden());
  EXPECT_TRUE(body->shareView()->isHidden());
  ASSERT_TRUE(device().tapText("立即邀请"));
  device().wait(0.5);
  EXPECT_FALSE(body->backView()->isHidden());
  EXPECT_FALSE(body->shareView()->isHidden());
  zvt::test::writeScreenPicture("Invite.sharePanel");

  service_->clearLog();
  const std::vector<std::string> targets = {"微信邀请好友", "QQ邀请好友", "分享至微信朋友圈", "分享至QQ空间", "分享至新浪微博"};
  for (size_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    auto target = device().viewWithText(targets[i]);
    ASSERT_TRUE(target);
    EXPECT_EQ(body->shareButtons()[i]->tag(), static_cast<NSInteger>(100 + i));
    ASSERT_TRUE(device().tapText(targets[i]));
    device().wait(0.5);
    EXPECT_FALSE(body->shareView()->isHidden()) << "the panel stays open";
    EXPECT_EQ(screen, top());
  }
  // The icons stand in one column.
  const CGFloat iconX = body->shareButtons()[0]->imageView()->frame().origin.x;
  for (const auto& button : body->shareButtons()) EXPECT_NEAR(button->imageView()->frame().origin.x, iconX, 1);
  settle();
  EXPECT_EQ(service_->requestCount(), 0) << "a target sends nothing";

  // Inside the white panel but off its targets: nothing.
  const CGRect panel = body->shareView()->convertRectToView(body->shareView()->bounds(), nullptr);
  device().tap(CGPointMake(CGRectGetMidX(panel), CGRectGetMaxY(panel) - 3));
  device().wait(0.5);
  EXPECT_FALSE(body->shareView()->isHidden());
  // The dimmed area below the panel closes it.
  device().tap(CGPointMake(CGRectGetMidX(panel), CGRectGetMaxY(panel) + 40));
  device().wait(0.5);
  EXPECT_TRUE(body->backView()->isHidden());
  EXPECT_TRUE(body->shareView()->isHidden());
}

TEST_F(InviteScreenTest, RewardsButtonPassesTheTotalsOrZeroesBeforeThey) {
  launchLoggedIn();
  struct Case {
    const char* name;
    bool totals;
    const char* money;
    const char* count;
  };
  for (const Case& c : {Case{"with totals", true, "12.5元", "您共成功邀请好友3人"}, Case{"before totals", false, "0元", "您共成功邀请好友0人"}}) {
    SCOPED_TRACE(c.name);
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
    if (c.totals) {
      scriptTotals(R"({"inviteTotal": "3", "inviteMoney": "12.5"})");
    } else {
      service_->script(ScriptedReply{.op = "get_time", .iface = "json", .omitTime = true});
    }
    auto screen = openInvite();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(device().tapText("查看邀请奖励"));
    device().wait(1);
    auto rewards = std::dynamic_pointer_cast<MyWardViewController>(top());
    ASSERT_TRUE(rewards);
    settle();
    EXPECT_TRUE(device().viewWithText("我的奖励"));
    EXPECT_TRUE(device().viewWithText(c.money));
    auto line = rewards->headerView()->inviteFriends();
    EXPECT_EQ(line->attributedText()->string()->utf8(), c.count);
    auto text = line->attributedText();
    for (NSUInteger at = 0; at < text->length(); ++at) {
      auto colour = zvt::as<UIColor>(text->attributesAtIndex(at, nullptr)->objectForKey(NSForegroundColorAttributeName));
      EXPECT_EQ(colour && hasColour(colour, 255, 0, 0), at >= 8) << at;
    }
    if (c.totals) zvt::test::writeScreenPicture("Invite.rewards");
  }
}

}  // namespace
