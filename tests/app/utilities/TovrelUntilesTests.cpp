#include <gtest/gtest.h>

#include <string>

#include "app/utilities/NSData+Base64.h"
#include "app/utilities/NSString+TovrelURLEncoding.h"
#include "app/utilities/TovrelUntiles.h"
#include "platform/foundation/Foundation.h"

namespace {

std::shared_ptr<NSString> str(std::string_view text) { return NSString::stringWithUTF8String(text); }

std::string hex(const std::shared_ptr<NSData>& data) {
  if (!data) return "(nil)";
  std::string out;
  for (uint8_t byte : data->view()) {
    static const char digits[] = "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 15];
  }
  return out;
}

TEST(TovrelUntilesMD5, KnownAnswersOfTheSigningChain) {
  auto key = TovrelUntiles::getMD5StrFromString(kZVTSigningSecret);
  EXPECT_EQ(key->utf8(), "f0c15be3aaf058844c26eaba34d7fc89");
  EXPECT_EQ(TovrelUntiles::getMD5StrFromString(key)->utf8(), "f1c8d1197bf2fe78a8d78256708bb4b5");
  EXPECT_EQ(TovrelUntiles::getMD5StrFromString(key->stringByAppendingString(str("1700000000")))->utf8(),
            "cc0412e143de79eaf12ee2b8f1b92ace");
  EXPECT_EQ(TovrelUntiles::getMD5StrFromString(NSString::string())->utf8(), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(TovrelUntiles::getMD5StrFromString(nullptr), nullptr);
  // Every UTF-8 byte counts, also beyond a NUL and outside ASCII.
  auto withNul = NSString::stringWithUTF8String(std::string_view("a\0b", 3));
  ASSERT_TRUE(withNul);
  EXPECT_NE(TovrelUntiles::getMD5StrFromString(withNul)->utf8(), TovrelUntiles::getMD5StrFromString(str("a"))->utf8());
  EXPECT_EQ(TovrelUntiles::getMD5StrFromString(str("集分宝"))->length(), 32u);
}

TEST(TovrelUntilesDES, KnownAnswersAndBlockSizes) {
  EXPECT_EQ(TovrelUntiles::encryptUseDES(str("12345678"))->utf8(), "MerN4VO7qmXX7dyPzpMDzg==");
  EXPECT_EQ(TovrelUntiles::encryptUseDES(NSString::string())->utf8(), "1+3cj86TA84=");
  EXPECT_EQ(TovrelUntiles::decryptUseDES(str("1+3cj86TA84="))->utf8(), "");
  EXPECT_EQ(TovrelUntiles::decryptUseDES(str("MerN4VO7qmXX7dyPzpMDzg=="))->utf8(), "12345678");
  EXPECT_EQ(TovrelUntiles::encryptUseDES(str("1234567"))->length(), 12u);
}

TEST(TovrelUntilesDES, LargeTextsRoundTripWithoutASizeCap) {
  std::string big;
  while (big.size() < 200000) big += "返利{\"k\":\"v/+=\"}";
  for (size_t size : {89999u, 90000u, 200000u}) {
    auto text = NSString::stringWithUTF8String(big.substr(0, size - size % 3));
    ASSERT_TRUE(text);
    auto cipher = TovrelUntiles::encryptUseDES(text);
    ASSERT_TRUE(cipher) << size;
    auto back = TovrelUntiles::decryptUseDES(cipher);
    ASSERT_TRUE(back) << size;
    EXPECT_EQ(back->utf8(), text->utf8());
  }
}

TEST(TovrelUntilesDES, DamagedCipherTextGivesNil) {
  const std::pair<const char*, const char*> cases[] = {
      {"not base64!", "not Base64"},
      {"Zm9vYmFy", "six bytes: no whole block"},
      {"MerN4VO7qmU=", "wrong padding"},
      {"dnmGuE3Mzos=", "deciphers to the bytes ff fe 80, which are no UTF-8"},
  };
  for (const auto& [cipher, why] : cases) EXPECT_EQ(TovrelUntiles::decryptUseDES(str(cipher)), nullptr) << why;
  EXPECT_EQ(TovrelUntiles::decryptUseDES(nullptr), nullptr);
}

TEST(TovrelUntilesJSON, PrettyTextOrEmpty) {
  auto dict = NSDictionary::make({{"code"_ns, "abc"_ns}, {"n"_ns, 5_n}});
  auto text = TovrelUntiles::turnToJSONStringWithObject(dict);
  EXPECT_NE(text->utf8().find('\n'), std::string::npos);
  EXPECT_NE(text->utf8().find("\"code\""), std::string::npos);
  EXPECT_EQ(TovrelUntiles::turnToJSONStringWithObject(NSDictionary::make({{"d"_ns, NSDate::date()}}))->utf8(), "");
  EXPECT_EQ(TovrelUntiles::turnToJSONStringWithObject("plain"_ns)->utf8(), "");
  EXPECT_EQ(TovrelUntiles::turnToJSONStringWithObject(nullptr)->utf8(), "");
}

TEST(TovrelUntilesAES, StringCipherKnownAnswersWithoutTheirPadding) {
  // Computed independently: AES-128-CBC of the text plus 1 to 16 zero bytes, key
  // "QXVRMPLENTWOKS" and two zero bytes, IV "KQWPLMZRTXVBN482".
  const std::pair<const char*, const char*> answers[] = {
      {"abc", "uvUgqOho6VaUpdfmbqf3Zw=="},
      {"0123456789abcdef", "hHMvn5R7E7WZlBXsfMrfZ2AmNvnm+sbUOh68sEohUxo="},  // a whole block of padding
      {"集分宝", "GkItidQdxWZKrmUb9kGkjA=="},
  };
  for (const auto& [plain, cipher] : answers) {
    EXPECT_EQ(TovrelUntiles::encryptAES128FromString(str(plain))->utf8(), cipher) << plain;
    auto back = TovrelUntiles::decodeAES128FromString(str(cipher));
    ASSERT_TRUE(back) << plain;
    EXPECT_EQ(back->utf8(), plain) << "the padding the encoder added is stripped";
  }
  const std::pair<const char*, const char*> refused[] = {
      {"Zm9vYmFy", "six bytes: no whole block"},
      {"lm1Iz2VPGydIjUApYKioxA==", "deciphers to \"abcdefghijklmnop\": no zero padding"},
  };
  for (const auto& [cipher, why] : refused) EXPECT_EQ(TovrelUntiles::decodeAES128FromString(str(cipher)), nullptr) << why;
}

TEST(TovrelUntilesAES, KeyedOperationsAgreeAndRefuseLongKeys) {
  auto data = NSData::dataWithString("offer wall token");
  auto viaClass = TovrelUntiles::AES128EncryptWithKey(str("short key"), data);
  auto viaCategory = AES128EncryptWithKey(data, str("short key"));
  ASSERT_TRUE(viaClass);
  EXPECT_TRUE(viaClass->isEqualToData(viaCategory));
  // Computed independently: AES-128-CBC-PKCS7, key "short key" and seven zero bytes, IV
  // "7391046285017364".
  EXPECT_EQ(hex(viaClass), "a7a37e6391c813a547954e6bb1fda8922c1f2e3ea60069c83a15407d809b10b5");
  EXPECT_EQ(hex(AES128EncryptWithKey(NSData::data(), str("short key"))), "7e54dd1d3434e6ca14a425ab5c86de68");
  EXPECT_TRUE(AES128DecryptWithKey(viaCategory, str("short key"))->isEqualToData(data));
  auto explicitIV = TovrelUntiles::myDatas(data, 0, str("short key"), zvt::kTovrelFixedAESIV);
  EXPECT_TRUE(explicitIV->isEqualToData(viaClass));
  EXPECT_TRUE(TovrelUntiles::myDatas(explicitIV, 1, str("short key"), zvt::kTovrelFixedAESIV)->isEqualToData(data));
  // Keys and IVs beyond 16 bytes do not fit the buffers and are refused.
  EXPECT_EQ(AES128EncryptWithKey(data, str("0123456789abcdefX")), nullptr);
  EXPECT_EQ(AES128Operation(data, 0, str("k"), str("0123456789abcdef0")), nullptr);
  EXPECT_TRUE(AES128EncryptWithKey(data, str("0123456789abcdef")));
  EXPECT_EQ(AES128DecryptWithKey(NSData::dataWithString("abc"), str("k")), nullptr);
}

TEST(NSDataBase64, LineBreaksEvery64Characters) {
  std::string bytes48(48, 'x');
  auto forty8 = base64EncodedString(NSData::dataWithString(bytes48));
  EXPECT_EQ(forty8->length(), 64u);
  auto forty9 = base64EncodedString(NSData::dataWithString(bytes48 + "y"));
  EXPECT_EQ(forty9->length(), 70u);
  EXPECT_EQ(forty9->utf8().substr(64, 2), "\r\n");
  EXPECT_TRUE(forty9->hasSuffix("=="));
  EXPECT_EQ(base64EncodedStringWithSeparateLines(NSData::dataWithString(bytes48 + "y"), false)->length(), 68u);
  EXPECT_EQ(base64EncodedString(NSData::dataWithString("ab"))->utf8(), "YWI=");
}

TEST(NSDataBase64, ForgivingDecoder) {
  const std::pair<const char*, const char*> cases[] = {
      {"YWJj\n", "abc"}, {"YQ", "a"}, {"Y", ""}, {"\n", ""}, {"", ""}, {"YWJj集", ""},  // not ASCII: nothing
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(dataFromBase64String(str(text))->view(), bytes) << text;
  EXPECT_EQ(dataFromBase64String(nullptr)->length(), 0u);
  auto round = base64EncodedString(NSData::dataWithString(std::string(200, '\xfe')));
  EXPECT_EQ(dataFromBase64String(round)->view(), std::string(200, '\xfe'));
}

TEST(TovrelUntilesQuery, ParsingRules) {
  auto p = TovrelUntiles::parseURLParams(str("a=1&b=x%20y&a=2&c=d=e&flag&=skipped&bad=%zz&bad2=%E9"));
  EXPECT_EQ(zvt::as<NSString>(p->objectForKey("a"_ns))->utf8(), "2");
  EXPECT_EQ(zvt::as<NSString>(p->objectForKey("b"_ns))->utf8(), "x y");
  EXPECT_EQ(zvt::as<NSString>(p->objectForKey("c"_ns))->utf8(), "d");
  EXPECT_EQ(zvt::as<NSString>(p->objectForKey("flag"_ns))->utf8(), "");
  EXPECT_EQ(p->objectForKey(""_ns), nullptr);
  EXPECT_EQ(p->objectForKey("bad"_ns), nullptr);
  EXPECT_EQ(p->objectForKey("bad2"_ns), nullptr);
  EXPECT_EQ(TovrelUntiles::parseURLParams(NSString::string())->count(), 0u);
  auto removed = TovrelUntiles::parseURLParams(str("k=1&k=%zz"));
  EXPECT_EQ(removed->objectForKey("k"_ns), nullptr);
}

TEST(TovrelUntilesQuery, Escaping) {
  EXPECT_EQ(tovrelUrlEncodeString(str("a b&c=d/e?f;g:h@i$j+k{l}m<n>o,p"))->utf8(),
            "a%20b%26c%3Dd%2Fe%3Ff%3Bg%3Ah%40i%24j%2Bk%7Bl%7Dm%3Cn%3Eo%2Cp");
  EXPECT_EQ(TovrelUntiles::urlEcodingFromString(str("-_.!~*'()Az09"))->utf8(), "-_.!~*'()Az09");
  EXPECT_EQ(tovrelUrlEncodeString(str("集%\"#"))->utf8(), "%E9%9B%86%25%22%23");
  auto round = TovrelUntiles::parseURLParams(str("q=")->stringByAppendingString(tovrelUrlEncodeString(str("a=b&c 集"))));
  EXPECT_EQ(zvt::as<NSString>(round->objectForKey("q"_ns))->utf8(), "a=b&c 集");
}

}  // namespace
