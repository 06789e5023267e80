#pragma once
// Decimal to binary64 conversion for the decoder's number tokens: the value w x 10^q, rounded to
// the nearest double (ties to even), as the C library's conversion would give it. Only the
// common cases are decided here; the rest (ties or near-ties, subnormal results, overflow,
// exponents beyond the table) answer false and go through the library conversion, which also
// words the range errors.

#include <cstdint>

namespace zvt::json {

// Exactly rounded w x 10^q for w > 0, or false when the quick methods cannot decide.
bool decimalToDouble(uint64_t w, int64_t q, double& out);

}  // namespace zvt::json
