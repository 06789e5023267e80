#include "foundation/json/NSJSONSerialization.h"

#include <cmath>
#include <string>

#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

namespace {

enum class Validity { valid, invalid, tooDeep };

// Whether the writer can take the value; a tree deeper than the codec's limit is told apart
// from one holding an unwritable object, and is not walked past the limit.
Validity validity(const id& object, size_t depth) {
  if (!object) return Validity::invalid;
  if (zvt::isKind<NSString>(object) || zvt::isKind<NSNull>(object)) return Validity::valid;
  if (auto number = zvt::as<NSNumber>(object)) {
    return !number->isFloatingPoint() || std::isfinite(number->doubleValue()) ? Validity::valid : Validity::invalid;
  }
  const bool container = zvt::isKind<NSArray>(object) || zvt::isKind<NSDictionary>(object);
  if (container && depth >= JCMaximumNestingDepth) return Validity::tooDeep;
  if (auto array = zvt::as<NSArray>(object)) {
    for (NSUInteger i = 0, n = array->count(); i < n; ++i) {
      Validity v = validity(array->objectAtIndex(i), depth + 1);
      if (v != Validity::valid) return v;
    }
    return Validity::valid;
  }
  if (auto dictionary = zvt::as<NSDictionary>(object)) {
    Validity result = Validity::valid;
    dictionary->enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& value, bool* stop) {
      result = zvt::isKind<NSString>(key) ? validity(value, depth + 1) : Validity::invalid;
      if (result != Validity::valid) *stop = true;
    });
    return result;
  }
  return Validity::invalid;
}

std::shared_ptr<NSError> cocoaError(const std::shared_ptr<NSError>& codecError, const char* fallback,
                                    bool writing = false) {
  auto userInfo = NSMutableDictionary::dictionary();
  userInfo->setObject(NSString::fromValidUTF8(writing
                                                  ? "The data couldn’t be written because it isn’t in the correct format."
                                                  : "The data couldn’t be read because it isn’t in the correct format."),
                      NSLocalizedDescriptionKey);
  id message;
  if (codecError) message = codecError->userInfo()->objectForKey(NSLocalizedDescriptionKey);
  userInfo->setObject(message ? message : id(NSString::fromValidUTF8(fallback)), NSDebugDescriptionErrorKey);
  if (codecError) userInfo->setObject(codecError, NSUnderlyingErrorKey);
  return NSError::errorWithDomain(NSCocoaErrorDomain,
                                  writing ? NSInteger{NSPropertyListWriteInvalidError} : NSPropertyListReadCorruptErrorCode,
                                  userInfo);
}

}  // namespace

bool NSJSONSerialization::isValidJSONObject(const id& object) {
  if (!zvt::isKind<NSArray>(object) && !zvt::isKind<NSDictionary>(object)) return false;
  return validity(object, 0) == Validity::valid;
}

id NSJSONSerialization::JSONObjectWithData(const std::shared_ptr<NSData>& data, NSJSONReadingOptions options,
                                           std::shared_ptr<NSError>* error) {
  if (!data) zvt::raise(NSInvalidArgumentException, "data parameter is nil");
  const bool mutableContainers = options & NSJSONReadingMutableContainers;
  // The reader takes its text with or without a byte order mark (servers whose scripts were
  // saved with one send it before every reply); the codec itself refuses the mark, so it is
  // stepped over here.
  std::string_view text = data->view();
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const char* start = text.data() ? text.data() : "";
  auto decoder = JSONDecoder::decoder();
  std::shared_ptr<NSError> codecError;
  id result = mutableContainers ? decoder->mutableObjectWithUTF8String(start, text.size(), &codecError)
                                : decoder->objectWithUTF8String(start, text.size(), &codecError);
  if (!result && (options & NSJSONReadingAllowFragments)) {
    // A lone scalar: read it as the one element of an array.
    std::string wrapped;
    wrapped.reserve(text.size() + 3);
    wrapped += '[';
    wrapped.append(text);
    wrapped += "\n]";
    std::shared_ptr<NSError> fragmentError;
    if (auto array = zvt::as<NSArray>(decoder->objectWithUTF8String(wrapped.data(), wrapped.size(), &fragmentError))) {
      if (array->count() == 1) {
        id element = array->objectAtIndex(0);
        if (!mutableContainers || !(zvt::isKind<NSArray>(element) || zvt::isKind<NSDictionary>(element))) {
          return element;
        }
      }
    }
  }
  if (!result && error) *error = cocoaError(codecError, "Unable to parse JSON.");
  return result;
}

std::shared_ptr<NSData> NSJSONSerialization::dataWithJSONObject(const id& object, NSJSONWritingOptions options,
                                                                std::shared_ptr<NSError>* error) {
  // Too deep is no type error: the writer refuses it and the caller gets its error.
  const bool collection = zvt::isKind<NSArray>(object) || zvt::isKind<NSDictionary>(object);
  if (!collection || validity(object, 0) == Validity::invalid) {
    zvt::raise(NSInvalidArgumentException,
               "Invalid type in JSON write (" + (object ? object->className() : std::string("nil")) + ")");
  }
  JCSerializeOptionFlags flags = JCSerializePlain;
  if (options & NSJSONWritingPrettyPrinted) flags |= JCSerializePretty;
  if (!(options & NSJSONWritingWithoutEscapingSlashes)) flags |= JCSerializeEscapeSlash;
  std::shared_ptr<NSError> codecError;
  auto result = std::static_pointer_cast<NSData>(JCSerializer::serializeObject(
      object, flags, JCOutputData | JCOutputRequireCollection, nullptr, nullptr, {}, &codecError));
  if (!result && error) *error = cocoaError(codecError, "Unable to write JSON.", true);
  return result;
}
