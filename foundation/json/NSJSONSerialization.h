#pragma once
// Foundation's JSON class, for the HTTP layer's JSON request and response serializers: a thin
// adapter over the JSON codec. Read errors are NSCocoaErrorDomain 3840 with the codec's error
// underneath; the writer escapes "/" as "\/" unless told otherwise.

#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

using NSJSONReadingOptions = NSUInteger;
inline constexpr NSJSONReadingOptions NSJSONReadingMutableContainers = 1;
inline constexpr NSJSONReadingOptions NSJSONReadingMutableLeaves = 2;  // accepted, strings stay immutable
inline constexpr NSJSONReadingOptions NSJSONReadingAllowFragments = 4;

using NSJSONWritingOptions = NSUInteger;
inline constexpr NSJSONWritingOptions NSJSONWritingPrettyPrinted = 1;
inline constexpr NSJSONWritingOptions NSJSONWritingSortedKeys = 2;
inline constexpr NSJSONWritingOptions NSJSONWritingWithoutEscapingSlashes = 8;

inline constexpr NSInteger NSPropertyListReadCorruptErrorCode = 3840;
inline const zvt::StaticString NSDebugDescriptionErrorKey{"NSDebugDescription"};

class NSJSONSerialization {
 public:
  // True for an array or dictionary whose leaves are strings, finite numbers and the null
  // object, with string keys throughout.
  static bool isValidJSONObject(const id& object);

  // The object of the text, or nil with an NSCocoaErrorDomain 3840 error. Nil data raises
  // NSInvalidArgumentException.
  static id JSONObjectWithData(const std::shared_ptr<NSData>& data, NSJSONReadingOptions options,
                               std::shared_ptr<NSError>* error);

  // The UTF-8 text of the object. An object that is not valid JSON raises
  // NSInvalidArgumentException "Invalid type in JSON write"; a tree nested deeper than the
  // codec's limit gives nil with an NSCocoaErrorDomain 3851 error.
  static std::shared_ptr<NSData> dataWithJSONObject(const id& object, NSJSONWritingOptions options,
                                                    std::shared_ptr<NSError>* error);
};
