// URL requests and responses.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/network/NSURL.h"

class NSInputStream;

using NSURLRequestCachePolicy = NSUInteger;
enum : NSURLRequestCachePolicy {
    NSURLRequestUseProtocolCachePolicy = 0,
    NSURLRequestReloadIgnoringLocalCacheData = 1,
    NSURLRequestReturnCacheDataElseLoad = 2,
    NSURLRequestReturnCacheDataDontLoad = 3,
    NSURLRequestReloadIgnoringLocalAndRemoteCacheData = 4,
    NSURLRequestReloadRevalidatingCacheData = 5,
};

using NSURLRequestNetworkServiceType = NSUInteger;

namespace zvt {
// Header fields in the order first set; names compare case-insensitively, the first spelling stays.
class HeaderFields {
public:
    // The value, or null; valid until the fields change.
    const std::string* find(std::string_view name) const;
    void set(std::string_view name, std::optional<std::string> value);
    void set(std::string_view name, std::string_view value);
    void add(std::string_view name, std::string_view value);  // joined with ","
    const std::vector<std::pair<std::string, std::string>>& all() const { return fields_; }
    std::shared_ptr<NSDictionary> dictionary() const;
    static HeaderFields fromDictionary(const std::shared_ptr<NSDictionary>& dictionary);
    // Header lines as received, taken over; a repeated field's values are joined with ", ".
    // Where Content-Type and Content-Length ended up (npos for none) is noted on the way.
    static HeaderFields fromLines(std::vector<std::pair<std::string, std::string>>&& lines, size_t& contentType, size_t& contentLength);
    bool operator==(const HeaderFields& other) const = default;

private:
    static constexpr size_t kUsualFieldCount = 8;
    // Sets a field's value, or adds the field (the two public set forms).
    template <class Value>
    void put(std::string_view name, Value&& value);
    std::vector<std::pair<std::string, std::string>> fields_;
};
}  // namespace zvt

class NSURLRequest : public NSObject {
public:
    static constexpr NSTimeInterval kDefaultTimeoutInterval = 60.0;

    NSURLRequest() = default;
    static std::shared_ptr<NSURLRequest> requestWithURL(const std::shared_ptr<NSURL>& url);
    static std::shared_ptr<NSURLRequest> requestWithURL(const std::shared_ptr<NSURL>& url, NSURLRequestCachePolicy cachePolicy,
                                                        NSTimeInterval timeoutInterval);

    const std::shared_ptr<NSURL>& URL() const { return url_; }
    NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    // Seconds without any traffic after which the load fails with a time-out.
    NSTimeInterval timeoutInterval() const { return timeoutInterval_; }
    const std::shared_ptr<NSURL>& mainDocumentURL() const { return mainDocumentURL_; }
    NSURLRequestNetworkServiceType networkServiceType() const { return networkServiceType_; }
    bool allowsCellularAccess() const { return allowsCellularAccess_; }
    std::shared_ptr<NSString> HTTPMethod() const { return NSString::stringWithUTF8String(method_); }
    const std::string& method() const { return method_; }
    std::shared_ptr<NSDictionary> allHTTPHeaderFields() const;
    // Case-insensitive.
    std::shared_ptr<NSString> valueForHTTPHeaderField(const std::shared_ptr<NSString>& field) const;
    std::shared_ptr<NSString> valueForHTTPHeaderField(std::string_view field) const;
    const zvt::HeaderFields& headerFields() const { return headers_; }
    const std::shared_ptr<NSData>& HTTPBody() const { return body_; }
    const std::shared_ptr<NSInputStream>& HTTPBodyStream() const { return bodyStream_; }
    bool HTTPShouldHandleCookies() const { return shouldHandleCookies_; }
    bool HTTPShouldUsePipelining() const { return shouldUsePipelining_; }

    std::shared_ptr<NSString> description() const override;
    bool isEqual(const id& other) const override;
    NSUInteger hash() const override;
    id copyWithZone() const override;
    id mutableCopyWithZone() const override;
    std::shared_ptr<NSURLRequest> copy() const { return std::static_pointer_cast<NSURLRequest>(copyWithZone()); }
    std::shared_ptr<class NSMutableURLRequest> mutableCopy() const;

protected:
    std::shared_ptr<NSURL> url_;
    NSURLRequestCachePolicy cachePolicy_ = NSURLRequestUseProtocolCachePolicy;
    NSTimeInterval timeoutInterval_ = kDefaultTimeoutInterval;
    std::shared_ptr<NSURL> mainDocumentURL_;
    NSURLRequestNetworkServiceType networkServiceType_ = 0;
    bool allowsCellularAccess_ = true;
    std::string method_ = "GET";
    zvt::HeaderFields headers_;
    std::shared_ptr<NSData> body_;
    std::shared_ptr<NSInputStream> bodyStream_;
    bool shouldHandleCookies_ = true;
    bool shouldUsePipelining_ = false;
};

class NSMutableURLRequest : public NSURLRequest {
public:
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(const std::shared_ptr<NSURL>& url);
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(const std::shared_ptr<NSURL>& url, NSURLRequestCachePolicy cachePolicy,
                                                               NSTimeInterval timeoutInterval);

    void setURL(const std::shared_ptr<NSURL>& url) { url_ = url; }
    void setCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    void setTimeoutInterval(NSTimeInterval interval) { timeoutInterval_ = interval; }
    void setMainDocumentURL(const std::shared_ptr<NSURL>& url) { mainDocumentURL_ = url; }
    void setNetworkServiceType(NSURLRequestNetworkServiceType type) { networkServiceType_ = type; }
    void setAllowsCellularAccess(bool allows) { allowsCellularAccess_ = allows; }
    // nil or "" keeps "GET".
    void setHTTPMethod(const std::shared_ptr<NSString>& method);
    void setHTTPMethod(std::string_view method);
    // Replaces every field.
    void setAllHTTPHeaderFields(const std::shared_ptr<NSDictionary>& fields);
    // setValue:forHTTPHeaderField: (nil removes the field).
    void setValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field);
    void setValue(std::string_view value, std::string_view field);
    // addValue:forHTTPHeaderField: appends to an existing value with ",".
    void addValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field);
    // A body replaces a body stream and the other way round.
    void setHTTPBody(const std::shared_ptr<NSData>& body);
    void setHTTPBodyStream(const std::shared_ptr<NSInputStream>& stream);
    void setHTTPShouldHandleCookies(bool handle) { shouldHandleCookies_ = handle; }
    void setHTTPShouldUsePipelining(bool use) { shouldUsePipelining_ = use; }
};

using NSURLCacheStoragePolicy = NSUInteger;
enum : NSURLCacheStoragePolicy {
    NSURLCacheStorageAllowed = 0,
    NSURLCacheStorageAllowedInMemoryOnly = 1,
    NSURLCacheStorageNotAllowed = 2,
};

inline constexpr int64_t NSURLResponseUnknownLength = -1;

class NSURLResponse : public NSObject {
public:
    NSURLResponse() = default;
    static std::shared_ptr<NSURLResponse> initWithURL(const std::shared_ptr<NSURL>& url, const std::shared_ptr<NSString>& MIMEType,
                                                      NSInteger expectedContentLength, const std::shared_ptr<NSString>& textEncodingName);

    const std::shared_ptr<NSURL>& URL() const { return url_; }
    const std::shared_ptr<NSString>& MIMEType() const { return mimeType_; }
    // NSURLResponseUnknownLength (-1) when the length is not known.
    int64_t expectedContentLength() const { return expectedContentLength_; }
    const std::shared_ptr<NSString>& textEncodingName() const { return textEncodingName_; }
    std::shared_ptr<NSString> suggestedFilename() const;

    id copyWithZone() const override { return std::const_pointer_cast<NSObject>(shared_from_this()); }

protected:
    std::shared_ptr<NSURL> url_;
    std::shared_ptr<NSString> mimeType_;
    int64_t expectedContentLength_ = NSURLResponseUnknownLength;
    std::shared_ptr<NSString> textEncodingName_;
};

class NSHTTPURLResponse : public NSURLResponse {
public:
    // initWithURL:statusCode:HTTPVersion:headerFields: (MIME type, encoding and length are read
    // from the fields).
    static std::shared_ptr<NSHTTPURLResponse> initWithURL(const std::shared_ptr<NSURL>& url, NSInteger statusCode,
                                                          const std::shared_ptr<NSString>& HTTPVersion,
                                                          const std::shared_ptr<NSDictionary>& headerFields);
    // The same from header lines as received; repeated fields are joined with ", ".
    static std::shared_ptr<NSHTTPURLResponse> withHeaderLines(const std::shared_ptr<NSURL>& url, NSInteger statusCode,
                                                              const std::string& HTTPVersion,
                                                              std::vector<std::pair<std::string, std::string>>&& lines);

    NSInteger statusCode() const { return statusCode_; }
    std::shared_ptr<NSDictionary> allHeaderFields() const { return headers_.dictionary(); }
    std::shared_ptr<NSString> valueForHTTPHeaderField(std::string_view field) const;
    const std::shared_ptr<NSString>& HTTPVersion() const { return version_; }
    // The system's short lower-case text for a status code ("not found" for 404).
    static std::shared_ptr<NSString> localizedStringForStatusCode(NSInteger statusCode);

    std::shared_ptr<NSString> description() const override;

private:
    // MIME type, encoding and length from the values of these fields (null for none).
    void readFields(const std::string* contentType, const std::string* contentLength);
    NSInteger statusCode_ = 0;
    std::shared_ptr<NSString> version_;
    zvt::HeaderFields headers_;
};

class NSCachedURLResponse : public NSObject {
public:
    static std::shared_ptr<NSCachedURLResponse> initWithResponse(const std::shared_ptr<NSURLResponse>& response,
                                                                 const std::shared_ptr<NSData>& data,
                                                                 const std::shared_ptr<NSDictionary>& userInfo = nullptr,
                                                                 NSURLCacheStoragePolicy storagePolicy = NSURLCacheStorageAllowed);
    const std::shared_ptr<NSURLResponse>& response() const { return response_; }
    const std::shared_ptr<NSData>& data() const { return data_; }
    const std::shared_ptr<NSDictionary>& userInfo() const { return userInfo_; }
    NSURLCacheStoragePolicy storagePolicy() const { return storagePolicy_; }

private:
    std::shared_ptr<NSURLResponse> response_;
    std::shared_ptr<NSData> data_;
    std::shared_ptr<NSDictionary> userInfo_;
    NSURLCacheStoragePolicy storagePolicy_ = NSURLCacheStorageAllowed;
};
