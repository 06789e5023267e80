// Cookie parsing, matching and the shared store.
#include <gtest/gtest.h>

#include <thread>

#include "platform/network/NSHTTPCookie.h"
#include "tests/support/MainLoop.h"

namespace {

std::shared_ptr<NSURL> url(const char* text) { return NSURL::URLWithString(text); }

std::shared_ptr<NSHTTPCookie> fromLine(const char* line, const char* from) {
    return NSHTTPCookie::cookieFromSetCookieLine(line, *url(from));
}

TEST(NSHTTPCookieTest, ParsesSetCookieAttributes) {
    zvt::test::VirtualClockScope clock;
    auto c = fromLine("sid=abc; Path=/app; Domain=example.com; Max-Age=60; Secure; HttpOnly", "https://www.example.com/app/x");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->nameText(), "sid");
    EXPECT_EQ(c->valueText(), "abc");
    EXPECT_EQ(c->domainText(), ".example.com");
    EXPECT_EQ(c->pathText(), "/app");
    EXPECT_TRUE(c->isSecure());
    EXPECT_TRUE(c->isHTTPOnly());
    EXPECT_DOUBLE_EQ(*c->expiresTimeIntervalSince1970(), clock.clock().wallTime() + 60);

    auto session = fromLine("a=1", "http://h.example/dir/page");
    EXPECT_TRUE(session->isSessionOnly());
    EXPECT_EQ(session->domainText(), "h.example");  // host-only
    EXPECT_EQ(session->pathText(), "/dir");          // the default path

    // A reply may not set cookies for another domain, nor a nameless one.
    EXPECT_FALSE(fromLine("a=1; Domain=other.com", "http://www.example.com/"));
    EXPECT_FALSE(fromLine("a=1; Domain=ample.com", "http://www.example.com/"));
    EXPECT_FALSE(fromLine("=1", "http://www.example.com/"));
    EXPECT_FALSE(fromLine("novalue", "http://www.example.com/"));
}

TEST(NSHTTPCookieTest, CookieDatesInTheirCommonForms) {
    EXPECT_EQ(*zvt::parseCookieDate("Wed, 09 Jun 2021 10:18:14 GMT"), 1623233894.0);
    EXPECT_EQ(*zvt::parseCookieDate("Wednesday, 09-Jun-21 10:18:14 GMT"), 1623233894.0);
    EXPECT_EQ(*zvt::parseCookieDate("Wed Jun  9 10:18:14 2021"), 1623233894.0);
    EXPECT_EQ(*zvt::parseCookieDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0.0);
    EXPECT_FALSE(zvt::parseCookieDate("yesterday"));
    EXPECT_FALSE(zvt::parseCookieDate("Wed, 32 Jun 2021 10:18:14 GMT"));
}

TEST(NSHTTPCookieTest, SplitsJoinedSetCookieHeadersButNotTheirDates) {
    auto parts = zvt::splitSetCookieHeader("a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT; Path=/, b=2, c=3; HttpOnly");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], "a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT; Path=/");
    EXPECT_EQ(parts[1], "b=2");
    EXPECT_EQ(parts[2], "c=3; HttpOnly");
    auto cookies = NSHTTPCookie::cookiesWithResponseHeaderFields(
        NSDictionary::make({{NSString::stringWithUTF8String("Set-Cookie"),
                             NSString::stringWithUTF8String("a=1; Expires=Wed, 09 Jun 2031 10:18:14 GMT, b=2")}}),
        url("http://h/"));
    EXPECT_EQ(cookies->count(), 2u);
}

TEST(NSHTTPCookieTest, DomainPathAndSecureMatching) {
    auto domainCookie = fromLine("d=1; Domain=example.com; Path=/", "http://example.com/");
    EXPECT_TRUE(domainCookie->matches(*url("http://example.com/")));
    EXPECT_TRUE(domainCookie->matches(*url("http://a.b.example.com/x")));
    EXPECT_FALSE(domainCookie->matches(*url("http://badexample.com/")));

    auto hostOnly = fromLine("h=1; Path=/", "http://example.com/");
    EXPECT_TRUE(hostOnly->matches(*url("http://EXAMPLE.com/")));
    EXPECT_FALSE(hostOnly->matches(*url("http://www.example.com/")));

    // IP address hosts match only themselves, even with a Domain attribute.
    auto ip = fromLine("i=1; Domain=127.0.0.1; Path=/", "http://127.0.0.1:8080/");
    ASSERT_TRUE(ip);
    EXPECT_TRUE(ip->matches(*url("http://127.0.0.1:9/")));
    EXPECT_FALSE(zvt::cookieDomainMatches("10.0.0.1", "0.0.1", false));
    EXPECT_FALSE(fromLine("i=1; Domain=0.0.1", "http://10.0.0.1/"));

    auto pathCookie = fromLine("p=1; Path=/docs", "http://h/");
    EXPECT_TRUE(pathCookie->matches(*url("http://h/docs")));
    EXPECT_TRUE(pathCookie->matches(*url("http://h/docs/a")));
    EXPECT_FALSE(pathCookie->matches(*url("http://h/docsx")));
    EXPECT_FALSE(pathCookie->matches(*url("http://h/")));

    auto secure = fromLine("s=1; Secure; Path=/", "https://h/");
    EXPECT_TRUE(secure->matches(*url("https://h/")));
    EXPECT_FALSE(secure->matches(*url("http://h/")));
}

TEST(NSHTTPCookieTest, PropertiesRoundTrip) {
    // What the application's cookie helper builds: name, value, domain, path "/", version "0".
    auto c = NSHTTPCookie::cookieWithProperties(NSDictionary::make({
        {NSHTTPCookieName, NSString::stringWithUTF8String("PHPSESSID")},
        {NSHTTPCookieValue, NSString::stringWithUTF8String("v1")},
        {NSHTTPCookieDomain, NSString::stringWithUTF8String("www.example.com")},
        {NSHTTPCookiePath, NSString::stringWithUTF8String("/")},
        {NSHTTPCookieVersion, NSString::stringWithUTF8String("0")},
    }));
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isSessionOnly());
    EXPECT_TRUE(c->matches(*url("http://www.example.com/index.php")));
    auto again = NSHTTPCookie::cookieWithProperties(c->properties());
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isEqual(c));
    EXPECT_EQ(again->valueText(), "v1");

    EXPECT_FALSE(NSHTTPCookie::cookieWithProperties(NSDictionary::make({{NSHTTPCookieName, NSString::stringWithUTF8String("a")}})));
    EXPECT_FALSE(NSHTTPCookie::cookieWithProperties(NSDictionary::make({
        {NSHTTPCookieName, NSString::stringWithUTF8String("a")},
        {NSHTTPCookieValue, NSString::stringWithUTF8String("1; evil=2")},
        {NSHTTPCookieDomain, NSString::stringWithUTF8String("h")},
    })));
    auto header = NSHTTPCookie::requestHeaderFieldsWithCookies(NSArray::make({c, fromLine("x=y", "http://www.example.com/")}));
    EXPECT_EQ(std::dynamic_pointer_cast<NSString>(header->objectForKey(NSString::stringWithUTF8String("Cookie")))->utf8(),
              "PHPSESSID=v1; x=y");
}

TEST(NSHTTPCookieStorageTest, ReplacesExpiresDeletesAndOrders) {
    zvt::test::VirtualClockScope clock;
    auto storage = std::make_shared<NSHTTPCookieStorage>();
    storage->storeSetCookieLines({"a=1; Path=/", "b=2; Path=/deep; Max-Age=10"}, *url("http://h/"), nullptr);
    EXPECT_EQ(*storage->cookieHeaderForURL(*url("http://h/deep/x")), "b=2; a=1");
    storage->storeSetCookieLines({"a=3; Path=/"}, *url("http://h/"), nullptr);
    EXPECT_EQ(storage->cookies()->count(), 2u);
    EXPECT_EQ(*storage->cookieHeaderForURL(*url("http://h/")), "a=3");
    clock.advanceBy(11);
    EXPECT_EQ(storage->cookies()->count(), 1u);
    EXPECT_EQ(*storage->cookieHeaderForURL(*url("http://h/deep/x")), "a=3");
    storage->storeSetCookieLines({"a=gone; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"}, *url("http://h/"), nullptr);
    EXPECT_FALSE(storage->cookieHeaderForURL(*url("http://h/")));

    storage->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyNever);
    storage->storeSetCookieLines({"n=1"}, *url("http://h/"), nullptr);
    EXPECT_EQ(storage->cookies()->count(), 0u);
    storage->setCookieAcceptPolicy(NSHTTPCookieAcceptPolicyOnlyFromMainDocumentDomain);
    storage->storeSetCookieLines({"third=1"}, *url("http://ads.other/"), url("http://h/"));
    storage->storeSetCookieLines({"first=1"}, *url("http://www.h/"), url("http://h/"));
    EXPECT_EQ(storage->cookies()->count(), 1u);
    auto first = std::dynamic_pointer_cast<NSHTTPCookie>(storage->cookies()->objectAtIndex(0));
    storage->deleteCookie(first);
    EXPECT_EQ(storage->cookies()->count(), 0u);
}

TEST(NSHTTPCookieStorageTest, IsSafeFromManyThreads) {
    auto storage = std::make_shared<NSHTTPCookieStorage>();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([storage, t] {
            for (int i = 0; i < 200; ++i) {
                std::string line = "c" + std::to_string(t) + "=" + std::to_string(i) + "; Path=/";
                storage->storeSetCookieLines({line}, *url("http://h/"), nullptr);
                storage->cookieHeaderForURL(*url("http://h/"));
                if (i % 50 == 0) storage->cookies();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(storage->cookies()->count(), 4u);
    std::string header = *storage->cookieHeaderForURL(*url("http://h/"));
    for (int t = 0; t < 4; ++t) EXPECT_NE(header.find("c" + std::to_string(t) + "=199"), std::string::npos) << header;
}

}  // namespace
