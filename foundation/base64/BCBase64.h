#pragma once
// Base64 coding (RFC 4648) in the standard alphabet and in the URL- and file-name-safe
// ("web-safe") one. Encoders never break lines; decoders skip white space, validate strictly and
// answer nil for anything malformed. An empty result is nil, never empty data.

#include <memory>

#include "foundation/base64/BCBase64Workers.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"

class BCBase64 {
 public:
  // Standard alphabet, padding written.
  static std::shared_ptr<NSData> encodeData(const std::shared_ptr<NSData>& data);
  static std::shared_ptr<NSData> encodeBytes(const void* bytes, NSUInteger length);
  static std::shared_ptr<NSString> stringByEncodingData(const std::shared_ptr<NSData>& data);
  static std::shared_ptr<NSString> stringByEncodingBytes(const void* bytes, NSUInteger length);

  // Standard alphabet, padding required.
  static std::shared_ptr<NSData> decodeData(const std::shared_ptr<NSData>& data);
  static std::shared_ptr<NSData> decodeBytes(const void* bytes, NSUInteger length);
  // nil when the text is not pure ASCII.
  static std::shared_ptr<NSData> decodeString(const std::shared_ptr<NSString>& string);

  // Web-safe alphabet, padding as asked.
  static std::shared_ptr<NSData> webSafeEncodeData(const std::shared_ptr<NSData>& data, bool padded);
  static std::shared_ptr<NSData> webSafeEncodeBytes(const void* bytes, NSUInteger length, bool padded);
  static std::shared_ptr<NSString> stringByWebSafeEncodingData(const std::shared_ptr<NSData>& data, bool padded);
  static std::shared_ptr<NSString> stringByWebSafeEncodingBytes(const void* bytes, NSUInteger length, bool padded);

  // Web-safe alphabet, padding optional.
  static std::shared_ptr<NSData> webSafeDecodeData(const std::shared_ptr<NSData>& data);
  static std::shared_ptr<NSData> webSafeDecodeBytes(const void* bytes, NSUInteger length);
  static std::shared_ptr<NSData> webSafeDecodeString(const std::shared_ptr<NSString>& string);

 private:
  static std::shared_ptr<NSData> baseEncode(const void* bytes, NSUInteger length, zvt::base64::Alphabet charset,
                                            bool padded);
  static std::shared_ptr<NSString> baseEncodeToString(const void* bytes, NSUInteger length,
                                                      zvt::base64::Alphabet charset, bool padded);
  static std::shared_ptr<NSData> baseDecode(const void* bytes, NSUInteger length, zvt::base64::Alphabet charset,
                                            bool requirePadding);
};
