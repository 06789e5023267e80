#pragma once
// The NSData(Base64) category: Base64 text with optional CR LF line breaks every 64
// characters, a forgiving decoder, and keyed AES-128-CBC-PKCS7.

#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"

// +dataFromBase64String: the bytes of the alphabet characters of the text, every other byte
// skipped ("=", white space, line breaks); empty data for nil or non-ASCII text, never nil.
std::shared_ptr<NSData> dataFromBase64String(const std::shared_ptr<NSString>& text);

// -base64EncodedString: with line breaks.
std::shared_ptr<NSString> base64EncodedString(const std::shared_ptr<NSData>& data);
std::shared_ptr<NSString> base64EncodedStringWithSeparateLines(const std::shared_ptr<NSData>& data,
                                                               bool separateLines);

// -AES128Operation:key:iv: (0 encrypt, 1 decrypt); nil on failure or for a key or IV text of
// more than 16 bytes.
std::shared_ptr<NSData> AES128Operation(const std::shared_ptr<NSData>& data, NSUInteger operation,
                                        const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& iv);
std::shared_ptr<NSData> AES128EncryptWithKey(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& key);
std::shared_ptr<NSData> AES128DecryptWithKey(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& key);
