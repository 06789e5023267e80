#pragma once
// A moment in time, independent of any calendar or time zone. "Now" is read through the clock
// seam, so that tests on the virtual clock see the time they set.

#include <cstdint>
#include <memory>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSObject.h"

// Seconds from 1970-01-01 to the reference date 2001-01-01 00:00:00 UTC.
inline constexpr NSTimeInterval NSTimeIntervalSince1970 = 978307200.0;

class NSDate : public NSObject {
 public:
  explicit NSDate(NSTimeInterval sinceReferenceDate = 0) : interval_(sinceReferenceDate) {}

  // The current moment of the clock in force.
  static std::shared_ptr<NSDate> date();
  static std::shared_ptr<NSDate> dateWithTimeIntervalSinceNow(NSTimeInterval seconds);
  static std::shared_ptr<NSDate> dateWithTimeIntervalSince1970(NSTimeInterval seconds);
  static std::shared_ptr<NSDate> dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);
  static std::shared_ptr<NSDate> dateWithTimeInterval(NSTimeInterval seconds, const std::shared_ptr<NSDate>& sinceDate);
  // 0001-01-01 and 4001-01-01, the conventional "never" and "forever".
  static std::shared_ptr<NSDate> distantPast();
  static std::shared_ptr<NSDate> distantFuture();

  NSTimeInterval timeIntervalSinceReferenceDate() const { return interval_; }
  NSTimeInterval timeIntervalSince1970() const { return interval_ + NSTimeIntervalSince1970; }
  NSTimeInterval timeIntervalSinceNow() const;
  NSTimeInterval timeIntervalSinceDate(const std::shared_ptr<NSDate>& other) const;
  std::shared_ptr<NSDate> dateByAddingTimeInterval(NSTimeInterval seconds) const;

  NSComparisonResult compare(const std::shared_ptr<NSDate>& other) const;
  bool isEqualToDate(const std::shared_ptr<NSDate>& other) const;
  std::shared_ptr<NSDate> earlierDate(const std::shared_ptr<NSDate>& other) const;
  std::shared_ptr<NSDate> laterDate(const std::shared_ptr<NSDate>& other) const;

  // "2001-01-01 00:00:00 +0000": the moment in UTC, whole seconds.
  std::shared_ptr<NSString> description() const override;
  std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  // Dates are immutable: a copy is the date itself.
  id copyWithZone() const override;

 private:
  NSTimeInterval interval_;  // seconds since the reference date
};

// Proleptic Gregorian calendar arithmetic on days since 1970-01-01, shared by the calendar,
// the time zones and the date formatter.
namespace zvt {

constexpr int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
constexpr int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

constexpr bool isLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int64_t daysInMonth(int64_t year, int64_t month) {
  constexpr int64_t lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

constexpr int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = floorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr void civilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = floorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

// 0 = Sunday ... 6 = Saturday.
constexpr int64_t weekdayFromDays(int64_t z) { return floorMod(z + 4, 7); }

}  // namespace zvt
