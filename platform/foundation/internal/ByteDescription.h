#pragma once
// The "<0a1b2c3d 4e5f>" text NSData and NSValue both describe raw bytes with.

#include <cstdint>
#include <string>
#include <vector>

namespace zvt {

inline std::string bytesDescription(const std::vector<uint8_t>& bytes) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "<";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i && i % 4 == 0) out.push_back(' ');
    out.push_back(hex[bytes[i] >> 4]);
    out.push_back(hex[bytes[i] & 15]);
  }
  out.push_back('>');
  return out;
}

}  // namespace zvt
