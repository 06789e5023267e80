#include "app/screens/rewards/TZExchangeViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/PointsProductDetailViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

using namespace zvt::exchange;

namespace {

const auto kPageName = "兑换商城页"_ns;
const auto kCellIdentifier = "cellID"_ns;

// The kind a tab's tag chooses (0 coupons, 1 virtual goods, 2 physical goods), or 0.
NSInteger kindOfTag(NSInteger tag) {
  switch (tag) {
    case 0: return 2;
    case 1: return 3;
    case 2: return 1;
    default: return 0;
  }
}

std::shared_ptr<NSString> emptyTextOfKind(NSInteger type) {
  switch (type) {
    case 2: return "当前无可兑换优惠券"_ns;
    case 3: return "当前无可兑换虚拟商品"_ns;
    default: return "当前无可兑换实物商品"_ns;
  }
}

// The reply codes of a bad network: the placeholder with its retry.
bool isNetworkCode(const id& info) {
  auto code = std::dynamic_pointer_cast<NSString>(info);
  return code && (code->isEqualToString("111") || code->isEqualToString("222") || code->isEqualToString("201"));
}

}  // namespace

// --- The header ---------------------------------------------------------------------------

void TZExchangeCentreView::setOutlets(const std::shared_ptr<UIButton>& first, const std::shared_ptr<UIButton>& second,
                                      const std::shared_ptr<UIButton>& third, const std::shared_ptr<UIImageView>& tabs,
                                      const std::shared_ptr<UIImageView>& poster) {
  firstSort_ = first;
  secondSort_ = second;
  thirdSort_ = third;
  buttonImageView_ = tabs;
  posterImageView_ = poster;
}

void TZExchangeCentreView::awakeFromNib() {
  ParentView::awakeFromNib();
  NSInteger tag = 0;
  for (const auto& button : {firstSort(), secondSort(), thirdSort()}) {
    if (!button) continue;
    button->setTag(tag++);
    button->setBackgroundColor(UIColor::clearColor());
  }
}

void TZExchangeCentreView::leftAction(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZExchangeCentreView::middleAction(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZExchangeCentreView::rightAction(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZExchangeCentreView::tapClick(const id& sender) { callMyBlock(sender); }

// --- The screen ---------------------------------------------------------------------------

void TZExchangeViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  createUI();
  getDatasWithType(type_);
}

void TZExchangeViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto bar = navigationController() ? navigationController()->navigationBar() : nullptr) {
    bar->setBarStyle(UIBarStyleDefault);
  }
  configWhiteNavigationBarStyle(controllerSelf());
  if (auto delegate = AppDelegate::shared(); delegate && delegate->tabBarController()) {
    delegate->tabBarController()->hiddenTabbar();
  }
  StatAgent::beginLogPageView(kPageName);
}

void TZExchangeViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void TZExchangeViewController::createUI() {
  setTitle("兑换商城"_ns);
  std::weak_ptr<TZExchangeViewController> weakSelf = exchangeSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock(); screen && screen->navigationController()) {
      screen->navigationController()->popViewControllerAnimated(true);
    }
  });

  tableView_ = UITableView::initWithFrame(view()->bounds(), UITableViewStylePlain);
  tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  tableView_->setDataSource(exchangeSelf());
  tableView_->setDelegate(exchangeSelf());
  exchangeCentreView_ = loadFromNib<TZExchangeCentreView>();
  tableView_->setTableHeaderView(exchangeCentreView_);
  view()->addSubview(tableView_);

  if (exchangeCentreView_) {
    if (auto poster = exchangeCentreView_->posterImageView()) {
      poster->setUserInteractionEnabled(true);
      poster->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self(), &TZExchangeViewController::gotoSign));
    }
    exchangeCentreView_->setMyBlock([weakSelf](const id& sender) {
      if (auto screen = weakSelf.lock()) screen->clickButton(sender);
    });
  }

  setPr_header(tableView_, PRRefreshHeader::headerWithRefreshingBlock<TZPRRefreshNormalHeader>([weakSelf] {
                 if (auto screen = weakSelf.lock()) screen->headerAction();
               }));
  auto footer = PRRefreshFooter::footerWithRefreshingBlock<TZPRRefreshAutoNormalFooter>([weakSelf] {
    if (auto screen = weakSelf.lock()) screen->footerAction();
  });
  footer->setHidden(true);
  setPr_footer(tableView_, footer);

  pageNumber_ = 1;
  type_ = 2;
  dataArray_ = NSMutableArray::array();
}

void TZExchangeViewController::getDatasWithType(NSInteger /*type*/) {
  showLoadingHud(controllerSelf());
  if (pageNumber_ == 1) dataArray_->removeAllObjects();
  auto parameters = NSDictionary::make({{"number"_ns, NSString::stringWithFormat("%d", pageNumber_)},
                                        {"cid"_ns, NSString::stringWithFormat("%ld", static_cast<long>(type_))}});
  const int serial = requests_.sent(pageNumber_);
  std::weak_ptr<TZExchangeViewController> weakSelf = exchangeSelf();
  ZVTAPIClient::getExchangeCentreDataWith(parameters, [weakSelf, serial](bool success, const std::shared_ptr<NSArray>& list,
                                                                         const id& info) {
    dispatch_async(dispatch_get_main_queue(), [weakSelf, success, list, info, serial] {
      if (auto screen = weakSelf.lock()) screen->pageLoaded(success, list, info, serial);
    });
  });
}

void TZExchangeViewController::pageLoaded(bool success, const std::shared_ptr<NSArray>& list, const id& info,
                                          int serial) {
  // The rows it belongs to were cleared by a later page 1; that page's reply ends the loading.
  if (requests_.answered(serial)) return;
  auto header = pr_header(tableView_);
  auto footer = pr_footer(tableView_);
  if (success) {
    hideHud(controllerSelf());
    if (list) dataArray_->addObjectsFromArray(list);
    if (tipView_) {
      tipView_->removeFromSuperview();
      tipView_ = nullptr;
    }
    tableView_->reloadData();
    if (header) header->endRefreshing();
    if (footer) footer->endRefreshing();
    if (footer && zvt::integerValueOf(info) == 1) footer->endRefreshingWithNoMoreData();
    return;
  }
  tableView_->reloadData();
  if (header) header->endRefreshing();
  if (footer) footer->endRefreshing();
  // A page that did not come is asked for again by the next pull-up.
  if (pageNumber_ >= 2) --pageNumber_;
  // A transport failure (an error object) reads as a bad network, like the network codes.
  if (isNetworkCode(info) || std::dynamic_pointer_cast<NSError>(info)) {
    hideHud(controllerSelf());
    initTheWrongView();
  } else {
    showTipHudWithText(controllerSelf(), emptyTextOfKind(type_));
  }
}

void TZExchangeViewController::headerAction() {
  pageNumber_ = 1;
  getDatasWithType(type_);
}

void TZExchangeViewController::footerAction() {
  ++pageNumber_;
  getDatasWithType(type_);
}

void TZExchangeViewController::clickButton(const id& sender) {
  auto view = std::dynamic_pointer_cast<UIView>(sender);
  if (!view) return;
  const NSInteger tag = view->tag();
  if (NSInteger kind = kindOfTag(tag)) type_ = kind;
  if (exchangeCentreView_ && exchangeCentreView_->buttonImageView()) {
    exchangeCentreView_->buttonImageView()->setImage(
        UIImage::imageNamed(NSString::stringWithFormat("%@%ld", "pointsStoreTabBar0"_ns, static_cast<long>(tag))));
  }
  pageNumber_ = 1;
  getDatasWithType(type_);
}

void TZExchangeViewController::gotoSign() {
  auto delegate = AppDelegate::shared();
  if (NSUserDefaults::standardUserDefaults()->objectForKey("info"_ns) && delegate && delegate->isLogin()) {
    if (auto screen = zvt::makeScreen("ThecalendarViewController"); screen && navigationController()) {
      navigationController()->pushViewController(screen, true);
    }
  } else {
    gotoLoginVC();
  }
}

void TZExchangeViewController::initTheWrongView() {
  if (!tipView_) {
    tipView_ = loadFromNib<TZNoMessageTipView>();
    if (!tipView_) return;
    const CGSize screen = portraitScreen();
    tipView_->setFrame(CGRectMake(0, 0, screen.width, screen.height - 64));
    view()->addSubview(tipView_);
    std::weak_ptr<TZExchangeViewController> weakSelf = exchangeSelf();
    tipView_->setRefreshBlock([weakSelf](const id&) {
      auto screen = weakSelf.lock();
      // The placeholder stays until a reply takes it away: a tap while a page is on its way
      // (the loading overlay is still fading in) sends nothing more.
      if (!screen || screen->isLoading()) return;
      screen->pageNumber_ = 1;
      screen->getDatasWithType(screen->type_);
    });
  }
  tipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                              NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns, false);
  view()->bringSubviewToFront(tipView_);
}

NSInteger TZExchangeViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(dataArray_->count());
}

std::shared_ptr<PointsProductTableViewCell> TZExchangeViewController::filledCell(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<PointsProductTableViewCell>(tableView->dequeueReusableCellWithIdentifier(kCellIdentifier));
  if (!cell) cell = PointsProductTableViewCell::initWithReuseIdentifier(kCellIdentifier);
  const NSInteger row = indexPath->row();
  if (dataArray_->count() > 0 && row >= 0 && static_cast<NSUInteger>(row) < dataArray_->count()) {
    auto record = std::dynamic_pointer_cast<NSDictionary>(dataArray_->objectAtIndex(static_cast<NSUInteger>(row)));
    cell->setProductDictionary(record);
    cell->initTheCellWithDataDictionary(record);
  }
  return cell;
}

std::shared_ptr<UITableViewCell> TZExchangeViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  return filledCell(tableView, indexPath);
}

CGFloat TZExchangeViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                   const std::shared_ptr<NSIndexPath>& indexPath) {
  // The height of the cell filled for the row (which starts that fill's picture task too).
  return filledCell(tableView, indexPath)->frame().size.height;
}

void TZExchangeViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                const std::shared_ptr<NSIndexPath>& indexPath) {
  tableView->deselectRowAtIndexPath(indexPath, true);
  const NSInteger row = indexPath->row();
  if (row < 0 || static_cast<NSUInteger>(row) >= dataArray_->count()) return;
  auto detail = PointsProductDetailViewController::make();
  detail->setProductType(type_);
  detail->setInfoDic(std::dynamic_pointer_cast<NSDictionary>(dataArray_->objectAtIndex(static_cast<NSUInteger>(row))));
  if (navigationController()) navigationController()->pushViewController(detail, true);
}
