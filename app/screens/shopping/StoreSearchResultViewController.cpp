#include "app/screens/shopping/StoreSearchResultViewController.h"

#include "analytics/StatAgent.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/images/UIImageView+RemoteImage.h"

using zvt::as;

using zvt::search::rowText;
using zvt::search::screenHeight;
using zvt::search::screenWidth;
using zvt::shopping::rgb;

// --- StoreCollectionViewCell ------------------------------------------------------------------

void StoreCollectionViewCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  zvt::shopping::buildMallCell(std::static_pointer_cast<UICollectionViewCell>(shared_from_this()), 0.2,
                               UIColor::lightGrayColor(), imageView_, nameLabel_);
}

void StoreCollectionViewCell::fillCellWith(const id& entry) {
  auto logo = rowText(entry, 2);
  wi_setImageWithURL(imageView_, logo && logo->length() > 0 ? NSURL::URLWithString(logo) : nullptr,
                     UIImage::imageNamed("storeloadingimage"_ns));
  zvt::shopping::showMallRebate(nameLabel_, rowText(entry, 3), UIColor::lightGrayColor());
}

// --- SearchStoreResultView --------------------------------------------------------------------

void SearchStoreResultView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  createUI();
}

void SearchStoreResultView::createUI() {
  const CGFloat W = screenWidth();
  auto layout = UICollectionViewFlowLayout::make();
  layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
  layout->setItemSize(CGSizeMake((W - 10) / 3, (W - 10) / 3));
  layout->setSectionInset(UIEdgeInsetsMake(3, 3, 0, 0));
  layout->setMinimumInteritemSpacing(3);
  layout->setMinimumLineSpacing(3);
  searchCollectionView_ = UICollectionView::initWithFrame(bounds(), layout);
  searchCollectionView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  searchCollectionView_->setBackgroundColor(rgb(234, 234, 234));
  searchCollectionView_->registerClass<StoreCollectionViewCell>("cell"_ns);
  addSubview(searchCollectionView_);
}

// --- StoreSearchResultViewController ----------------------------------------------------------

void StoreSearchResultViewController::setStoreArray(const std::shared_ptr<NSArray>& array) {
  if (!array) {
    storeArray_ = nullptr;
    return;
  }
  auto kept = NSMutableArray::array();
  for (NSUInteger i = 0; i < array->count(); ++i)
    if (as<NSArray>(array->objectAtIndex(i))) kept->addObject(array->objectAtIndex(i));
  storeArray_ = kept;
}

id StoreSearchResultViewController::valueForKey(const std::shared_ptr<NSString>& key) const {
  if (key && key->isEqualToString("storeArray")) return storeArray_;
  return ParentsViewController::valueForKey(key);
}

void StoreSearchResultViewController::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  if (key && key->isEqualToString("storeArray")) {
    setStoreArray(as<NSArray>(value));
  } else {
    ParentsViewController::setValueForKey(value, key);
  }
}

void StoreSearchResultViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("搜索结果"_ns);
  setAutomaticallyAdjustsScrollViewInsets(false);
  const CGFloat W = screenWidth(), H = screenHeight();
  searchStoreResultView_ = UIView::makeView<SearchStoreResultView>(CGRectMake(0, 64, W, H - 64));
  auto self = std::static_pointer_cast<StoreSearchResultViewController>(controllerSelf());
  searchStoreResultView_->searchCollectionView()->setDelegate(std::static_pointer_cast<UICollectionViewDelegate>(self));
  searchStoreResultView_->searchCollectionView()->setDataSource(std::static_pointer_cast<UICollectionViewDataSource>(self));
  view()->addSubview(searchStoreResultView_);
  tipLabel_ = UILabel::initWithFrame(CGRectMake(10, 74, W - 20, 30));
  tipLabel_->setText("暂未搜到该商城，去逛逛其它商城吧"_ns);
  tipLabel_->setTextColor(UIColor::grayColor());
  tipLabel_->setTextAlignment(NSTextAlignmentCenter);
  view()->addSubview(tipLabel_);
  const bool empty = !storeArray_ || storeArray_->count() == 0;
  tipLabel_->setHidden(!empty);
  searchStoreResultView_->setHidden(empty);
}

void StoreSearchResultViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  StatAgent::beginLogPageView("商城搜索结果页"_ns);
  if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
}

void StoreSearchResultViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("商城搜索结果页"_ns);
}

void StoreSearchResultViewController::goToTheThirdPartyStore(NSInteger index) {
  if (!storeArray_ || index < 0 || static_cast<NSUInteger>(index) >= storeArray_->count()) return;
  selectIndex_ = index;
  id entry = storeArray_->objectAtIndex(static_cast<NSUInteger>(index));
  zvt::search::pushMallPage(controllerSelf(), rowText(entry, 1), rowText(entry, 0));
}

void StoreSearchResultViewController::dismissController() {
  if (presentingViewController()) dismissViewControllerAnimated(true, nullptr);
}

NSInteger StoreSearchResultViewController::collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&,
                                                                                NSInteger) {
  return storeArray_ ? static_cast<NSInteger>(storeArray_->count()) : 0;
}

std::shared_ptr<UICollectionViewCell> StoreSearchResultViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<StoreCollectionViewCell>(
      collectionView->dequeueReusableCellWithReuseIdentifier("cell"_ns, indexPath));
  const NSUInteger row = static_cast<NSUInteger>(indexPath->row());
  if (cell && storeArray_ && row < storeArray_->count()) cell->fillCellWith(storeArray_->objectAtIndex(row));
  return cell;
}

void StoreSearchResultViewController::collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                                             const std::shared_ptr<NSIndexPath>& indexPath) {
  goToTheThirdPartyStore(indexPath->row());
}
