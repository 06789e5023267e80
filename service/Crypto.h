// Digests and ciphers of the two server interfaces, written straight over OpenSSL so that
// the service shares no code with the client it checks.
#pragma once

#include <optional>
#include <string>

namespace zvt::service {

// The shared signing secret and the DES payload key of both interfaces.
inline constexpr const char* kSigningSecret = "tarvelq@!586";
inline constexpr const char* kPayloadKey = "@ZRMVKTQ";

// 32 lower-case hex digits of MD5 over all bytes of `text`.
std::string md5Hex(const std::string& text);

// MD5 hex of the secret: the signing key K.
std::string signingKey();
// What a get_time request carries as "code": MD5 hex of K.
std::string timeRequestCode();
// What a signed call carries as "code" for the time text `time`: MD5 hex of K followed by it.
std::string signatureFor(const std::string& time);

// Standard Base64 with "=" padding and no line breaks.
std::string base64Encode(const std::string& bytes);
// Strict decoding: length a multiple of 4, only alphabet characters, padding at the end only.
std::optional<std::string> base64Decode(const std::string& text);

// Single DES, ECB, PKCS#7 padding under the payload key; the text form is Base64.
std::string desEncrypt(const std::string& plain);
std::optional<std::string> desDecrypt(const std::string& cipher);
std::string desEncryptBase64(const std::string& plain);
std::optional<std::string> desDecryptBase64(const std::string& text);

// AES-128-CBC with PKCS#7 padding: `key` and `iv` are 16 bytes each. Nothing when the cipher
// text is no whole number of blocks or its padding is wrong.
std::optional<std::string> aes128CbcDecrypt(const std::string& cipher, const std::string& key, const std::string& iv);

// Random lower-case hex of `bytes` random bytes (session tokens).
std::string randomHex(size_t bytes);

}  // namespace zvt::service
