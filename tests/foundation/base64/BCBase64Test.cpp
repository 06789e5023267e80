// The class members: data and text in and out, nil for empty results and for text that is not
// pure ASCII, and the standard/web-safe split of padding rules.
#include "foundation/base64/BCBase64.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<NSString> str(std::string_view s) { return NSString::stringWithUTF8String(s); }
std::string text(const std::shared_ptr<NSData>& d) { return d ? std::string(d->view()) : "(nil)"; }
std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : "(nil)"; }

TEST(BCBase64, Rfc4648VectorsThroughEveryMember) {
  const std::pair<const char*, const char*> vectors[] = {
      {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},        {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (auto [plain, coded] : vectors) {
    auto data = NSData::dataWithString(plain);
    EXPECT_EQ(text(BCBase64::encodeData(data)), coded);
    EXPECT_EQ(text(BCBase64::encodeBytes(plain, strlen(plain))), coded);
    EXPECT_EQ(text(BCBase64::stringByEncodingData(data)), coded);
    EXPECT_EQ(text(BCBase64::stringByEncodingBytes(plain, strlen(plain))), coded);
    EXPECT_EQ(text(BCBase64::decodeString(str(coded))), plain);
    EXPECT_EQ(text(BCBase64::decodeData(NSData::dataWithString(coded))), plain);
    EXPECT_EQ(text(BCBase64::decodeBytes(coded, strlen(coded))), plain);
    std::string bare = coded;
    while (bare.back() == '=') bare.pop_back();
    EXPECT_EQ(text(BCBase64::stringByWebSafeEncodingData(data, false)), bare);
    EXPECT_EQ(text(BCBase64::stringByWebSafeEncodingBytes(plain, strlen(plain), true)), coded);
    EXPECT_EQ(text(BCBase64::webSafeEncodeData(data, true)), coded);
    EXPECT_EQ(text(BCBase64::webSafeEncodeBytes(plain, strlen(plain), false)), bare);
    EXPECT_EQ(text(BCBase64::webSafeDecodeString(str(bare))), plain);
    EXPECT_EQ(text(BCBase64::webSafeDecodeData(NSData::dataWithString(coded))), plain);
    EXPECT_EQ(text(BCBase64::webSafeDecodeBytes(bare.data(), bare.size())), plain);
  }
}

TEST(BCBase64, EmptyAndNilGiveNil) {
  EXPECT_EQ(BCBase64::encodeData(NSData::data()), nullptr);
  EXPECT_EQ(BCBase64::encodeData(nullptr), nullptr);
  EXPECT_EQ(BCBase64::stringByEncodingData(NSData::data()), nullptr);
  EXPECT_EQ(BCBase64::stringByWebSafeEncodingBytes(nullptr, 3, true), nullptr);
  EXPECT_EQ(BCBase64::decodeString(str("")), nullptr);
  EXPECT_EQ(BCBase64::decodeString(nullptr), nullptr);
  EXPECT_EQ(BCBase64::webSafeDecodeData(nullptr), nullptr);
  // Only white space decodes to nothing, which is nil as well.
  EXPECT_EQ(BCBase64::decodeString(str(" \n ")), nullptr);
}

TEST(BCBase64, TextMembersTakeOnlyAscii) {
  EXPECT_EQ(text(BCBase64::decodeString(str("Zm\n9v"))), "foo");
  EXPECT_EQ(BCBase64::decodeString(str("Zm9v\xC3\xA9")), nullptr);
  EXPECT_EQ(BCBase64::webSafeDecodeString(str("Zm9v\xC2\xA0")), nullptr);
  // As bytes, 0xA0 is white space; as text, U+00A0 is not ASCII.
  EXPECT_EQ(text(BCBase64::decodeBytes("Zm9v\xA0", 5)), "foo");
}

TEST(BCBase64, PaddingRulesDifferByAlphabet) {
  EXPECT_EQ(BCBase64::decodeString(str("Zg")), nullptr);
  EXPECT_EQ(text(BCBase64::webSafeDecodeString(str("Zg"))), "f");
  EXPECT_EQ(BCBase64::decodeString(str("Zg=")), nullptr);
  EXPECT_EQ(text(BCBase64::decodeString(str("Zg=="))), "f");
  EXPECT_EQ(text(BCBase64::decodeString(str("Zg== "))), "f");
  EXPECT_EQ(BCBase64::decodeString(str("Zg=a")), nullptr);
  EXPECT_EQ(BCBase64::decodeString(str("Zh==")), nullptr);
  EXPECT_EQ(BCBase64::decodeString(str("-_8=")), nullptr);
  EXPECT_EQ(BCBase64::webSafeDecodeString(str("+/8=")), nullptr);
  EXPECT_EQ(text(BCBase64::webSafeDecodeString(str("-_8"))), "\xfb\xff");
  EXPECT_EQ(text(BCBase64::decodeBytes("Zm9v\0!!", 7)), "foo");
}

TEST(BCBase64, BinaryRoundTripOfEveryLengthUpTo300) {
  std::string all;
  for (int i = 0; i < 300; ++i) all += static_cast<char>((i * 131 + 7) & 0xFF);
  for (size_t n = 1; n <= all.size(); ++n) {
    auto data = NSData::dataWithBytes(all.data(), n);
    ASSERT_EQ(text(BCBase64::decodeString(BCBase64::stringByEncodingData(data))), all.substr(0, n));
    ASSERT_EQ(text(BCBase64::webSafeDecodeString(BCBase64::stringByWebSafeEncodingData(data, n % 2))),
              all.substr(0, n));
    ASSERT_EQ(text(BCBase64::decodeData(BCBase64::encodeData(data))), all.substr(0, n));
  }
}

}  // namespace
