#pragma once
// The strict UTF-8 sequence decoder shared by the JSON parser and writer.

#include <cstdint>

namespace zvt::json {

enum class UTF8Status : uint8_t {
  wellFormed,
  truncated,  // the sequence is cut off by the end of the input
  illegal,
};

struct UTF8Sequence {
  UTF8Status status;
  uint32_t codePoint;  // U+FFFD unless well-formed
  const uint8_t* next;  // first byte after the sequence (after the skipped bytes when illegal)
};

// Decodes the sequence whose lead byte (0x80 or more) is at p; end is one past the input.
// Follows RFC 3629 and refuses, besides malformed and overlong forms, surrogates, U+FDD0 to
// U+FDEF and every code point whose low 16 bits are FFFE or FFFF. An illegal sequence skips
// its lead byte and the continuation bytes that follow it, up to its announced length.
UTF8Sequence decodeUTF8Sequence(const uint8_t* p, const uint8_t* end);

// True for the code points that the codec refuses inside strings (besides malformed UTF-8):
// U+0000 is refused only in escapes; this covers surrogates and the non-characters.
inline bool isIllegalCodePoint(uint32_t cp) {
  return (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) ||
         (cp & 0xFFFE) == 0xFFFE || cp > 0x10FFFF;
}

// Writes the code point as 1 to 4 UTF-8 bytes; returns the count.
inline int writeUTF8(uint32_t cp, uint8_t* out) {
  if (cp < 0x80) {
    out[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
  out[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace zvt::json
