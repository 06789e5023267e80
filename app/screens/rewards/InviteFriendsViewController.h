#pragma once
// The invite-with-rewards screen ("邀请有奖"): the user's invitation totals (a hand-signed
// JSON request), the leaderboard (an unsigned one, read whatever its "code"), the share panel
// whose targets send nothing, and the way to the reward records. No failure shows a message.

#include <memory>

#include "app/screens/rewards/InviteFriendsView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UITableView.h"

class InviteFriendsViewController : public ParentsViewController,
                                    public UITableViewDataSource,
                                    public UITableViewDelegate {
 public:
  static std::shared_ptr<InviteFriendsViewController> make() { return std::make_shared<InviteFriendsViewController>(); }
  std::string className() const override { return "InviteFriendsViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  // get_time, then user_invite signed with its time; the overlay shows meanwhile.
  void loadInviteDatas();
  // get_invitePage_data, posted without a body.
  void loadRanking();
  // By the tapped control's tag: 0 opens the share panel, 1 the reward records, others nothing.
  void buttonClick(const id& sender);
  void viewClick();
  void ImmediatelyInvite();
  void lookWard();

  std::shared_ptr<InviteFriendsView> inviteFriendView() const { return inviteFriendView_; }
  std::shared_ptr<NSDictionary> dataDictionary() const { return dataDictionary_; }
  std::shared_ptr<NSMutableArray> dataArray() const { return dataArray_; }

  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;

 private:
  std::shared_ptr<InviteFriendsViewController> inviteSelf() {
    return std::static_pointer_cast<InviteFriendsViewController>(controllerSelf());
  }
  void showRanking(const id& reply);

  std::shared_ptr<InviteFriendsView> inviteFriendView_;
  std::shared_ptr<NSDictionary> dataDictionary_ = NSDictionary::dictionary();
  std::shared_ptr<NSMutableArray> dataArray_ = NSMutableArray::array();
};
