#include "platform/network/NSURLRequest.h"

#include <charconv>
#include <typeinfo>

namespace zvt {

const std::string* HeaderFields::find(std::string_view name) const {
    for (const auto& [k, v] : fields_) {
        if (asciiEqualsIgnoringCase(k, name)) return &v;
    }
    return nullptr;
}

HeaderFields HeaderFields::fromLines(std::vector<std::pair<std::string, std::string>>&& lines, size_t& contentType,
                                     size_t& contentLength) {
    HeaderFields fields;
    fields.fields_ = std::move(lines);
    auto& all = fields.fields_;
    contentType = contentLength = std::string::npos;
    // Fields stay where their name first came; a later line with the same name joins that one.
    size_t kept = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        size_t same = 0;
        while (same < kept && !asciiEqualsIgnoringCase(all[same].first, all[i].first)) ++same;
        if (same < kept) [[unlikely]] {
            all[same].second += ", ";
            all[same].second += all[i].second;
            continue;
        }
        if (asciiEqualsIgnoringCase(all[i].first, "Content-Type")) {
            contentType = kept;
        } else if (asciiEqualsIgnoringCase(all[i].first, "Content-Length")) {
            contentLength = kept;
        }
        if (kept != i) all[kept] = std::move(all[i]);
        ++kept;
    }
    all.resize(kept);
    return fields;
}

template <class Value>
void HeaderFields::put(std::string_view name, Value&& value) {
    for (auto& [k, v] : fields_) {
        if (asciiEqualsIgnoringCase(k, name)) {
            v = std::forward<Value>(value);
            return;
        }
    }
    // Requests get their few fields one after another: room for them at once, not by doubling.
    if (fields_.empty()) fields_.reserve(kUsualFieldCount);
    fields_.emplace_back(name, std::forward<Value>(value));
}

void HeaderFields::set(std::string_view name, std::optional<std::string> value) {
    if (value) {
        put(name, std::move(*value));
        return;
    }
    for (auto it = fields_.begin(); it != fields_.end(); ++it) {
        if (asciiEqualsIgnoringCase(it->first, name)) {
            fields_.erase(it);
            return;
        }
    }
}

void HeaderFields::set(std::string_view name, std::string_view value) { put(name, value); }

void HeaderFields::add(std::string_view name, std::string_view value) {
    for (auto& [k, v] : fields_) {
        if (asciiEqualsIgnoringCase(k, name)) {
            v += ",";
            v += value;
            return;
        }
    }
    if (fields_.empty()) fields_.reserve(kUsualFieldCount);
    fields_.emplace_back(std::string(name), std::string(value));
}

std::shared_ptr<NSDictionary> HeaderFields::dictionary() const {
    std::vector<std::pair<id, id>> pairs;
    pairs.reserve(fields_.size());
    for (const auto& [k, v] : fields_) pairs.emplace_back(NSString::stringWithUTF8String(k), NSString::stringWithUTF8String(v));
    return NSDictionary::dictionaryWithPairs(std::move(pairs));
}

HeaderFields HeaderFields::fromDictionary(const std::shared_ptr<NSDictionary>& dictionary) {
    HeaderFields fields;
    if (!dictionary) return fields;
    for (const auto& [key, value] : dictionary->allPairs()) {
        auto k = std::dynamic_pointer_cast<NSString>(key);
        if (!k || !value) continue;
        auto v = std::dynamic_pointer_cast<NSString>(value);
        fields.set(k->view(), std::string_view(v ? v->utf8() : value->description()->utf8()));
    }
    return fields;
}

}  // namespace zvt

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(const std::shared_ptr<NSURL>& url) {
    auto r = std::make_shared<NSURLRequest>();
    r->url_ = url;
    return r;
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(const std::shared_ptr<NSURL>& url, NSURLRequestCachePolicy cachePolicy,
                                                           NSTimeInterval timeoutInterval) {
    auto r = requestWithURL(url);
    r->cachePolicy_ = cachePolicy;
    r->timeoutInterval_ = timeoutInterval;
    return r;
}

std::shared_ptr<NSDictionary> NSURLRequest::allHTTPHeaderFields() const { return headers_.dictionary(); }

std::shared_ptr<NSString> NSURLRequest::valueForHTTPHeaderField(std::string_view field) const {
    const std::string* v = headers_.find(field);
    return v ? NSString::stringWithUTF8String(*v) : nullptr;
}

std::shared_ptr<NSString> NSURLRequest::valueForHTTPHeaderField(const std::shared_ptr<NSString>& field) const {
    return field ? valueForHTTPHeaderField(field->view()) : nullptr;
}

std::shared_ptr<NSString> NSURLRequest::description() const {
    return NSString::stringWithFormat("<%@: %p> { URL: %@ }", className(), static_cast<const void*>(this), url_);
}

bool NSURLRequest::isEqual(const id& other) const {
    auto r = std::dynamic_pointer_cast<NSURLRequest>(other);
    if (!r) return false;
    return zvt::objectsEqual(url_, r->url_) && method_ == r->method_ && headers_ == r->headers_ &&
           cachePolicy_ == r->cachePolicy_ && timeoutInterval_ == r->timeoutInterval_ &&
           zvt::objectsEqual(body_, r->body_) && bodyStream_ == r->bodyStream_ &&
           shouldHandleCookies_ == r->shouldHandleCookies_;
}

NSUInteger NSURLRequest::hash() const { return url_ ? url_->hash() : 0; }

id NSURLRequest::copyWithZone() const {
    // A plain request never changes: it is its own copy.
    if (typeid(*this) == typeid(NSURLRequest)) return std::const_pointer_cast<NSObject>(shared_from_this());
    // A mutable one is copied into a plain one.
    return std::make_shared<NSURLRequest>(*this);
}

id NSURLRequest::mutableCopyWithZone() const {
    auto r = std::make_shared<NSMutableURLRequest>();
    static_cast<NSURLRequest&>(*r) = *this;
    return r;
}

std::shared_ptr<NSMutableURLRequest> NSURLRequest::mutableCopy() const {
    return std::static_pointer_cast<NSMutableURLRequest>(mutableCopyWithZone());
}

std::shared_ptr<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(const std::shared_ptr<NSURL>& url) {
    auto r = std::make_shared<NSMutableURLRequest>();
    r->url_ = url;
    return r;
}

std::shared_ptr<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(const std::shared_ptr<NSURL>& url,
                                                                         NSURLRequestCachePolicy cachePolicy,
                                                                         NSTimeInterval timeoutInterval) {
    auto r = requestWithURL(url);
    r->cachePolicy_ = cachePolicy;
    r->timeoutInterval_ = timeoutInterval;
    return r;
}

void NSMutableURLRequest::setHTTPMethod(std::string_view method) { method_ = method.empty() ? "GET" : std::string(method); }
void NSMutableURLRequest::setHTTPMethod(const std::shared_ptr<NSString>& method) {
    setHTTPMethod(method ? method->view() : std::string_view());
}

void NSMutableURLRequest::setAllHTTPHeaderFields(const std::shared_ptr<NSDictionary>& fields) {
    headers_ = zvt::HeaderFields::fromDictionary(fields);
}

void NSMutableURLRequest::setValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field) {
    if (!field) return;
    headers_.set(field->view(), value ? std::optional<std::string>(value->utf8()) : std::nullopt);
}

void NSMutableURLRequest::setValue(std::string_view value, std::string_view field) { headers_.set(field, value); }

void NSMutableURLRequest::addValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field) {
    if (!field || !value) return;
    headers_.add(field->view(), value->view());
}

void NSMutableURLRequest::setHTTPBody(const std::shared_ptr<NSData>& body) {
    // Immutable data is its own copy.
    body_ = body && typeid(*body) != typeid(NSData) ? body->copy() : body;
    bodyStream_ = nullptr;
}

void NSMutableURLRequest::setHTTPBodyStream(const std::shared_ptr<NSInputStream>& stream) {
    bodyStream_ = stream;
    body_ = nullptr;
}

std::shared_ptr<NSURLResponse> NSURLResponse::initWithURL(const std::shared_ptr<NSURL>& url, const std::shared_ptr<NSString>& MIMEType,
                                                          NSInteger expectedContentLength,
                                                          const std::shared_ptr<NSString>& textEncodingName) {
    auto r = std::make_shared<NSURLResponse>();
    r->url_ = url;
    r->mimeType_ = MIMEType;
    r->expectedContentLength_ = expectedContentLength;
    r->textEncodingName_ = textEncodingName;
    return r;
}

std::shared_ptr<NSString> NSURLResponse::suggestedFilename() const {
    std::shared_ptr<NSString> last = url_ ? url_->lastPathComponent() : nullptr;
    if (last && last->length() > 0 && !last->isEqualToString("/")) return last;
    return NSString::stringWithUTF8String("Unknown");
}

std::shared_ptr<NSHTTPURLResponse> NSHTTPURLResponse::initWithURL(const std::shared_ptr<NSURL>& url, NSInteger statusCode,
                                                                  const std::shared_ptr<NSString>& HTTPVersion,
                                                                  const std::shared_ptr<NSDictionary>& headerFields) {
    auto r = std::make_shared<NSHTTPURLResponse>();
    r->url_ = url;
    r->statusCode_ = statusCode;
    r->version_ = HTTPVersion ? HTTPVersion : NSString::stringWithUTF8String("HTTP/1.1");
    r->headers_ = zvt::HeaderFields::fromDictionary(headerFields);
    r->readFields(r->headers_.find("Content-Type"), r->headers_.find("Content-Length"));
    return r;
}

std::shared_ptr<NSHTTPURLResponse> NSHTTPURLResponse::withHeaderLines(const std::shared_ptr<NSURL>& url, NSInteger statusCode,
                                                                      const std::string& HTTPVersion,
                                                                      std::vector<std::pair<std::string, std::string>>&& lines) {
    auto r = std::make_shared<NSHTTPURLResponse>();
    r->url_ = url;
    r->statusCode_ = statusCode;
    r->version_ = HTTPVersion == "HTTP/1.1" ? "HTTP/1.1"_ns : NSString::stringWithUTF8String(HTTPVersion);
    size_t type, length;
    r->headers_ = zvt::HeaderFields::fromLines(std::move(lines), type, length);
    const auto& fields = r->headers_.all();
    r->readFields(type < fields.size() ? &fields[type].second : nullptr, length < fields.size() ? &fields[length].second : nullptr);
    return r;
}

namespace {

// The MIME type and text encoding named by a Content-Type value. The same value comes back reply
// after reply, so each thread keeps the last one it read: its strings are shared, never remade.
struct ContentType {
    std::string text;
    std::shared_ptr<NSString> mimeType;
    std::shared_ptr<NSString> textEncodingName;
};

[[gnu::noinline]] void readContentType(std::string_view t, ContentType& out) {
    out.text.assign(t);
    out.mimeType.reset();
    out.textEncodingName.reset();
    size_t semi = t.find(';');
    std::string mime = zvt::asciiLowercase(std::string_view(t.substr(0, semi)));
    while (!mime.empty() && (mime.back() == ' ' || mime.back() == '\t')) mime.pop_back();
    while (!mime.empty() && (mime.front() == ' ')) mime.erase(0, 1);
    if (!mime.empty()) out.mimeType = NSString::stringWithUTF8String(mime);
    // charset=... among the parameters, quotes removed.
    while (semi != std::string_view::npos) {
        std::string_view rest = t.substr(semi + 1);
        size_t next = rest.find(';');
        std::string_view param = rest.substr(0, next);
        while (!param.empty() && param.front() == ' ') param.remove_prefix(1);
        if (param.size() > 8 && zvt::asciiEqualsIgnoringCase(param.substr(0, 8), "charset=")) {
            std::string_view value = param.substr(8);
            while (!value.empty() && (value.back() == ' ')) value.remove_suffix(1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
            if (!value.empty()) out.textEncodingName = NSString::stringWithUTF8String(zvt::asciiLowercase(value));
        }
        semi = next == std::string_view::npos ? std::string_view::npos : semi + 1 + next;
    }
}

}  // namespace

void NSHTTPURLResponse::readFields(const std::string* type, const std::string* length) {
    if (type) {
        thread_local ContentType last;
        if (*type != last.text) [[unlikely]] readContentType(*type, last);
        mimeType_ = last.mimeType;
        textEncodingName_ = last.textEncodingName;
    }
    expectedContentLength_ = NSURLResponseUnknownLength;
    if (length) {
        int64_t n = 0;
        auto [p, ec] = std::from_chars(length->data(), length->data() + length->size(), n);
        if (ec == std::errc() && p == length->data() + length->size() && n >= 0) expectedContentLength_ = n;
    }
}

std::shared_ptr<NSString> NSHTTPURLResponse::valueForHTTPHeaderField(std::string_view field) const {
    const std::string* v = headers_.find(field);
    return v ? NSString::stringWithUTF8String(*v) : nullptr;
}

std::shared_ptr<NSString> NSHTTPURLResponse::localizedStringForStatusCode(NSInteger statusCode) {
    const char* text = nullptr;
    switch (statusCode) {
        case 100: text = "continue"; break;
        case 101: text = "switching protocols"; break;
        case 200: text = "no error"; break;
        case 201: text = "created"; break;
        case 202: text = "accepted"; break;
        case 203: text = "non-authoritative information"; break;
        case 204: text = "no content"; break;
        case 205: text = "reset content"; break;
        case 206: text = "partial content"; break;
        case 300: text = "multiple choices"; break;
        case 301: text = "moved permanently"; break;
        case 302: text = "found"; break;
        case 303: text = "see other"; break;
        case 304: text = "not modified"; break;
        case 305: text = "needs proxy"; break;
        case 307: text = "temporarily redirected"; break;
        case 308: text = "permanent redirect"; break;
        case 400: text = "bad request"; break;
        case 401: text = "unauthorized"; break;
        case 402: text = "payment required"; break;
        case 403: text = "forbidden"; break;
        case 404: text = "not found"; break;
        case 405: text = "method not allowed"; break;
        case 406: text = "unacceptable"; break;
        case 407: text = "proxy authentication required"; break;
        case 408: text = "request timed out"; break;
        case 409: text = "conflict"; break;
        case 410: text = "no longer exists"; break;
        case 411: text = "length required"; break;
        case 412: text = "precondition failed"; break;
        case 413: text = "request too large"; break;
        case 414: text = "requested URL too long"; break;
        case 415: text = "unsupported media type"; break;
        case 416: text = "requested range not satisfiable"; break;
        case 417: text = "expectation failed"; break;
        case 500: text = "internal server error"; break;
        case 501: text = "unimplemented"; break;
        case 502: text = "bad gateway"; break;
        case 503: text = "service unavailable"; break;
        case 504: text = "gateway timed out"; break;
        case 505: text = "unsupported version"; break;
        default:
            text = statusCode >= 100 && statusCode < 200   ? "informational"
                   : statusCode >= 200 && statusCode < 300 ? "success"
                   : statusCode >= 300 && statusCode < 400 ? "redirected"
                   : statusCode >= 400 && statusCode < 500 ? "client error"
                   : statusCode >= 500 && statusCode < 600 ? "server error"
                                                           : "server error";
    }
    return NSString::stringWithUTF8String(text);
}

std::shared_ptr<NSString> NSHTTPURLResponse::description() const {
    return NSString::stringWithFormat("<%@: %p> { URL: %@ } { Status Code: %ld }", className(), static_cast<const void*>(this), url_,
                                      static_cast<long>(statusCode_));
}

std::shared_ptr<NSCachedURLResponse> NSCachedURLResponse::initWithResponse(const std::shared_ptr<NSURLResponse>& response,
                                                                           const std::shared_ptr<NSData>& data,
                                                                           const std::shared_ptr<NSDictionary>& userInfo,
                                                                           NSURLCacheStoragePolicy storagePolicy) {
    auto c = std::make_shared<NSCachedURLResponse>();
    c->response_ = response;
    c->data_ = data;
    c->userInfo_ = userInfo;
    c->storagePolicy_ = storagePolicy;
    return c;
}
