#include "platform/network/NSHTTPCookie.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNumber.h"

namespace zvt {

namespace {

std::string_view trimView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

bool isIPAddress(std::string_view host) {
    std::string h(host);
    unsigned char buffer[16];
    return inet_pton(AF_INET, h.c_str(), buffer) == 1 || inet_pton(AF_INET6, h.c_str(), buffer) == 1;
}

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

std::string defaultPath(const NSURL& url) {
    const std::string& path = url.parts().path;
    if (path.empty() || path[0] != '/') return "/";
    size_t last = path.rfind('/');
    if (last == 0) return "/";
    return path.substr(0, last);
}

bool pathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (requestPath.empty()) requestPath = "/";
    if (requestPath == cookiePath) return true;
    if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
    return (!cookiePath.empty() && cookiePath.back() == '/') || requestPath[cookiePath.size()] == '/';
}

}  // namespace

std::optional<double> parseCookieDate(std::string_view text) {
    static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    std::optional<int> hour, minute, second, day, month, year;
    auto isDelimiter = [](unsigned char c) {
        return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
               (c >= 0x7B && c <= 0x7E);
    };
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isDelimiter(static_cast<unsigned char>(text[i]))) ++i;
        size_t start = i;
        while (i < text.size() && !isDelimiter(static_cast<unsigned char>(text[i]))) ++i;
        std::string_view token = text.substr(start, i - start);
        if (token.empty()) continue;
        int h, m, s;
        if (!hour && std::sscanf(std::string(token).c_str(), "%2d:%2d:%2d", &h, &m, &s) == 3) {
            hour = h;
            minute = m;
            second = s;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(token[0]))) {
            int value = 0;
            auto [p, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
            size_t digits = static_cast<size_t>(p - token.data());
            if (ec != std::errc()) continue;
            if (!day && digits >= 1 && digits <= 2) {
                day = value;
                continue;
            }
            if (!year && digits >= 2 && digits <= 4) {
                year = value;
                continue;
            }
            continue;
        }
        if (!month && token.size() >= 3) {
            std::string prefix = asciiLowercase(token.substr(0, 3));
            for (int k = 0; k < 12; ++k) {
                if (prefix == months[k]) month = k + 1;
            }
        }
    }
    if (!hour || !day || !month || !year) return std::nullopt;
    int y = *year;
    if (y >= 70 && y <= 99) y += 1900;
    if (y >= 0 && y <= 69) y += 2000;
    if (*day < 1 || *day > 31 || y < 1601 || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
    int64_t days = daysFromCivil(y, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
    return static_cast<double>(days * 86400 + *hour * 3600 + *minute * 60 + *second);
}

std::vector<std::string> splitSetCookieHeader(std::string_view joined) {
    std::vector<std::string> out;
    size_t start = 0;
    size_t attributeStart = 0;
    for (size_t i = 0; i < joined.size(); ++i) {
        char c = joined[i];
        if (c == ';') {
            attributeStart = i + 1;
        } else if (c == ',') {
            // "expires=Wed, 09 Jun ..." carries a comma after the weekday: no digit seen yet.
            std::string_view attribute = trimView(joined.substr(attributeStart, i - attributeStart));
            bool inDate = attribute.size() >= 8 && asciiEqualsIgnoringCase(attribute.substr(0, 8), "expires=") &&
                          std::none_of(attribute.begin(), attribute.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); });
            if (!inDate) {
                std::string_view piece = trimView(joined.substr(start, i - start));
                if (!piece.empty()) out.emplace_back(piece);
                start = i + 1;
                attributeStart = i + 1;
            }
        }
    }
    std::string_view piece = trimView(joined.substr(start));
    if (!piece.empty()) out.emplace_back(piece);
    return out;
}

bool cookieDomainMatches(std::string_view host, std::string_view cookieDomain, bool hostOnly) {
    std::string h = asciiLowercase(host);
    std::string d = asciiLowercase(cookieDomain);
    if (!d.empty() && d[0] == '.') d.erase(0, 1);
    if (h == d) return true;
    if (hostOnly || isIPAddress(h) || d.empty()) return false;
    return h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 && h[h.size() - d.size() - 1] == '.';
}

}  // namespace zvt

namespace {

std::string stringProperty(const std::shared_ptr<NSDictionary>& properties, const std::shared_ptr<NSString>& key) {
    id value = properties->objectForKey(key);
    if (!value) return {};
    if (auto s = std::dynamic_pointer_cast<NSString>(value)) return s->utf8();
    return value->description()->utf8();
}

bool hasProperty(const std::shared_ptr<NSDictionary>& properties, const std::shared_ptr<NSString>& key) {
    return properties->objectForKey(key) != nullptr;
}

bool truthy(const std::shared_ptr<NSDictionary>& properties, const std::shared_ptr<NSString>& key) {
    id value = properties->objectForKey(key);
    if (!value) return false;
    if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n->boolValue();
    if (auto s = std::dynamic_pointer_cast<NSString>(value)) {
        return !(s->isEqualToString("FALSE") || s->isEqualToString("false") || s->isEqualToString("0") || s->isEqualToString("NO"));
    }
    return true;
}

}  // namespace

std::shared_ptr<NSHTTPCookie> NSHTTPCookie::cookieWithProperties(const std::shared_ptr<NSDictionary>& properties) {
    if (!properties) return nullptr;
    if (!hasProperty(properties, NSHTTPCookieName) || !hasProperty(properties, NSHTTPCookieValue)) return nullptr;
    auto c = std::make_shared<NSHTTPCookie>();
    c->name_ = stringProperty(properties, NSHTTPCookieName);
    c->value_ = stringProperty(properties, NSHTTPCookieValue);
    if (c->name_.empty()) return nullptr;
    // A name or value with a separator would smuggle more cookies into the Cookie header.
    for (char ch : c->name_ + c->value_) {
        if (ch == ';' || ch == '\r' || ch == '\n' || ch == '\0') return nullptr;
    }
    if (hasProperty(properties, NSHTTPCookieDomain)) {
        c->domain_ = zvt::asciiLowercase(stringProperty(properties, NSHTTPCookieDomain));
    } else if (hasProperty(properties, NSHTTPCookieOriginURL)) {
        id origin = properties->objectForKey(NSHTTPCookieOriginURL);
        std::shared_ptr<NSURL> url = std::dynamic_pointer_cast<NSURL>(origin);
        if (!url) url = NSURL::URLWithString(std::dynamic_pointer_cast<NSString>(origin));
        if (url && url->parts().host) c->domain_ = zvt::asciiLowercase(*url->parts().host);
    }
    if (c->domain_.empty()) return nullptr;
    if (hasProperty(properties, NSHTTPCookiePath)) c->path_ = stringProperty(properties, NSHTTPCookiePath);
    if (c->path_.empty()) c->path_ = "/";
    if (hasProperty(properties, NSHTTPCookieVersion)) {
        c->version_ = static_cast<NSUInteger>(std::max(0LL, NSString::stringWithUTF8String(stringProperty(properties, NSHTTPCookieVersion))->longLongValue()));
    }
    c->secure_ = truthy(properties, NSHTTPCookieSecure);
    c->httpOnly_ = truthy(properties, NSHTTPCookieHTTPOnly);
    bool discard = truthy(properties, NSHTTPCookieDiscard);
    id maxAge = properties->objectForKey(NSHTTPCookieMaximumAge);
    id expires = properties->objectForKey(NSHTTPCookieExpires);
    double now = Clock::now();
    if (maxAge) {
        double seconds = 0;
        if (auto n = std::dynamic_pointer_cast<NSNumber>(maxAge)) seconds = n->doubleValue();
        else if (auto s = std::dynamic_pointer_cast<NSString>(maxAge)) seconds = s->doubleValue();
        c->expires_ = now + seconds;
    } else if (expires) {
        if (auto d = std::dynamic_pointer_cast<NSDate>(expires)) c->expires_ = d->timeIntervalSince1970();
        else if (auto n = std::dynamic_pointer_cast<NSNumber>(expires)) c->expires_ = n->doubleValue();
        else if (auto s = std::dynamic_pointer_cast<NSString>(expires)) c->expires_ = zvt::parseCookieDate(s->view());
    }
    if (discard && !maxAge) c->expires_.reset();
    if (hasProperty(properties, NSHTTPCookieComment)) c->comment_ = stringProperty(properties, NSHTTPCookieComment);
    if (hasProperty(properties, NSHTTPCookieCommentURL)) c->commentURL_ = stringProperty(properties, NSHTTPCookieCommentURL);
    if (hasProperty(properties, NSHTTPCookiePort)) c->portList_ = stringProperty(properties, NSHTTPCookiePort);
    c->created_ = now;
    return c;
}

std::shared_ptr<NSHTTPCookie> NSHTTPCookie::cookieFromSetCookieLine(std::string_view line, const NSURL& url) {
    const auto& parts = url.parts();
    if (!parts.host || parts.host->empty()) return nullptr;
    std::string host = zvt::asciiLowercase(*parts.host);
    size_t semi = line.find(';');
    std::string_view pair = zvt::trimView(line.substr(0, semi));
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) return nullptr;
    auto c = std::make_shared<NSHTTPCookie>();
    c->name_ = std::string(zvt::trimView(pair.substr(0, eq)));
    c->value_ = std::string(zvt::trimView(pair.substr(eq + 1)));
    if (c->name_.empty()) return nullptr;
    c->domain_ = host;
    c->path_ = zvt::defaultPath(url);
    double now = Clock::now();
    std::optional<double> maxAge, expires;
    std::string_view attributes = semi == std::string_view::npos ? std::string_view() : line.substr(semi + 1);
    while (!attributes.empty()) {
        size_t next = attributes.find(';');
        std::string_view attribute = zvt::trimView(attributes.substr(0, next));
        attributes = next == std::string_view::npos ? std::string_view() : attributes.substr(next + 1);
        size_t aeq = attribute.find('=');
        std::string key = zvt::asciiLowercase(zvt::trimView(attribute.substr(0, aeq)));
        std::string_view value = aeq == std::string_view::npos ? std::string_view() : zvt::trimView(attribute.substr(aeq + 1));
        if (key == "domain" && !value.empty()) {
            std::string domain = zvt::asciiLowercase(value);
            if (domain[0] == '.') domain.erase(0, 1);
            // A reply may set a cookie only for its own host or a domain above it; an IP
            // address host only for itself.
            if (!zvt::cookieDomainMatches(host, domain, false)) return nullptr;
            c->domain_ = zvt::isIPAddress(domain) ? domain : "." + domain;
        } else if (key == "path") {
            c->path_ = !value.empty() && value[0] == '/' ? std::string(value) : zvt::defaultPath(url);
        } else if (key == "max-age") {
            int64_t seconds = 0;
            auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec == std::errc() && p == value.data() + value.size()) maxAge = now + static_cast<double>(seconds);
        } else if (key == "expires") {
            expires = zvt::parseCookieDate(value);
        } else if (key == "secure") {
            c->secure_ = true;
        } else if (key == "httponly") {
            c->httpOnly_ = true;
        } else if (key == "version") {
            int v = 0;
            std::from_chars(value.data(), value.data() + value.size(), v);
            c->version_ = static_cast<NSUInteger>(std::max(0, v));
        } else if (key == "comment") {
            c->comment_ = std::string(value);
        }
    }
    c->expires_ = maxAge ? maxAge : expires;
    c->created_ = now;
    return c;
}

bool NSHTTPCookie::matches(const NSURL& url) const {
    const auto& parts = url.parts();
    if (!parts.host) return false;
    bool hostOnly = domain_.empty() || domain_[0] != '.';
    if (!zvt::cookieDomainMatches(*parts.host, domain_, hostOnly)) return false;
    if (!zvt::pathMatches(parts.path, path_)) return false;
    if (secure_ && !(parts.scheme && zvt::asciiEqualsIgnoringCase(*parts.scheme, "https"))) return false;
    return true;
}

std::shared_ptr<NSArray> NSHTTPCookie::cookiesWithResponseHeaderFields(const std::shared_ptr<NSDictionary>& headerFields,
                                                                      const std::shared_ptr<NSURL>& url) {
    std::vector<id> cookies;
    if (headerFields && url) {
        for (const auto& [key, value] : headerFields->allPairs()) {
            auto k = std::dynamic_pointer_cast<NSString>(key);
            auto v = std::dynamic_pointer_cast<NSString>(value);
            if (!k || !v || !zvt::asciiEqualsIgnoringCase(k->view(), "Set-Cookie")) continue;
            for (const auto& line : zvt::splitSetCookieHeader(v->view())) {
                if (auto c = cookieFromSetCookieLine(line, *url)) cookies.push_back(c);
            }
        }
    }
    return NSArray::arrayWithObjects(std::move(cookies));
}

std::shared_ptr<NSDictionary> NSHTTPCookie::requestHeaderFieldsWithCookies(const std::shared_ptr<NSArray>& cookies) {
    std::string header;
    if (cookies) {
        for (NSUInteger i = 0; i < cookies->count(); ++i) {
            auto c = std::dynamic_pointer_cast<NSHTTPCookie>(cookies->objectAtIndex(i));
            if (!c) continue;
            if (!header.empty()) header += "; ";
            header += c->name_ + "=" + c->value_;
        }
    }
    if (header.empty()) return NSDictionary::dictionary();
    return NSDictionary::make({{NSString::stringWithUTF8String("Cookie"), NSString::stringWithUTF8String(header)}});
}

std::shared_ptr<NSDictionary> NSHTTPCookie::properties() const {
    std::vector<std::pair<id, id>> p = {
        {NSHTTPCookieName.get(), name()},
        {NSHTTPCookieValue.get(), value()},
        {NSHTTPCookieDomain.get(), domain()},
        {NSHTTPCookiePath.get(), path()},
        {NSHTTPCookieVersion.get(), NSString::stringWithFormat("%lu", static_cast<unsigned long>(version_))},
    };
    if (expires_) p.emplace_back(NSHTTPCookieExpires.get(), expiresDate());
    if (secure_) p.emplace_back(NSHTTPCookieSecure.get(), NSString::stringWithUTF8String("TRUE"));
    if (httpOnly_) p.emplace_back(NSHTTPCookieHTTPOnly.get(), NSString::stringWithUTF8String("TRUE"));
    if (!expires_) p.emplace_back(NSHTTPCookieDiscard.get(), NSString::stringWithUTF8String("TRUE"));
    if (comment_) p.emplace_back(NSHTTPCookieComment.get(), NSString::stringWithUTF8String(*comment_));
    if (commentURL_) p.emplace_back(NSHTTPCookieCommentURL.get(), NSString::stringWithUTF8String(*commentURL_));
    if (portList_) p.emplace_back(NSHTTPCookiePort.get(), NSString::stringWithUTF8String(*portList_));
    return NSDictionary::dictionaryWithPairs(std::move(p));
}

std::shared_ptr<NSDate> NSHTTPCookie::expiresDate() const {
    return expires_ ? NSDate::dateWithTimeIntervalSince1970(*expires_) : nullptr;
}

std::shared_ptr<NSString> NSHTTPCookie::description() const {
    return NSString::stringWithUTF8String("<NSHTTPCookie " + name_ + "=" + value_ + "; domain=" + domain_ + "; path=" + path_ + ">");
}

bool NSHTTPCookie::isEqual(const id& other) const {
    auto c = std::dynamic_pointer_cast<NSHTTPCookie>(other);
    return c && c->name_ == name_ && zvt::asciiEqualsIgnoringCase(c->domain_, domain_) && c->path_ == path_;
}

NSUInteger NSHTTPCookie::hash() const { return std::hash<std::string>()(name_ + "\n" + zvt::asciiLowercase(domain_) + "\n" + path_); }

std::shared_ptr<NSHTTPCookieStorage> NSHTTPCookieStorage::sharedHTTPCookieStorage() {
    static const std::shared_ptr<NSHTTPCookieStorage> shared = std::make_shared<NSHTTPCookieStorage>();
    return shared;
}

std::shared_ptr<NSArray> NSHTTPCookieStorage::cookies() const {
    double now = Clock::now();
    std::lock_guard lock(mutex_);
    std::vector<id> out;
    for (const auto& c : cookies_) {
        if (!c->isExpiredAt(now)) out.push_back(c);
    }
    return NSArray::arrayWithObjects(std::move(out));
}

std::shared_ptr<NSArray> NSHTTPCookieStorage::cookiesForURL(const std::shared_ptr<NSURL>& url) const {
    if (!url) return NSArray::array();
    double now = Clock::now();
    std::vector<std::shared_ptr<NSHTTPCookie>> matched;
    {
        std::lock_guard lock(mutex_);
        for (const auto& c : cookies_) {
            if (!c->isExpiredAt(now) && c->matches(*url)) matched.push_back(c);
        }
    }
    std::stable_sort(matched.begin(), matched.end(), [](const auto& a, const auto& b) {
        if (a->path_.size() != b->path_.size()) return a->path_.size() > b->path_.size();
        return a->sequence_ < b->sequence_;
    });
    return NSArray::arrayWithObjects(std::vector<id>(matched.begin(), matched.end()));
}

std::optional<std::string> NSHTTPCookieStorage::cookieHeaderForURL(const NSURL& url) const {
    {
        // Most loads find no cookie stored at all: they need not gather, sort and join.
        std::lock_guard lock(mutex_);
        if (cookies_.empty()) return std::nullopt;
    }
    return cookieHeaderFromCookiesForURL(url);
}

std::optional<std::string> NSHTTPCookieStorage::cookieHeaderFromCookiesForURL(const NSURL& url) const {
    auto cookies = cookiesForURL(std::static_pointer_cast<NSURL>(std::const_pointer_cast<NSObject>(url.shared_from_this())));
    if (cookies->count() == 0) return std::nullopt;
    auto fields = NSHTTPCookie::requestHeaderFieldsWithCookies(cookies);
    auto header = std::dynamic_pointer_cast<NSString>(fields->objectForKey(NSString::stringWithUTF8String("Cookie")));
    return header ? std::optional<std::string>(header->utf8()) : std::nullopt;
}

void NSHTTPCookieStorage::setCookieLocked(const std::shared_ptr<NSHTTPCookie>& cookie) {
    double now = Clock::now();
    auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const auto& c) { return c->isEqual(cookie); });
    uint64_t sequence = same != cookies_.end() ? (*same)->sequence_ : ++sequence_;
    if (same != cookies_.end()) cookies_.erase(same);
    // Expired cookies are how a server deletes one.
    if (cookie->isExpiredAt(now)) return;
    auto copy = std::make_shared<NSHTTPCookie>(*cookie);
    copy->sequence_ = sequence;
    cookies_.push_back(copy);
}

void NSHTTPCookieStorage::setCookie(const std::shared_ptr<NSHTTPCookie>& cookie) {
    if (!cookie) return;
    std::lock_guard lock(mutex_);
    if (policy_ == NSHTTPCookieAcceptPolicyNever) return;
    setCookieLocked(cookie);
}

void NSHTTPCookieStorage::deleteCookie(const std::shared_ptr<NSHTTPCookie>& cookie) {
    if (!cookie) return;
    std::lock_guard lock(mutex_);
    cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(), [&](const auto& c) { return c->isEqual(cookie); }), cookies_.end());
}

void NSHTTPCookieStorage::removeAllCookies() {
    std::lock_guard lock(mutex_);
    cookies_.clear();
}

bool NSHTTPCookieStorage::acceptsFrom(const NSURL& url, const std::shared_ptr<NSURL>& mainDocumentURL) const {
    if (policy_ == NSHTTPCookieAcceptPolicyNever) return false;
    if (policy_ == NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain && mainDocumentURL && mainDocumentURL->parts().host &&
        url.parts().host) {
        return zvt::cookieDomainMatches(*url.parts().host, *mainDocumentURL->parts().host, false);
    }
    return true;
}

void NSHTTPCookieStorage::setCookies(const std::shared_ptr<NSArray>& cookies, const std::shared_ptr<NSURL>& url,
                                     const std::shared_ptr<NSURL>& mainDocumentURL) {
    if (!cookies) return;
    std::lock_guard lock(mutex_);
    if (url && !acceptsFrom(*url, mainDocumentURL)) return;
    if (policy_ == NSHTTPCookieAcceptPolicyNever) return;
    for (NSUInteger i = 0; i < cookies->count(); ++i) {
        if (auto c = std::dynamic_pointer_cast<NSHTTPCookie>(cookies->objectAtIndex(i))) setCookieLocked(c);
    }
}

void NSHTTPCookieStorage::storeSetCookieLines(const std::vector<std::string>& lines, const NSURL& url,
                                              const std::shared_ptr<NSURL>& mainDocumentURL) {
    std::vector<std::shared_ptr<NSHTTPCookie>> parsed;
    for (const auto& line : lines) {
        if (auto c = NSHTTPCookie::cookieFromSetCookieLine(line, url)) parsed.push_back(c);
    }
    if (parsed.empty()) return;
    std::lock_guard lock(mutex_);
    if (!acceptsFrom(url, mainDocumentURL)) return;
    for (const auto& c : parsed) setCookieLocked(c);
}

NSHTTPCookieAcceptPolicy NSHTTPCookieStorage::cookieAcceptPolicy() const {
    std::lock_guard lock(mutex_);
    return policy_;
}

void NSHTTPCookieStorage::setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy) {
    std::lock_guard lock(mutex_);
    policy_ = policy;
}
