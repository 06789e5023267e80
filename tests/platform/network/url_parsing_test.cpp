#include "platform/network/URLParsing.h"

#include <gtest/gtest.h>

using zvt::parseURLReference;
using zvt::removeDotSegments;
using zvt::resolveURLReference;

namespace {

std::string resolve(const std::string& base, const std::string& ref) {
    auto b = parseURLReference(base);
    auto r = parseURLReference(ref);
    if (!b || !r) return "<invalid>";
    return resolveURLReference(*b, *r).recompose();
}

}  // namespace

TEST(URLParsing, SplitsEveryComponent) {
    auto p = parseURLReference("https://user:pw@example.com:8443/a/b%20c?x=1&y=2#frag");
    ASSERT_TRUE(p);
    EXPECT_EQ(*p->scheme, "https");
    EXPECT_EQ(*p->user, "user");
    EXPECT_EQ(*p->password, "pw");
    EXPECT_EQ(*p->host, "example.com");
    EXPECT_EQ(*p->port, 8443);
    EXPECT_EQ(p->path, "/a/b%20c");
    EXPECT_EQ(*p->query, "x=1&y=2");
    EXPECT_EQ(*p->fragment, "frag");
    EXPECT_EQ(p->recompose(), "https://user:pw@example.com:8443/a/b%20c?x=1&y=2#frag");

    auto v6 = parseURLReference("http://[::1]:8080/");
    ASSERT_TRUE(v6);
    EXPECT_EQ(*v6->host, "::1");
    EXPECT_EQ(*v6->port, 8080);

    auto noPort = parseURLReference("http://host:/x");
    ASSERT_TRUE(noPort);
    EXPECT_FALSE(noPort->port);
}

TEST(URLParsing, RefusesTextThatIsNoURL) {
    for (const char* bad : {"http://exa mple.com/", "http://h/a b", "http://h/%zz", "http://h/%4", "http://h/#a#b",
                            "http://h:99999/", "http://h:12a/", "http://[::1/", "http://h/<x>", "http://h/\"q\"",
                            "http://h/\xc3\xa4", "a b"}) {
        EXPECT_FALSE(parseURLReference(bad)) << bad;
    }
    EXPECT_TRUE(parseURLReference(""));
    EXPECT_TRUE(parseURLReference("relative/path?q"));
}

TEST(URLParsing, ResolvesTheReferenceExamples) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"}, {"g#s", "http://a/b/c/g#s"}, {";x", "http://a/b/c/;x"}, {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"}, {"./", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../g", "http://a/b/g"},
        {"../..", "http://a/"}, {"../../g", "http://a/g"}, {"../../../g", "http://a/g"}, {"/./g", "http://a/g"},
        {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."}, {"..g", "http://a/b/c/..g"}, {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"}, {"g/../h", "http://a/b/c/h"}, {"g;x=1/../y", "http://a/b/c/y"},
    };
    for (const auto& [ref, expected] : cases) EXPECT_EQ(resolve(base, ref), expected) << ref;
}

TEST(URLParsing, ResolvesLikeABaseURLWithTrailingSlash) {
    // What a client with a base URL relies on: with the slash the path is appended to,
    // without it the last segment is replaced, and a leading slash replaces the path.
    EXPECT_EQ(resolve("http://h/api/", "client.php?m=x"), "http://h/api/client.php?m=x");
    EXPECT_EQ(resolve("http://h/api", "client.php?m=x"), "http://h/client.php?m=x");
    EXPECT_EQ(resolve("http://h/api/", "/other"), "http://h/other");
    EXPECT_EQ(resolve("http://h", "x"), "http://h/x");
    EXPECT_EQ(resolve("http://h/api/", "https://o/p"), "https://o/p");
}

TEST(URLParsing, DotSegmentsAndPercentCoding) {
    EXPECT_EQ(removeDotSegments("/a/b/c/./../../g"), "/a/g");
    EXPECT_EQ(removeDotSegments("mid/content=5/../6"), "mid/6");
    EXPECT_EQ(*zvt::percentDecode("a%20b%E4%B8%AD"), "a b\xe4\xb8\xad");
    EXPECT_FALSE(zvt::percentDecode("%ff"));  // not UTF-8
    EXPECT_FALSE(zvt::percentDecode("%2"));
    EXPECT_EQ(zvt::percentEscapePathComponent("a b/c?", true), "a%20b%2Fc%3F");
    EXPECT_EQ(zvt::percentEscapePathComponent("a b/c", false), "a%20b/c");
}
