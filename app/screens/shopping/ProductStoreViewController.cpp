#include "app/screens/shopping/ProductStoreViewController.h"

#include <algorithm>
#include <cmath>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/models/TZProductModel.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

using zvt::as;

namespace {

const char* const kPageName = "超精选页";

struct ScreenSides {
  CGFloat W, L;
};
ScreenSides screenSides() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return {std::min(size.width, size.height), std::max(size.width, size.height)};
}

// The sort types in the order of the sort list; there is no type 2.
const NSInteger kSortTypes[] = {0, 1, 3, 4};

// The vertical offset of the last scroll of a tab root's grid, and the one before, shared by
// every store (main thread only).
float gScrollOffset = 0;
float gPreviousScrollOffset = 0;

std::shared_ptr<TabBarController> shell() { return AppDelegate::shared()->tabBarController(); }

}  // namespace

const std::vector<const char*>& ProductStoreViewController::cidArray() {
  static const std::vector<const char*> cids = {"0", "1", "7", "11", "6", "2", "4", "5", "3", "9", "8", "12"};
  return cids;
}

const zvt::KVCClass* ProductStoreViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<ProductStoreViewController>()
                                         .property("isPush", &ProductStoreViewController::isPush,
                                                   &ProductStoreViewController::setIsPush)
                                         .property("smallSortType", &ProductStoreViewController::smallSortType,
                                                   &ProductStoreViewController::setSmallSortType)
                                         .property("bigSortType", &ProductStoreViewController::bigSortType,
                                                   &ProductStoreViewController::setBigSortType)
                                         .build();
  return &table;
}

ProductStoreViewController::ProductStoreViewController() { initData(); }

void ProductStoreViewController::initData() {
  ps_ = 12;
  indexTag_ = 0;
  pageNumberArray_.assign(12, "1"_ns);
  totalproductsArray_.clear();
  for (int i = 0; i < 12; ++i) totalproductsArray_.push_back(NSMutableArray::array());
  headerButtonTitleArray_ = {"全部"_ns, "9.9包邮"_ns, "超高回扣"_ns, "优品特卖"_ns};
  auto [W, L] = screenSides();
  lowRect_ = CGRectMake(W - W / 8 - 15, L - 15 - W / 8, W * 0.15625, W * 0.15625);
  highRect_ = lowRect_;
  highRect_.origin.y -= 49;
}

void ProductStoreViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  setAutomaticallyAdjustsScrollViewInsets(false);
  createHeaderUI();
  createUI();
  postRequest();
}

void ProductStoreViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView(NSString::stringWithUTF8String(kPageName));
  if (isPush_) {
    if (auto tabs = shell()) tabs->hiddenTabbar();
  }
}

void ProductStoreViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  if (!isPush_) {
    if (auto tabs = shell()) tabs->showTabbar();
  }
}

void ProductStoreViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
}

// --- building ---------------------------------------------------------------------------------------

void ProductStoreViewController::showSortTitle(const std::shared_ptr<NSString>& title) {
  hederButton_->setTitle(title, UIControlStateNormal);
  const CGFloat x = title->isEqualToString("全部") ? 80 : 100;
  bigSortTypeArrowImageView_->setFrame(CGRectMake(x, 16, 18, 18));
}

void ProductStoreViewController::createHeaderUI() {
  // The tab root always starts with every category and every sort.
  if (!isPush_) {
    smallSortType_ = 0;
    bigSortType_ = 0;
  }
  hederButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  hederButton_->setFrame(CGRectMake(160, 0, 120, 50));
  hederButton_->titleLabel()->setFont(UIFont::systemFontOfSize(20));
  bigSortTypeArrowImageView_ = UIImageView::initWithImage(UIImage::imageNamed("whiteBackArrow"_ns));
  hederButton_->addSubview(bigSortTypeArrowImageView_);
  showSortTitle(headerButtonTitleArray_[static_cast<size_t>(indexTag_)]);
  hederButton_->addTarget(storeSelf(), SEL(&ProductStoreViewController::openTheBigSortTypeList),
                          UIControlEventTouchUpInside);
  navigationItem()->setTitleView(hederButton_);
}

void ProductStoreViewController::createUI() {
  auto [W, L] = screenSides();
  babyProductsView_ = UIView::makeView<BabyProductsView>(CGRectMake(0, 64, W, L - 64));
  view()->addSubview(babyProductsView_);
  if (isPush_) {
    // The title of the sort type given: entries 0 and 1 for types 0 and 1, one before the type
    // for 3 and 4.
    const NSInteger index = bigSortType_ <= 1 ? bigSortType_ : bigSortType_ - 1;
    if (index >= 0 && index < 4) showSortTitle(headerButtonTitleArray_[static_cast<size_t>(index)]);
  }
  auto self = storeSelf();
  std::weak_ptr<ProductStoreViewController> weakSelf = self;
  babyProductsView_->backScrollView->setDelegate(self);
  for (NSInteger category = 0; category < 12; ++category) {
    auto grid = gridAt(category);
    grid->setDataSource(self);
    grid->setDelegate(self);
    setPr_header(grid, PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([weakSelf, category] {
                   if (auto store = weakSelf.lock()) store->headerAction(category);
                 }));
    auto footer = PRRefreshFooter::footerWithRefreshingBlock<TZPRRefreshAutoNormalFooter>([weakSelf, category] {
      if (auto store = weakSelf.lock()) store->footerAction(category);
    });
    footer->setTriggerAutomaticallyRefreshPercent(-20.0);
    footer->setHidden(true);  // until the grid's first list
    setPr_footer(grid, footer);
  }
  babyProductsView_->setMyBlock([weakSelf](const id& sender) {
    if (auto store = weakSelf.lock()) store->buttonClick(as<UIButton>(sender));
  });
  babyProductsView_->setBigViewButtonBlock([weakSelf](const std::shared_ptr<UIButton>& button) {
    if (auto store = weakSelf.lock()) store->bigButtonClick(button);
  });
  babyProductsView_->setShadowViewBlock([weakSelf](const std::shared_ptr<UITapGestureRecognizer>&) {
    auto store = weakSelf.lock();
    if (!store) return;
    store->bigSortTypeArrowImageView_->setTransform(CGAffineTransformIdentity);
    store->isSelected_ = false;
  });
  topBtn_ = UIView::makeView<TZTopButton>(lowRect_);
  topBtn_->setTopButtonBlock([weakSelf] {
    if (auto store = weakSelf.lock()) store->turnToTop();
  });
  view()->addSubview(topBtn_);
}

void ProductStoreViewController::postRequest() {
  const auto& cids = cidArray();
  for (size_t i = 0; i < cids.size(); ++i) {
    if (std::to_string(smallSortType_) != cids[i]) continue;
    indexTag_ = static_cast<NSInteger>(i);
    auto [W, L] = screenSides();
    babyProductsView_->backScrollView->setContentOffset(CGPointMake(static_cast<CGFloat>(i) * W, 0), true);
    babyProductsView_->scrollViewButtonClick(indexTag_);
    if (auto header = pr_header(gridAt(indexTag_))) header->beginRefreshing();
    return;
  }
}

// --- loading ----------------------------------------------------------------------------------------

std::shared_ptr<UICollectionView> ProductStoreViewController::gridAt(NSInteger index) const {
  if (!babyProductsView_ || index < 0 || index >= static_cast<NSInteger>(babyProductsView_->collectionArray.size())) {
    return nullptr;
  }
  return babyProductsView_->collectionArray[static_cast<size_t>(index)];
}

NSInteger ProductStoreViewController::categoryOf(const std::shared_ptr<UIScrollView>& scrollView) const {
  if (!scrollView) return -1;
  const NSInteger index = scrollView->tag() - 10000;
  return gridAt(index) == scrollView ? index : -1;
}

void ProductStoreViewController::loadProductsWithPage(int page) { loadProductsWithPage(page, indexTag_); }

void ProductStoreViewController::loadProductsWithPage(int page, NSInteger category) {
  if (category < 0 || category >= 12) return;
  auto delegate = AppDelegate::shared();
  std::shared_ptr<NSString> level;
  if (delegate->isLogin() && delegate->userInfoDictionary()) {
    id value = delegate->userInfoDictionary()->objectForKey("level"_ns);
    if (value && !std::dynamic_pointer_cast<NSNull>(value)) level = NSString::stringWithFormat("%@", value);
  }
  const int generation = sortGeneration_;
  const int serial = requests_[static_cast<size_t>(category)].sent(page);
  auto parameters = NSDictionary::dictionaryWithPairs(
      {{"userLevel"_ns, level ? level : "0"_ns},
       {"cid"_ns, NSString::stringWithUTF8String(cidArray()[static_cast<size_t>(category)])},
       {"type"_ns, NSString::stringWithFormat("%ld", static_cast<long>(bigSortType_))},
       {"number"_ns, NSString::stringWithFormat("%d", page)},
       {"ps"_ns, NSNumber::numberWithInt(ps_)}});
  auto self = storeSelf();
  APIClient::getProductsWithParameter(
      parameters, [self, category, generation, serial, page](NSInteger end, const std::shared_ptr<NSArray>& products,
                                                        const APIClient::Message& message) {
        dispatch_async(dispatch_get_main_queue(), [self, category, generation, serial, page, end, products, message] {
          // A reply asked for before the last sort change belongs to no list; a later page
          // asked for before the grid's last pull-down (success or failure) to a list that has
          // started again.
          const bool overtaken = self->requests_[static_cast<size_t>(category)].answered(serial);
          if (generation != self->sortGeneration_ || overtaken) return;
          auto grid = self->gridAt(category);
          if (message) {
            if (grid) {
              if (auto header = pr_header(grid)) header->endRefreshing();
              if (auto footer = pr_footer(grid)) footer->endRefreshing();
            }
            // The page that failed is the one the next pull-up asks for again.
            if (page >= 2) self->pageNumberArray_[static_cast<size_t>(category)] = NSString::stringWithFormat("%d", page - 1);
            // The error view and its retry belong to the category on screen; a category left
            // behind loads again when it is next chosen empty, or asks the failed page again.
            if (category == self->indexTag_) self->failureLoad();
            return;
          }
          // The list of the category that asked, whichever is selected now.
          auto list = self->totalproductsArray_[static_cast<size_t>(category)];
          if (products && products->count() > 0) {
            if (page == 1) list->removeAllObjects();
            list->addObjectsFromArray(products);
          }
          if (self->noMessageTipView_ && self->noMessageTipView_->superview()) {
            self->noMessageTipView_->removeFromSuperview();
            self->hederButton_->setUserInteractionEnabled(true);
          }
          if (!grid) return;
          grid->reloadData();
          auto footer = pr_footer(grid);
          if (footer) footer->setHidden(false);
          if (auto header = pr_header(grid)) header->endRefreshing();
          if (footer) footer->endRefreshing();
          if (end == 1 && footer) footer->endRefreshingWithNoMoreData();
        });
      });
}

void ProductStoreViewController::headerAction() { headerAction(indexTag_); }

void ProductStoreViewController::footerAction() { footerAction(indexTag_); }

void ProductStoreViewController::headerAction(NSInteger category) {
  if (category < 0 || category >= 12) return;
  pageNumberArray_[static_cast<size_t>(category)] = "1"_ns;
  loadProductsWithPage(1, category);
}

void ProductStoreViewController::footerAction(NSInteger category) {
  if (category < 0 || category >= 12) return;
  const int page = static_cast<int>(pageNumberArray_[static_cast<size_t>(category)]->integerValue()) + 1;
  pageNumberArray_[static_cast<size_t>(category)] = NSString::stringWithFormat("%d", page);
  loadProductsWithPage(page, category);
}

void ProductStoreViewController::failureLoad() {
  auto self = storeSelf();
  dispatch_async(dispatch_get_main_queue(), [self] {
    if (auto grid = self->gridAt(self->indexTag_)) {
      if (auto header = pr_header(grid)) header->endRefreshing();
      if (auto footer = pr_footer(grid)) footer->endRefreshing();
    }
    self->hederButton_->setUserInteractionEnabled(false);
    self->createErrorView();
  });
}

void ProductStoreViewController::createErrorView() {
  if (!noMessageTipView_) {
    noMessageTipView_ = loadFromNib<TZNoMessageTipView>();
    if (!noMessageTipView_) return;
    noMessageTipView_->setFrame(babyProductsView_->frame());
    std::weak_ptr<ProductStoreViewController> weakSelf = storeSelf();
    noMessageTipView_->setRefreshBlock([weakSelf](const id&) {
      auto self = weakSelf.lock();
      if (!self) return;
      showLoadingHud(self);
      self->wrongAction();
      hideHud(self);
    });
  }
  if (noMessageTipView_->superview() != view()) view()->addSubview(noMessageTipView_);
  view()->bringSubviewToFront(noMessageTipView_);
  noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                       NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns,
                                       false);
}

void ProductStoreViewController::wrongAction() {
  if (auto header = pr_header(gridAt(indexTag_))) header->beginRefreshing();
}

// --- choosing ---------------------------------------------------------------------------------------

void ProductStoreViewController::selectCategory(NSInteger index) {
  indexTag_ = index;
  auto grid = gridAt(index);
  if (!grid) return;
  if (totalproductsArray_[static_cast<size_t>(index)]->count() == 0) {
    if (auto header = pr_header(grid)) header->beginRefreshing();
  } else {
    grid->reloadData();
  }
}

void ProductStoreViewController::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  const NSInteger index = sender->tag();
  if (!gridAt(index)) return;
  smallSortType_ = std::stoi(cidArray()[static_cast<size_t>(index)]);
  auto [W, L] = screenSides();
  babyProductsView_->backScrollView->setContentOffset(CGPointMake(static_cast<CGFloat>(index) * W, 0), true);
  selectCategory(index);
}

void ProductStoreViewController::scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>& scrollView) {
  if (!babyProductsView_ || scrollView != babyProductsView_->backScrollView) return;
  auto [W, L] = screenSides();
  const CGFloat x = scrollView->contentOffset().x;
  if (x < 0 || x >= 12 * W) return;
  const auto index = static_cast<NSInteger>(x / W);
  babyProductsView_->scrollViewButtonClick(index);
  selectCategory(index);
}

void ProductStoreViewController::openTheBigSortTypeList() {
  auto switcher = babyProductsView_;
  if (!isSelected_) {
    switcher->bigButtonView->setHidden(false);
    switcher->shadowView->setHidden(false);
    switcher->listScrollView->setHidden(true);
    switcher->listView->setHidden(true);
    isSelected_ = true;
    bigSortTypeArrowImageView_->setTransform(CGAffineTransformMakeRotation(M_PI));
  } else {
    switcher->bigButtonView->setHidden(true);
    switcher->shadowView->setHidden(true);
    switcher->listScrollView->setHidden(false);
    isSelected_ = false;
    bigSortTypeArrowImageView_->setTransform(CGAffineTransformIdentity);
  }
}

void ProductStoreViewController::bigButtonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender || sender->tag() < 0 || sender->tag() > 3) return;
  isSelected_ = false;
  bigSortTypeArrowImageView_->setTransform(CGAffineTransformIdentity);
  bigSortType_ = kSortTypes[sender->tag()];
  ++sortGeneration_;
  for (auto& list : totalproductsArray_) list->removeAllObjects();
  for (auto& page : pageNumberArray_) page = "1"_ns;
  // Every grid shows its emptied list at once, so none keeps products of the old sort. Loads
  // of the old sort still on their way are dropped when they come: their grids stop waiting
  // now, and the selected one asks again even while it spins.
  for (const auto& grid : babyProductsView_->collectionArray) {
    grid->reloadData();
    if (grid == gridAt(indexTag_)) continue;
    if (auto header = pr_header(grid)) header->endRefreshing();
    if (auto footer = pr_footer(grid)) footer->endRefreshing();
  }
  if (auto grid = gridAt(indexTag_)) {
    grid->setContentOffset(CGPointZero);
    auto header = pr_header(grid);
    if (auto footer = pr_footer(grid)) footer->endRefreshing();
    if (header && header->isRefreshing()) {
      headerAction();
    } else if (header) {
      header->beginRefreshing();
    }
  }
  showSortTitle(headerButtonTitleArray_[static_cast<size_t>(sender->tag())]);
}

void ProductStoreViewController::turnToTop() {
  if (auto grid = gridAt(indexTag_)) grid->setContentOffset(CGPointZero, true);
}

void ProductStoreViewController::gotoTaoBaoWith(const id& goodsId, const id& taoBaoGoodsId) {
  auto detail = zvt::makeScreen("WebDetailViewController");
  if (!detail || !navigationController()) return;
  detail->setValueForKey(goodsId, "goodsId"_ns);
  detail->setValueForKey(taoBaoGoodsId, "taoBao_goodsId"_ns);
  detail->setValueForKey(NSNumber::numberWithBool(true), "isProductPush"_ns);
  navigationController()->pushViewController(detail, true);
}

// --- grids and pager --------------------------------------------------------------------------------

NSInteger ProductStoreViewController::collectionViewNumberOfItemsInSection(
    const std::shared_ptr<UICollectionView>& collectionView, NSInteger) {
  const NSInteger category = categoryOf(collectionView);
  return category < 0 ? 0 : static_cast<NSInteger>(totalproductsArray_[static_cast<size_t>(category)]->count());
}

std::shared_ptr<UICollectionViewCell> ProductStoreViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSInteger category = categoryOf(collectionView);
  auto list = totalproductsArray_[static_cast<size_t>(std::max<NSInteger>(category, 0))];
  const auto row = static_cast<NSUInteger>(indexPath->row());
  auto product = row < list->count() ? as<TZProductModel>(list->objectAtIndex(row)) : nullptr;
  const bool textRebate = product && std::dynamic_pointer_cast<NSString>(product->fan_string);
  auto cell = as<zvt::shopping::ProductCell>(collectionView->dequeueReusableCellWithReuseIdentifier(
      textRebate ? "TZHomeHKCell"_ns : "TZHomeCell"_ns, indexPath));
  if (cell) cell->setProductModel(product);
  return cell;
}

void ProductStoreViewController::collectionViewDidSelectItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSInteger category = categoryOf(collectionView);
  if (category < 0) return;
  auto list = totalproductsArray_[static_cast<size_t>(category)];
  const auto row = static_cast<NSUInteger>(indexPath->row());
  if (row >= list->count()) return;
  auto product = as<TZProductModel>(list->objectAtIndex(row));
  if (product) gotoTaoBaoWith(product->zvtProductID, product->iid);
}

void ProductStoreViewController::scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) {
  if (!topBtn_ || !scrollView) return;
  auto [W, L] = screenSides();
  const CGFloat y = scrollView->contentOffset().y;
  if (isPush_) {
    topBtn_->setHidden(!(y > L));
    return;
  }
  gScrollOffset = static_cast<float>(y);
  auto tabs = shell();
  if (y > L) {
    topBtn_->setHidden(false);
    auto button = topBtn_;
    if (gScrollOffset > gPreviousScrollOffset) {
      const CGRect low = lowRect_;
      UIView::animateWithDuration(0.4, [button, low] { button->setFrame(low); });
      if (tabs) tabs->hiddenTabbar();
    } else if (gScrollOffset < gPreviousScrollOffset) {
      const CGRect high = highRect_;
      UIView::animateWithDuration(0.4, [button, high] { button->setFrame(high); });
      if (tabs) tabs->showTabbar();
    }
    gPreviousScrollOffset = gScrollOffset;
  } else {
    if (tabs) tabs->showTabbar();
    topBtn_->setHidden(true);
  }
}
