#include "platform/foundation/NSDate.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/NSString.h"

namespace {
// 4001-01-01 and 0001-01-01 (the latter as Foundation counts it, two days before the
// proleptic Gregorian 0001-01-01).
constexpr NSTimeInterval kDistantFuture = 63113904000.0;
constexpr NSTimeInterval kDistantPast = -63114076800.0;
}  // namespace

std::shared_ptr<NSDate> NSDate::date() { return std::make_shared<NSDate>(Clock::now() - NSTimeIntervalSince1970); }

std::shared_ptr<NSDate> NSDate::dateWithTimeIntervalSinceNow(NSTimeInterval seconds) {
  return std::make_shared<NSDate>(Clock::now() - NSTimeIntervalSince1970 + seconds);
}

std::shared_ptr<NSDate> NSDate::dateWithTimeIntervalSince1970(NSTimeInterval seconds) {
  return std::make_shared<NSDate>(seconds - NSTimeIntervalSince1970);
}

std::shared_ptr<NSDate> NSDate::dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds) {
  return std::make_shared<NSDate>(seconds);
}

std::shared_ptr<NSDate> NSDate::dateWithTimeInterval(NSTimeInterval seconds, const std::shared_ptr<NSDate>& sinceDate) {
  return std::make_shared<NSDate>((sinceDate ? sinceDate->interval_ : 0.0) + seconds);
}

std::shared_ptr<NSDate> NSDate::distantPast() {
  static const auto date = std::make_shared<NSDate>(kDistantPast);
  return date;
}

std::shared_ptr<NSDate> NSDate::distantFuture() {
  static const auto date = std::make_shared<NSDate>(kDistantFuture);
  return date;
}

NSTimeInterval NSDate::timeIntervalSinceNow() const {
  return interval_ - (Clock::now() - NSTimeIntervalSince1970);
}

NSTimeInterval NSDate::timeIntervalSinceDate(const std::shared_ptr<NSDate>& other) const {
  return interval_ - (other ? other->interval_ : 0.0);
}

std::shared_ptr<NSDate> NSDate::dateByAddingTimeInterval(NSTimeInterval seconds) const {
  return std::make_shared<NSDate>(interval_ + seconds);
}

NSComparisonResult NSDate::compare(const std::shared_ptr<NSDate>& other) const {
  NSTimeInterval b = other ? other->interval_ : 0.0;
  if (interval_ < b) return NSOrderedAscending;
  if (interval_ > b) return NSOrderedDescending;
  return NSOrderedSame;
}

bool NSDate::isEqualToDate(const std::shared_ptr<NSDate>& other) const {
  return other && other->interval_ == interval_;
}

std::shared_ptr<NSDate> NSDate::earlierDate(const std::shared_ptr<NSDate>& other) const {
  auto me = std::static_pointer_cast<NSDate>(self());
  if (!other) return me;
  return other->interval_ < interval_ ? other : me;
}

std::shared_ptr<NSDate> NSDate::laterDate(const std::shared_ptr<NSDate>& other) const {
  auto me = std::static_pointer_cast<NSDate>(self());
  if (!other) return me;
  return other->interval_ > interval_ ? other : me;
}

std::shared_ptr<NSString> NSDate::description() const {
  double unix = std::floor(timeIntervalSince1970());
  if (!std::isfinite(unix)) return NSString::fromValidUTF8(unix > 0 ? "inf" : unix < 0 ? "-inf" : "nan");
  // Clamp to the years the text form can hold; beyond them the arithmetic would overflow.
  unix = std::fmax(std::fmin(unix, 2.5e14), -2.5e14);
  auto secs = static_cast<int64_t>(unix);
  int64_t days = zvt::floorDiv(secs, 86400), rem = zvt::floorMod(secs, 86400);
  int64_t y, m, d;
  zvt::civilFromDays(days, y, m, d);
  char buf[160];  // room for six 64-bit fields, so the compiler can prove no truncation
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld +0000", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rem / 3600),
                static_cast<long long>(rem / 60 % 60), static_cast<long long>(rem % 60));
  return NSString::fromValidUTF8(buf);
}

std::shared_ptr<NSString> NSDate::descriptionWithLocale(const id&, NSUInteger) const { return description(); }

bool NSDate::isEqual(const id& other) const {
  auto date = zvt::as<NSDate>(other);
  return date && date->interval_ == interval_;
}

NSUInteger NSDate::hash() const {
  double v = interval_;
  if (!std::isfinite(v) || std::fabs(v) > 9.2e18) return 0;
  return static_cast<NSUInteger>(static_cast<int64_t>(v));
}

id NSDate::copyWithZone() const { return self(); }
