#pragma once
// JSON text (UTF-8 bytes or a string) to a tree of objects: objects become JCDictionary, arrays
// JCArray, strings NSString, numbers NSNumber, true/false the shared boolean numbers and null
// the shared NSNull. Every failure answers nil and, when asked, an NSError of domain
// "JCErrorDomain", code -1, with the message, the byte index ("JCAtIndexKey") and the line
// number ("JCLineNumberKey") where the parser stood.

#include <cstdint>
#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

using JCParseOptionFlags = NSUInteger;
inline constexpr JCParseOptionFlags JCParseStrict = 0;
// "//" to the end of the line and "/* ... */" count as white space.
inline constexpr JCParseOptionFlags JCParseAllowComments = 1;
// U+0085, U+2028 and U+2029 count as line breaks outside strings.
inline constexpr JCParseOptionFlags JCParseUnicodeLineBreaks = 2;
// Malformed UTF-8 and illegal code points in strings become U+FFFD instead of failing.
inline constexpr JCParseOptionFlags JCParseLenientUnicode = 4;
// Text after the top-level value is ignored.
inline constexpr JCParseOptionFlags JCParseAllowTrailingText = 8;
inline constexpr JCParseOptionFlags JCParseOptionValid = 15;

extern const zvt::StaticString JCErrorDomain;
extern const zvt::StaticString JCAtIndexKey;
extern const zvt::StaticString JCLineNumberKey;

// Documents nested deeper than this fail with "Maximum nesting depth exceeded.": replies are
// untrusted and the parser recurses once per level. The writer holds trees to the same limit.
inline constexpr size_t JCMaximumNestingDepth = 512;

namespace zvt::json {
struct ParseState;
}

class JSONDecoder : public NSObject {
 public:
  // Options of 16 or more raise NSInvalidArgumentException "Invalid parse options.".
  static std::shared_ptr<JSONDecoder> decoder();
  static std::shared_ptr<JSONDecoder> decoderWithParseOptions(JCParseOptionFlags parseOptionFlags);
  static std::shared_ptr<JSONDecoder> make() { return decoder(); }
  static std::shared_ptr<JSONDecoder> initWithParseOptions(JCParseOptionFlags parseOptionFlags) {
    return decoderWithParseOptions(parseOptionFlags);
  }

  // The top-level array or object, or nil. A null `string` raises NSInvalidArgumentException;
  // `error` is written only when the parse fails.
  id objectWithUTF8String(const uint8_t* string, size_t length, std::shared_ptr<NSError>* error = nullptr);
  id objectWithUTF8String(const char* string, size_t length, std::shared_ptr<NSError>* error = nullptr) {
    return objectWithUTF8String(reinterpret_cast<const uint8_t*>(string), length, error);
  }
  // Nil data raises NSInvalidArgumentException "The jsonData argument is NULL.".
  id objectWithData(const std::shared_ptr<NSData>& jsonData, std::shared_ptr<NSError>* error = nullptr);
  // The same with mutable containers.
  id mutableObjectWithUTF8String(const uint8_t* string, size_t length, std::shared_ptr<NSError>* error = nullptr);
  id mutableObjectWithUTF8String(const char* string, size_t length, std::shared_ptr<NSError>* error = nullptr) {
    return mutableObjectWithUTF8String(reinterpret_cast<const uint8_t*>(string), length, error);
  }
  id mutableObjectWithData(const std::shared_ptr<NSData>& jsonData, std::shared_ptr<NSError>* error = nullptr);

  // The older names.
  id parseUTF8String(const uint8_t* string, size_t length, std::shared_ptr<NSError>* error = nullptr) {
    return objectWithUTF8String(string, length, error);
  }
  id parseJSONData(const std::shared_ptr<NSData>& jsonData, std::shared_ptr<NSError>* error = nullptr) {
    return objectWithData(jsonData, error);
  }

  // Releases every cached value object: the cache otherwise carries values from one parse to
  // the next for as long as the decoder lives.
  void clearCache();

  JCParseOptionFlags parseOptionFlags() const;

  struct Private {};
  JSONDecoder(Private, JCParseOptionFlags parseOptionFlags);
  ~JSONDecoder() override;

 private:
  id parse(const uint8_t* string, size_t length, bool mutableCollections, std::shared_ptr<NSError>* error);
  std::unique_ptr<zvt::json::ParseState> parseState_;
};

// The NSString(JSONCodecDeserializing) entry points: a private decoder per call.
id objectFromJSONString(const NSString& string);
id objectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags);
id objectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags,
                                        std::shared_ptr<NSError>* error);
id mutableObjectFromJSONString(const NSString& string);
id mutableObjectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags);
id mutableObjectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags,
                                               std::shared_ptr<NSError>* error);

// The NSData(JSONCodecDeserializing) entry points.
id objectFromJSONData(const NSData& data);
id objectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags);
id objectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags,
                                      std::shared_ptr<NSError>* error);
id mutableObjectFromJSONData(const NSData& data);
id mutableObjectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags);
id mutableObjectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags,
                                             std::shared_ptr<NSError>* error);
