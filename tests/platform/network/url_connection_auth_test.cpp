// HTTP Basic challenges: the delegate's credential is sent on a retry, refusals reach it as
// the 401 reply, a cancel fails the load; the password never follows a redirect elsewhere.
#include <gtest/gtest.h>

#include "platform/network/NSURLConnection.h"
#include "tests/platform/network/ConnectionTestSupport.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::HTTPRequest;
using zvt::test::HTTPResponder;
using zvt::test::RecordingDelegate;
using zvt::test::requestFor;
using zvt::test::RunLoopThread;
using zvt::test::startOn;
using Strings = std::vector<std::string>;
using Challenge = std::shared_ptr<NSURLAuthenticationChallenge>;

class URLConnectionAuthTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.installStandardRoutes();
        server.route("/private", [](const HTTPRequest& q, HTTPResponder& r) {
            if (q.header("Authorization") == "Basic dXNlcjpwYXNz") {  // user:pass
                r.send(200, "welcome");
            } else {
                r.send(401, {{"WWW-Authenticate", "Basic realm=\"zone\""}}, "denied");
            }
        });
    }
    std::shared_ptr<RecordingDelegate> load(const std::string& path, std::function<void(const Challenge&)> answer) {
        auto delegate = std::make_shared<RecordingDelegate>();
        if (answer) delegate->onChallenge = [answer](const auto&, const Challenge& c) { answer(c); };
        startOn(thread, requestFor(server.url(path)), delegate);
        EXPECT_TRUE(delegate->waitDone());
        return delegate;
    }
    static std::shared_ptr<NSURLCredential> credential(const char* user, const char* password) {
        return NSURLCredential::credentialWithUser(NSString::stringWithUTF8String(user), NSString::stringWithUTF8String(password),
                                                   NSURLCredentialPersistenceNone);
    }
    zvt::test::TestHTTPServer server;
    RunLoopThread thread;
};

TEST_F(URLConnectionAuthTest, TheCredentialGoesOutOnARetry) {
    std::vector<Challenge> seen;
    auto d = load("/private", [&](const Challenge& c) {
        seen.push_back(c);
        c->sender()->useCredential(credential("user", "pass"), c);
    });
    EXPECT_EQ(d->log(), (Strings{"challenge", "response 200", "data", "finish"}));
    EXPECT_EQ(d->body(), "welcome");
    ASSERT_EQ(seen.size(), 1u);
    auto space = seen[0]->protectionSpace();
    EXPECT_EQ(space->authenticationMethod()->utf8(), "NSURLAuthenticationMethodHTTPBasic");
    EXPECT_EQ(space->realm()->utf8(), "zone");
    EXPECT_EQ(space->protocol()->utf8(), "http");
    EXPECT_EQ(space->port(), server.port());
    EXPECT_EQ(seen[0]->previousFailureCount(), 0);
    EXPECT_EQ(std::dynamic_pointer_cast<NSHTTPURLResponse>(seen[0]->failureResponse())->statusCode(), 401);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].hasHeader("Authorization"));
}

TEST_F(URLConnectionAuthTest, AWrongCredentialIsAskedAgainThenTheReplyIsDelivered) {
    std::vector<NSInteger> failures;
    auto d = load("/private", [&](const Challenge& c) {
        failures.push_back(c->previousFailureCount());
        if (c->previousFailureCount() == 0) {
            c->sender()->useCredential(credential("user", "wrong"), c);
        } else {
            c->sender()->continueWithoutCredentialForAuthenticationChallenge(c);
        }
    });
    EXPECT_EQ(failures, (std::vector<NSInteger>{0, 1}));
    EXPECT_EQ(d->log(), (Strings{"challenge", "challenge", "response 401", "data", "finish"}));
    EXPECT_EQ(d->body(), "denied");
    // Without an answer of its own the delegate gets the 401 reply too.
    EXPECT_EQ(load("/private", nullptr)->log(), (Strings{"challenge", "response 401", "data", "finish"}));
}

TEST_F(URLConnectionAuthTest, CancellingTheChallengeFailsTheLoad) {
    auto d = load("/private", [](const Challenge& c) { c->sender()->cancelAuthenticationChallenge(c); });
    ASSERT_TRUE(d->error());
    EXPECT_EQ(d->error()->code(), NSURLErrorUserCancelledAuthentication);
}

TEST_F(URLConnectionAuthTest, ThePasswordDoesNotFollowARedirectToAnotherServer) {
    zvt::test::TestHTTPServer other;
    other.route("/private", [](const HTTPRequest& q, HTTPResponder& r) { r.send(200, q.header("Authorization")); });
    server.route("/hop", [&](const HTTPRequest& q, HTTPResponder& r) {
        if (q.header("Authorization").empty()) {
            r.send(401, {{"WWW-Authenticate", "Basic realm=\"zone\""}}, "");
        } else {
            r.redirect(302, other.url("/private"));
        }
    });
    auto d = load("/hop", [](const Challenge& c) { c->sender()->useCredential(credential("user", "pass"), c); });
    EXPECT_EQ(d->body(), "");
    EXPECT_FALSE(other.requests().at(0).hasHeader("Authorization"));
}

}  // namespace
