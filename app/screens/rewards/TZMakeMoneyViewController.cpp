#include "app/screens/rewards/TZMakeMoneyViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/UIViewController+TZSkip.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/screens/rewards/TZWebWallViewController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/images/UIImageView+RemoteImage.h"

namespace {

using zvt::rewards::longerSide;
using zvt::rewards::shorterSide;

constexpr CGFloat kTileHeight = 170;
constexpr CGFloat kPictureSide = 70;

// The grid's flow layout: a tile alone in the last row stands on the left, under the first
// column, where the device puts it; this platform's flow layout would centre it.
class MakeMoneyLayout : public UICollectionViewFlowLayout {
 public:
  void prepareLayout() override {
    UICollectionViewFlowLayout::prepareLayout();
    auto view = collectionView();
    if (!view || view->numberOfSections() < 1) return;
    const NSInteger count = view->numberOfItemsInSection(0);
    if (count < 2) return;
    auto last = layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(count - 1, 0));
    auto before = layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(count - 2, 0));
    if (!last || !before || before->frame().origin.y == last->frame().origin.y) return;
    CGRect frame = last->frame();
    frame.origin.x = sectionInset().left;
    last->setFrame(frame);
  }
};

// A model's value as text (nil for anything else).
std::shared_ptr<NSString> textOf(const id& value) { return zvt::as<NSString>(value); }

}  // namespace

// --- TZMakeMoneyCell

void TZMakeMoneyCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  const CGFloat width = frame.size.width, height = frame.size.height;
  iconImageView_ = UIImageView::initWithFrame(CGRectMake((width - kPictureSide) / 2, 15, kPictureSide, kPictureSide));
  iconImageView_->setContentMode(UIViewContentModeScaleAspectFit);
  contentView()->addSubview(iconImageView_);

  mainTitleLabel_ = UILabel::initWithFrame(CGRectMake(10, CGRectGetMaxY(iconImageView_->frame()) + 15, width - 20, 22));
  mainTitleLabel_->setFont(UIFont::systemFontOfSize(16));
  mainTitleLabel_->setTextColor(UIColor::blackColor());
  mainTitleLabel_->setTextAlignment(NSTextAlignmentCenter);
  contentView()->addSubview(mainTitleLabel_);

  detailTtleLabel_ = UILabel::initWithFrame(CGRectMake(10, CGRectGetMaxY(mainTitleLabel_->frame()) + 8, width - 20, 18));
  detailTtleLabel_->setFont(UIFont::systemFontOfSize(12));
  detailTtleLabel_->setTextColor(UIColor::grayColor());
  detailTtleLabel_->setTextAlignment(NSTextAlignmentCenter);
  contentView()->addSubview(detailTtleLabel_);

  // A line down the right edge and one along the bottom: side by side, the tiles draw a grid.
  const auto lineColour = UIColor::groupTableViewBackgroundColor();
  auto right = UIView::initWithFrame(CGRectMake(width - 1, 0, 1, height));
  right->setBackgroundColor(lineColour);
  contentView()->addSubview(right);
  auto bottom = UIView::initWithFrame(CGRectMake(0, height - 1, width, 1));
  bottom->setBackgroundColor(lineColour);
  contentView()->addSubview(bottom);
}

void TZMakeMoneyCell::setModel(const std::shared_ptr<TZHeaderInfoModel>& model) {
  if (!model) return;
  model_ = model;
  auto address = textOf(model->pic);
  wi_setImageWithURL(iconImageView_, address ? NSURL::URLWithString(address) : nullptr);
  mainTitleLabel_->setText(textOf(model->name));
  detailTtleLabel_->setText(textOf(model->subName));
}

// --- TZMakeMoneyViewController

void TZMakeMoneyViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  zvt::rewards::hideTabbar();
  zvt::rewards::configPopItem(controllerSelf());
  setTitle("我要赚钱"_ns);
  std::weak_ptr<TZMakeMoneyViewController> weakSelf = gridSelf();
  configNavigationItemString(controllerSelf(), "Kirvo任务"_ns, UIFont::systemFontOfSize(15),
                             UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1), kNavItemRight, [weakSelf] {
                               if (auto screen = weakSelf.lock()) screen->gotoWebWall();
                             });
  createUI();
  getDatas();
}

void TZMakeMoneyViewController::createUI() {
  const CGFloat W = shorterSide();
  auto layout = std::make_shared<MakeMoneyLayout>();
  layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
  layout->setItemSize(CGSizeMake(W / 2, kTileHeight));
  layout->setSectionInset(UIEdgeInsetsMake(0, 0, 0, 0));
  layout->setMinimumInteritemSpacing(0);
  layout->setMinimumLineSpacing(0);
  makeMoneyCollectionView_ = UICollectionView::initWithFrame(CGRectMake(0, 0, W, longerSide() - 20), layout);
  makeMoneyCollectionView_->setBackgroundColor(UIColor::whiteColor());
  makeMoneyCollectionView_->setDataSource(std::static_pointer_cast<UICollectionViewDataSource>(gridSelf()));
  makeMoneyCollectionView_->setDelegate(std::static_pointer_cast<UICollectionViewDelegateFlowLayout>(gridSelf()));
  makeMoneyCollectionView_->registerClass<TZMakeMoneyCell>(NSString::stringWithUTF8String(TZMakeMoneyCell::kReuseIdentifier));
  view()->addSubview(makeMoneyCollectionView_);
}

void TZMakeMoneyViewController::getDatas() {
  showLoadingHud(controllerSelf());
  auto screen = gridSelf();
  APIClient::getMakeMoneyWithParameter(nullptr, [screen](const std::shared_ptr<NSArray>& items, const APIClient::Message& message) {
    dispatch_async(dispatch_get_main_queue(), [screen, items, message] {
      if (!message) {
        hideHud(screen);
        if (items) screen->dataArray_->addObjectsFromArray(items);
        screen->makeMoneyCollectionView_->reloadData();
      } else {
        showTipHudWithText(screen, message);
      }
    });
  });
}

void TZMakeMoneyViewController::gotoWebWall() {
  auto delegate = AppDelegate::shared();
  if (!delegate || !delegate->isLogin()) {
    gotoLoginVC();
    return;
  }
  if (auto navigation = navigationController()) navigation->pushViewController(TZWebWallViewController::make(), true);
}

void TZMakeMoneyViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::whiteBar(controllerSelf());
  StatAgent::beginLogPageView("我要赚钱页面"_ns);
}

void TZMakeMoneyViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("我要赚钱页面"_ns);
}

NSInteger TZMakeMoneyViewController::collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&, NSInteger) {
  return static_cast<NSInteger>(dataArray_->count());
}

std::shared_ptr<UICollectionViewCell> TZMakeMoneyViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<TZMakeMoneyCell>(collectionView->dequeueReusableCellWithReuseIdentifier(
      NSString::stringWithUTF8String(TZMakeMoneyCell::kReuseIdentifier), indexPath));
  const auto item = static_cast<NSUInteger>(indexPath->item());
  if (cell && item < dataArray_->count()) cell->setModel(zvt::as<TZHeaderInfoModel>(dataArray_->objectAtIndex(item)));
  return cell;
}

void TZMakeMoneyViewController::collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                                      const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto item = static_cast<NSUInteger>(indexPath->item());
  if (item >= dataArray_->count()) return;
  clickAction(controllerSelf(), zvt::as<TZHeaderInfoModel>(dataArray_->objectAtIndex(item)));
}
