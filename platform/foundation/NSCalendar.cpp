#include "platform/foundation/NSCalendar.h"

#include <cmath>
#include <cstdlib>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSTimeZone.h"

namespace {

constexpr int64_t kDay = 86400;

bool defined(NSInteger v) { return v != NSDateComponentUndefined; }

// Fields this large mean nothing as a date and would overflow the arithmetic.
bool sane(NSInteger v) { return !defined(v) || (v > -(int64_t(1) << 40) && v < (int64_t(1) << 40)); }

bool allSane(const NSDateComponents& c) {
  return sane(c.era()) && sane(c.year()) && sane(c.month()) && sane(c.day()) && sane(c.hour()) && sane(c.minute()) &&
         sane(c.second()) && sane(c.weekday()) && sane(c.weekdayOrdinal());
}

// Wall-clock seconds (as if in UTC) of a Gregorian date and time; months and days out of
// range carry over.
int64_t localSecondsOf(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second) {
  year += zvt::floorDiv(month - 1, 12);
  month = zvt::floorMod(month - 1, 12) + 1;
  return (zvt::daysFromCivil(year, month, 1) + day - 1) * kDay + hour * 3600 + minute * 60 + second;
}

// Adds years and months to a wall-clock date; the day is clamped to the new month's length.
zvt::LocalFields addMonths(zvt::LocalFields f, int64_t months) {
  int64_t total = f.year * 12 + (f.month - 1) + months;
  f.year = zvt::floorDiv(total, 12);
  f.month = zvt::floorMod(total, 12) + 1;
  f.day = std::min(f.day, zvt::daysInMonth(f.year, f.month));
  return f;
}

double unixOf(const std::shared_ptr<NSDate>& date) { return date ? date->timeIntervalSince1970() : 0.0; }

// Splits a moment into whole seconds and a fraction, keeping the fraction non-negative.
void split(double unix, int64_t& secs, double& frac) {
  double whole = std::floor(unix);
  secs = static_cast<int64_t>(whole);
  frac = unix - whole;
}

}  // namespace

std::shared_ptr<NSDate> NSDateComponents::date() const {
  if (!calendar_) return nullptr;
  return calendar_->dateFromComponents(std::static_pointer_cast<NSDateComponents>(std::const_pointer_cast<NSObject>(self())));
}

bool NSDateComponents::isEqual(const id& other) const {
  auto o = zvt::as<NSDateComponents>(other);
  return o && o->era_ == era_ && o->year_ == year_ && o->month_ == month_ && o->day_ == day_ && o->hour_ == hour_ &&
         o->minute_ == minute_ && o->second_ == second_ && o->nanosecond_ == nanosecond_ &&
         o->weekday_ == weekday_ && o->weekdayOrdinal_ == weekdayOrdinal_;
}

NSUInteger NSDateComponents::hash() const {
  return NSUInteger(year_) * 31 * 31 + NSUInteger(month_) * 31 + NSUInteger(day_);
}

id NSDateComponents::copyWithZone() const { return std::make_shared<NSDateComponents>(*this); }

NSCalendar::NSCalendar() : locale_(NSLocale::currentLocale()) {}

std::shared_ptr<NSCalendar> NSCalendar::currentCalendar() { return std::make_shared<NSCalendar>(); }

std::shared_ptr<NSCalendar> NSCalendar::calendarWithIdentifier(const std::shared_ptr<NSString>& identifier) {
  if (!identifier || !identifier->isEqualToString("gregorian")) return nullptr;
  return std::make_shared<NSCalendar>();
}

std::shared_ptr<NSTimeZone> NSCalendar::zone() const {
  std::lock_guard lock(mutex_);
  return timeZone_ ? timeZone_ : NSTimeZone::defaultTimeZone();
}

std::shared_ptr<NSTimeZone> NSCalendar::timeZone() const { return zone(); }

void NSCalendar::setTimeZone(const std::shared_ptr<NSTimeZone>& zone) {
  std::lock_guard lock(mutex_);
  timeZone_ = zone;
}

std::shared_ptr<NSLocale> NSCalendar::locale() const {
  std::lock_guard lock(mutex_);
  return locale_;
}

void NSCalendar::setLocale(const std::shared_ptr<NSLocale>& locale) {
  std::lock_guard lock(mutex_);
  locale_ = locale;
}

NSUInteger NSCalendar::firstWeekday() const {
  std::lock_guard lock(mutex_);
  return firstWeekday_;
}

void NSCalendar::setFirstWeekday(NSUInteger weekday) {
  std::lock_guard lock(mutex_);
  if (weekday >= 1 && weekday <= 7) firstWeekday_ = weekday;
}

std::shared_ptr<NSDateComponents> NSCalendar::components(NSCalendarUnit units,
                                                         const std::shared_ptr<NSDate>& date) const {
  auto c = NSDateComponents::make();
  if (!date) return c;
  auto tz = zone();
  auto f = tz->localFields(date->timeIntervalSince1970());
  if (units & NSCalendarUnitEra) c->setEra(f.year > 0 ? 1 : 0);
  if (units & NSCalendarUnitYear) c->setYear(f.year > 0 ? f.year : 1 - f.year);
  if (units & NSCalendarUnitMonth) c->setMonth(f.month);
  if (units & NSCalendarUnitDay) c->setDay(f.day);
  if (units & NSCalendarUnitHour) c->setHour(f.hour);
  if (units & NSCalendarUnitMinute) c->setMinute(f.minute);
  if (units & NSCalendarUnitSecond) c->setSecond(f.second);
  if (units & NSCalendarUnitNanosecond) c->setNanosecond(f.nanosecond);
  if (units & NSCalendarUnitWeekday) c->setWeekday(f.weekday);
  if (units & NSCalendarUnitWeekdayOrdinal) c->setWeekdayOrdinal((f.day - 1) / 7 + 1);
  if (units & NSCalendarUnitCalendar)
    c->setCalendar(std::static_pointer_cast<NSCalendar>(std::const_pointer_cast<NSObject>(self())));
  if (units & NSCalendarUnitTimeZone) c->setTimeZone(tz);
  return c;
}

NSInteger NSCalendar::component(NSCalendarUnit unit, const std::shared_ptr<NSDate>& date) const {
  auto c = components(unit, date);
  switch (unit) {
    case NSCalendarUnitEra: return c->era();
    case NSCalendarUnitYear: return c->year();
    case NSCalendarUnitMonth: return c->month();
    case NSCalendarUnitDay: return c->day();
    case NSCalendarUnitHour: return c->hour();
    case NSCalendarUnitMinute: return c->minute();
    case NSCalendarUnitSecond: return c->second();
    case NSCalendarUnitNanosecond: return c->nanosecond();
    case NSCalendarUnitWeekday: return c->weekday();
    case NSCalendarUnitWeekdayOrdinal: return c->weekdayOrdinal();
    default: return NSDateComponentUndefined;
  }
}

std::shared_ptr<NSDate> NSCalendar::dateFromComponents(const std::shared_ptr<NSDateComponents>& c) const {
  if (!c) return nullptr;
  auto tz = c->timeZone() ? c->timeZone() : zone();
  auto value = [](NSInteger v, int64_t fallback) { return defined(v) ? int64_t(v) : fallback; };
  if (!allSane(*c)) return nullptr;
  int64_t year = value(c->year(), 1);
  if (defined(c->era()) && c->era() == 0) year = 1 - year;
  int64_t month = value(c->month(), 1);
  int64_t day = value(c->day(), 1);
  if (!defined(c->day()) && defined(c->weekday())) {
    // A weekday without a day: that weekday of the week(ordinal) of the month.
    int64_t ordinal = value(c->weekdayOrdinal(), 1);
    int64_t first = zvt::daysFromCivil(year + zvt::floorDiv(month - 1, 12), zvt::floorMod(month - 1, 12) + 1, 1);
    int64_t firstWeekday = zvt::weekdayFromDays(first) + 1;
    day = 1 + zvt::floorMod(c->weekday() - firstWeekday, 7) + 7 * (ordinal - 1);
  }
  int64_t local = localSecondsOf(year, month, day, value(c->hour(), 0), value(c->minute(), 0), value(c->second(), 0));
  double nanos = defined(c->nanosecond()) ? double(c->nanosecond()) : 0.0;
  return NSDate::dateWithTimeIntervalSince1970(double(tz->unixFromLocal(local)) + nanos / 1e9);
}

std::shared_ptr<NSDate> NSCalendar::dateByAddingComponents(const std::shared_ptr<NSDateComponents>& c,
                                                           const std::shared_ptr<NSDate>& date,
                                                           NSCalendarOptions) const {
  if (!c || !date || !allSane(*c)) return nullptr;
  auto tz = zone();
  int64_t secs;
  double frac;
  split(date->timeIntervalSince1970(), secs, frac);
  auto f = tz->localFields(double(secs));
  auto value = [](NSInteger v) { return defined(v) ? int64_t(v) : int64_t(0); };
  // Calendar fields first, on the wall clock: months clamp, days keep the time of day.
  f = addMonths(f, value(c->year()) * 12 + value(c->month()));
  int64_t local = localSecondsOf(f.year, f.month, f.day, f.hour, f.minute, f.second) + value(c->day()) * kDay;
  int64_t result = tz->unixFromLocal(local);
  // Then elapsed time: hours, minutes and seconds are exact durations.
  result += value(c->hour()) * 3600 + value(c->minute()) * 60 + value(c->second());
  double nanos = double(value(c->nanosecond())) / 1e9;
  return NSDate::dateWithTimeIntervalSince1970(double(result) + frac + nanos);
}

std::shared_ptr<NSDate> NSCalendar::dateByAddingUnit(NSCalendarUnit unit, NSInteger value,
                                                     const std::shared_ptr<NSDate>& date,
                                                     NSCalendarOptions options) const {
  auto c = NSDateComponents::make();
  switch (unit) {
    case NSCalendarUnitYear: c->setYear(value); break;
    case NSCalendarUnitMonth: c->setMonth(value); break;
    case NSCalendarUnitDay: c->setDay(value); break;
    case NSCalendarUnitWeekday: c->setDay(value); break;
    case NSCalendarUnitHour: c->setHour(value); break;
    case NSCalendarUnitMinute: c->setMinute(value); break;
    case NSCalendarUnitSecond: c->setSecond(value); break;
    case NSCalendarUnitNanosecond: c->setNanosecond(value); break;
    default: return nullptr;
  }
  return dateByAddingComponents(c, date, options);
}

std::shared_ptr<NSDateComponents> NSCalendar::components(NSCalendarUnit units, const std::shared_ptr<NSDate>& fromDate,
                                                         const std::shared_ptr<NSDate>& toDate,
                                                         NSCalendarOptions) const {
  auto c = NSDateComponents::make();
  if (!fromDate || !toDate) return c;
  auto tz = zone();
  double from = unixOf(fromDate), to = unixOf(toDate);
  int sign = to >= from ? 1 : -1;
  double cursor = from;
  auto f = tz->localFields(from);
  int64_t fromSecs;
  double fromFrac;
  split(from, fromSecs, fromFrac);
  auto wallToUnix = [&](const zvt::LocalFields& g) {
    return double(tz->unixFromLocal(localSecondsOf(g.year, g.month, g.day, g.hour, g.minute, g.second))) + fromFrac;
  };
  auto passes = [&](double t) { return sign > 0 ? t > to : t < to; };
  if (units & (NSCalendarUnitYear | NSCalendarUnitMonth)) {
    auto t = tz->localFields(to);
    int64_t months = (t.year - f.year) * 12 + (t.month - f.month);
    while (months != 0 && passes(wallToUnix(addMonths(f, months)))) months -= sign;
    if (!(units & NSCalendarUnitMonth)) months = months / 12 * 12;
    if (units & NSCalendarUnitYear) c->setYear(months / 12);
    if (units & NSCalendarUnitMonth) c->setMonth((units & NSCalendarUnitYear) ? months % 12 : months);
    f = addMonths(f, months);
    cursor = wallToUnix(f);
  }
  if (units & NSCalendarUnitDay) {
    auto t = tz->localFields(to);
    int64_t days = zvt::daysFromCivil(t.year, t.month, t.day) - zvt::daysFromCivil(f.year, f.month, f.day);
    auto moved = [&](int64_t n) {
      return double(tz->unixFromLocal(localSecondsOf(f.year, f.month, f.day + n, f.hour, f.minute, f.second))) +
             fromFrac;
    };
    while (days != 0 && passes(moved(days))) days -= sign;
    c->setDay(days);
    cursor = moved(days);
  }
  double rest = to - cursor;
  auto whole = static_cast<int64_t>(rest);  // toward zero: the sign stays on every field
  if (units & NSCalendarUnitHour) {
    c->setHour(whole / 3600);
    whole %= 3600;
  }
  if (units & NSCalendarUnitMinute) {
    c->setMinute(whole / 60);
    whole %= 60;
  }
  if (units & NSCalendarUnitSecond) c->setSecond(whole);
  if (units & NSCalendarUnitNanosecond) c->setNanosecond(std::llround((rest - std::trunc(rest)) * 1e9));
  return c;
}

NSRange NSCalendar::rangeOfUnit(NSCalendarUnit smaller, NSCalendarUnit larger,
                                const std::shared_ptr<NSDate>& date) const {
  if (!date) return NSRange{NSUInteger(NSNotFound), 0};
  auto f = zone()->localFields(date->timeIntervalSince1970());
  if (smaller == NSCalendarUnitDay && larger == NSCalendarUnitMonth)
    return NSRange{1, NSUInteger(zvt::daysInMonth(f.year, f.month))};
  if (smaller == NSCalendarUnitDay && larger == NSCalendarUnitYear)
    return NSRange{1, NSUInteger(zvt::isLeapYear(f.year) ? 366 : 365)};
  if (smaller == NSCalendarUnitMonth && larger == NSCalendarUnitYear) return NSRange{1, 12};
  if (smaller == NSCalendarUnitHour && larger == NSCalendarUnitDay) return NSRange{0, 24};
  if (smaller == NSCalendarUnitMinute && larger == NSCalendarUnitHour) return NSRange{0, 60};
  if (smaller == NSCalendarUnitSecond && larger == NSCalendarUnitMinute) return NSRange{0, 60};
  if (smaller == NSCalendarUnitWeekday && larger == NSCalendarUnitMonth) return NSRange{1, 7};
  return NSRange{NSUInteger(NSNotFound), 0};
}

std::shared_ptr<NSDate> NSCalendar::startOfDayForDate(const std::shared_ptr<NSDate>& date) const {
  if (!date) return nullptr;
  auto tz = zone();
  auto f = tz->localFields(date->timeIntervalSince1970());
  return NSDate::dateWithTimeIntervalSince1970(double(tz->unixFromLocal(localSecondsOf(f.year, f.month, f.day, 0, 0, 0))));
}

bool NSCalendar::isDate(const std::shared_ptr<NSDate>& date, const std::shared_ptr<NSDate>& other) const {
  if (!date || !other) return false;
  auto tz = zone();
  auto a = tz->localFields(date->timeIntervalSince1970());
  auto b = tz->localFields(other->timeIntervalSince1970());
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool NSCalendar::isDateInToday(const std::shared_ptr<NSDate>& date) const { return isDate(date, NSDate::date()); }

bool NSCalendar::isEqual(const id& other) const {
  auto cal = zvt::as<NSCalendar>(other);
  return cal && zvt::objectsEqual(cal->timeZone(), timeZone()) && cal->firstWeekday() == firstWeekday();
}

NSUInteger NSCalendar::hash() const { return 7; }

id NSCalendar::copyWithZone() const {
  auto copy = std::make_shared<NSCalendar>();
  std::lock_guard lock(mutex_);
  copy->timeZone_ = timeZone_;
  copy->locale_ = locale_;
  copy->firstWeekday_ = firstWeekday_;
  return copy;
}
