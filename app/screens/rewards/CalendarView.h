#pragma once
// The check-in screen's month grid: a row of week-day names (Sunday first), then one cell per
// day of the month of the moment it is built, in weeks starting on Sunday, with bare cells
// before the 1st and after the last day. A day the device has recorded as checked in (the
// user-defaults list "signData" of "month-day" texts) carries a coin, today's highlighted; in
// February the days 8 to 14 carry the extra-award picture unless checked in. Built once, in
// init; no paging, no taps.
//
// Days are those of the Gregorian calendar in the device's time zone
// (NSTimeZone::defaultTimeZone): the 1st stands in the column of its own weekday there, and the
// month has its length there.

#include <memory>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSDate.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

// One cell of the grid; its tag is its day (1 to monthLength), 0 for a bare cell.
class DateViewModel : public ParentView {
 public:
  // init: clipped, a 0.25-point border of RGB 220, 220, 220.
  void setUpWithFrame(CGRect frame) override;

  // The day number at (8, 3, 15, 15).
  void createDateLabel(const std::shared_ptr<NSString>& text);
  // A new coin at (20, 15, 16, 16) becomes cionIcon (each call adds one); the extra-award
  // picture goes.
  void createCionIcon();
  // The extra-award picture "singInExtra" at (16, 6, 0.088 W, 0.088 W).
  void createExtraAwardImageView();

  const std::shared_ptr<UILabel>& dateLabel() const { return dateLabel_; }
  const std::shared_ptr<UIImageView>& cionIcon() const { return cionIcon_; }
  const std::shared_ptr<UIImageView>& extraAwardImageView() const { return extraAwardImageView_; }

 private:
  std::shared_ptr<UILabel> dateLabel_;
  std::shared_ptr<UIImageView> cionIcon_;
  std::shared_ptr<UIImageView> extraAwardImageView_;
};

class CalendarView : public ParentView {
 public:
  // init: the whole grid (initCalendar); the view's frame becomes (0, 160, W, its height).
  static std::shared_ptr<CalendarView> make();
  void setUpWithFrame(CGRect frame) override;

  // Cell width trunc(W / 7 + 1) and height trunc(W / 7 - 10) for a screen W points wide.
  static CGFloat cellWidth(CGFloat screenWidth);
  static CGFloat cellHeight(CGFloat screenWidth);

  const std::shared_ptr<NSDate>& calendarDate() const { return calendarDate_; }
  const std::shared_ptr<NSCalendar>& gregorian() const { return gregorian_; }
  const std::vector<std::shared_ptr<NSString>>& weekNames() const { return weekNames_; }
  int32_t today() const { return today_; }
  int32_t currentMonth() const { return currentMonth_; }
  NSInteger monthLength() const { return monthLength_; }
  // The column (0 = Sunday) of the 1st.
  NSInteger firstColumn() const { return firstColumn_; }

 private:
  void initCalendar();

  std::shared_ptr<NSDate> calendarDate_;
  std::shared_ptr<NSCalendar> gregorian_;
  std::vector<std::shared_ptr<NSString>> weekNames_;
  int32_t today_ = 0;
  int32_t currentMonth_ = 0;
  NSInteger monthLength_ = 0;
  NSInteger firstColumn_ = 0;
};

namespace zvt::rewards {
// W and H: the screen's shorter and longer side (the screens are laid out for portrait).
CGSize portraitScreenSize();
// "month-day" without leading zeros, month first (7 March is "3-7"): the form of "signData".
std::shared_ptr<NSString> monthDayText(NSInteger month, NSInteger day);
}  // namespace zvt::rewards
