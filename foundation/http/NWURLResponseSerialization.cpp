#include "foundation/http/NWURLResponseSerialization.h"

#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSStringEncodings.h"

namespace {

std::shared_ptr<NSString> localized(const std::shared_ptr<NSString>& key) {
  return NSLocalizedStringFromTable(key, "NWNetworking"_ns, nullptr);
}

std::shared_ptr<NSMutableDictionary> failureInfo(const std::shared_ptr<NSString>& description,
                                                 const std::shared_ptr<NSURLResponse>& response,
                                                 const std::shared_ptr<NSData>& data) {
  auto info = NSMutableDictionary::dictionary();
  info->setObject(description, NSLocalizedDescriptionKey);
  if (response->URL()) info->setObject(response->URL(), NSURLErrorFailingURLErrorKey);
  info->setObject(response, NWNetworkingOperationFailingURLResponseErrorKey);
  if (data) info->setObject(data, NWNetworkingOperationFailingURLResponseDataErrorKey);
  return info;
}

// A body that cannot be handed to the reader as UTF-8; `what` names the charset it failed in, or
// the text that has no UTF-8 form.
[[gnu::cold, gnu::noinline]] std::shared_ptr<NSError> undecodableBodyError(const std::shared_ptr<NSString>& what) {
  auto info = NSMutableDictionary::dictionary();
  info->setObject(localized("Data failed decoding as a UTF-8 string"_ns), NSLocalizedDescriptionKey);
  info->setObject(NSString::stringWithFormat(localized("Could not decode string: %@"_ns), what), NSLocalizedFailureReasonErrorKey);
  return NSError::errorWithDomain(NWURLResponseSerializationErrorDomain, NSURLErrorCannotDecodeContentData, info);
}

// A body in another charset: decoded, then encoded as UTF-8 for the reader. Nil with `blank` set
// for a body that is blank once decoded (no object and no error), nil with `error` set for one
// that does not decode.
[[gnu::noinline]] std::shared_ptr<NSData> foreignBodyAsUTF8(const std::shared_ptr<NSData>& data, NSStringEncoding encoding,
                                                          bool& blank, std::shared_ptr<NSError>& error) {
  auto text = zvt::stringWithData(data, encoding);
  if (!text) {
    // A body that does not decode in its declared charset is an error, not an empty success.
    error = undecodableBodyError(zvt::IANACharSetNameOfEncoding(encoding));
    return nullptr;
  }
  if (text->isEqualToString(" ")) {
    blank = true;
    return nullptr;
  }
  auto utf8 = text->dataUsingEncoding(NSUTF8StringEncoding);
  if (!utf8) {
    error = undecodableBodyError(text);
    return nullptr;
  }
  if (utf8->length() == 0) {
    blank = true;
    return nullptr;
  }
  return utf8;
}

}  // namespace

namespace zvt {

std::shared_ptr<NSError> errorWithUnderlyingError(const std::shared_ptr<NSError>& error,
                                                  const std::shared_ptr<NSError>& underlying) {
  if (!error) return underlying;
  if (!underlying || error->userInfo()->objectForKey(NSUnderlyingErrorKey)) return error;
  auto info = NSMutableDictionary::dictionaryWithDictionary(error->userInfo());
  info->setObject(underlying, NSUnderlyingErrorKey);
  return NSError::errorWithDomain(error->domain(), error->code(), info);
}

bool errorOrUnderlyingErrorHasCodeInDomain(const std::shared_ptr<NSError>& error, NSInteger code,
                                           const std::shared_ptr<NSString>& domain) {
  // Bounded, in case a chain were ever made circular.
  auto current = error;
  for (int depth = 0; current && depth < 64; ++depth) {
    if (current->code() == code && current->domain()->isEqualToString(domain)) return true;
    current = as<NSError>(current->userInfo()->objectForKey(NSUnderlyingErrorKey));
  }
  return false;
}

id JSONObjectByRemovingKeysWithNullValues(const id& object, NSUInteger readingOptions) {
  bool mutableContainers = (readingOptions & NSJSONReadingMutableContainers) != 0;
  if (auto array = as<NSArray>(object)) {
    auto out = NSMutableArray::arrayWithCapacity(array->count());
    for (const id& element : *array) out->addObject(JSONObjectByRemovingKeysWithNullValues(element, readingOptions));
    return mutableContainers ? id(out) : id(NSArray::arrayWithArray(out));
  }
  if (auto dictionary = as<NSDictionary>(object)) {
    auto out = NSMutableDictionary::dictionaryWithCapacity(dictionary->count());
    for (const id& key : *dictionary) {
      id value = dictionary->objectForKey(key);
      if (!value || isKind<NSNull>(value)) continue;
      if (isKind<NSArray>(value) || isKind<NSDictionary>(value)) value = JSONObjectByRemovingKeysWithNullValues(value, readingOptions);
      out->setObject(value, key);
    }
    return mutableContainers ? id(out) : id(NSDictionary::dictionaryWithDictionary(out));
  }
  return object;
}

}  // namespace zvt

// --- NWHTTPResponseSerializer

NWHTTPResponseSerializer::NWHTTPResponseSerializer()
    : acceptableStatusCodes_(NSIndexSet::indexSetWithIndexesInRange(NSMakeRange(200, 100))) {}

NSStringEncoding NWHTTPResponseSerializer::stringEncoding() const {
  std::lock_guard lock(mutex_);
  return stringEncoding_;
}
void NWHTTPResponseSerializer::setStringEncoding(NSStringEncoding encoding) {
  std::lock_guard lock(mutex_);
  stringEncoding_ = encoding;
}
std::shared_ptr<NSIndexSet> NWHTTPResponseSerializer::acceptableStatusCodes() const {
  std::lock_guard lock(mutex_);
  return acceptableStatusCodes_;
}
void NWHTTPResponseSerializer::setAcceptableStatusCodes(const std::shared_ptr<NSIndexSet>& codes) {
  auto copy = codes ? std::static_pointer_cast<NSIndexSet>(codes->copyWithZone()) : nullptr;
  std::lock_guard lock(mutex_);
  acceptableStatusCodes_ = copy;
}
std::shared_ptr<NSSet> NWHTTPResponseSerializer::acceptableContentTypes() const {
  std::lock_guard lock(mutex_);
  return acceptableContentTypes_;
}
void NWHTTPResponseSerializer::setAcceptableContentTypes(const std::shared_ptr<NSSet>& types) {
  auto copy = types ? NSSet::setWithSet(types) : nullptr;
  std::lock_guard lock(mutex_);
  acceptableContentTypes_ = copy;
  lastAcceptedType_.clear();
}

bool NWHTTPResponseSerializer::validateResponse(const std::shared_ptr<NSURLResponse>& response,
                                                const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error) {
  const auto* http = dynamic_cast<const NSHTTPURLResponse*>(response.get());
  if (!http) return true;
  bool typeRefused;
  bool statusRefused;
  {
    std::lock_guard lock(mutex_);
    const auto& type = http->MIMEType();
    if (!acceptableContentTypes_) {
      typeRefused = false;
    } else if (!type) {
      typeRefused = true;
    } else if (!lastAcceptedType_.empty() && type->view() == lastAcceptedType_) [[likely]] {
      typeRefused = false;
    } else {
      typeRefused = !acceptableContentTypes_->containsObject(type);
      if (!typeRefused) lastAcceptedType_.assign(type->view());
    }
    NSInteger status = http->statusCode();
    statusRefused = acceptableStatusCodes_ && (status < 0 || !acceptableStatusCodes_->containsIndex(static_cast<NSUInteger>(status)));
  }
  if (!typeRefused && !statusRefused) [[likely]] return true;
  if (error) *error = refusal(response, data, typeRefused, statusRefused);
  return false;
}

std::shared_ptr<NSError> NWHTTPResponseSerializer::refusal(const std::shared_ptr<NSURLResponse>& response,
                                                           const std::shared_ptr<NSData>& data, bool typeRefused,
                                                           bool statusRefused) {
  auto http = std::static_pointer_cast<NSHTTPURLResponse>(response);
  std::shared_ptr<NSError> validationError;
  if (typeRefused) {
    // The error is made also for an empty body, so that a refusal never passes as success.
    auto description = NSString::stringWithFormat(localized("Request failed: unacceptable content-type: %@"_ns), http->MIMEType());
    validationError = NSError::errorWithDomain(NWURLResponseSerializationErrorDomain, NSURLErrorCannotDecodeContentData,
                                               failureInfo(description, http, data));
  }
  if (statusRefused) {
    auto description = NSString::stringWithFormat(localized("Request failed: %@ (%ld)"_ns),
                                                  NSHTTPURLResponse::localizedStringForStatusCode(http->statusCode()),
                                                  static_cast<long>(http->statusCode()));
    auto statusError = NSError::errorWithDomain(NWURLResponseSerializationErrorDomain, NSURLErrorBadServerResponse,
                                                failureInfo(description, http, data));
    validationError = zvt::errorWithUnderlyingError(statusError, validationError);
  }
  return validationError;
}

id NWHTTPResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                       const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error) {
  validateResponse(response, data, error);
  return data;
}

bool NWHTTPResponseSerializer::passesParseGate(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                                               std::shared_ptr<NSError>* error) {
  std::shared_ptr<NSError> validationError;
  bool valid = validateResponse(response, data, &validationError);
  if (valid) return true;
  if (error) *error = validationError;
  if (!error || zvt::errorOrUnderlyingErrorHasCodeInDomain(validationError, NSURLErrorCannotDecodeContentData,
                                                           NWURLResponseSerializationErrorDomain)) {
    return false;
  }
  return true;
}

id NWHTTPResponseSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWHTTPResponseSerializer>();
  copy->setAcceptableStatusCodes(acceptableStatusCodes());
  copy->setAcceptableContentTypes(acceptableContentTypes());
  return copy;
}

// --- NWJSONResponseSerializer

NWJSONResponseSerializer::NWJSONResponseSerializer() {
  setAcceptableContentTypes(NSSet::make({"application/json"_ns, "text/json"_ns, "text/javascript"_ns}));
}

std::shared_ptr<NWJSONResponseSerializer> NWJSONResponseSerializer::serializerWithReadingOptions(NSUInteger readingOptions) {
  auto serializer = std::make_shared<NWJSONResponseSerializer>();
  serializer->setReadingOptions(readingOptions);
  return serializer;
}

NSUInteger NWJSONResponseSerializer::readingOptions() const {
  std::lock_guard lock(optionsMutex_);
  return readingOptions_;
}
void NWJSONResponseSerializer::setReadingOptions(NSUInteger options) {
  std::lock_guard lock(optionsMutex_);
  readingOptions_ = options;
}
bool NWJSONResponseSerializer::removesKeysWithNullValues() const {
  std::lock_guard lock(optionsMutex_);
  return removesKeysWithNullValues_;
}
void NWJSONResponseSerializer::setRemovesKeysWithNullValues(bool removes) {
  std::lock_guard lock(optionsMutex_);
  removesKeysWithNullValues_ = removes;
}

id NWJSONResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                       const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error) {
  if (!passesParseGate(response, data, error)) return nullptr;
  NSStringEncoding encoding = stringEncoding();
  if (response && response->textEncodingName()) {
    NSStringEncoding named = zvt::encodingForIANACharSetName(response->textEncodingName());
    if (named != kZVTInvalidStringEncoding) encoding = named;
  }
  if (!data || data->length() == 0) return nullptr;
  NSUInteger options;
  bool removesNulls;
  {
    std::lock_guard lock(optionsMutex_);
    options = readingOptions_;
    removesNulls = removesKeysWithNullValues_;
  }
  id object;
  std::shared_ptr<NSError> serializationError;
  if (encoding == NSUTF8StringEncoding) [[likely]] {
    // A UTF-8 body is checked where it lies and handed to the reader as it is: decoding it into
    // a string and encoding that again would give the same bytes.
    std::string_view bytes(reinterpret_cast<const char*>(data->bytes()), data->length());
    if (!zvt::isValidUTF8(bytes)) [[unlikely]] {
      serializationError = undecodableBodyError(zvt::IANACharSetNameOfEncoding(encoding));
    } else if (bytes == " ") [[unlikely]] {
      return nullptr;
    } else {
      object = NSJSONSerialization::JSONObjectWithData(data, options, &serializationError);
    }
  } else {
    bool blank = false;
    auto utf8 = foreignBodyAsUTF8(data, encoding, blank, serializationError);
    if (blank) return nullptr;
    if (utf8) object = NSJSONSerialization::JSONObjectWithData(utf8, options, &serializationError);
  }
  if (object && removesNulls) [[unlikely]] object = zvt::JSONObjectByRemovingKeysWithNullValues(object, options);
  if (error && serializationError) *error = zvt::errorWithUnderlyingError(serializationError, *error);
  return object;
}

id NWJSONResponseSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWJSONResponseSerializer>();
  copy->setReadingOptions(readingOptions());
  copy->setRemovesKeysWithNullValues(removesKeysWithNullValues());
  return copy;
}

// --- NWPropertyListResponseSerializer

NWPropertyListResponseSerializer::NWPropertyListResponseSerializer() {
  setAcceptableContentTypes(NSSet::make({"application/x-plist"_ns}));
}

std::shared_ptr<NWPropertyListResponseSerializer> NWPropertyListResponseSerializer::serializerWithFormat(
    NSPropertyListFormat format, NSPropertyListReadOptions readOptions) {
  auto serializer = std::make_shared<NWPropertyListResponseSerializer>();
  serializer->format = format;
  serializer->readOptions = readOptions;
  return serializer;
}

id NWPropertyListResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                               const std::shared_ptr<NSData>& data,
                                                               std::shared_ptr<NSError>* error) {
  if (!passesParseGate(response, data, error)) return nullptr;
  id object;
  std::shared_ptr<NSError> serializationError;
  if (data) object = NSPropertyListSerialization::propertyListWithData(data, readOptions, nullptr, &serializationError);
  if (error) *error = zvt::errorWithUnderlyingError(serializationError, *error);
  return object;
}

id NWPropertyListResponseSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWPropertyListResponseSerializer>();
  copy->format = format;
  copy->readOptions = readOptions;
  return copy;
}

// --- NWCompoundResponseSerializer

std::shared_ptr<NWCompoundResponseSerializer> NWCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
    const std::shared_ptr<NSArray>& responseSerializers) {
  auto serializer = std::make_shared<NWCompoundResponseSerializer>();
  serializer->responseSerializers_ = responseSerializers ? NSArray::arrayWithArray(responseSerializers) : NSArray::array();
  return serializer;
}

id NWCompoundResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                           const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error) {
  for (const id& candidate : *responseSerializers_) {
    auto serializer = zvt::as<NWHTTPResponseSerializer>(candidate);
    if (!serializer) continue;
    std::shared_ptr<NSError> serializerError;
    id object = serializer->responseObjectForResponse(response, data, &serializerError);
    if (object) {
      if (error) *error = zvt::errorWithUnderlyingError(serializerError, *error);
      return object;
    }
  }
  return NWHTTPResponseSerializer::responseObjectForResponse(response, data, error);
}

id NWCompoundResponseSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWCompoundResponseSerializer>();
  copy->responseSerializers_ = responseSerializers_;
  return copy;
}
