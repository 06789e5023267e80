#include "app/screens/shopping/TZStrollViewController.h"

#include <algorithm>
#include <utility>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNumber.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/images/UIImageView+RemoteImage.h"

using zvt::as;
using zvt::shopping::rgb;

namespace {

const zvt::StaticString kPageName{"逛逛页"};
const zvt::StaticString kCellIdentifier{"TZStrollCell"};

CGFloat screenWidth() { return zvt::search::screenWidth(); }

// The "catSon" list of a big category as models; entries that are not dictionaries are skipped,
// and a "catSon" that is not a list gives no keywords.
std::shared_ptr<NSMutableArray> keywordsOf(const id& category) {
  auto list = NSMutableArray::array();
  auto dict = as<NSDictionary>(category);
  auto sons = dict ? as<NSArray>(dict->objectForKey("catSon"_ns)) : nullptr;
  if (!sons) return list;
  for (const id& son : *sons) {
    if (!as<NSDictionary>(son)) continue;
    list->addObject(zvt::modelFromRecord<TZStrollModel>(son));
  }
  return list;
}

}  // namespace

// --- TZStrollImageView ------------------------------------------------------------------------

void TZStrollImageView::setUpWithFrame(CGRect frame) {
  UIImageView::setUpWithFrame(frame);
  createUI();
}

void TZStrollImageView::createUI() {
  setContentMode(UIViewContentModeScaleAspectFit);
  setClipsToBounds(true);
  layer()->setBorderWidth(1);
  layer()->setBorderColor(rgb(222, 222, 222)->CGColor());
  layer()->setCornerRadius(5);
}

// --- TZStrollCell -----------------------------------------------------------------------------

void TZStrollCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  const CGSize size = frame.size;
  const CGFloat labelHeight = screenWidth() * 0.08;
  label_ = UILabel::initWithFrame(CGRectMake(0, size.height - labelHeight, size.width, labelHeight));
  label_->setFont(UIFont::systemFontOfSize(11));
  label_->setTextAlignment(NSTextAlignmentCenter);
  label_->setTextColor(UIColor::grayColor());
  contentView()->addSubview(label_);
  imageView_ = UIImageView::initWithFrame(CGRectMake(0, 0, size.width, size.height - labelHeight));
  imageView_->setContentMode(UIViewContentModeScaleAspectFit);
  contentView()->addSubview(imageView_);
}

void TZStrollCell::fillCellWith(const std::shared_ptr<TZStrollModel>& model) {
  if (!model) return;
  auto address = as<NSString>(model->img);
  auto url = address ? NSURL::URLWithString(address) : nullptr;
  std::weak_ptr<UIImageView> weakPicture = imageView_;
  wi_setImageWithURL(imageView_, url,
                     [weakPicture](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>&, WIImageCacheSource,
                                   const std::shared_ptr<NSURL>&) {
                       auto picture = weakPicture.lock();
                       if (picture && image) picture->setImage(cutImageWithCornerRadius(image, 10));
                     });
  label_->setText(zvt::search::textOrEmpty(model->name));
}

// --- TZStrollView -----------------------------------------------------------------------------

void TZStrollView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  containerArray_ = NSMutableArray::array();
  createUI();
}

void TZStrollView::createUI() {
  const CGFloat W = screenWidth();
  const CGFloat H = frame().size.height;
  bgScrollView_ = UIScrollView::initWithFrame(bounds());
  bgScrollView_->setBackgroundColor(UIColor::whiteColor());
  addSubview(bgScrollView_);

  searchButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  searchButton_->setFrame(CGRectMake(10, 10, W - 20, W * 28 / 300));
  searchButton_->setBackgroundColor(rgb(242, 242, 242));
  searchButton_->layer()->setCornerRadius(4);
  searchButton_->addTarget(viewSelf(), SEL(&TZStrollView::searchButtonClick), UIControlEventTouchUpInside);
  bgScrollView_->addSubview(searchButton_);
  const CGFloat boxHeight = searchButton_->frame().size.height;
  auto mirror = UIImageView::initWithFrame(CGRectMake(18.5 - 17 / 2.0, (boxHeight - 17) / 2, 17, 17));
  mirror->setImage(UIImage::imageNamed("searMirror"_ns));
  mirror->setUserInteractionEnabled(false);
  searchButton_->addSubview(mirror);
  const CGFloat textX = CGRectGetMaxX(mirror->frame()) + 5;
  auto prompt = UILabel::initWithFrame(CGRectMake(textX, 0, W - 20 - textX, boxHeight));
  prompt->setText("输入商品关键字"_ns);
  prompt->setFont(UIFont::systemFontOfSize(12));
  prompt->setTextColor(UIColor::grayColor());
  prompt->setBackgroundColor(UIColor::clearColor());
  prompt->setUserInteractionEnabled(false);
  searchButton_->addSubview(prompt);

  lineView_ = UIView::initWithFrame(CGRectMake(0, CGRectGetMaxY(searchButton_->frame()) + 10, W, 0.5));
  lineView_->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
  bgScrollView_->addSubview(lineView_);

  const CGFloat top = CGRectGetMaxY(lineView_->frame());
  const CGFloat columnWidth = W * 0.22;
  const CGFloat listHeight = H - top - 64;
  bigCategoryScrollView_ = UIScrollView::initWithFrame(CGRectMake(0, top, columnWidth, listHeight));
  bigCategoryScrollView_->setShowsVerticalScrollIndicator(false);
  bigCategoryScrollView_->setShowsHorizontalScrollIndicator(false);
  bgScrollView_->addSubview(bigCategoryScrollView_);

  const CGFloat gridWidth = W - 10 - columnWidth;
  auto layout = UICollectionViewFlowLayout::make();
  layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
  layout->setItemSize(CGSizeMake((gridWidth - 40) / 3, W * 0.296));
  layout->setSectionInset(UIEdgeInsetsMake(10, 10, 10, 0));
  layout->setMinimumInteritemSpacing(10);
  layout->setMinimumLineSpacing(10);
  littleCategoryCollectionView_ = UICollectionView::initWithFrame(CGRectMake(columnWidth, top, gridWidth, listHeight), layout);
  littleCategoryCollectionView_->setBackgroundColor(UIColor::whiteColor());
  littleCategoryCollectionView_->setShowsVerticalScrollIndicator(false);
  littleCategoryCollectionView_->setShowsHorizontalScrollIndicator(false);
  littleCategoryCollectionView_->registerClass<TZStrollCell>(kCellIdentifier);
  bgScrollView_->addSubview(littleCategoryCollectionView_);
}

void TZStrollView::fillViewWithArray(const std::shared_ptr<NSArray>& categories) {
  if (!categories) return;
  const CGFloat W = screenWidth();
  const CGFloat rowHeight = W * 0.16;
  const CGFloat columnWidth = bigCategoryScrollView_->frame().size.width;
  NSUInteger index = 0;
  for (const id& category : *categories) {
    auto dict = as<NSDictionary>(category);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, static_cast<CGFloat>(index) * rowHeight, columnWidth, rowHeight));
    button->setTitle(zvt::search::textOrEmpty(dict ? dict->objectForKey("catName"_ns) : nullptr), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    button->setTitleColor(UIColor::grayColor(), UIControlStateNormal);
    button->setTitleColor(UIColor::orangeColor(), UIControlStateSelected);
    button->setBackgroundImage(UIImage::imageNamed("alert_success_icon"_ns), UIControlStateSelected);
    button->setTag(static_cast<NSInteger>(index));
    button->addTarget(viewSelf(), SEL(&TZStrollView::buttonClick), UIControlEventTouchUpInside);
    if (index == 0) {
      button->setSelected(true);
      button->titleLabel()->setFont(UIFont::systemFontOfSize(16));
    }
    bigCategoryScrollView_->addSubview(button);
    containerArray_->addObject(button);
    ++index;
  }
  bigCategoryScrollView_->setContentSize(CGSizeMake(columnWidth, static_cast<CGFloat>(index) * rowHeight));

  const CGFloat separatorWidth = W * 0.008;
  const CGFloat top = bigCategoryScrollView_->frame().origin.y;
  auto separator = UIView::initWithFrame(CGRectMake(columnWidth - separatorWidth, top, separatorWidth, frame().size.height - top));
  separator->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
  bgScrollView_->addSubview(separator);
  orLine_ = UIView::initWithFrame(CGRectMake(0, 0, separatorWidth, rowHeight));
  orLine_->setBackgroundColor(UIColor::orangeColor());
  bigCategoryScrollView_->addSubview(orLine_);
}

void TZStrollView::searchButtonClick(const std::shared_ptr<UIButton>&) {
  if (auto block = searchblock) block();
}

void TZStrollView::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  for (const id& item : *containerArray_) {
    auto button = as<UIButton>(item);
    if (!button || !button->isSelected()) continue;
    button->setSelected(false);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(13));
  }
  sender->setSelected(true);
  sender->titleLabel()->setFont(UIFont::systemFontOfSize(15));
  if (auto marker = orLine_) {
    const CGFloat height = marker->frame().size.height;
    const CGFloat y = height * static_cast<CGFloat>(sender->tag());
    UIView::animateWithDuration(0.5, [marker, height, y] { marker->setFrame(CGRectMake(0, y, 3, height)); });
  }
  callMyBlock(sender);
}

// --- TZStrollViewController -------------------------------------------------------------------

TZStrollViewController::TZStrollViewController()
    : allDataArray_(NSMutableArray::array()), dataArray_(NSMutableArray::array()) {}

void TZStrollViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("逛逛"_ns);
  // The content is laid out from the bar's bottom edge down (its height leaves the bar's 64
  // points out), so the view starts below the bar, translucent or not.
  setEdgesForExtendedLayout(UIRectEdgeNone);
  if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
  std::weak_ptr<UIViewController> weakSelf = controllerSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("whiteReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    if (auto navigation = screen ? screen->navigationController() : nullptr) navigation->popViewControllerAnimated(true);
  });
  createUI();
  loadDatas();
}

void TZStrollViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView(kPageName);
}

void TZStrollViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
}

void TZStrollViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void TZStrollViewController::createUI() {
  strollView_ = UIView::makeView<TZStrollView>(view()->bounds());
  view()->addSubview(strollView_);
  std::weak_ptr<TZStrollViewController> weakSelf = std::static_pointer_cast<TZStrollViewController>(controllerSelf());
  strollView_->searchblock = [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->gotoSearch();
  };
  strollView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonAction(sender);
  });
  auto self = std::static_pointer_cast<TZStrollViewController>(controllerSelf());
  auto grid = strollView_->littleCategoryCollectionView();
  grid->setDataSource(std::static_pointer_cast<UICollectionViewDataSource>(self));
  grid->setDelegate(std::static_pointer_cast<UICollectionViewDelegate>(self));
}

void TZStrollViewController::loadDatas() {
  auto self = std::static_pointer_cast<TZStrollViewController>(controllerSelf());
  APIClient::GET("api/client.php?m=get_search_cat"_ns, nullptr,
                 [self](bool success, const id& result, const std::shared_ptr<NSError>&) {
                   auto reply = as<NSDictionary>(result);
                   auto categories = success && reply ? as<NSArray>(reply->objectForKey("searchCat"_ns)) : nullptr;
                   if (!categories || categories->count() == 0) return;
                   self->strollView_->fillViewWithArray(categories);
                   for (const id& category : *categories) self->allDataArray_->addObject(keywordsOf(category));
                   self->dataArray_ = NSMutableArray::arrayWithArray(as<NSArray>(self->allDataArray_->objectAtIndex(0)));
                   self->strollView_->littleCategoryCollectionView()->reloadData();
                 });
}

void TZStrollViewController::gotoSearch() {
  auto navigation = navigationController();
  auto screen = zvt::makeScreen("SearchViewController");
  if (!navigation || !screen) return;
  screen->setValueForKey(NSNumber::numberWithBool(true), "isSearchPush"_ns);
  navigation->pushViewController(screen, true);
}

void TZStrollViewController::buttonAction(const id& sender) {
  auto button = as<UIButton>(sender);
  if (!button) return;
  const NSInteger tag = button->tag();
  if (tag < 0 || static_cast<NSUInteger>(tag) >= allDataArray_->count()) return;
  showLoadingHud(controllerSelf());
  dataArray_ = NSMutableArray::arrayWithArray(as<NSArray>(allDataArray_->objectAtIndex(static_cast<NSUInteger>(tag))));
  strollView_->littleCategoryCollectionView()->reloadData();
  hideHud(controllerSelf());
}

void TZStrollViewController::goToTheSearchResultProductViewWithTheQueryString(const std::shared_ptr<NSString>& keyword) {
  if (pidStr_ || searchMothed_) {
    if (searchMothed_ && searchMothed_->isEqualToString("1"_ns)) {
      gotoSearchResultWith(keyword);
    } else {
      gotoS8(keyword, pidStr_);
    }
    return;
  }
  pendingKeyword_ = keyword;
  if (configurationFetching_) return;
  configurationFetching_ = true;
  std::weak_ptr<TZStrollViewController> weakSelf = std::static_pointer_cast<TZStrollViewController>(controllerSelf());
  zvt::search::fetchSearchConfiguration([weakSelf](const zvt::search::SearchConfiguration& configuration) {
    auto screen = weakSelf.lock();
    if (!screen) return;
    screen->searchMothed_ = configuration.method;
    screen->pidStr_ = configuration.pid;
    dispatch_async(dispatch_get_main_queue(), [weakSelf] {
      auto again = weakSelf.lock();
      if (!again) return;
      again->configurationFetching_ = false;
      again->goToTheSearchResultProductViewWithTheQueryString(std::exchange(again->pendingKeyword_, nullptr));
    });
  });
}

void TZStrollViewController::gotoSearchResultWith(const std::shared_ptr<NSString>& keyword) {
  auto navigation = navigationController();
  auto screen = zvt::makeScreen("NewSearchResultViewController");
  if (!navigation || !screen) return;
  screen->setValueForKey(keyword ? keyword : NSString::string(), "keyword"_ns);
  navigation->pushViewController(screen, true);
}

void TZStrollViewController::gotoS8(const std::shared_ptr<NSString>& keyword, const std::shared_ptr<NSString>& pid) {
  if (!pid || pid->length() == 0) {
    showWithTitle(nullptr, "网络不好"_ns);
    return;
  }
  // Logged out, the page opens as on the other search screens, with the unid "0".
  auto delegate = AppDelegate::shared();
  auto unid = delegate && delegate->isLogin() ? zvt::search::userIdOrZero() : "0"_ns;
  auto address = zvt::search::affiliateSearchAddress(pid, keyword, unid);
  zvt::search::pushAffiliatePage(controllerSelf(), keyword, address, false);
}

NSInteger TZStrollViewController::collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&, NSInteger) {
  return static_cast<NSInteger>(dataArray_->count());
}

std::shared_ptr<UICollectionViewCell> TZStrollViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<TZStrollCell>(
      collectionView->dequeueReusableCellWithReuseIdentifier(kCellIdentifier, indexPath));
  const auto row = static_cast<NSUInteger>(indexPath->row());
  if (cell && row < dataArray_->count()) cell->fillCellWith(as<TZStrollModel>(dataArray_->objectAtIndex(row)));
  return cell;
}

void TZStrollViewController::collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                                   const std::shared_ptr<NSIndexPath>& indexPath) {
  const auto row = static_cast<NSUInteger>(indexPath->row());
  if (row >= dataArray_->count()) return;
  auto model = as<TZStrollModel>(dataArray_->objectAtIndex(row));
  goToTheSearchResultProductViewWithTheQueryString(model ? zvt::search::textOrEmpty(model->name) : NSString::string());
}
