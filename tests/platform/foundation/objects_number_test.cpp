// Numbers: kinds, the two booleans, text forms, value equality across kinds and its hash.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <random>

#include "platform/foundation/Foundation.h"

namespace {

std::string D(const std::shared_ptr<NSNumber>& n) { return n->description()->utf8(); }

TEST(ObjectsNumber, RemembersTheKindItWasMadeFrom) {
  const struct {
    std::shared_ptr<NSNumber> number;
    const char* type;
  } cases[] = {
      {NSNumber::numberWithChar('a'), "c"},
      {NSNumber::numberWithUnsignedChar(200), "C"},
      {NSNumber::numberWithShort(-3), "s"},
      {NSNumber::numberWithUnsignedShort(3), "S"},
      {NSNumber::numberWithInt(3), "i"},
      {NSNumber::numberWithUnsignedInt(3), "I"},
      {NSNumber::numberWithLong(3), "q"},
      {NSNumber::numberWithLongLong(3), "q"},
      {NSNumber::numberWithInteger(3), "q"},
      {NSNumber::numberWithUnsignedLongLong(3), "Q"},
      {NSNumber::initWithUnsignedLongLong(UINT64_MAX), "Q"},
      {NSNumber::numberWithFloat(1.5f), "f"},
      {NSNumber::numberWithDouble(1.5), "d"},
      {NSNumber::numberWithBool(true), "c"},
      {42_n, "q"},
      {1.5_n, "d"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.number->objCType(), c.type);
    EXPECT_EQ(c.number->className(), "NSNumber");  // whatever class carries the kind
    EXPECT_EQ(c.number->isBoolean(), c.number.get() == kCFBooleanTrue.get()) << c.type;
  }
  // A number is its value and its class: no room spent on the kind.
  EXPECT_EQ(sizeof(zvt::NumberOf<'d'>), sizeof(NSObject) + sizeof(double));
}

TEST(ObjectsNumber, BooleansAreTwoSharedObjects) {
  EXPECT_EQ(NSNumber::numberWithBool(true).get(), kCFBooleanTrue.get());
  EXPECT_EQ(NSNumber::numberWithBool(false).get(), kCFBooleanFalse.get());
  EXPECT_NE(kCFBooleanTrue.get(), kCFBooleanFalse.get());
  EXPECT_EQ(kCFBooleanTrue->copy().get(), kCFBooleanTrue.get());
  EXPECT_EQ(D(kCFBooleanTrue), "1");
  EXPECT_EQ(D(kCFBooleanFalse), "0");
  // By value a boolean equals the integer, by identity it does not.
  EXPECT_TRUE(kCFBooleanTrue->isEqual(NSNumber::numberWithInt(1)));
  EXPECT_NE(NSNumber::numberWithInt(1).get(), kCFBooleanTrue.get());
  EXPECT_EQ(NSNull::null().get(), kCFNull.get());
}

TEST(ObjectsNumber, DescriptionsMatchFoundationsTextForms) {
  EXPECT_EQ(D(NSNumber::numberWithLongLong(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(D(NSNumber::numberWithLongLong(INT64_MAX)), "9223372036854775807");
  EXPECT_EQ(D(NSNumber::numberWithUnsignedLongLong(UINT64_MAX)), "18446744073709551615");
  EXPECT_EQ(D(NSNumber::numberWithChar('a')), "97");
  EXPECT_EQ(D(NSNumber::numberWithShort(-7)), "-7");
  EXPECT_EQ(D(NSNumber::numberWithUnsignedChar(255)), "255");
  EXPECT_EQ(D(NSNumber::numberWithDouble(0.1)), "0.1");
  EXPECT_EQ(D(NSNumber::numberWithDouble(0.1 + 0.2)), "0.30000000000000004");
  EXPECT_EQ(D(NSNumber::numberWithDouble(1.0 / 3)), "0.3333333333333333");
  EXPECT_EQ(D(NSNumber::numberWithDouble(3.0)), "3");
  EXPECT_EQ(D(NSNumber::numberWithDouble(-2.5)), "-2.5");
  EXPECT_EQ(D(NSNumber::numberWithDouble(100)), "100");
  EXPECT_EQ(D(NSNumber::numberWithDouble(123456789012345.0)), "123456789012345");
  EXPECT_EQ(D(NSNumber::numberWithDouble(1e15)), "1e+15");
  EXPECT_EQ(D(NSNumber::numberWithDouble(1e20)), "1e+20");
  EXPECT_EQ(D(NSNumber::numberWithDouble(1.5e300)), "1.5e+300");
  EXPECT_EQ(D(NSNumber::numberWithDouble(0.0001)), "0.0001");
  EXPECT_EQ(D(NSNumber::numberWithDouble(0.00001)), "1e-05");
  EXPECT_EQ(D(NSNumber::numberWithDouble(5e-324)), "5e-324");
  EXPECT_EQ(D(NSNumber::numberWithDouble(0.0)), "0");
  EXPECT_EQ(D(NSNumber::numberWithDouble(-0.0)), "-0");
  EXPECT_EQ(D(NSNumber::numberWithDouble(std::numeric_limits<double>::infinity())), "inf");
  EXPECT_EQ(D(NSNumber::numberWithDouble(std::nan(""))), "nan");
  EXPECT_EQ(D(NSNumber::numberWithFloat(0.1f)), "0.1");
  EXPECT_EQ(D(NSNumber::numberWithFloat(1234567.0f)), "1234567");
  EXPECT_EQ(D(NSNumber::numberWithFloat(1e8f)), "1e+08");
  EXPECT_EQ(NSNumber::numberWithInt(5)->stringValue()->utf8(), "5");
}

TEST(ObjectsNumber, DoubleTextReadsBackToTheSameValue) {
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    std::string text = D(NSNumber::numberWithDouble(value));
    EXPECT_EQ(NSString::stringWithUTF8String(text)->doubleValue(), value) << text;
  }
}

TEST(ObjectsNumber, ConversionsBetweenKinds) {
  auto big = NSNumber::numberWithUnsignedLongLong(UINT64_MAX);
  EXPECT_EQ(big->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_EQ(big->longLongValue(), -1);  // the bits, as Foundation answers
  EXPECT_DOUBLE_EQ(big->doubleValue(), 18446744073709551615.0);
  auto d = NSNumber::numberWithDouble(-3.9);
  EXPECT_EQ(d->intValue(), -3);
  EXPECT_EQ(NSNumber::numberWithDouble(1e30)->longLongValue(), INT64_MAX);
  EXPECT_EQ(NSNumber::numberWithDouble(-1e30)->longLongValue(), INT64_MIN);
  EXPECT_EQ(NSNumber::numberWithDouble(std::nan(""))->longLongValue(), 0);
  EXPECT_EQ(NSNumber::numberWithInt(300)->charValue(), static_cast<signed char>(300));
  EXPECT_TRUE(NSNumber::numberWithDouble(0.5)->boolValue());
  EXPECT_FALSE(NSNumber::numberWithInt(0)->boolValue());
  EXPECT_FLOAT_EQ(NSNumber::numberWithInt(3)->floatValue(), 3.0f);
}

TEST(ObjectsNumber, EqualityIsByValueAndHashAgrees) {
  std::vector<std::shared_ptr<NSNumber>> ones = {NSNumber::numberWithInt(1), NSNumber::numberWithDouble(1.0),
                                                 NSNumber::numberWithUnsignedChar(1), NSNumber::numberWithFloat(1.0f),
                                                 kCFBooleanTrue};
  for (auto& a : ones) {
    for (auto& b : ones) {
      EXPECT_TRUE(a->isEqual(b)) << a->objCType() << " " << b->objCType();
      EXPECT_EQ(a->hash(), b->hash());
    }
  }
  EXPECT_FALSE(NSNumber::numberWithInt(1)->isEqual(NSNumber::numberWithDouble(1.5)));
  EXPECT_FALSE(NSNumber::numberWithInt(-1)->isEqual(NSNumber::numberWithUnsignedLongLong(UINT64_MAX)));
  EXPECT_FALSE(NSNumber::numberWithInt(1)->isEqual("1"_ns));
  EXPECT_TRUE(NSNumber::numberWithDouble(0.0)->isEqual(NSNumber::numberWithDouble(-0.0)));
  EXPECT_EQ(NSNumber::numberWithDouble(0.0)->hash(), NSNumber::numberWithDouble(-0.0)->hash());
  // Exact across the 2^53 boundary: 2^53 + 1 is no double.
  auto exact = NSNumber::numberWithLongLong((1LL << 53) + 1);
  EXPECT_FALSE(exact->isEqual(NSNumber::numberWithDouble(9007199254740992.0)));
  EXPECT_EQ(exact->compare(NSNumber::numberWithDouble(9007199254740992.0)), NSOrderedDescending);
  EXPECT_EQ(NSNumber::numberWithUnsignedLongLong(UINT64_MAX)->compare(NSNumber::numberWithLongLong(INT64_MAX)),
            NSOrderedDescending);
  EXPECT_EQ(NSNumber::numberWithLongLong(INT64_MIN)->compare(NSNumber::numberWithUnsignedInt(0)), NSOrderedAscending);
  EXPECT_EQ(NSNumber::numberWithDouble(std::nan(""))->compare(NSNumber::numberWithInt(-5)), NSOrderedAscending);
  // Usable as dictionary keys across kinds.
  auto dict = NSDictionary::make({{NSNumber::numberWithInt(7), "seven"_ns}});
  EXPECT_EQ(NSStringFromObject(dict->objectForKey(NSNumber::numberWithDouble(7.0))), "seven");
}

}  // namespace
