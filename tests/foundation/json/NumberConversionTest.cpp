// Decimal numbers must decode to exactly the double the C library's conversion gives (correct
// rounding, ties to even), whichever path the decoder takes for them; numbers the library
// refuses (out of range) must fail the decode.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "foundation/json/JCDecimal.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"

namespace {

struct Reference {
  bool representable = false;
  uint64_t bits = 0;
};

Reference libraryConversion(const std::string& text) {
  double d = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
  if (ec != std::errc() || end != text.data() + text.size()) return {};
  return {true, std::bit_cast<uint64_t>(d)};
}

// Decodes the representable texts as one array and compares each element with the library's
// result; each of the others must fail a document of its own.
void expectSameAsLibrary(const std::vector<std::string>& texts) {
  auto decoder = JSONDecoder::decoder();
  std::vector<const std::string*> representable;
  std::string document = "[";
  for (const auto& t : texts) {
    if (!libraryConversion(t).representable) {
      std::string single = "[" + t + "]";
      EXPECT_FALSE(decoder->objectWithUTF8String(single.data(), single.size())) << t;
      continue;
    }
    if (!representable.empty()) document += ',';
    document += t;
    representable.push_back(&t);
  }
  document += "]";
  auto array = zvt::as<NSArray>(decoder->objectWithUTF8String(document.data(), document.size()));
  ASSERT_TRUE(array) << "document failed";
  ASSERT_EQ(array->count(), representable.size());
  for (size_t i = 0; i < representable.size(); ++i) {
    const std::string& t = *representable[i];
    auto n = zvt::as<NSNumber>(array->objectAtIndex(i));
    ASSERT_STREQ(n->objCType(), "d") << t;
    ASSERT_EQ(std::bit_cast<uint64_t>(n->doubleValue()), libraryConversion(t).bits) << t;
  }
}

TEST(NumberConversion, EdgeCasesMatchTheLibrary) {
  expectSameAsLibrary({
      // Zeros, signs, and zeros with any exponent.
      "0.0", "-0.0", "0e0", "-0e-5", "0.000e400", "-0.0e-400",
      // Short values the exact path takes, and its limits (2^53, 10^22).
      "0.1", "1.5", "-2.5e-3", "9007199254740992.0", "9007199254740993.0", "1e22", "1e23", "123456789e-22",
      // 17 digits, as written by printf("%.17g").
      "0.10000000000000001", "-65.613616999999977", "43.420273000000009", "1.7976931348623157e308",
      "2.2250738585072014e-308", "4.9406564584124654e-324",
      // Ties and near-ties at 53 bits: 1 + 2^-53 and its neighbours, 2^53 + 1.
      "1.00000000000000011102230246251565404236316680908203125",
      "1.00000000000000011102230246251565404236316680908203124",
      "1.00000000000000011102230246251565404236316680908203126", "9007199254740993e0", "9007199254740995e0",
      // 19 and 20 significant digits; leading zeros after "0." do not count.
      "1844674407370955161.5", "18446744073709551615.0", "99999999999999999999e-5",
      "0.00000000000000000000012345678901234567890123", "0.0000000000000000000000000000000000000001",
      // Subnormals and the underflow boundary.
      "4.9e-324", "2.4703282292062328e-324", "1e-320", "2.2250738585072011e-308", "2.2250738585072012e-308",
      // The overflow boundary and exponents beyond the table.
      "1.7976931348623158e308", "1.7976931348623159e308", "1e308", "1e309", "1e-342", "1e-343", "1e-400",
      "12345678901234567e291", "1e100000", "1e-100000",
      // Exponent forms.
      "1E2", "1e+2", "-1E-2", "5e-1", "123.456e7",
  });
}

TEST(NumberConversion, RandomDecimalsMatchTheLibrary) {
  std::mt19937_64 rng(20261206);
  std::vector<std::string> texts;
  for (int i = 0; i < 60000; ++i) {
    std::string t;
    if (rng() & 1) t += '-';
    const int digits = 1 + static_cast<int>(rng() % 20);
    std::string significand;
    for (int k = 0; k < digits; ++k) significand += static_cast<char>('0' + rng() % 10);
    if (significand.size() > 1 && significand[0] == '0') significand[0] = '1' + static_cast<char>(rng() % 9);
    const int point = static_cast<int>(rng() % (static_cast<unsigned>(digits) + 1));
    if (point == 0) {
      t += "0." + significand;
    } else if (point < digits) {
      t += significand.substr(0, static_cast<size_t>(point)) + "." + significand.substr(static_cast<size_t>(point));
    } else {
      t += significand + ".0";
    }
    switch (rng() % 4) {
      case 0:
        break;  // no exponent
      case 1:
        t += "e" + std::to_string(static_cast<int>(rng() % 60) - 30);
        break;
      default:
        t += "e" + std::to_string(static_cast<int>(rng() % 680) - 340);
        break;
    }
    texts.push_back(std::move(t));
  }
  expectSameAsLibrary(texts);
}

// The converter on its own, over significands of every length and the whole exponent range:
// whatever it decides must be the library's answer.
TEST(NumberConversion, ConverterDecidesOnlyCorrectly) {
  std::mt19937_64 rng(7);
  int decided = 0;
  for (int i = 0; i < 400000; ++i) {
    uint64_t w = rng() >> (rng() % 64);
    if (w == 0) w = 1;
    if (w >= 10000000000000000000ull) w /= 10;
    const int64_t q = static_cast<int64_t>(rng() % 700) - 360;
    const std::string text = std::to_string(w) + "e" + std::to_string(q);
    double d;
    if (!zvt::json::decimalToDouble(w, q, d)) continue;
    ++decided;
    Reference ref = libraryConversion(text);
    ASSERT_TRUE(ref.representable) << text;
    ASSERT_EQ(std::bit_cast<uint64_t>(d), ref.bits) << text;
  }
  EXPECT_GT(decided, 300000);  // the quick path is the rule, not the exception
}

}  // namespace
