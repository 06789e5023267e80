#pragma once
// The Gregorian calendar: splitting a moment into fields in a time zone, building moments
// from fields, and calendar arithmetic (months clamp to their last day, days keep the wall
// clock across daylight-saving shifts).

#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSDate;
class NSLocale;
class NSTimeZone;

using NSCalendarUnit = NSUInteger;
inline constexpr NSCalendarUnit NSCalendarUnitEra = 1u << 1;
inline constexpr NSCalendarUnit NSCalendarUnitYear = 1u << 2;
inline constexpr NSCalendarUnit NSCalendarUnitMonth = 1u << 3;
inline constexpr NSCalendarUnit NSCalendarUnitDay = 1u << 4;
inline constexpr NSCalendarUnit NSCalendarUnitHour = 1u << 5;
inline constexpr NSCalendarUnit NSCalendarUnitMinute = 1u << 6;
inline constexpr NSCalendarUnit NSCalendarUnitSecond = 1u << 7;
inline constexpr NSCalendarUnit NSCalendarUnitWeekday = 1u << 9;
inline constexpr NSCalendarUnit NSCalendarUnitWeekdayOrdinal = 1u << 10;
inline constexpr NSCalendarUnit NSCalendarUnitNanosecond = 1u << 15;
inline constexpr NSCalendarUnit NSCalendarUnitCalendar = 1u << 20;
inline constexpr NSCalendarUnit NSCalendarUnitTimeZone = 1u << 21;
// The older names.
inline constexpr NSCalendarUnit NSEraCalendarUnit = NSCalendarUnitEra;
inline constexpr NSCalendarUnit NSYearCalendarUnit = NSCalendarUnitYear;
inline constexpr NSCalendarUnit NSMonthCalendarUnit = NSCalendarUnitMonth;
inline constexpr NSCalendarUnit NSDayCalendarUnit = NSCalendarUnitDay;
inline constexpr NSCalendarUnit NSHourCalendarUnit = NSCalendarUnitHour;
inline constexpr NSCalendarUnit NSMinuteCalendarUnit = NSCalendarUnitMinute;
inline constexpr NSCalendarUnit NSSecondCalendarUnit = NSCalendarUnitSecond;
inline constexpr NSCalendarUnit NSWeekdayCalendarUnit = NSCalendarUnitWeekday;

using NSCalendarOptions = NSUInteger;
inline constexpr NSCalendarOptions NSCalendarWrapComponents = 1u << 0;

inline constexpr NSInteger NSDateComponentUndefined = NSIntegerMax;
inline constexpr NSInteger NSUndefinedDateComponent = NSDateComponentUndefined;

inline const zvt::StaticString NSCalendarIdentifierGregorian{"gregorian"};
inline const zvt::StaticString NSGregorianCalendar{"gregorian"};

class NSCalendar;

// A set of calendar fields; a field not set is NSDateComponentUndefined.
class NSDateComponents : public NSObject {
 public:
  static std::shared_ptr<NSDateComponents> make() { return std::make_shared<NSDateComponents>(); }

  NSInteger era() const { return era_; }
  void setEra(NSInteger v) { era_ = v; }
  NSInteger year() const { return year_; }
  void setYear(NSInteger v) { year_ = v; }
  NSInteger month() const { return month_; }
  void setMonth(NSInteger v) { month_ = v; }
  NSInteger day() const { return day_; }
  void setDay(NSInteger v) { day_ = v; }
  NSInteger hour() const { return hour_; }
  void setHour(NSInteger v) { hour_ = v; }
  NSInteger minute() const { return minute_; }
  void setMinute(NSInteger v) { minute_ = v; }
  NSInteger second() const { return second_; }
  void setSecond(NSInteger v) { second_ = v; }
  NSInteger nanosecond() const { return nanosecond_; }
  void setNanosecond(NSInteger v) { nanosecond_ = v; }
  // 1 = Sunday ... 7 = Saturday.
  NSInteger weekday() const { return weekday_; }
  void setWeekday(NSInteger v) { weekday_ = v; }
  NSInteger weekdayOrdinal() const { return weekdayOrdinal_; }
  void setWeekdayOrdinal(NSInteger v) { weekdayOrdinal_ = v; }
  std::shared_ptr<NSCalendar> calendar() const { return calendar_; }
  void setCalendar(const std::shared_ptr<NSCalendar>& calendar) { calendar_ = calendar; }
  std::shared_ptr<NSTimeZone> timeZone() const { return timeZone_; }
  void setTimeZone(const std::shared_ptr<NSTimeZone>& zone) { timeZone_ = zone; }
  // The moment of the fields in their calendar (nil without one).
  std::shared_ptr<NSDate> date() const;

  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

 private:
  NSInteger era_ = NSDateComponentUndefined, year_ = NSDateComponentUndefined, month_ = NSDateComponentUndefined,
            day_ = NSDateComponentUndefined, hour_ = NSDateComponentUndefined, minute_ = NSDateComponentUndefined,
            second_ = NSDateComponentUndefined, nanosecond_ = NSDateComponentUndefined,
            weekday_ = NSDateComponentUndefined, weekdayOrdinal_ = NSDateComponentUndefined;
  std::shared_ptr<NSCalendar> calendar_;
  std::shared_ptr<NSTimeZone> timeZone_;
};

class NSCalendar : public NSObject {
 public:
  NSCalendar();

  // A Gregorian calendar in the default time zone.
  static std::shared_ptr<NSCalendar> currentCalendar();
  static std::shared_ptr<NSCalendar> autoupdatingCurrentCalendar() { return currentCalendar(); }
  // nil for any identifier but NSCalendarIdentifierGregorian: no other calendar is needed.
  static std::shared_ptr<NSCalendar> calendarWithIdentifier(const std::shared_ptr<NSString>& identifier);
  static std::shared_ptr<NSCalendar> initWithCalendarIdentifier(const std::shared_ptr<NSString>& identifier) {
    return calendarWithIdentifier(identifier);
  }

  std::shared_ptr<NSString> calendarIdentifier() const { return NSCalendarIdentifierGregorian; }
  std::shared_ptr<NSTimeZone> timeZone() const;
  void setTimeZone(const std::shared_ptr<NSTimeZone>& zone);  // nil: the default zone
  std::shared_ptr<NSLocale> locale() const;
  void setLocale(const std::shared_ptr<NSLocale>& locale);
  NSUInteger firstWeekday() const;
  void setFirstWeekday(NSUInteger weekday);

  // The fields named by `units` of the date in the calendar's zone (the others undefined).
  std::shared_ptr<NSDateComponents> components(NSCalendarUnit units, const std::shared_ptr<NSDate>& date) const;
  // The difference between two dates in the given units, largest unit first.
  std::shared_ptr<NSDateComponents> components(NSCalendarUnit units, const std::shared_ptr<NSDate>& fromDate,
                                               const std::shared_ptr<NSDate>& toDate, NSCalendarOptions options) const;
  NSInteger component(NSCalendarUnit unit, const std::shared_ptr<NSDate>& date) const;
  // Undefined fields count as the start of their range (year 1, month 1, day 1, 00:00:00);
  // fields out of range carry over (month 13 is January of the next year, day 0 the last
  // day of the month before).
  std::shared_ptr<NSDate> dateFromComponents(const std::shared_ptr<NSDateComponents>& components) const;
  std::shared_ptr<NSDate> dateByAddingComponents(const std::shared_ptr<NSDateComponents>& components,
                                                 const std::shared_ptr<NSDate>& date, NSCalendarOptions options) const;
  std::shared_ptr<NSDate> dateByAddingUnit(NSCalendarUnit unit, NSInteger value, const std::shared_ptr<NSDate>& date,
                                           NSCalendarOptions options) const;
  // Day in month: {1, length of the month}; hour in day {0, 24}; month in year {1, 12}...
  // {NSNotFound, 0} for pairs that make no sense.
  NSRange rangeOfUnit(NSCalendarUnit smaller, NSCalendarUnit larger, const std::shared_ptr<NSDate>& date) const;
  std::shared_ptr<NSDate> startOfDayForDate(const std::shared_ptr<NSDate>& date) const;
  bool isDateInToday(const std::shared_ptr<NSDate>& date) const;
  // isDate:inSameDayAsDate:
  bool isDate(const std::shared_ptr<NSDate>& date, const std::shared_ptr<NSDate>& inSameDayAsDate) const;

  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

 private:
  std::shared_ptr<NSTimeZone> zone() const;

  mutable std::mutex mutex_;
  std::shared_ptr<NSTimeZone> timeZone_;
  std::shared_ptr<NSLocale> locale_;
  NSUInteger firstWeekday_ = 1;
};
