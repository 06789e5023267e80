// Dates, time zones, the date formatter and the Gregorian calendar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimeZone.h"

namespace {

// A zone of the time-zone database. One that is missing (no tzdata installed) fails the test
// here, with its name, instead of leaving a nil zone for the next call to crash on.
std::shared_ptr<NSTimeZone> zone(const char* name) {
  auto z = NSTimeZone::timeZoneWithName(NSString::stringWithUTF8String(name));
  if (!z) throw std::runtime_error(std::string("time zone ") + name + " is missing: is the tzdata package installed?");
  return z;
}

std::shared_ptr<NSDate> at(double unix) { return NSDate::dateWithTimeIntervalSince1970(unix); }

std::shared_ptr<NSDateFormatter> formatter(const char* pattern, const char* zoneName) {
  auto f = NSDateFormatter::make();
  f->setDateFormat(NSString::stringWithUTF8String(pattern));
  f->setTimeZone(zone(zoneName));
  return f;
}

std::string format(const char* pattern, const char* zoneName, double unix) {
  return formatter(pattern, zoneName)->stringFromDate(at(unix))->utf8();
}

// Installs a virtual clock for one test.
struct VirtualTime {
  explicit VirtualTime(double wall) : clock(std::make_shared<VirtualClock>(wall)) { Clock::setCurrent(clock); }
  ~VirtualTime() { Clock::setCurrent(nullptr); }
  std::shared_ptr<VirtualClock> clock;
};

// Runs with the process's default zone set to a named one.
struct DefaultZone {
  explicit DefaultZone(const char* name) { NSTimeZone::setDefaultTimeZone(zone(name)); }
  ~DefaultZone() { NSTimeZone::setDefaultTimeZone(nullptr); }
};

constexpr double k2026 = 1767225600.0;  // 2026-01-01 00:00:00 UTC (a Thursday)

TEST(PersistenceDate, NowComesFromTheClockSeamAndMovesWithIt) {
  VirtualTime time(k2026);
  auto start = NSDate::date();
  EXPECT_DOUBLE_EQ(start->timeIntervalSince1970(), k2026);
  time.clock->advanceBy(90);
  EXPECT_DOUBLE_EQ(NSDate::date()->timeIntervalSinceDate(start), 90);
  EXPECT_DOUBLE_EQ(start->timeIntervalSinceNow(), -90);
  EXPECT_DOUBLE_EQ(NSDate::dateWithTimeIntervalSinceNow(30)->timeIntervalSince1970(), k2026 + 120);
}

TEST(PersistenceDate, ArithmeticComparisonAndEquality) {
  auto a = at(1000.5), b = a->dateByAddingTimeInterval(0.25);
  EXPECT_EQ(a->compare(b), NSOrderedAscending);
  EXPECT_EQ(b->compare(a), NSOrderedDescending);
  EXPECT_EQ(a->compare(at(1000.5)), NSOrderedSame);
  EXPECT_TRUE(a->isEqual(at(1000.5)));
  EXPECT_FALSE(a->isEqual(b));  // sub-second differences count
  EXPECT_FALSE(a->isEqual("1000.5"_ns));
  EXPECT_EQ(a->hash(), at(1000.5)->hash());
  EXPECT_EQ(a->earlierDate(b), a);
  EXPECT_EQ(a->laterDate(b), b);
  EXPECT_DOUBLE_EQ(at(0)->timeIntervalSinceReferenceDate(), -978307200.0);
  EXPECT_DOUBLE_EQ(NSDate::dateWithTimeIntervalSinceReferenceDate(0)->timeIntervalSince1970(), 978307200.0);
  EXPECT_EQ(NSDate::distantPast()->compare(at(-1e10)), NSOrderedAscending);
  EXPECT_EQ(NSDate::distantFuture()->compare(at(6e10)), NSOrderedDescending);
}

TEST(PersistenceDate, DescriptionIsUtcWithWholeSeconds) {
  const std::pair<std::shared_ptr<NSDate>, const char*> cases[] = {
      {NSDate::dateWithTimeIntervalSinceReferenceDate(0), "2001-01-01 00:00:00 +0000"},
      {at(k2026 - 0.5), "2025-12-31 23:59:59 +0000"},
      {at(-1), "1969-12-31 23:59:59 +0000"},
      {NSDate::distantFuture(), "4001-01-01 00:00:00 +0000"},
  };
  for (const auto& [date, text] : cases) EXPECT_EQ(date->description()->utf8(), text);
  EXPECT_EQ(NSString::stringWithFormat("%@", at(951782400))->utf8(), "2000-02-29 00:00:00 +0000");
}

TEST(PersistenceTimeZone, FixedNamedAndSystemZones) {
  EXPECT_EQ(NSTimeZone::timeZoneWithName("UTC"_ns)->secondsFromGMT(), 0);
  EXPECT_EQ(NSTimeZone::timeZoneWithAbbreviation("GMT"_ns)->secondsFromGMT(), 0);
  auto shanghai = zone("Asia/Shanghai");
  EXPECT_EQ(shanghai->secondsFromGMTForDate(at(k2026)), 8 * 3600);
  EXPECT_EQ(shanghai->name()->utf8(), "Asia/Shanghai");
  EXPECT_FALSE(shanghai->isDaylightSavingTimeForDate(at(k2026)));
  auto plus = NSTimeZone::timeZoneForSecondsFromGMT(-(5 * 3600 + 30 * 60));
  EXPECT_EQ(plus->secondsFromGMT(), -19800);
  EXPECT_EQ(plus->name()->utf8(), "GMT-0530");
  EXPECT_FALSE(NSTimeZone::timeZoneForSecondsFromGMT(19 * 3600));
  // Names that are not in the database, or that would lead out of it, are refused.
  for (const char* name : {"Mars/Olympus_Mons", "../../../etc/passwd", "/usr/share/zoneinfo/UTC"})
    EXPECT_FALSE(NSTimeZone::timeZoneWithName(NSString::stringWithUTF8String(name))) << name;
}

TEST(PersistenceTimeZone, DaylightSavingFollowsTheDatabase) {
  const double jan2100 = 4102444800.0;
  struct Case {
    const char* zone;
    double unix;
    NSInteger offset;
    const char* why;
  };
  const Case cases[] = {
      {"America/New_York", 1710053999, -5 * 3600, "2024-03-10 06:59:59 UTC, the last second of EST"},
      {"America/New_York", 1710054000, -4 * 3600, "07:00:00, the first of EDT"},
      {"America/New_York", jan2100, -5 * 3600, "beyond the file's last transition the rule string applies"},
      {"America/New_York", jan2100 + 180 * 86400.0, -4 * 3600, "and its daylight saving too"},
      {"Asia/Shanghai", -3e9, 29143, "before the first transition: local mean time"},
  };
  for (const auto& c : cases) EXPECT_EQ(zone(c.zone)->secondsFromGMTForDate(at(c.unix)), c.offset) << c.why;
  auto ny = zone("America/New_York");
  EXPECT_TRUE(ny->isDaylightSavingTimeForDate(at(1710054000)));
  EXPECT_EQ(ny->abbreviationForDate(at(1710054000))->utf8(), "EDT");
}

TEST(PersistenceTimeZone, SystemZoneFollowsTZ) {
  const char* saved = std::getenv("TZ");
  std::string keep = saved ? saved : "";
  setenv("TZ", "Asia/Shanghai", 1);
  NSTimeZone::resetSystemTimeZone();
  EXPECT_EQ(NSTimeZone::systemTimeZone()->name()->utf8(), "Asia/Shanghai");
  EXPECT_EQ(NSTimeZone::defaultTimeZone()->secondsFromGMT(), 8 * 3600);
  // A POSIX rule string works too: UTC-3 without daylight saving.
  setenv("TZ", "<-03>3", 1);
  NSTimeZone::resetSystemTimeZone();
  EXPECT_EQ(NSTimeZone::systemTimeZone()->secondsFromGMTForDate(at(k2026)), -3 * 3600);
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  NSTimeZone::resetSystemTimeZone();
  EXPECT_EQ(NSTimeZone::systemTimeZone()->secondsFromGMTForDate(at(k2026 + 180 * 86400)), 2 * 3600);
  EXPECT_EQ(NSTimeZone::systemTimeZone()->secondsFromGMTForDate(at(k2026)), 3600);
  if (saved) setenv("TZ", keep.c_str(), 1);
  else unsetenv("TZ");
  NSTimeZone::resetSystemTimeZone();
}

TEST(PersistenceDateFormatter, WritesTheApplicationsPatterns) {
  double t = 1709280306.789;  // 2024-03-01 08:05:06.789 UTC, a Friday
  EXPECT_EQ(format("yyyy-MM-dd", "UTC", t), "2024-03-01");
  EXPECT_EQ(format("yyyy-MM-dd HH:mm:ss", "Asia/Shanghai", t), "2024-03-01 16:05:06");
  EXPECT_EQ(format("yyyy-MM-dd_HH:mm", "UTC", t), "2024-03-01_08:05");
  EXPECT_EQ(format("yyyy年MM月dd日", "Asia/Shanghai", t), "2024年03月01日");
  EXPECT_EQ(format("今天 HH:mm", "Asia/Shanghai", t), "今天 16:05");
  EXPECT_EQ(format("MM-dd HH:mm", "UTC", t), "03-01 08:05");
  EXPECT_EQ(format("y M d H m s", "UTC", t), "2024 3 1 8 5 6");
  EXPECT_EQ(format("yy h hh a", "UTC", t), "24 8 08 AM");
  EXPECT_EQ(format("h a", "Asia/Shanghai", t), "4 PM");
  EXPECT_EQ(format("hh:mm a", "UTC", 1709251200), "12:00 AM");  // midnight is 12 AM
  EXPECT_EQ(format("ss.SSS S", "UTC", t), "06.789 7");
  EXPECT_EQ(format("E EEE EEEE MMM MMMM", "UTC", t), "Fri Fri Friday Mar March");
  EXPECT_EQ(format("Z", "Asia/Shanghai", t), "+0800");
  EXPECT_EQ(format("Z ZZZZZ", "America/New_York", t), "-0500 -05:00");
  EXPECT_EQ(format("z ZZZZ", "America/New_York", t), "EST GMT-05:00");
  EXPECT_EQ(format("z", "Asia/Dubai", t), "GMT+04:00");
  EXPECT_EQ(format("z ZZZZZ", "UTC", t), "GMT Z");
  EXPECT_EQ(format("'at' HH 'o''clock' ''", "UTC", t), "at 08 o'clock '");
  EXPECT_EQ(format("EEE, dd MMM yyyy HH:mm:ss 'GMT'", "GMT", t), "Fri, 01 Mar 2024 08:05:06 GMT");
  EXPECT_EQ(format("yyyy", "UTC", -62135596800.0 + 86400 * 400), "0002");
}

TEST(PersistenceDateFormatter, OutputDoesNotDependOnTheLocale) {
  auto f = formatter("EEEE d MMMM yyyy HH:mm a", "UTC");
  auto english = f->stringFromDate(at(1709280306))->utf8();
  f->setLocale(NSLocale::localeWithLocaleIdentifier("de_DE"_ns));
  EXPECT_EQ(f->stringFromDate(at(1709280306))->utf8(), english);
  EXPECT_EQ(english, "Friday 1 March 2024 08:05 AM");
}

TEST(PersistenceDateFormatter, ReadsTextBack) {
  auto f = formatter("yyyy-MM-dd HH:mm:ss", "Asia/Shanghai");
  auto d = f->dateFromString("2024-03-01 16:05:06"_ns);
  ASSERT_TRUE(d);
  EXPECT_DOUBLE_EQ(d->timeIntervalSince1970(), 1709280306);
  EXPECT_EQ(f->stringFromDate(d)->utf8(), "2024-03-01 16:05:06");
  // Numbers need not be padded when something else separates them.
  EXPECT_DOUBLE_EQ(formatter("yyyy-MM-dd", "UTC")->dateFromString("2024-3-1"_ns)->timeIntervalSince1970(), 1709251200);
  // Abutting numeric fields take their pattern's width.
  EXPECT_DOUBLE_EQ(formatter("yyyyMMddHHmm", "UTC")->dateFromString("202403010805"_ns)->timeIntervalSince1970(),
                   1709280300);
  // Missing fields come from 2000-01-01 00:00:00 in the formatter's zone.
  EXPECT_DOUBLE_EQ(formatter("HH:mm:ss", "UTC")->dateFromString("09:00:00"_ns)->timeIntervalSince1970(),
                   946717200);
  EXPECT_DOUBLE_EQ(formatter("hh:mm a", "UTC")->dateFromString("12:30 pm"_ns)->timeIntervalSince1970(), 946729800);
  EXPECT_DOUBLE_EQ(formatter("hh:mm a", "UTC")->dateFromString("12:30 AM"_ns)->timeIntervalSince1970(), 946686600);
  // An offset in the text wins over the formatter's zone.
  EXPECT_DOUBLE_EQ(formatter("yyyy-MM-dd HH:mm Z", "UTC")->dateFromString("2024-03-01 16:05 +0800"_ns)
                       ->timeIntervalSince1970(),
                   1709280300);
  EXPECT_DOUBLE_EQ(formatter("EEE, dd MMM yyyy HH:mm:ss zzz", "Asia/Shanghai")
                       ->dateFromString("Fri, 01 Mar 2024 08:05:06 GMT"_ns)
                       ->timeIntervalSince1970(),
                   1709280306);
  EXPECT_DOUBLE_EQ(formatter("ss.SSS", "UTC")->dateFromString("01.250"_ns)->timeIntervalSince1970(), 946684801.25);
}

TEST(PersistenceDateFormatter, TextThatDoesNotMatchIsNil) {
  auto f = formatter("yyyy-MM-dd", "UTC");
  EXPECT_FALSE(f->dateFromString("2024/03/01"_ns));
  EXPECT_FALSE(f->dateFromString("2024-03-01 "_ns));   // text left over
  EXPECT_FALSE(f->dateFromString("2024-03"_ns));       // text missing
  EXPECT_FALSE(f->dateFromString("2023-02-29"_ns));    // not a leap year
  EXPECT_FALSE(f->dateFromString("2024-13-01"_ns));
  EXPECT_FALSE(f->dateFromString("2024-00-10"_ns));
  EXPECT_FALSE(f->dateFromString(""_ns));
  EXPECT_FALSE(f->dateFromString(nullptr));
  EXPECT_FALSE(formatter("HH:mm", "UTC")->dateFromString("24:00"_ns));
  EXPECT_FALSE(formatter("HH:mm", "UTC")->dateFromString("12:60"_ns));
  EXPECT_FALSE(formatter("hh a", "UTC")->dateFromString("13 PM"_ns));
  EXPECT_TRUE(f->dateFromString("2024-02-29"_ns));
}

TEST(PersistenceDateFormatter, ArbitraryTextNeverCrashesTheParser) {
  // Each result that parses must format back to a text that parses to the same moment.
  const char* patterns[] = {"yyyy-MM-dd HH:mm:ss", "yyyyMMddHHmmss", "EEE, dd MMM yyyy HH:mm:ss Z", "h:mm a",
                            "yy-M-d", "ss.SSS", "'T'HH'h'"};
  const char alphabet[] = "0123456789-: ,.+ZTAPMFriMarGMTh'\xe4";
  std::mt19937 random(11);
  for (const char* pattern : patterns) {
    auto f = formatter(pattern, "America/New_York");
    for (int round = 0; round < 400; ++round) {
      std::string text;
      size_t length = random() % 24;
      for (size_t i = 0; i < length; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
      auto input = NSString::stringWithUTF8String(std::string_view(text));
      if (!input) continue;
      if (auto date = f->dateFromString(input)) {
        auto again = f->dateFromString(f->stringFromDate(date));
        ASSERT_TRUE(again) << pattern << " / " << text;
        EXPECT_EQ(f->stringFromDate(again)->utf8(), f->stringFromDate(date)->utf8()) << pattern << " / " << text;
      }
    }
  }
}

TEST(PersistenceDateFormatter, TwoDigitYearsFallNearNow) {
  VirtualTime time(k2026);
  auto f = formatter("yy-MM-dd", "UTC");
  EXPECT_EQ(f->dateFromString("24-01-01"_ns)->description()->utf8(), "2024-01-01 00:00:00 +0000");
  EXPECT_EQ(f->dateFromString("50-01-01"_ns)->description()->utf8(), "1950-01-01 00:00:00 +0000");
  EXPECT_EQ(f->dateFromString("45-01-01"_ns)->description()->utf8(), "2045-01-01 00:00:00 +0000");
}

TEST(PersistenceDateFormatter, WallTimesAroundDaylightSavingShifts) {
  auto f = formatter("yyyy-MM-dd HH:mm", "America/New_York");
  // 02:30 does not exist on 2024-03-10: it is read with the offset before the shift.
  EXPECT_EQ(f->stringFromDate(f->dateFromString("2024-03-10 02:30"_ns))->utf8(), "2024-03-10 03:30");
  // 01:30 on 2024-11-03 happens twice: the first (daylight) one is meant.
  EXPECT_DOUBLE_EQ(f->dateFromString("2024-11-03 01:30"_ns)->timeIntervalSince1970(), 1730611800);
}

TEST(PersistenceDateFormatter, DefaultZoneIsTheOneInForceAtCreation) {
  DefaultZone shanghai("Asia/Shanghai");
  auto f = NSDateFormatter::make();
  f->setDateFormat("HH:mm"_ns);
  EXPECT_EQ(f->stringFromDate(at(0))->utf8(), "08:00");
  f->setTimeZone(zone("UTC"));
  EXPECT_EQ(f->stringFromDate(at(0))->utf8(), "00:00");
  EXPECT_FALSE(f->stringFromDate(nullptr));
}

TEST(PersistenceCalendar, ComponentsOfADate) {
  auto cal = NSCalendar::calendarWithIdentifier(NSCalendarIdentifierGregorian);
  ASSERT_TRUE(cal);
  EXPECT_FALSE(NSCalendar::calendarWithIdentifier("chinese"_ns));
  cal->setTimeZone(zone("Asia/Shanghai"));
  // 2024-02-29 23:30:15 UTC is 2024-03-01 07:30:15 in Shanghai, a Friday.
  auto units = NSCalendarUnitEra | NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay | NSCalendarUnitHour |
               NSCalendarUnitMinute | NSCalendarUnitSecond | NSCalendarUnitWeekday;
  auto c = cal->components(units, at(1709249415));
  EXPECT_EQ(c->era(), 1);
  EXPECT_EQ(c->year(), 2024);
  EXPECT_EQ(c->month(), 3);
  EXPECT_EQ(c->day(), 1);
  EXPECT_EQ(c->hour(), 7);
  EXPECT_EQ(c->minute(), 30);
  EXPECT_EQ(c->second(), 15);
  EXPECT_EQ(c->weekday(), 6);
  auto partial = cal->components(NSCalendarUnitDay, at(1709249415));
  EXPECT_EQ(partial->day(), 1);
  EXPECT_EQ(partial->year(), NSDateComponentUndefined);
  EXPECT_EQ(cal->component(NSCalendarUnitWeekday, at(0)), 5);  // 1970-01-01 was a Thursday
}

TEST(PersistenceCalendar, DatesFromComponentsCarryOver) {
  auto cal = NSCalendar::currentCalendar();
  cal->setTimeZone(zone("Asia/Shanghai"));
  auto c = NSDateComponents::make();
  c->setYear(2024);
  c->setMonth(3);
  c->setDay(1);
  EXPECT_EQ(cal->dateFromComponents(c)->description()->utf8(), "2024-02-29 16:00:00 +0000");
  c->setMonth(13);
  EXPECT_EQ(cal->dateFromComponents(c)->description()->utf8(), "2024-12-31 16:00:00 +0000");
  c->setMonth(3);
  c->setDay(0);  // the last day of February
  EXPECT_EQ(cal->dateFromComponents(c)->description()->utf8(), "2024-02-28 16:00:00 +0000");
  c->setDay(1);
  c->setHour(25);
  EXPECT_EQ(cal->dateFromComponents(c)->description()->utf8(), "2024-03-01 17:00:00 +0000");
  // A weekday without a day: the first Sunday of March 2024.
  auto w = NSDateComponents::make();
  w->setYear(2024);
  w->setMonth(3);
  w->setWeekday(1);
  EXPECT_EQ(cal->dateFromComponents(w)->description()->utf8(), "2024-03-02 16:00:00 +0000");
  EXPECT_FALSE(cal->dateFromComponents(nullptr));
  // Absurd fields give nil instead of overflowing.
  w->setWeekdayOrdinal(NSIntegerMax - 1);
  EXPECT_FALSE(cal->dateFromComponents(w));
  auto huge = NSDateComponents::make();
  huge->setYear(NSIntegerMin);
  EXPECT_FALSE(cal->dateFromComponents(huge));
  EXPECT_FALSE(cal->dateByAddingComponents(huge, NSDate::date(), 0));
  EXPECT_FALSE(cal->dateByAddingUnit(NSCalendarUnitMonth, NSIntegerMax - 1, NSDate::date(), 0));
}

TEST(PersistenceCalendar, AddingUnitsClampsMonthsAndKeepsTheWallClock) {
  auto cal = NSCalendar::currentCalendar();
  cal->setTimeZone(zone("America/New_York"));
  auto fmt = formatter("yyyy-MM-dd HH:mm", "America/New_York");
  auto jan31 = fmt->dateFromString("2024-01-31 09:00"_ns);
  EXPECT_EQ(fmt->stringFromDate(cal->dateByAddingUnit(NSCalendarUnitMonth, 1, jan31, 0))->utf8(), "2024-02-29 09:00");
  EXPECT_EQ(fmt->stringFromDate(cal->dateByAddingUnit(NSCalendarUnitMonth, -2, jan31, 0))->utf8(),
            "2023-11-30 09:00");
  EXPECT_EQ(fmt->stringFromDate(cal->dateByAddingUnit(NSCalendarUnitYear, 1, jan31, 0))->utf8(), "2025-01-31 09:00");
  // Across the spring shift a day is 23 hours: the time of day stays, the hours do not.
  auto before = fmt->dateFromString("2024-03-09 09:00"_ns);
  auto nextDay = cal->dateByAddingUnit(NSCalendarUnitDay, 1, before, 0);
  EXPECT_EQ(fmt->stringFromDate(nextDay)->utf8(), "2024-03-10 09:00");
  EXPECT_DOUBLE_EQ(nextDay->timeIntervalSinceDate(before), 23 * 3600);
  auto hours = cal->dateByAddingUnit(NSCalendarUnitHour, 24, before, 0);
  EXPECT_EQ(fmt->stringFromDate(hours)->utf8(), "2024-03-10 10:00");
  auto c = NSDateComponents::make();
  c->setMonth(1);
  c->setDay(1);
  c->setMinute(30);
  EXPECT_EQ(fmt->stringFromDate(cal->dateByAddingComponents(c, jan31, 0))->utf8(), "2024-03-01 09:30");
}

TEST(PersistenceCalendar, DifferencesBetweenDates) {
  auto cal = NSCalendar::currentCalendar();
  cal->setTimeZone(zone("UTC"));
  auto fmt = formatter("yyyy-MM-dd HH:mm:ss", "UTC");
  auto a = fmt->dateFromString("2024-01-31 10:00:00"_ns), b = fmt->dateFromString("2025-03-01 09:30:15"_ns);
  auto d = cal->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay | NSCalendarUnitHour |
                               NSCalendarUnitMinute | NSCalendarUnitSecond,
                           a, b, 0);
  // 2024-01-31 + 1 year 1 month = 2025-02-28 10:00 (clamped), then 23:30:15 more.
  EXPECT_EQ(d->year(), 1);
  EXPECT_EQ(d->month(), 1);
  EXPECT_EQ(d->day(), 0);
  EXPECT_EQ(d->hour(), 23);
  EXPECT_EQ(d->minute(), 30);
  EXPECT_EQ(d->second(), 15);
  // Backwards every field is negative: 394 whole days and 23:30:15.
  auto back = cal->components(NSCalendarUnitDay | NSCalendarUnitHour | NSCalendarUnitMinute | NSCalendarUnitSecond, b,
                              a, 0);
  EXPECT_EQ(back->day(), -394);
  EXPECT_EQ(back->hour(), -23);
  EXPECT_EQ(back->minute(), -30);
  EXPECT_EQ(back->second(), -15);
}

TEST(PersistenceCalendar, RangesAndDays) {
  auto cal = NSCalendar::currentCalendar();
  cal->setTimeZone(zone("UTC"));
  auto fmt = formatter("yyyy-MM-dd", "UTC");
  EXPECT_EQ(cal->rangeOfUnit(NSCalendarUnitDay, NSCalendarUnitMonth, fmt->dateFromString("2024-02-10"_ns)),
            NSMakeRange(1, 29));
  EXPECT_EQ(cal->rangeOfUnit(NSCalendarUnitDay, NSCalendarUnitMonth, fmt->dateFromString("2023-02-10"_ns)),
            NSMakeRange(1, 28));
  EXPECT_EQ(cal->rangeOfUnit(NSCalendarUnitDay, NSCalendarUnitMonth, fmt->dateFromString("1900-02-10"_ns)),
            NSMakeRange(1, 28));
  EXPECT_EQ(cal->rangeOfUnit(NSCalendarUnitDay, NSCalendarUnitMonth, fmt->dateFromString("2024-12-10"_ns)),
            NSMakeRange(1, 31));
  EXPECT_EQ(cal->rangeOfUnit(NSCalendarUnitDay, NSCalendarUnitYear, fmt->dateFromString("2000-06-10"_ns)),
            NSMakeRange(1, 366));
  EXPECT_EQ(cal->rangeOfUnit(NSCalendarUnitYear, NSCalendarUnitDay, at(0)).location, NSUInteger(NSNotFound));
  EXPECT_EQ(cal->startOfDayForDate(at(1709280306))->description()->utf8(), "2024-03-01 00:00:00 +0000");

  VirtualTime time(1709280306);
  EXPECT_TRUE(cal->isDateInToday(at(1709251200)));
  EXPECT_FALSE(cal->isDateInToday(at(1709251199)));
  EXPECT_TRUE(cal->isDate(at(1709251200), at(1709337599)));
}

TEST(PersistenceLocale, PreferredLanguagesFromSettingOrEnvironment) {
  EXPECT_EQ(zvt::languageTagFromLocaleName("zh_CN.UTF-8"), "zh-Hans-CN");
  EXPECT_EQ(zvt::languageTagFromLocaleName("zh_TW"), "zh-Hant-TW");
  EXPECT_EQ(zvt::languageTagFromLocaleName("en_US.UTF-8@euro"), "en-US");
  EXPECT_EQ(zvt::languageTagFromLocaleName("de"), "de");
  EXPECT_EQ(zvt::languageTagFromLocaleName("C.UTF-8"), "");
  zvt::setPreferredLanguages({"zh-Hans-CN", "en-US"});
  auto langs = NSLocale::preferredLanguages();
  ASSERT_EQ(langs->count(), 2u);
  EXPECT_TRUE(zvt::objectsEqual(langs->objectAtIndex(0), "zh-Hans-CN"_ns));
  zvt::setPreferredLanguages({});
  EXPECT_EQ(NSLocale::preferredLanguages()->count(), 0u);
  zvt::resetPreferredLanguages();
  EXPECT_GE(NSLocale::preferredLanguages()->count(), 1u);
}

}  // namespace
