// The writer: escapes, numbers by kind, pretty printing, the unsupported-class handlers, the
// write cache, the refusals and their texts.
#include "foundation/json/JCSerializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <bit>
#include <charconv>
#include <limits>
#include <random>

#include "foundation/json/JCContainers.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

namespace {

std::shared_ptr<NSString> str(std::string_view s) { return NSString::stringWithUTF8String(s); }

std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : "(nil)"; }
std::string text(const std::shared_ptr<NSData>& d) { return d ? std::string(d->view()) : "(nil)"; }

std::string errorText(const std::shared_ptr<NSError>& error) {
  if (!error) return "(no error)";
  EXPECT_TRUE(error->domain()->isEqualToString("JCErrorDomain"));
  EXPECT_EQ(error->code(), -1);
  return error->localizedDescription()->utf8();
}

// A class the writer cannot write.
class Opaque : public NSObject {
 public:
  explicit Opaque(std::string label) : label_(std::move(label)) {}
  static std::shared_ptr<Opaque> make(std::string label) { return std::make_shared<Opaque>(std::move(label)); }
  std::shared_ptr<NSString> description() const override { return NSString::stringWithUTF8String(label_); }

 private:
  std::string label_;
};

class Formatter : public NSObject {
 public:
  id formatObject(const id& object) {
    ++calls;
    return object->description();
  }
  id formatBadly(const id&) { return Opaque::make("again"); }
  int calls = 0;
};

TEST(JCSerializer, StringLiterals) {
  // A Base64 text as a request body: slashes stay unescaped.
  EXPECT_EQ(text(JSONData(*str("ab/cd+ef=="))), "\"ab/cd+ef==\"");
  EXPECT_EQ(text(JSONString(*str("line\nquote\"back\\slash\x01" "end"))),
            "\"line\\nquote\\\"back\\\\slash\\u0001end\"");
  EXPECT_EQ(text(JSONString(*str("\b\t\f\r\x1f"))), "\"\\b\\t\\f\\r\\u001f\"");
  EXPECT_EQ(text(JSONStringWithOptions(*str("a/b"), JCSerializeEscapeSlash, true, nullptr)), "\"a\\/b\"");
  EXPECT_EQ(text(JSONStringWithOptions(*str("a/b"), JCSerializePlain, false, nullptr)), "a/b");
  EXPECT_EQ(text(JSONDataWithOptions(*str("x\"y"), JCSerializePlain, false, nullptr)), "x\\\"y");
  // Outside ASCII: the bytes pass, or become \u escapes (a pair beyond the BMP).
  EXPECT_EQ(text(JSONString(*str("\xC3\xA9\xF0\x9F\x98\x80"))), "\"\xC3\xA9\xF0\x9F\x98\x80\"");
  EXPECT_EQ(text(JSONStringWithOptions(*str("\xC3\xA9\xF0\x9F\x98\x80/"), JCSerializeEscapeNonASCII, true, nullptr)),
            "\"\\u00e9\\ud83d\\ude00/\"");
  EXPECT_EQ(text(JSONStringWithOptions(*str("\xE4\xB8\xAD\n"), JCSerializeEscapeNonASCII | JCSerializeEscapeSlash,
                                       true, nullptr)),
            "\"\\u4e2d\\n\"");
  // A lone surrogate has no UTF-8 form and is written as "?".
  const unichar lone[] = {'a', 0xD83D, 'b'};
  EXPECT_EQ(text(JSONString(*NSString::stringWithCharacters(lone, 3))), "\"a?b\"");
  // A non-character is refused by the strict decoder when it must be escaped.
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(JSONStringWithOptions(*str("\xEF\xBF\xBF"), JCSerializeEscapeNonASCII, true, &error));
  EXPECT_EQ(errorText(error), "Error converting UTF8.");
  // Long strings with many escapes outgrow the first buffer.
  std::string many(20000, '"');
  auto escaped = JSONString(*str(many));
  ASSERT_TRUE(escaped);
  EXPECT_EQ(escaped->utf8().size(), 40002u);
}

TEST(JCSerializer, NumbersByKind) {
  const struct {
    id number;
    const char* written;
  } cases[] = {
      {kCFBooleanTrue, "[true]"},
      {NSNumber::numberWithBool(false), "[false]"},
      {NSNumber::numberWithChar(-5), "[-5]"},
      {NSNumber::numberWithUnsignedChar(200), "[200]"},
      {NSNumber::numberWithShort(-300), "[-300]"},
      {NSNumber::numberWithInt(INT32_MIN), "[-2147483648]"},
      {NSNumber::numberWithUnsignedInt(UINT32_MAX), "[4294967295]"},
      {NSNumber::numberWithLongLong(INT64_MIN), "[-9223372036854775808]"},
      {NSNumber::numberWithLongLong(INT64_MAX), "[9223372036854775807]"},
      {NSNumber::numberWithUnsignedLongLong(UINT64_MAX), "[18446744073709551615]"},
      {NSNumber::numberWithUnsignedLongLong(9223372036854775808ull), "[9223372036854775808]"},
      {NSNumber::numberWithDouble(0.1), "[0.10000000000000001]"},
      {NSNumber::numberWithDouble(1.0), "[1]"},
      {NSNumber::numberWithDouble(-0.0), "[-0]"},
      {NSNumber::numberWithDouble(1e300), "[1.0000000000000001e+300]"},
      {NSNumber::numberWithFloat(0.5f), "[0.5]"},
  };
  for (const auto& c : cases) EXPECT_EQ(text(JSONString(*NSArray::make({c.number}))), c.written);
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    std::shared_ptr<NSError> error;
    EXPECT_FALSE(JSONStringWithOptions(*NSArray::make({NSNumber::numberWithDouble(bad)}), 0, &error));
    EXPECT_EQ(errorText(error), "Floating point values must be finite.  JSON does not support NaN or Infinity.");
  }
}

TEST(JCSerializer, IntegersAtEveryPowerOfTenBoundary) {
  // The writer sizes a number from its bit length before writing its digits in place: each
  // boundary between digit counts, both signs, as array elements and as a dictionary's value.
  uint64_t power = 1;
  for (int k = 0; k <= 19; ++k, power *= 10) {
    for (uint64_t v : {power - 1, power, power + 1}) {
      std::vector<std::pair<id, std::string>> numbers{{NSNumber::numberWithUnsignedLongLong(v), std::to_string(v)}};
      if (v <= static_cast<uint64_t>(INT64_MAX)) {
        const auto s = static_cast<int64_t>(v);
        numbers.emplace_back(NSNumber::numberWithLongLong(s), std::to_string(s));
        numbers.emplace_back(NSNumber::numberWithLongLong(-s), std::to_string(-s));
      }
      for (const auto& [number, written] : numbers) {
        EXPECT_EQ(text(JSONString(*NSArray::make({number, number}))), "[" + written + "," + written + "]");
        EXPECT_EQ(text(JSONString(*NSDictionary::make({{str("n"), number}}))), "{\"n\":" + written + "}");
      }
    }
  }
}

TEST(JCSerializer, ShortStringsWithAnEscapeAtEveryPlace) {
  // Strings shorter than sixteen bytes are checked in one look; what needs care may sit
  // anywhere, also at the last byte of that look, and longer strings go the general way.
  auto escaped = [](const std::string& plain, bool slash) {
    std::string out;
    for (char c : plain) out += c == '"' ? "\\\"" : c == '\n' ? "\\n" : slash && c == '/' ? "\\/" : std::string(1, c);
    return out;
  };
  for (size_t n = 0; n <= 18; ++n) {
    for (size_t at = 0; at <= n; ++at) {  // at == n: nothing to escape
      for (const char* special : {"\"", "\n", "/", "\xC3\xA9"}) {
        std::string plain(n, 'k');
        if (at < n) plain.replace(at, 1, special);
        EXPECT_EQ(text(JSONString(*NSArray::make({str(plain)}))), "[\"" + escaped(plain, false) + "\"]") << plain;
        EXPECT_EQ(text(JSONStringWithOptions(*NSDictionary::make({{str(plain), kCFNull}}), JCSerializeEscapeSlash,
                                             nullptr)),
                  "{\"" + escaped(plain, true) + "\":null}")
            << plain;
      }
    }
  }
}

TEST(JCSerializer, CollectionsCompactAndPretty) {
  auto d = NSDictionary::make({{str("b"), NSArray::make({NSNumber::numberWithInt(1), kCFNull})},
                               {str("a"), NSDictionary::dictionary()}});
  // Compact output keeps the dictionary's own order.
  std::string compact = text(JSONString(*d));
  EXPECT_TRUE(compact == "{\"b\":[1,null],\"a\":{}}" || compact == "{\"a\":{},\"b\":[1,null]}") << compact;
  EXPECT_EQ(text(JSONStringWithOptions(*d, JCSerializePretty, nullptr)),
            "{\n  \"a\": {\n    \n  },\n  \"b\": [\n    1,\n    null\n  ]\n}");
  EXPECT_EQ(text(JSONStringWithOptions(*NSArray::array(), JCSerializePretty, nullptr)), "[\n  \n]");
  EXPECT_EQ(text(JSONString(*NSArray::array())), "[]");

  // Decoded containers are written in their own (table) order and round-trip.
  auto decoded = zvt::as<NSDictionary>(objectFromJSONString(*str("{\"x\":[1,2.5,\"s\"],\"y\":{\"z\":null}}")));
  ASSERT_TRUE(decoded);
  auto again = objectFromJSONString(*JSONString(*decoded));
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->isEqual(decoded));

  // Many elements: arrays and dictionaries beyond one batch.
  std::vector<id> items;
  std::vector<std::pair<id, id>> pairs;
  for (int i = 0; i < 3000; ++i) {
    items.push_back(NSNumber::numberWithInt(i));
    pairs.emplace_back(str("k" + std::to_string(i)), NSNumber::numberWithInt(i));
  }
  auto big = NSArray::arrayWithObjects(items);
  auto back = zvt::as<NSArray>(objectFromJSONData(*JSONData(*big)));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isEqual(big));
  auto bigDictionary = NSDictionary::dictionaryWithPairs(pairs);
  auto backDictionary = zvt::as<NSDictionary>(objectFromJSONData(*JSONData(*bigDictionary)));
  ASSERT_TRUE(backDictionary);
  EXPECT_TRUE(backDictionary->isEqual(bigDictionary));
}

// Output that outgrew the stack area becomes the result's bytes; output that did not is copied.
// Either way the result stays intact when the same serializer writes again (the state must have
// let go of a block it handed over), as data and as a string.
TEST(JCSerializer, ResultsOutliveTheSerializerThatWroteThem) {
  struct Case {
    size_t elements;  // of about 8 bytes each: 10 stays in the stack area, 2000 goes to the heap
  };
  for (Case c : {Case{10}, Case{2000}}) {
    std::vector<id> items;
    std::string expected = "[";
    for (size_t i = 0; i < c.elements; ++i) {
      items.push_back(str("v" + std::to_string(i)));
      expected += (i > 0 ? ",\"v" : "\"v") + std::to_string(i) + "\"";
    }
    expected += "]";
    auto tree = NSArray::arrayWithObjects(items);
    auto serializer = JCSerializer::make();
    auto first = zvt::as<NSData>(serializer->serialize(tree, 0, JCOutputData, nullptr, nullptr, {}, nullptr));
    auto second = zvt::as<NSData>(serializer->serialize(tree, 0, JCOutputData, nullptr, nullptr, {}, nullptr));
    auto asString = zvt::as<NSString>(serializer->serialize(tree, 0, JCOutputString, nullptr, nullptr, {}, nullptr));
    serializer->releaseState();
    ASSERT_TRUE(first && second && asString) << c.elements;
    EXPECT_EQ(first->view(), expected) << c.elements;
    EXPECT_EQ(second->view(), expected) << c.elements;
    EXPECT_NE(first->bytes(), second->bytes()) << c.elements;
    EXPECT_EQ(asString->utf8(), expected) << c.elements;
  }
}

// Containers built by application code, of sizes around the part of a child that the writer
// fetches with its parent's batch and around a batch, inside dictionaries and arrays: every
// element is written once, in order.
TEST(JCSerializer, ApplicationContainersOfEverySizeAroundTheBatches) {
  const size_t sizes[] = {0, 1, 7, 8, 9, 16, 31, 32, 33, 70};
  std::vector<std::pair<id, id>> parentPairs;
  std::vector<id> dictionaries, mixed;
  std::string parentText = "{", dictionariesText = "[", mixedText = "[";
  for (size_t n : sizes) {
    std::vector<std::pair<id, id>> pairs;
    std::vector<id> items;
    std::string dictionaryText = "{", arrayText = "[";
    for (size_t i = 0; i < n; ++i) {
      const std::string sep = i > 0 ? "," : "";
      pairs.emplace_back(str("k" + std::to_string(i)), NSNumber::numberWithLongLong(static_cast<long long>(i)));
      items.push_back(str("v" + std::to_string(i)));
      dictionaryText += sep + "\"k" + std::to_string(i) + "\":" + std::to_string(i);
      arrayText += sep + "\"v" + std::to_string(i) + "\"";
    }
    dictionaryText += "}";
    arrayText += "]";
    auto dictionary = NSDictionary::dictionaryWithPairs(pairs);
    auto mutableDictionary = NSMutableDictionary::dictionary();
    for (const auto& [key, value] : pairs) mutableDictionary->setObject(value, key);
    auto array = NSArray::arrayWithObjects(items);
    const std::string size = std::to_string(n);
    const std::string sep = parentPairs.empty() ? "" : ",";
    parentPairs.emplace_back(str("d" + size), dictionary);
    parentPairs.emplace_back(str("m" + size), mutableDictionary);
    parentPairs.emplace_back(str("a" + size), array);
    parentText += sep + "\"d" + size + "\":" + dictionaryText + ",\"m" + size + "\":" + dictionaryText + ",\"a" + size +
                  "\":" + arrayText;
    dictionaries.push_back(dictionary);
    dictionaries.push_back(mutableDictionary);
    dictionariesText += sep + dictionaryText + "," + dictionaryText;
    mixed.push_back(dictionary);
    mixed.push_back(array);
    mixedText += sep + dictionaryText + "," + arrayText;
  }
  parentText += "}";
  dictionariesText += "]";
  mixedText += "]";
  EXPECT_EQ(text(JSONString(*NSDictionary::dictionaryWithPairs(parentPairs))), parentText);
  EXPECT_EQ(text(JSONString(*NSArray::arrayWithObjects(dictionaries))), dictionariesText);
  EXPECT_EQ(text(JSONString(*NSArray::arrayWithObjects(mixed))), mixedText);
  // One level down, where the parents' own first elements came with their parent's batch.
  auto outer = NSArray::make({NSDictionary::make({{str("p"), NSDictionary::dictionaryWithPairs(parentPairs)},
                                                  {str("q"), NSArray::arrayWithObjects(dictionaries)}})});
  EXPECT_EQ(text(JSONString(*outer)), "[{\"p\":" + parentText + ",\"q\":" + dictionariesText + "}]");
}

// A chain of `depth` arrays, or dictionaries under the key "k", around an empty array.
id nestedTree(size_t depth, bool dictionaries) {
  id tree = NSArray::array();
  for (size_t i = 1; i < depth; ++i) {
    tree = dictionaries ? id(NSDictionary::make({{str("k"), tree}})) : id(NSArray::make({tree}));
  }
  return tree;
}

TEST(JCSerializer, NestingIsLimitedLikeTheReaders) {
  const struct {
    size_t depth;
    bool dictionaries;
    bool written;
  } cases[] = {
      {JCMaximumNestingDepth, false, true},
      {JCMaximumNestingDepth, true, true},
      {JCMaximumNestingDepth + 1, false, false},
      {JCMaximumNestingDepth + 1, true, false},
      {5000, false, false},  // far deeper than the stack would bear unchecked
  };
  for (const auto& c : cases) {
    std::shared_ptr<NSError> error;
    auto out = JCSerializer::serializeObject(nestedTree(c.depth, c.dictionaries), 0, JCOutputData, nullptr, nullptr,
                                             {}, &error);
    EXPECT_EQ(out != nullptr, c.written) << c.depth;
    EXPECT_EQ(errorText(error), c.written ? "(no error)" : "Maximum nesting depth exceeded.") << c.depth;
    // What is written reads back.
    if (out) {
      EXPECT_TRUE(objectFromJSONData(*std::static_pointer_cast<NSData>(out))) << c.depth;
    }
  }
  // An array that holds itself ends at the limit too.
  auto loop = NSMutableArray::array();
  loop->addObject(loop);
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(JSONDataWithOptions(*loop, JCSerializePretty, &error));
  EXPECT_EQ(errorText(error), "Maximum nesting depth exceeded.");
  loop->removeAllObjects();
}

TEST(JCSerializer, RefusalsAndTheirTexts) {
  std::shared_ptr<NSError> error;
  auto numberKey = NSDictionary::make({{NSNumber::numberWithInt(1), str("v")}});
  EXPECT_FALSE(JSONDataWithOptions(*numberKey, 0, &error));
  EXPECT_EQ(errorText(error), "Key must be a string object.");
  error.reset();
  EXPECT_FALSE(JSONDataWithOptions(*numberKey, JCSerializePretty, &error));
  EXPECT_EQ(errorText(error), "Key must be a string object.");

  error.reset();
  auto opaque = NSArray::make({Opaque::make("o")});
  EXPECT_FALSE(JSONStringWithOptions(*opaque, 0, &error));
  EXPECT_EQ(errorText(error), "Unable to serialize object class Opaque.");

  error.reset();
  EXPECT_FALSE(JCSerializer::serializeObject(str("s"), 0, JCOutputData | JCOutputRequireCollection, nullptr,
                                             nullptr, {}, &error));
  EXPECT_EQ(errorText(error).substr(0, 33), "Unable to serialize object class ");
  EXPECT_NE(errorText(error).find(", expected a NSArray or NSDictionary."), std::string::npos);

  error.reset();
  EXPECT_FALSE(JCSerializer::serializeObject(NSArray::array(), 0, JCOutputData | JCOutputRequireString, nullptr,
                                             nullptr, {}, &error));
  EXPECT_NE(errorText(error).find(", expected a NSString."), std::string::npos);

  error.reset();
  EXPECT_FALSE(JCSerializer::serializeObject(NSArray::array(), 0, 3, nullptr, nullptr, {}, &error));
  EXPECT_EQ(errorText(error), "Unknown encode as type.");

  // Success sets the caller's error to nil.
  EXPECT_TRUE(JSONDataWithOptions(*NSArray::array(), 0, &error));
  EXPECT_FALSE(error);
}

TEST(JCSerializer, UnsupportedClassHandlers) {
  auto tree = NSArray::make({Opaque::make("first"), NSDictionary::make({{str("k"), Opaque::make("second")}})});
  JCUnsupportedClassBlock describe = [](const id& object) -> id { return object->description(); };
  EXPECT_EQ(text(JSONStringWithOptions(*tree, 0, describe, nullptr)), "[\"first\",{\"k\":\"second\"}]");

  auto formatter = std::make_shared<Formatter>();
  EXPECT_EQ(text(JSONDataWithOptions(*tree, 0, formatter, JCSelector(&Formatter::formatObject), nullptr)),
            "[\"first\",{\"k\":\"second\"}]");
  EXPECT_EQ(formatter->calls, 2);

  std::shared_ptr<NSError> error;
  EXPECT_FALSE(JSONDataWithOptions(*tree, 0, formatter, JCSelector(&Formatter::formatBadly), &error));
  EXPECT_EQ(errorText(error),
            "Unable to serialize object class Opaque that was returned by the unsupported class formatter.  "
            "Original object class was Opaque.");
  error.reset();
  JCUnsupportedClassBlock refuse = [](const id&) -> id { return nullptr; };
  EXPECT_FALSE(JSONDataWithOptions(*tree, 0, refuse, &error));
  EXPECT_EQ(errorText(error), "Unable to serialize object class Opaque.");

  // Programming errors of the delegate form.
  try {
    JSONDataWithOptions(*tree, 0, formatter, JCSelector(), nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const NSException& e) {
    EXPECT_EQ(e.reason()->utf8(), "The delegate argument is not NULL, but the selector argument is NULL.");
  }
  try {
    JSONDataWithOptions(*tree, 0, NSNull::null(), JCSelector(&Formatter::formatObject), nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const NSException& e) {
    EXPECT_EQ(e.reason()->utf8(),
              "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
  }
}

TEST(JCSerializer, ReplacementsStayAliveSoTheWriteCacheNeverCopiesStaleText) {
  // Each replacement would die as soon as it is written; a later replacement could then take its
  // address and be "found" in the write cache with the earlier text.
  std::vector<id> items;
  for (int i = 0; i < 2000; ++i) items.push_back(Opaque::make("value-" + std::to_string(i)));
  auto array = NSArray::arrayWithObjects(items);
  JCUnsupportedClassBlock fresh = [](const id& object) -> id {
    return NSString::stringWithUTF8String(object->description()->utf8() + "-as-text");
  };
  auto back = zvt::as<NSArray>(objectFromJSONString(*JSONStringWithOptions(*array, 0, fresh, nullptr)));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->count(), 2000u);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(zvt::as<NSString>(back->objectAtIndex(i))->utf8(), "value-" + std::to_string(i) + "-as-text");
  }
}

// A family of distinct classes the writer cannot write, each described by its number.
template <int N>
class Numbered : public NSObject {
 public:
  std::shared_ptr<NSString> description() const override { return NSString::stringWithUTF8String(std::to_string(N)); }
};

template <int... N>
std::vector<id> oneOfEach(std::integer_sequence<int, N...>) {
  return {std::make_shared<Numbered<N>>()...};
}

TEST(JCSerializer, MoreClassesThanTheWriterRemembersAreStillWritten) {
  // The writer remembers what each class is in a small table; a call that meets more classes
  // than it holds must neither loop looking for a free slot nor take one class for another.
  std::vector<id> items = oneOfEach(std::make_integer_sequence<int, 100>());
  std::string expected = "[";
  for (int i = 0; i < 100; ++i) {
    // Interleaved with the ordinary kinds, which must keep theirs.
    items.insert(items.begin() + 3 * i + 1, {str("s"), NSNumber::numberWithInt(i)});
    expected += (i ? "," : "") + ("\"" + std::to_string(i) + "\",\"s\"," + std::to_string(i));
  }
  JCUnsupportedClassBlock describe = [](const id& object) -> id { return object->description(); };
  auto array = NSArray::arrayWithObjects(items);
  EXPECT_EQ(text(JSONStringWithOptions(*array, 0, describe, nullptr)), expected + "]");
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(JSONDataWithOptions(*array, 0, &error));
  EXPECT_EQ(errorText(error), "Unable to serialize object class Numbered<0>.");
}

TEST(JCSerializer, RepeatedLeavesAreCopiedFromTheWriteCache) {
  auto key = str("shared-key");
  auto value = str("shared \"value\"");
  std::vector<id> rows;
  for (int i = 0; i < 100; ++i) rows.push_back(NSDictionary::make({{key, value}}));
  std::string out = text(JSONString(*NSArray::arrayWithObjects(rows)));
  std::string row = "{\"shared-key\":\"shared \\\"value\\\"\"}";
  std::string expected = "[";
  for (int i = 0; i < 100; ++i) expected += (i ? "," : "") + row;
  EXPECT_EQ(out, expected + "]");
}

}  // namespace

namespace {

TEST(JCSerializer, DoublesAreWrittenExactlyAsPercentPoint17g) {
  std::mt19937_64 rng(17);
  char ours[64], reference[64];
  auto check = [&](double d) {
    char* end = zvt::json::formatDouble17(d, ours, ours + sizeof ours);
    ASSERT_NE(end, nullptr);
    auto r = std::to_chars(reference, reference + sizeof reference, d, std::chars_format::general, 17);
    ASSERT_EQ(std::string(ours, end), std::string(reference, r.ptr)) << std::hexfloat << d;
  };
  for (double d : {0.1, 1.0, -0.0, 0.0, 1e16, 1e17, 123456789012345678.0, 1e-4, 1.2345678901234567e-5, 5e-324,
                   1.7976931348623157e308, -65.613616999999977, 43.152309999999986, 1e22, 9007199254740993.0}) {
    check(d);
  }
  for (int i = 0; i < 200000; ++i) {
    double d = std::bit_cast<double>(rng());
    if (std::isfinite(d)) check(d);
    // Values of ordinary size, where the fixed form is used.
    check(static_cast<double>(static_cast<int64_t>(rng() % 2000000000)) / static_cast<double>(1 + rng() % 100000));
    if (HasFatalFailure()) return;
  }
}

}  // namespace
