// Random trees (astral and control characters, 64-bit integer extremes, doubles) written with
// random writer options and read back give equal trees.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>

#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

namespace {

class TreeMaker {
 public:
  explicit TreeMaker(uint64_t seed) : rng_(seed) {}

  id container(int depth) {
    if (rng_() % 2 == 0) {
      std::vector<id> items;
      for (size_t n = rng_() % 6; n > 0; --n) items.push_back(value(depth + 1));
      return NSArray::arrayWithObjects(std::move(items));
    }
    std::vector<std::pair<id, id>> pairs;
    for (size_t n = rng_() % 6; n > 0; --n) pairs.emplace_back(string(), value(depth + 1));
    return NSDictionary::dictionaryWithPairs(std::move(pairs));
  }

 private:
  id value(int depth) {
    switch (rng_() % (depth < 5 ? 8 : 6)) {
      case 0:
        return string();
      case 1:
        return integer();
      case 2:
        return dbl();
      case 3:
        return rng_() % 2 ? kCFBooleanTrue : kCFBooleanFalse;
      case 4:
        return kCFNull;
      case 5:
        return string();
      default:
        return container(depth);
    }
  }

  std::shared_ptr<NSString> string() {
    std::u32string points;
    for (size_t n = rng_() % 12; n > 0; --n) points.push_back(codePoint());
    std::string utf8;
    for (char32_t cp : points) {
      if (cp < 0x80) {
        utf8 += static_cast<char>(cp);
      } else if (cp < 0x800) {
        utf8 += static_cast<char>(0xC0 | (cp >> 6));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
      } else if (cp < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (cp >> 12));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        utf8 += static_cast<char>(0xF0 | (cp >> 18));
        utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (cp & 0x3F));
      }
    }
    return NSString::stringWithUTF8String(utf8);
  }

  // Any scalar value the codec accepts: everything but U+0000, surrogates and non-characters.
  char32_t codePoint() {
    for (;;) {
      char32_t cp;
      switch (rng_() % 6) {
        case 0:
          cp = static_cast<char32_t>(1 + rng_() % 0x1F);  // control characters
          break;
        case 1: {
          const char special[] = "\"\\/ ";
          cp = static_cast<char32_t>(special[rng_() % 4]);
          break;
        }
        case 2:
          cp = static_cast<char32_t>(0x20 + rng_() % 0x60);
          break;
        case 3:
          cp = static_cast<char32_t>(0x80 + rng_() % 0xFF80);
          break;
        default:
          cp = static_cast<char32_t>(0x10000 + rng_() % 0x100000);  // astral
          break;
      }
      bool refused = cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) ||
                     (cp & 0xFFFE) == 0xFFFE;
      if (!refused) return cp;
    }
  }

  id integer() {
    switch (rng_() % 6) {
      case 0:
        return NSNumber::numberWithLongLong(INT64_MIN);
      case 1:
        return NSNumber::numberWithLongLong(INT64_MAX);
      case 2:
        return NSNumber::numberWithUnsignedLongLong(UINT64_MAX);
      case 3:
        return NSNumber::numberWithUnsignedLongLong(static_cast<uint64_t>(INT64_MAX) + 1 + rng_() % 1000);
      case 4:
        return NSNumber::numberWithInt(static_cast<int>(rng_() % 2000) - 1000);
      default:
        return NSNumber::numberWithLongLong(static_cast<long long>(rng_()));
    }
  }

  id dbl() {
    switch (rng_() % 4) {
      case 0:
        return NSNumber::numberWithDouble(-0.0);
      case 1:
        return NSNumber::numberWithDouble(static_cast<double>(static_cast<int64_t>(rng_() % 100000)) / 8);
      default:
        for (;;) {
          double d = std::bit_cast<double>(rng_());
          if (std::isfinite(d)) return NSNumber::numberWithDouble(d);
        }
    }
  }

  std::mt19937_64 rng_;
};

// Equal trees: numbers by value (an integral double may come back as an integer), doubles
// bit for bit apart from that, strings by their text, containers element by element.
bool sameTree(const id& a, const id& b, std::string& why) {
  if (auto na = zvt::as<NSNumber>(a)) {
    auto nb = zvt::as<NSNumber>(b);
    if (!nb) return why = "number became another kind", false;
    if (na.get() == kCFBooleanTrue.get() || na.get() == kCFBooleanFalse.get() || nb->isBoolean()) {
      if (na != nb) return why = "boolean changed", false;
      return true;
    }
    if (na->isFloatingPoint() || nb->isFloatingPoint()) {
      double x = na->doubleValue(), y = nb->doubleValue();
      if (std::bit_cast<uint64_t>(x) != std::bit_cast<uint64_t>(y) && !(x == y && x != 0)) {
        return why = "double changed: " + std::to_string(x) + " vs " + std::to_string(y), false;
      }
      return true;
    }
    if (na->compare(nb) != NSOrderedSame) return why = "integer changed", false;
    return true;
  }
  if (auto sa = zvt::as<NSString>(a)) {
    auto sb = zvt::as<NSString>(b);
    if (!sb || sa->utf8() != sb->utf8()) return why = "string changed", false;
    return true;
  }
  if (zvt::isKind<NSNull>(a)) return zvt::isKind<NSNull>(b) || (why = "null changed", false);
  if (auto aa = zvt::as<NSArray>(a)) {
    auto ab = zvt::as<NSArray>(b);
    if (!ab || ab->count() != aa->count()) return why = "array changed", false;
    for (NSUInteger i = 0; i < aa->count(); ++i) {
      if (!sameTree(aa->objectAtIndex(i), ab->objectAtIndex(i), why)) return false;
    }
    return true;
  }
  if (auto da = zvt::as<NSDictionary>(a)) {
    auto db = zvt::as<NSDictionary>(b);
    if (!db || db->count() != da->count()) return why = "dictionary changed", false;
    bool same = true;
    da->enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& object, bool* stop) {
      id other = db->objectForKey(key);
      if (!other || !sameTree(object, other, why)) {
        if (!other) why = "key lost";
        same = false;
        *stop = true;
      }
    });
    return same;
  }
  why = "unknown class";
  return false;
}

TEST(JSONRoundTrip, RandomTreesComeBackEqual) {
  TreeMaker maker(1102);
  std::mt19937 pick(7);
  const JCSerializeOptionFlags optionSets[] = {
      JCSerializePlain, JCSerializePretty, JCSerializeEscapeNonASCII, JCSerializeEscapeSlash,
      JCSerializePretty | JCSerializeEscapeNonASCII | JCSerializeEscapeSlash,
  };
  auto decoder = JSONDecoder::decoder();  // one decoder: its value cache carries across documents
  for (int i = 0; i < 10000; ++i) {
    id tree = maker.container(0);
    JCSerializeOptionFlags options = optionSets[pick() % std::size(optionSets)];
    std::shared_ptr<NSError> error;
    std::shared_ptr<NSData> data =
        zvt::isKind<NSArray>(tree) ? JSONDataWithOptions(*zvt::as<NSArray>(tree), options, &error)
                                   : JSONDataWithOptions(*zvt::as<NSDictionary>(tree), options, &error);
    ASSERT_TRUE(data) << "tree " << i << ": " << (error ? error->localizedDescription()->utf8() : "");
    id back = (i % 2 ? decoder->objectWithData(data, &error) : objectFromJSONData(*data));
    ASSERT_TRUE(back) << "tree " << i << ": " << (error ? error->localizedDescription()->utf8() : "") << "\n"
                      << data->view();
    std::string why;
    ASSERT_TRUE(sameTree(tree, back, why)) << "tree " << i << ": " << why << "\n" << data->view();
    // The decoded containers write the same text again (for the compact form, in table order).
    if (options == JCSerializePretty) {
      std::shared_ptr<NSData> again = zvt::isKind<NSArray>(back)
                                          ? JSONDataWithOptions(*zvt::as<NSArray>(back), options, nullptr)
                                          : JSONDataWithOptions(*zvt::as<NSDictionary>(back), options, nullptr);
      ASSERT_TRUE(again);
      ASSERT_EQ(again->view(), data->view()) << "tree " << i;
    }
  }
}

}  // namespace
