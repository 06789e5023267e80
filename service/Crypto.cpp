// The low-level DES block functions are deprecated in OpenSSL 3, but they do not need the
// legacy provider module at run time, which a minimal installation may lack.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "service/Crypto.h"

#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <stdexcept>

namespace zvt::service {

std::string md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &len, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("MD5 digest failed");
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(len * 2);
    for (unsigned int i = 0; i < len; ++i) {
        out.push_back(hex[digest[i] >> 4]);
        out.push_back(hex[digest[i] & 0x0f]);
    }
    return out;
}

std::string signingKey() {
    return md5Hex(kSigningSecret);
}
std::string timeRequestCode() {
    return md5Hex(signingKey());
}
std::string signatureFor(const std::string& time) {
    return md5Hex(signingKey() + time);
}

std::string base64Encode(const std::string& bytes) {
    if (bytes.empty()) return {};
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::optional<std::string> base64Decode(const std::string& text) {
    if (text.size() % 4 != 0) return std::nullopt;
    size_t pad = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '+' || c == '/';
        if (c == '=') {
            // Padding only in the last two places, and nothing but padding after it.
            if (i + 2 < text.size()) return std::nullopt;
            ++pad;
        } else if (!alpha || pad > 0) {
            return std::nullopt;
        }
    }
    if (text.empty()) return std::string();
    std::string out(text.size() / 4 * 3, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    out.resize(static_cast<size_t>(n) - pad);
    return out;
}

namespace {

void makeSchedule(DES_key_schedule& schedule) {
    DES_cblock key;
    std::memcpy(key, kPayloadKey, 8);
    DES_set_key_unchecked(&key, &schedule);
}

}  // namespace

std::string desEncrypt(const std::string& plain) {
    DES_key_schedule schedule;
    makeSchedule(schedule);
    size_t padLen = 8 - plain.size() % 8;
    std::string padded = plain + std::string(padLen, static_cast<char>(padLen));
    std::string out(padded.size(), '\0');
    for (size_t off = 0; off < padded.size(); off += 8) {
        DES_cblock in, block;
        std::memcpy(in, padded.data() + off, 8);
        DES_ecb_encrypt(&in, &block, &schedule, DES_ENCRYPT);
        std::memcpy(out.data() + off, block, 8);
    }
    return out;
}

std::optional<std::string> desDecrypt(const std::string& cipher) {
    if (cipher.empty() || cipher.size() % 8 != 0) return std::nullopt;
    DES_key_schedule schedule;
    makeSchedule(schedule);
    std::string out(cipher.size(), '\0');
    for (size_t off = 0; off < cipher.size(); off += 8) {
        DES_cblock in, block;
        std::memcpy(in, cipher.data() + off, 8);
        DES_ecb_encrypt(&in, &block, &schedule, DES_DECRYPT);
        std::memcpy(out.data() + off, block, 8);
    }
    auto padLen = static_cast<unsigned char>(out.back());
    if (padLen < 1 || padLen > 8) return std::nullopt;
    for (size_t i = out.size() - padLen; i < out.size(); ++i) {
        if (static_cast<unsigned char>(out[i]) != padLen) return std::nullopt;
    }
    return out.substr(0, out.size() - padLen);
}

std::optional<std::string> aes128CbcDecrypt(const std::string& cipher, const std::string& key, const std::string& iv) {
    if (key.size() != 16 || iv.size() != 16 || cipher.empty() || cipher.size() % 16 != 0) return std::nullopt;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return std::nullopt;
    std::string out(cipher.size() + 16, '\0');
    int written = 0, last = 0;
    const bool ok =
        EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                           reinterpret_cast<const unsigned char*>(iv.data())) == 1 &&
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &written,
                          reinterpret_cast<const unsigned char*>(cipher.data()), static_cast<int>(cipher.size())) == 1 &&
        EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + written, &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return std::nullopt;
    out.resize(static_cast<size_t>(written + last));
    return out;
}

std::string desEncryptBase64(const std::string& plain) {
    return base64Encode(desEncrypt(plain));
}

std::optional<std::string> desDecryptBase64(const std::string& text) {
    auto bytes = base64Decode(text);
    if (!bytes) return std::nullopt;
    return desDecrypt(*bytes);
}

std::string randomHex(size_t bytes) {
    std::string raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(bytes)) != 1) {
        throw std::runtime_error("no random bytes");
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 0x0f]);
    }
    return out;
}

}  // namespace zvt::service
