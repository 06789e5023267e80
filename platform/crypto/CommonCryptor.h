#pragma once
// One-shot symmetric ciphers with CommonCrypto's shape and constants, over OpenSSL: DES and
// AES-128 (keys of 16, 24 or 32 bytes), CBC by default or ECB, with or without PKCS#7 padding.
//
// CCCrypt reports, as the original does:
//   kCCParamError      bad operation, algorithm, options, key length or null pointers;
//   kCCAlignmentError  input that is not a whole number of blocks where no padding is asked
//                      for, or cipher text of a broken length on decryption;
//   kCCBufferTooSmall  an output buffer smaller than the result (`dataOutMoved` then holds the
//                      size needed);
//   kCCDecodeError     a wrong padding on decryption.
// A missing IV in CBC mode is all zero bytes. Single DES is computed with OpenSSL's DES block
// function, so it works without OpenSSL 3's legacy provider; padding is our own.

#include <cstddef>
#include <cstdint>

using CCCryptorStatus = int32_t;
using CCOperation = uint32_t;
using CCAlgorithm = uint32_t;
using CCOptions = uint32_t;

inline constexpr CCOperation kCCEncrypt = 0;
inline constexpr CCOperation kCCDecrypt = 1;

inline constexpr CCAlgorithm kCCAlgorithmAES128 = 0;
inline constexpr CCAlgorithm kCCAlgorithmAES = 0;
inline constexpr CCAlgorithm kCCAlgorithmDES = 1;

inline constexpr CCOptions kCCOptionPKCS7Padding = 0x0001;
inline constexpr CCOptions kCCOptionECBMode = 0x0002;

inline constexpr size_t kCCKeySizeAES128 = 16;
inline constexpr size_t kCCKeySizeAES192 = 24;
inline constexpr size_t kCCKeySizeAES256 = 32;
inline constexpr size_t kCCKeySizeDES = 8;
inline constexpr size_t kCCBlockSizeAES128 = 16;
inline constexpr size_t kCCBlockSizeDES = 8;

inline constexpr CCCryptorStatus kCCSuccess = 0;
inline constexpr CCCryptorStatus kCCParamError = -4300;
inline constexpr CCCryptorStatus kCCBufferTooSmall = -4301;
inline constexpr CCCryptorStatus kCCMemoryFailure = -4302;
inline constexpr CCCryptorStatus kCCAlignmentError = -4303;
inline constexpr CCCryptorStatus kCCDecodeError = -4304;
inline constexpr CCCryptorStatus kCCUnimplemented = -4305;

CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key, size_t keyLength,
                        const void* iv, const void* dataIn, size_t dataInLength, void* dataOut,
                        size_t dataOutAvailable, size_t* dataOutMoved);
