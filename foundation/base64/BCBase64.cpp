#include "foundation/base64/BCBase64.h"

#include <string>
#include <vector>

using zvt::base64::Alphabet;

std::shared_ptr<NSData> BCBase64::baseEncode(const void* bytes, NSUInteger length, Alphabet charset, bool padded) {
  if (bytes == nullptr || length == 0) return nullptr;
  std::vector<uint8_t> out(zvt::base64::encodedLength(length, padded));
  size_t n = zvt::base64::encode(static_cast<const uint8_t*>(bytes), length, out.data(), out.size(), charset, padded);
  if (n == 0) return nullptr;
  out.resize(n);
  return NSData::dataWithVector(std::move(out));
}

std::shared_ptr<NSString> BCBase64::baseEncodeToString(const void* bytes, NSUInteger length, Alphabet charset,
                                                       bool padded) {
  if (bytes == nullptr || length == 0) return nullptr;
  std::string out(zvt::base64::encodedLength(length, padded), '\0');
  size_t n = zvt::base64::encode(static_cast<const uint8_t*>(bytes), length, reinterpret_cast<uint8_t*>(out.data()),
                                 out.size(), charset, padded);
  if (n == 0) return nullptr;
  out.resize(n);
  return NSString::fromValidUTF8(std::move(out));
}

std::shared_ptr<NSData> BCBase64::baseDecode(const void* bytes, NSUInteger length, Alphabet charset,
                                             bool requirePadding) {
  if (bytes == nullptr || length == 0) return nullptr;
  std::vector<uint8_t> out(zvt::base64::decodedCapacity(length));
  size_t n = zvt::base64::decode(static_cast<const uint8_t*>(bytes), length, out.data(), out.size(), charset,
                                 requirePadding);
  if (n == 0) return nullptr;
  out.resize(n);
  return NSData::dataWithVector(std::move(out));
}

std::shared_ptr<NSData> BCBase64::encodeData(const std::shared_ptr<NSData>& data) {
  return data ? baseEncode(data->bytes(), data->length(), Alphabet::standard, true) : nullptr;
}
std::shared_ptr<NSData> BCBase64::encodeBytes(const void* bytes, NSUInteger length) {
  return baseEncode(bytes, length, Alphabet::standard, true);
}
std::shared_ptr<NSString> BCBase64::stringByEncodingData(const std::shared_ptr<NSData>& data) {
  return data ? baseEncodeToString(data->bytes(), data->length(), Alphabet::standard, true) : nullptr;
}
std::shared_ptr<NSString> BCBase64::stringByEncodingBytes(const void* bytes, NSUInteger length) {
  return baseEncodeToString(bytes, length, Alphabet::standard, true);
}

std::shared_ptr<NSData> BCBase64::decodeData(const std::shared_ptr<NSData>& data) {
  return data ? baseDecode(data->bytes(), data->length(), Alphabet::standard, true) : nullptr;
}
std::shared_ptr<NSData> BCBase64::decodeBytes(const void* bytes, NSUInteger length) {
  return baseDecode(bytes, length, Alphabet::standard, true);
}
std::shared_ptr<NSData> BCBase64::decodeString(const std::shared_ptr<NSString>& string) {
  if (!string || !string->isASCII()) return nullptr;
  return baseDecode(string->utf8().data(), string->utf8().size(), Alphabet::standard, true);
}

std::shared_ptr<NSData> BCBase64::webSafeEncodeData(const std::shared_ptr<NSData>& data, bool padded) {
  return data ? baseEncode(data->bytes(), data->length(), Alphabet::webSafe, padded) : nullptr;
}
std::shared_ptr<NSData> BCBase64::webSafeEncodeBytes(const void* bytes, NSUInteger length, bool padded) {
  return baseEncode(bytes, length, Alphabet::webSafe, padded);
}
std::shared_ptr<NSString> BCBase64::stringByWebSafeEncodingData(const std::shared_ptr<NSData>& data, bool padded) {
  return data ? baseEncodeToString(data->bytes(), data->length(), Alphabet::webSafe, padded) : nullptr;
}
std::shared_ptr<NSString> BCBase64::stringByWebSafeEncodingBytes(const void* bytes, NSUInteger length, bool padded) {
  return baseEncodeToString(bytes, length, Alphabet::webSafe, padded);
}

std::shared_ptr<NSData> BCBase64::webSafeDecodeData(const std::shared_ptr<NSData>& data) {
  return data ? baseDecode(data->bytes(), data->length(), Alphabet::webSafe, false) : nullptr;
}
std::shared_ptr<NSData> BCBase64::webSafeDecodeBytes(const void* bytes, NSUInteger length) {
  return baseDecode(bytes, length, Alphabet::webSafe, false);
}
std::shared_ptr<NSData> BCBase64::webSafeDecodeString(const std::shared_ptr<NSString>& string) {
  if (!string || !string->isASCII()) return nullptr;
  return baseDecode(string->utf8().data(), string->utf8().size(), Alphabet::webSafe, false);
}
