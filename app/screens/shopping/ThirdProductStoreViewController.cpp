#include "app/screens/shopping/ThirdProductStoreViewController.h"

#include <algorithm>
#include <cmath>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/images/UIImageView+RemoteImage.h"

using zvt::as;
using zvt::search::screenHeight;
using zvt::search::screenWidth;
using zvt::shopping::rgb;

namespace {

const zvt::StaticString kPageName{"商城页"};
const zvt::StaticString kCellIdentifier{"cell"};
const zvt::StaticString kGuideFlag{"isFisrtGotoStore"};
constexpr CGFloat kStripHeight = 40;
constexpr NSInteger kGridTagBase = 1000;

std::shared_ptr<UIColor> titleGrey() { return rgb(102, 102, 102); }
std::shared_ptr<UIColor> mallOrange() { return rgb(255, 100, 0); }

// Element `index` of a category entry as text ("" when missing or of another kind).
std::shared_ptr<NSString> categoryText(const id& entry, NSUInteger index) {
  auto text = zvt::search::rowText(entry, index);
  return text ? text : NSString::string();
}

void styleCategoryButton(const std::shared_ptr<UIButton>& button, const id& category, NSInteger tag) {
  button->setTitle(categoryText(category, 1), UIControlStateNormal);
  button->titleLabel()->setFont(UIFont::systemFontOfSize(16));
  button->setTitleColor(titleGrey(), UIControlStateNormal);
  button->setTitleColor(mallOrange(), UIControlStateSelected);
  button->setTag(tag);
  button->setSelected(tag == 0);
}

// The category entries a "mall_type" reply's data holds: arrays of at least two elements,
// others skipped; nil when the data is not a list or holds none.
std::shared_ptr<NSArray> usableCategories(const id& data) {
  auto list = as<NSArray>(data);
  if (!list) return nullptr;
  auto kept = NSMutableArray::array();
  for (const id& entry : *list) {
    auto pair = as<NSArray>(entry);
    if (pair && pair->count() >= 2) kept->addObject(pair);
  }
  return kept->count() > 0 ? kept : nullptr;
}

}  // namespace

// --- ThirdCollectionViewCell ------------------------------------------------------------------

void ThirdCollectionViewCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  zvt::shopping::buildMallCell(std::static_pointer_cast<UICollectionViewCell>(shared_from_this()), 0.1, titleGrey(),
                               imageView_, nameLabel_);
}

void ThirdCollectionViewCell::fillCellWith(const id& record) {
  auto mall = as<NSDictionary>(record);
  auto logo = mall ? zvt::search::textOf(mall->objectForKey("img"_ns)) : nullptr;
  wi_setImageWithURL(imageView_, logo && logo->length() > 0 ? NSURL::URLWithString(logo) : nullptr,
                     UIImage::imageNamed("storeloadingimage"_ns));
  zvt::shopping::showMallRebate(nameLabel_, mall ? zvt::search::textOf(mall->objectForKey("fan"_ns)) : nullptr,
                                titleGrey());
}

// --- ThirdProductView -------------------------------------------------------------------------

void ThirdProductView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(rgb(242, 242, 242));
  scrollViewButtonArray.clear();
  collectionViewArray.clear();
}

CGFloat ThirdProductView::tabWidth() const {
  const CGFloat W = screenWidth();
  return count_ >= 4 ? (W - 40) / 3 : W / 3;
}

void ThirdProductView::createScrollViewButton(const std::shared_ptr<NSArray>& categories) {
  const CGFloat W = screenWidth();
  count_ = categories ? static_cast<NSInteger>(categories->count()) : 0;
  const CGFloat T = tabWidth();
  listScrollView = UIScrollView::initWithFrame(CGRectMake(0, 0, count_ >= 4 ? W - 40 : W, kStripHeight));
  listScrollView->setBackgroundColor(UIColor::whiteColor());
  listScrollView->setShowsHorizontalScrollIndicator(false);
  listScrollView->setShowsVerticalScrollIndicator(false);
  listScrollView->setContentSize(CGSizeMake(count_ >= 4 ? count_ * T : W, kStripHeight));
  addSubview(listScrollView);
  for (NSInteger i = 0; i < count_; ++i) {
    auto tab = UIButton::buttonWithType(UIButtonTypeCustom);
    tab->setFrame(CGRectMake(i * T, 10, T, 30));
    styleCategoryButton(tab, categories->objectAtIndex(static_cast<NSUInteger>(i)), i);
    tab->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentCenter);
    tab->addTarget(viewSelf(), SEL(&ThirdProductView::scrollButtonClick), UIControlEventTouchUpInside);
    listScrollView->addSubview(tab);
    scrollViewButtonArray.push_back(tab);
  }
  lineView = UIView::initWithFrame(CGRectMake(0, kStripHeight - 2, T, 2));
  lineView->setBackgroundColor(mallOrange());
  listScrollView->addSubview(lineView);
}

void ThirdProductView::createUIWithArray(const std::shared_ptr<NSArray>& categories) {
  const CGFloat W = screenWidth();
  const NSInteger n = categories ? static_cast<NSInteger>(categories->count()) : 0;
  const CGFloat top = CGRectGetMaxY(listScrollView ? listScrollView->frame() : CGRectZero);
  const CGFloat pageHeight = frame().size.height - top;
  backScrollView = UIScrollView::initWithFrame(CGRectMake(0, top, W, pageHeight));
  backScrollView->setBackgroundColor(rgb(242, 242, 242));
  backScrollView->setContentSize(CGSizeMake(n * W, pageHeight));
  backScrollView->setPagingEnabled(true);
  backScrollView->setShowsHorizontalScrollIndicator(false);
  backScrollView->setShowsVerticalScrollIndicator(false);
  addSubview(backScrollView);
  for (NSInteger i = 0; i < n; ++i) {
    // One layout object per grid (a layout lays out one collection view), all alike.
    auto layout = UICollectionViewFlowLayout::make();
    layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
    layout->setItemSize(CGSizeMake((W - 10) / 3, (W - 10) / 3));
    layout->setSectionInset(UIEdgeInsetsMake(3, 3, 0, 0));
    layout->setMinimumInteritemSpacing(3);
    layout->setMinimumLineSpacing(3);
    auto grid = UICollectionView::initWithFrame(CGRectMake(i * W, 0, W, pageHeight), layout);
    grid->setBackgroundColor(rgb(242, 242, 242));
    grid->setTag(kGridTagBase + i);
    grid->registerClass<ThirdCollectionViewCell>(kCellIdentifier);
    backScrollView->addSubview(grid);
    collectionViewArray.push_back(grid);
  }
  shadowView = UIView::initWithFrame(bounds());
  shadowView->setBackgroundColor(UIColor::colorWithWhite(0, 0.7));
  shadowView->setUserInteractionEnabled(true);
  shadowView->setHidden(true);
  addSubview(shadowView);
}

void ThirdProductView::createListViewButton(const std::shared_ptr<NSArray>& categories) {
  const CGFloat W = screenWidth();
  const NSInteger n = categories ? static_cast<NSInteger>(categories->count()) : 0;
  const NSInteger rows = (n + 2) / 3;
  listView = UIView::initWithFrame(CGRectMake(0, 0, W, n >= 3 ? 30 * rows + 50 : 80));
  listView->setBackgroundColor(UIColor::whiteColor());
  listView->setHidden(true);
  addSubview(listView);
  auto label = UILabel::initWithFrame(CGRectMake(5, 10, W / 2, 20));
  label->setText("切换类目"_ns);
  label->setFont(UIFont::systemFontOfSize(14));
  listView->addSubview(label);
  for (NSInteger i = 0; i < n; ++i) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake((i % 3) * W / 3, 35 + (i / 3) * 35, W / 3, 30));
    styleCategoryButton(button, categories->objectAtIndex(static_cast<NSUInteger>(i)), i);
    button->addTarget(viewSelf(), SEL(&ThirdProductView::listViewButtonClick), UIControlEventTouchUpInside);
    listView->addSubview(button);
    listViewButtonArray.push_back(button);
  }
  arrowButton = UIButton::buttonWithType(UIButtonTypeCustom);
  arrowButton->setFrame(CGRectMake(W - 40, 0, 40, kStripHeight));
  arrowButton->setBackgroundColor(UIColor::whiteColor());
  arrowButton->setImage(UIImage::imageNamed("blackBackArrow"_ns), UIControlStateNormal);
  arrowButton->addTarget(viewSelf(), SEL(&ThirdProductView::openList), UIControlEventTouchUpInside);
  addSubview(arrowButton);
}

void ThirdProductView::selectButtons(NSInteger index) {
  for (const auto& tab : scrollViewButtonArray) tab->setSelected(tab->tag() == index);
  for (const auto& button : listViewButtonArray) button->setSelected(button->tag() == index);
}

void ThirdProductView::moveToTab(NSInteger tag, bool moveStrip) {
  const CGFloat T = tabWidth();
  auto line = lineView;
  auto strip = listScrollView;
  // The chosen tab stands in the middle of the three visible ones, at the right edge when it
  // is the last and at the left when it is the first.
  const NSInteger last = static_cast<NSInteger>(scrollViewButtonArray.size()) - 1;
  const CGFloat offset = tag <= 0 ? 0 : (tag == last ? tag - 2 : tag - 1) * T;
  UIView::animateWithDuration(0.5, [line, strip, tag, T, offset, moveStrip] {
    if (line) line->setFrame(CGRectMake(tag * T, kStripHeight - 2, T, 2));
    if (moveStrip && strip) strip->setContentOffset(CGPointMake(std::max<CGFloat>(offset, 0), 0));
  });
}

void ThirdProductView::scrollButtonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  const NSInteger tag = sender->tag();
  selectButtons(tag);
  moveToTab(tag, count_ >= 4);
  backScrollView->setContentOffset(CGPointMake(screenWidth() * tag, 0), true);
  callMyBlock(sender);
}

void ThirdProductView::closeList() {
  if (shadowView) shadowView->setHidden(true);
  if (listView) listView->setHidden(true);
  if (listScrollView) listScrollView->setHidden(false);
  if (arrowButton) {
    arrowButton->setTransform(CGAffineTransformMakeRotation(2 * M_PI));
    arrowButton->setSelected(false);
  }
}

void ThirdProductView::listViewButtonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  closeList();
  const NSInteger tag = sender->tag();
  selectButtons(tag);
  moveToTab(tag, true);
  backScrollView->setContentOffset(CGPointMake(screenWidth() * tag, 0), true);
  callMyBlock(sender);
}

void ThirdProductView::openList() {
  if (!arrowButton) return;
  if (arrowButton->isSelected()) {
    closeList();
    return;
  }
  arrowButton->setTransform(CGAffineTransformMakeRotation(M_PI));
  listScrollView->setHidden(true);
  arrowButton->setSelected(true);
  listView->setHidden(false);
  shadowView->setHidden(false);
}

// --- ThirdProductStoreViewController ----------------------------------------------------------

const zvt::KVCClass* ThirdProductStoreViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<ThirdProductStoreViewController>()
                                         .property("isPush", &ThirdProductStoreViewController::isPush,
                                                   &ThirdProductStoreViewController::setIsPush)
                                         .build();
  return &table;
}

ThirdProductStoreViewController::ThirdProductStoreViewController() { initDatas(); }

void ThirdProductStoreViewController::initDatas() {
  allSortTypeArray_ = NSArray::array();
  allArray_.clear();
  loading_.clear();
  indexTag_ = 0;
  cidStr_ = NSString::string();
}

void ThirdProductStoreViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setAutomaticallyAdjustsScrollViewInsets(false);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  accessServiceType_ = 0;
  initTheHeadView();
  auto delegate = AppDelegate::shared();
  if (delegate && delegate->isConnectNetwork()) {
    loadStore();
  } else {
    initTheWrongView();
  }
  if (!NSUserDefaults::standardUserDefaults()->boolForKey(kGuideFlag)) createGui();
}

void ThirdProductStoreViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView(kPageName);
  if (isPush_) {
    if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
  }
}

void ThirdProductStoreViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  if (!isPush_) {
    if (auto shell = zvt::shellOf(controllerSelf())) shell->showTabbar();
  }
}

void ThirdProductStoreViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

// --- the bar, the placeholder and the guide -----------------------------------------------------

void ThirdProductStoreViewController::initTheHeadView() {
  const CGFloat W = screenWidth();
  auto box = UIView::initWithFrame(CGRectMake(0, 0, W * 0.9, 28));
  box->setBackgroundColor(UIColor::whiteColor());
  box->layer()->setCornerRadius(5);
  auto mirror = UIImageView::initWithFrame(CGRectMake(10, 9, 12, 12));
  mirror->setImage(UIImage::imageNamed("search"_ns));
  box->addSubview(mirror);
  const CGFloat textX = CGRectGetMaxX(mirror->frame()) + 5;
  auto prompt = UILabel::initWithFrame(CGRectMake(textX, 0, W * 0.9 - textX, 28));
  prompt->setText("搜商城名称，购物就可拿回扣"_ns);
  prompt->setFont(UIFont::systemFontOfSize(13));
  prompt->setTextColor(UIColor::grayColor());
  box->addSubview(prompt);
  box->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(storeSelf(), SEL(&ThirdProductStoreViewController::gotoSearch)));
  titleView_ = box;
  navigationItem()->setTitleView(box);

  courseButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  courseButton_->setFrame(CGRectMake(0, 0, 19, 19));
  courseButton_->setImage(UIImage::imageNamed("courseButton"_ns), UIControlStateNormal);
  courseButton_->setImage(UIImage::imageNamed("courseButtonHighlight"_ns), UIControlStateHighlighted);
  courseButton_->addTarget(storeSelf(), SEL(&ThirdProductStoreViewController::gotoCourse), UIControlEventTouchUpInside);
  navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithCustomView(courseButton_));
}

void ThirdProductStoreViewController::gotoSearch() {
  auto navigation = navigationController();
  auto screen = zvt::makeScreen("SearchViewController");
  if (!navigation || !screen) return;
  screen->setValueForKey(NSNumber::numberWithBool(true), "isStorePush"_ns);
  navigation->pushViewController(screen, true);
}

void ThirdProductStoreViewController::gotoCourse() {
  auto navigation = navigationController();
  auto screen = zvt::makeScreen("CourseViewController");
  if (!navigation || !screen) return;
  screen->setValueForKey(NSNumber::numberWithInteger(1), "selectedIndex"_ns);
  navigation->pushViewController(screen, true);
}

void ThirdProductStoreViewController::initTheWrongView() {
  if (!noMessageTipView_) {
    noMessageTipView_ = loadFromNib<TZNoMessageTipView>();
    if (!noMessageTipView_) return;
    noMessageTipView_->setFrame(CGRectMake(0, 64, screenWidth(), screenHeight() - 64));
    std::weak_ptr<ThirdProductStoreViewController> weakSelf = storeSelf();
    noMessageTipView_->setRefreshBlock([weakSelf](const id&) {
      if (auto self = weakSelf.lock()) self->refreshAction();
    });
  }
  if (noMessageTipView_->superview() != view()) view()->addSubview(noMessageTipView_);
  view()->bringSubviewToFront(noMessageTipView_);
  if (tipsView_) view()->bringSubviewToFront(tipsView_);
  noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                       NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns,
                                       false);
}

void ThirdProductStoreViewController::refreshAction() {
  showLoadingHud(controllerSelf());
  loadStore();
}

void ThirdProductStoreViewController::createGui() {
  // Stored at once: the guide shows on the first visit only, even when it is never dismissed.
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setBool(true, kGuideFlag);
  defaults->synchronize();
  const CGFloat W = screenWidth();
  tipsView_ = UIView::initWithFrame(CGRectMake(0, 0, W, W * 1136 / 640));
  tipsView_->setBackgroundColor(UIColor::colorWithWhite(0, 0.7));
  tipsView_->setUserInteractionEnabled(true);
  view()->addSubview(tipsView_);
  const CGFloat middle = tipsView_->frame().size.height / 2;
  auto text = UIImageView::initWithFrame(CGRectMake((W - 242) / 2, middle - 20 - 61, 242, 61));
  text->setImage(UIImage::imageNamed("ThirdMallGuideText"_ns));
  tipsView_->addSubview(text);
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setFrame(CGRectMake((W - 114) / 2, middle + 20, 114, 49));
  button->setBackgroundImage(UIImage::imageNamed("ThirdMallGuideBtn"_ns), UIControlStateNormal);
  button->addTarget(storeSelf(), SEL(&ThirdProductStoreViewController::cancelTheTips), UIControlEventTouchUpInside);
  tipsView_->addSubview(button);
}

void ThirdProductStoreViewController::cancelTheTips() {
  if (tipsView_) tipsView_->removeFromSuperview();
  tipsView_ = nullptr;
}

// --- loading ----------------------------------------------------------------------------------

std::shared_ptr<NSMutableArray> ThirdProductStoreViewController::mallsOf(NSInteger index) const {
  if (index < 0 || index >= static_cast<NSInteger>(allArray_.size())) return nullptr;
  return allArray_[static_cast<size_t>(index)];
}

bool ThirdProductStoreViewController::isLoading(NSInteger index) const {
  if (index < 0) return categoriesRequested_;
  return index < static_cast<NSInteger>(loading_.size()) && loading_[static_cast<size_t>(index)];
}

void ThirdProductStoreViewController::loadStore() {
  // The categories, or the selected category's malls; the index goes with the request so that
  // the reply lands where it was asked for.
  const NSInteger category = accessServiceType_ == 0 ? -1 : indexTag_;
  if (category >= 0 && (!cidStr_ || !mallsOf(category))) {
    hideHud(controllerSelf());
    return;
  }
  // One request per list at a time: the reply of the running one fills it.
  if (isLoading(category)) return;
  if (category < 0) {
    categoriesRequested_ = true;
  } else {
    loading_[static_cast<size_t>(category)] = true;
  }
  auto self = storeSelf();
  auto failed = [self, category] {
    hideHud(self);
    if (category < 0) {
      self->categoriesFailed();
    } else {
      self->loading_[static_cast<size_t>(category)] = false;
    }
  };
  APIClient::POST("api/client.php?m=get_time"_ns, NSDictionary::make({{"code"_ns, zvt::timeRequestCode()}}),
                  [self, category, failed](bool success, const id& reply, const std::shared_ptr<NSError>&) {
                    id time = success && zvt::replyCode(reply) == 101 ? zvt::replyValue(reply, "time") : nullptr;
                    if (!zvt::isUsableTime(time)) {
                      failed();
                      return;
                    }
                    self->requestAfterTime(time, category);
                  });
}

void ThirdProductStoreViewController::requestAfterTime(const id& time, NSInteger category) {
  auto self = storeSelf();
  auto fields = NSMutableDictionary::dictionary();
  fields->setObject(zvt::signatureForTime(time), "code"_ns);
  fields->setObject(time, "time"_ns);
  std::shared_ptr<NSString> path = "api/client.php?m=mall_type"_ns;
  if (category >= 0) {
    fields->setObject(categoryText(allSortTypeArray_->objectAtIndex(static_cast<NSUInteger>(category)), 0), "cid"_ns);
    path = "api/client.php?m=mall"_ns;
  }
  APIClient::POST(path, fields, [self, category](bool success, const id& reply, const std::shared_ptr<NSError>&) {
    // The completion runs on the main queue.
    const bool answered = success && zvt::replyCode(reply) == 101;
    id data = answered ? zvt::replyValue(reply, "data") : nullptr;
    hideHud(self);
    if (category < 0) {
      if (answered) {
        self->categoriesArrived(data);
      } else {
        self->categoriesFailed();
      }
      return;
    }
    self->loading_[static_cast<size_t>(category)] = false;
    if (answered) self->mallsArrived(category, data);
  });
}

void ThirdProductStoreViewController::categoriesArrived(const id& data) {
  categoriesRequested_ = false;
  auto categories = usableCategories(data);
  // An empty or unusable list is a failed load: there is nothing to select.
  if (!categories) {
    categoriesFailed();
    return;
  }
  allSortTypeArray_ = categories;
  cidStr_ = categoryText(categories->objectAtIndex(0), 0);
  createUI();
}

void ThirdProductStoreViewController::categoriesFailed() {
  categoriesRequested_ = false;
  initTheWrongView();
}

void ThirdProductStoreViewController::mallsArrived(NSInteger category, const id& data) {
  auto list = mallsOf(category);
  auto records = as<NSArray>(data);
  if (!list || !records) return;
  // One reply is the whole category: it replaces what the list held.
  list->removeAllObjects();
  for (const id& record : *records) {
    if (as<NSDictionary>(record)) list->addObject(record);
  }
  if (auto grid = gridAt(category)) grid->reloadData();
}

void ThirdProductStoreViewController::createUI() {
  if (thirdProductView_) return;  // built once, with the first categories
  if (noMessageTipView_) {
    noMessageTipView_->removeFromSuperview();
    noMessageTipView_ = nullptr;
  }
  const NSUInteger n = allSortTypeArray_->count();
  allArray_.clear();
  for (NSUInteger i = 0; i < n; ++i) allArray_.push_back(NSMutableArray::array());
  loading_.assign(n, false);
  thirdProductView_ = UIView::makeView<ThirdProductView>(CGRectMake(0, 64, screenWidth(), screenHeight() - 64));
  view()->addSubview(thirdProductView_);
  thirdProductView_->createScrollViewButton(allSortTypeArray_);
  thirdProductView_->createUIWithArray(allSortTypeArray_);
  if (n > 3) thirdProductView_->createListViewButton(allSortTypeArray_);

  auto self = storeSelf();
  for (const auto& grid : thirdProductView_->collectionViewArray) {
    grid->setDataSource(self);
    grid->setDelegate(self);
  }
  thirdProductView_->backScrollView->setDelegate(self);
  std::weak_ptr<ThirdProductStoreViewController> weakSelf = self;
  thirdProductView_->setMyBlock([weakSelf](const id& sender) {
    if (auto store = weakSelf.lock()) store->buttonClick(as<UIButton>(sender));
  });
  thirdProductView_->shadowView->addGestureRecognizer(
      UITapGestureRecognizer::initWithTarget(self, SEL(&ThirdProductStoreViewController::shadowViewClick)));
  if (tipsView_) view()->bringSubviewToFront(tipsView_);

  accessServiceType_ = 1;
  showLoadingHud(controllerSelf());
  loadStore();
}

// --- choosing ---------------------------------------------------------------------------------

std::shared_ptr<UICollectionView> ThirdProductStoreViewController::gridAt(NSInteger index) const {
  if (!thirdProductView_ || index < 0 || index >= static_cast<NSInteger>(thirdProductView_->collectionViewArray.size()))
    return nullptr;
  return thirdProductView_->collectionViewArray[static_cast<size_t>(index)];
}

NSInteger ThirdProductStoreViewController::categoryOf(const std::shared_ptr<UIScrollView>& scrollView) const {
  if (!scrollView) return -1;
  const NSInteger index = scrollView->tag() - kGridTagBase;
  return gridAt(index) == scrollView ? index : -1;
}

void ThirdProductStoreViewController::selectCategory(NSInteger index) {
  auto list = mallsOf(index);
  if (!list) return;
  indexTag_ = index;
  cidStr_ = categoryText(allSortTypeArray_->objectAtIndex(static_cast<NSUInteger>(index)), 0);
  accessServiceType_ = 1;
  if (list->count() == 0) {
    // A category on its way shows its own overlay already.
    if (isLoading(index)) return;
    showLoadingHud(controllerSelf());
    loadStore();
  } else if (auto grid = gridAt(index)) {
    grid->reloadData();
  }
}

void ThirdProductStoreViewController::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (sender) selectCategory(sender->tag());
}

void ThirdProductStoreViewController::shadowViewClick() {
  if (thirdProductView_) thirdProductView_->closeList();
}

void ThirdProductStoreViewController::scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>& scrollView) {
  accessServiceType_ = 1;
  if (!thirdProductView_ || scrollView != thirdProductView_->backScrollView) return;
  const CGFloat W = screenWidth();
  const auto n = static_cast<NSInteger>(allArray_.size());
  const CGFloat x = scrollView->contentOffset().x;
  if (x < 0 || x >= W * n) return;
  const auto page = static_cast<NSInteger>(x / W);
  selectCategory(page);
  thirdProductView_->selectButtons(page);
  // The underline follows; the strip itself stays where it is.
  const CGFloat T = thirdProductView_->tabWidth();
  auto line = thirdProductView_->lineView;
  UIView::animateWithDuration(0.5, [line, page, T] { line->setFrame(CGRectMake(page * T, kStripHeight - 2, T, 2)); });
}

void ThirdProductStoreViewController::scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) {
  // Pushed, the tab bar stays hidden whatever scrolls.
  if (isPush_ || !scrollView) return;
  auto shell = zvt::shellOf(controllerSelf());
  if (!shell) return;
  if (scrollView->contentOffset().y > 10) {
    shell->hiddenTabbar();
  } else {
    shell->showTabbar();
  }
}

// --- grids ------------------------------------------------------------------------------------

NSInteger ThirdProductStoreViewController::collectionViewNumberOfItemsInSection(
    const std::shared_ptr<UICollectionView>& collectionView, NSInteger) {
  auto list = mallsOf(categoryOf(collectionView));
  return list ? static_cast<NSInteger>(list->count()) : 0;
}

std::shared_ptr<UICollectionViewCell> ThirdProductStoreViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<ThirdCollectionViewCell>(
      collectionView->dequeueReusableCellWithReuseIdentifier(kCellIdentifier, indexPath));
  auto list = mallsOf(categoryOf(collectionView));
  const auto row = static_cast<NSUInteger>(indexPath->row());
  if (cell && list && row < list->count()) cell->fillCellWith(list->objectAtIndex(row));
  return cell;
}

void ThirdProductStoreViewController::collectionViewDidSelectItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSInteger category = categoryOf(collectionView);
  auto list = mallsOf(category);
  const auto row = static_cast<NSUInteger>(indexPath->row());
  if (!list || row >= list->count()) return;
  indexTag_ = category;
  selectIndex_ = static_cast<NSInteger>(row);
  goToTheThirdPartyStore();
}

void ThirdProductStoreViewController::goToTheThirdPartyStore() {
  auto list = mallsOf(indexTag_);
  if (!list || selectIndex_ < 0 || static_cast<NSUInteger>(selectIndex_) >= list->count()) return;
  auto mall = as<NSDictionary>(list->objectAtIndex(static_cast<NSUInteger>(selectIndex_)));
  if (!mall) return;
  zvt::search::pushMallPage(controllerSelf(), zvt::search::textOrEmpty(mall->objectForKey("id"_ns)),
                            zvt::search::textOrEmpty(mall->objectForKey("title"_ns)));
}
