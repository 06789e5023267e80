#include "app/screens/rewards/TZMessageViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/DetailViewController.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/InvitePagedList.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "ui/layout/LCAdditions.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"
#include "ui/refresh/PRRefreshList.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;

namespace {

const auto kPageName = "站内信页"_ns;
const auto kCellIdentifier = "TZMessageCell"_ns;

// A model's value as label text: a text as it is, a number written out, nothing else.
std::shared_ptr<NSString> shown(const id& value) {
  if (auto text = zvt::as<NSString>(value)) return text;
  if (auto number = zvt::as<NSNumber>(value)) return number->stringValue();
  return ""_ns;
}

}  // namespace

// --- The row ------------------------------------------------------------------------------

void TZMessageCell::setMessageModel(const std::shared_ptr<TZMessageModel>& model) {
  if (!model) return;
  messageModel_ = model;
  setNeedsLayout();
  layoutIfNeeded();
}

void TZMessageCell::awakeFromNib() {
  ParentTableViewCell::awakeFromNib();
  configLayerWithBorderWidth(bgView(), 1, 4, rgb(222, 222, 222));
}

void TZMessageCell::layoutSubviews() {
  if (messageModel_) {
    if (auto title = messageTitleLabel()) title->setText(shown(messageModel_->title));
    if (auto time = messageTimeLabel()) time->setText(shown(messageModel_->addtime));
  }
  ParentTableViewCell::layoutSubviews();
}

CGFloat TZMessageCell::getCellHeightWith(const std::shared_ptr<TZMessageModel>& model, CGFloat width) {
  // Kept for the life of the process (never destroyed, so that no exit meets it).
  static auto* sizing = new std::shared_ptr<TZMessageCell>(loadFromNib<TZMessageCell>());
  auto cell = *sizing;
  if (!cell) return 0;
  cell->setMessageModel(model);
  cell->setBounds(CGRectMake(0, 0, width, cell->bounds().size.height));
  if (auto title = cell->messageTitleLabel()) title->setPreferredMaxLayoutWidth(title->frame().size.width);
  cell->setNeedsLayout();
  cell->layoutIfNeeded();
  return cell->contentView()->systemLayoutSizeFittingSize(UILayoutFittingCompressedSize).height + 1;
}

void TZMessageCell::registerNib() {
  zvt::ui::registerNibFactory("TZMessageCell", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = portraitScreen().width;
    auto cell = nib.view<TZMessageCell>(CGRectMake(0, 0, width, 80));
    cell->setBackgroundColor(UIColor::clearColor());
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    auto content = cell->contentView();
    auto card = nib.view<UIView>(CGRectMake(10, 10, width - 20, 70));
    card->setBackgroundColor(UIColor::whiteColor());
    content->addSubview(card);
    auto title = nib.view<UILabel>(CGRectMake(12, 12, width - 44, 20));
    title->setFont(UIFont::systemFontOfSize(15));
    title->setTextColor(rgb(51, 51, 51));
    title->setNumberOfLines(0);
    card->addSubview(title);
    auto time = nib.view<UILabel>(CGRectMake(12, 40, width - 44, 16));
    time->setFont(UIFont::systemFontOfSize(12));
    time->setTextColor(rgb(153, 153, 153));
    card->addSubview(time);
    lc_makeConstraints(card, [&](const auto& make) {
      make->top()->equalTo(content)->offset(10);
      make->left()->equalTo(content)->offset(10);
      make->right()->equalTo(content)->offset(-10);
      make->bottom()->equalTo(content)->offset(0);
    });
    lc_makeConstraints(title, [&](const auto& make) {
      make->top()->equalTo(card)->offset(12);
      make->left()->equalTo(card)->offset(12);
      make->right()->equalTo(card)->offset(-12);
    });
    lc_makeConstraints(time, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(title))->offset(8);
      make->left()->equalTo(card)->offset(12);
      make->right()->equalTo(card)->offset(-12);
      make->bottom()->equalTo(card)->offset(-12);
    });
    cell->bgView_ = card;
    cell->messageTitleLabel_ = title;
    cell->messageTimeLabel_ = time;
    return {cell};
  });
}

CGFloat TZMessageHeights::heightOf(const std::shared_ptr<TZMessageModel>& model, CGFloat width) {
  auto found = heights_.find(model.get());
  if (found != heights_.end() && found->second.width == width) return found->second.height;
  const CGFloat height = TZMessageCell::getCellHeightWith(model, width);
  heights_[model.get()] = {width, height};
  return height;
}

// --- The screen ---------------------------------------------------------------------------

void TZMessageViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  createUI();
}

void TZMessageViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::invites::screenWillAppear(controllerSelf(), kPageName, true);
}

void TZMessageViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void TZMessageViewController::createUI() {
  zvt::invites::configScreen(controllerSelf(), "站内信"_ns);
  std::weak_ptr<TZMessageViewController> weakSelf = messageSelf();
  const CGSize screen = portraitScreen();
  messageTabelView_ = UITableView::initWithFrame(CGRectMake(0, 0, screen.width, screen.height - 20), UITableViewStylePlain);
  messageTabelView_->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
  messageTabelView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  messageTabelView_->setTableFooterView(UIView::make());
  messageTabelView_->setDataSource(messageSelf());
  messageTabelView_->setDelegate(messageSelf());
  messageTabelView_->registerNib(::registerNib<TZMessageCell>(), kCellIdentifier);
  view()->addSubview(messageTabelView_);

  pr_attachListRefresh(
      messageTabelView_, [weakSelf] { if (auto screen = weakSelf.lock()) screen->heaerRefreshing(); },
      [weakSelf] { if (auto screen = weakSelf.lock()) screen->footerRefreshing(); });
}

void TZMessageViewController::heaerRefreshing() {
  page_ = 1;
  getMessages();
}

void TZMessageViewController::footerRefreshing() {
  ++page_;
  getMessages();
}

void TZMessageViewController::getMessages() {
  auto delegate = AppDelegate::shared();
  auto uid = zvt::exchange::textOf(delegate ? delegate->userInfoDictionary() : nullptr, "id");
  auto parameters = NSMutableDictionary::dictionary();
  if (uid) parameters->setObject(uid, "id"_ns);
  parameters->setObject(NSString::stringWithFormat("%d", page_), "number"_ns);
  const int32_t page = page_;
  const int serial = requests_.sent(page);
  // The completion holds the screen until it has run.
  auto self = messageSelf();
  ZVTAPIClient::getMessageWith(parameters, [self, page, serial](const std::shared_ptr<NSArray>& models, const id& end,
                                                                const std::shared_ptr<NSString>& failure) {
    dispatch_async(dispatch_get_main_queue(), [self, models, end, failure, page, serial] {
      self->pageArrived(models, end, failure, page, serial);
    });
  });
}

void TZMessageViewController::pageArrived(const std::shared_ptr<NSArray>& models, const id& end,
                                          const std::shared_ptr<NSString>& failure, int32_t page, int serial) {
  // A later page that was still on its way when the user pulled down is dropped.
  if (requests_.answered(serial)) return;
  auto header = pr_header(messageTabelView_);
  auto footer = pr_footer(messageTabelView_);
  if (failure) {
    // The rows stay and the page keeps its number: the next pull-up asks the page after it.
    if (footer) footer->endRefreshing();
    if (header) header->endRefreshing();
    createErrorView();
    return;
  }
  if (noMessageTipView_) {
    noMessageTipView_->removeFromSuperview();
    noMessageTipView_ = nullptr;
  }
  if (models && models->count() > 0) {
    if (page == 1) {
      dataArray_->removeAllObjects();
      heights_.clear();
    }
    dataArray_->addObjectsFromArray(models);
    messageTabelView_->reloadData();
  }
  if (footer) footer->endRefreshing();
  if (header) header->endRefreshing();
  // Only the number 1 ends the list (a text "1" or a 1.5 does not).
  if (footer && end && end->isEqual(NSNumber::numberWithInt(1))) footer->endRefreshingWithNoMoreData();
}

void TZMessageViewController::createErrorView() {
  if (!noMessageTipView_) {
    noMessageTipView_ = loadFromNib<TZNoMessageTipView>();
    if (!noMessageTipView_) return;
    const CGSize screen = portraitScreen();
    noMessageTipView_->setFrame(CGRectMake(0, 0, screen.width, screen.height - 64));
    view()->addSubview(noMessageTipView_);
    std::weak_ptr<TZMessageViewController> weakSelf = messageSelf();
    noMessageTipView_->setRefreshBlock([weakSelf](const id&) {
      auto screen = weakSelf.lock();
      // The placeholder stays until a reply takes it away: a tap while a page is on its way
      // sends nothing more (the page would be appended twice).
      if (!screen || screen->isLoading()) return;
      screen->getMessages();
    });
  }
  noMessageTipView_->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                                       NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns), "点击重试"_ns,
                                       false);
}

std::shared_ptr<TZMessageModel> TZMessageViewController::modelAt(NSInteger row) const {
  if (row < 0 || static_cast<NSUInteger>(row) >= dataArray_->count()) return nullptr;
  return zvt::as<TZMessageModel>(dataArray_->objectAtIndex(static_cast<NSUInteger>(row)));
}

NSInteger TZMessageViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) {
  return static_cast<NSInteger>(dataArray_->count());
}

std::shared_ptr<UITableViewCell> TZMessageViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = tableView->dequeueReusableCellWithIdentifier(kCellIdentifier, indexPath);
  if (auto message = std::dynamic_pointer_cast<TZMessageCell>(cell)) {
    message->setSelectionStyle(UITableViewCellSelectionStyleNone);
    message->setMessageModel(modelAt(indexPath->row()));
  }
  return cell;
}

CGFloat TZMessageViewController::tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) {
  auto model = modelAt(indexPath->row());
  return model ? heights_.heightOf(model, tableView->bounds().size.width) : 0;
}

void TZMessageViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                               const std::shared_ptr<NSIndexPath>& indexPath) {
  auto model = modelAt(indexPath->row());
  if (!model || !navigationController()) return;
  auto detail = DetailViewController::make();
  detail->setContent(zvt::as<NSString>(model->content));
  navigationController()->pushViewController(detail, true);
}
