// The server-trust challenge over real TLS handshakes on loopback: raised on the connection's
// thread with the presented chain and host, and its answer decides the handshake.
#include <gtest/gtest.h>

#include <future>

#include "platform/network/NSURLConnection.h"
#include "platform/security/SecTrust.h"
#include "tests/platform/network/ConnectionTestSupport.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::RecordingDelegate;
using zvt::test::requestFor;
using zvt::test::RunLoopThread;
using zvt::test::startOn;
using zvt::test::TestCertificate;
using zvt::test::TestCertificates;
using zvt::test::TestHTTPServer;
using Strings = std::vector<std::string>;

const TestCertificates& certs() { return TestCertificates::shared(); }

std::unique_ptr<TestHTTPServer> serverWith(const TestCertificate& certificate) {
    auto server = std::make_unique<TestHTTPServer>(zvt::test::TLSIdentity{certificate.chainPEM, certificate.keyPEM});
    server->installStandardRoutes();
    return server;
}

// Judges the trust against the test CA alone, as a pinning client would.
void answerWithTestCA(const NSURLConnectionDelegate::Connection&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    SecTrustRef trust = challenge->protectionSpace()->serverTrust();
    SecTrustSetAnchorCertificates(trust, std::vector<SecCertificateRef>{SecCertificateCreateWithData(certs().ca.der)});
    SecTrustResultType result = kSecTrustResultInvalid;
    bool trusted = SecTrustEvaluate(trust, &result) == errSecSuccess &&
                   (result == kSecTrustResultUnspecified || result == kSecTrustResultProceed);
    if (trusted) {
        challenge->sender()->useCredential(NSURLCredential::credentialForTrust(trust), challenge);
    } else {
        challenge->sender()->cancelAuthenticationChallenge(challenge);
    }
}

class URLConnectionTLSTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingDelegate> load(const std::string& url,
                                            std::function<void(const NSURLConnectionDelegate::Connection&,
                                                               const std::shared_ptr<NSURLAuthenticationChallenge>&)>
                                                answer = answerWithTestCA) {
        auto delegate = std::make_shared<RecordingDelegate>();
        delegate->onChallenge = std::move(answer);
        startOn(thread, requestFor(url), delegate);
        EXPECT_TRUE(delegate->waitDone());
        return delegate;
    }
    RunLoopThread thread;
};

TEST_F(URLConnectionTLSTest, TheChallengeCarriesTheServersTrustAndHost) {
    auto server = serverWith(certs().localhost);
    std::shared_ptr<NSURLProtectionSpace> space;
    std::thread::id challengeThread;
    auto d = load(server->localhostURL("/hello"), [&](const auto& c, const auto& challenge) {
        space = challenge->protectionSpace();
        challengeThread = std::this_thread::get_id();
        EXPECT_EQ(challenge->previousFailureCount(), 0);
        answerWithTestCA(c, challenge);
    });
    EXPECT_EQ(d->log(), (Strings{"challenge", "response 200", "data", "finish"}));
    EXPECT_EQ(d->body(), "hello");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->host()->utf8(), "localhost");
    EXPECT_EQ(space->port(), server->port());
    EXPECT_EQ(space->protocol()->utf8(), "https");
    EXPECT_EQ(space->authenticationMethod()->utf8(), "NSURLAuthenticationMethodServerTrust");
    ASSERT_TRUE(space->serverTrust());
    auto presented = space->serverTrust()->certificates();
    ASSERT_FALSE(presented.empty());
    EXPECT_EQ(presented[0]->derData(), certs().localhost.der);
    EXPECT_EQ(challengeThread, thread.threadId());
}

TEST_F(URLConnectionTLSTest, TheAnswerDecidesTheHandshake) {
    auto good = serverWith(certs().localhost);
    EXPECT_EQ(load(good->url("/hello"))->body(), "hello");  // the leaf names 127.0.0.1 too
    auto chained = serverWith(certs().intermediateLeaf);
    EXPECT_EQ(load(chained->localhostURL("/hello"))->body(), "hello");

    for (const TestCertificate* bad : {&certs().wrongHost, &certs().expired, &certs().selfSigned, &certs().forgedLeaf}) {
        auto server = serverWith(*bad);
        auto d = load(server->localhostURL("/hello"));
        ASSERT_TRUE(d->error()) << bad->name;
        EXPECT_EQ(d->error()->code(), NSURLErrorCancelled) << bad->name;
        EXPECT_EQ(d->log(), (Strings{"challenge", "fail -999"})) << bad->name;
        EXPECT_EQ(server->requestCount(), 0u) << bad->name;
    }

    // Accepting whatever is presented lets even the self-signed server through.
    auto selfSigned = serverWith(certs().selfSigned);
    auto accepted = load(selfSigned->localhostURL("/hello"), [](const auto&, const auto& challenge) {
        challenge->sender()->useCredential(NSURLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()), challenge);
    });
    EXPECT_EQ(accepted->body(), "hello");
}

TEST_F(URLConnectionTLSTest, DefaultHandlingJudgesAgainstTheSystemAnchors) {
    // The test CA is no system anchor: default handling refuses its leaf as untrusted.
    auto server = serverWith(certs().localhost);
    for (auto answer : {std::function<void(const NSURLConnectionDelegate::Connection&, const std::shared_ptr<NSURLAuthenticationChallenge>&)>(),
                        std::function<void(const NSURLConnectionDelegate::Connection&, const std::shared_ptr<NSURLAuthenticationChallenge>&)>(
                            [](const auto&, const auto& challenge) { challenge->sender()->performDefaultHandlingForAuthenticationChallenge(challenge); })}) {
        auto d = load(server->localhostURL("/hello"), answer);
        ASSERT_TRUE(d->error());
        EXPECT_EQ(d->error()->code(), NSURLErrorServerCertificateUntrusted);
    }
    // No answer at all counts as a cancelled challenge.
    auto silent = load(server->localhostURL("/hello"), [](const auto&, const auto&) {});
    EXPECT_EQ(silent->error()->code(), NSURLErrorCancelled);
}

TEST_F(URLConnectionTLSTest, EveryRequestIsJudgedAgain) {
    auto server = serverWith(certs().localhost);
    int challenges = 0;
    auto counting = [&](const auto& c, const auto& challenge) {
        ++challenges;
        answerWithTestCA(c, challenge);
    };
    load(server->localhostURL("/hello"), counting);
    // A delegate that refuses must not ride on the connection the first one accepted.
    auto refusing = load(server->localhostURL("/hello"), [&](const auto&, const auto& challenge) {
        ++challenges;
        challenge->sender()->cancelAuthenticationChallenge(challenge);
    });
    EXPECT_EQ(refusing->error()->code(), NSURLErrorCancelled);
    load(server->localhostURL("/redirect?n=1"), counting);
    EXPECT_EQ(challenges, 4);
}

TEST_F(URLConnectionTLSTest, ACancelFromInsideTheChallengeEndsTheLoadAndLeavesTheEngineSound) {
    auto server = serverWith(certs().localhost);
    auto delegate = std::make_shared<RecordingDelegate>();
    std::promise<void> challenged;
    delegate->onChallenge = [&](const auto& connection, const auto&) {
        connection->cancel();
        challenged.set_value();
    };
    startOn(thread, requestFor(server->localhostURL("/hello")), delegate);
    ASSERT_EQ(challenged.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    thread.sync([] {});
    EXPECT_EQ(delegate->log(), (Strings{"challenge"}));
    // The handle curl was running goes back to the pool only once curl has let it go: the loads
    // after it (which take it again) run as usual.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(load(server->localhostURL("/hello"))->body(), "hello") << i;
}

TEST_F(URLConnectionTLSTest, AnExceptionInTheChallengeLeavesCurlAndReachesTheRunLoopsCaller) {
    auto server = serverWith(certs().localhost);
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->onChallenge = [](const auto&, const auto&) { throw std::runtime_error("judge failed"); };
    auto connection = NSURLConnection::initWithRequest(requestFor(server->localhostURL("/hello")), delegate);  // main run loop
    EXPECT_THROW(zvt::test::runMainLoopUntil([] { return false; }, 5.0), std::runtime_error);
    zvt::test::runMainLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(delegate->log(), (Strings{"challenge"}));
    // The engine is still sound afterwards.
    auto next = std::make_shared<RecordingDelegate>();
    next->onChallenge = answerWithTestCA;
    auto second = NSURLConnection::initWithRequest(requestFor(server->localhostURL("/hello")), next);
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return next->done(); }));
    EXPECT_EQ(next->body(), "hello");
}

}  // namespace
