// The decoder: value kinds, every error text with the index and line where the parser stood,
// the parse options, the value cache and the entry points.
#include "foundation/json/JSONDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "foundation/json/JCContainers.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

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
  EXPECT_STREQ(firstNumber("[0]")->objCType(), "q");
  EXPECT_EQ(firstNumber("[-12]")->longLongValue(), -12);
  EXPECT_STREQ(firstNumber("[9223372036854775807]")->objCType(), "q");
  EXPECT_EQ(firstNumber("[9223372036854775807]")->longLongValue(), INT64_MAX);
  EXPECT_STREQ(firstNumber("[9223372036854775808]")->objCType(), "Q");
  EXPECT_EQ(firstNumber("[9223372036854775808]")->unsignedLongLongValue(), 9223372036854775808ull);
  EXPECT_EQ(firstNumber("[18446744073709551615]")->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_EQ(firstNumber("[-9223372036854775808]")->longLongValue(), INT64_MIN);
  auto negZero = firstNumber("[-0]");
  EXPECT_STREQ(negZero->objCType(), "d");
  EXPECT_TRUE(std::signbit(negZero->doubleValue()));
  EXPECT_STREQ(firstNumber("[0]")->objCType(), "q");
  EXPECT_STREQ(firstNumber("[1.0]")->objCType(), "d");
  EXPECT_STREQ(firstNumber("[1E2]")->objCType(), "d");
  EXPECT_EQ(firstNumber("[1E2]")->doubleValue(), 100.0);
  EXPECT_EQ(firstNumber("[-2.5e-3]")->doubleValue(), -0.0025);
  EXPECT_EQ(firstNumber("[4.9e-324]")->doubleValue(), 4.9e-324);  // subnormals are representable
  EXPECT_EQ(firstNumber("[1.7976931348623157e308]")->doubleValue(), 1.7976931348623157e308);
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
  EXPECT_EQ(firstString(R"(["\u0000"])", JCParseLenientUnicode), fffd);
  EXPECT_EQ(firstString(R"(["a\ud83dx"])", JCParseLenientUnicode), "a" + fffd + "x");
  EXPECT_EQ(firstString(R"(["\ud83d\n"])", JCParseLenientUnicode), fffd + "\n");
  EXPECT_EQ(firstString(R"(["\ude00"])", JCParseLenientUnicode), fffd);
  EXPECT_EQ(firstString(R"(["\ud83d\u0041"])", JCParseLenientUnicode), fffd);
  EXPECT_EQ(firstString(R"(["\ufdd0\uffff"])", JCParseLenientUnicode), fffd + fffd);
  EXPECT_EQ(firstString("[\"a\xC0\x80z\"]", JCParseLenientUnicode), "a" + fffd + "z");
  EXPECT_EQ(firstString("[\"\xED\xA0\x80\"]", JCParseLenientUnicode), fffd);
  EXPECT_EQ(firstString("[\"\xFF\"]", JCParseLenientUnicode), fffd);
  EXPECT_EQ(failure("[\"\xE2\x82", JCParseLenientUnicode),
            "End of buffer reached while parsing UTF8 in \"\" string. @2:1");
}

TEST(JSONDecoder, EveryErrorTextWithIndexAndLine) {
  // The document level.
  EXPECT_EQ(failure(""), "Reached the end of the buffer. @0:1");
  EXPECT_EQ(failure("[1,"), "Reached the end of the buffer. @3:1");
  EXPECT_EQ(failure("[\"a\""), "Reached the end of the buffer. @4:1");
  EXPECT_EQ(failure("\"top\""), "Expected either '[' or '{'. @5:1");
  EXPECT_EQ(failure("\n 42 "), "Expected either '[' or '{'. @4:2");
  EXPECT_EQ(failure("[] x"), "A valid JSON object was parsed but there were additional non-white-space characters "
                             "remaining. @3:1");
  // Tokens.
  const std::string wanted =
      "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";
  EXPECT_EQ(failure("  \t "), wanted + " @4:1");
  EXPECT_EQ(failure("[tru]"), wanted + " @1:1");
  EXPECT_EQ(failure("[x]"), wanted + " @1:1");
  EXPECT_EQ(failure("[true"), wanted + " @1:1");  // a literal needs one more byte after it
  EXPECT_EQ(failure("\xEF\xBB\xBF[]"), wanted + " @0:1");
  EXPECT_EQ(failure("[1, "), wanted + " @4:1");
  // Strings.
  EXPECT_EQ(failure("[\"a\tb\"]"), "Invalid character < 0x20 found in string: 0x09. @3:1");
  EXPECT_EQ(failure("[\"a\\n\x01\"]"), "Invalid character < 0x20 found in string: 0x01. @5:1");
  EXPECT_EQ(failure("[\"\xE2\x82"), "End of buffer reached while parsing UTF8 in \"\" string. @2:1");
  EXPECT_EQ(failure("[\"\xC0\x80\"]"), "Illegal UTF8 sequence found in \"\" string. @2:1");
  EXPECT_EQ(failure("[\"\\x\"]"), "Invalid escape sequence found in \"\" string. @3:1");
  EXPECT_EQ(failure("[\"\\u12g4\"]"),
            "Unexpected character found in \\u Unicode escape sequence.  Found 'g', expected [0-9a-fA-F]. @6:1");
  EXPECT_EQ(failure("[\"\\ud83dx\"]"),
            "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence. @8:1");
  EXPECT_EQ(failure("[\"\\u0000\"]"), "Illegal \\u Unicode escape sequence. @2:1");
  EXPECT_EQ(failure("[\"\\ud83d\\u0041\"]"), "Illegal \\u Unicode escape sequence. @2:1");
  EXPECT_EQ(failure("[\"abc"), "Invalid string. @5:1");
  EXPECT_EQ(failure("[\"ab\\u12"), "Invalid string. @8:1");
  // Numbers.
  EXPECT_EQ(failure("[1,2"), "Invalid number. @4:1");
  EXPECT_EQ(failure("[-]"), "Invalid number. @2:1");
  EXPECT_EQ(failure("[1.]"), "Invalid number. @3:1");
  EXPECT_EQ(failure("[1e+]"), "Invalid number. @4:1");
  EXPECT_EQ(failure("[-9223372036854775809]"),
            "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
            "-9223372036854775808. @1:1");
  EXPECT_EQ(failure("[18446744073709551616]"),
            "The value '18446744073709551616' exceeded the maximum value that could be represented: "
            "18446744073709551615. @1:1");
  EXPECT_EQ(failure("[1e400]"), "The value '1e400' could not be represented as a 'double' due to overflow. @1:1");
  EXPECT_EQ(failure("[-0.5e-400]"),
            "The value '-0.5e-400' could not be represented as a 'double' due to underflow. @1:1");
  // Arrays.
  EXPECT_EQ(failure("[1 2]"), "Unexpected value. @4:1");
  EXPECT_EQ(failure("[01]"), "Unexpected value. @3:1");
  EXPECT_EQ(failure("[,1]"), "Unexpected ','. @2:1");
  EXPECT_EQ(failure("[1,,2]"), "Unexpected ','. @4:1");
  EXPECT_EQ(failure("[1,]"), "Unexpected ']'. @4:1");
  EXPECT_EQ(failure("[:]"), "Expected a value or a ']', not ':' @2:1");
  EXPECT_EQ(failure("[1}"), "Expected a comma or a ']', not '}' @3:1");
  EXPECT_EQ(failure("[1,}"), "Expected a value, not '}' @4:1");
  // Objects.
  EXPECT_EQ(failure("{\"a\":1 \"b\":2}"), "Unexpected string. @10:1");
  EXPECT_EQ(failure("{\"a\" 1}"), "Expected ':'. @6:1");
  EXPECT_EQ(failure("{\"a\":}"), "Expected a value, not '}' @6:1");
  EXPECT_EQ(failure("{\"a\":1,}"), "Unexpected '}'. @8:1");
  EXPECT_EQ(failure("{,}"), "Unexpected ','. @2:1");
  EXPECT_EQ(failure("{1:2}"), "Expected a \"STRING\" or a '}', not '1' @2:1");
  EXPECT_EQ(failure("{\"a\":1 2}"), "Expected a comma or a '}', not '2' @8:1");
  EXPECT_EQ(failure("{\"a\":1,2}"), "Expected a \"STRING\", not '2' @8:1");
  EXPECT_EQ(failure("{\"a\":1]"), "Expected a comma or a '}', not ']' @7:1");
  EXPECT_EQ(failure("{\"k\":\"v\",\"x\"]"), "Expected ':'. @13:1");
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

  // A string that holds a lone surrogate has no UTF-8 form.
  const unichar lone[] = {'[', '"', 0xD800, '"', ']'};
  auto broken = NSString::stringWithCharacters(lone, 5);
  ASSERT_TRUE(broken);
  std::shared_ptr<NSError> conversionError;
  EXPECT_FALSE(objectFromJSONStringWithParseOptions(*broken, 0, &conversionError));
  ASSERT_TRUE(conversionError);
  EXPECT_EQ(conversionError->localizedDescription()->utf8(),
            "An error occurred converting the contents of a NSString to UTF8.");
}

}  // namespace
