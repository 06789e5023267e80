#pragma once
// The invite page's views: the scrolling page body (banner, the user's two totals, the invite
// and rewards buttons, the leaderboard and the rules picture) with its hidden dimmed background
// and five-target share panel; the leaderboard block and its rows, both from nibs.

#include <memory>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"

// The leaderboard block (nib "TZLeaderboardView"): a heading over the table of inviters. Its
// table reuses TZLeaderboardCell rows from their nib under "TZLeaderboardCell".
class TZLeaderboardView : public ParentView {
 public:
  std::shared_ptr<UITableView> leaderBoardTableView() const { return leaderBoardTableView_.lock(); }
  void setLeaderBoardTableView(const std::shared_ptr<UITableView>& table) { leaderBoardTableView_ = table; }
  void awakeFromNib() override;

 private:
  std::weak_ptr<UITableView> leaderBoardTableView_;
};

// One inviter (nib "TZLeaderboardCell"): the rank badge, the name, the bonus note of places 1
// to 3 and the reward "邀请奖<num>元" with the amount in the accent colour.
class TZLeaderboardCell : public ParentTableViewCell {
 public:
  static constexpr CGFloat kRowHeight = 50;
  std::shared_ptr<UILabel> numLabel() const { return numLabel_.lock(); }
  std::shared_ptr<UILabel> userNameLabel() const { return userNameLabel_.lock(); }
  std::shared_ptr<UILabel> extraLabel() const { return extraLabel_.lock(); }
  std::shared_ptr<UILabel> inviteWardLabel() const { return inviteWardLabel_.lock(); }
  std::shared_ptr<NSDictionary> infoDictionary() const { return infoDictionary_; }
  // A nil row changes nothing. Places after the third get the badge's own colour back, so
  // that a reused cell does not keep the gold, silver or bronze of its last row.
  void setInfoDictionary(const std::shared_ptr<NSDictionary>& info);
  void layoutSubviews() override;
  // The badge colour of places after the third.
  static std::shared_ptr<UIColor> defaultBadgeColor();

 private:
  friend void registerLeaderboardNibs();
  std::weak_ptr<UILabel> numLabel_, userNameLabel_, extraLabel_, inviteWardLabel_;
  std::shared_ptr<NSDictionary> infoDictionary_;
};

// The page body. Every button reports itself through myBlock: 0 "立即邀请", 1 "查看邀请奖励",
// 100 to 104 the share targets.
class InviteFriendsView : public ParentView {
 public:
  // initWithFrame: the lists, then the page.
  static std::shared_ptr<InviteFriendsView> initWithFrame(CGRect frame) { return makeView<InviteFriendsView>(frame); }
  void setUpWithFrame(CGRect frame) override;

  // "inviteMoney" under "累计邀请奖励(元)" as text (a number written out, nothing when
  // missing); the integer value of "inviteTotal" under "成功邀请好友(人)".
  void updateDatasWith(const std::shared_ptr<NSDictionary>& data);
  void buttonClick(const std::shared_ptr<UIButton>& sender);

  std::shared_ptr<UIScrollView> scrollView() const { return scrollView_; }
  std::shared_ptr<UIImageView> topImageView() const { return topImageView_; }
  std::shared_ptr<UILabel> totalInviteLabel() const { return totalInviteLabel_; }
  std::shared_ptr<UILabel> succeedInviteLabel() const { return succeedInviteLabel_; }
  std::shared_ptr<UILabel> numTotalLabel() const { return numTotalLabel_; }
  std::shared_ptr<UILabel> numSucceedLabel() const { return numSucceedLabel_; }
  std::shared_ptr<UIView> backView() const { return backView_; }
  std::shared_ptr<UIView> shareView() const { return shareView_; }
  std::shared_ptr<TZLeaderboardView> leaderboardView() const { return leaderboardView_; }
  const std::vector<std::shared_ptr<UIButton>>& shareButtons() const { return shareButtons_; }

 private:
  void initDatas();
  void createUI();
  std::shared_ptr<UIButton> pageButton(CGRect frame, const std::shared_ptr<NSString>& title, NSInteger tag);

  std::shared_ptr<NSArray> buttonTitleArray_;
  std::shared_ptr<NSArray> imageArray_;
  std::shared_ptr<UIScrollView> scrollView_;
  std::shared_ptr<UIImageView> topImageView_;
  std::shared_ptr<UILabel> totalInviteLabel_, succeedInviteLabel_, numTotalLabel_, numSucceedLabel_;
  std::shared_ptr<UIView> backView_, shareView_;
  std::shared_ptr<TZLeaderboardView> leaderboardView_;
  std::vector<std::shared_ptr<UIButton>> shareButtons_;
};

// Registers the nibs of the leaderboard block and its row; registerRewardsScreens calls it.
void registerLeaderboardNibs();
