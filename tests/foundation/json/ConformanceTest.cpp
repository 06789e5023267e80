// A corpus of our own: every valid document whose top level is an array or an object decodes,
// every invalid one is refused with a "JCErrorDomain" error, and top-level scalars are refused.
// Besides the grammar it covers the escapes, surrogates, every UTF-8 boundary of RFC 3629 and
// numbers at the 64-bit edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"

namespace {

struct Refused {
  bool refused = false;
  std::string message;
};

Refused tryParse(const std::string& text) {
  std::shared_ptr<NSError> error;
  id object = JSONDecoder::decoder()->objectWithUTF8String(text.data(), text.size(), &error);
  Refused r;
  r.refused = !object;
  if (error) {
    EXPECT_TRUE(error->domain()->isEqualToString("JCErrorDomain")) << text;
    EXPECT_EQ(error->code(), -1);
    EXPECT_TRUE(error->userInfo()->objectForKey(JCAtIndexKey)) << text;
    EXPECT_TRUE(error->userInfo()->objectForKey(JCLineNumberKey)) << text;
    r.message = error->localizedDescription()->utf8();
  }
  EXPECT_EQ(r.refused, static_cast<bool>(error)) << text;
  return r;
}

std::string quoted(const std::string& inner) { return "[\"" + inner + "\"]"; }

std::string onlyString(const std::string& document) {
  auto array = zvt::as<NSArray>(JSONDecoder::decoder()->objectWithUTF8String(document.data(), document.size()));
  if (!array || array->count() != 1) return "(refused)";
  auto s = zvt::as<NSString>(array->objectAtIndex(0));
  return s ? s->utf8() : "(not a string)";
}

TEST(JSONConformance, ValidGrammarDecodes) {
  const std::vector<std::string> valid = {
      "[]", "{}", "[[]]", "[{}]", "{\"a\":{}}", "{\"a\":[]}", " \t\r\n[ \t\r\n] \t\r\n",
      "[true,false,null]", "[ true , false , null ]", "{\"a\":true,\"b\":false,\"c\":null}",
      "[0]", "[-0]", "[1]", "[-1]", "[0.5]", "[-0.5]", "[1e5]", "[1E5]", "[1e+5]", "[1e-5]", "[0e0]",
      "[123.456e-7]", "[1.5E+300]", "[9223372036854775807]", "[-9223372036854775808]",
      "[9223372036854775808]", "[18446744073709551615]", "[0.0000000000000000000000001]",
      "[\"\"]", "[\"a\"]", "{\"\":\"\"}", "{\"a\":1,\"b\":[1,2,{\"c\":\"d\"}],\"e\":{\"f\":{}}}",
      "[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "[\"\\u0001\\u001f\\u0020\\u007f\"]", "[\"\\u0080\\u07ff\\u0800\"]",
      "[\"\\ud7ff\\ue000\\ufffd\\ufdcf\\ufdf0\\uFFFD\"]", "[\"\\ud800\\udc00\"]", "[\"\\udbff\\udffd\"]",
      "[\"\\uD83D\\uDE00\"]",
      std::string(400, '[') + std::string(400, ']'),
      "{\"a\":[{\"b\":{}}],\"c\":[[],[{}]]}",
  };
  for (const std::string& text : valid) {
    Refused r = tryParse(text);
    EXPECT_FALSE(r.refused) << text << ": " << r.message;
  }
}

TEST(JSONConformance, Utf8BoundariesOfRfc3629) {
  // Well-formed: the first and last code point of every length, either side of the surrogates,
  // and the last code point before the non-characters at the top of a plane.
  const std::vector<std::string> wellFormed = {
      "\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBD",
      "\xEF\xB7\x8F", "\xEF\xB7\xB0", "\xF0\x90\x80\x80", "\xF3\xBF\xBF\xBD", "\xF4\x80\x80\x80",
      "\xF4\x8F\xBF\xBD",
  };
  for (const std::string& s : wellFormed) EXPECT_EQ(onlyString(quoted("a" + s + "z")), "a" + s + "z");

  // Ill-formed: stray continuation bytes, the never-used lead bytes, overlong forms, surrogates,
  // code points above U+10FFFF, truncated sequences and the non-characters.
  const std::vector<std::string> illFormed = {
      "\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80", "\xFE", "\xFF",
      "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
      "\xF4\x90\x80\x80", "\xC2", "\xE0\xA0", "\xF0\x90\x80", "\xC2\x41", "\xE2\x28\xA1",
      "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xEF\xB7\x90", "\xEF\xB7\xAF", "\xF0\x9F\xBF\xBE", "\xF4\x8F\xBF\xBF",
  };
  for (const std::string& s : illFormed) {
    Refused r = tryParse(quoted("a" + s + "z"));
    EXPECT_TRUE(r.refused) << "accepted bytes of " << s.size();
    EXPECT_EQ(r.message, "Illegal UTF8 sequence found in \"\" string.") << s.size();
  }
  // Cut off by the end of the input.
  EXPECT_EQ(tryParse("[\"\xF0\x9F\x98").message, "End of buffer reached while parsing UTF8 in \"\" string.");
}

TEST(JSONConformance, SurrogateEscapes) {
  EXPECT_EQ(onlyString(R"(["\ud800\udc00"])"), "\xF0\x90\x80\x80");
  EXPECT_EQ(onlyString(R"(["\udbff\udffd"])"), "\xF4\x8F\xBF\xBD");
  const std::vector<std::string> refused = {
      R"(["\ud800"])", R"(["\ud800x"])", R"(["\ud800\n"])", R"(["\udc00"])", R"(["\udfff\ud800"])",
      R"(["\ud800\ud800"])", R"(["\ud800\u0041"])", R"(["\udbff\udfff"])", R"(["\u0000"])", R"(["\ufffe"])",
      R"(["\ufdd0"])",
  };
  for (const std::string& text : refused) EXPECT_TRUE(tryParse(text).refused) << text;
}

TEST(JSONConformance, InvalidDocumentsAreRefused) {
  const std::vector<std::string> invalid = {
      "", " ", "\n\n", "1", "-1", "\"s\"", "true", "false", "null", "[", "]", "{", "}", "[}", "{]", "[[]",
      "[]]", "{\"a\"}", "{\"a\":}", "{\"a\" 1}", "{a:1}", "{'a':1}", "['a']", "[1,]", "[,]", "[,1]",
      "{\"a\":1,}", "[1 2]", "[+1]", "[01]", "[-01]", "[.5]", "[1.]", "[1.e5]", "[1e]", "[1e+]", "[0x10]",
      "[NaN]", "[Infinity]", "[-Infinity]", "[tru]", "[nul]", "[True]", "[\"a\nb\"]", "[\"\\a\"]",
      "[\"\\u12\"]", "[\"\\U0041\"]", "[] []", "[] x", "[1] // c", "/* c */ []", "\xEF\xBB\xBF[]",
      "[18446744073709551616]", "[-9223372036854775809]", "[1e309]", "[\"unterminated", "[1,2",
      std::string("[\"a\0b\"]", 7), std::string("[1,\0]", 5), "{\"a\":1 \"b\":2}",
  };
  for (const std::string& text : invalid) EXPECT_TRUE(tryParse(text).refused) << text;
}

TEST(JSONConformance, TopLevelScalarsAreRefused) {
  for (const char* text : {"0 ", "1.5\n", "\"text\"", "true ", "false\t", "null\r\n"}) {
    EXPECT_EQ(tryParse(text).message, "Expected either '[' or '{'.") << text;
  }
  // At the very end of the input a number or a literal is not even a complete token.
  EXPECT_EQ(tryParse("0").message, "Invalid number.");
  EXPECT_TRUE(tryParse("true").refused);
}

TEST(JSONConformance, DeepNestingFailsCleanly) {
  for (const char* open : {"[", "{\"k\":", "[{\"k\":"}) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += open;
    Refused r = tryParse(text);
    EXPECT_EQ(r.message, "Maximum nesting depth exceeded.") << open;
  }
}

}  // namespace
