#include "foundation/base64/BCBase64Workers.h"

#include <array>
#include <bit>
#include <cstring>

namespace zvt::base64 {
namespace {

// The pair table stores the first character in the low byte of each 16-bit entry.
static_assert(std::endian::native == std::endian::little);

constexpr char kStandardChars[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kWebSafeChars[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr uint8_t kPad = '=';
constexpr uint8_t kInvalid = 99;

// Two output characters per 12 input bits: halves the table look-ups of the encoder.
struct PairTable {
  std::array<uint16_t, 4096> pairs{};
};

constexpr PairTable makePairs(const char* chars) {
  PairTable t;
  for (unsigned v = 0; v < 4096; ++v) {
    // First character in the low byte: stored little-endian it lands first in memory.
    unsigned first = static_cast<unsigned char>(chars[v >> 6]);
    unsigned second = static_cast<unsigned char>(chars[v & 63]);
    t.pairs[v] = static_cast<uint16_t>(first | (second << 8));
  }
  return t;
}

// Six-bit value of every byte, kInvalid for bytes outside the alphabet (white space and "="
// are invalid here too: the decoder tests for them before it looks a byte up).
struct ValueTable {
  std::array<uint8_t, 256> value{};
  // The same values pre-shifted into place for a whole 4-character group; bit 24 marks a byte
  // that the fast path cannot take (anything but an alphabet character).
  std::array<uint32_t, 256> shifted0{}, shifted1{}, shifted2{}, shifted3{};
};

constexpr ValueTable makeValues(const char* chars) {
  ValueTable t;
  for (unsigned b = 0; b < 256; ++b) {
    t.value[b] = kInvalid;
    t.shifted0[b] = t.shifted1[b] = t.shifted2[b] = t.shifted3[b] = 1u << 24;
  }
  for (unsigned v = 0; v < 64; ++v) {
    unsigned b = static_cast<unsigned char>(chars[v]);
    t.value[b] = static_cast<uint8_t>(v);
    t.shifted0[b] = v << 18;
    t.shifted1[b] = v << 12;
    t.shifted2[b] = v << 6;
    t.shifted3[b] = v;
  }
  return t;
}

constexpr std::array<bool, 256> makeWhiteSpace() {
  std::array<bool, 256> t{};
  for (unsigned b : {9u, 10u, 11u, 12u, 13u, 32u, 160u, 255u}) t[b] = true;
  return t;
}

constexpr PairTable kStandardPairs = makePairs(kStandardChars);
constexpr PairTable kWebSafePairs = makePairs(kWebSafeChars);
constexpr ValueTable kStandardValues = makeValues(kStandardChars);
constexpr ValueTable kWebSafeValues = makeValues(kWebSafeChars);
constexpr std::array<bool, 256> kWhiteSpace = makeWhiteSpace();

}  // namespace

size_t encodedLength(size_t n, bool padded) {
  // floor((8n + 5) / 6) without overflowing for huge n.
  size_t len = (n / 3) * 4 + ((n % 3) * 8 + 5) / 6;
  if (padded) len = (len + 3) / 4 * 4;
  return len;
}

size_t decodedCapacity(size_t n) { return (n / 4 + ((n % 4) + 3) / 4) * 3; }

size_t encode(const uint8_t* src, size_t srcLen, uint8_t* dest, size_t destLen,
              Alphabet alphabet, bool padded) {
  if (src == nullptr || srcLen == 0 || dest == nullptr || destLen == 0) return 0;
  if (destLen < encodedLength(srcLen, padded)) return 0;
  const char* chars = alphabet == Alphabet::standard ? kStandardChars : kWebSafeChars;
  const uint16_t* pairs =
      (alphabet == Alphabet::standard ? kStandardPairs : kWebSafePairs).pairs.data();

  uint8_t* out = dest;
  size_t i = 0;
  // Six input bytes make eight characters: one 48-bit word, four pair look-ups.
  for (; i + 6 <= srcLen; i += 6) {
    const uint8_t* s = src + i;
    uint32_t a = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
    uint32_t b = (uint32_t{s[3]} << 16) | (uint32_t{s[4]} << 8) | s[5];
    uint16_t p[4] = {pairs[a >> 12], pairs[a & 0xFFF], pairs[b >> 12], pairs[b & 0xFFF]};
    std::memcpy(out, p, 8);
    out += 8;
  }
  for (; i + 3 <= srcLen; i += 3) {
    const uint8_t* s = src + i;
    uint32_t a = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
    uint16_t p[2] = {pairs[a >> 12], pairs[a & 0xFFF]};
    std::memcpy(out, p, 4);
    out += 4;
  }
  size_t rest = srcLen - i;
  if (rest == 1) {
    uint8_t b0 = src[i];
    *out++ = static_cast<uint8_t>(chars[b0 >> 2]);
    *out++ = static_cast<uint8_t>(chars[(b0 & 3) << 4]);
    if (padded) {
      *out++ = kPad;
      *out++ = kPad;
    }
  } else if (rest == 2) {
    uint8_t b0 = src[i], b1 = src[i + 1];
    *out++ = static_cast<uint8_t>(chars[b0 >> 2]);
    *out++ = static_cast<uint8_t>(chars[((b0 & 3) << 4) | (b1 >> 4)]);
    *out++ = static_cast<uint8_t>(chars[(b1 & 15) << 2]);
    if (padded) *out++ = kPad;
  }
  return static_cast<size_t>(out - dest);
}

size_t decode(const uint8_t* src, size_t srcLen, uint8_t* dest, size_t destLen,
              Alphabet alphabet, bool requirePadding) {
  if (src == nullptr || srcLen == 0 || dest == nullptr || destLen == 0) return 0;
  if (destLen < decodedCapacity(srcLen)) return 0;
  const ValueTable& t = alphabet == Alphabet::standard ? kStandardValues : kWebSafeValues;

  // The state is the number of characters of the current group consumed so far. `partial`
  // stands for the output byte at index i while it is being assembled (its spare low bits stay
  // there when the text ends), so the output needs no zero fill.
  unsigned state = 0;
  size_t i = 0;
  uint8_t partial = 0;
  size_t pos = 0;
  bool sawPad = false;
  while (pos < srcLen) {
    if (state == 0) {
      // Whole groups of alphabet characters go four at a time.
      while (pos + 4 <= srcLen) {
        const uint8_t* s = src + pos;
        uint32_t x = t.shifted0[s[0]] | t.shifted1[s[1]] | t.shifted2[s[2]] | t.shifted3[s[3]];
        if (x >> 24) break;
        dest[i] = static_cast<uint8_t>(x >> 16);
        dest[i + 1] = static_cast<uint8_t>(x >> 8);
        dest[i + 2] = static_cast<uint8_t>(x);
        i += 3;
        pos += 4;
      }
      if (pos >= srcLen) break;
    }
    uint8_t c = src[pos];
    if (c == 0) break;
    if (kWhiteSpace[c]) {
      ++pos;
      continue;
    }
    if (c == kPad) {
      sawPad = true;
      break;
    }
    uint8_t v = t.value[c];
    if (v == kInvalid) return 0;
    switch (state) {
      case 0:
        partial = static_cast<uint8_t>(v << 2);
        state = 1;
        break;
      case 1:
        dest[i++] = static_cast<uint8_t>(partial | (v >> 4));
        partial = static_cast<uint8_t>((v & 0xF) << 4);
        state = 2;
        break;
      case 2:
        dest[i++] = static_cast<uint8_t>(partial | (v >> 2));
        partial = static_cast<uint8_t>((v & 0x3) << 6);
        state = 3;
        break;
      default:
        dest[i++] = static_cast<uint8_t>(partial | v);
        partial = 0;
        state = 0;
        break;
    }
    ++pos;
  }

  auto atEnd = [&](size_t p) { return p >= srcLen || src[p] == 0; };
  if (sawPad) {
    if (state == 0 || state == 1) return 0;
    if (atEnd(pos + 1)) {
      if (state == 2) return 0;  // the second "=" is missing
    } else {
      ++pos;
      if (state == 2) {
        while (!atEnd(pos) && kWhiteSpace[src[pos]]) ++pos;
        if (atEnd(pos) || src[pos] != kPad) return 0;
        ++pos;
      }
      for (; !atEnd(pos); ++pos) {
        if (!kWhiteSpace[src[pos]]) return 0;
      }
    }
  } else if (requirePadding ? state != 0 : state == 1) {
    return 0;
  }
  // Spare low bits of the last character must be zero, or the text was not made by an encoder.
  if (i < destLen && partial != 0) return 0;
  return i;
}

}  // namespace zvt::base64
