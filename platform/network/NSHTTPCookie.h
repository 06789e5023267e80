// HTTP cookies and the process-wide cookie store.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/network/NSURL.h"

// Property keys of a cookie's properties dictionary.
inline const zvt::StaticString NSHTTPCookieName{"Name"};
inline const zvt::StaticString NSHTTPCookieValue{"Value"};
inline const zvt::StaticString NSHTTPCookieOriginURL{"OriginURL"};
inline const zvt::StaticString NSHTTPCookieVersion{"Version"};
inline const zvt::StaticString NSHTTPCookieDomain{"Domain"};
inline const zvt::StaticString NSHTTPCookiePath{"Path"};
inline const zvt::StaticString NSHTTPCookieSecure{"Secure"};
inline const zvt::StaticString NSHTTPCookieExpires{"Expires"};
inline const zvt::StaticString NSHTTPCookieComment{"Comment"};
inline const zvt::StaticString NSHTTPCookieCommentURL{"CommentURL"};
inline const zvt::StaticString NSHTTPCookieDiscard{"Discard"};
inline const zvt::StaticString NSHTTPCookieMaximumAge{"Max-Age"};
inline const zvt::StaticString NSHTTPCookiePort{"Port"};
inline const zvt::StaticString NSHTTPCookieHTTPOnly{"HttpOnly"};

class NSHTTPCookie : public NSObject {
public:
    // cookieWithProperties: nil without a name, a value, and a domain or an origin URL. A
    // domain given with a leading "." matches sub-domains; one without it only that host.
    // "Expires" may be a date, a number (seconds since 1970) or a date text; "Max-Age"
    // (seconds) wins.
    static std::shared_ptr<NSHTTPCookie> cookieWithProperties(const std::shared_ptr<NSDictionary>& properties);
    static std::shared_ptr<NSHTTPCookie> initWithProperties(const std::shared_ptr<NSDictionary>& properties) {
        return cookieWithProperties(properties);
    }
    // cookiesWithResponseHeaderFields:forURL: reads "Set-Cookie" (several cookies may be joined
    // with ","). Cookies the URL may not set (another domain) are left out.
    static std::shared_ptr<NSArray> cookiesWithResponseHeaderFields(const std::shared_ptr<NSDictionary>& headerFields,
                                                                   const std::shared_ptr<NSURL>& url);
    // {"Cookie": "a=1; b=2"}; empty dictionary for no cookies.
    static std::shared_ptr<NSDictionary> requestHeaderFieldsWithCookies(const std::shared_ptr<NSArray>& cookies);

    std::shared_ptr<NSString> name() const { return NSString::stringWithUTF8String(name_); }
    std::shared_ptr<NSString> value() const { return NSString::stringWithUTF8String(value_); }
    std::shared_ptr<NSString> domain() const { return NSString::stringWithUTF8String(domain_); }
    std::shared_ptr<NSString> path() const { return NSString::stringWithUTF8String(path_); }
    NSUInteger version() const { return version_; }
    bool isSecure() const { return secure_; }
    bool isHTTPOnly() const { return httpOnly_; }
    bool isSessionOnly() const { return !expires_; }
    // nil for a session cookie.
    std::shared_ptr<NSDate> expiresDate() const;
    // Seconds since 1970, empty for a session cookie.
    std::optional<double> expiresTimeIntervalSince1970() const { return expires_; }
    std::shared_ptr<NSDictionary> properties() const;

    std::shared_ptr<NSString> description() const override;
    // Same name, domain and path.
    bool isEqual(const id& other) const override;
    NSUInteger hash() const override;
    id copyWithZone() const override { return std::const_pointer_cast<NSObject>(shared_from_this()); }

    // For the store and the loader.
    const std::string& nameText() const { return name_; }
    const std::string& valueText() const { return value_; }
    const std::string& domainText() const { return domain_; }
    const std::string& pathText() const { return path_; }
    bool isExpiredAt(double now) const { return expires_ && *expires_ <= now; }
    bool matches(const NSURL& url) const;
    // One Set-Cookie line received from url; nil when malformed or not allowed for url.
    static std::shared_ptr<NSHTTPCookie> cookieFromSetCookieLine(std::string_view line, const NSURL& url);

    NSHTTPCookie() = default;

private:
    std::string name_, value_, domain_, path_ = "/";
    NSUInteger version_ = 0;
    bool secure_ = false;
    bool httpOnly_ = false;
    std::optional<double> expires_;
    std::optional<std::string> comment_, commentURL_, portList_;
    double created_ = 0;
    uint64_t sequence_ = 0;
    friend class NSHTTPCookieStorage;
};

using NSHTTPCookieAcceptPolicy = NSUInteger;
enum : NSHTTPCookieAcceptPolicy {
    NSHTTPCookieAcceptPolicyAlways = 0,
    NSHTTPCookieAcceptPolicyNever = 1,
    NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain = 2,
};

// Thread-safe; every method may be called from any thread.
class NSHTTPCookieStorage : public NSObject {
public:
    static std::shared_ptr<NSHTTPCookieStorage> sharedHTTPCookieStorage();

    // Every cookie that has not expired.
    std::shared_ptr<NSArray> cookies() const;
    // The cookies to send to url, longest path first.
    std::shared_ptr<NSArray> cookiesForURL(const std::shared_ptr<NSURL>& url) const;
    // Replaces the cookie of the same name, domain and path; an expired cookie only deletes.
    void setCookie(const std::shared_ptr<NSHTTPCookie>& cookie);
    void deleteCookie(const std::shared_ptr<NSHTTPCookie>& cookie);
    // setCookies:forURL:mainDocumentURL: under the accept policy.
    void setCookies(const std::shared_ptr<NSArray>& cookies, const std::shared_ptr<NSURL>& url,
                    const std::shared_ptr<NSURL>& mainDocumentURL);
    NSHTTPCookieAcceptPolicy cookieAcceptPolicy() const;
    void setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy);
    void removeAllCookies();

    // The loader's two steps: the Cookie header for a request, and the Set-Cookie lines of a reply.
    std::optional<std::string> cookieHeaderForURL(const NSURL& url) const;
    void storeSetCookieLines(const std::vector<std::string>& lines, const NSURL& url, const std::shared_ptr<NSURL>& mainDocumentURL);

private:
    bool acceptsFrom(const NSURL& url, const std::shared_ptr<NSURL>& mainDocumentURL) const;
    [[gnu::noinline]] std::optional<std::string> cookieHeaderFromCookiesForURL(const NSURL& url) const;
    void setCookieLocked(const std::shared_ptr<NSHTTPCookie>& cookie);
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<NSHTTPCookie>> cookies_;
    NSHTTPCookieAcceptPolicy policy_ = NSHTTPCookieAcceptPolicyAlways;
    uint64_t sequence_ = 0;
};

namespace zvt {
// RFC 6265 cookie-date parsing; seconds since 1970 or empty.
std::optional<double> parseCookieDate(std::string_view text);
// Splits a "Set-Cookie" value that joins several cookies with ",", minding the commas of dates.
std::vector<std::string> splitSetCookieHeader(std::string_view joined);
// RFC 6265 domain-match; an IP address host matches only itself.
bool cookieDomainMatches(std::string_view host, std::string_view cookieDomain, bool hostOnly);
}  // namespace zvt
