#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/crypto/CommonCryptor.h"
#include "platform/crypto/CommonDigest.h"

namespace {

std::string hex(const unsigned char* bytes, size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::vector<uint8_t> unhex(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

struct CryptResult {
  CCCryptorStatus status;
  std::vector<uint8_t> bytes;
  size_t moved;
};

CryptResult crypt(CCOperation op, CCAlgorithm alg, CCOptions options, const std::string& key, const void* iv,
                  const std::vector<uint8_t>& in, size_t available) {
  CryptResult r{};
  r.bytes.resize(available);
  r.status = CCCrypt(op, alg, options, key.data(), key.size(), iv, in.data(), in.size(), r.bytes.data(), available,
                     &r.moved);
  if (r.status == kCCSuccess) r.bytes.resize(r.moved);
  return r;
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(CommonDigest, KnownDigests) {
  unsigned char md[CC_SHA1_DIGEST_LENGTH];
  EXPECT_EQ(hex(CC_MD5("", 0, md), CC_MD5_DIGEST_LENGTH), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hex(CC_MD5("tarvelq@!586", 12, md), CC_MD5_DIGEST_LENGTH), "f0c15be3aaf058844c26eaba34d7fc89");
  EXPECT_EQ(hex(CC_SHA1("abc", 3, md), CC_SHA1_DIGEST_LENGTH), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(hex(CC_SHA1(nullptr, 0, md), CC_SHA1_DIGEST_LENGTH), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  // Bytes after a NUL are digested too: the length decides.
  EXPECT_NE(hex(CC_MD5("a\0b", 3, md), 16), hex(CC_MD5("a", 1, md), 16));
}

TEST(CommonCryptor, DesEcbPkcs7KnownAnswers) {
  auto r = crypt(kCCEncrypt, kCCAlgorithmDES, kCCOptionPKCS7Padding | kCCOptionECBMode, "@ZRMVKTQ", nullptr,
                 bytesOf("12345678"), 64);
  ASSERT_EQ(r.status, kCCSuccess);
  EXPECT_EQ(hex(r.bytes.data(), r.bytes.size()), "31eacde153bbaa65d7eddc8fce9303ce");
  auto empty = crypt(kCCEncrypt, kCCAlgorithmDES, kCCOptionPKCS7Padding | kCCOptionECBMode, "@ZRMVKTQ", nullptr, {}, 8);
  ASSERT_EQ(empty.status, kCCSuccess);
  EXPECT_EQ(hex(empty.bytes.data(), empty.bytes.size()), "d7eddc8fce9303ce");

  auto back = crypt(kCCDecrypt, kCCAlgorithmDES, kCCOptionPKCS7Padding | kCCOptionECBMode, "@ZRMVKTQ", nullptr,
                    r.bytes, 16);
  ASSERT_EQ(back.status, kCCSuccess);
  EXPECT_EQ(std::string(back.bytes.begin(), back.bytes.end()), "12345678");
}

TEST(CommonCryptor, DesCbcRoundTripDiffersFromEcb) {
  const std::string iv = "ABCDEFGH";
  auto plain = bytesOf("sixteen byte txtsixteen byte txt");
  auto cbc = crypt(kCCEncrypt, kCCAlgorithmDES, 0, "@ZRMVKTQ", iv.data(), plain, 32);
  auto ecb = crypt(kCCEncrypt, kCCAlgorithmDES, kCCOptionECBMode, "@ZRMVKTQ", nullptr, plain, 32);
  ASSERT_EQ(cbc.status, kCCSuccess);
  ASSERT_EQ(ecb.status, kCCSuccess);
  EXPECT_NE(cbc.bytes, ecb.bytes);
  // ECB repeats equal blocks, CBC does not.
  EXPECT_TRUE(std::equal(ecb.bytes.begin(), ecb.bytes.begin() + 16, ecb.bytes.begin() + 16));
  auto back = crypt(kCCDecrypt, kCCAlgorithmDES, 0, "@ZRMVKTQ", iv.data(), cbc.bytes, 32);
  ASSERT_EQ(back.status, kCCSuccess);
  EXPECT_EQ(back.bytes, plain);
}

TEST(CommonCryptor, AesCbcNistVector) {
  // NIST SP 800-38A F.2.1, first block.
  auto key = unhex("2b7e151628aed2a6abf7158809cf4f3c");
  auto iv = unhex("000102030405060708090a0b0c0d0e0f");
  auto plain = unhex("6bc1bee22e409f96e93d7e117393172a");
  std::string keyText(key.begin(), key.end());
  auto r = crypt(kCCEncrypt, kCCAlgorithmAES128, 0, keyText, iv.data(), plain, 16);
  ASSERT_EQ(r.status, kCCSuccess);
  EXPECT_EQ(hex(r.bytes.data(), r.bytes.size()), "7649abac8119b246cee98e9b12e9197d");
  auto padded = crypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, keyText, iv.data(), plain, 32);
  ASSERT_EQ(padded.status, kCCSuccess);
  EXPECT_EQ(padded.bytes.size(), 32u);
  auto back = crypt(kCCDecrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, keyText, iv.data(), padded.bytes, 32);
  ASSERT_EQ(back.status, kCCSuccess);
  EXPECT_EQ(back.bytes, plain);
  // 256-bit keys under the same algorithm constant.
  auto wide = crypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, std::string(32, 'k'), nullptr, plain, 32);
  EXPECT_EQ(wide.status, kCCSuccess);
}

TEST(CommonCryptor, RefusalsHaveTheOriginalStatuses) {
  const CCOptions padEcb = kCCOptionPKCS7Padding | kCCOptionECBMode;
  // Output buffer too small: the needed size is reported.
  auto small = crypt(kCCEncrypt, kCCAlgorithmDES, padEcb, "@ZRMVKTQ", nullptr, bytesOf("12345678"), 15);
  EXPECT_EQ(small.status, kCCBufferTooSmall);
  EXPECT_EQ(small.moved, 16u);
  // Unpadded input of a broken length; cipher text of a broken length.
  EXPECT_EQ(crypt(kCCEncrypt, kCCAlgorithmAES128, 0, std::string(16, 'k'), nullptr, bytesOf("abc"), 32).status,
            kCCAlignmentError);
  EXPECT_EQ(crypt(kCCDecrypt, kCCAlgorithmDES, padEcb, "@ZRMVKTQ", nullptr, bytesOf("abcdefghi"), 32).status,
            kCCAlignmentError);
  // Wrong key: the padding does not check out.
  auto enc = crypt(kCCEncrypt, kCCAlgorithmDES, padEcb, "@ZRMVKTQ", nullptr, bytesOf("hello"), 8);
  ASSERT_EQ(enc.status, kCCSuccess);
  int decodeErrors = 0;
  for (const char* other : {"AAAAAAAA", "BBBBBBBB", "CCCCCCCC", "DDDDDDDD"}) {
    decodeErrors += crypt(kCCDecrypt, kCCAlgorithmDES, padEcb, other, nullptr, enc.bytes, 8).status == kCCDecodeError;
  }
  EXPECT_GE(decodeErrors, 3);
  EXPECT_EQ(crypt(kCCDecrypt, kCCAlgorithmDES, padEcb, "@ZRMVKTQ", nullptr, {}, 8).status, kCCDecodeError);
  // Bad parameters.
  EXPECT_EQ(crypt(kCCEncrypt, kCCAlgorithmDES, padEcb, "short", nullptr, bytesOf("x"), 8).status, kCCParamError);
  EXPECT_EQ(crypt(kCCEncrypt, kCCAlgorithmAES128, padEcb, std::string(17, 'k'), nullptr, bytesOf("x"), 16).status,
            kCCParamError);
  EXPECT_EQ(crypt(7, kCCAlgorithmDES, padEcb, "@ZRMVKTQ", nullptr, bytesOf("x"), 8).status, kCCParamError);
  EXPECT_EQ(crypt(kCCEncrypt, 9, padEcb, "@ZRMVKTQ", nullptr, bytesOf("x"), 8).status, kCCParamError);
  EXPECT_EQ(crypt(kCCEncrypt, kCCAlgorithmDES, 0x10, "@ZRMVKTQ", nullptr, bytesOf("x"), 8).status, kCCParamError);
}

}  // namespace
