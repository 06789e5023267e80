#include "app/screens/shopping/SearchViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/ZaveltoURLConnect.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/network/NSURLRequest.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"

using zvt::as;

using zvt::shopping::rgb;
using zvt::search::screenHeight;
using zvt::search::screenWidth;

// --- SearchTableViewCell ----------------------------------------------------------------------

void SearchTableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  ParentTableViewCell::setUpWithStyle(style, reuseIdentifier);
  const CGFloat W = screenWidth();
  titleLabel_ = UILabel::initWithFrame(CGRectMake(10, 10, (W - 10) / 2 + 20, 20));
  detailLabel_ = UILabel::initWithFrame(CGRectMake(W / 2 + 20, 10, (W - 10) / 2 - 20, 20));
  for (auto& label : {titleLabel_, detailLabel_}) {
    label->setFont(UIFont::systemFontOfSize(13));
    label->setTextColor(UIColor::lightGrayColor());
    contentView()->addSubview(label);
  }
  titleLabel_->setTextAlignment(NSTextAlignmentLeft);
  detailLabel_->setTextAlignment(NSTextAlignmentRight);
}

void SearchTableViewCell::setSelected(bool, bool animated) {
  ParentTableViewCell::setSelected(false, animated);
  setSelectionStyle(UITableViewCellSelectionStyleGray);
}

// --- SearchViewController ---------------------------------------------------------------------

id SearchViewController::valueForKey(const std::shared_ptr<NSString>& key) const {
  if (key && key->isEqualToString("isSearchPush")) return NSNumber::numberWithBool(isSearchPush_);
  if (key && key->isEqualToString("isStorePush")) return NSNumber::numberWithBool(isStorePush_);
  return ParentsViewController::valueForKey(key);
}

void SearchViewController::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  if (key && key->isEqualToString("isSearchPush")) {
    isSearchPush_ = zvt::shopping::integerValueOf(value) != 0;
  } else if (key && key->isEqualToString("isStorePush")) {
    isStorePush_ = zvt::shopping::integerValueOf(value) != 0;
  } else {
    ParentsViewController::setValueForKey(value, key);
  }
}

void SearchViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
  view()->setBackgroundColor(UIColor::whiteColor());
  resultArray_ = NSArray::array();
  searchbox();
  initCourseView();
}

void SearchViewController::searchbox() {
  searchBar_ = UISearchBar::initWithFrame(CGRectMake(0, 0, screenWidth() - 96, 30));
  searchBar_->setDelegate(std::static_pointer_cast<UISearchBarDelegate>(
      std::static_pointer_cast<SearchViewController>(controllerSelf())));
  searchBar_->setClipsToBounds(true);
  searchBar_->setBackgroundImage(imageWithColor(UIColor::clearColor()));
  searchBar_->setImage(UIImage::imageNamed("zvt_Search"_ns), UISearchBarIconSearch, UIControlStateNormal);
  searchBar_->setPlaceholder(storeMode() ? "搜商城名称,购物就可拿回扣"_ns : "输入商品关键词"_ns);
  searchBar_->setTintColor(rgb(105, 209, 246));
  searchBar_->layer()->setBorderColor(UIColor::clearColor()->CGColor());
  navigationItem()->setTitleView(searchBar_);
  // A bar not yet in a window cannot take the keyboard: it does so when the page first shows.
  keyboardPending_ = !searchBar_->becomeFirstResponder();
}

void SearchViewController::initCourseView() {
  const CGFloat W = screenWidth(), H = screenHeight();
  if (storeMode()) {
    auto tip = UIImageView::initWithFrame(CGRectMake(0, 64, W, 170));
    tip->setImage(UIImage::imageNamed("tipsOfStore"_ns));
    tip->setContentMode(UIViewContentModeScaleAspectFit);
    view()->addSubview(tip);
  } else if (auto tip = loadFromNib<TZSearchTipView>()) {
    tip->setFrame(CGRectMake(0, 64, W, 170));
    std::weak_ptr<SearchViewController> weak = std::static_pointer_cast<SearchViewController>(controllerSelf());
    tip->setMyBlock([weak](const id&) {
      if (auto strong = weak.lock()) strong->gotoCourse();
    });
    view()->addSubview(tip);
  }
  searchTableView_ = UITableView::initWithFrame(CGRectMake(0, 64, W, H - 64), UITableViewStylePlain);
  auto self = std::static_pointer_cast<SearchViewController>(controllerSelf());
  searchTableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(self));
  searchTableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(self));
  searchTableView_->setSeparatorStyle(UITableViewCellSeparatorStyleSingleLine);
  searchTableView_->setTableFooterView(UIView::initWithFrame(CGRectZero));
  searchTableView_->setHidden(true);
  view()->addSubview(searchTableView_);
}

void SearchViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView("搜索页"_ns);
  if (isSearchPush_ || isStorePush_)
    if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
}

void SearchViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (keyboardPending_) {
    // The navigation bar puts the new title view in place at its next layout: bring that
    // forward, so that the bar can take the keyboard now.
    if (auto navigation = navigationController()) navigation->navigationBar()->layoutIfNeeded();
    searchBar_->becomeFirstResponder();
  }
  keyboardPending_ = false;
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleBlack);
}

void SearchViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("搜索页"_ns);
  if (searchTableView_) searchTableView_->setHidden(true);
  if (auto window = view()->window()) window->endEditing(true);
}

void SearchViewController::gotoCourse() {
  if (auto course = zvt::makeScreen("CourseViewController"))
    if (auto navigation = navigationController()) navigation->pushViewController(course, true);
}

void SearchViewController::gotoTheSearchWebViewWithTheString(const std::shared_ptr<NSString>& mallId,
                                                             const std::shared_ptr<NSString>& name) {
  zvt::search::pushMallPage(controllerSelf(), mallId, name);
}

void SearchViewController::gotoNewSearchResultController(const std::shared_ptr<NSString>& keyword) {
  auto results = zvt::makeScreen("NewSearchResultViewController");
  auto navigation = navigationController();
  if (!results || !navigation) return;
  results->setValueForKey(keyword, "keyword"_ns);
  results->setValueForKey(NSNumber::numberWithBool(true), "isFromSearch"_ns);
  navigation->pushViewController(results, true);
}

void SearchViewController::gotoS8(const std::shared_ptr<NSString>& keyword, const std::shared_ptr<NSString>& pid) {
  // A logged-out user's address carries no unid at all; a record without an id gives "0".
  std::shared_ptr<NSString> unid;
  auto delegate = AppDelegate::shared();
  if (delegate && delegate->isLogin() && delegate->userInfoDictionary()) unid = zvt::search::userIdOrZero();
  zvt::search::pushAffiliatePage(controllerSelf(), keyword, zvt::search::affiliateSearchAddress(pid, keyword, unid),
                                 false);
}

void SearchViewController::goToTheSearchResultProductViewWithTheQueryString(const std::shared_ptr<NSString>& keyword) {
  StatAgent::event("HomeSearch"_ns);
  if (pidStr_ || searchMothed_) {
    if (isSearchPush_ && searchMothed_ && searchMothed_->isEqualToString("1")) {
      gotoNewSearchResultController(keyword);
    } else {
      gotoS8(keyword, pidStr_);
    }
    return;
  }
  pendingKeyword_ = keyword;
  if (configurationFetching_) return;
  configurationFetching_ = true;
  auto self = std::static_pointer_cast<SearchViewController>(controllerSelf());
  zvt::search::fetchSearchConfiguration([self](const zvt::search::SearchConfiguration& configuration) {
    self->searchMothed_ = configuration.method;
    self->pidStr_ = configuration.pid;
    dispatch_async(dispatch_get_main_queue(), [self] {
      self->configurationFetching_ = false;
      self->goToTheSearchResultProductViewWithTheQueryString(std::exchange(self->pendingKeyword_, nullptr));
    });
  });
}

void SearchViewController::searchBarTextDidChange(const std::shared_ptr<UISearchBar>& searchBar,
                                                  const std::shared_ptr<NSString>&) {
  searchTableView_->setHidden(false);
  auto text = searchBar->text();
  if (!text || text->length() == 0) {
    searchTableView_->setHidden(true);
    return;
  }
  auto escaped = zvt::search::escapedQueryValue(text);
  auto address = storeMode()
                     ? NSString::stringWithFormat("%@%@%@", zvt::Configuration::URLStringWithPath("api/client.php?"),
                                                  "m=search_m&q="_ns, escaped)
                     : NSString::stringWithFormat("%@/sug?code=utf-8&extras=1&q=%@", zvt::Configuration::suggestionRoot(),
                                                  escaped);
  auto url = NSURL::URLWithString(address);
  if (!url) return;
  auto self = std::static_pointer_cast<SearchViewController>(controllerSelf());
  ZaveltoURLConnect::accessServerWithRequest(
      NSURLRequest::requestWithURL(url),
      [self, text](const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>&, const std::shared_ptr<NSError>& error) {
        if (error || !data) return;
        // A reply for a text that is no longer in the bar (typed over, or cleared) is dropped,
        // so the table never shows the words of an older keystroke.
        auto current = self->searchBar_ ? self->searchBar_->text() : nullptr;
        if (!current || !current->isEqualToString(text)) return;
        auto reply = as<NSDictionary>(objectFromJSONData(*data));
        auto list = reply ? as<NSArray>(reply->objectForKey("result"_ns)) : nullptr;
        std::shared_ptr<NSArray> rows;
        if (list) {
          // Rows are read by position: anything that is no array is skipped.
          auto kept = NSMutableArray::array();
          for (NSUInteger i = 0; i < list->count(); ++i)
            if (as<NSArray>(list->objectAtIndex(i))) kept->addObject(list->objectAtIndex(i));
          rows = kept;
        }
        self->resultArray_ = rows;
        dispatch_async(dispatch_get_main_queue(), [self] {
          self->searchTableView_->reloadData();
          self->searchTableView_->setSeparatorStyle(UITableViewCellSeparatorStyleSingleLine);
        });
      });
}

void SearchViewController::searchBarSearchButtonClicked(const std::shared_ptr<UISearchBar>& searchBar) {
  auto text = searchBar->text();
  if (!text || text->length() == 0) {
    showWithTitle("请输入你要搜的宝贝名字"_ns, nullptr);
    return;
  }
  searchTableView_->setHidden(true);
  searchBar->resignFirstResponder();
  if (!storeMode()) {
    s8Str_ = text;
    goToTheSearchResultProductViewWithTheQueryString(text);
    return;
  }
  auto results = zvt::makeScreen("StoreSearchResultViewController");
  auto navigation = navigationController();
  if (!results || !navigation) return;
  results->setValueForKey(resultArray_, "storeArray"_ns);
  navigation->pushViewController(results, true);
}

NSInteger SearchViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  const NSInteger count = resultArray_ ? static_cast<NSInteger>(resultArray_->count()) : 0;
  return storeMode() ? std::max<NSInteger>(count, 1) : count;
}

std::shared_ptr<UITableViewCell> SearchViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<SearchTableViewCell>(tableView->dequeueReusableCellWithIdentifier("Identifier"_ns));
  if (!cell) cell = UITableViewCell::initWithStyle<SearchTableViewCell>(UITableViewCellStyleDefault, "Identifier"_ns);
  const NSUInteger row = static_cast<NSUInteger>(indexPath->row());
  if (resultArray_ && row < resultArray_->count()) {
    id entry = resultArray_->objectAtIndex(row);
    cell->setUserInteractionEnabled(true);
    cell->titleLabel()->setText(zvt::search::rowText(entry, 0));
    cell->detailLabel()->setText(isSearchPush_ ? NSString::stringWithFormat("大约：%@件", zvt::search::rowText(entry, 1))
                                               : NSString::string());
  } else {
    cell->titleLabel()->setText("对不起，暂时没有您所要的内容"_ns);
    cell->detailLabel()->setText(NSString::string());
    cell->setUserInteractionEnabled(false);
  }
  return cell;
}

void SearchViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const std::shared_ptr<NSIndexPath>& indexPath) {
  const NSUInteger row = static_cast<NSUInteger>(indexPath->row());
  if (!resultArray_ || row >= resultArray_->count()) return;
  id entry = resultArray_->objectAtIndex(row);
  if (!storeMode()) {
    s8Str_ = zvt::search::rowText(entry, 0);
    goToTheSearchResultProductViewWithTheQueryString(s8Str_);
  } else {
    gotoTheSearchWebViewWithTheString(zvt::search::rowText(entry, 1), zvt::search::rowText(entry, 0));
  }
}

void SearchViewController::scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) {
  if (searchBar_) searchBar_->resignFirstResponder();
}

namespace zvt::search {

void registerSearchTipNib() {
  ui::registerNibFactory("TZSearchTipView", [](ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat W = screenWidth();
    auto view = nib.view<TZSearchTipView>(CGRectMake(0, 0, W, 170));
    view->setBackgroundColor(UIColor::whiteColor());
    auto picture = nib.view<UIImageView>(CGRectMake(15, 14, W - 30, 96));
    picture->setImage(UIImage::imageNamed("searchTipSteps"_ns));
    picture->setContentMode(UIViewContentModeScaleAspectFit);
    picture->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    view->addSubview(picture);
    auto button = nib.view<UIButton>(CGRectMake((W - 180) / 2, 120, 180, 34));
    button->setTitle("不会拿回扣？看看教程"_ns, UIControlStateNormal);
    button->setTitleColor(rgb(255, 110, 40), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    configLayerWithBorderWidth(button, 1, 17, rgb(255, 110, 40));
    button->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    button->addTarget(view, SEL(&TZSearchTipView::buttonClick), UIControlEventTouchUpInside);
    view->addSubview(button);
    return {view};
  });
}

}  // namespace zvt::search
