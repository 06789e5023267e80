#pragma once
// Decimal to binary64 conversion for the decoder's number tokens: the value w x 10^q, rounded to
// the nearest double (ties to even), as the C library's conversion would give it. Only the
// common cases are decided here; the rest (ties or near-ties, subnormal results, overflow,
// exponents beyond the table) answer false and go through the library conversion, which also
// words the range errors. Inline: it runs once for every decimal number of a document.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace zvt::json {
namespace decimal {

// Powers of ten that a double holds exactly.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// 5^q for q in [kMinPower, kMaxPower], as its leading 128 bits (truncated). Below the range any
// significand of up to 19 digits gives zero or a subnormal; above it, infinity.
inline constexpr int kMinPower = -342;
inline constexpr int kMaxPower = 308;
inline constexpr size_t kPowerCount = kMaxPower - kMinPower + 1;

struct U128 {
  uint64_t hi = 0;
  uint64_t lo = 0;
};

extern const std::array<U128, kPowerCount> kPowersOfFive;

// floor(q x log2(10)) for |q| in the table's range, in integers.
constexpr int64_t floorLog2OfPowerOfTen(int64_t q) { return (217706 * q) >> 16; }

}  // namespace decimal

// Exactly rounded w x 10^q for w > 0, or false when the quick methods cannot decide.
inline bool decimalToDouble(uint64_t w, int64_t q, double& out) {
  using namespace decimal;
  if (w == 0) {
    out = 0.0;
    return true;
  }
  // Both operands exact: one correctly rounded operation.
  if (q >= -22 && q <= 22 && w <= (uint64_t{1} << 53)) {
    const double d = static_cast<double>(w);
    out = q < 0 ? d / kExactPowersOfTen[-q] : d * kExactPowersOfTen[q];
    return true;
  }
  if (q < kMinPower || q > kMaxPower) return false;

  // w x 10^q = (w << lz) x T x 2^(q + e - lz) with T the table's 128 bits of 5^q (5^q = T' x 2^e,
  // T <= T' < T + 1). The 192-bit product P = (w << lz) x T falls short of the true one by less
  // than 2^64, so only its lowest word is uncertain, with a possible carry into the middle one.
  const U128& t = kPowersOfFive[static_cast<size_t>(q - kMinPower)];
  const int lz = std::countl_zero(w);
  const uint64_t wn = w << lz;
  const unsigned __int128 high = static_cast<unsigned __int128>(wn) * t.hi;
  const unsigned __int128 low = static_cast<unsigned __int128>(wn) * t.lo;
  const unsigned __int128 upper = high + (low >> 64);  // P >> 64; P < 2^192, so no carry out
  const uint64_t top = static_cast<uint64_t>(upper >> 64);
  const uint64_t middle = static_cast<uint64_t>(upper);

  // The top word keeps 53 significant bits and a rounding bit; what lies below decides.
  const int upperBit = static_cast<int>(top >> 63);
  const int shift = upperBit + 9;
  const uint64_t roundPart = top & ((uint64_t{2} << shift) - 1);
  const uint64_t half = uint64_t{1} << shift;
  // At or within the uncertainty of a halfway point: the library decides.
  if ((roundPart == half && middle == 0) || (roundPart == half - 1 && middle == ~uint64_t{0})) return false;

  int64_t exponent = floorLog2OfPowerOfTen(q) + upperBit - lz + 1086;  // biased, for 53 bits
  if (exponent <= 0) return false;                                   // subnormal or zero
  uint64_t mantissa = ((top >> shift) + 1) >> 1;                       // round to nearest
  if (mantissa == (uint64_t{1} << 53)) {
    mantissa >>= 1;
    ++exponent;
  }
  if (exponent >= 2047) return false;  // overflow
  out = std::bit_cast<double>((static_cast<uint64_t>(exponent) << 52) | (mantissa & ((uint64_t{1} << 52) - 1)));
  return true;
}

}  // namespace zvt::json
