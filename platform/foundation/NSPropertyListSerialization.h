#pragma once
// Property lists: trees of NSDictionary (string keys), NSArray, NSString, NSNumber (integer,
// real, boolean), NSDate and NSData, written and read in the XML format.
//
// Writing: dictionary keys in sorted order, tab indentation, reals in their shortest exact
// form, dates as UTC "yyyy-MM-ddTHH:mm:ssZ" (whole seconds), data as Base64 lines. A string
// holding a character XML 1.0 cannot carry (control characters other than tab, line feed
// and carriage return; lone surrogates) is refused with NSPropertyListWriteInvalidError
// rather than written into a file that could not be read back. Carriage returns are written
// as "&#13;" so that they survive the XML line-end normalisation.
//
// Reading (libxml2, no network, no external entities): errors are NSPropertyListReadCorruptError.
// Only the XML format is read and written; the binary and OpenStep formats are refused.

#include <memory>

#include "platform/foundation/NSObject.h"

class NSData;
class NSError;

using NSPropertyListFormat = NSUInteger;
inline constexpr NSPropertyListFormat NSPropertyListOpenStepFormat = 1;
inline constexpr NSPropertyListFormat NSPropertyListXMLFormat_v1_0 = 100;
inline constexpr NSPropertyListFormat NSPropertyListBinaryFormat_v1_0 = 200;

using NSPropertyListMutabilityOptions = NSUInteger;
inline constexpr NSPropertyListMutabilityOptions NSPropertyListImmutable = 0;
inline constexpr NSPropertyListMutabilityOptions NSPropertyListMutableContainers = 1;
inline constexpr NSPropertyListMutabilityOptions NSPropertyListMutableContainersAndLeaves = 2;

using NSPropertyListReadOptions = NSPropertyListMutabilityOptions;
using NSPropertyListWriteOptions = NSUInteger;

class NSPropertyListSerialization : public NSObject {
 public:
  // propertyList:isValidForFormat:
  static bool propertyList(const id& plist, NSPropertyListFormat isValidForFormat);
  static std::shared_ptr<NSData> dataWithPropertyList(const id& plist, NSPropertyListFormat format,
                                                      NSPropertyListWriteOptions options,
                                                      std::shared_ptr<NSError>* error);
  // `format` (may be null) receives the format that was read.
  static id propertyListWithData(const std::shared_ptr<NSData>& data, NSPropertyListReadOptions options,
                                 NSPropertyListFormat* format, std::shared_ptr<NSError>* error);
};

namespace zvt {
// A deep copy of a property list with immutable containers (and leaves): what a store keeps
// so that later changes to the caller's mutable objects do not reach it. nil when the object
// is not a property list.
id propertyListDeepCopy(const id& plist);
}  // namespace zvt
