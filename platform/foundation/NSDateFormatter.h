#pragma once
// Dates to text and back with fixed patterns ("yyyy-MM-dd HH:mm:ss", "今天 HH:mm",
// "EEE, dd MMM yyyy HH:mm:ss Z"). Always written the way the "en_US_POSIX" locale writes them,
// whatever locale is set: English month and weekday names, AM/PM, Western digits.
//
// Pattern letters: G y yy yyyy u M MM MMM MMMM L d D H HH k K h hh m mm s ss S.. a E EEE EEEE
// c e Z ZZZZ ZZZZZ x X z; text in single quotes is literal ('' is one quote); any character that
// is not an ASCII letter is literal. Parsing needs the whole text to match; fields the pattern
// lacks come from 2000-01-01 00:00:00 in the formatter's time zone.

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"

class NSDate;
class NSLocale;
class NSString;
class NSTimeZone;

class NSDateFormatter : public NSObject {
 public:
  NSDateFormatter();
  static std::shared_ptr<NSDateFormatter> make() { return std::make_shared<NSDateFormatter>(); }

  std::shared_ptr<NSString> dateFormat() const;
  void setDateFormat(const std::shared_ptr<NSString>& format);
  // The default time zone at creation; nil sets it back to the default time zone.
  std::shared_ptr<NSTimeZone> timeZone() const;
  void setTimeZone(const std::shared_ptr<NSTimeZone>& zone);
  // Kept, but it changes nothing: output is always that of en_US_POSIX.
  std::shared_ptr<NSLocale> locale() const;
  void setLocale(const std::shared_ptr<NSLocale>& locale);

  // nil for a nil date.
  std::shared_ptr<NSString> stringFromDate(const std::shared_ptr<NSDate>& date) const;
  // nil when the text does not match the pattern or names an impossible date.
  std::shared_ptr<NSDate> dateFromString(const std::shared_ptr<NSString>& text) const;

 private:
  mutable std::mutex mutex_;
  std::string format_;
  std::shared_ptr<NSTimeZone> timeZone_;
  std::shared_ptr<NSLocale> locale_;
};
