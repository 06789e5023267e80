// Request serializers: from a method, a URL string and parameters to a mutable URL request with
// the default headers, the settings the caller has assigned, and the parameters as a query
// string (in the URL or a form body), a JSON body, a property-list body or a multipart body.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "foundation/http/NWMultipartFormData.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSSet.h"
#include "platform/network/NSURLRequest.h"

class NSArray;

// One field=value pair of a query string.
class NWQueryStringPair : public NSObject {
 public:
  static std::shared_ptr<NWQueryStringPair> initWithField(const id& field, const id& value);
  id field;
  id value;
  // "field=value" percent-escaped; the bare field when the value is nil or NSNull.
  std::shared_ptr<NSString> URLEncodedStringValue() const;
};

namespace zvt {
// The query-string pairs of (key, value), depth first (dictionaries by sorted key, arrays as
// key[], sets by sorted element).
std::vector<std::shared_ptr<NWQueryStringPair>> queryStringPairsFromKeyAndValue(const id& key, const id& value);
// The default query string of a parameters object: its pairs joined with "&".
std::shared_ptr<NSString> queryStringFromParameters(const id& parameters);
// Percent-escapes everything but ASCII letters, digits and "-._~/?".
std::shared_ptr<NSString> percentEscapedQueryString(const std::shared_ptr<NSString>& string);
}  // namespace zvt

using NWHTTPRequestQueryStringSerializationStyle = NSUInteger;
inline constexpr NWHTTPRequestQueryStringSerializationStyle NWHTTPRequestQueryStringDefaultStyle = 0;

// What a manager asks of its request serializer.
class NWURLRequestSerialization {
 public:
  virtual ~NWURLRequestSerialization() = default;
  // The request with headers and parameters applied (a copy), or nil with an error.
  virtual std::shared_ptr<NSURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                    const id& parameters,
                                                                    std::shared_ptr<NSError>* error) = 0;
};

namespace zvt {

// The last result of a function of a text alone (a URL string parsed or resolved against a fixed
// base), kept for the next call with the same text: a client sends request after request to the
// same path. The result is immutable, so handing the same object out again is safe.
template <class T>
class LastTextResult {
 public:
  template <class Make>
  std::shared_ptr<T> get(std::string_view text, Make&& make) {
    {
      std::lock_guard lock(mutex_);
      if (value_ && text == text_) return value_;
    }
    std::shared_ptr<T> value = make();
    if (value) {
      std::lock_guard lock(mutex_);
      text_.assign(text);
      value_ = value;
    }
    return value;
  }

 private:
  std::mutex mutex_;
  std::string text_;
  std::shared_ptr<T> value_;
};

}  // namespace zvt

class NWHTTPRequestSerializer : public NSObject, public NWURLRequestSerialization {
 public:
  using QueryStringSerializationBlock =
      std::function<std::shared_ptr<NSString>(const std::shared_ptr<NSURLRequest>&, const id&, std::shared_ptr<NSError>*)>;

  NWHTTPRequestSerializer();
  static std::shared_ptr<NWHTTPRequestSerializer> serializer();

  NSStringEncoding stringEncoding() const { return stringEncoding_; }
  void setStringEncoding(NSStringEncoding encoding) { stringEncoding_ = encoding; }

  // The six request settings: copied into every request once assigned.
  bool allowsCellularAccess() const { return allowsCellularAccess_; }
  void setAllowsCellularAccess(bool allows);
  NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
  void setCachePolicy(NSURLRequestCachePolicy policy);
  bool HTTPShouldHandleCookies() const { return HTTPShouldHandleCookies_; }
  void setHTTPShouldHandleCookies(bool handle);
  bool HTTPShouldUsePipelining() const { return HTTPShouldUsePipelining_; }
  void setHTTPShouldUsePipelining(bool use);
  NSURLRequestNetworkServiceType networkServiceType() const { return networkServiceType_; }
  void setNetworkServiceType(NSURLRequestNetworkServiceType type);
  NSTimeInterval timeoutInterval() const { return timeoutInterval_; }
  void setTimeoutInterval(NSTimeInterval interval);

  // An immutable copy of the default headers.
  std::shared_ptr<NSDictionary> HTTPRequestHeaders() const;
  void setValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field);
  std::shared_ptr<NSString> valueForHTTPHeaderField(const std::shared_ptr<NSString>& field) const;
  void setAuthorizationHeaderFieldWithUsername(const std::shared_ptr<NSString>& username,
                                               const std::shared_ptr<NSString>& password);
  void setAuthorizationHeaderFieldWithToken(const std::shared_ptr<NSString>& token);
  void clearAuthorizationHeader();

  std::shared_ptr<NSSet> HTTPMethodsEncodingParametersInURI() const { return methodsInURI_; }
  void setHTTPMethodsEncodingParametersInURI(const std::shared_ptr<NSSet>& methods);

  void setQueryStringSerializationWithStyle(NWHTTPRequestQueryStringSerializationStyle style);
  void setQueryStringSerializationWithBlock(QueryStringSerializationBlock block);

  std::shared_ptr<NSMutableURLRequest> requestWithMethod(const std::shared_ptr<NSString>& method,
                                                         const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                         std::shared_ptr<NSError>* error = nullptr);

  std::shared_ptr<NSMutableURLRequest> multipartFormRequestWithMethod(
      const std::shared_ptr<NSString>& method, const std::shared_ptr<NSString>& URLString,
      const std::shared_ptr<NSDictionary>& parameters, const std::function<void(NWMultipartFormData&)>& block,
      std::shared_ptr<NSError>* error = nullptr);

  // Copies the body of a multipart request into a file on a global queue; the handler gets the
  // error (nil on success) on the main queue. Returns the request without its body stream.
  std::shared_ptr<NSMutableURLRequest> requestWithMultipartFormRequest(
      const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSURL>& fileURL,
      std::function<void(const std::shared_ptr<NSError>&)> handler);

  std::shared_ptr<NSURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                            const id& parameters,
                                                            std::shared_ptr<NSError>* error) override;

  id copyWithZone() const override;

 protected:
  // Default headers that the request lacks, applied to a copy of it.
  std::shared_ptr<NSMutableURLRequest> requestWithDefaultHeaders(const std::shared_ptr<NSURLRequest>& request) const;
  bool methodEncodesParametersInURI(const std::shared_ptr<NSURLRequest>& request) const;
  // For copies: the headers, the style and the block.
  void copyBaseInto(NWHTTPRequestSerializer& other) const;

 private:
  // The settings assigned so far, one bit each.
  enum : unsigned {
    kAllowsCellularAccessChanged = 1u << 0,
    kCachePolicyChanged = 1u << 1,
    kHTTPShouldHandleCookiesChanged = 1u << 2,
    kHTTPShouldUsePipeliningChanged = 1u << 3,
    kNetworkServiceTypeChanged = 1u << 4,
    kTimeoutIntervalChanged = 1u << 5,
  };
  void markChanged(unsigned setting) { changedSettings_ |= setting; }

  NSStringEncoding stringEncoding_ = NSUTF8StringEncoding;
  bool allowsCellularAccess_ = true;
  NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
  bool HTTPShouldHandleCookies_ = true;
  bool HTTPShouldUsePipelining_ = false;
  NSURLRequestNetworkServiceType networkServiceType_ = 0;
  NSTimeInterval timeoutInterval_ = NSURLRequest::kDefaultTimeoutInterval;
  std::shared_ptr<NSMutableDictionary> mutableHTTPRequestHeaders_;
  unsigned changedSettings_ = 0;
  std::shared_ptr<NSSet> methodsInURI_;
  // For an immutable set: whether it holds "POST" and "GET", looked up once (a mutable one is
  // asked each time).
  bool methodsFixed_ = false;
  bool postInURI_ = false;
  bool getInURI_ = false;
  NWHTTPRequestQueryStringSerializationStyle queryStringSerializationStyle_ = NWHTTPRequestQueryStringDefaultStyle;
  QueryStringSerializationBlock queryStringSerialization_;
  zvt::LastTextResult<NSURL> lastURL_;
};

class NWJSONRequestSerializer : public NWHTTPRequestSerializer {
 public:
  static std::shared_ptr<NWJSONRequestSerializer> serializer() { return serializerWithWritingOptions(0); }
  static std::shared_ptr<NWJSONRequestSerializer> serializerWithWritingOptions(NSUInteger writingOptions);
  NSUInteger writingOptions = 0;

  std::shared_ptr<NSURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                            const id& parameters,
                                                            std::shared_ptr<NSError>* error) override;
  id copyWithZone() const override;
};

class NWPropertyListRequestSerializer : public NWHTTPRequestSerializer {
 public:
  static std::shared_ptr<NWPropertyListRequestSerializer> serializer() {
    return serializerWithFormat(NSPropertyListXMLFormat_v1_0, 0);
  }
  static std::shared_ptr<NWPropertyListRequestSerializer> serializerWithFormat(NSPropertyListFormat format,
                                                                               NSPropertyListWriteOptions writeOptions);
  NSPropertyListFormat format = NSPropertyListXMLFormat_v1_0;
  NSPropertyListWriteOptions writeOptions = 0;

  std::shared_ptr<NSURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>& request,
                                                            const id& parameters,
                                                            std::shared_ptr<NSError>* error) override;
  id copyWithZone() const override;
};

namespace zvt {
// The Accept-Language value of a list of language tags (at most six, q from 1 down to 0.5).
std::shared_ptr<NSString> acceptLanguageHeaderValue(const std::shared_ptr<NSArray>& languages);
// The User-Agent value from the main bundle and the device facts.
std::shared_ptr<NSString> defaultUserAgent();
}  // namespace zvt
