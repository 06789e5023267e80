#pragma once
// The application's digests, ciphers and codings: MD5 text, the DES payload cipher of the
// service's enciphered interface, JSON text of objects, the AES-128-CBC string ciphers, query
// parsing and escaping. Class methods only; no state, callable from any thread.
//
// Keys and IVs of the AES operations are UTF-8 texts copied into zero-filled 16-byte buffers
// (a shorter text is padded with zero bytes); a text of more than 16 bytes is refused (nil).

#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

// The two fixed texts both server interfaces rely on.
inline const zvt::StaticString kZVTSigningSecret{"tarvelq@!586"};
inline const zvt::StaticString kZVTDESPayloadKey{"@ZRMVKTQ"};

class TovrelUntiles {
 public:
  // 32 lower-case hex digits of MD5 of all UTF-8 bytes of the text; nil for nil.
  static std::shared_ptr<NSString> getMD5StrFromString(const std::shared_ptr<NSString>& text);

  // Single DES, ECB, PKCS#7 under the payload key, as standard padded Base64 text. Any length
  // is enciphered; nil only for nil.
  static std::shared_ptr<NSString> encryptUseDES(const std::shared_ptr<NSString>& plainText);
  // The text deciphered from Base64 text; nil when it is not padded Base64, does not decipher
  // or is not UTF-8.
  static std::shared_ptr<NSString> decryptUseDES(const std::shared_ptr<NSString>& cipherText);

  // Pretty-printed JSON text of a dictionary or array; "" for anything JSON cannot carry.
  static std::shared_ptr<NSString> turnToJSONStringWithObject(const id& object);

  // AES-128-CBC with zero-byte padding (always 1 to 16 bytes added) under the built-in key
  // and IV, as Base64 text; decoding strips that padding again (nil when the deciphered bytes
  // do not end in it or are not UTF-8).
  static std::shared_ptr<NSString> encryptAES128FromString(const std::shared_ptr<NSString>& plainText);
  static std::shared_ptr<NSString> decodeAES128FromString(const std::shared_ptr<NSString>& cipherText);

  // AES-128-CBC-PKCS7 of the data (operation 0 encrypts, 1 decrypts) under key and IV texts.
  static std::shared_ptr<NSData> myDatas(const std::shared_ptr<NSData>& data, NSUInteger operation,
                                         const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& iv);
  // myDatas with operation 0 and the fixed IV.
  static std::shared_ptr<NSData> AES128EncryptWithKey(const std::shared_ptr<NSString>& key,
                                                      const std::shared_ptr<NSData>& data);

  // The pairs of "k=v&k2=v2" in a new dictionary: values unescaped as UTF-8, a later key
  // overwriting an earlier one, text after a second "=" dropped. An item without "=" gives
  // its key an empty value; items with an empty key are skipped; a value whose escapes do
  // not decode removes the key.
  static std::shared_ptr<NSMutableDictionary> parseURLParams(const std::shared_ptr<NSString>& query);

  static std::shared_ptr<NSString> urlEcodingFromString(const std::shared_ptr<NSString>& text);
};

namespace zvt {
// The fixed IV text of the keyed AES operations.
inline const StaticString kTovrelFixedAESIV{"7391046285017364"};
// AES-128-CBC-PKCS7 under key and IV texts (shared by the class and the NSData category).
std::shared_ptr<NSData> tovrelAES128(const std::shared_ptr<NSData>& data, NSUInteger operation,
                                     const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& iv);
}  // namespace zvt
