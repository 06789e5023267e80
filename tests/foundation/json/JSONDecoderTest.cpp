// The decoder: value kinds, every error text with the index and line where the parser stood,
// the parse options, the value cache and the entry points.
#include "foundation/json/JSONDecoder.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>

#include "foundation/json/JCContainers.h"
#include "foundation/json/JCSerializer.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/ObjectArena.h"

namespace {

struct Outcome {
  id object;
  std::string message;  // empty when the parse succeeded
  NSUInteger index = 0;
  NSUInteger line = 0;
};

Outcome parse(std::string_view text, JCParseOptionFlags options = JCParseStrict) {
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  std::shared_ptr<NSError> error;
  Outcome o;
  o.object = decoder->objectWithUTF8String(text.data(), text.size(), &error);
  if (error) {
    EXPECT_FALSE(o.object);
    EXPECT_TRUE(error->domain()->isEqualToString("JCErrorDomain"));
    EXPECT_EQ(error->code(), -1);
    auto info = error->userInfo();
    o.message = zvt::as<NSString>(info->objectForKey(NSLocalizedDescriptionKey))->utf8();
    o.index = zvt::as<NSNumber>(info->objectForKey(JCAtIndexKey))->unsignedLongLongValue();
    o.line = zvt::as<NSNumber>(info->objectForKey(JCLineNumberKey))->unsignedLongLongValue();
  } else {
    EXPECT_TRUE(o.object) << "nil without an error for " << text;
  }
  return o;
}

// The message, index and line of a failed parse, in one comparable text.
std::string failure(std::string_view text, JCParseOptionFlags options = JCParseStrict) {
  Outcome o = parse(text, options);
  if (o.message.empty()) return "(parsed)";
  return o.message + " @" + std::to_string(o.index) + ":" + std::to_string(o.line);
}

id first(const id& array) { return zvt::as<NSArray>(array)->objectAtIndex(0); }
std::shared_ptr<NSNumber> firstNumber(std::string_view text) { return zvt::as<NSNumber>(first(parse(text).object)); }
std::string firstString(std::string_view text, JCParseOptionFlags options = JCParseStrict) {
  auto s = zvt::as<NSString>(first(parse(text, options).object));
  return s ? s->utf8() : "(not a string)";
}

TEST(JSONDecoder, ContainersAndLiterals) {
  auto a = parse("[]").object;
  ASSERT_TRUE(zvt::isKind<JCArray>(a));
  EXPECT_EQ(zvt::as<NSArray>(a)->count(), 0u);
  auto d = parse("{}").object;
  ASSERT_TRUE(zvt::isKind<JCDictionary>(d));
  EXPECT_EQ(zvt::as<NSDictionary>(d)->count(), 0u);

  auto v = zvt::as<NSArray>(parse("[true,false,null,\"\",{\"k\":[1]}]").object);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->objectAtIndex(0), kCFBooleanTrue);
  EXPECT_EQ(v->objectAtIndex(1), kCFBooleanFalse);
  EXPECT_EQ(v->objectAtIndex(2), kCFNull);
  EXPECT_EQ(v->objectAtIndex(3), NSString::string());  // the shared empty string
  auto inner = zvt::as<NSDictionary>(v->objectAtIndex(4));
  ASSERT_TRUE(inner);
  EXPECT_EQ(zvt::as<NSArray>(inner->objectForKey(NSString::stringWithUTF8String("k")))->count(), 1u);
  EXPECT_FALSE(zvt::as<JCArray>(v)->isMutable());
}

TEST(JSONDecoder, NumbersByKind) {
  // The value as text: integers in decimal, doubles in their shortest round-trip form.
  auto valueText = [](const NSNumber& n) {
    if (n.type() == 'q') return std::to_string(n.longLongValue());
    if (n.type() == 'Q') return std::to_string(n.unsignedLongLongValue());
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, n.doubleValue()).ptr);
  };
  const struct {
    const char* text;
    const char* type;
    const char* value;
  } cases[] = {
      {"[0]", "q", "0"},
      {"[-12]", "q", "-12"},
      {"[9223372036854775807]", "q", "9223372036854775807"},
      {"[9223372036854775808]", "Q", "9223372036854775808"},
      {"[18446744073709551615]", "Q", "18446744073709551615"},
      {"[-9223372036854775808]", "q", "-9223372036854775808"},
      {"[-0]", "d", "-0"},
      {"[1.0]", "d", "1"},
      {"[1E2]", "d", "100"},
      {"[-2.5e-3]", "d", "-0.0025"},
      {"[4.9e-324]", "d", "5e-324"},  // subnormals are representable
      {"[1.7976931348623157e308]", "d", "1.7976931348623157e+308"},
  };
  for (const auto& c : cases) {
    auto n = firstNumber(c.text);
    ASSERT_TRUE(n) << c.text;
    EXPECT_STREQ(n->objCType(), c.type) << c.text;
    EXPECT_EQ(valueText(*n), c.value) << c.text;
  }
}

TEST(JSONDecoder, StringsAndEscapes) {
  EXPECT_EQ(firstString(R"(["a\"b\\c\/d\b\f\n\r\t"])"), "a\"b\\c/d\b\f\n\r\t");
  EXPECT_EQ(firstString(R"(["\u00e9\u4e2d"])"), "\xC3\xA9\xE4\xB8\xAD");
  EXPECT_EQ(firstString(R"(["\ud83d\ude00"])"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(firstString("[\"\xF0\x9F\x98\x80 raw\"]"), "\xF0\x9F\x98\x80 raw");
  auto s = zvt::as<NSString>(first(parse(R"(["a\ud83d\ude00b"])").object));
  EXPECT_EQ(s->length(), 4u);
  // Escapes and raw text mixed, longer than the first scratch area.
  std::string longText(5000, 'x');
  EXPECT_EQ(firstString("[\"" + longText + "\\n" + longText + "\"]"), longText + "\n" + longText);
}

TEST(JSONDecoder, LenientUnicodeReplacesWhatStrictModeRefuses) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string text;
    std::string value;
  } cases[] = {
      {R"(["\u0000"])", fffd},
      {R"(["a\ud83dx"])", "a" + fffd + "x"},
      {R"(["\ud83d\n"])", fffd + "\n"},
      {R"(["\ude00"])", fffd},
      {R"(["\ud83d\u0041"])", fffd},
      {R"(["\ufdd0\uffff"])", fffd + fffd},
      {"[\"a\xC0\x80z\"]", "a" + fffd + "z"},
      {"[\"\xED\xA0\x80\"]", fffd},
      {"[\"\xFF\"]", fffd},
  };
  for (const auto& c : cases) EXPECT_EQ(firstString(c.text, JCParseLenientUnicode), c.value) << c.text;
  EXPECT_EQ(failure("[\"\xE2\x82", JCParseLenientUnicode),
            "End of buffer reached while parsing UTF8 in \"\" string. @2:1");
}

TEST(JSONDecoder, EveryErrorTextWithIndexAndLine) {
  const std::string wanted =
      "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";
  const struct {
    std::string text;
    std::string failure;  // message @index:line
  } cases[] = {
      // The document level.
      {"", "Reached the end of the buffer. @0:1"},
      {"[1,", "Reached the end of the buffer. @3:1"},
      {"[\"a\"", "Reached the end of the buffer. @4:1"},
      {"\"top\"", "Expected either '[' or '{'. @5:1"},
      {"\n 42 ", "Expected either '[' or '{'. @4:2"},
      {"[] x", "A valid JSON object was parsed but there were additional non-white-space characters remaining. @3:1"},
      // Tokens.
      {"  \t ", wanted + " @4:1"},
      {"[tru]", wanted + " @1:1"},
      {"[x]", wanted + " @1:1"},
      {"[true", wanted + " @1:1"},  // a literal needs one more byte after it
      {"\xEF\xBB\xBF[]", wanted + " @0:1"},
      {"[1, ", wanted + " @4:1"},
      // Strings.
      {"[\"a\tb\"]", "Invalid character < 0x20 found in string: 0x09. @3:1"},
      {"[\"a\\n\x01\"]", "Invalid character < 0x20 found in string: 0x01. @5:1"},
      {"[\"\xE2\x82", "End of buffer reached while parsing UTF8 in \"\" string. @2:1"},
      {"[\"\xC0\x80\"]", "Illegal UTF8 sequence found in \"\" string. @2:1"},
      {"[\"\\x\"]", "Invalid escape sequence found in \"\" string. @3:1"},
      {"[\"\\u12g4\"]",
       "Unexpected character found in \\u Unicode escape sequence.  Found 'g', expected [0-9a-fA-F]. @6:1"},
      {"[\"\\ud83dx\"]",
       "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence. @8:1"},
      {"[\"\\u0000\"]", "Illegal \\u Unicode escape sequence. @2:1"},
      {"[\"\\ud83d\\u0041\"]", "Illegal \\u Unicode escape sequence. @2:1"},
      {"[\"abc", "Invalid string. @5:1"},
      {"[\"ab\\u12", "Invalid string. @8:1"},
      // Numbers.
      {"[1,2", "Invalid number. @4:1"},
      {"[-]", "Invalid number. @2:1"},
      {"[1.]", "Invalid number. @3:1"},
      {"[1e+]", "Invalid number. @4:1"},
      {"[-9223372036854775809]",
       "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
       "-9223372036854775808. @1:1"},
      {"[18446744073709551616]",
       "The value '18446744073709551616' exceeded the maximum value that could be represented: "
       "18446744073709551615. @1:1"},
      {"[1e400]", "The value '1e400' could not be represented as a 'double' due to overflow. @1:1"},
      {"[-0.5e-400]", "The value '-0.5e-400' could not be represented as a 'double' due to underflow. @1:1"},
      // An exponent too long for any integer still points one way.
      {"[1e-99999999999999999999]",
       "The value '1e-99999999999999999999' could not be represented as a 'double' due to underflow. @1:1"},
      {"[-12.5E+99999999999999999999]",
       "The value '-12.5E+99999999999999999999' could not be represented as a 'double' due to overflow. @1:1"},
      {"[0.000e99999999999999999999]", "(parsed)"},
      // Arrays.
      {"[1 2]", "Unexpected value. @4:1"},
      {"[01]", "Unexpected value. @3:1"},
      {"[,1]", "Unexpected ','. @2:1"},
      {"[1,,2]", "Unexpected ','. @4:1"},
      {"[1,]", "Unexpected ']'. @4:1"},
      {"[:]", "Expected a value or a ']', not ':' @2:1"},
      {"[1}", "Expected a comma or a ']', not '}' @3:1"},
      {"[1,}", "Expected a value, not '}' @4:1"},
      // Objects.
      {"{\"a\":1 \"b\":2}", "Unexpected string. @10:1"},
      {"{\"a\" 1}", "Expected ':'. @6:1"},
      {"{\"a\":}", "Expected a value, not '}' @6:1"},
      {"{\"a\":1,}", "Unexpected '}'. @8:1"},
      {"{,}", "Unexpected ','. @2:1"},
      {"{1:2}", "Expected a \"STRING\" or a '}', not '1' @2:1"},
      {"{\"a\":1 2}", "Expected a comma or a '}', not '2' @8:1"},
      {"{\"a\":1,2}", "Expected a \"STRING\", not '2' @8:1"},
      {"{\"a\":1]", "Expected a comma or a '}', not ']' @7:1"},
      {"{\"k\":\"v\",\"x\"]", "Expected ':'. @13:1"},
  };
  for (const auto& c : cases) EXPECT_EQ(failure(c.text), c.failure) << c.text;
}

TEST(JSONDecoder, LineNumbersCountEachBreakOnce) {
  EXPECT_EQ(failure("[\r\n1,\r\n\r\n]"), "Unexpected ']'. @10:4");
  EXPECT_EQ(failure("[\r1,\n\r]"), "Unexpected ']'. @7:4");
  EXPECT_EQ(failure("[\n\"a\",\n\"b\tc\"]"), "Invalid character < 0x20 found in string: 0x09. @9:3");
  // Unicode line breaks only with their option; without it they are not white space at all.
  EXPECT_EQ(failure("[\xE2\x80\xA8 1,]", JCParseUnicodeLineBreaks), "Unexpected ']'. @8:2");
  EXPECT_EQ(failure("[\xC2\x85\xE2\x80\xA9 1,]", JCParseUnicodeLineBreaks), "Unexpected ']'. @10:3");
  EXPECT_EQ(failure("[\xE2\x80\xA8 1]").substr(0, 17), "Unexpected token,");
}

TEST(JSONDecoder, Comments) {
  EXPECT_EQ(failure("[1] // note"), "A valid JSON object was parsed but there were additional non-white-space "
                                    "characters remaining. @4:1");
  EXPECT_TRUE(parse("[1] // note", JCParseAllowComments).object);
  EXPECT_TRUE(parse("/* a\n b */ [1, // one\n 2 /* two */]", JCParseAllowComments).object);
  EXPECT_EQ(failure("/* a\n b */ [1, // one\r\n 2, /* two */]", JCParseAllowComments), "Unexpected ']'. @37:3");
  // An unclosed comment runs to the end: the array then finds no token.
  EXPECT_EQ(failure("[1 /* never closed", JCParseAllowComments).substr(0, 22), "Unexpected token, want");
  EXPECT_EQ(failure("[1 / 2]", JCParseAllowComments).substr(0, 17), "Unexpected token,");
}

TEST(JSONDecoder, TrailingText) {
  EXPECT_TRUE(parse("[1] \r\n\t ").object);
  EXPECT_TRUE(parse("{} trailing", JCParseAllowTrailingText).object);
  EXPECT_FALSE(parse("{} trailing").object);
}

TEST(JSONDecoder, RepeatedKeysKeepTheLaterValue) {
  auto d = zvt::as<NSDictionary>(parse("{\"k\":1,\"j\":0,\"k\":2}").object);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(zvt::as<NSNumber>(d->objectForKey(NSString::stringWithUTF8String("k")))->intValue(), 2);
}

TEST(JSONDecoder, NestingDepthIsLimited) {
  auto nested = [](size_t depth, char open, char close) {
    return std::string(depth, open) + std::string(depth, close);
  };
  EXPECT_TRUE(parse(nested(JCMaximumNestingDepth, '[', ']')).object);
  EXPECT_EQ(failure(nested(JCMaximumNestingDepth + 1, '[', ']')), "Maximum nesting depth exceeded. @513:1");
  std::string objects;
  for (size_t i = 0; i < 100000; ++i) objects += "{\"a\":";
  EXPECT_EQ(failure(objects), "Maximum nesting depth exceeded. @2561:1");
  EXPECT_EQ(failure(nested(100000, '[', ']')), "Maximum nesting depth exceeded. @513:1");
}

TEST(JSONDecoder, ValueCacheSharesRepeatedValuesAcrossParses) {
  auto decoder = JSONDecoder::decoder();
  std::string text = "[\"repeated\",\"repeated\",12345,12345,1.5,1.5,\"re\\u0070eated\"]";
  auto a = zvt::as<NSArray>(decoder->objectWithUTF8String(text.data(), text.size()));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->objectAtIndex(0), a->objectAtIndex(1));
  EXPECT_EQ(a->objectAtIndex(0), a->objectAtIndex(6));  // the unescaped bytes are what count
  EXPECT_EQ(a->objectAtIndex(2), a->objectAtIndex(3));
  EXPECT_EQ(a->objectAtIndex(4), a->objectAtIndex(5));
  auto b = zvt::as<NSArray>(decoder->objectWithUTF8String(text.data(), text.size()));
  EXPECT_EQ(a->objectAtIndex(0), b->objectAtIndex(0));
  decoder->clearCache();
  auto c = zvt::as<NSArray>(decoder->objectWithUTF8String(text.data(), text.size()));
  EXPECT_NE(a->objectAtIndex(0), c->objectAtIndex(0));
  EXPECT_TRUE(a->objectAtIndex(0)->isEqual(c->objectAtIndex(0)));
  // Same bytes, different kinds: never confused.
  std::string mixedText = "[1,1.0,-1,\"1\"]";
  auto mixed = zvt::as<NSArray>(decoder->objectWithUTF8String(mixedText.data(), mixedText.size()));
  ASSERT_TRUE(mixed);
  EXPECT_STREQ(zvt::as<NSNumber>(mixed->objectAtIndex(0))->objCType(), "q");
  EXPECT_STREQ(zvt::as<NSNumber>(mixed->objectAtIndex(1))->objCType(), "d");
  EXPECT_EQ(zvt::as<NSNumber>(mixed->objectAtIndex(2))->longLongValue(), -1);
  EXPECT_TRUE(zvt::isKind<NSString>(mixed->objectAtIndex(3)));
  // Many distinct values evict each other without mixing them up.
  std::string many = "[";
  for (int i = 0; i < 5000; ++i) many += (i ? ",\"v" : "\"v") + std::to_string(i) + "\"," + std::to_string(i);
  many += "]";
  auto m = zvt::as<NSArray>(decoder->objectWithUTF8String(many.data(), many.size()));
  ASSERT_EQ(m->count(), 10000u);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(zvt::as<NSString>(m->objectAtIndex(2 * i))->utf8(), "v" + std::to_string(i));
    ASSERT_EQ(zvt::as<NSNumber>(m->objectAtIndex(2 * i + 1))->intValue(), i);
  }
}

TEST(JSONDecoder, ATreeGoesWhenItsLastObjectGoes) {
  const size_t chunksBefore = zvt::ObjectArena::liveChunkCount();
  std::string text = "{\"list\":[";
  for (int i = 0; i < 20000; ++i) text += (i ? ",\"" : "\"") + std::to_string(i * 7) + " a long enough text\"";
  text += "],\"n\":1.5}";
  id kept;
  {
    auto tree = zvt::as<NSDictionary>(objectFromJSONString(*NSString::stringWithUTF8String(text)));
    ASSERT_TRUE(tree);
    EXPECT_GT(zvt::ObjectArena::liveChunkCount(), chunksBefore);
    // Every object handed out, by any route, holds the whole tree.
    auto list = zvt::as<NSArray>(tree->objectForKey(NSString::stringWithUTF8String("list")));
    kept = list->objectAtIndex(19999)->copy();
    std::vector<id> keys;
    for (const id& key : *tree) keys.push_back(key);
    EXPECT_EQ(keys.size(), 2u);
  }
  ASSERT_TRUE(zvt::isKind<NSString>(kept));
  EXPECT_EQ(zvt::as<NSString>(kept)->utf8(), "139993 a long enough text");
  EXPECT_GT(zvt::ObjectArena::liveChunkCount(), chunksBefore);
  kept.reset();
  EXPECT_EQ(zvt::ObjectArena::liveChunkCount(), chunksBefore);
}

TEST(JSONDecoder, ValuesSharedWithAnEarlierTreeKeepItAlive) {
  // One decoder: the second tree shares the first one's cached values.
  auto decoder = JSONDecoder::decoder();
  std::string first = "[\"shared value\", 123456, {\"key\": \"shared value\"}]";
  std::string second = "{\"key\": [123456, \"shared value\"]}";
  auto a = zvt::as<NSArray>(decoder->objectWithUTF8String(first.data(), first.size()));
  auto b = zvt::as<NSDictionary>(decoder->objectWithUTF8String(second.data(), second.size()));
  ASSERT_TRUE(a && b);
  auto inner = zvt::as<NSArray>(b->objectForKey(NSString::stringWithUTF8String("key")));
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->objectAtIndex(1), a->objectAtIndex(0));
  // The decoder, its cache and the first tree go; the second still reads the shared values.
  std::weak_ptr<NSObject> firstTree = a;
  a.reset();
  decoder.reset();
  EXPECT_FALSE(firstTree.expired());
  EXPECT_EQ(zvt::as<NSString>(inner->objectAtIndex(1))->utf8(), "shared value");
  EXPECT_EQ(zvt::as<NSNumber>(inner->objectAtIndex(0))->longLongValue(), 123456);
  b.reset();
  inner.reset();
  EXPECT_TRUE(firstTree.expired());
}

TEST(JSONDecoder, MutableTreesHoldTheirValuesStrongly) {
  auto tree = zvt::as<JCDictionary>(
      mutableObjectFromJSONString(*NSString::stringWithUTF8String("{\"a\":[\"x\",{\"b\":2}],\"c\":\"y\"}")));
  ASSERT_TRUE(tree && tree->isMutable());
  auto a = zvt::as<JCArray>(tree->objectForKey(NSString::stringWithUTF8String("a")));
  ASSERT_TRUE(a && a->isMutable());
  std::weak_ptr<NSObject> removed = a->objectAtIndex(1);
  a->removeObjectAtIndex(1);
  EXPECT_TRUE(removed.expired());  // a container of a mutable tree is its own object
  a->addObject(NSString::stringWithUTF8String("z"));
  tree->removeObjectForKey(NSString::stringWithUTF8String("c"));
  EXPECT_EQ(JSONString(*tree)->utf8(), "{\"a\":[\"x\",\"z\"]}");
}

TEST(JSONDecoder, EntryPointsAndProgrammingErrors) {
  EXPECT_THROW(JSONDecoder::decoderWithParseOptions(16), NSException);
  EXPECT_NO_THROW(JSONDecoder::decoderWithParseOptions(15));
  auto decoder = JSONDecoder::decoder();
  EXPECT_THROW(decoder->objectWithUTF8String(static_cast<const char*>(nullptr), 0), NSException);
  EXPECT_THROW(decoder->objectWithData(nullptr), NSException);
  try {
    decoder->objectWithData(nullptr);
  } catch (const NSException& e) {
    EXPECT_EQ(e.reason()->utf8(), "The jsonData argument is NULL.");
  }

  auto data = NSData::dataWithString("{\"a\":[1]}");
  EXPECT_TRUE(zvt::isKind<NSDictionary>(objectFromJSONData(*data)));
  auto m = zvt::as<JCDictionary>(mutableObjectFromJSONData(*data));
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->isMutable());
  EXPECT_TRUE(zvt::as<JCArray>(m->objectForKey(NSString::stringWithUTF8String("a")))->isMutable());
  EXPECT_FALSE(zvt::as<JCDictionary>(decoder->objectWithData(data))->isMutable());
  EXPECT_TRUE(zvt::as<JCDictionary>(decoder->mutableObjectWithData(data))->isMutable());
  EXPECT_TRUE(objectFromJSONDataWithParseOptions(*NSData::dataWithString("[1]//c"), JCParseAllowComments));
  EXPECT_FALSE(objectFromJSONData(*NSData::dataWithString("[1]//c")));

  // The error out-parameter is touched only on failure.
  auto marker = NSError::errorWithDomain(NSString::stringWithUTF8String("marker"), 1);
  std::shared_ptr<NSError> error = marker;
  EXPECT_TRUE(objectFromJSONStringWithParseOptions(*NSString::stringWithUTF8String("[1]"), 0, &error));
  EXPECT_EQ(error, marker);
  EXPECT_FALSE(mutableObjectFromJSONStringWithParseOptions(*NSString::stringWithUTF8String("[1"), 0, &error));
  EXPECT_NE(error, marker);
  EXPECT_TRUE(objectFromJSONString(*NSString::stringWithUTF8String("[\"\xE4\xB8\xAD\"]")));
  EXPECT_TRUE(mutableObjectFromJSONString(*NSString::stringWithUTF8String("{}")));
}

TEST(JSONDecoder, LoneSurrogatesInTheTextBecomeQuestionMarksAsTheWriterWritesThem) {
  const struct {
    std::u16string characters;  // inside the string literal of a one-element array
    std::string expected;
  } cases[] = {
      {u"a\xD800", "a?"},
      {u"\xDC00\xD800z", "??z"},  // a low unit before a high one is no pair
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a pair is a character
  };
  for (const auto& c : cases) {
    auto literal = NSString::stringWithUTF16(u"[\"" + c.characters + u"\"]");
    std::shared_ptr<NSError> error;
    auto read = zvt::as<NSArray>(objectFromJSONStringWithParseOptions(*literal, 0, &error));
    ASSERT_TRUE(read) << c.expected;
    EXPECT_FALSE(error);
    EXPECT_EQ(zvt::as<NSString>(read->objectAtIndex(0))->utf8(), c.expected);
    // The writer's text of the same string reads back the same.
    auto written = JSONString(*NSArray::make({NSString::stringWithUTF16(c.characters)}));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->utf8(), "[\"" + c.expected + "\"]");
    EXPECT_TRUE(objectFromJSONString(*written)->isEqual(read));
  }
  // Outside a string literal the "?" is what the parser finds.
  auto outside = NSString::stringWithUTF16(u"[1]\xD800");
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(objectFromJSONStringWithParseOptions(*outside, 0, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription()->utf8(),
            "A valid JSON object was parsed but there were additional non-white-space characters remaining.");
}

}  // namespace
