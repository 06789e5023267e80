#include "app/screens/rewards/CalendarView.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"

namespace zvt::rewards {

CGSize portraitScreenSize() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return CGSizeMake(std::min(size.width, size.height), std::max(size.width, size.height));
}

std::shared_ptr<NSString> monthDayText(NSInteger month, NSInteger day) {
  return NSString::stringWithUTF8String(std::to_string(month) + "-" + std::to_string(day));
}

}  // namespace zvt::rewards

namespace {

std::shared_ptr<UIColor> rgb(int r, int g, int b) { return UIColor::colorWithRed(r / 255.0, g / 255.0, b / 255.0, 1); }

}  // namespace

// --- DateViewModel

void DateViewModel::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setClipsToBounds(true);
  layer()->setBorderWidth(0.25);
  layer()->setBorderColor(rgb(220, 220, 220)->CGColor());
}

void DateViewModel::createDateLabel(const std::shared_ptr<NSString>& text) {
  dateLabel_ = UILabel::initWithFrame(CGRectMake(8, 3, 15, 15));
  dateLabel_->setFont(UIFont::fontWithName("HelveticaNeue"_ns, 12));
  dateLabel_->setTextColor(rgb(174, 174, 174));
  dateLabel_->setText(text);
  addSubview(dateLabel_);
}

void DateViewModel::createCionIcon() {
  cionIcon_ = UIImageView::initWithFrame(CGRectMake(20, 15, 16, 16));
  addSubview(cionIcon_);
  if (extraAwardImageView_) extraAwardImageView_->removeFromSuperview();
  extraAwardImageView_ = nullptr;
}

void DateViewModel::createExtraAwardImageView() {
  const CGFloat side = 0.088 * zvt::rewards::portraitScreenSize().width;
  extraAwardImageView_ = UIImageView::initWithFrame(CGRectMake(16, 6, side, side));
  extraAwardImageView_->setImage(UIImage::imageNamed("singInExtra"_ns));
  addSubview(extraAwardImageView_);
}

// --- CalendarView

std::shared_ptr<CalendarView> CalendarView::make() { return UIView::makeView<CalendarView>(CGRectZero); }

void CalendarView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  initCalendar();
}

CGFloat CalendarView::cellWidth(CGFloat screenWidth) { return std::trunc(screenWidth / 7 + 1.0); }
CGFloat CalendarView::cellHeight(CGFloat screenWidth) { return std::trunc(screenWidth / 7 - 10.0); }

void CalendarView::initCalendar() {
  const CGFloat W = zvt::rewards::portraitScreenSize().width;
  const CGFloat CW = cellWidth(W), CH = cellHeight(W);

  calendarDate_ = NSDate::date();
  // The device's zone, fixed for the grid's life: the month, its length and its first weekday
  // are all taken in it.
  gregorian_ = NSCalendar::calendarWithIdentifier(NSCalendarIdentifierGregorian);
  gregorian_->setTimeZone(NSTimeZone::defaultTimeZone());
  auto parts = gregorian_->components(
      NSCalendarUnitEra | NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay | NSCalendarUnitWeekday,
      calendarDate_);
  today_ = static_cast<int32_t>(parts->day());
  currentMonth_ = static_cast<int32_t>(parts->month());
  weekNames_ = {"日"_ns, "一"_ns, "二"_ns, "三"_ns, "四"_ns, "五"_ns, "六"_ns};

  auto header = UIView::initWithFrame(CGRectMake(0, 0, W, 21));
  header->setBackgroundColor(rgb(255, 244, 237));
  for (size_t i = 0; i < weekNames_.size(); ++i) {
    auto name = UILabel::initWithFrame(CGRectMake(static_cast<CGFloat>(i) * CW, 0, CW, 20));
    name->setTextAlignment(NSTextAlignmentCenter);
    name->setFont(UIFont::fontWithName("HelveticaNeue"_ns, 15));
    name->setTextColor(rgb(255, 100, 0));
    name->setText(weekNames_[i]);
    header->addSubview(name);
  }
  addSubview(header);
  bringSubviewToFront(header);

  // The 1st at midnight in the device's zone, and its weekday there (1 = Sunday).
  parts->setDay(1);
  parts->setWeekday(NSDateComponentUndefined);
  auto first = gregorian_->dateFromComponents(parts);
  firstColumn_ = first ? gregorian_->components(NSCalendarUnitWeekday, first)->weekday() - 1 : 0;
  monthLength_ = static_cast<NSInteger>(gregorian_->rangeOfUnit(NSCalendarUnitDay, NSCalendarUnitMonth, calendarDate_).length);

  auto defaults = NSUserDefaults::standardUserDefaults();
  auto signData = std::dynamic_pointer_cast<NSArray>(defaults->objectForKey("signData"_ns));
  auto todayText = zvt::rewards::monthDayText(currentMonth_, today_);
  for (NSInteger d = 1; d <= monthLength_; ++d) {
    const NSInteger p = d - 1 + firstColumn_;
    const NSInteger row = p / 7, column = p % 7;
    auto cell = UIView::makeView<DateViewModel>(
        CGRectMake(static_cast<CGFloat>(column) * CW, 20 + static_cast<CGFloat>(row) * CH, CW, CH));
    cell->setUserInteractionEnabled(true);
    cell->setTag(d);
    cell->createDateLabel(NSString::stringWithUTF8String(std::to_string(d)));
    addSubview(cell);
    if (currentMonth_ == 2 && d >= 8 && d <= 14) cell->createExtraAwardImageView();
    if (!signData) continue;
    auto dayText = zvt::rewards::monthDayText(currentMonth_, d);
    for (const id& entry : *signData) {
      auto text = std::dynamic_pointer_cast<NSString>(entry);
      if (!text || !text->isEqualToString(dayText)) continue;
      cell->createCionIcon();
      cell->cionIcon()->setImage(
          UIImage::imageNamed(text->isEqualToString(todayText) ? "cion_highlight"_ns : "cion_normal"_ns));
    }
  }
  for (NSInteger k = 0; k < firstColumn_; ++k) {
    addSubview(UIView::makeView<DateViewModel>(CGRectMake(static_cast<CGFloat>(k) * CW, 20, CW, CH)));
  }
  const NSInteger filled = monthLength_ + firstColumn_;
  const NSInteger rows = filled / 7 + (filled % 7 != 0 ? 1 : 0);
  if (const NSInteger r = filled % 7; r != 0) {
    for (NSInteger k = r; k < 7; ++k) {
      addSubview(UIView::makeView<DateViewModel>(
          CGRectMake(static_cast<CGFloat>(k) * CW, 20 + static_cast<CGFloat>(filled / 7) * CH, CW, CH)));
    }
  }
  setFrame(CGRectMake(0, 160, W, static_cast<CGFloat>(rows) * CH + 20));
}
