#include "app/screens/rewards/HistoryInviteViewController.h"

#include "analytics/StatAgent.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UINavigationController.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;
using zvt::invites::recordText;
using zvt::invites::rowLabel;

namespace {

const auto kPageName = "历史邀请明细页"_ns;
const auto kCellID = "cellID"_ns;
const auto kGrayCellID = "grayCellID"_ns;

}  // namespace

// --- The content view and the rows ----------------------------------------------------------

void HistoryWardView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  labelTitleArray_ = NSArray::make({"会员名"_ns, "已获奖励(仅供参考)"_ns, "注册时间"_ns});
  const CGFloat W = portraitScreen().width;
  std::vector<std::string> titles;
  for (const id& title : *labelTitleArray_) titles.push_back(zvt::as<NSString>(title)->utf8());
  headerView_ = zvt::invites::columnTitleStrip(CGRectMake(0, 0, W, W * 0.125), titles, {0.29, 0.42, 0.29});
  historyWardTableView_ =
      UITableView::initWithFrame(CGRectMake(0, 0, frame.size.width, frame.size.height - 20), UITableViewStyleGrouped);
  historyWardTableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  historyWardTableView_->registerClass<HistoryTableViewCell>(kCellID);
  historyWardTableView_->registerClass<GrayHistoryWardTableViewCell>(kGrayCellID);
  addSubview(historyWardTableView_);
}

void HistoryTableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  UITableViewCell::setUpWithStyle(style, reuseIdentifier);
  setSelectionStyle(UITableViewCellSelectionStyleNone);
  // Laid out once, from the frame the cell is made with.
  const CGFloat h = frame().size.height;
  const CGFloat column = (frame().size.width - 0.2 * h) / 3;
  const CGFloat left = 0.2 * h;
  nameLabel_ = rowLabel(CGRectMake(left, 0.2 * h, column, 0.8 * h), 14, NSTextAlignmentNatural, 2);
  wardNumLabel_ = rowLabel(CGRectMake(left + column, 0.4 * h, column, 0.5 * h), 14, NSTextAlignmentCenter, 1);
  dateWardLabel_ = rowLabel(CGRectMake(left + 2 * column, 0.2 * h, column, 0.8 * h), 14, NSTextAlignmentCenter, 2);
  for (const auto& label : {nameLabel_, wardNumLabel_, dateWardLabel_}) contentView()->addSubview(label);
}

void HistoryTableViewCell::fillCellWithDictionary(const std::shared_ptr<NSDictionary>& record) {
  nameLabel_->setText(recordText(record, "people"));
  wardNumLabel_->setText(NSString::stringWithFormat("%ld", static_cast<long>(zvt::exchange::integerOf(record, "award"))));
  dateWardLabel_->setText(recordText(record, "regTime"));
}

void GrayHistoryWardTableViewCell::setUpWithStyle(UITableViewCellStyle style,
                                                  const std::shared_ptr<NSString>& reuseIdentifier) {
  HistoryTableViewCell::setUpWithStyle(style, reuseIdentifier);
  setBackgroundColor(rgb(243, 243, 243));
}

// --- The screen ---------------------------------------------------------------------------

std::shared_ptr<HistoryInviteViewController> HistoryInviteViewController::make() {
  return std::make_shared<HistoryInviteViewController>();
}

void HistoryInviteViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  zvt::invites::configScreen(controllerSelf(), "历史邀请明细"_ns);
  createUI();
}

void HistoryInviteViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::invites::screenWillAppear(controllerSelf(), kPageName, false);
}

void HistoryInviteViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void HistoryInviteViewController::createUI() {
  const CGSize screen = portraitScreen();
  historyWardView_ = HistoryWardView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height));
  auto table = historyWardView_->historyWardTableView();
  table->setDataSource(historySelf());
  table->setDelegate(historySelf());
  view()->addSubview(historyWardView_);
  list_->attach(table, historySelf());
}

void HistoryInviteViewController::headerAction() { list_->pullDown(self()); }
void HistoryInviteViewController::footerAction() { list_->pullUp(self()); }
void HistoryInviteViewController::loadHistoryInviteFriendsDatas() { list_->load(self()); }
void HistoryInviteViewController::failureLoad() { list_->failureLoad(); }

NSInteger HistoryInviteViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(list_->rows()->count());
}

std::shared_ptr<UITableViewCell> HistoryInviteViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSInteger row = indexPath->row();
  auto cell = tableView->dequeueReusableCellWithIdentifier(row % 2 ? kGrayCellID : kCellID, indexPath);
  if (auto friendRow = std::dynamic_pointer_cast<HistoryTableViewCell>(cell)) {
    friendRow->fillCellWithDictionary(list_->recordAt(row));
  }
  return cell;
}

CGFloat HistoryInviteViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                      const std::shared_ptr<NSIndexPath>&) {
  return portraitScreen().width * 115 / 640;
}

CGFloat HistoryInviteViewController::tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return portraitScreen().width * 70 / 640;
}

std::shared_ptr<UIView> HistoryInviteViewController::tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                                                     NSInteger) {
  return historyWardView_->headerView();
}

std::shared_ptr<UIView> HistoryInviteViewController::tableViewViewForFooterInSection(const std::shared_ptr<UITableView>&,
                                                                                     NSInteger) {
  return list_->footerView(portraitScreen().width);
}
