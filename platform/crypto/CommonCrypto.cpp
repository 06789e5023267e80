// CommonCrypto's digests and one-shot cipher over OpenSSL's libcrypto.

// Single DES lives in OpenSSL 3's legacy provider for the EVP interface; its block function is
// still part of libcrypto, only marked deprecated. It is the one used here.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <openssl/crypto.h>
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/crypto/CommonCryptor.h"
#include "platform/crypto/CommonDigest.h"

namespace {

bool digest(const EVP_MD* type, const void* data, size_t len, unsigned char* md) {
  unsigned int size = 0;
  static const unsigned char empty = 0;
  return EVP_Digest(data ? data : &empty, len, md, &size, type, nullptr) == 1;
}

// Runs whole blocks through the cipher, in place.
using BlockFunction = bool (*)(const uint8_t* key, size_t keyLength, bool encrypt, bool ecb, const uint8_t* iv,
                               uint8_t* bytes, size_t length);

bool desBlocks(const uint8_t* key, size_t, bool encrypt, bool ecb, const uint8_t* iv, uint8_t* bytes,
               size_t length) {
  DES_cblock keyBlock;
  std::memcpy(keyBlock, key, 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&keyBlock, &schedule);
  uint8_t chain[8] = {};
  if (!ecb && iv) std::memcpy(chain, iv, 8);
  for (size_t offset = 0; offset < length; offset += 8) {
    uint8_t* block = bytes + offset;
    DES_cblock in;
    DES_cblock out;
    std::memcpy(in, block, 8);
    if (encrypt) {
      if (!ecb) {
        for (int i = 0; i < 8; ++i) in[i] ^= chain[i];
      }
      DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
      if (!ecb) std::memcpy(chain, out, 8);
    } else {
      DES_ecb_encrypt(&in, &out, &schedule, DES_DECRYPT);
      if (!ecb) {
        for (int i = 0; i < 8; ++i) out[i] ^= chain[i];
        std::memcpy(chain, block, 8);
      }
    }
    std::memcpy(block, out, 8);
  }
  OPENSSL_cleanse(&schedule, sizeof schedule);
  OPENSSL_cleanse(keyBlock, sizeof keyBlock);
  return true;
}

bool aesBlocks(const uint8_t* key, size_t keyLength, bool encrypt, bool ecb, const uint8_t* iv, uint8_t* bytes,
               size_t length) {
  const EVP_CIPHER* cipher = nullptr;
  switch (keyLength) {
    case 16: cipher = ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc(); break;
    case 24: cipher = ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc(); break;
    case 32: cipher = ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc(); break;
    default: return false;
  }
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  if (!ctx) return false;
  uint8_t zeroIV[16] = {};
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, ecb ? nullptr : (iv ? iv : zeroIV), encrypt ? 1 : 0) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  if (length == 0) return true;
  int written = 0;
  if (EVP_CipherUpdate(ctx.get(), bytes, &written, bytes, static_cast<int>(length)) != 1) return false;
  int tail = 0;
  if (EVP_CipherFinal_ex(ctx.get(), bytes + written, &tail) != 1) return false;
  return static_cast<size_t>(written + tail) == length;
}

}  // namespace

unsigned char* CC_MD5(const void* data, CC_LONG len, unsigned char* md) {
  if (!md) return nullptr;
  return digest(EVP_md5(), data, len, md) ? md : nullptr;
}

unsigned char* CC_SHA1(const void* data, CC_LONG len, unsigned char* md) {
  if (!md) return nullptr;
  return digest(EVP_sha1(), data, len, md) ? md : nullptr;
}

CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key, size_t keyLength,
                        const void* iv, const void* dataIn, size_t dataInLength, void* dataOut,
                        size_t dataOutAvailable, size_t* dataOutMoved) {
  if (dataOutMoved) *dataOutMoved = 0;
  if (op != kCCEncrypt && op != kCCDecrypt) return kCCParamError;
  if ((options & ~(kCCOptionPKCS7Padding | kCCOptionECBMode)) != 0) return kCCParamError;
  if (!key || (!dataIn && dataInLength > 0)) return kCCParamError;

  size_t blockSize = 0;
  BlockFunction blocks = nullptr;
  if (alg == kCCAlgorithmDES) {
    if (keyLength != kCCKeySizeDES) return kCCParamError;
    blockSize = kCCBlockSizeDES;
    blocks = desBlocks;
  } else if (alg == kCCAlgorithmAES128) {
    if (keyLength != kCCKeySizeAES128 && keyLength != kCCKeySizeAES192 && keyLength != kCCKeySizeAES256) {
      return kCCParamError;
    }
    blockSize = kCCBlockSizeAES128;
    blocks = aesBlocks;
  } else {
    return kCCParamError;
  }
  const bool pad = (options & kCCOptionPKCS7Padding) != 0;
  const bool ecb = (options & kCCOptionECBMode) != 0;
  const bool encrypt = op == kCCEncrypt;
  const auto* in = static_cast<const uint8_t*>(dataIn);
  const auto* keyBytes = static_cast<const uint8_t*>(key);
  const auto* ivBytes = static_cast<const uint8_t*>(iv);

  std::vector<uint8_t> work;
  if (encrypt) {
    if (!pad && dataInLength % blockSize != 0) return kCCAlignmentError;
    size_t needed = pad ? (dataInLength / blockSize + 1) * blockSize : dataInLength;
    if (dataOutAvailable < needed || (!dataOut && needed > 0)) {
      if (dataOutMoved) *dataOutMoved = needed;
      return dataOut || needed == 0 ? kCCBufferTooSmall : kCCParamError;
    }
    work.assign(in, in + dataInLength);
    if (pad) work.resize(needed, static_cast<uint8_t>(needed - dataInLength));
  } else {
    if (dataInLength % blockSize != 0) return kCCAlignmentError;
    if (pad && dataInLength == 0) return kCCDecodeError;
    work.assign(in, in + dataInLength);
  }
  if (!blocks(keyBytes, keyLength, encrypt, ecb, ivBytes, work.data(), work.size())) {
    OPENSSL_cleanse(work.data(), work.size());
    return kCCParamError;
  }
  if (!encrypt && pad) {
    uint8_t n = work.back();
    bool good = n >= 1 && n <= blockSize && n <= work.size();
    for (size_t i = 0; good && i < n; ++i) good = work[work.size() - 1 - i] == n;
    if (!good) {
      OPENSSL_cleanse(work.data(), work.size());
      return kCCDecodeError;
    }
    work.resize(work.size() - n);
  }
  if (dataOutAvailable < work.size() || (!dataOut && !work.empty())) {
    if (dataOutMoved) *dataOutMoved = work.size();
    OPENSSL_cleanse(work.data(), work.size());
    return dataOut ? kCCBufferTooSmall : kCCParamError;
  }
  if (!work.empty()) std::memcpy(dataOut, work.data(), work.size());
  if (dataOutMoved) *dataOutMoved = work.size();
  OPENSSL_cleanse(work.data(), work.size());
  return kCCSuccess;
}
