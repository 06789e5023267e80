#pragma once
// Time zones: fixed offsets and the named zones of the system's time-zone database
// (/usr/share/zoneinfo, or $TZDIR). The local zone follows $TZ, else /etc/localtime.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class NSDate;
class NSString;

namespace zvt {
struct TimeZoneRules;

// The wall-clock fields of a moment in one time zone.
struct LocalFields {
  int64_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int64_t nanosecond = 0;
  int64_t weekday = 5;  // 1 = Sunday ... 7 = Saturday
  int64_t dayOfYear = 1;
  int32_t offset = 0;   // seconds east of Greenwich in force at that moment
  std::string abbreviation;
};
}  // namespace zvt

class NSTimeZone : public NSObject {
 public:
  // nil for a name the database does not know.
  static std::shared_ptr<NSTimeZone> timeZoneWithName(const std::shared_ptr<NSString>& name);
  // nil beyond ±18 hours.
  static std::shared_ptr<NSTimeZone> timeZoneForSecondsFromGMT(NSInteger seconds);
  // "UTC", "GMT" and the fixed abbreviations the system knows; nil otherwise.
  static std::shared_ptr<NSTimeZone> timeZoneWithAbbreviation(const std::shared_ptr<NSString>& abbreviation);

  // The zone of the system ($TZ or /etc/localtime), read once until resetSystemTimeZone.
  static std::shared_ptr<NSTimeZone> systemTimeZone();
  static void resetSystemTimeZone();
  // The zone the process works in: the system zone unless set.
  static std::shared_ptr<NSTimeZone> defaultTimeZone();
  static void setDefaultTimeZone(const std::shared_ptr<NSTimeZone>& zone);
  // Here the default zone itself (it is not tracked separately from it).
  static std::shared_ptr<NSTimeZone> localTimeZone();

  std::shared_ptr<NSString> name() const;
  std::shared_ptr<NSString> abbreviation() const;
  std::shared_ptr<NSString> abbreviationForDate(const std::shared_ptr<NSDate>& date) const;
  NSInteger secondsFromGMT() const;
  NSInteger secondsFromGMTForDate(const std::shared_ptr<NSDate>& date) const;
  bool isDaylightSavingTime() const;
  bool isDaylightSavingTimeForDate(const std::shared_ptr<NSDate>& date) const;

  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

  // --- for the calendar and the formatter
  // Offset east of Greenwich at a moment given in seconds since 1970.
  int32_t offsetAt(int64_t unixSeconds, bool* dst = nullptr, std::string* abbreviation = nullptr) const;
  zvt::LocalFields localFields(double unixTime) const;
  // Seconds since 1970 of a wall-clock time (seconds since 1970 as if the zone were UTC).
  // A time skipped by a forward shift is read with the offset before the shift; a time that
  // occurs twice is the first of the two.
  int64_t unixFromLocal(int64_t localSeconds) const;

  NSTimeZone(std::string name, int32_t fixedOffset, std::shared_ptr<const zvt::TimeZoneRules> rules);

 private:
  std::string name_;
  int32_t fixedOffset_;
  std::shared_ptr<const zvt::TimeZoneRules> rules_;  // null for a fixed offset
};
