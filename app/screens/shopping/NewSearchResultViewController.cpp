#include "app/screens/shopping/NewSearchResultViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/core/Configuration.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/screens/shopping/TZNewSearchViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "foundation/http/NWHTTPRequestOperationManager.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"
#include "ui/refresh/PRRefreshList.h"

using zvt::as;

using zvt::search::screenHeight;
using zvt::search::screenWidth;
using zvt::shopping::rgb;

NewSearchResultViewController::NewSearchResultViewController() { initDatas(); }

void NewSearchResultViewController::initDatas() {
  datasArray_ = NSMutableArray::array();
  hotKeymArray_ = NSMutableArray::array();
  pageNum_ = 0;
  sort_ = 0;
  mallItem_ = 0;
  chooseRegion_ = false;
}

id NewSearchResultViewController::valueForKey(const std::shared_ptr<NSString>& key) const {
  if (key && key->isEqualToString("keyword")) return keyword_;
  if (key && key->isEqualToString("isFromSearch")) return NSNumber::numberWithBool(isFromSearch_);
  return ParentsViewController::valueForKey(key);
}

void NewSearchResultViewController::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  if (key && key->isEqualToString("keyword")) {
    keyword_ = zvt::search::textOf(value);
  } else if (key && key->isEqualToString("isFromSearch")) {
    isFromSearch_ = zvt::shopping::integerValueOf(value) != 0;
  } else {
    ParentsViewController::setValueForKey(value, key);
  }
}

void NewSearchResultViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  configNavigationbar();
  createUI();
}

void NewSearchResultViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
  StatAgent::beginLogPageView("自建搜索结果页"_ns);
}

void NewSearchResultViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
}

void NewSearchResultViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("自建搜索结果页"_ns);
  if (auto window = view()->window()) window->endEditing(true);
}

void NewSearchResultViewController::configNavigationbar() {
  if (isFromSearch_) {
    std::weak_ptr<UIViewController> weak = controllerSelf();
    configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("whiteReturn"_ns), [weak] {
      if (auto strong = weak.lock())
        if (auto navigation = strong->navigationController()) navigation->popToRootViewControllerAnimated(true);
    });
  }
  searchBar_ = UISearchBar::initWithFrame(CGRectMake(0, 0, screenWidth(), 30));
  searchBar_->setDelegate(std::static_pointer_cast<UISearchBarDelegate>(
      std::static_pointer_cast<NewSearchResultViewController>(controllerSelf())));
  searchBar_->setClipsToBounds(true);
  searchBar_->setBackgroundImage(imageWithColor(UIColor::clearColor()));
  searchBar_->setImage(UIImage::imageNamed("zvt_Search"_ns), UISearchBarIconSearch, UIControlStateNormal);
  searchBar_->setPlaceholder("输入商品关键词"_ns);
  if (keyword_) searchBar_->setText(keyword_);
  searchBar_->setTintColor(rgb(105, 209, 246));
  searchBar_->layer()->setBorderColor(UIColor::clearColor()->CGColor());
  searchBar_->setReturnKeyType(UIReturnKeySearch);
  navigationItem()->setTitleView(searchBar_);
}

void NewSearchResultViewController::createUI() {
  searchResultView_ = UIView::makeView<SearchResultView>(CGRectMake(0, 64, screenWidth(), screenHeight() - 64));
  view()->addSubview(searchResultView_);
  auto self = std::static_pointer_cast<NewSearchResultViewController>(controllerSelf());
  auto grid = searchResultView_->searchResultCollectionView();
  grid->setDataSource(std::static_pointer_cast<UICollectionViewDataSource>(self));
  grid->setDelegate(std::static_pointer_cast<UICollectionViewDelegate>(self));
  std::weak_ptr<NewSearchResultViewController> weak = self;
  pr_attachListRefresh(
      grid, [weak] { if (auto strong = weak.lock()) strong->hearderRefresh(); },
      [weak] { if (auto strong = weak.lock()) strong->footerRefresh(); });
  searchResultView_->setMyBlock([weak](const id& sender) {
    if (auto strong = weak.lock()) strong->buttonClick(sender);
  });
}

void NewSearchResultViewController::hearderRefresh() {
  pageNum_ = 1;
  searchProduct();
}

void NewSearchResultViewController::footerRefresh() {
  pageNum_ += 1;
  searchProduct();
}

void NewSearchResultViewController::searchProduct() {
  searchResultView_->hiddenTips();
  auto manager = NWHTTPRequestOperationManager::manager();
  manager->setResponseSerializer(NWHTTPResponseSerializer::serializer());
  manager->requestSerializer()->setTimeoutInterval(zvt::Configuration::requestTimeout());
  auto priceText = [this](bool low) -> std::shared_ptr<NSString> {
    auto panel = searchResultView_->chooseRegionView();
    auto field = panel ? (low ? panel->lowPriceTextField() : panel->highPriceTextField()) : nullptr;
    auto text = field ? field->text() : nullptr;
    return text && text->length() > 0 ? text : NSString::string();
  };
  auto parameters = NSDictionary::make({{"keyword"_ns, keyword_ ? keyword_ : NSString::string()},
                                        {"startPrice"_ns, priceText(true)},
                                        {"endPrice"_ns, priceText(false)},
                                        {"mallItem"_ns, NSNumber::numberWithLong(mallItem_)},
                                        {"page"_ns, NSNumber::numberWithLong(pageNum_)},
                                        {"sort"_ns, NSNumber::numberWithLong(sort_)}});
  const uint64_t serial = ++requestSerial_;
  auto self = std::static_pointer_cast<NewSearchResultViewController>(controllerSelf());
  manager->GET(
      zvt::Configuration::URLStringWithPath("api/search_tbk_v3.php?"), parameters,
      [self, serial](const std::shared_ptr<NWHTTPRequestOperation>&, const id& responseObject) {
        dispatch_async(dispatch_get_main_queue(), [self, serial, responseObject] {
          if (serial != self->requestSerial_) return;
          self->answeredSerial_ = serial;
          hideHud(self);
          if (self->noMessageTipView_) {
            self->noMessageTipView_->removeFromSuperview();
            self->noMessageTipView_ = nullptr;
          }
          auto data = as<NSData>(responseObject);
          auto rows = data ? as<NSArray>(objectFromJSONData(*data)) : nullptr;
          auto grid = self->searchResultView_->searchResultCollectionView();
          auto header = pr_header(grid);
          auto footer = pr_footer(grid);
          if (rows && rows->count() > 0) {
            if (self->pageNum_ == 1) {
              grid->setContentOffset(CGPointMake(0, -grid->contentInset().top), false);
              self->datasArray_->removeAllObjects();
            }
            for (NSUInteger i = 0; i < rows->count(); ++i)
              if (as<NSDictionary>(rows->objectAtIndex(i)))
                self->datasArray_->addObject(zvt::modelFromRecord<TZSearchResultModel>(rows->objectAtIndex(i)));
            grid->reloadData();
            if (footer) footer->endRefreshing();
            if (header) header->endRefreshing();
          } else {
            if (footer) footer->endRefreshing();
            if (header) header->endRefreshing();
            if (self->pageNum_ == 1) {
              self->datasArray_->removeAllObjects();
              grid->reloadData();
              self->searchResultView_->showTipsWithChooseRegion(self->chooseRegion_);
            } else if (footer) {
              footer->endRefreshingWithNoMoreData();
            }
          }
        });
      },
      [self, serial](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) {
        dispatch_async(dispatch_get_main_queue(), [self, serial] {
          if (serial != self->requestSerial_) return;
          self->answeredSerial_ = serial;
          self->initErrorView();
        });
      });
}

void NewSearchResultViewController::initErrorView() {
  hideHud(controllerSelf());
  if (!noMessageTipView_) {
    noMessageTipView_ = loadFromNib<TZNoMessageTipView>();
    if (!noMessageTipView_) return;
    noMessageTipView_->setFrame(CGRectMake(0, 64, screenWidth(), screenHeight() - 64));
    std::weak_ptr<NewSearchResultViewController> weak =
        std::static_pointer_cast<NewSearchResultViewController>(controllerSelf());
    noMessageTipView_->setRefreshBlock([weak](const id&) {
      auto strong = weak.lock();
      // The cover stays until a reply takes it away: a tap while the search is on its way (the
      // loading overlay is still fading in) sends nothing more.
      if (!strong || strong->isLoading()) return;
      showLoadingHud(strong);
      strong->searchProduct();
    });
    view()->addSubview(noMessageTipView_);
  }
  view()->bringSubviewToFront(noMessageTipView_);
  noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                       NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns,
                                       false);
}

void NewSearchResultViewController::searchActionWithKey(const std::shared_ptr<NSString>& keyword) {
  searchBar_->resignFirstResponder();
  searchBar_->endEditing(true);
  if (auto hot = searchResultView_->hotView()) hot->setHidden(true);
  keyword_ = keyword;
  searchBar_->setText(keyword);
  searchResultView_->clearChooseRegionView();
  mallItem_ = 0;
  chooseRegion_ = false;
  // A header still refreshing for the previous keyword would not start again: the new keyword
  // then asks at once (and the older reply is dropped when it comes).
  auto header = pr_header(searchResultView_->searchResultCollectionView());
  if (header && !header->isRefreshing()) {
    header->beginRefreshing();
  } else {
    hearderRefresh();
  }
}

void NewSearchResultViewController::buttonClick(const id& sender) {
  auto control = as<UIView>(sender);
  if (!control) return;
  switch (control->tag()) {
    case 30000: sort_ = 1; break;
    case 30001: sort_ = 2; break;
    case 30002: sort_ = 3; break;
    case 2: {
      auto panel = searchResultView_->chooseRegionView();
      auto tmall = panel ? panel->tmallButton() : nullptr;
      mallItem_ = tmall && tmall->isSelected() ? 1 : 0;
      chooseRegion_ = true;
      break;
    }
    default: return;
  }
  pageNum_ = 1;
  showLoadingHud(controllerSelf());
  searchProduct();
}

bool NewSearchResultViewController::searchBarShouldBeginEditing(const std::shared_ptr<UISearchBar>&) {
  searchResultView_->hiddenTips();
  if (auto hot = searchResultView_->hotView()) {
    hot->setHidden(false);
  } else {
    searchResultView_->createHotView();
    auto self = std::static_pointer_cast<NewSearchResultViewController>(controllerSelf());
    auto grid = searchResultView_->hotCollectionView();
    grid->setDelegate(std::static_pointer_cast<UICollectionViewDelegate>(self));
    grid->setDataSource(std::static_pointer_cast<UICollectionViewDataSource>(self));
    getHotKeyword();
  }
  return true;
}

void NewSearchResultViewController::searchBarSearchButtonClicked(const std::shared_ptr<UISearchBar>& searchBar) {
  auto text = searchBar->text();
  searchActionWithKey(text ? text : NSString::string());
}

void NewSearchResultViewController::scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) {
  searchBar_->resignFirstResponder();
}

void NewSearchResultViewController::getHotKeyword() {
  auto self = std::static_pointer_cast<NewSearchResultViewController>(controllerSelf());
  APIClient::POST("api/client.php?m=get_tao_config"_ns, nullptr,
                  [self](bool success, const id& result, const std::shared_ptr<NSError>&) {
                    auto reply = as<NSDictionary>(result);
                    auto hot = success && reply ? as<NSArray>(reply->objectForKey("hotKey"_ns)) : nullptr;
                    if (!hot) return;
                    for (NSUInteger i = 0; i < hot->count(); ++i)
                      if (auto word = as<NSString>(hot->objectAtIndex(i))) self->hotKeymArray_->addObject(word);
                    if (auto grid = self->searchResultView_->hotCollectionView()) grid->reloadData();
                  });
}

NSInteger NewSearchResultViewController::collectionViewNumberOfItemsInSection(
    const std::shared_ptr<UICollectionView>& collectionView, NSInteger) {
  if (collectionView == searchResultView_->searchResultCollectionView())
    return static_cast<NSInteger>(datasArray_->count());
  return static_cast<NSInteger>(hotKeymArray_->count());
}

std::shared_ptr<UICollectionViewCell> NewSearchResultViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSUInteger row = static_cast<NSUInteger>(indexPath->row());
  if (collectionView == searchResultView_->searchResultCollectionView()) {
    auto cell = std::dynamic_pointer_cast<TZSearchResultCell>(
        collectionView->dequeueReusableCellWithReuseIdentifier("TZSearchResultCell"_ns, indexPath));
    if (!cell) cell = loadFromNib<TZSearchResultCell>();
    if (!cell || row >= datasArray_->count()) return cell;
    auto model = as<TZSearchResultModel>(datasArray_->objectAtIndex(row));
    cell->setModel(model);
    auto shopType = zvt::search::textOf(model->shop_type);
    // Only a Tmall shop ("B") shows the mark; "C" and anything unknown hide it.
    if (auto tmall = cell->tmalliconImageView()) tmall->setHidden(!(shopType && shopType->isEqualToString("B")));
    const bool hasRebate = zvt::shopping::floatValueOf(model->fan) > 0;
    if (auto fan = cell->fanLabel()) fan->setHidden(!hasRebate);
    if (auto rebate = cell->rebateLabel()) rebate->setHidden(!hasRebate);
    return cell;
  }
  auto cell = std::dynamic_pointer_cast<TZSearchCollectionViewCell>(
      collectionView->dequeueReusableCellWithReuseIdentifier("TZSearchCollectionViewCell"_ns, indexPath));
  if (cell && hotKeymArray_->count() > 0 && row < hotKeymArray_->count())
    cell->setHotKey(as<NSString>(hotKeymArray_->objectAtIndex(row)));
  return cell;
}

void NewSearchResultViewController::collectionViewDidSelectItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSUInteger row = static_cast<NSUInteger>(indexPath->row());
  if (collectionView == searchResultView_->searchResultCollectionView()) {
    if (row < datasArray_->count()) gotoDetailWithModel(as<TZSearchResultModel>(datasArray_->objectAtIndex(row)));
  } else if (row < hotKeymArray_->count()) {
    searchActionWithKey(as<NSString>(hotKeymArray_->objectAtIndex(row)));
  }
}

void NewSearchResultViewController::gotoDetailWithModel(const std::shared_ptr<TZSearchResultModel>& model) {
  auto detail = zvt::makeScreen("WebDetailViewController");
  auto navigation = navigationController();
  if (!model || !detail || !navigation) return;
  detail->setValueForKey(zvt::search::textOrEmpty(model->num_iid), "taoBao_goodsId"_ns);
  detail->setValueForKey(NSNumber::numberWithBool(true), "isProductPush"_ns);
  detail->setValueForKey(NSNumber::numberWithBool(true), "isSearchResultPush"_ns);
  navigation->pushViewController(detail, true);
}
