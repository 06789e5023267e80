// NSURLConnection against the loopback server: delegate order and thread, redirects, cancel,
// time-outs, transport errors, cookies and the synchronous send.
#include "platform/network/NSURLConnection.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/NSStream.h"
#include "platform/network/NSHTTPCookie.h"
#include "tests/platform/network/ConnectionTestSupport.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::RecordingDelegate;
using zvt::test::requestFor;
using zvt::test::RunLoopThread;
using zvt::test::startOn;
using zvt::test::TestHTTPServer;
using Strings = std::vector<std::string>;

std::string pattern(size_t n) {
    std::string s(n, 'a');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

class URLConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.installStandardRoutes();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    }
    void TearDown() override { NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies(); }

    std::shared_ptr<RecordingDelegate> load(const std::shared_ptr<NSURLRequest>& request) {
        auto delegate = std::make_shared<RecordingDelegate>();
        startOn(thread, request, delegate);
        EXPECT_TRUE(delegate->waitDone());
        return delegate;
    }
    std::shared_ptr<RecordingDelegate> load(const std::string& path) { return load(requestFor(server.url(path))); }

    TestHTTPServer server;
    RunLoopThread thread;
};

TEST_F(URLConnectionTest, DeliversResponseDataFinishInOrderOnTheRunLoopThread) {
    struct Case {
        const char* path;
        Strings log;
        std::string body;
    };
    const Case cases[] = {
        {"/hello", {"response 200", "data", "finish"}, "hello"},
        {"/chunked?n=5000&size=100", {"response 200", "data", "finish"}, pattern(5000)},
        {"/gzip?n=20000", {"response 200", "data", "finish"}, pattern(20000)},
        {"/deflate?n=3000", {"response 200", "data", "finish"}, pattern(3000)},
        {"/redirect?n=3", {"redirect", "redirect", "redirect", "response 200", "data", "finish"}, "hello"},
    };
    for (const auto& c : cases) {
        auto d = load(c.path);
        EXPECT_EQ(d->log(), c.log) << c.path;
        EXPECT_EQ(d->body(), c.body) << c.path;
        for (auto id : d->threads()) EXPECT_EQ(id, thread.threadId()) << c.path;
    }
    auto gz = load("/gzip?n=100");
    EXPECT_EQ(gz->response()->valueForHTTPHeaderField("Content-Encoding")->utf8(), "gzip");
    auto last = load("/redirect?n=3");
    EXPECT_EQ(last->response()->URL()->absoluteString()->utf8(), server.url("/hello"));
}

TEST_F(URLConnectionTest, ResponseCarriesStatusHeadersTypeAndLength) {
    server.route("/typed", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
        r.send(404, {{"Content-Type", "Application/JSON; charset=\"GBK\""}, {"X-A", "1"}, {"x-a", "2"}}, "{}");
    });
    auto d = load("/typed");
    auto response = d->response();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode(), 404);
    EXPECT_EQ(response->MIMEType()->utf8(), "application/json");
    EXPECT_EQ(response->textEncodingName()->utf8(), "gbk");
    EXPECT_EQ(response->expectedContentLength(), 2);
    EXPECT_EQ(response->valueForHTTPHeaderField("x-A")->utf8(), "1, 2");
    EXPECT_EQ(d->log(), (Strings{"response 404", "data", "finish"}));
    EXPECT_EQ(load("/chunked?n=10")->response()->expectedContentLength(), NSURLResponseUnknownLength);

    // Lines as servers write them: padded values, a value folded onto a second line; the
    // fragment of the URL is not sent.
    server.route("/raw", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
        r.writeRaw("HTTP/1.1 200 OK\r\nX-Padded: \t padded value \t\r\nX-Folded: one\r\n \t two\r\n"
                   "Content-Length: 2\r\n\r\nok");
    });
    auto rawLoad = load(requestFor(server.url("/raw?q=1#part")));
    auto raw = rawLoad->response();
    ASSERT_TRUE(raw) << (rawLoad->error() ? rawLoad->error()->description()->utf8() : "");
    EXPECT_EQ(raw->valueForHTTPHeaderField("x-padded")->utf8(), "padded value");
    EXPECT_EQ(raw->valueForHTTPHeaderField("X-Folded")->utf8(), "one two");
    EXPECT_EQ(raw->allHeaderFields()->count(), 3u);
    EXPECT_EQ(raw->expectedContentLength(), 2);
    EXPECT_EQ(server.requests().back().target, "/raw?q=1");

    // An interim head before the reply is not reported, nor are its fields in the reply's.
    server.route("/hints", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
        r.writeRaw("HTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\nX-Both: early\r\n\r\n"
                   "HTTP/1.1 201 Created\r\nX-Both: final\r\nContent-Length: 2\r\n\r\nok");
    });
    auto hinted = load("/hints");
    EXPECT_EQ(hinted->log(), (Strings{"response 201", "data", "finish"}));
    ASSERT_TRUE(hinted->response());
    EXPECT_EQ(hinted->response()->valueForHTTPHeaderField("X-Both")->utf8(), "final");
    EXPECT_FALSE(hinted->response()->valueForHTTPHeaderField("Link"));
    EXPECT_EQ(hinted->body(), "ok");
}

TEST_F(URLConnectionTest, RedirectHookCanChangeOrRefuseARedirect) {
    auto changed = std::make_shared<RecordingDelegate>();
    changed->onRedirect = [&](const std::shared_ptr<NSURLRequest>& proposed, const std::shared_ptr<NSURLResponse>& redirect) {
        EXPECT_EQ(std::dynamic_pointer_cast<NSHTTPURLResponse>(redirect)->statusCode(), 302);
        EXPECT_EQ(proposed->URL()->absoluteString()->utf8(), server.url("/hello"));
        return std::static_pointer_cast<NSURLRequest>(requestFor(server.url("/bytes?n=10")));
    };
    startOn(thread, requestFor(server.url("/redirect?n=1")), changed);
    ASSERT_TRUE(changed->waitDone());
    EXPECT_EQ(changed->body(), pattern(10));
    EXPECT_EQ(changed->log(), (Strings{"redirect", "response 200", "data", "finish"}));

    auto refused = std::make_shared<RecordingDelegate>();
    refused->onRedirect = [](const auto&, const auto&) { return std::shared_ptr<NSURLRequest>(); };
    size_t before = server.requestCount();
    startOn(thread, requestFor(server.url("/redirect?n=2")), refused);
    ASSERT_TRUE(refused->waitDone());
    EXPECT_EQ(refused->log(), (Strings{"redirect", "response 302", "finish"}));
    EXPECT_EQ(server.requestCount(), before + 1);
}

TEST_F(URLConnectionTest, RedirectsTurnPostIntoGetExceptFor307And308) {
    for (int status : {301, 302, 303, 307, 308}) {
        auto request = requestFor(server.url("/redirect-to?url=/echo&status=" + std::to_string(status)));
        request->setHTTPMethod("POST");
        request->setHTTPBody(NSData::dataWithString("payload"));
        request->setValue("text/plain", "Content-Type");
        auto d = load(request);
        auto requests = server.requests();
        const auto& second = requests.back();
        EXPECT_EQ(second.path, "/echo");
        bool keeps = status == 307 || status == 308;
        EXPECT_EQ(second.method, keeps ? "POST" : "GET") << status;
        EXPECT_EQ(second.body, keeps ? "payload" : "") << status;
        EXPECT_EQ(second.hasHeader("Content-Type"), keeps) << status;
    }
}

TEST_F(URLConnectionTest, TooManyRedirectsFail) {
    server.route("/loop", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) { r.redirect(302, "/loop"); });
    EXPECT_EQ(load("/loop")->error()->code(), NSURLErrorHTTPTooManyRedirects);
}

TEST_F(URLConnectionTest, CancelInMidBodyEndsAllCallbacks) {
    // On the connection's own thread: the server then resets the connection, which would be a
    // failure callback had the cancel not ended everything.
    auto inside = std::make_shared<RecordingDelegate>();
    inside->onData = [](const auto& connection) { connection->cancel(); };
    startOn(thread, requestFor(server.url("/drop-body?n=1000")), inside);
    ASSERT_TRUE(inside->waitForData());

    // From another thread while the server stalls.
    auto outside = std::make_shared<RecordingDelegate>();
    auto connection = startOn(thread, requestFor(server.url("/stall-body?n=1000")), outside);
    ASSERT_TRUE(outside->waitForData());
    connection->cancel();

    // A later load on the same thread has run to its end: anything queued for the cancelled
    // ones would have been delivered before it.
    load("/drop-body?n=10");
    load("/hello");
    EXPECT_EQ(inside->log(), (Strings{"response 200", "data"}));
    EXPECT_EQ(outside->log(), (Strings{"response 200", "data"}));
}

TEST_F(URLConnectionTest, ReportsTransportFailuresInTheURLErrorDomain) {
    TestHTTPServer closed;
    std::string closedURL = closed.url("/x");
    closed.stop();
    auto refused = load(requestFor(closedURL));
    ASSERT_TRUE(refused->error());
    EXPECT_EQ(refused->error()->domain()->utf8(), "NSURLErrorDomain");
    EXPECT_EQ(refused->error()->code(), NSURLErrorCannotConnectToHost);
    auto failingURL = std::dynamic_pointer_cast<NSURL>(refused->error()->userInfo()->objectForKey(NSURLErrorFailingURLErrorKey));
    ASSERT_TRUE(failingURL);
    EXPECT_EQ(failingURL->absoluteString()->utf8(), closedURL);

    EXPECT_EQ(load("/drop-body?n=1000")->error()->code(), NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(load("/drop")->error()->code(), NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(load(requestFor("http://host.invalid/"))->error()->code(), NSURLErrorCannotFindHost);
    EXPECT_EQ(load(requestFor("ftp://127.0.0.1/"))->error()->code(), NSURLErrorUnsupportedURL);
    auto noURL = std::make_shared<NSMutableURLRequest>();
    EXPECT_EQ(load(noURL)->error()->code(), NSURLErrorBadURL);
}

TEST_F(URLConnectionTest, UploadsTheBodyWithProgress) {
    auto request = requestFor(server.url("/echo"));
    request->setHTTPMethod("PUT");
    request->setHTTPBody(NSData::dataWithString(pattern(200000)));
    auto d = load(request);
    EXPECT_EQ(d->body(), pattern(200000));
    EXPECT_EQ(d->sent(), 200000);
    EXPECT_EQ(d->expectedSent(), 200000);
    EXPECT_EQ(server.requests().back().method, "PUT");
}

TEST_F(URLConnectionTest, CookiesGoBackToTheSameHostOnly) {
    load("/set-cookie?name=sid&value=abc");
    load("/set-cookie?name=theme&value=dark&attrs=Path=/cookies");
    auto same = load("/cookies");
    EXPECT_EQ(same->body(), "theme=dark; sid=abc");  // longer path first
    // The same server under another host name is another host.
    auto other = load(requestFor(server.localhostURL("/cookies")));
    EXPECT_EQ(other->body(), "");
    EXPECT_FALSE(server.requests().back().hasHeader("Cookie"));

    auto noCookies = requestFor(server.url("/cookies"));
    noCookies->setHTTPShouldHandleCookies(false);
    EXPECT_EQ(load(noCookies)->body(), "");

    // An expired cookie from the server deletes the stored one.
    load("/set-cookie?name=sid&value=gone&attrs=Max-Age=0");
    EXPECT_EQ(load("/cookies")->body(), "theme=dark");
}

TEST_F(URLConnectionTest, CookiesOfRedirectRepliesAreStoredAndSentOnTheNextHop) {
    server.route("/login", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
        r.redirect(302, "/cookies", {{"Set-Cookie", "session=s1; Path=/"}, {"X-Between", "1"}, {"set-cookie", "lang=zh; Path=/"}});
    });
    // Every Set-Cookie line of the reply, whatever its spelling and wherever it stands.
    EXPECT_EQ(load("/login")->body(), "session=s1; lang=zh");
}

TEST_F(URLConnectionTest, StalledServerTimesOutAfterTheInactivityInterval) {
    zvt::test::VirtualClockScope clock;
    auto request = requestFor(server.url("/stall-body?n=10"));
    request->setTimeoutInterval(0.5);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto connection = NSURLConnection::initWithRequest(request, delegate);  // the main run loop
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return !delegate->body().empty(); }));
    clock.advanceBy(0.4);
    zvt::test::drainMainLoop();
    EXPECT_FALSE(delegate->done());
    clock.advanceBy(0.2);
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return delegate->done(); }));
    ASSERT_TRUE(delegate->error());
    EXPECT_EQ(delegate->error()->code(), NSURLErrorTimedOut);
    EXPECT_EQ(delegate->log(), (Strings{"response 200", "data", "fail -1001"}));
}

TEST_F(URLConnectionTest, SynchronousSendTimesOutOnTheClock) {
    zvt::test::VirtualClockScope clock;
    auto request = requestFor(server.url("/stall"));
    request->setTimeoutInterval(0.5);
    // The send blocks this thread: the clock moves on once the server has the request.
    std::thread mover([&] {
        server.waitForRequests(1);
        clock.advanceBy(0.4);
        clock.advanceBy(0.2);
    });
    std::shared_ptr<NSError> error;
    auto data = NSURLConnection::sendSynchronousRequest(request, nullptr, &error);
    mover.join();
    EXPECT_FALSE(data);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSURLErrorTimedOut);
}

TEST_F(URLConnectionTest, SynchronousSendReturnsBodyResponseOrError) {
    std::shared_ptr<NSURLResponse> response;
    std::shared_ptr<NSError> error;
    auto data = NSURLConnection::sendSynchronousRequest(requestFor(server.url("/redirect?n=2")), &response, &error);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->view(), "hello");
    EXPECT_FALSE(error);
    EXPECT_EQ(std::dynamic_pointer_cast<NSHTTPURLResponse>(response)->statusCode(), 200);

    TestHTTPServer closed;
    std::string closedURL = closed.url("/");
    closed.stop();
    data = NSURLConnection::sendSynchronousRequest(requestFor(closedURL), &response, &error);
    EXPECT_FALSE(data);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSURLErrorCannotConnectToHost);
}

TEST_F(URLConnectionTest, AConnectionNotStartedNeverCallsBack) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto connection = NSURLConnection::initWithRequest(requestFor(server.url("/hello")), delegate, false);
    connection->scheduleInRunLoop(thread.runLoop(), NSDefaultRunLoopMode);
    connection->cancel();
    connection->start();
    load("/hello");
    EXPECT_TRUE(delegate->log().empty());
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(URLConnectionTest, ACancelOnItsThreadBeforeItsLoopTookTheStartEndsTheLoadThere) {
    // A thread starts a load and cancels it before turning its run loop, then leaves without
    // turning it (a download cancelled as it began): nothing stays in flight or kept alive.
    const size_t before = zvt::urlConnectionLoadsInFlight();
    auto delegate = std::make_shared<RecordingDelegate>();
    std::weak_ptr<NSURLConnection> weak;
    std::thread([&] {
        auto connection = NSURLConnection::initWithRequest(requestFor(server.url("/hello")), delegate, false);
        connection->start();
        EXPECT_EQ(zvt::urlConnectionLoadsInFlight(), before + 1);
        connection->cancel();
        weak = connection;
    }).join();
    EXPECT_EQ(zvt::urlConnectionLoadsInFlight(), before);
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(delegate->log().empty());
    EXPECT_EQ(server.requestCount(), 0u);
}

}  // namespace

namespace {

class StreamedBodyTest : public URLConnectionTest {};

TEST_F(StreamedBodyTest, StreamsGoOutChunkedOrWithTheirLength) {
    auto chunked = requestFor(server.url("/echo"));
    chunked->setHTTPMethod("POST");
    chunked->setHTTPBodyStream(NSInputStream::inputStreamWithData(NSData::dataWithString(pattern(70000))));
    EXPECT_EQ(load(chunked)->body(), pattern(70000));
    EXPECT_EQ(server.requests().back().header("Transfer-Encoding"), "chunked");

    auto sized = requestFor(server.url("/echo"));
    sized->setHTTPMethod("POST");
    sized->setValue("5", "Content-Length");
    sized->setHTTPBodyStream(NSInputStream::inputStreamWithData(NSData::dataWithString("abcde")));
    EXPECT_EQ(load(sized)->body(), "abcde");
    EXPECT_EQ(server.requests().back().header("Content-Length"), "5");
}

TEST_F(StreamedBodyTest, ARedirectKeepingTheBodyAsksForANewStream) {
    struct NewStream : RecordingDelegate {
        int asked = 0;
        std::shared_ptr<NSInputStream> connectionNeedNewBodyStream(const Connection&, const std::shared_ptr<NSURLRequest>&) override {
            ++asked;
            return NSInputStream::inputStreamWithData(NSData::dataWithString("again"));
        }
    };
    auto request = requestFor(server.url("/redirect-to?url=/echo&status=307"));
    request->setHTTPMethod("POST");
    request->setHTTPBodyStream(NSInputStream::inputStreamWithData(NSData::dataWithString("first")));
    auto delegate = std::make_shared<NewStream>();
    startOn(thread, request, delegate);
    ASSERT_TRUE(delegate->waitDone());
    EXPECT_EQ(delegate->asked, 1);
    EXPECT_EQ(delegate->body(), "again");

    auto without = requestFor(server.url("/redirect-to?url=/echo&status=307"));
    without->setHTTPMethod("POST");
    without->setHTTPBodyStream(NSInputStream::inputStreamWithData(NSData::dataWithString("first")));
    auto failed = load(without);
    ASSERT_TRUE(failed->error());
    EXPECT_EQ(failed->error()->code(), -1021);
}

}  // namespace

namespace {

TEST_F(URLConnectionTest, RangeRequestsResumeFromAnOffset) {
    auto resume = requestFor(server.url("/range?n=30"));
    resume->setValue("bytes=10-", "Range");
    resume->setValue("\"v1\"", "If-Range");
    auto d = load(resume);
    EXPECT_EQ(d->response()->statusCode(), 206);
    EXPECT_EQ(d->response()->valueForHTTPHeaderField("Content-Range")->utf8(), "bytes 10-29/30");
    EXPECT_EQ(d->response()->expectedContentLength(), 20);
    EXPECT_EQ(d->body(), pattern(30).substr(10));
    EXPECT_EQ(server.requests().back().header("If-Range"), "\"v1\"");

    auto beyond = requestFor(server.url("/range?n=30"));
    beyond->setValue("bytes=50-", "Range");
    EXPECT_EQ(load(beyond)->response()->statusCode(), 416);
    EXPECT_EQ(load("/range?n=30")->response()->statusCode(), 200);
}

}  // namespace

namespace {

TEST_F(URLConnectionTest, AConnectionRunsOnlyInTheModesItIsScheduledIn) {
    auto common = std::make_shared<RecordingDelegate>();
    auto viaCommon = NSURLConnection::initWithRequest(requestFor(server.url("/hello")), common, false);
    viaCommon->scheduleInRunLoop(thread.runLoop(), NSRunLoopCommonModes);
    viaCommon->start();
    thread.runLoop()->wakeUp();
    ASSERT_TRUE(common->waitDone());
    EXPECT_EQ(common->body(), "hello");

    const std::string privateMode = "com.zavelto.test.private";
    auto delegate = std::make_shared<RecordingDelegate>();
    auto connection = NSURLConnection::initWithRequest(requestFor(server.url("/bytes?n=10")), delegate, false);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), privateMode);
    connection->start();
    size_t before = server.requestCount();
    zvt::test::runMainLoopUntil([] { return false; }, 0.2);  // the default mode only
    EXPECT_EQ(server.requestCount(), before);
    EXPECT_TRUE(delegate->log().empty());
    for (int i = 0; i < 200 && !delegate->done(); ++i) NSRunLoop::mainRunLoop()->runModeWithin(privateMode, 0.05);
    EXPECT_EQ(delegate->log(), (Strings{"response 200", "data", "finish"}));
}

}  // namespace

namespace {

TEST_F(URLConnectionTest, TheTimeOutCountsOnlyInactivity) {
    zvt::test::VirtualClockScope clock;
    auto request = requestFor(server.url("/slow?pieces=6&ms=30"));
    request->setTimeoutInterval(0.5);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto connection = NSURLConnection::initWithRequest(request, delegate);  // the main run loop
    size_t seen = 0;
    // Each piece arrives before 0.5 s of (virtual) silence, though together they take 1.8 s.
    while (!delegate->done()) {
        ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return delegate->body().size() > seen || delegate->done(); }));
        seen = delegate->body().size();
        clock.advanceBy(0.3);
    }
    EXPECT_FALSE(delegate->error());
    EXPECT_EQ(delegate->body(), "xxxxxx");
}

}  // namespace

namespace {

// The connections of a thread share one time-out timer. A connection scheduled in a mode the
// thread's loads had not used before still times out while the loop runs only in that mode,
// though the timer was armed, for an earlier load, before the mode was known.
TEST_F(URLConnectionTest, ATimeOutFiresInAModeAddedAfterTheTimerWasArmed) {
    zvt::test::VirtualClockScope clock;
    auto loop = NSRunLoop::mainRunLoop();
    auto first = std::make_shared<RecordingDelegate>();
    auto firstConnection = NSURLConnection::initWithRequest(requestFor(server.url("/hello")), first);  // default mode
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return first->done(); }));

    const std::string privateMode = "com.zavelto.test.timeout";
    auto request = requestFor(server.url("/stall"));
    request->setTimeoutInterval(100);  // later than the first load's time-out, still armed
    auto delegate = std::make_shared<RecordingDelegate>();
    auto connection = NSURLConnection::initWithRequest(request, delegate, false);
    connection->scheduleInRunLoop(loop, privateMode);
    size_t before = server.requestCount();
    connection->start();
    for (int i = 0; i < 200 && server.requestCount() == before; ++i) loop->runModeWithin(privateMode, 0.05);
    ASSERT_TRUE(server.waitForRequests(before + 1));

    // Advanced on the loop's thread while it runs in that mode only: due timers fire at once.
    loop->performInModes({privateMode}, [&] { clock.advanceBy(101); });
    for (int i = 0; i < 40 && !delegate->done(); ++i) loop->runModeWithin(privateMode, 0.05);
    ASSERT_TRUE(delegate->done());
    ASSERT_TRUE(delegate->error());
    EXPECT_EQ(delegate->error()->code(), NSURLErrorTimedOut);
}

}  // namespace

namespace {

// The connections of a thread share one time-out timer. A load that had activity is checked at
// its old deadline and re-arms for a later one from inside the timer's own fire; a stalled load
// due in between must still time out at its own deadline, not at the other load's.
TEST_F(URLConnectionTest, AStalledLoadTimesOutAtItsDeadlineWhenAnotherLoadReArmsLater) {
    zvt::test::VirtualClockScope clock;
    // Shared with the server's thread, which may outlive a failed assertion here.
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        void release() {
            std::lock_guard lock(mutex);
            open = true;
            changed.notify_all();
        }
    };
    auto gate = std::make_shared<Gate>();
    // A first piece at once, a second when the test says so, then silence.
    server.route("/two-pieces", [gate](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
        r.writeHead(200, {{"Transfer-Encoding", "chunked"}});
        r.writeChunk("a");
        {
            std::unique_lock lock(gate->mutex);
            gate->changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate->open; });
        }
        r.writeChunk("b");
        r.stall();
    });

    auto busyRequest = requestFor(server.url("/two-pieces"));
    busyRequest->setTimeoutInterval(10);
    auto busy = std::make_shared<RecordingDelegate>();
    auto busyConnection = NSURLConnection::initWithRequest(busyRequest, busy);  // the main run loop
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return busy->body() == "a"; }));  // due at 10

    clock.advanceBy(1);
    auto stalledRequest = requestFor(server.url("/stall"));
    stalledRequest->setTimeoutInterval(10);
    auto stalled = std::make_shared<RecordingDelegate>();
    auto stalledConnection = NSURLConnection::initWithRequest(stalledRequest, stalled);
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return server.requestCount() == 2; }));  // due at 11
    zvt::test::drainMainLoop();

    clock.advanceBy(4);
    gate->release();
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return busy->body() == "ab"; }));  // activity at 5

    clock.advanceBy(5);  // 10: the busy load is checked and re-arms for 15
    zvt::test::drainMainLoop();
    EXPECT_FALSE(busy->done());
    EXPECT_FALSE(stalled->done());

    clock.advanceBy(1.5);  // 11.5
    EXPECT_TRUE(zvt::test::runMainLoopUntil([&] { return stalled->done(); }, 2.0));
    EXPECT_EQ(stalled->log(), (Strings{"fail -1001"}));
    EXPECT_FALSE(busy->done());

    clock.advanceBy(4);  // 15.5: the busy load's own time-out
    EXPECT_TRUE(zvt::test::runMainLoopUntil([&] { return busy->done(); }, 2.0));
    EXPECT_EQ(busy->log(), (Strings{"response 200", "data", "fail -1001"}));
}

}  // namespace
