// The byte-level Base64 workers against the RFC 4648 vectors, a bit-by-bit reference coder and
// the padding and leftover-bit rules of the decoder's state machine.
#include "foundation/base64/BCBase64Workers.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using zvt::base64::Alphabet;

std::optional<std::string> encodeText(const std::string& in, Alphabet a, bool padded) {
  std::string out(zvt::base64::encodedLength(in.size(), padded), '\0');
  size_t n = zvt::base64::encode(reinterpret_cast<const uint8_t*>(in.data()), in.size(),
                                 reinterpret_cast<uint8_t*>(out.data()), out.size(), a, padded);
  if (n == 0) return std::nullopt;
  out.resize(n);
  return out;
}

std::optional<std::string> decodeText(const std::string& in, Alphabet a, bool requirePadding) {
  std::string out(zvt::base64::decodedCapacity(in.size()), '\0');
  size_t n = zvt::base64::decode(reinterpret_cast<const uint8_t*>(in.data()), in.size(),
                                 reinterpret_cast<uint8_t*>(out.data()), out.size(), a,
                                 requirePadding);
  if (n == 0) return std::nullopt;
  out.resize(n);
  return out;
}

// Reference encoder written the slow way: a bit queue, six bits at a time.
std::string referenceEncode(const std::string& in, Alphabet a, bool padded) {
  const char* chars = a == Alphabet::standard
                          ? "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
                          : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  unsigned bits = 0, nbits = 0;
  for (unsigned char c : in) {
    bits = (bits << 8) | c;
    nbits += 8;
    while (nbits >= 6) {
      out += chars[(bits >> (nbits - 6)) & 63];
      nbits -= 6;
    }
  }
  if (nbits > 0) out += chars[(bits << (6 - nbits)) & 63];
  while (padded && out.size() % 4 != 0) out += '=';
  return out;
}

TEST(Base64Workers, Rfc4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},        {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (auto [plain, coded] : vectors) {
    EXPECT_EQ(encodeText(plain, Alphabet::standard, true), coded);
    EXPECT_EQ(decodeText(coded, Alphabet::standard, true), plain);
    EXPECT_EQ(decodeText(coded, Alphabet::webSafe, false), plain);
    std::string unpadded = coded;
    while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
    EXPECT_EQ(encodeText(plain, Alphabet::webSafe, false), unpadded);
    EXPECT_EQ(decodeText(unpadded, Alphabet::webSafe, false), plain);
  }
  // The seventh vector, the empty text, is "nothing to do" for both workers.
  EXPECT_EQ(encodeText("", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("", Alphabet::standard, true), std::nullopt);
}

TEST(Base64Workers, LengthsFollowTheFormulas) {
  for (size_t n = 0; n < 50; ++n) {
    EXPECT_EQ(zvt::base64::encodedLength(n, false), (8 * n + 5) / 6) << n;
    EXPECT_EQ(zvt::base64::encodedLength(n, true), ((8 * n + 5) / 6 + 3) / 4 * 4) << n;
    EXPECT_EQ(zvt::base64::decodedCapacity(n), (n + 3) / 4 * 3) << n;
  }
  EXPECT_EQ(zvt::base64::encodedLength(1, true), 4u);
  EXPECT_EQ(zvt::base64::encodedLength(1, false), 2u);
  EXPECT_EQ(zvt::base64::encodedLength(2, false), 3u);
}

TEST(Base64Workers, RandomRoundTripsAgreeWithTheReference) {
  std::mt19937_64 rng(20261206);
  for (Alphabet a : {Alphabet::standard, Alphabet::webSafe}) {
    for (bool padded : {true, false}) {
      for (int round = 0; round < 100000; ++round) {
        size_t len = 1 + rng() % (round % 100 == 0 ? 300 : 20);
        std::string in(len, '\0');
        for (auto& c : in) c = static_cast<char>(rng());
        auto coded = encodeText(in, a, padded);
        ASSERT_TRUE(coded);
        ASSERT_EQ(*coded, referenceEncode(in, a, padded));
        ASSERT_EQ(decodeText(*coded, a, padded && a == Alphabet::standard), in);
      }
    }
  }
}

TEST(Base64Workers, WhiteSpaceIsSkippedAnywhereInTheText) {
  EXPECT_EQ(decodeText("Zm\n9v", Alphabet::standard, true), "foo");
  EXPECT_EQ(decodeText(" Z\tm\r\n9\x0b v\x0c", Alphabet::standard, true), "foo");
  // 160 and 255 count as white space, every other byte of 128 or more is invalid.
  EXPECT_EQ(decodeText("Zm\xa0" "9v\xff", Alphabet::standard, true), "foo");
  EXPECT_EQ(decodeText("Zm\x80" "9v", Alphabet::standard, true), std::nullopt);
  // Long texts broken into lines keep decoding on the fast path and on the slow one alike.
  std::string plain(1000, '\0');
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i * 7);
  std::string coded = *encodeText(plain, Alphabet::standard, true), lines;
  for (size_t i = 0; i < coded.size(); i += 75) lines += coded.substr(i, 75) + "\r\n";
  EXPECT_EQ(decodeText(lines, Alphabet::standard, true), plain);
}

TEST(Base64Workers, PaddingRules) {
  // Required padding: two characters alone fail, web-safe accepts them.
  EXPECT_EQ(decodeText("Zg", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zg", Alphabet::webSafe, false), "f");
  EXPECT_EQ(decodeText("Zm8", Alphabet::webSafe, false), "fo");
  // A single "=" after two characters at the very end is not enough.
  EXPECT_EQ(decodeText("Zg=", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zg=", Alphabet::webSafe, false), std::nullopt);
  EXPECT_EQ(decodeText("Zg==", Alphabet::standard, true), "f");
  EXPECT_EQ(decodeText("Zg== ", Alphabet::standard, true), "f");
  EXPECT_EQ(decodeText("Zg= =\n", Alphabet::standard, true), "f");
  EXPECT_EQ(decodeText("Zg=a", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zg===", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zg==Zg==", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zm8= x", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zm8=  ", Alphabet::standard, true), "fo");
  // "=" in the first or second place of a group.
  EXPECT_EQ(decodeText("=", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zm9v=", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Z===", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("Zm9vZ=", Alphabet::webSafe, false), std::nullopt);
  // A dangling single character fails in both modes.
  EXPECT_EQ(decodeText("Zm9vZ", Alphabet::webSafe, false), std::nullopt);
  EXPECT_EQ(decodeText("Zm9vZ", Alphabet::standard, true), std::nullopt);
}

TEST(Base64Workers, LeftoverBitsMustBeZero) {
  EXPECT_EQ(decodeText("Zh==", Alphabet::standard, true), std::nullopt);   // "h" keeps bits
  EXPECT_EQ(decodeText("Zm9=", Alphabet::standard, true), std::nullopt);   // "9" keeps bits
  EXPECT_EQ(decodeText("Zh", Alphabet::webSafe, false), std::nullopt);
  EXPECT_EQ(decodeText("Zm9", Alphabet::webSafe, false), std::nullopt);
  EXPECT_EQ(decodeText("Zm8", Alphabet::webSafe, false), "fo");
}

TEST(Base64Workers, AlphabetsRefuseEachOthersCharacters) {
  EXPECT_EQ(decodeText("+/8=", Alphabet::standard, true), std::string("\xfb\xff"));
  EXPECT_EQ(decodeText("-_8=", Alphabet::webSafe, false), std::string("\xfb\xff"));
  EXPECT_EQ(decodeText("-_8=", Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText("+/8=", Alphabet::webSafe, false), std::nullopt);
  EXPECT_EQ(decodeText("Zm9v!", Alphabet::standard, true), std::nullopt);
}

TEST(Base64Workers, NulByteEndsTheText) {
  EXPECT_EQ(decodeText(std::string("Zm9v\0garbage!", 13), Alphabet::standard, true), "foo");
  EXPECT_EQ(decodeText(std::string("Zm8=\0!", 6), Alphabet::standard, true), "fo");
  EXPECT_EQ(decodeText(std::string("Zg=\0=", 5), Alphabet::standard, true), std::nullopt);
  EXPECT_EQ(decodeText(std::string("\0Zm9v", 5), Alphabet::standard, true), std::nullopt);
}

TEST(Base64Workers, ShortBuffersAndNullPointersWriteNothing) {
  uint8_t out[8] = {};
  const uint8_t in[] = {'f', 'o', 'o'};
  EXPECT_EQ(zvt::base64::encode(nullptr, 3, out, 8, Alphabet::standard, true), 0u);
  EXPECT_EQ(zvt::base64::encode(in, 3, nullptr, 8, Alphabet::standard, true), 0u);
  EXPECT_EQ(zvt::base64::encode(in, 3, out, 3, Alphabet::standard, true), 0u);
  EXPECT_EQ(zvt::base64::decode(in, 3, out, 2, Alphabet::standard, true), 0u);
  EXPECT_EQ(zvt::base64::decode(nullptr, 3, out, 8, Alphabet::standard, true), 0u);
}

}  // namespace
