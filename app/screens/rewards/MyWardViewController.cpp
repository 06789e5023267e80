#include "app/screens/rewards/MyWardViewController.h"

#include "analytics/StatAgent.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/HistoryInviteViewController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;
using zvt::invites::recordText;
using zvt::invites::rowLabel;

namespace {

const auto kPageName = "我的奖励页"_ns;
const auto kCellID = "cellID"_ns;
const auto kGrayCellID = "grayCellID"_ns;

}  // namespace

// --- The header ---------------------------------------------------------------------------

void HeaderWardView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  labelTitleArray_ = NSArray::make({"会员名"_ns, "奖励类型"_ns, "奖励"_ns, "奖励时间"_ns});
  setBackgroundColor(UIColor::whiteColor());
  const CGFloat W = portraitScreen().width;
  auto top = UIImageView::initWithImage(UIImage::imageNamed("mywardtop"_ns));
  top->setFrame(CGRectMake(0, 0, W, W * 0.45625));
  addSubview(top);
  moneyLabel_ = UILabel::initWithFrame(CGRectMake(W * 0.5, W * 0.45625 / 2 + 15, W * 0.35, W * 0.08));
  moneyLabel_->setTextColor(UIColor::redColor());
  moneyLabel_->setFont(UIFont::systemFontOfSize(20));
  moneyLabel_->setTextAlignment(NSTextAlignmentCenter);
  addSubview(moneyLabel_);

  backView_ = UIView::initWithFrame(CGRectMake(0, CGRectGetMaxY(top->frame()), W, W * 0.15));
  backView_->setBackgroundColor(UIColor::whiteColor());
  addSubview(backView_);
  const CGSize strip = backView_->frame().size;
  inviteFriends_ = UILabel::initWithFrame(CGRectMake(5, 5, strip.width * 0.6, strip.height - 10));
  backView_->addSubview(inviteFriends_);
  lookDetail_ = UIButton::buttonWithType(UIButtonTypeCustom);
  lookDetail_->setFrame(CGRectMake(0, 0, strip.width * 0.4, strip.height / 2));
  lookDetail_->setCenter(CGPointMake(strip.width * 0.85 - 20, strip.height / 2));
  lookDetail_->setTitle("查看历史邀请明细>"_ns, UIControlStateNormal);
  lookDetail_->setTitleColor(UIColor::grayColor(), UIControlStateNormal);
  lookDetail_->titleLabel()->setFont(UIFont::systemFontOfSize(14));
  lookDetail_->addTarget(shared_from_this(), SEL(&HeaderWardView::buttonClick), UIControlEventTouchUpInside);
  backView_->addSubview(lookDetail_);

  std::vector<std::string> titles;
  for (const id& title : *labelTitleArray_) titles.push_back(zvt::as<NSString>(title)->utf8());
  listBackView_ = zvt::invites::columnTitleStrip(CGRectMake(0, CGRectGetMaxY(backView_->frame()), W, W * 0.1), titles,
                                                 {0.25, 0.25, 0.25, 0.25});
  addSubview(listBackView_);
}

void HeaderWardView::updatas(const std::shared_ptr<NSString>& money, const std::shared_ptr<NSString>& persons) {
  auto count = persons ? persons : ""_ns;
  moneyLabel_->setText(NSString::stringWithFormat("%@元", money ? money : ""_ns));
  auto text = NSMutableAttributedString::initWithString(NSString::stringWithFormat("您共成功邀请好友%@人", count));
  text->addAttribute(NSForegroundColorAttributeName, UIColor::redColor(), NSMakeRange(8, count->length() + 1));
  inviteFriends_->setAttributedText(text);
}

void HeaderWardView::buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

// --- The content view and the rows ----------------------------------------------------------

void MyWard::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(rgb(254, 236, 151));
  wardTableView_ = UITableView::initWithFrame(CGRectMake(0, 0, portraitScreen().width, frame.size.height),
                                              UITableViewStyleGrouped);
  wardTableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  wardTableView_->setBackgroundColor(rgb(254, 236, 151));
  wardTableView_->registerClass<WardTableViewCell>(kCellID);
  wardTableView_->registerClass<GrayWardTableViewCell>(kGrayCellID);
  addSubview(wardTableView_);
}

void WardTableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  UITableViewCell::setUpWithStyle(style, reuseIdentifier);
  setSelectionStyle(UITableViewCellSelectionStyleNone);
  // Laid out once, from the frame the cell is made with.
  const CGFloat h = frame().size.height;
  const CGFloat column = (frame().size.width - 0.4 * h) / 4;
  const CGFloat left = 0.2 * h;
  nameLabel_ = rowLabel(CGRectMake(left, 0.25 * h, column, 0.7 * h), 12, NSTextAlignmentNatural, 2);
  typeLabel_ = rowLabel(CGRectMake(left + column, 0.25 * h, column, 0.5 * h), 14, NSTextAlignmentCenter, 1);
  wardNumLabel_ = rowLabel(CGRectMake(left + 2 * column, 0.25 * h, column, 0.5 * h), 14, NSTextAlignmentCenter, 1);
  dateWardLabel_ = rowLabel(CGRectMake(left + 3 * column, 0.25 * h, column, 0.7 * h), 12, NSTextAlignmentCenter, 2);
  for (const auto& label : {nameLabel_, typeLabel_, wardNumLabel_, dateWardLabel_}) contentView()->addSubview(label);
}

void WardTableViewCell::fillCellWithDictionary(const std::shared_ptr<NSDictionary>& record) {
  nameLabel_->setText(recordText(record, "people"));
  typeLabel_->setText(recordText(record, "type"));
  wardNumLabel_->setText(recordText(record, "num"));
  dateWardLabel_->setText(recordText(record, "time"));
}

void GrayWardTableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  WardTableViewCell::setUpWithStyle(style, reuseIdentifier);
  setBackgroundColor(rgb(243, 243, 243));
}

// --- The screen ---------------------------------------------------------------------------

std::shared_ptr<MyWardViewController> MyWardViewController::make() { return std::make_shared<MyWardViewController>(); }

void MyWardViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  zvt::invites::configScreen(controllerSelf(), "我的奖励"_ns);
  createUI();
}

void MyWardViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::invites::screenWillAppear(controllerSelf(), kPageName, false);
}

void MyWardViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void MyWardViewController::createUI() {
  const CGSize screen = portraitScreen();
  headerView_ = HeaderWardView::initWithFrame(CGRectMake(0, 0, screen.width, screen.width * 0.70625));
  headerView_->updatas(money_, personNum_);
  std::weak_ptr<MyWardViewController> weakSelf = wardSelf();
  headerView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonClick(sender);
  });
  myWardView_ = MyWard::initWithFrame(CGRectMake(0, 0, screen.width, screen.height - 20));
  auto table = myWardView_->wardTableView();
  table->setDataSource(wardSelf());
  table->setDelegate(wardSelf());
  view()->addSubview(myWardView_);
  list_->attach(table, wardSelf());
}

void MyWardViewController::headerAction() { list_->pullDown(self()); }
void MyWardViewController::footerAction() { list_->pullUp(self()); }
void MyWardViewController::loadInviteFriendsDatas() { list_->load(self()); }
void MyWardViewController::failureLoad() { list_->failureLoad(); }

void MyWardViewController::buttonClick(const id&) {
  if (navigationController()) navigationController()->pushViewController(HistoryInviteViewController::make(), true);
}

NSInteger MyWardViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(list_->rows()->count());
}

std::shared_ptr<UITableViewCell> MyWardViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSInteger row = indexPath->row();
  auto cell = tableView->dequeueReusableCellWithIdentifier(row % 2 ? kGrayCellID : kCellID, indexPath);
  if (auto ward = std::dynamic_pointer_cast<WardTableViewCell>(cell)) ward->fillCellWithDictionary(list_->recordAt(row));
  return cell;
}

CGFloat MyWardViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                               const std::shared_ptr<NSIndexPath>&) {
  return portraitScreen().width * 0.18;
}

CGFloat MyWardViewController::tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return portraitScreen().width * 0.71;
}

std::shared_ptr<UIView> MyWardViewController::tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                                              NSInteger) {
  return headerView_;
}

std::shared_ptr<UIView> MyWardViewController::tableViewViewForFooterInSection(const std::shared_ptr<UITableView>&,
                                                                              NSInteger) {
  return list_->footerView(portraitScreen().width);
}
