#include "foundation/json/JCDecimal.h"

#include <array>
#include <bit>
#include <cstddef>

namespace zvt::json::decimal {
namespace {

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
  // The 128 bits below and including the highest set bit, a word at a time (compilers bound
  // the steps of a constant evaluation).
  constexpr U128 leading128() const {
    const int n = bitLength();
    return U128{(uint64_t{bits32(n - 32)} << 32) | bits32(n - 64), (uint64_t{bits32(n - 96)} << 32) | bits32(n - 128)};
  }

 private:
  constexpr uint64_t limbAt(int i) const { return i >= 0 && i < static_cast<int>(N) ? limb[static_cast<size_t>(i)] : 0; }
  // Bits o .. o + 31; those below bit 0 read as zeros.
  constexpr uint32_t bits32(int o) const {
    const int base = o >= 0 ? o / 32 : -((-o + 31) / 32);
    const int shift = o - base * 32;
    return static_cast<uint32_t>(((limbAt(base + 1) << 32) | limbAt(base)) >> shift);
  }
};

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

const std::array<U128, kPowerCount> kPowersOfFive = kPowers.entries;

}  // namespace zvt::json::decimal
