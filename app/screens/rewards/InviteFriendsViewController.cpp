#include "app/screens/rewards/InviteFriendsViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/MyWardViewController.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {

const auto kPageName = "邀请有奖页"_ns;

// The "%@" text of the logged-in user's id, nil without one.
std::shared_ptr<NSString> userId() {
  auto delegate = AppDelegate::shared();
  auto record = delegate ? delegate->userInfoDictionary() : nullptr;
  return zvt::exchange::textOf(record, "id");
}

}  // namespace

void InviteFriendsViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  zvt::invites::configScreen(controllerSelf(), "邀请有奖"_ns);
  createUI();
  loadInviteDatas();
  loadRanking();
}

void InviteFriendsViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::invites::screenWillAppear(controllerSelf(), kPageName, true);
}

void InviteFriendsViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void InviteFriendsViewController::createUI() {
  const CGSize screen = zvt::exchange::portraitScreen();
  inviteFriendView_ = InviteFriendsView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height));
  if (auto board = inviteFriendView_->leaderboardView()) {
    if (auto table = board->leaderBoardTableView()) {
      table->setDataSource(inviteSelf());
      table->setDelegate(inviteSelf());
    }
  }
  std::weak_ptr<InviteFriendsViewController> weakSelf = inviteSelf();
  inviteFriendView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonClick(sender);
  });
  view()->addSubview(inviteFriendView_);
  inviteFriendView_->backView()->addGestureRecognizer(
      UITapGestureRecognizer::initWithTarget(self(), SEL(&InviteFriendsViewController::viewClick)));
}

void InviteFriendsViewController::loadInviteDatas() {
  showLoadingHud(controllerSelf());
  // The completions hold the screen until the requests end.
  auto self = inviteSelf();
  auto hide = [self] { dispatch_async(dispatch_get_main_queue(), [self] { hideHud(self); }); };
  APIClient::POST(
      "api/client.php?m=get_time"_ns, NSDictionary::make({{"code"_ns, zvt::timeRequestCode()}}),
      [self, hide](bool success, const id& reply, const std::shared_ptr<NSError>&) {
        if (!success || zvt::replyCode(reply) != 101) {
          hide();
          return;
        }
        id time = zvt::replyValue(reply, "time");
        auto uid = userId();
        if (!zvt::isUsableTime(time) || !uid) {
          hide();
          return;
        }
        auto fields = NSDictionary::make({{"code"_ns, zvt::signatureForTime(time)}, {"time"_ns, time}, {"uid"_ns, uid}});
        APIClient::POST("api/client.php?m=user_invite"_ns, fields,
                        [self, hide](bool done, const id& totals, const std::shared_ptr<NSError>&) {
                          hide();
                          if (!done || zvt::replyCode(totals) != 101) return;
                          auto data = zvt::as<NSDictionary>(zvt::replyValue(totals, "data"));
                          if (!data) return;
                          self->dataDictionary_ = data;
                          dispatch_async(dispatch_get_main_queue(),
                                         [self, data] { self->inviteFriendView_->updateDatasWith(data); });
                        });
      });
}

void InviteFriendsViewController::loadRanking() {
  auto self = inviteSelf();
  APIClient::POST("/api/client.php?m=get_invitePage_data"_ns, id(),
                  [self](bool success, const id& reply, const std::shared_ptr<NSError>&) {
                    if (success) self->showRanking(reply);
                  });
}

void InviteFriendsViewController::showRanking(const id& reply) {
  // Read whatever the reply's "code" says.
  auto records = zvt::as<NSArray>(zvt::replyValue(reply, "inviteData"));
  if (!records || records->count() == 0) return;
  static const char* const extras[] = {"（额外奖2000元）", "（额外奖1000元）", "（额外奖500元）"};
  NSUInteger i = 0;
  for (const id& item : *records) {
    auto record = zvt::as<NSDictionary>(item);
    auto row = NSMutableDictionary::dictionary();
    for (const char* key : {"num", "username"}) {
      if (auto text = zvt::exchange::textOf(record, key)) row->setObject(text, NSString::stringWithUTF8String(key));
    }
    if (i < 3) row->setObject(NSString::stringWithUTF8String(extras[i]), "extra"_ns);
    row->setObject(NSString::stringWithFormat("%d", static_cast<int>(i + 1)), "rank"_ns);
    dataArray_->addObject(row);
    ++i;
  }
  if (auto board = inviteFriendView_->leaderboardView(); board && board->leaderBoardTableView()) {
    board->leaderBoardTableView()->reloadData();
  }
}

void InviteFriendsViewController::buttonClick(const id& sender) {
  auto control = zvt::as<UIView>(sender);
  if (!control) return;
  switch (control->tag()) {
    case 0: ImmediatelyInvite(); break;
    case 1: lookWard(); break;
    default: break;  // the share targets send nothing: the panel stays open
  }
}

void InviteFriendsViewController::ImmediatelyInvite() {
  inviteFriendView_->backView()->setHidden(false);
  inviteFriendView_->shareView()->setHidden(false);
}

void InviteFriendsViewController::viewClick() {
  inviteFriendView_->backView()->setHidden(true);
  inviteFriendView_->shareView()->setHidden(true);
}

void InviteFriendsViewController::lookWard() {
  auto rewards = MyWardViewController::make();
  rewards->setPersonNum(
      NSString::stringWithFormat("%ld", static_cast<long>(zvt::exchange::integerOf(dataDictionary_, "inviteTotal"))));
  // Before the totals arrive the money reads "0", as the count does.
  auto money = zvt::exchange::textOf(dataDictionary_, "inviteMoney");
  rewards->setMoney(money ? money : "0"_ns);
  if (navigationController()) navigationController()->pushViewController(rewards, true);
}

NSInteger InviteFriendsViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(dataArray_->count());
}

std::shared_ptr<UITableViewCell> InviteFriendsViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = tableView->dequeueReusableCellWithIdentifier("TZLeaderboardCell"_ns, indexPath);
  const NSInteger row = indexPath->row();
  if (auto leader = std::dynamic_pointer_cast<TZLeaderboardCell>(cell);
      leader && row >= 0 && static_cast<NSUInteger>(row) < dataArray_->count()) {
    leader->setInfoDictionary(zvt::as<NSDictionary>(dataArray_->objectAtIndex(static_cast<NSUInteger>(row))));
  }
  return cell;
}
