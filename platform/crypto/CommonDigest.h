#pragma once
// Message digests with CommonCrypto's shape, over OpenSSL. Each one-shot call digests `len`
// bytes of `data` into `md` (which must hold the digest length) and returns `md`.

#include <cstdint>

using CC_LONG = uint32_t;

inline constexpr int CC_MD5_DIGEST_LENGTH = 16;
inline constexpr int CC_MD5_BLOCK_BYTES = 64;
inline constexpr int CC_SHA1_DIGEST_LENGTH = 20;
inline constexpr int CC_SHA1_BLOCK_BYTES = 64;

unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md);
unsigned char* CC_SHA1(const void* data, CC_LONG len, unsigned char* md);
