#include "app/utilities/TovrelUntiles.h"

#include <cstring>
#include <vector>

#include "app/utilities/NSData+Base64.h"
#include "app/utilities/NSString+TovrelURLEncoding.h"
#include "foundation/base64/BCBase64.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/crypto/CommonCryptor.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSException.h"

namespace {

// The built-in texts of the AES string cipher.
const char kAESStringKey[] = "QXVRMPLENTWOKS";
const char kAESStringIV[] = "KQWPLMZRTXVBN482";

// A key or IV text in a zero-filled 16-byte buffer; false when it does not fit.
bool loadBuffer(std::string_view text, uint8_t (&buffer)[16]) {
  std::memset(buffer, 0, sizeof buffer);
  if (text.size() > sizeof buffer) return false;
  std::memcpy(buffer, text.data(), text.size());
  return true;
}

std::shared_ptr<NSData> cryptData(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key,
                                  size_t keyLength, const void* iv, const uint8_t* in, size_t length) {
  // Room for the input and one block of padding: the result always fits.
  std::vector<uint8_t> out(length + 16);
  size_t moved = 0;
  CCCryptorStatus status = CCCrypt(op, alg, options, key, keyLength, iv, in, length, out.data(), out.size(), &moved);
  if (status != kCCSuccess) return nullptr;
  out.resize(moved);
  return NSData::dataWithVector(std::move(out));
}

}  // namespace

namespace zvt {

std::shared_ptr<NSData> tovrelAES128(const std::shared_ptr<NSData>& data, NSUInteger operation,
                                     const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& iv) {
  if (!data || operation > 1) return nullptr;
  uint8_t keyBuffer[16];
  uint8_t ivBuffer[16];
  if (!loadBuffer(key ? key->view() : std::string_view{}, keyBuffer)) return nullptr;
  if (!loadBuffer(iv ? iv->view() : std::string_view{}, ivBuffer)) return nullptr;
  return cryptData(operation == 0 ? kCCEncrypt : kCCDecrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, keyBuffer,
                   kCCKeySizeAES128, ivBuffer, data->bytes(), data->length());
}

}  // namespace zvt

std::shared_ptr<NSString> TovrelUntiles::getMD5StrFromString(const std::shared_ptr<NSString>& text) {
  if (!text) return nullptr;
  unsigned char md[CC_MD5_DIGEST_LENGTH];
  CC_MD5(text->utf8().data(), static_cast<CC_LONG>(text->utf8().size()), md);
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : md) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return NSString::fromValidUTF8(std::move(hex));
}

std::shared_ptr<NSString> TovrelUntiles::encryptUseDES(const std::shared_ptr<NSString>& plainText) {
  if (!plainText) return nullptr;
  const std::string& bytes = plainText->utf8();
  auto cipher = cryptData(kCCEncrypt, kCCAlgorithmDES, kCCOptionPKCS7Padding | kCCOptionECBMode,
                          kZVTDESPayloadKey->UTF8String(), kCCKeySizeDES, nullptr,
                          reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!cipher) return nullptr;
  return BCBase64::stringByEncodingData(cipher);
}

std::shared_ptr<NSString> TovrelUntiles::decryptUseDES(const std::shared_ptr<NSString>& cipherText) {
  if (!cipherText) return nullptr;
  auto cipher = BCBase64::decodeString(cipherText);
  if (!cipher) return nullptr;
  auto plain = cryptData(kCCDecrypt, kCCAlgorithmDES, kCCOptionPKCS7Padding | kCCOptionECBMode,
                         kZVTDESPayloadKey->UTF8String(), kCCKeySizeDES, nullptr, cipher->bytes(), cipher->length());
  if (!plain) return nullptr;
  return NSString::initWithData(plain, NSUTF8StringEncoding);
}

std::shared_ptr<NSString> TovrelUntiles::turnToJSONStringWithObject(const id& object) {
  if (!object || !NSJSONSerialization::isValidJSONObject(object)) return NSString::string();
  try {
    auto data = NSJSONSerialization::dataWithJSONObject(object, NSJSONWritingPrettyPrinted, nullptr);
    if (!data) return NSString::string();
    auto text = NSString::initWithData(data, NSUTF8StringEncoding);
    return text ? text : NSString::string();
  } catch (const NSException&) {
    return NSString::string();
  }
}

std::shared_ptr<NSString> TovrelUntiles::encryptAES128FromString(const std::shared_ptr<NSString>& plainText) {
  if (!plainText) return nullptr;
  uint8_t key[16];
  uint8_t iv[16];
  loadBuffer(kAESStringKey, key);
  loadBuffer(kAESStringIV, iv);
  std::vector<uint8_t> bytes(plainText->utf8().begin(), plainText->utf8().end());
  bytes.resize(bytes.size() + (16 - bytes.size() % 16), 0);
  auto cipher = cryptData(kCCEncrypt, kCCAlgorithmAES128, 0, key, kCCKeySizeAES128, iv, bytes.data(), bytes.size());
  if (!cipher) return nullptr;
  return BCBase64::stringByEncodingData(cipher);
}

std::shared_ptr<NSString> TovrelUntiles::decodeAES128FromString(const std::shared_ptr<NSString>& cipherText) {
  if (!cipherText) return nullptr;
  uint8_t key[16];
  uint8_t iv[16];
  loadBuffer(kAESStringKey, key);
  loadBuffer(kAESStringIV, iv);
  auto cipher = BCBase64::decodeData(NSData::dataWithString(cipherText->view()));
  if (!cipher) return nullptr;
  auto plain = cryptData(kCCDecrypt, kCCAlgorithmAES128, 0, key, kCCKeySizeAES128, iv, cipher->bytes(), cipher->length());
  if (!plain) return nullptr;
  // The encoder always ends the text with 1 to 16 zero bytes; without them this is not its
  // cipher text. (A text that itself ends in NUL characters loses them: zero padding cannot
  // tell them apart.)
  std::string_view bytes = plain->view();
  size_t end = bytes.size();
  while (end > 0 && bytes.size() - end < 16 && bytes[end - 1] == '\0') --end;
  if (end == bytes.size()) return nullptr;
  return NSString::stringWithUTF8String(bytes.substr(0, end));
}

std::shared_ptr<NSData> TovrelUntiles::myDatas(const std::shared_ptr<NSData>& data, NSUInteger operation,
                                               const std::shared_ptr<NSString>& key,
                                               const std::shared_ptr<NSString>& iv) {
  return zvt::tovrelAES128(data, operation, key, iv);
}

std::shared_ptr<NSData> TovrelUntiles::AES128EncryptWithKey(const std::shared_ptr<NSString>& key,
                                                            const std::shared_ptr<NSData>& data) {
  return zvt::tovrelAES128(data, 0, key, zvt::kTovrelFixedAESIV);
}

std::shared_ptr<NSMutableDictionary> TovrelUntiles::parseURLParams(const std::shared_ptr<NSString>& query) {
  auto result = NSMutableDictionary::dictionary();
  if (!query) return result;
  std::string_view rest = query->view();
  while (true) {
    size_t amp = rest.find('&');
    std::string_view item = rest.substr(0, amp);
    size_t eq = item.find('=');
    std::string_view key = item.substr(0, eq);
    std::string_view value;
    if (eq != std::string_view::npos) {
      value = item.substr(eq + 1);
      value = value.substr(0, value.find('='));
    }
    if (!key.empty()) {
      auto keyText = NSString::stringWithUTF8String(key);
      auto valueText = NSString::stringWithUTF8String(value);
      auto decoded = valueText ? valueText->stringByRemovingPercentEncoding() : nullptr;
      if (keyText) {
        if (decoded) {
          result->setObject(decoded, keyText);
        } else {
          result->removeObjectForKey(keyText);
        }
      }
    }
    if (amp == std::string_view::npos) break;
    rest = rest.substr(amp + 1);
  }
  return result;
}

std::shared_ptr<NSString> TovrelUntiles::urlEcodingFromString(const std::shared_ptr<NSString>& text) {
  return tovrelUrlEncodeString(text);
}
