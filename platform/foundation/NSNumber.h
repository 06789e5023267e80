#pragma once
// Boxed numbers. Each number remembers the C type it was made from (objCType); @YES and @NO are
// the two shared objects kCFBooleanTrue and kCFBooleanFalse, so identity tests work.

#include <cstdint>
#include <memory>
#include <type_traits>

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
  // A number is its value alone: the type is its class's (see zvt::NumberOf below).
  virtual const char* objCType() const = 0;
  char type() const { return objCType()[0]; }
  virtual bool isBoolean() const { return false; }
  bool isFloatingPoint() const {
    const char t = type();
    return t == 'f' || t == 'd';
  }
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

  // The value as it is kept, without conversion, for code that has looked at objCType already:
  // the signed integer of c s i l q (and the booleans), the unsigned one of C S I L Q, the
  // double of f and d.
  int64_t storedSignedValue() const { return i_; }
  uint64_t storedUnsignedValue() const { return u_; }
  double storedDoubleValue() const { return d_; }

  // Every number reports itself as an NSNumber, whatever its concrete class.
  std::string className() const override { return "NSNumber"; }

 protected:
  explicit NSNumber(int64_t value) : i_(value) {}
  explicit NSNumber(uint64_t value) : u_(value) {}
  explicit NSNumber(double value) : d_(value) {}

 private:
  union {
    int64_t i_;
    uint64_t u_;
    double d_;
  };
};

namespace zvt {

// The concrete numbers, one class per type character; use the NSNumber factories (the JSON
// decoder makes them in place for its trees). Signed types hold an int64_t, unsigned ones a
// uint64_t, 'f' and 'd' a double.
template <char Type>
class NumberOf final : public NSNumber {
 public:
  static constexpr bool kFloating = Type == 'f' || Type == 'd';
  static constexpr bool kUnsigned = Type == 'C' || Type == 'S' || Type == 'I' || Type == 'L' || Type == 'Q';
  using Value = std::conditional_t<kFloating, double, std::conditional_t<kUnsigned, uint64_t, int64_t>>;
  explicit NumberOf(Value value) : NSNumber(value) {}
  const char* objCType() const override { return kType; }

 private:
  static constexpr char kType[2] = {Type, '\0'};
};

// The two shared booleans ('c', and isBoolean).
class BooleanNumber final : public NSNumber {
 public:
  explicit BooleanNumber(bool value) : NSNumber(int64_t{value ? 1 : 0}) {}
  const char* objCType() const override { return "c"; }
  bool isBoolean() const override { return true; }
};

}  // namespace zvt

// The two boolean objects. In code that runs during static initialisation use
// NSNumber::numberWithBool, which returns the same objects.
extern const std::shared_ptr<NSNumber> kCFBooleanTrue;
extern const std::shared_ptr<NSNumber> kCFBooleanFalse;

// Terse numbers: 42_n is a long long number, 1.5_n a double.
std::shared_ptr<NSNumber> operator""_n(unsigned long long value);
std::shared_ptr<NSNumber> operator""_n(long double value);
