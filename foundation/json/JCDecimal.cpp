#include "foundation/json/JCDecimal.h"

#include <array>
#include <bit>
#include <cstddef>

namespace zvt::json {
namespace {

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// 5^q for q in [kMinPower, kMaxPower], as its leading 128 bits (truncated). Below the range any
// significand of up to 19 digits gives zero or a subnormal; above it, infinity.
constexpr int kMinPower = -342;
constexpr int kMaxPower = 308;
constexpr size_t kPowerCount = kMaxPower - kMinPower + 1;

struct U128 {
  uint64_t hi = 0;
  uint64_t lo = 0;
};

// Just enough unsigned big integer (32-bit limbs, least significant first) to build the table
// at compile time.
template <size_t N>
struct BigInt {
  std::array<uint32_t, N> limb{};

  constexpr int bitLength() const {
    for (size_t i = N; i-- > 0;) {
      if (limb[i] != 0) return static_cast<int>(i * 32) + 32 - std::countl_zero(limb[i]);
    }
    return 0;
  }
  constexpr bool bit(int i) const { return ((limb[static_cast<size_t>(i) / 32] >> (i % 32)) & 1) != 0; }
  constexpr void multiplyBy5() {
    uint64_t carry = 0;
    for (auto& l : limb) {
      const uint64_t v = uint64_t{l} * 5 + carry;
      l = static_cast<uint32_t>(v);
      carry = v >> 32;
    }
  }
  // floor(floor(x / 5) / 5) = floor(x / 25): repeated division stays exact.
  constexpr void divideBy5() {
    uint64_t remainder = 0;
    for (size_t i = N; i-- > 0;) {
      const uint64_t v = (remainder << 32) | limb[i];
      limb[i] = static_cast<uint32_t>(v / 5);
      remainder = v % 5;
    }
  }
  // The 128 bits below and including the highest set bit.
  constexpr U128 leading128() const {
    const int n = bitLength();
    U128 r;
    for (int k = 0; k < 128; ++k) {
      const int b = n - 1 - k;
      const uint64_t v = (b >= 0 && bit(b)) ? 1 : 0;
      if (k < 64) {
        r.hi |= v << (63 - k);
      } else {
        r.lo |= v << (127 - k);
      }
    }
    return r;
  }
};

// floor(q x log2(10)) for |q| in the table's range, in integers.
constexpr int64_t floorLog2OfPowerOfTen(int64_t q) { return (217706 * q) >> 16; }

struct PowerTable {
  std::array<U128, kPowerCount> entries{};
  bool exponentsAgree = true;  // floorLog2OfPowerOfTen matches the true binary exponents
};

constexpr PowerTable makePowerTable() {
  PowerTable t;
  BigInt<24> up;  // 5^q, q >= 0 (5^308 < 2^716)
  up.limb[0] = 1;
  for (int q = 0; q <= kMaxPower; ++q) {
    if (q > 0) up.multiplyBy5();
    t.entries[static_cast<size_t>(q - kMinPower)] = up.leading128();
    if (floorLog2OfPowerOfTen(q) != q + (up.bitLength() - 1)) t.exponentsAgree = false;
  }
  constexpr int kScale = 1024;  // 2^1024 / 5^342 still has over 200 bits
  BigInt<33> down;              // floor(2^kScale / 5^k)
  down.limb[kScale / 32] = 1;
  for (int k = 1; k <= -kMinPower; ++k) {
    down.divideBy5();
    t.entries[static_cast<size_t>(-k - kMinPower)] = down.leading128();
    // floor(log2(5^-k)) = bitLength(floor(2^kScale / 5^k)) - 1 - kScale.
    if (floorLog2OfPowerOfTen(-k) != -k + (down.bitLength() - 1 - kScale)) t.exponentsAgree = false;
  }
  return t;
}

constexpr PowerTable kPowers = makePowerTable();
static_assert(kPowers.exponentsAgree);
static_assert(kPowers.entries[static_cast<size_t>(0 - kMinPower)].hi == (uint64_t{1} << 63));  // 5^0
static_assert(kPowers.entries[static_cast<size_t>(1 - kMinPower)].hi == (uint64_t{5} << 61));  // 5^1

}  // namespace

bool decimalToDouble(uint64_t w, int64_t q, double& out) {
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
  const U128& t = kPowers.entries[static_cast<size_t>(q - kMinPower)];
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
