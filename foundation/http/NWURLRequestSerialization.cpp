#include "foundation/http/NWURLRequestSerialization.h"

#include <algorithm>
#include <cctype>
#include <typeinfo>

#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSStringEncodings.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIDevice.h"

namespace {

std::string base64(std::string_view in) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == in.size()) {
    uint32_t v = uint8_t(in[i]) << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::shared_ptr<NSString> descriptionOf(const id& object) {
  if (!object) return "(null)"_ns;
  if (auto text = zvt::as<NSString>(object)) return text;
  return object->description();
}

// Sorted ascending by description text with the plain string comparison.
std::vector<id> sortedByDescription(std::vector<id> objects) {
  std::stable_sort(objects.begin(), objects.end(), [](const id& a, const id& b) {
    return descriptionOf(a)->compare(descriptionOf(b)) == NSOrderedAscending;
  });
  return objects;
}

void appendPairs(const id& key, const id& value, std::vector<std::shared_ptr<NWQueryStringPair>>& out) {
  if (auto dictionary = zvt::as<NSDictionary>(value)) {
    std::vector<id> keys;
    for (const id& nested : *dictionary) keys.push_back(nested);
    for (const id& nestedKey : sortedByDescription(std::move(keys))) {
      id nestedValue = dictionary->objectForKey(nestedKey);
      if (!nestedValue) continue;
      id field = key ? id(NSString::stringWithFormat("%@[%@]", key, nestedKey)) : nestedKey;
      appendPairs(field, nestedValue, out);
    }
  } else if (auto array = zvt::as<NSArray>(value)) {
    auto field = NSString::stringWithFormat("%@[]", key);
    for (const id& element : *array) appendPairs(field, element, out);
  } else if (auto set = zvt::as<NSSet>(value)) {
    std::vector<id> elements;
    auto all = set->allObjects();
    for (const id& element : *all) elements.push_back(element);
    for (const id& element : sortedByDescription(std::move(elements))) appendPairs(key, element, out);
  } else {
    out.push_back(NWQueryStringPair::initWithField(key, value));
  }
}

std::shared_ptr<NSError> encodingError(const std::shared_ptr<NSString>& what) {
  auto text = NSString::stringWithFormat("The value of \"%@\" cannot be written in the request's text encoding.", what);
  return NSError::errorWithDomain(NWURLRequestSerializationErrorDomain, NSURLErrorCannotDecodeRawData,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, text},
                                                      {NSLocalizedFailureReasonErrorKey, text}}));
}

std::shared_ptr<NSError> writerError(const std::string& reason) {
  auto text = NSString::stringWithUTF8String(reason);
  return NSError::errorWithDomain(NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, text ? text : "Invalid object"_ns}}));
}

std::shared_ptr<NSError> shortWriteError() {
  return NSError::errorWithDomain(NSCocoaErrorDomain, NSFileWriteUnknownError,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, "The body could not be written to the file."_ns}}));
}

std::string upper(const std::string& text) {
  std::string out = text;
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

// The request requestWithMethod has just made on this thread, for requestWithDefaultHeaders.
thread_local const NSURLRequest* freshRequest = nullptr;

struct FreshRequestScope {
  const NSURLRequest* outer;
  explicit FreshRequestScope(const NSURLRequest* request) : outer(freshRequest) { freshRequest = request; }
  ~FreshRequestScope() { freshRequest = outer; }
};

}  // namespace

// --- query strings

std::shared_ptr<NWQueryStringPair> NWQueryStringPair::initWithField(const id& field, const id& value) {
  auto pair = std::make_shared<NWQueryStringPair>();
  pair->field = field;
  pair->value = value;
  return pair;
}

std::shared_ptr<NSString> NWQueryStringPair::URLEncodedStringValue() const {
  if (zvt::isNullOrNil(value)) return zvt::percentEscapedQueryString(descriptionOf(field));
  return NSString::stringWithFormat("%@=%@", zvt::percentEscapedQueryString(descriptionOf(field)),
                                    zvt::percentEscapedQueryString(descriptionOf(value)));
}

namespace zvt {

std::vector<std::shared_ptr<NWQueryStringPair>> queryStringPairsFromKeyAndValue(const id& key, const id& value) {
  std::vector<std::shared_ptr<NWQueryStringPair>> out;
  appendPairs(key, value, out);
  return out;
}

std::shared_ptr<NSString> queryStringFromParameters(const id& parameters) {
  std::string text;
  for (const auto& pair : queryStringPairsFromKeyAndValue(nullptr, parameters)) {
    if (!text.empty()) text += '&';
    text += pair->URLEncodedStringValue()->utf8();
  }
  return NSString::stringWithUTF8String(std::string_view(text));
}

std::shared_ptr<NSString> percentEscapedQueryString(const std::shared_ptr<NSString>& string) {
  // The query-allowed characters without the general and sub-delimiters. Escaping works on the
  // UTF-8 bytes of whole characters, so a surrogate pair or combining sequence is never split.
  static const char* kHex = "0123456789ABCDEF";
  if (!string) return NSString::string();
  std::string out;
  out.reserve(string->utf8().size());
  for (unsigned char c : string->utf8()) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == '?') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return NSString::fromValidUTF8(std::move(out));
}

std::shared_ptr<NSString> acceptLanguageHeaderValue(const std::shared_ptr<NSArray>& languages) {
  std::string value;
  if (languages) {
    NSUInteger index = 0;
    for (const id& language : *languages) {
      float q = 1.0f - static_cast<float>(index) * 0.1f;
      if (!value.empty()) value += ", ";
      value += zvt::format("%@;q=%0.1g", {zvt::FormatArg(language), zvt::FormatArg(static_cast<double>(q))});
      ++index;
      if (q <= 0.5f) break;
    }
  }
  return NSString::stringWithUTF8String(std::string_view(value));
}

std::shared_ptr<NSString> defaultUserAgent() {
  auto bundle = NSBundle::mainBundle();
  id executable = bundle->objectForInfoDictionaryKey(kCFBundleExecutableKey);
  if (!executable) executable = bundle->objectForInfoDictionaryKey(kCFBundleIdentifierKey);
  id version = bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"_ns);
  if (!version) version = bundle->objectForInfoDictionaryKey(kCFBundleVersionKey);
  auto device = UIDevice::currentDevice();
  auto userAgent = NSString::stringWithFormat("%@/%@ (%@; iOS %@; Scale/%0.2f)", executable, version, device->model(),
                                              device->systemVersion(), UIScreen::mainScreen()->scale());
  if (userAgent && !userAgent->canBeConvertedToEncoding(NSASCIIStringEncoding)) {
    if (auto ascii = stringByApplyingTransform(userAgent, "Any-Latin; Latin-ASCII; [:^ASCII:] Remove")) userAgent = ascii;
  }
  return userAgent;
}

}  // namespace zvt

// --- NWHTTPRequestSerializer

NWHTTPRequestSerializer::NWHTTPRequestSerializer() {
  mutableHTTPRequestHeaders_ = NSMutableDictionary::dictionary();
  setValue(zvt::acceptLanguageHeaderValue(NSLocale::preferredLanguages()), "Accept-Language"_ns);
  if (auto userAgent = zvt::defaultUserAgent()) setValue(userAgent, "User-Agent"_ns);
  setHTTPMethodsEncodingParametersInURI(NSSet::make({"GET"_ns, "HEAD"_ns, "DELETE"_ns}));
}

std::shared_ptr<NWHTTPRequestSerializer> NWHTTPRequestSerializer::serializer() {
  return std::make_shared<NWHTTPRequestSerializer>();
}

void NWHTTPRequestSerializer::setAllowsCellularAccess(bool allows) {
  allowsCellularAccess_ = allows;
  markChanged(kAllowsCellularAccessChanged);
}
void NWHTTPRequestSerializer::setCachePolicy(NSURLRequestCachePolicy policy) {
  cachePolicy_ = policy;
  markChanged(kCachePolicyChanged);
}
void NWHTTPRequestSerializer::setHTTPShouldHandleCookies(bool handle) {
  HTTPShouldHandleCookies_ = handle;
  markChanged(kHTTPShouldHandleCookiesChanged);
}
void NWHTTPRequestSerializer::setHTTPShouldUsePipelining(bool use) {
  HTTPShouldUsePipelining_ = use;
  markChanged(kHTTPShouldUsePipeliningChanged);
}
void NWHTTPRequestSerializer::setNetworkServiceType(NSURLRequestNetworkServiceType type) {
  networkServiceType_ = type;
  markChanged(kNetworkServiceTypeChanged);
}
void NWHTTPRequestSerializer::setTimeoutInterval(NSTimeInterval interval) {
  timeoutInterval_ = interval;
  markChanged(kTimeoutIntervalChanged);
}

std::shared_ptr<NSDictionary> NWHTTPRequestSerializer::HTTPRequestHeaders() const {
  return NSDictionary::dictionaryWithDictionary(mutableHTTPRequestHeaders_);
}

void NWHTTPRequestSerializer::setValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field) {
  if (!field) return;
  if (value) {
    mutableHTTPRequestHeaders_->setObject(value, field);
  } else {
    mutableHTTPRequestHeaders_->removeObjectForKey(field);
  }
}

std::shared_ptr<NSString> NWHTTPRequestSerializer::valueForHTTPHeaderField(const std::shared_ptr<NSString>& field) const {
  return field ? zvt::as<NSString>(mutableHTTPRequestHeaders_->objectForKey(field)) : nullptr;
}

void NWHTTPRequestSerializer::setAuthorizationHeaderFieldWithUsername(const std::shared_ptr<NSString>& username,
                                                                      const std::shared_ptr<NSString>& password) {
  auto pair = NSString::stringWithFormat("%@:%@", username, password);
  setValue(NSString::stringWithFormat("Basic %s", base64(pair->utf8())), "Authorization"_ns);
}

void NWHTTPRequestSerializer::setAuthorizationHeaderFieldWithToken(const std::shared_ptr<NSString>& token) {
  setValue(NSString::stringWithFormat("Token token=\"%@\"", token), "Authorization"_ns);
}

void NWHTTPRequestSerializer::clearAuthorizationHeader() { mutableHTTPRequestHeaders_->removeObjectForKey("Authorization"_ns); }

void NWHTTPRequestSerializer::setQueryStringSerializationWithStyle(NWHTTPRequestQueryStringSerializationStyle style) {
  queryStringSerializationStyle_ = style;
  queryStringSerialization_ = nullptr;
}

void NWHTTPRequestSerializer::setQueryStringSerializationWithBlock(QueryStringSerializationBlock block) {
  queryStringSerialization_ = std::move(block);
}

std::shared_ptr<NSMutableURLRequest> NWHTTPRequestSerializer::requestWithMethod(const std::shared_ptr<NSString>& method,
                                                                                const std::shared_ptr<NSString>& URLString,
                                                                                const id& parameters,
                                                                                std::shared_ptr<NSError>* error) {
  if (!method || !URLString) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: method && URLString");
  auto url = lastURL_.get(URLString->view(), [&] { return NSURL::URLWithString(URLString); });
  auto request = NSMutableURLRequest::requestWithURL(url);
  request->setHTTPMethod(method);
  // The settings in their fixed order, each only once it has been assigned.
  if (changedSettings_ & kAllowsCellularAccessChanged) request->setAllowsCellularAccess(allowsCellularAccess_);
  if (changedSettings_ & kCachePolicyChanged) request->setCachePolicy(cachePolicy_);
  if (changedSettings_ & kHTTPShouldHandleCookiesChanged) request->setHTTPShouldHandleCookies(HTTPShouldHandleCookies_);
  if (changedSettings_ & kHTTPShouldUsePipeliningChanged) request->setHTTPShouldUsePipelining(HTTPShouldUsePipelining_);
  if (changedSettings_ & kNetworkServiceTypeChanged) request->setNetworkServiceType(networkServiceType_);
  if (changedSettings_ & kTimeoutIntervalChanged) request->setTimeoutInterval(timeoutInterval_);
  const std::type_info& type = typeid(*this);
  bool ownSerializer = type == typeid(NWHTTPRequestSerializer) || type == typeid(NWJSONRequestSerializer) ||
                       type == typeid(NWPropertyListRequestSerializer);
  // Nobody else sees this request before our own serializer has added the headers (a query
  // block would see it, so it keeps getting the bare one): the headers go straight into it.
  FreshRequestScope fresh(ownSerializer && !queryStringSerialization_ ? request.get() : nullptr);
  auto serialized = requestBySerializingRequest(request, parameters, error);
  if (!serialized) return nullptr;
  // Our own serializers hand back a mutable request made for this call alone: no copy of it is
  // needed. A subclass may return one it keeps, which the caller must not share.
  if (ownSerializer) {
    if (typeid(*serialized) == typeid(NSMutableURLRequest)) {
      return std::static_pointer_cast<NSMutableURLRequest>(std::const_pointer_cast<NSURLRequest>(serialized));
    }
  }
  return serialized->mutableCopy();
}

std::shared_ptr<NSMutableURLRequest> NWHTTPRequestSerializer::requestWithDefaultHeaders(
    const std::shared_ptr<NSURLRequest>& request) const {
  if (request.get() == freshRequest) {
    // requestWithMethod's own request, still without a header: no copy, and every default
    // applies (set one after another, as on a copy).
    freshRequest = nullptr;
    auto mutableRequest = std::static_pointer_cast<NSMutableURLRequest>(std::const_pointer_cast<NSURLRequest>(request));
    const NSObject* fields[8];
    const NSObject* values[8];
    NSUInteger position = 0;
    while (NSUInteger n = mutableHTTPRequestHeaders_->getUnretainedObjectsAndKeys(values, fields, 8, position)) {
      for (NSUInteger i = 0; i < n; ++i) {
        auto name = dynamic_cast<const NSString*>(fields[i]);
        if (!name) continue;
        auto value = dynamic_cast<const NSString*>(values[i]);
        if (value) {
          mutableRequest->setValue(value->view(), name->view());
        } else {
          mutableRequest->setValue(nullptr, std::static_pointer_cast<NSString>(std::const_pointer_cast<NSObject>(name->shared_from_this())));
        }
      }
    }
    return mutableRequest;
  }
  auto mutableRequest = request->mutableCopy();
  for (const id& field : *mutableHTTPRequestHeaders_) {
    auto name = zvt::as<NSString>(field);
    if (!name || request->valueForHTTPHeaderField(name)) continue;
    mutableRequest->setValue(zvt::as<NSString>(mutableHTTPRequestHeaders_->objectForKey(field)), name);
  }
  return mutableRequest;
}

void NWHTTPRequestSerializer::setHTTPMethodsEncodingParametersInURI(const std::shared_ptr<NSSet>& methods) {
  methodsInURI_ = methods;
  methodsFixed_ = methods && typeid(*methods) == typeid(NSSet);
  postInURI_ = methodsFixed_ && methods->containsObject("POST"_ns);
  getInURI_ = methodsFixed_ && methods->containsObject("GET"_ns);
}

bool NWHTTPRequestSerializer::methodEncodesParametersInURI(const std::shared_ptr<NSURLRequest>& request) const {
  if (!methodsInURI_) return false;
  // The usual methods, already in capitals, are strings made once.
  const std::string& method = request->method();
  if (method == "POST") return methodsFixed_ ? postInURI_ : methodsInURI_->containsObject("POST"_ns);
  if (method == "GET") return methodsFixed_ ? getInURI_ : methodsInURI_->containsObject("GET"_ns);
  return methodsInURI_->containsObject(NSString::stringWithUTF8String(upper(method)));
}

std::shared_ptr<NSURLRequest> NWHTTPRequestSerializer::requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                                   const id& parameters,
                                                                                   std::shared_ptr<NSError>* error) {
  if (!request) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: request");
  auto mutableRequest = requestWithDefaultHeaders(request);
  std::shared_ptr<NSString> query;
  if (parameters) {
    if (queryStringSerialization_) {
      std::shared_ptr<NSError> serializationError;
      query = queryStringSerialization_(request, parameters, &serializationError);
      if (serializationError) {
        zvt::setError(error, serializationError);
        return nullptr;
      }
    } else if (queryStringSerializationStyle_ == NWHTTPRequestQueryStringDefaultStyle) {
      query = zvt::queryStringFromParameters(parameters);
    }
  }
  if (methodEncodesParametersInURI(request)) {
    if (query && query->length() > 0 && mutableRequest->URL()) {
      auto url = mutableRequest->URL();
      auto text = url->absoluteString()->stringByAppendingFormat(url->query() ? "&%@" : "?%@", query);
      mutableRequest->setURL(NSURL::URLWithString(text));
    }
  } else {
    auto body = zvt::dataWithString(query ? query : NSString::string(), stringEncoding_);
    if (!body) {
      // A form body that cannot be written in the chosen encoding is refused rather than sent
      // empty.
      zvt::setError(error, encodingError("parameters"_ns));
      return nullptr;
    }
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
      mutableRequest->setValue("application/x-www-form-urlencoded", "Content-Type");
    }
    mutableRequest->setHTTPBody(body);
  }
  return mutableRequest;
}

std::shared_ptr<NSMutableURLRequest> NWHTTPRequestSerializer::multipartFormRequestWithMethod(
    const std::shared_ptr<NSString>& method, const std::shared_ptr<NSString>& URLString,
    const std::shared_ptr<NSDictionary>& parameters, const std::function<void(NWMultipartFormData&)>& block,
    std::shared_ptr<NSError>* error) {
  if (!method || method->isEqualToString("GET") || method->isEqualToString("HEAD")) {
    zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: method && ![method isEqualToString:@\"GET\"] && ![method isEqualToString:@\"HEAD\"]");
  }
  auto request = requestWithMethod(method, URLString, nullptr, error);
  if (!request) return nullptr;
  auto formData = NWStreamingMultipartFormData::initWithURLRequest(request, NSUTF8StringEncoding);
  if (parameters) {
    for (const auto& pair : zvt::queryStringPairsFromKeyAndValue(nullptr, parameters)) {
      std::shared_ptr<NSData> data;
      if (auto bytes = zvt::as<NSData>(pair->value)) {
        data = bytes;
      } else if (zvt::isKind<NSNull>(pair->value)) {
        data = NSData::data();
      } else {
        data = zvt::dataWithString(descriptionOf(pair->value), stringEncoding_);
        if (!data) {
          // A value that cannot be written is an error, not a part silently left out.
          zvt::setError(error, encodingError(descriptionOf(pair->field)));
          return nullptr;
        }
      }
      formData->appendPartWithFormData(data, descriptionOf(pair->field));
    }
  }
  if (block) block(*formData);
  return formData->requestByFinalizingMultipartFormData();
}

std::shared_ptr<NSMutableURLRequest> NWHTTPRequestSerializer::requestWithMultipartFormRequest(
    const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSURL>& fileURL,
    std::function<void(const std::shared_ptr<NSError>&)> handler) {
  if (!request || !request->HTTPBodyStream()) {
    zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: request.HTTPBodyStream");
  }
  if (!fileURL || !fileURL->isFileURL()) {
    zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: [fileURL isFileURL]");
  }
  std::shared_ptr<NSInputStream> inputStream = request->HTTPBodyStream();
  std::shared_ptr<NSOutputStream> outputStream = NSOutputStream::outputStreamWithURL(fileURL, false);
  dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [inputStream, outputStream, handler] {
    inputStream->open();
    outputStream->open();
    std::shared_ptr<NSError> error;
    // A stream that could not be opened (a folder that does not exist, a body file that has
    // gone) copies nothing: that is the copy's failure, not an empty success.
    if (inputStream->streamStatus() == NSStreamStatusError) {
      error = inputStream->streamError();
    } else if (outputStream->streamStatus() == NSStreamStatusError) {
      error = outputStream->streamError();
    }
    uint8_t buffer[1024];
    while (!error && inputStream->hasBytesAvailable() && outputStream->hasSpaceAvailable()) {
      NSInteger bytesRead = inputStream->read(buffer, sizeof buffer);
      if (bytesRead < 0 || inputStream->streamError()) {
        error = inputStream->streamError();
        break;
      }
      if (bytesRead == 0) break;
      // A write may take only part of what was read; the rest is written before reading on.
      NSInteger written = 0;
      while (written < bytesRead) {
        NSInteger n = outputStream->write(buffer + written, static_cast<NSUInteger>(bytesRead - written));
        if (n <= 0 || outputStream->streamError()) {
          error = outputStream->streamError();
          if (!error) error = shortWriteError();
          break;
        }
        written += n;
      }
    }
    outputStream->close();
    inputStream->close();
    if (handler) dispatch_async(dispatch_get_main_queue(), [handler, error] { handler(error); });
  });
  auto mutableRequest = request->mutableCopy();
  mutableRequest->setHTTPBodyStream(nullptr);
  return mutableRequest;
}

void NWHTTPRequestSerializer::copyBaseInto(NWHTTPRequestSerializer& other) const {
  other.mutableHTTPRequestHeaders_ = NSMutableDictionary::dictionaryWithDictionary(mutableHTTPRequestHeaders_);
  other.queryStringSerializationStyle_ = queryStringSerializationStyle_;
  other.queryStringSerialization_ = queryStringSerialization_;
}

id NWHTTPRequestSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWHTTPRequestSerializer>();
  copyBaseInto(*copy);
  return copy;
}

// --- NWJSONRequestSerializer

std::shared_ptr<NWJSONRequestSerializer> NWJSONRequestSerializer::serializerWithWritingOptions(NSUInteger options) {
  auto serializer = std::make_shared<NWJSONRequestSerializer>();
  serializer->writingOptions = options;
  return serializer;
}

std::shared_ptr<NSURLRequest> NWJSONRequestSerializer::requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                                   const id& parameters,
                                                                                   std::shared_ptr<NSError>* error) {
  if (!request) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: request");
  if (methodEncodesParametersInURI(request)) {
    return NWHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
  }
  auto mutableRequest = requestWithDefaultHeaders(request);
  if (parameters) {
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) mutableRequest->setValue("application/json", "Content-Type");
    std::shared_ptr<NSError> writeError;
    std::shared_ptr<NSData> body;
    try {
      body = NSJSONSerialization::dataWithJSONObject(parameters, writingOptions, &writeError);
    } catch (const NSException& exception) {
      writeError = writerError(exception.reason() ? exception.reason()->utf8() : std::string());
    }
    if (!body) {
      // No request goes out with a body that could not be written.
      zvt::setError(error, writeError ? writeError : writerError("Invalid type in JSON write"));
      return nullptr;
    }
    mutableRequest->setHTTPBody(body);
  }
  return mutableRequest;
}

id NWJSONRequestSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWJSONRequestSerializer>();
  copyBaseInto(*copy);
  copy->writingOptions = writingOptions;
  return copy;
}

// --- NWPropertyListRequestSerializer

std::shared_ptr<NWPropertyListRequestSerializer> NWPropertyListRequestSerializer::serializerWithFormat(
    NSPropertyListFormat format, NSPropertyListWriteOptions writeOptions) {
  auto serializer = std::make_shared<NWPropertyListRequestSerializer>();
  serializer->format = format;
  serializer->writeOptions = writeOptions;
  return serializer;
}

std::shared_ptr<NSURLRequest> NWPropertyListRequestSerializer::requestBySerializingRequest(
    const std::shared_ptr<NSURLRequest>& request, const id& parameters, std::shared_ptr<NSError>* error) {
  if (!request) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: request");
  if (methodEncodesParametersInURI(request)) {
    return NWHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
  }
  auto mutableRequest = requestWithDefaultHeaders(request);
  if (parameters) {
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
      mutableRequest->setValue("application/x-plist", "Content-Type");
    }
    std::shared_ptr<NSError> writeError;
    std::shared_ptr<NSData> body;
    try {
      body = NSPropertyListSerialization::dataWithPropertyList(parameters, format, writeOptions, &writeError);
    } catch (const NSException& exception) {
      writeError = writerError(exception.reason() ? exception.reason()->utf8() : std::string());
    }
    if (!body) {
      zvt::setError(error, writeError ? writeError : writerError("Property list invalid for format"));
      return nullptr;
    }
    mutableRequest->setHTTPBody(body);
  }
  return mutableRequest;
}

id NWPropertyListRequestSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWPropertyListRequestSerializer>();
  copyBaseInto(*copy);
  copy->format = format;
  copy->writeOptions = writeOptions;
  return copy;
}
