#include "app/screens/rewards/InvitePagedList.h"

#include "analytics/StatAgent.h"
#include "app/api/APIClient.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"
#include "ui/refresh/PRRefreshList.h"

namespace zvt::invites {

void InvitePagedList::attach(const std::shared_ptr<UITableView>& table, std::function<void()> headerAction,
                             std::function<void()> footerAction) {
  table_ = table;
  pr_attachListRefresh(table, std::move(headerAction), std::move(footerAction));
}

void InvitePagedList::pullDown(const id& owner) {
  number_ = 1;
  load(owner);
}

void InvitePagedList::pullUp(const id& owner) {
  ++number_;
  load(owner);
}

void InvitePagedList::load(const id& owner) {
  auto self = shared_from_this();
  const NSInteger page = number_;
  const int serial = requests_.sent(page);
  auto fail = [self, owner, serial] {
    dispatch_async(dispatch_get_main_queue(), [self, owner, serial] {
      // A failed later page that a pull-down has overtaken changes nothing.
      if (!self->requests_.answered(serial)) self->failureLoad();
    });
  };
  APIClient::POST(
      "api/client.php?m=get_time"_ns, NSDictionary::make({{"code"_ns, timeRequestCode()}}),
      [self, owner, fail, page, serial](bool success, const id& reply, const std::shared_ptr<NSError>&) {
        id time = success && replyCode(reply) == 101 ? replyValue(reply, "time") : id();
        auto delegate = AppDelegate::shared();
        auto uid = exchange::textOf(delegate ? delegate->userInfoDictionary() : nullptr, "id");
        if (!isUsableTime(time) || !uid) {
          fail();
          return;
        }
        auto fields = NSDictionary::make({{"code"_ns, signatureForTime(time)},
                                          {"time"_ns, time},
                                          {"uid"_ns, uid},
                                          {"number"_ns, NSString::stringWithFormat("%ld", static_cast<long>(page))},
                                          {"ps"_ns, NSString::stringWithFormat("%ld", static_cast<long>(self->pageSize_))}});
        APIClient::POST(NSString::stringWithUTF8String("api/client.php?m=" + self->operation_), fields,
                        [self, owner, fail, page, serial](bool done, const id& reply, const std::shared_ptr<NSError>&) {
                          if (!done || replyCode(reply) != 101) {
                            fail();
                            return;
                          }
                          self->pageArrived(reply, page, serial);
                        });
      });
}

void InvitePagedList::pageArrived(const id& reply, NSInteger page, int serial) {
  // A later page that was still on its way when the user pulled down is dropped.
  if (requests_.answered(serial)) return;
  auto records = as<NSArray>(replyValue(reply, "data"));
  if (records && records->count() > 0) {
    if (page == 1) rows_->removeAllObjects();
    rows_->addObjectsFromArray(records);
  }
  const bool last = integerValueOf(replyValue(reply, "end")) == 1;
  auto self = shared_from_this();
  dispatch_async(dispatch_get_main_queue(), [self, last] {
    auto table = self->table_.lock();
    if (!table) return;
    table->reloadData();
    auto footer = pr_footer(table);
    if (footer) footer->endRefreshing();
    if (auto header = pr_header(table)) header->endRefreshing();
    if (footer && last) footer->endRefreshingWithNoMoreData();
  });
}

void InvitePagedList::failureLoad() {
  if (number_ >= 2) --number_;
  auto table = table_.lock();
  if (!table) return;
  if (auto footer = pr_footer(table)) footer->endRefreshing();
  if (auto header = pr_header(table)) header->endRefreshing();
}

std::shared_ptr<UIView> InvitePagedList::footerView(CGFloat width) const {
  if (rows_->count() == 0) return nullptr;
  auto strip = UIImageView::initWithImage(UIImage::imageNamed("juxing"_ns));
  strip->setFrame(CGRectMake(0, 0, width, width * 16 / 640));
  return strip;
}

std::shared_ptr<NSDictionary> InvitePagedList::recordAt(NSInteger row) const {
  if (row < 0 || static_cast<NSUInteger>(row) >= rows_->count()) return nullptr;
  return as<NSDictionary>(rows_->objectAtIndex(static_cast<NSUInteger>(row)));
}

std::shared_ptr<UIView> columnTitleStrip(CGRect frame, const std::vector<std::string>& titles,
                                         const std::vector<double>& shares) {
  auto strip = UIView::initWithFrame(frame);
  strip->setBackgroundColor(exchange::rgb(236, 236, 236));
  const CGFloat width = frame.size.width;
  const CGFloat height = frame.size.height;
  CGFloat x = 0;
  for (size_t i = 0; i < titles.size() && i < shares.size(); ++i) {
    auto label = UILabel::initWithFrame(CGRectMake(x, 0, width * shares[i], height));
    label->setText(NSString::stringWithUTF8String(titles[i]));
    label->setFont(UIFont::systemFontOfSize(14));
    label->setTextAlignment(NSTextAlignmentCenter);
    strip->addSubview(label);
    x += width * shares[i];
    if (i + 1 < titles.size()) {
      auto line = UIView::initWithFrame(CGRectMake(x, 10, 1, height - 20));
      line->setBackgroundColor(exchange::rgb(205, 205, 205));
      strip->addSubview(line);
    }
  }
  return strip;
}

std::shared_ptr<UILabel> rowLabel(CGRect frame, CGFloat fontSize, NSTextAlignment alignment, NSInteger lines) {
  auto label = UILabel::initWithFrame(frame);
  label->setFont(UIFont::systemFontOfSize(fontSize));
  label->setTextColor(UIColor::grayColor());
  label->setTextAlignment(alignment);
  label->setNumberOfLines(lines);
  return label;
}

void configScreen(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& title) {
  screen->setTitle(title);
  rewards::configPopItem(screen);
}

void screenWillAppear(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& page,
                      bool hidesTabBar) {
  rewards::appearWithWhiteBar(screen, page, hidesTabBar);
}

std::shared_ptr<NSString> recordText(const std::shared_ptr<NSDictionary>& record, const char* key) {
  auto text = exchange::textOf(record, key);
  return text ? text : ""_ns;
}

}  // namespace zvt::invites
