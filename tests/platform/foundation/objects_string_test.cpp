// Strings: UTF-16 semantics over UTF-8 storage, comparing, searching, deriving, paths, numbers.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/Foundation.h"

namespace {

std::shared_ptr<NSString> S(const char* utf8) { return NSString::stringWithUTF8String(utf8); }

const char* kGrin = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units

TEST(ObjectsString, CountsUtf16UnitsOutsideTheBasicPlane) {
  auto s = S("a\xF0\x9F\x98\x80" "b");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->length(), 4u);
  EXPECT_EQ(s->characterAtIndex(0), u'a');
  EXPECT_EQ(s->characterAtIndex(1), 0xD83D);
  EXPECT_EQ(s->characterAtIndex(2), 0xDE00);
  EXPECT_EQ(s->characterAtIndex(3), u'b');
  EXPECT_EQ(s->substringWithRange(NSMakeRange(1, 2))->utf8(), kGrin);
  EXPECT_EQ(s->substringFromIndex(3)->utf8(), "b");
  EXPECT_EQ(s->substringToIndex(3)->utf8(), std::string("a") + kGrin);
  EXPECT_EQ(s->utf16(), u"a\U0001F600b");
  EXPECT_EQ(S("中文")->length(), 2u);
  EXPECT_EQ(S("中文")->characterAtIndex(1), u'文');
  EXPECT_THROW(s->characterAtIndex(4), NSException);
}

TEST(ObjectsString, CuttingASurrogatePairKeepsEachHalf) {
  auto s = S("a\xF0\x9F\x98\x80" "b");
  auto left = s->substringWithRange(NSMakeRange(0, 2));
  auto right = s->substringFromIndex(2);
  EXPECT_EQ(left->length(), 2u);
  EXPECT_EQ(left->characterAtIndex(1), 0xD83D);
  EXPECT_EQ(right->length(), 2u);
  EXPECT_EQ(right->characterAtIndex(0), 0xDE00);
  // Joining the halves gives back the character, not two lone surrogates.
  auto joined = left->stringByAppendingString(right);
  EXPECT_TRUE(joined->isEqualToString(s));
  EXPECT_EQ(joined->utf8(), s->utf8());
  // A lone half cannot become strict UTF-8 data.
  EXPECT_FALSE(left->dataUsingEncoding(NSUTF8StringEncoding));
  EXPECT_EQ(left->dataUsingEncoding(NSUTF8StringEncoding, true)->view(), "a?");
}

TEST(ObjectsString, RejectsMalformedUtf8) {
  EXPECT_FALSE(NSString::stringWithUTF8String(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(S("\xC0\xAF"));                  // overlong
  EXPECT_FALSE(S("\xED\xA0\x80"));              // encoded surrogate
  EXPECT_FALSE(S("\xF4\x90\x80\x80"));          // above U+10FFFF
  EXPECT_FALSE(S("abc\xE4\xB8"));               // cut off
  EXPECT_FALSE(S("\x80"));                      // stray continuation
  EXPECT_TRUE(S("\xEF\xBF\xBD"));               // U+FFFD itself is fine
  EXPECT_EQ(NSString::stringWithUTF8String(std::string_view("a\0b", 3))->length(), 3u);
}

TEST(ObjectsString, CompareOrdersByUtf16Units) {
  // U+FF5E (one unit, 0xFF5E) sorts after U+1F600 (first unit 0xD83D) in UTF-16 order,
  // although its code point is smaller.
  auto bmpHigh = S("\xEF\xBD\x9E");
  auto astral = S(kGrin);
  EXPECT_EQ(astral->compare(bmpHigh), NSOrderedAscending);
  EXPECT_EQ(bmpHigh->compare(astral), NSOrderedDescending);
  EXPECT_EQ(S("abc")->compare(S("abd")), NSOrderedAscending);
  EXPECT_EQ(S("ab")->compare(S("abc")), NSOrderedAscending);
  EXPECT_EQ(S("abc")->compare(S("abc")), NSOrderedSame);
  EXPECT_EQ(S("B")->compare(S("a")), NSOrderedAscending);
  EXPECT_EQ(S("B")->caseInsensitiveCompare(S("a")), NSOrderedDescending);
  EXPECT_EQ(S("ÄBC")->caseInsensitiveCompare(S("äbc")), NSOrderedSame);
  EXPECT_EQ(S("file10")->compare(S("file9"), NSNumericSearch), NSOrderedDescending);
  EXPECT_EQ(S("file10")->compare(S("file9")), NSOrderedAscending);
  EXPECT_EQ(S("v007")->compare(S("v7"), NSNumericSearch), NSOrderedSame);
  EXPECT_EQ(S("a")->compare(nullptr), NSOrderedDescending);
}

TEST(ObjectsString, EqualityAndHashFollowTheCharacters) {
  auto a = S("héllo");
  auto b = NSMutableString::stringWithUTF8String("hé");
  b->appendString("llo");
  EXPECT_TRUE(a->isEqual(b));
  EXPECT_TRUE(b->isEqual(a));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->isEqual(NSNumber::numberWithInt(1)));
  EXPECT_FALSE(a->isEqual(nullptr));
  EXPECT_EQ(&*"same"_ns, &*"same"_ns);  // one object per literal
}

TEST(ObjectsString, Searches) {
  auto s = S("a😀b😀c");
  EXPECT_EQ(s->rangeOfString(S("b")), NSMakeRange(3, 1));
  EXPECT_EQ(s->rangeOfString(S("😀"), NSBackwardsSearch), NSMakeRange(4, 2));
  EXPECT_EQ(s->rangeOfString(S("x")).location, static_cast<NSUInteger>(NSNotFound));
  EXPECT_EQ(s->rangeOfString(S("")).location, static_cast<NSUInteger>(NSNotFound));
  EXPECT_EQ(S("Hello")->rangeOfString(S("LL"), NSCaseInsensitiveSearch), NSMakeRange(2, 2));
  EXPECT_EQ(S("abcabc")->rangeOfString(S("abc"), NSAnchoredSearch | NSBackwardsSearch), NSMakeRange(3, 3));
  EXPECT_EQ(S("xabc")->rangeOfString(S("abc"), NSAnchoredSearch).location, static_cast<NSUInteger>(NSNotFound));
  EXPECT_EQ(S("abcabc")->rangeOfString(S("abc"), 0, NSMakeRange(1, 5)), NSMakeRange(3, 3));
  EXPECT_THROW(S("abc")->rangeOfString(S("a"), 0, NSMakeRange(2, 5)), NSException);
  EXPECT_TRUE(S("hello")->hasPrefix("he"));
  EXPECT_FALSE(S("hello")->hasPrefix(""));  // Foundation answers NO for the empty prefix
  EXPECT_TRUE(S("hello")->hasSuffix(S("llo")));
  EXPECT_TRUE(S("hello")->containsString(S("ell")));
  auto digits = NSCharacterSet::decimalDigitCharacterSet();
  EXPECT_EQ(S("ab12")->rangeOfCharacterFromSet(digits), NSMakeRange(2, 1));
  EXPECT_EQ(S("ab12")->rangeOfCharacterFromSet(digits, NSBackwardsSearch), NSMakeRange(3, 1));
}

TEST(ObjectsString, DerivesNewStrings) {
  EXPECT_EQ(S("a-b-c")->stringByReplacingOccurrencesOfString(S("-"), S("+"))->utf8(), "a+b+c");
  EXPECT_EQ(S("aaa")->stringByReplacingOccurrencesOfString(S("aa"), S("b"))->utf8(), "ba");
  EXPECT_EQ(S("x😀y")->stringByReplacingCharactersInRange(NSMakeRange(1, 2), S("-"))->utf8(), "x-y");
  auto parts = S("a,,b")->componentsSeparatedByString(S(","));
  ASSERT_EQ(parts->count(), 3u);
  EXPECT_EQ(NSStringFromObject(parts->objectAtIndex(1)), "");
  EXPECT_EQ(S("")->componentsSeparatedByString(S(","))->count(), 1u);
  EXPECT_EQ(S(" \t 你好 \n")->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceAndNewlineCharacterSet())->utf8(),
            "你好");
  EXPECT_EQ(S("ÀbÇ")->lowercaseString()->utf8(), "àbç");
  EXPECT_EQ(S("straße")->uppercaseString()->utf8(), "STRAßE");
  EXPECT_EQ(S("hello wORLD")->capitalizedString()->utf8(), "Hello World");
  EXPECT_EQ(S("ab")->stringByPaddingToLength(5, S("xy"), 1)->utf8(), "abyxy");
  EXPECT_EQ(S("abcdef")->stringByPaddingToLength(3, S("x"), 0)->utf8(), "abc");
  EXPECT_EQ(NSString::stringWithFormat("%@-%d", "x"_ns, 2)->stringByAppendingFormat("%s", "!")->utf8(), "x-2!");
}

TEST(ObjectsString, PercentEncoding) {
  auto allowed = NSCharacterSet::URLQueryAllowedCharacterSet()->mutableCopy();
  allowed->removeCharactersInString(S(":/?#[]@!$&'()*+,;="));
  EXPECT_EQ(S("a b&c=中")->stringByAddingPercentEncodingWithAllowedCharacters(allowed)->utf8(), "a%20b%26c%3D%E4%B8%AD");
  EXPECT_EQ(S("a%20b%E4%B8%AD")->stringByRemovingPercentEncoding()->utf8(), "a b中");
  EXPECT_FALSE(S("100%")->stringByRemovingPercentEncoding());
  EXPECT_FALSE(S("%zz")->stringByRemovingPercentEncoding());
  EXPECT_FALSE(S("%FF")->stringByRemovingPercentEncoding());  // not UTF-8
}

TEST(ObjectsString, Paths) {
  EXPECT_EQ(S("/a/b.txt")->lastPathComponent()->utf8(), "b.txt");
  EXPECT_EQ(S("/a/b/")->lastPathComponent()->utf8(), "b");
  EXPECT_EQ(S("/")->lastPathComponent()->utf8(), "/");
  EXPECT_EQ(S("/a/b.tar.gz")->pathExtension()->utf8(), "gz");
  EXPECT_EQ(S("/a/.hidden")->pathExtension()->utf8(), "");
  EXPECT_EQ(S("/a/b.txt")->stringByDeletingPathExtension()->utf8(), "/a/b");
  EXPECT_EQ(S("/a/b")->stringByDeletingLastPathComponent()->utf8(), "/a");
  EXPECT_EQ(S("/a")->stringByDeletingLastPathComponent()->utf8(), "/");
  EXPECT_EQ(S("a")->stringByDeletingLastPathComponent()->utf8(), "");
  EXPECT_EQ(S("/a/")->stringByAppendingPathComponent(S("/b"))->utf8(), "/a/b");
  EXPECT_EQ(S("")->stringByAppendingPathComponent(S("b"))->utf8(), "b");
  EXPECT_EQ(S("/")->stringByAppendingPathComponent(S("b"))->utf8(), "/b");
  EXPECT_EQ(S("/a/b")->stringByAppendingPathExtension(S("png"))->utf8(), "/a/b.png");
  auto parts = S("/a//b/")->pathComponents();
  ASSERT_EQ(parts->count(), 4u);
  EXPECT_EQ(parts->componentsJoinedByString(S("|"))->utf8(), "/|a|b|/");
}

TEST(ObjectsString, NumericValuesReadLikeFoundation) {
  EXPECT_EQ(S("  42abc")->intValue(), 42);
  EXPECT_EQ(S("-17")->integerValue(), -17);
  EXPECT_EQ(S("abc")->intValue(), 0);
  EXPECT_EQ(S("99999999999")->intValue(), INT32_MAX);
  EXPECT_EQ(S("-99999999999")->intValue(), INT32_MIN);
  EXPECT_EQ(S("9223372036854775807")->longLongValue(), INT64_MAX);
  EXPECT_EQ(S("-9223372036854775808")->longLongValue(), INT64_MIN);
  EXPECT_EQ(S("99999999999999999999")->longLongValue(), INT64_MAX);
  EXPECT_DOUBLE_EQ(S(" 3.25xyz")->doubleValue(), 3.25);
  EXPECT_DOUBLE_EQ(S("-1e3")->doubleValue(), -1000);
  EXPECT_DOUBLE_EQ(S(".5")->doubleValue(), 0.5);
  EXPECT_EQ(S("0x10")->doubleValue(), 0.0);
  EXPECT_EQ(S("nan")->doubleValue(), 0.0);
  EXPECT_TRUE(std::isinf(S("1e999")->doubleValue()));
  EXPECT_EQ(S("1e-999")->doubleValue(), 0.0);
  EXPECT_FLOAT_EQ(S("1.5")->floatValue(), 1.5f);
  EXPECT_TRUE(S("YES")->boolValue());
  EXPECT_TRUE(S("true")->boolValue());
  EXPECT_TRUE(S("  007")->boolValue());
  EXPECT_FALSE(S("000")->boolValue());
  EXPECT_FALSE(S("no")->boolValue());
  EXPECT_FALSE(S("")->boolValue());
}

TEST(ObjectsString, Encodings) {
  auto s = S("é😀");
  auto utf16 = s->dataUsingEncoding(NSUTF16BigEndianStringEncoding);
  EXPECT_EQ(utf16->length(), 6u);
  EXPECT_TRUE(NSString::initWithData(utf16, NSUTF16BigEndianStringEncoding)->isEqualToString(s));
  auto withBom = s->dataUsingEncoding(NSUTF16StringEncoding);
  EXPECT_TRUE(NSString::initWithData(withBom, NSUTF16StringEncoding)->isEqualToString(s));
  EXPECT_EQ(s->lengthOfBytesUsingEncoding(NSUTF8StringEncoding), 6u);
  EXPECT_FALSE(s->dataUsingEncoding(NSASCIIStringEncoding));
  EXPECT_EQ(s->dataUsingEncoding(NSASCIIStringEncoding, true)->view(), "??");
  EXPECT_EQ(NSString::initWithBytes("\xE9", 1, NSISOLatin1StringEncoding)->utf8(), "é");
  EXPECT_FALSE(NSString::initWithBytes("\xE9", 1, NSUTF8StringEncoding));
  EXPECT_FALSE(NSString::initWithBytes("\xE9", 1, NSASCIIStringEncoding));
  EXPECT_EQ(NSString::initWithBytes("\x8E", 1, NSMacOSRomanStringEncoding)->utf8(), "é");
}

TEST(ObjectsString, MutableStringEdits) {
  auto m = NSMutableString::string();
  m->appendString("a😀");
  m->appendFormat("%d", 7);
  EXPECT_EQ(m->length(), 4u);
  m->insertString(S("中"), 1);
  EXPECT_EQ(m->utf8(), "a中😀7");
  m->deleteCharactersInRange(NSMakeRange(2, 2));
  EXPECT_EQ(m->utf8(), "a中7");
  EXPECT_EQ(m->replaceOccurrencesOfString(S("7"), S("77"), 0, NSMakeRange(0, m->length())), 1u);
  EXPECT_EQ(m->utf8(), "a中77");
  EXPECT_THROW(m->deleteCharactersInRange(NSMakeRange(3, 5)), NSException);
  EXPECT_EQ(m->utf8(), "a中77");  // unchanged after the refusal
  auto frozen = m->copy();
  m->setString(S("x"));
  EXPECT_EQ(frozen->utf8(), "a中77");
  EXPECT_FALSE(frozen->isKindOfClass<NSMutableString>());
  EXPECT_TRUE(frozen->mutableCopy()->isKindOfClass<NSMutableString>());
  auto same = S("immutable");
  EXPECT_EQ(same->copy().get(), same.get());
}

TEST(ObjectsString, DescriptionInsideContainersIsQuotedWhenNeeded) {
  EXPECT_EQ(S("plain_word1")->quotedDescription(), "plain_word1");
  EXPECT_EQ(S("1.0")->quotedDescription(), "\"1.0\"");
  EXPECT_EQ(S("http://x")->quotedDescription(), "\"http://x\"");
  EXPECT_EQ(S("two words")->quotedDescription(), "\"two words\"");
  EXPECT_EQ(S("")->quotedDescription(), "\"\"");
  EXPECT_EQ(S("a\"b\\c\nd")->quotedDescription(), "\"a\\\"b\\\\c\\nd\"");
  EXPECT_EQ(S("中")->quotedDescription(), "\"\\U4e2d\"");
  EXPECT_EQ(S(kGrin)->quotedDescription(), "\"\\Ud83d\\Ude00\"");
  EXPECT_EQ(S("a b")->description()->utf8(), "a b");  // the string itself, unquoted
}

}  // namespace
