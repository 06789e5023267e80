#pragma once
// Boxed numbers. Each number remembers the C type it was made from (objCType); @YES and @NO are
// the two shared objects kCFBooleanTrue and kCFBooleanFalse, so identity tests work.

#include <cstdint>
#include <memory>

#include "platform/foundation/NSObject.h"

class NSNumber : public NSObject {
 public:
  static std::shared_ptr<NSNumber> numberWithBool(bool value);
  static std::shared_ptr<NSNumber> numberWithChar(signed char value);
  static std::shared_ptr<NSNumber> numberWithUnsignedChar(unsigned char value);
  static std::shared_ptr<NSNumber> numberWithShort(short value);
  static std::shared_ptr<NSNumber> numberWithUnsignedShort(unsigned short value);
  static std::shared_ptr<NSNumber> numberWithInt(int value);
  static std::shared_ptr<NSNumber> numberWithUnsignedInt(unsigned int value);
  static std::shared_ptr<NSNumber> numberWithLong(long value);
  static std::shared_ptr<NSNumber> numberWithUnsignedLong(unsigned long value);
  static std::shared_ptr<NSNumber> numberWithLongLong(long long value);
  static std::shared_ptr<NSNumber> numberWithUnsignedLongLong(unsigned long long value);
  static std::shared_ptr<NSNumber> numberWithInteger(NSInteger value);
  static std::shared_ptr<NSNumber> numberWithUnsignedInteger(NSUInteger value);
  static std::shared_ptr<NSNumber> numberWithFloat(float value);
  static std::shared_ptr<NSNumber> numberWithDouble(double value);
  // `[[NSNumber alloc] initWithUnsignedLongLong:]`, as the JSON decoder makes large integers.
  static std::shared_ptr<NSNumber> initWithUnsignedLongLong(unsigned long long value) {
    return numberWithUnsignedLongLong(value);
  }

  // The type character of the value: c C s S i I l L q Q f d, and 'c' for the two booleans
  // (as BOOL is a signed char). long is 'q' and unsigned long 'Q', as on a 64-bit device.
  const char* objCType() const { return typeString_; }
  char type() const { return typeString_[0]; }
  bool isBoolean() const { return boolean_; }
  bool isFloatingPoint() const { return typeString_[0] == 'f' || typeString_[0] == 'd'; }
  bool isUnsigned() const;

  bool boolValue() const;
  signed char charValue() const { return static_cast<signed char>(longLongValue()); }
  unsigned char unsignedCharValue() const { return static_cast<unsigned char>(unsignedLongLongValue()); }
  short shortValue() const { return static_cast<short>(longLongValue()); }
  unsigned short unsignedShortValue() const { return static_cast<unsigned short>(unsignedLongLongValue()); }
  int intValue() const { return static_cast<int>(longLongValue()); }
  unsigned int unsignedIntValue() const { return static_cast<unsigned int>(unsignedLongLongValue()); }
  long longValue() const { return static_cast<long>(longLongValue()); }
  unsigned long unsignedLongValue() const { return static_cast<unsigned long>(unsignedLongLongValue()); }
  NSInteger integerValue() const { return longLongValue(); }
  NSUInteger unsignedIntegerValue() const { return unsignedLongLongValue(); }
  // Doubles convert toward zero and saturate at the range (NaN gives 0).
  long long longLongValue() const;
  unsigned long long unsignedLongLongValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  double doubleValue() const;

  std::shared_ptr<NSString> stringValue() const;
  // By value across kinds (1 == 1.0 == @YES); NaN orders below every number.
  NSComparisonResult compare(const std::shared_ptr<NSNumber>& other) const;
  bool isEqualToNumber(const std::shared_ptr<NSNumber>& other) const;

  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

  // Use the factories; public for std::make_shared.
  struct Private {};
  NSNumber(Private, const char* type, int64_t value);
  NSNumber(Private, const char* type, uint64_t value);
  NSNumber(Private, const char* type, double value);
  NSNumber(Private, bool value);

 private:
  const char* typeString_;
  bool boolean_ = false;
  union {
    int64_t i_;
    uint64_t u_;
    double d_;
  };
};

// The two boolean objects. In code that runs during static initialisation use
// NSNumber::numberWithBool, which returns the same objects.
extern const std::shared_ptr<NSNumber> kCFBooleanTrue;
extern const std::shared_ptr<NSNumber> kCFBooleanFalse;

// Terse numbers: 42_n is a long long number, 1.5_n a double.
std::shared_ptr<NSNumber> operator""_n(unsigned long long value);
std::shared_ptr<NSNumber> operator""_n(long double value);
