// Response serializers: judge a reply by its status code and content type, and turn its body
// into an object (the raw data, JSON, a property list, an image) or an error. They keep no state
// per reply and may be used for several replies at once.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSIndexSet.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSSet.h"
#include "platform/network/NSURLRequest.h"

class NSArray;

inline const zvt::StaticString NWURLResponseSerializationErrorDomain{"com.netway.error.serialization.response"};
inline const zvt::StaticString NWNetworkingOperationFailingURLResponseErrorKey{"com.netway.serialization.response.error.response"};
inline const zvt::StaticString NWNetworkingOperationFailingURLResponseDataErrorKey{"com.netway.serialization.response.error.data"};

namespace zvt {
// Chains `error` onto `underlying`: `underlying` when error is nil; `error` when underlying is nil
// or error already has an underlying error; else error with NSUnderlyingErrorKey = underlying.
std::shared_ptr<NSError> errorWithUnderlyingError(const std::shared_ptr<NSError>& error,
                                                  const std::shared_ptr<NSError>& underlying);
// Does the error, or one in its chain of underlying errors, have this domain and code?
bool errorOrUnderlyingErrorHasCodeInDomain(const std::shared_ptr<NSError>& error, NSInteger code,
                                           const std::shared_ptr<NSString>& domain);
}  // namespace zvt

class NWURLResponseSerialization {
 public:
  virtual ~NWURLResponseSerialization() = default;
  // The object of the reply, or nil; an error when the reply was refused or did not parse (an
  // object and an error together when the status was refused but the body parsed).
  virtual id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                                       std::shared_ptr<NSError>* error) = 0;
};

class NWHTTPResponseSerializer : public NSObject, public NWURLResponseSerialization {
 public:
  NWHTTPResponseSerializer();
  static std::shared_ptr<NWHTTPResponseSerializer> serializer() { return std::make_shared<NWHTTPResponseSerializer>(); }

  NSStringEncoding stringEncoding() const;
  void setStringEncoding(NSStringEncoding encoding);
  // nil accepts every status.
  std::shared_ptr<NSIndexSet> acceptableStatusCodes() const;
  void setAcceptableStatusCodes(const std::shared_ptr<NSIndexSet>& codes);
  // nil accepts every content type.
  std::shared_ptr<NSSet> acceptableContentTypes() const;
  void setAcceptableContentTypes(const std::shared_ptr<NSSet>& types);

  // YES when the reply is acceptable; a refusal always comes with an error (when asked).
  virtual bool validateResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                                std::shared_ptr<NSError>* error);
  // The body data unchanged (validated, the verdict reported through the error).
  id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                               std::shared_ptr<NSError>* error) override;

  id copyWithZone() const override;

 protected:
  // The parse gate of the subclasses: false when the body must not be parsed.
  bool passesParseGate(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                       std::shared_ptr<NSError>* error);

 private:
  // The error of a refused reply (made only then).
  [[gnu::cold, gnu::noinline]] static std::shared_ptr<NSError> refusal(const std::shared_ptr<NSURLResponse>& response,
                                                                      const std::shared_ptr<NSData>& data, bool typeRefused,
                                                                      bool statusRefused);

  mutable std::mutex mutex_;
  NSStringEncoding stringEncoding_ = NSUTF8StringEncoding;
  std::shared_ptr<NSIndexSet> acceptableStatusCodes_;
  std::shared_ptr<NSSet> acceptableContentTypes_;
  // The content type last found in acceptableContentTypes_ (replies of one server repeat it):
  // the same text again needs no lookup. Emptied with each new set.
  std::string lastAcceptedType_;
};

class NWJSONResponseSerializer : public NWHTTPResponseSerializer {
 public:
  NWJSONResponseSerializer();
  static std::shared_ptr<NWJSONResponseSerializer> serializer() { return serializerWithReadingOptions(0); }
  static std::shared_ptr<NWJSONResponseSerializer> serializerWithReadingOptions(NSUInteger readingOptions);

  NSUInteger readingOptions() const;
  void setReadingOptions(NSUInteger options);
  bool removesKeysWithNullValues() const;
  void setRemovesKeysWithNullValues(bool removes);

  id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                               std::shared_ptr<NSError>* error) override;
  id copyWithZone() const override;

 private:
  mutable std::mutex optionsMutex_;
  NSUInteger readingOptions_ = 0;
  bool removesKeysWithNullValues_ = false;
};

class NWPropertyListResponseSerializer : public NWHTTPResponseSerializer {
 public:
  NWPropertyListResponseSerializer();
  static std::shared_ptr<NWPropertyListResponseSerializer> serializer() {
    return serializerWithFormat(NSPropertyListXMLFormat_v1_0, 0);
  }
  static std::shared_ptr<NWPropertyListResponseSerializer> serializerWithFormat(NSPropertyListFormat format,
                                                                                NSPropertyListReadOptions readOptions);
  NSPropertyListFormat format = NSPropertyListXMLFormat_v1_0;
  NSPropertyListReadOptions readOptions = 0;

  id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                               std::shared_ptr<NSError>* error) override;
  id copyWithZone() const override;
};

class NWCompoundResponseSerializer : public NWHTTPResponseSerializer {
 public:
  static std::shared_ptr<NWCompoundResponseSerializer> compoundSerializerWithResponseSerializers(
      const std::shared_ptr<NSArray>& responseSerializers);
  std::shared_ptr<NSArray> responseSerializers() const { return responseSerializers_; }

  id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                               std::shared_ptr<NSError>* error) override;
  id copyWithZone() const override;

 private:
  std::shared_ptr<NSArray> responseSerializers_;
};

namespace zvt {
// Null removal of the JSON serializer: dictionaries lose their NSNull values at every level;
// NSNull elements of arrays stay.
id JSONObjectByRemovingKeysWithNullValues(const id& object, NSUInteger readingOptions);
}  // namespace zvt
