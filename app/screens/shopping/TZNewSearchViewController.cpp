#include "app/screens/shopping/TZNewSearchViewController.h"

#include <utility>

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"

using zvt::as;

using zvt::shopping::rgb;

// --- TZSearchCollectionViewCell ---------------------------------------------------------------

void TZSearchCollectionViewCell::setUpWithFrame(CGRect frame) {
  UICollectionViewCell::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  configLayerWithBorderWidth(viewSelf(), 0.5, frame.size.height / 2, rgb(204, 204, 204));
  createUI();
}

void TZSearchCollectionViewCell::createUI() {
  hotLabel_ = UILabel::initWithFrame(bounds());
  hotLabel_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  hotLabel_->setFont(UIFont::systemFontOfSize(14));
  hotLabel_->setTextAlignment(NSTextAlignmentCenter);
  hotLabel_->setTextColor(rgb(51, 51, 51));
  contentView()->addSubview(hotLabel_);
}

void TZSearchCollectionViewCell::setHotKey(const std::shared_ptr<NSString>& hotKey) {
  if (!hotKey) return;
  hotKey_ = hotKey;
  hotLabel_->setText(hotKey);
}

// --- TZSearchView -----------------------------------------------------------------------------

void TZSearchView::setOutlets(const std::shared_ptr<UITextField>& field, const std::shared_ptr<UICollectionView>& grid,
                              const std::shared_ptr<UIScrollView>& scroll,
                              const std::shared_ptr<NSLayoutConstraint>& bottom,
                              const std::shared_ptr<NSLayoutConstraint>& contentHeight,
                              const std::shared_ptr<UIView>& content) {
  searchTextField_ = field;
  searchCollectionView_ = grid;
  bgScrollView_ = scroll;
  bgScrollViewBottomConstraint_ = bottom;
  contentViewConstraintH_ = contentHeight;
  contentView_ = content;
}

void TZSearchView::awakeFromNib() {
  ParentView::awakeFromNib();
  if (auto grid = searchCollectionView()) grid->registerClass<TZSearchCollectionViewCell>("TZSearchCollectionViewCell"_ns);
  if (auto field = searchTextField()) field->setClearButtonMode(UITextFieldViewModeWhileEditing);
}

void TZSearchView::updateConstraints() {
  const CGFloat longer = zvt::search::screenHeight();
  auto bottom = bgScrollViewBottomConstraint();
  auto height = contentViewConstraintH();
  if (longer <= 568) {
    if (bottom) bottom->setConstant(0);
    if (height) height->setConstant(100);
  } else if (bottom) {
    bottom->setConstant(-121);
  }
  ParentView::updateConstraints();
}

void TZSearchView::layoutSubviews() {
  ParentView::layoutSubviews();
  // The content view's height is the scroll view's plus the constraint's constant.
  if (auto scroll = bgScrollView())
    if (auto content = contentView_.lock()) scroll->setContentSize(content->frame().size);
}

void TZSearchView::searchClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

void TZSearchView::courseClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

// --- TZNewSearchViewController ----------------------------------------------------------------

TZNewSearchViewController::TZNewSearchViewController() : dataArray_(NSMutableArray::array()) {}

void TZNewSearchViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  setTitle("淘宝回扣"_ns);
  createUI();
  getHotKeyword();
}

void TZNewSearchViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  StatAgent::beginLogPageView("淘宝回扣页"_ns);
}

void TZNewSearchViewController::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (auto shell = zvt::shellOf(controllerSelf())) shell->showTabbar();
}

void TZNewSearchViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("淘宝回扣页"_ns);
  if (auto window = view()->window()) window->endEditing(true);
}

void TZNewSearchViewController::createUI() {
  searchView_ = loadFromNib<TZSearchView>();
  if (!searchView_) return;
  // The view keeps the height it is given here (the whole screen's), wherever the bar puts the
  // controller's view: the bottom constraint's constants count the bars from it.
  searchView_->setFrame(view()->bounds());
  view()->addSubview(searchView_);
  auto self = std::static_pointer_cast<TZNewSearchViewController>(controllerSelf());
  if (auto scroll = searchView_->bgScrollView()) {
    auto tap = UITapGestureRecognizer::initWithTarget(self, SEL(&TZNewSearchViewController::keyboardHide));
    // Taps on the hot keywords must still reach the grid.
    tap->setCancelsTouchesInView(false);
    scroll->addGestureRecognizer(tap);
  }
  if (auto grid = searchView_->searchCollectionView()) {
    grid->setDataSource(std::static_pointer_cast<UICollectionViewDataSource>(self));
    grid->setDelegate(std::static_pointer_cast<UICollectionViewDelegate>(self));
  }
  if (auto field = searchView_->searchTextField()) field->setDelegate(std::static_pointer_cast<UITextFieldDelegate>(self));
  std::weak_ptr<TZNewSearchViewController> weak = self;
  searchView_->setMyBlock([weak](const id& sender) {
    if (auto strong = weak.lock()) strong->buttonAction(sender);
  });
}

void TZNewSearchViewController::getHotKeyword() {
  auto self = std::static_pointer_cast<TZNewSearchViewController>(controllerSelf());
  APIClient::POST("api/client.php?m=get_tao_config"_ns, nullptr,
                  [self](bool success, const id& result, const std::shared_ptr<NSError>&) {
                    auto reply = as<NSDictionary>(result);
                    if (!success || !reply) return;
                    // A list of texts; anything else in it is skipped.
                    auto hot = as<NSArray>(reply->objectForKey("hotKey"_ns));
                    if (!hot) return;
                    for (NSUInteger i = 0; i < hot->count(); ++i)
                      if (auto word = as<NSString>(hot->objectAtIndex(i))) self->dataArray_->addObject(word);
                    if (self->searchView_)
                      if (auto grid = self->searchView_->searchCollectionView()) grid->reloadData();
                  });
}

void TZNewSearchViewController::buttonAction(const id& sender) {
  auto view = as<UIView>(sender);
  if (!view) return;
  if (view->tag() == 2) {
    if (auto course = zvt::makeScreen("CourseViewController"))
      if (auto navigation = navigationController()) navigation->pushViewController(course, true);
  } else if (view->tag() == 1) {
    searchFieldText(true);
  }
}

void TZNewSearchViewController::searchFieldText(bool logEvent) {
  auto field = searchView_ ? searchView_->searchTextField() : nullptr;
  auto text = field ? field->text() : nullptr;
  if (!text || text->length() == 0) {
    showWithTitle(nullptr, "请输入要搜索的宝贝"_ns);
    return;
  }
  if (logEvent) StatAgent::event("RebateSearch"_ns);
  field->resignFirstResponder();
  goToTheSearchResultProductViewWithTheQueryString(text);
}

void TZNewSearchViewController::keyboardHide() {
  if (searchView_)
    if (auto field = searchView_->searchTextField()) field->resignFirstResponder();
}

bool TZNewSearchViewController::textFieldShouldReturn(const std::shared_ptr<UITextField>&) {
  searchFieldText(false);
  return true;
}

void TZNewSearchViewController::goToTheSearchResultProductViewWithTheQueryString(const std::shared_ptr<NSString>& keyword) {
  if (pidStr_) {
    gotoS8(keyword, pidStr_);
    return;
  }
  pendingKeyword_ = keyword;
  if (configurationFetching_) return;
  configurationFetching_ = true;
  auto self = std::static_pointer_cast<TZNewSearchViewController>(controllerSelf());
  zvt::search::fetchSearchConfiguration([self](const zvt::search::SearchConfiguration& configuration) {
    // The tab reads only the pid: every search from here opens the affiliate page.
    self->pidStr_ = configuration.pid;
    dispatch_async(dispatch_get_main_queue(), [self] {
      self->configurationFetching_ = false;
      self->goToTheSearchResultProductViewWithTheQueryString(std::exchange(self->pendingKeyword_, nullptr));
    });
  });
}

void TZNewSearchViewController::gotoS8(const std::shared_ptr<NSString>& keyword, const std::shared_ptr<NSString>& pid) {
  auto address = zvt::search::affiliateSearchAddress(pid, keyword, zvt::search::userIdOrZero());
  zvt::search::pushAffiliatePage(controllerSelf(), keyword, address, true);
}

NSInteger TZNewSearchViewController::collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&,
                                                                          NSInteger) {
  return static_cast<NSInteger>(dataArray_->count());
}

std::shared_ptr<UICollectionViewCell> TZNewSearchViewController::collectionViewCellForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = std::dynamic_pointer_cast<TZSearchCollectionViewCell>(
      collectionView->dequeueReusableCellWithReuseIdentifier("TZSearchCollectionViewCell"_ns, indexPath));
  if (cell && dataArray_->count() > 0 && static_cast<NSUInteger>(indexPath->row()) < dataArray_->count())
    cell->setHotKey(as<NSString>(dataArray_->objectAtIndex(static_cast<NSUInteger>(indexPath->row()))));
  return cell;
}

void TZNewSearchViewController::collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                                       const std::shared_ptr<NSIndexPath>& indexPath) {
  if (static_cast<NSUInteger>(indexPath->row()) >= dataArray_->count()) return;
  StatAgent::event("TopSearch"_ns);
  goToTheSearchResultProductViewWithTheQueryString(
      as<NSString>(dataArray_->objectAtIndex(static_cast<NSUInteger>(indexPath->row()))));
}

// --- the nib ----------------------------------------------------------------------------------

namespace zvt::search {

void registerTaobaoTabNib() {
  ui::registerNibFactory("TZSearchView", [](ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat W = screenWidth(), H = screenHeight();
    auto view = nib.view<TZSearchView>(CGRectMake(0, 0, W, H));
    view->setBackgroundColor(rgb(242, 242, 242));
    auto scroll = nib.view<UIScrollView>(CGRectMake(0, 0, W, H - 121));
    scroll->setTranslatesAutoresizingMaskIntoConstraints(false);
    scroll->setAlwaysBounceVertical(true);
    view->addSubview(scroll);
    // Across the view from its top; the bottom and the content's height adapt to the screen.
    auto bottom = NSLayoutConstraint::constraintWithItem(scroll, NSLayoutAttributeBottom, NSLayoutRelationEqual, view,
                                                         NSLayoutAttributeBottom, 1, -121);
    view->addConstraints({NSLayoutConstraint::constraintWithItem(scroll, NSLayoutAttributeTop, NSLayoutRelationEqual, view,
                                                                 NSLayoutAttributeTop, 1, 0),
                          NSLayoutConstraint::constraintWithItem(scroll, NSLayoutAttributeLeft, NSLayoutRelationEqual,
                                                                 view, NSLayoutAttributeLeft, 1, 0),
                          NSLayoutConstraint::constraintWithItem(scroll, NSLayoutAttributeRight, NSLayoutRelationEqual,
                                                                 view, NSLayoutAttributeRight, 1, 0),
                          bottom});
    auto content = nib.view<UIView>(CGRectMake(0, 0, W, H - 121));
    content->setTranslatesAutoresizingMaskIntoConstraints(false);
    scroll->addSubview(content);
    auto contentHeight = NSLayoutConstraint::constraintWithItem(content, NSLayoutAttributeHeight, NSLayoutRelationEqual,
                                                                scroll, NSLayoutAttributeHeight, 1, 0);
    view->addConstraints({NSLayoutConstraint::constraintWithItem(content, NSLayoutAttributeTop, NSLayoutRelationEqual,
                                                                 scroll, NSLayoutAttributeTop, 1, 0),
                          NSLayoutConstraint::constraintWithItem(content, NSLayoutAttributeLeft, NSLayoutRelationEqual,
                                                                 scroll, NSLayoutAttributeLeft, 1, 0),
                          NSLayoutConstraint::constraintWithItem(content, NSLayoutAttributeWidth, NSLayoutRelationEqual,
                                                                 scroll, NSLayoutAttributeWidth, 1, 0),
                          contentHeight});

    auto field = nib.view<UITextField>(CGRectMake(15, 20, W - 30 - 80, 38));
    field->setBackgroundColor(UIColor::whiteColor());
    field->setBorderStyle(UITextBorderStyleNone);
    configLayerWithBorderWidth(field, 1, 4, rgb(222, 222, 222));
    field->setFont(UIFont::systemFontOfSize(14));
    field->setTextColor(rgb(51, 51, 51));
    field->setPlaceholder("输入宝贝名称，搜索拿回扣"_ns);
    field->setReturnKeyType(UIReturnKeySearch);
    auto padding = nib.view<UIView>(CGRectMake(0, 0, 10, 38));
    field->setLeftView(padding);
    field->setLeftViewMode(UITextFieldViewModeAlways);
    field->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    content->addSubview(field);

    auto search = nib.view<UIButton>(CGRectMake(W - 15 - 72, 20, 72, 38));
    search->setTag(1);
    search->setTitle("搜索"_ns, UIControlStateNormal);
    search->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    search->titleLabel()->setFont(UIFont::systemFontOfSize(16));
    search->setBackgroundColor(rgb(255, 110, 40));
    configLayerWithBorderWidth(search, 0, 4, nullptr);
    search->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    search->addTarget(view, SEL(&TZSearchView::searchClick), UIControlEventTouchUpInside);
    content->addSubview(search);

    auto heading = nib.view<UILabel>(CGRectMake(15, 76, W - 30, 20));
    heading->setText("热门搜索"_ns);
    heading->setFont(UIFont::systemFontOfSize(15));
    heading->setTextColor(rgb(51, 51, 51));
    content->addSubview(heading);

    auto layout = UICollectionViewFlowLayout::make();
    layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
    layout->setItemSize(CGSizeMake((W - 50) / 3, 32));
    layout->setMinimumInteritemSpacing(10);
    layout->setMinimumLineSpacing(12);
    layout->setSectionInset(UIEdgeInsetsMake(4, 15, 4, 15));
    // Four rows of three: room for twelve keywords.
    auto grid = UICollectionView::initWithFrame(CGRectMake(0, 104, W, 4 * 44 + 8), layout);
    nib.adopt(grid);
    grid->setBackgroundColor(UIColor::clearColor());
    grid->setScrollEnabled(false);
    grid->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    content->addSubview(grid);

    auto course = nib.view<UIButton>(CGRectMake(15, 306, W - 30, 42));
    course->setTag(2);
    course->setTitle("新手教程：怎样拿淘宝回扣？"_ns, UIControlStateNormal);
    course->setTitleColor(rgb(255, 110, 40), UIControlStateNormal);
    course->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    course->setBackgroundColor(UIColor::whiteColor());
    configLayerWithBorderWidth(course, 1, 4, rgb(255, 110, 40));
    course->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    course->addTarget(view, SEL(&TZSearchView::courseClick), UIControlEventTouchUpInside);
    content->addSubview(course);

    view->setOutlets(field, grid, scroll, bottom, contentHeight, content);
    return {view};
  });
}

}  // namespace zvt::search
