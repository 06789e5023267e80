#pragma once
// The two byte-level workers of Base64 coding. They know nothing of data objects: the class
// members in BCBase64.h size a buffer, call a worker and shrink the buffer to what it wrote.

#include <cstddef>
#include <cstdint>

namespace zvt::base64 {

enum class Alphabet {
  standard,  // "+/" for 62 and 63
  webSafe,   // "-_" for 62 and 63 (URL and file-name safe)
};

// Length of the text for n input bytes: floor((8n + 5) / 6), rounded up to a multiple of 4
// when padded.
size_t encodedLength(size_t n, bool padded);

// Capacity needed to decode n text bytes: floor((n + 3) / 4) * 3.
size_t decodedCapacity(size_t n);

// Encodes srcLen bytes into dest (which holds destLen bytes). Returns the number of characters
// written, or 0 when there is nothing to do or dest is too short.
size_t encode(const uint8_t* src, size_t srcLen, uint8_t* dest, size_t destLen,
              Alphabet alphabet, bool padded);

// Decodes the text (stopping at the length or the first NUL byte) into dest, which must hold
// at least decodedCapacity(srcLen) bytes. Returns the number of bytes decoded, 0 meaning
// failure (or nothing decoded). Bytes of dest beyond the returned count are unspecified.
size_t decode(const uint8_t* src, size_t srcLen, uint8_t* dest, size_t destLen,
              Alphabet alphabet, bool requirePadding);

}  // namespace zvt::base64
