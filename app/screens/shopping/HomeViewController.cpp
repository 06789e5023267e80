#include "app/screens/shopping/HomeViewController.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/UIViewController+TZSkip.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "app/storage/TZDBManager.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

using zvt::as;

namespace {

const char* const kPageName = "首页";

struct ScreenSides {
  CGFloat W, H;
};
ScreenSides screenSides() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return {std::min(size.width, size.height), std::max(size.width, size.height)};
}

// The five header lists: the configuration's key, which is also the cache table's suffix after "_".
const char* const kHeaderLists[] = {"banner", "nav", "middleBanner", "blockBanner", "fixedBanner"};

// A value of the reply that is a list with items, else nil (a null or a number counts as absent).
std::shared_ptr<NSArray> nonEmptyList(const std::shared_ptr<NSDictionary>& reply, const char* key) {
  auto list = as<NSArray>(reply->objectForKey(NSString::stringWithUTF8String(key)));
  return list && list->count() > 0 ? list : nullptr;
}

// A value that is present and not null, as text ("%@"); nil otherwise.
std::shared_ptr<NSString> textOf(const id& value) {
  if (!value || std::dynamic_pointer_cast<NSNull>(value)) return nullptr;
  return NSString::stringWithFormat("%@", value);
}

bool isText(const id& value) { return std::dynamic_pointer_cast<NSString>(value) != nullptr; }

// Today at 00:00 (local): today's "yyyy-MM-dd" read back as a date.
std::shared_ptr<NSDate> startOfToday() {
  auto formatter = NSDateFormatter::make();
  formatter->setDateFormat("yyyy-MM-dd"_ns);
  return formatter->dateFromString(formatter->stringFromDate(NSDate::date()));
}

}  // namespace

HomeViewController::HomeViewController() { initDatas(); }

void HomeViewController::initDatas() {
  enterNum_ = 1;
  pageNumber_ = 1;
  ps_ = 12;
  headerH_ = NSUserDefaults::standardUserDefaults()->floatForKey("HomeHeaderH"_ns);
  totalProductArray_ = NSMutableArray::array();
}

void HomeViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  configDefaultNavigationBarStyle(controllerSelf());
  configNavigationbar();
  createUI();
  loadConfig();
  showLoadingHud(controllerSelf());
  loadProducts();
  createTopBtn();
}

void HomeViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView(NSString::stringWithUTF8String(kPageName));
}

void HomeViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  auto delegate = AppDelegate::shared();
  if (auto shell = delegate->tabBarController()) shell->showTabbar();
  // The advert: on the second appearance of a run, at most once a day (none closed today).
  if (enterNum_ != 2) return;
  const bool shownToday = NSUserDefaults::standardUserDefaults()->objectForKey("ADShowTime"_ns) && compareDate() != -1;
  auto goods = delegate->goodAds();
  if (!shownToday && goods && zvt::shopping::integerValueOf(goods->objectForKey("is_Show"_ns)) == 1) adShowWithGoods(goods);
}

void HomeViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
  if (enterNum_ <= 2) ++enterNum_;
}

// --- building ---------------------------------------------------------------------------------------

void HomeViewController::configNavigationbar() {
  auto [W, H] = screenSides();
  searchBar_ = UISearchBar::initWithFrame(CGRectMake(0, 0, W, 30));
  searchBar_->setDelegate(homeSelf());
  searchBar_->setClipsToBounds(true);
  searchBar_->setBackgroundImage(ZVTPublicTools::imageWithColor(UIColor::clearColor()));
  searchBar_->setImage(UIImage::imageNamed("zvt_Search"_ns), UISearchBarIconSearch, UIControlStateNormal);
  searchBar_->setPlaceholder("输入商品关键词"_ns);
  searchBar_->setTintColor(zvt::shopping::rgb(105, 209, 246));
  searchBar_->layer()->setBorderColor(UIColor::clearColor()->CGColor());
  navigationItem()->setTitleView(searchBar_);
  std::weak_ptr<HomeViewController> weakSelf = homeSelf();
  configNavigationRightItemWith(controllerSelf(), UIImage::imageNamed("userSignIn"_ns), [weakSelf] {
    if (auto self = weakSelf.lock()) self->gotoSignIn();
  });
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("zvt_logo"_ns), nullptr);
}

void HomeViewController::createUI() {
  auto [W, H] = screenSides();
  homePageView_ = UIView::makeView<HomePageView>(CGRectMake(0, 0, W, H));
  auto grid = homePageView_->homePageCollectionView;
  grid->setDataSource(homeSelf());
  grid->setDelegate(homeSelf());
  grid->setShowsHorizontalScrollIndicator(false);
  // The grid lies under the bar and above the tab bar: its content starts below the one and
  // ends above the other (the pull-to-refresh controls take these insets as they attach).
  grid->setContentInset(UIEdgeInsetsMake(64, 0, 49, 0));
  grid->setContentOffset(CGPointMake(0, -64));
  view()->addSubview(homePageView_);
  grid->reloadData();

  std::weak_ptr<HomeViewController> weakSelf = homeSelf();
  setPr_header(grid, PRRefreshHeader::headerWithRefreshingBlock<TZPRRefreshGifHeader>([weakSelf] {
                 if (auto self = weakSelf.lock()) self->headerAction();
               }));
  auto footer = PRRefreshFooter::footerWithRefreshingBlock<TZPRRefreshAutoNormalFooter>([weakSelf] {
    if (auto self = weakSelf.lock()) self->footerAction();
  });
  footer->setTriggerAutomaticallyRefreshPercent(-20.0);
  setPr_footer(grid, footer);

  if (auto guide = homePageView_->guideScrollView) {
    homePageView_->setMyBlock([weakSelf](const id&) {
      if (auto self = weakSelf.lock()) self->firstpressed();
    });
    // Over the tab bar too.
    if (auto shell = tabBarController()) shell->view()->addSubview(guide);
  }
}

void HomeViewController::createTopBtn() {
  auto [W, H] = screenSides();
  topBtn_ = UIView::makeView<TZTopButton>(CGRectMake(W - W / 8 - 15, H - W / 8 - 15 - 49, W * 0.15625, W * 0.15625));
  std::weak_ptr<HomeViewController> weakSelf = homeSelf();
  topBtn_->setTopButtonBlock([weakSelf] {
    if (auto self = weakSelf.lock()) self->turnToTop();
  });
  view()->addSubview(topBtn_);
}

// --- loading ----------------------------------------------------------------------------------------

void HomeViewController::loadConfig() {
  auto self = homeSelf();
  APIClient::GET("api/client.php?m=get_ios_config"_ns, nullptr,
                 [self](bool success, const id& result, const std::shared_ptr<NSError>&) {
                   auto reply = as<NSDictionary>(result);
                   dispatch_async(dispatch_get_main_queue(), [self, success, reply] {
                     if (success && reply) self->applyConfig(reply);
                   });
                 });
}

void HomeViewController::applyConfig(const std::shared_ptr<NSDictionary>& reply) {
  auto lists = NSMutableDictionary::dictionary();
  auto manager = TZDBManager::sharedInstance();
  for (const char* key : kHeaderLists) {
    auto list = nonEmptyList(reply, key);
    if (!list) continue;  // the cached list stays as it was
    auto items = NSMutableArray::array();
    for (NSUInteger i = 0; i < list->count(); ++i) {
      auto record = as<NSDictionary>(list->objectAtIndex(i));
      if (!record) continue;
      auto item = std::make_shared<TZHeaderInfoModel>();
      item->setValuesForKeysWithDictionary(record);
      items->addObject(item);
    }
    // One transaction, one row per item: items sharing a link are all kept.
    manager->replaceList(std::make_shared<TZHeaderInfoModel>(), NSString::stringWithFormat("_%s", key), items);
    if (items->count() > 0) lists->setObject(items, NSString::stringWithUTF8String(key));
  }
  if (headerView_) headerView_->updateUIWithDictionary(lists);
  homePageView_->homePageCollectionView->reloadData();

  auto delegate = AppDelegate::shared();
  if (auto signPage = as<NSArray>(reply->objectForKey("signPage"_ns)); signPage && signPage->count() > 0) {
    if (auto first = as<NSDictionary>(signPage->objectAtIndex(0))) delegate->setSignPageDic(first);
  }
  auto binding = textOf(reply->objectForKey("isShowBinding"_ns));
  delegate->setIsShowBinding(binding && binding->isEqualToString("1"));
  delegate->setBindingText(as<NSString>(reply->objectForKey("bindingText"_ns)));
  // A missing method leaves the one known (never the text "(null)").
  if (auto method = textOf(reply->objectForKey("regMethod"_ns))) delegate->setRegMethod(method);
  delegate->setGoodAds(as<NSDictionary>(reply->objectForKey("goodAds"_ns)));
  delegate->setEvaluateDic(as<NSDictionary>(reply->objectForKey("iosTip"_ns)));
}

void HomeViewController::loadProducts() {
  auto delegate = AppDelegate::shared();
  std::shared_ptr<NSString> level;
  if (delegate->isLogin() && delegate->userInfoDictionary()) level = textOf(delegate->userInfoDictionary()->objectForKey("level"_ns));
  const int page = pageNumber_;
  const int generation = refreshGeneration_;
  auto parameters = NSDictionary::dictionaryWithPairs({{"userLevel"_ns, level ? level : "0"_ns},
                                                       {"type"_ns, "3"_ns},
                                                       {"cid"_ns, "0"_ns},
                                                       {"number"_ns, NSString::stringWithFormat("%d", page)},
                                                       {"ps"_ns, NSString::stringWithFormat("%d", ps_)}});
  auto self = homeSelf();
  APIClient::getProductsWithParameter(
      parameters, [self, page, generation](NSInteger end, const std::shared_ptr<NSArray>& products,
                                           const APIClient::Message& message) {
        dispatch_async(dispatch_get_main_queue(), [self, page, generation, end, products, message] {
          // A later page overtaken by a pull-down would land after the new first page.
          if (generation != self->refreshGeneration_) return;
          if (page == 1) self->firstPageOnItsWay_ = false;
          hideHud(self);
          if (message) {
            self->failureLoad();
            return;
          }
          auto grid = self->homePageView_->homePageCollectionView;
          if (products && products->count() > 0) {
            // The page this reply answers decides, not a page asked for since.
            if (page == 1) self->totalProductArray_->removeAllObjects();
            self->totalProductArray_->addObjectsFromArray(products);
          }
          // Any successful reply takes the placeholder away and ends both refreshes, also one
          // without products (which would otherwise spin on).
          if (self->noMessageTipView_) {
            self->noMessageTipView_->removeFromSuperview();
            self->noMessageTipView_ = nullptr;
          }
          grid->reloadData();
          if (auto footer = pr_footer(grid)) footer->endRefreshing();
          if (auto header = pr_header(grid)) header->endRefreshing();
          if (end == 1) {
            if (auto footer = pr_footer(grid)) footer->endRefreshingWithNoMoreData();
          }
        });
      });
}

void HomeViewController::headerAction() {
  ++refreshGeneration_;
  firstPageOnItsWay_ = true;
  pageNumber_ = 1;
  loadConfig();
  loadProducts();
}

void HomeViewController::footerAction() {
  ++pageNumber_;
  loadProducts();
}

void HomeViewController::failureLoad() {
  auto self = homeSelf();
  dispatch_async(dispatch_get_main_queue(), [self] {
    hideHud(self);
    if (self->pageNumber_ >= 2) --self->pageNumber_;
    auto grid = self->homePageView_->homePageCollectionView;
    if (auto footer = pr_footer(grid)) footer->endRefreshing();
    if (auto header = pr_header(grid)) header->endRefreshing();
    self->initErrorView();
  });
}

void HomeViewController::initErrorView() {
  auto [W, H] = screenSides();
  if (!noMessageTipView_) {
    noMessageTipView_ = loadFromNib<TZNoMessageTipView>();
    if (!noMessageTipView_) return;
    noMessageTipView_->setFrame(CGRectMake(0, 64, W, H - 64));
    std::weak_ptr<HomeViewController> weakSelf = homeSelf();
    noMessageTipView_->setRefreshBlock([weakSelf](const id&) {
      auto self = weakSelf.lock();
      // The placeholder stays until products come: a tap while its reload is on its way sends
      // nothing more.
      if (!self || self->firstPageOnItsWay_) return;
      showLoadingHud(self);
      self->headerAction();
      hideHud(self);
    });
    view()->addSubview(noMessageTipView_);
    view()->bringSubviewToFront(noMessageTipView_);
  }
  noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                       NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns,
                                       false);
}

// --- actions ----------------------------------------------------------------------------------------

void HomeViewController::turnToTop() {
  homePageView_->homePageCollectionView->setContentOffset(CGPointMake(0, -64), true);
}

void HomeViewController::gotoSearch() {
  configNavigationBackItemWithTitle(controllerSelf(), nullptr, nullptr);
  auto search = zvt::makeScreen("SearchViewController");
  if (!search || !navigationController()) return;
  search->setValueForKey(NSNumber::numberWithBool(true), "isSearchPush"_ns);
  navigationController()->pushViewController(search, true);
}

void HomeViewController::gotoSignIn() {
  if (!AppDelegate::shared()->isLogin()) {
    gotoLoginVC();
    return;
  }
  auto calendar = zvt::makeScreen("ThecalendarViewController");
  if (calendar && navigationController()) navigationController()->pushViewController(calendar, true);
}

void HomeViewController::openProduct(const std::shared_ptr<TZProductModel>& model) {
  auto detail = zvt::makeScreen("WebDetailViewController");
  if (!model || !detail || !navigationController()) return;
  detail->setValueForKey(model->zvtProductID, "goodsId"_ns);
  detail->setValueForKey(model->iid, "taoBao_goodsId"_ns);
  detail->setValueForKey(NSNumber::numberWithBool(true), "isProductPush"_ns);
  navigationController()->pushViewController(detail, true);
}

void HomeViewController::goToDetailView(const std::shared_ptr<TZProductModel>& model) { openProduct(model); }

void HomeViewController::gotoTheTaobaoDetailViewWithModel(const std::shared_ptr<TZProductModel>& model) {
  openProduct(model);
}

void HomeViewController::firstpressed() {
  auto guide = homePageView_ ? homePageView_->guideScrollView : nullptr;
  if (!guide) return;
  auto [W, H] = screenSides();
  std::weak_ptr<HomeViewController> weakSelf = homeSelf();
  UIView::animateWithDuration(
      0.5, [guide, W = W, H = H] { guide->setFrame(CGRectMake(-W, 0, W, H)); },
      [weakSelf, guide](bool) {
        guide->removeFromSuperview();
        if (auto self = weakSelf.lock()) self->homePageView_->guideScrollView = nullptr;
        auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setBool(true, "isBeforeEnter"_ns);
        defaults->synchronize();
      });
}

void HomeViewController::adShowWithGoods(const std::shared_ptr<NSDictionary>& goods) {
  auto advert = loadFromNib<TZSingleProductView>();
  if (!advert || !goods) return;
  advert->setIsSaveTime(true);
  advert->setProductDic(goods);
  advert->showSingleProductWithCurrentVC(tabBarController(), nullptr);
  auto model = std::make_shared<TZProductModel>();
  model->setValuesForKeysWithDictionary(goods);
  std::weak_ptr<HomeViewController> weakSelf = homeSelf();
  advert->setMyBlock([weakSelf, model](const id&) {
    if (auto self = weakSelf.lock()) self->gotoTheTaobaoDetailViewWithModel(model);
  });
}

int HomeViewController::compareDate() const {
  auto stored = as<NSDate>(NSUserDefaults::standardUserDefaults()->objectForKey("ADShowTime"_ns));
  auto today = startOfToday();
  if (!stored || !today) return 0;
  switch (stored->compare(today)) {
    case NSOrderedDescending: return 1;
    case NSOrderedAscending: return -1;
    default: return 0;
  }
}

// --- grid -------------------------------------------------------------------------------------------

NSInteger HomeViewController::collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&, NSInteger) {
  return static_cast<NSInteger>(totalProductArray_->count());
}

std::shared_ptr<UICollectionViewCell> HomeViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto product = as<TZProductModel>(totalProductArray_->objectAtIndex(static_cast<NSUInteger>(indexPath->row())));
  const bool textRebate = product && isText(product->fan_string);
  auto identifier = textRebate ? "TZHomeHKCell"_ns : "TZHomeCell"_ns;
  auto cell = as<zvt::shopping::ProductCell>(collectionView->dequeueReusableCellWithReuseIdentifier(identifier, indexPath));
  if (!cell) {
    if (textRebate) {
      cell = UIView::makeView<TZHomeHKCell>(CGRectZero);
    } else {
      cell = UIView::makeView<TZHomeCell>(CGRectZero);
    }
  }
  cell->setProductModel(product);
  return cell;
}

std::shared_ptr<UICollectionReusableView> HomeViewController::collectionViewViewForSupplementaryElementOfKind(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSString>& kind,
    const std::shared_ptr<NSIndexPath>& indexPath) {
  if (!kind || !kind->isEqualToString(UICollectionElementKindSectionHeader)) return nullptr;
  auto header = as<HeadReusableView>(
      collectionView->dequeueReusableSupplementaryViewOfKind(kind, "HeadIdentifier"_ns, indexPath));
  if (!header) return nullptr;
  headerView_ = header;
  auto self = homeSelf();
  header->adRollDelegate = self;
  header->smallClassDelegate = self;
  header->bigClassDelegate = self;
  header->activityDelegate = self;
  header->smallActivityDelegate = self;
  if (header->adRollView) header->adRollView->setOrvakAdDelegate(self);
  if (header->smallClassView) header->smallClassView->smallClassViewDelegate = self;
  if (header->bigClassView) header->bigClassView->bigClassViewDelegate = self;
  if (header->activityView) header->activityView->activityViewDelegate = self;
  if (header->smallActivityView) header->smallActivityView->smallActivityViewDelegate = self;
  auto roll = header->adRollView;
  if (roll && roll->superview() && roll->pics() && roll->pics()->count() > 0) {
    auto [W, H] = screenSides();
    if (!pageControl_) {
      pageControl_ = UIPageControl::initWithFrame(CGRectMake(W / 2 - 100, roll->frame().size.height - 15, 200, 10));
      pageControl_->setCurrentPage(0);
      pageControl_->setPageIndicatorTintColor(UIColor::blackColor());
      header->addSubview(pageControl_);
    }
    pageControl_->setNumberOfPages(static_cast<NSInteger>(roll->pics()->count()) - 2);
    // A rebuilt header that was not the one holding the dots takes them.
    if (pageControl_->superview() != header) header->addSubview(pageControl_);
    pageControl_->setHidden(false);
  } else if (pageControl_) {
    pageControl_->setHidden(true);
  }
  if (pageControl_) header->bringSubviewToFront(pageControl_);
  return header;
}

CGSize HomeViewController::collectionViewLayoutReferenceSizeForHeaderInSection(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>&, NSInteger) {
  auto [W, H] = screenSides();
  // The height remembered from the last run holds the slot until the header has been built; from
  // then on the built height counts, also 0: a configuration that now carries no header lists
  // must not leave an empty slot of the old header's height above the products.
  const double height = headerView_ ? headerView_->headHeight() : headerH_;
  return CGSizeMake(W, height + 0.1);
}

void HomeViewController::collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                                const std::shared_ptr<NSIndexPath>& indexPath) {
  auto row = static_cast<NSUInteger>(indexPath->row());
  if (row < totalProductArray_->count()) goToDetailView(as<TZProductModel>(totalProductArray_->objectAtIndex(row)));
}

void HomeViewController::scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) {
  if (!topBtn_ || !homePageView_ || scrollView != homePageView_->homePageCollectionView) return;
  auto [W, H] = screenSides();
  topBtn_->setHidden(!(scrollView->contentOffset().y > H));
}

bool HomeViewController::searchBarShouldBeginEditing(const std::shared_ptr<UISearchBar>&) {
  gotoSearch();
  return false;
}

// --- header -----------------------------------------------------------------------------------------

void HomeViewController::didClick(const std::shared_ptr<NSDictionary>& entry) {
  if (entry) clickAction(controllerSelf(), as<TZHeaderInfoModel>(entry->objectForKey("info"_ns)));
}

void HomeViewController::currentPage(int page, int) {
  if (pageControl_) pageControl_->setCurrentPage(page);
}

void HomeViewController::smallClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) {
  clickAction(controllerSelf(), item);
}

void HomeViewController::activityViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) {
  clickAction(controllerSelf(), item);
}

void HomeViewController::smallActivityViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) {
  clickAction(controllerSelf(), item);
}

void HomeViewController::bigClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& item) {
  auto store = zvt::makeScreen("ProductStoreViewController");
  if (!item || !store || !navigationController()) return;
  // The link is the category the store selects first; the store has no category 10, and the
  // two after it are given as 10 and 11.
  const NSInteger link = zvt::shopping::integerValueOf(item->link);
  const NSInteger category = link >= 0 && link <= 9 ? link : link == 10 ? 11 : link == 11 ? 12 : 0;
  store->setValueForKey(NSNumber::numberWithInteger(0), "bigSortType"_ns);
  store->setValueForKey(NSNumber::numberWithBool(true), "isPush"_ns);
  store->setValueForKey(NSNumber::numberWithInteger(category), "smallSortType"_ns);
  navigationController()->pushViewController(store, true);
}
