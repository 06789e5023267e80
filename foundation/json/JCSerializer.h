#pragma once
// An object tree of strings, numbers, dictionaries, arrays and the null object written as JSON
// text, into an NSData (UTF-8 bytes) or an NSString. Failures answer nil and, when asked, an
// NSError of domain "JCErrorDomain", code -1, with the message.

#include <functional>
#include <memory>
#include <vector>

#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSString.h"

using JCSerializeOptionFlags = NSUInteger;
inline constexpr JCSerializeOptionFlags JCSerializePlain = 0;
// Line breaks, two-blank indentation, ": " after keys, dictionary keys sorted.
inline constexpr JCSerializeOptionFlags JCSerializePretty = 1;
// Every character outside ASCII as \u escapes.
inline constexpr JCSerializeOptionFlags JCSerializeEscapeNonASCII = 2;
// "/" as "\/".
inline constexpr JCSerializeOptionFlags JCSerializeEscapeSlash = 16;

using JCEncodeOptionType = NSUInteger;
inline constexpr JCEncodeOptionType JCOutputData = 1;
inline constexpr JCEncodeOptionType JCOutputString = 2;
inline constexpr JCEncodeOptionType JCOutputRequireCollection = 8;
inline constexpr JCEncodeOptionType JCOutputRequireString = 16;
inline constexpr JCEncodeOptionType JCOutputOmitQuotes = 32;

// An unsupported-class handler: given an object the writer cannot write, a replacement to write
// in its place, or nil.
using JCUnsupportedClassBlock = std::function<id(const id& object)>;

// The delegate form of the handler names a method of the delegate's class:
// `JCSelector(&MyFormatter::formatObject)` with `id MyFormatter::formatObject(const id&)`.
// A delegate "responds to" it when it is of that class.
class JCSelector {
 public:
  JCSelector() = default;
  JCSelector(std::nullptr_t) {}
  template <class D>
  JCSelector(id (D::*method)(const id&)) {
    if (method == nullptr) return;
    respondsTo_ = [](const NSObject& delegate) { return dynamic_cast<const D*>(&delegate) != nullptr; };
    invoke_ = [method](NSObject& delegate, const id& object) { return (dynamic_cast<D&>(delegate).*method)(object); };
  }
  explicit operator bool() const { return static_cast<bool>(invoke_); }
  bool respondsTo(const NSObject& delegate) const { return respondsTo_ && respondsTo_(delegate); }
  id operator()(NSObject& delegate, const id& object) const { return invoke_(delegate, object); }

 private:
  std::function<bool(const NSObject&)> respondsTo_;
  std::function<id(NSObject&, const id&)> invoke_;
};

namespace zvt::json {
struct EncodeState;
// A finite double as "%.17g" would print it (locale-independent); null when it does not fit.
char* formatDouble17(double value, char* first, char* last);
}

class JCSerializer : public NSObject {
 public:
  static std::shared_ptr<JCSerializer> make();
  JCSerializer();
  ~JCSerializer() override;

  // `+serializeObject:options:encodeOption:block:delegate:selector:error:`: a temporary
  // serializer per call. A delegate without a selector, or one that does not respond to it,
  // raises NSInvalidArgumentException.
  static id serializeObject(const id& object, JCSerializeOptionFlags options, JCEncodeOptionType encodeOption,
                            const JCUnsupportedClassBlock& block, const id& delegate, const JCSelector& selector,
                            std::shared_ptr<NSError>* error);
  // The instance form of the same selector (a C++ class cannot have both under one name).
  id serialize(const id& object, JCSerializeOptionFlags options, JCEncodeOptionType encodeOption,
               const JCUnsupportedClassBlock& block, const id& delegate, const JCSelector& selector,
               std::shared_ptr<NSError>* error);
  void releaseState();

 private:
  std::unique_ptr<zvt::json::EncodeState> encodeState_;
};

// NSString(JSONCodecSerializing): the string as one JSON string literal.
std::shared_ptr<NSData> JSONData(const NSString& string);
std::shared_ptr<NSData> JSONDataWithOptions(const NSString& string, JCSerializeOptionFlags serializeOptions,
                                            bool includeQuotes, std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONString(const NSString& string);
std::shared_ptr<NSString> JSONStringWithOptions(const NSString& string, JCSerializeOptionFlags serializeOptions,
                                                bool includeQuotes, std::shared_ptr<NSError>* error);

// NSArray(JSONCodecSerializing) and NSArray(JSONCodecSerializingBlockAdditions).
std::shared_ptr<NSData> JSONData(const NSArray& array);
std::shared_ptr<NSData> JSONDataWithOptions(const NSArray& array, JCSerializeOptionFlags serializeOptions,
                                            std::shared_ptr<NSError>* error);
std::shared_ptr<NSData> JSONDataWithOptions(const NSArray& array, JCSerializeOptionFlags serializeOptions,
                                            const id& delegate, const JCSelector& selector,
                                            std::shared_ptr<NSError>* error);
std::shared_ptr<NSData> JSONDataWithOptions(const NSArray& array, JCSerializeOptionFlags serializeOptions,
                                            const JCUnsupportedClassBlock& block, std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONString(const NSArray& array);
std::shared_ptr<NSString> JSONStringWithOptions(const NSArray& array, JCSerializeOptionFlags serializeOptions,
                                                std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONStringWithOptions(const NSArray& array, JCSerializeOptionFlags serializeOptions,
                                                const id& delegate, const JCSelector& selector,
                                                std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONStringWithOptions(const NSArray& array, JCSerializeOptionFlags serializeOptions,
                                                const JCUnsupportedClassBlock& block,
                                                std::shared_ptr<NSError>* error);

// NSDictionary(JSONCodecSerializing) and NSDictionary(JSONCodecSerializingBlockAdditions).
std::shared_ptr<NSData> JSONData(const NSDictionary& dictionary);
std::shared_ptr<NSData> JSONDataWithOptions(const NSDictionary& dictionary, JCSerializeOptionFlags serializeOptions,
                                            std::shared_ptr<NSError>* error);
std::shared_ptr<NSData> JSONDataWithOptions(const NSDictionary& dictionary, JCSerializeOptionFlags serializeOptions,
                                            const id& delegate, const JCSelector& selector,
                                            std::shared_ptr<NSError>* error);
std::shared_ptr<NSData> JSONDataWithOptions(const NSDictionary& dictionary, JCSerializeOptionFlags serializeOptions,
                                            const JCUnsupportedClassBlock& block, std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONString(const NSDictionary& dictionary);
std::shared_ptr<NSString> JSONStringWithOptions(const NSDictionary& dictionary,
                                                JCSerializeOptionFlags serializeOptions,
                                                std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONStringWithOptions(const NSDictionary& dictionary,
                                                JCSerializeOptionFlags serializeOptions, const id& delegate,
                                                const JCSelector& selector, std::shared_ptr<NSError>* error);
std::shared_ptr<NSString> JSONStringWithOptions(const NSDictionary& dictionary,
                                                JCSerializeOptionFlags serializeOptions,
                                                const JCUnsupportedClassBlock& block,
                                                std::shared_ptr<NSError>* error);
