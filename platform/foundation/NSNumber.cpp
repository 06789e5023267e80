#include "platform/foundation/NSNumber.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/foundation/BlockPool.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

namespace {

// How a number is compared: as a signed or unsigned 64-bit integer or as a double.
enum class Repr { Signed, Unsigned, Double };

uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

// Shortest digits that read back as the same value, laid out like %g with a precision of
// `small` digits, or `large` when the shortest form needs more than `small`.
template <class Float>
std::string shortestGeneral(Float value, int small, int large) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return std::signbit(value) ? "-0" : "0";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string sci(buf, r.ptr);  // e.g. "-1.2345e+20"
  bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  size_t e = sci.find('e');
  std::string digits;
  for (size_t i = 0; i < e; ++i) {
    if (sci[i] != '.') digits.push_back(sci[i]);
  }
  int exponent = std::stoi(sci.substr(e + 1));
  int precision = static_cast<int>(digits.size()) <= small ? small : large;
  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= precision) {
    out.push_back(digits[0]);
    if (digits.size() > 1) {
      out.push_back('.');
      out.append(digits, 1);
    }
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) out.push_back('0');
    out += std::to_string(magnitude);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    size_t intDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits;
      out.append(intDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, intDigits);
      out.push_back('.');
      out.append(digits, intDigits);
    }
  }
  return out;
}

// Numbers are made and released in great numbers (values of models, arithmetic on values):
// they come from a pool of blocks of their size.
template <char Type>
std::shared_ptr<NSNumber> makeNumber(typename zvt::NumberOf<Type>::Value v) {
  return std::allocate_shared<zvt::NumberOf<Type>>(zvt::PoolAllocator<zvt::NumberOf<Type>>(), v);
}

}  // namespace

std::shared_ptr<NSNumber> NSNumber::numberWithBool(bool value) {
  static const auto* yes = new std::shared_ptr<NSNumber>(std::make_shared<zvt::BooleanNumber>(true));
  static const auto* no = new std::shared_ptr<NSNumber>(std::make_shared<zvt::BooleanNumber>(false));
  return value ? *yes : *no;
}

std::shared_ptr<NSNumber> NSNumber::numberWithChar(signed char v) { return makeNumber<'c'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedChar(unsigned char v) { return makeNumber<'C'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithShort(short v) { return makeNumber<'s'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedShort(unsigned short v) { return makeNumber<'S'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithInt(int v) { return makeNumber<'i'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedInt(unsigned int v) { return makeNumber<'I'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithLong(long v) { return makeNumber<'q'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedLong(unsigned long v) { return makeNumber<'Q'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithLongLong(long long v) { return makeNumber<'q'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedLongLong(unsigned long long v) { return makeNumber<'Q'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithInteger(NSInteger v) { return makeNumber<'q'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedInteger(NSUInteger v) { return makeNumber<'Q'>(v); }
std::shared_ptr<NSNumber> NSNumber::numberWithFloat(float v) { return makeNumber<'f'>(static_cast<double>(v)); }
std::shared_ptr<NSNumber> NSNumber::numberWithDouble(double v) { return makeNumber<'d'>(v); }

const std::shared_ptr<NSNumber> kCFBooleanTrue = NSNumber::numberWithBool(true);
const std::shared_ptr<NSNumber> kCFBooleanFalse = NSNumber::numberWithBool(false);

std::shared_ptr<NSNumber> operator""_n(unsigned long long value) {
  if (value > static_cast<unsigned long long>(INT64_MAX)) return NSNumber::numberWithUnsignedLongLong(value);
  return NSNumber::numberWithLongLong(static_cast<long long>(value));
}
std::shared_ptr<NSNumber> operator""_n(long double value) { return NSNumber::numberWithDouble(static_cast<double>(value)); }

bool NSNumber::isUnsigned() const {
  const char t = type();
  return t == 'C' || t == 'S' || t == 'I' || t == 'L' || t == 'Q';
}

bool NSNumber::boolValue() const {
  if (isFloatingPoint()) return d_ != 0;
  return i_ != 0;
}

long long NSNumber::longLongValue() const {
  if (isFloatingPoint()) {
    if (std::isnan(d_)) return 0;
    if (d_ >= 9223372036854775808.0) return std::numeric_limits<long long>::max();
    if (d_ < -9223372036854775808.0) return std::numeric_limits<long long>::min();
    return static_cast<long long>(d_);
  }
  return i_;  // an unsigned value above the signed range reads as its bits, as Foundation does
}

unsigned long long NSNumber::unsignedLongLongValue() const {
  if (isFloatingPoint()) {
    if (std::isnan(d_)) return 0;
    if (d_ >= 18446744073709551616.0) return std::numeric_limits<unsigned long long>::max();
    if (d_ <= -9223372036854775808.0) return static_cast<unsigned long long>(std::numeric_limits<long long>::min());
    if (d_ < 0) return static_cast<unsigned long long>(static_cast<long long>(d_));
    return static_cast<unsigned long long>(d_);
  }
  return u_;
}

double NSNumber::doubleValue() const {
  if (isFloatingPoint()) return d_;
  if (isUnsigned()) return static_cast<double>(u_);
  return static_cast<double>(i_);
}

std::shared_ptr<NSString> NSNumber::stringValue() const { return description(); }

std::shared_ptr<NSString> NSNumber::description() const {
  std::string text;
  const char t = type();
  if (t == 'd') {
    text = shortestGeneral(d_, 15, 17);
  } else if (t == 'f') {
    text = shortestGeneral(static_cast<float>(d_), 6, 9);
  } else if (isUnsigned()) {
    text = std::to_string(u_);
  } else {
    text = std::to_string(i_);
  }
  return NSString::fromValidUTF8(std::move(text));
}


NSComparisonResult NSNumber::compare(const std::shared_ptr<NSNumber>& other) const {
  if (!other) zvt::raise(NSInvalidArgumentException, "-[NSNumber compare:]: nil argument");
  auto order = [](auto a, auto b) { return a < b ? NSOrderedAscending : b < a ? NSOrderedDescending : NSOrderedSame; };
  const bool fa = isFloatingPoint(), fb = other->isFloatingPoint();
  if (fa || fb) {
    // long double holds every 64-bit integer and every double exactly.
    auto wide = [](const NSNumber& n) -> long double {
      if (n.isFloatingPoint()) return static_cast<long double>(n.d_);
      return n.isUnsigned() ? static_cast<long double>(n.u_) : static_cast<long double>(n.i_);
    };
    long double a = wide(*this), b = wide(*other);
    bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb) return na && nb ? NSOrderedSame : na ? NSOrderedAscending : NSOrderedDescending;
    return order(a, b);
  }
  const bool ua = isUnsigned() && u_ > static_cast<uint64_t>(INT64_MAX);
  const bool ub = other->isUnsigned() && other->u_ > static_cast<uint64_t>(INT64_MAX);
  if (ua || ub) {
    if (ua && ub) return order(u_, other->u_);
    return ua ? NSOrderedDescending : NSOrderedAscending;
  }
  return order(i_, other->i_);
}

bool NSNumber::isEqualToNumber(const std::shared_ptr<NSNumber>& other) const {
  return other && compare(other) == NSOrderedSame;
}

bool NSNumber::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto* n = dynamic_cast<const NSNumber*>(other.get());
  return n && compare(std::static_pointer_cast<NSNumber>(other)) == NSOrderedSame;
}

NSUInteger NSNumber::hash() const {
  if (isFloatingPoint()) {
    double d = d_;
    if (std::isnan(d)) return mix(0x7ff8000000000000ULL);
    if (d == std::trunc(d)) {
      if (d >= -9223372036854775808.0 && d < 9223372036854775808.0) return mix(static_cast<uint64_t>(static_cast<int64_t>(d)));
      if (d >= 0 && d < 18446744073709551616.0) return mix(static_cast<uint64_t>(d));
    }
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return mix(bits);
  }
  return mix(u_);
}

id NSNumber::copyWithZone() const { return self(); }
