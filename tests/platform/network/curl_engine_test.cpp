// The engine alone against the loopback server: what curl reports reaches the client in order,
// outside curl's callbacks, and a stopped transfer reports nothing more.
#include "platform/network/CurlEngine.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "tests/platform/network/PollLoop.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::PollLoop;
using zvt::test::TestHTTPServer;

struct Recorder : zvt::CurlTransferClient {
    std::vector<std::string> log;
    int status = 0;
    zvt::HTTPHeaderList headers;
    std::string body;
    int result = -1;
    std::string message;
    int64_t sentTotal = 0;
    int64_t expectedSent = 0;
    bool done = false;
    std::function<void()> onData;

    void transferDidReceiveResponse(int s, const std::string&, const zvt::HTTPHeaderList& h) override {
        log.push_back("response " + std::to_string(s));
        status = s;
        headers = h;
    }
    void transferDidReceiveData(std::string data) override {
        if (log.empty() || log.back() != "data") log.push_back("data");
        body += data;
        if (onData) onData();
    }
    void transferDidSendBodyData(int64_t, int64_t total, int64_t expected) override {
        sentTotal = total;
        expectedSent = expected;
    }
    void transferDidComplete(int r, long, const std::string& m) override {
        log.push_back("done");
        result = r;
        message = m;
        done = true;
    }
    zvt::TrustAnswer transferEvaluateServerTrust(const std::vector<std::string>&, const std::string&, int) override {
        return zvt::TrustAnswer::Accept;
    }
};

class CurlEngineTest : public ::testing::Test {
protected:
    void SetUp() override { server.installStandardRoutes(); }
    std::shared_ptr<Recorder> run(zvt::CurlTransferRequest transferRequest) {
        auto client = std::make_shared<Recorder>();
        transfer = engine.start(transferRequest, client);
        EXPECT_TRUE(loop.runUntil([&] { return client->done; }));
        return client;
    }
    TestHTTPServer server;
    PollLoop loop;
    zvt::CurlEngine engine{loop};
    std::shared_ptr<zvt::CurlTransfer> transfer;
};

TEST_F(CurlEngineTest, DeliversHeadBodyAndEndInOrder) {
    for (const char* path : {"/bytes?n=100000", "/chunked?n=5000&size=33", "/gzip?n=20000", "/deflate?n=3000"}) {
        auto c = run(zvt::CurlTransferRequest{server.url(path)});
        EXPECT_EQ(c->log, (std::vector<std::string>{"response 200", "data", "done"})) << path;
        EXPECT_EQ(c->result, CURLE_OK);
        size_t n = std::stoul(std::string(path).substr(std::string(path).find("n=") + 2));
        ASSERT_EQ(c->body.size(), n) << path;
        EXPECT_EQ(c->body[27], 'b');
    }
}

TEST_F(CurlEngineTest, RedirectsAreReportedNotFollowed) {
    auto c = run(zvt::CurlTransferRequest{server.url("/redirect?n=2")});
    EXPECT_EQ(c->status, 302);
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(CurlEngineTest, UploadsTheBodyWithProgress) {
    zvt::CurlTransferRequest transferRequest{server.url("/echo"), "PUT"};
    transferRequest.hasBody = true;
    transferRequest.body = std::make_shared<std::string>(300000, 'q');
    auto c = run(transferRequest);
    EXPECT_EQ(c->body, *transferRequest.body);
    EXPECT_EQ(c->sentTotal, 300000);
    EXPECT_EQ(c->expectedSent, 300000);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_FALSE(requests[0].hasHeader("Expect"));
    EXPECT_FALSE(requests[0].hasHeader("Content-Type"));
}

TEST_F(CurlEngineTest, KeepsTheConnectionAlive) {
    run(zvt::CurlTransferRequest{server.url("/hello")});
    run(zvt::CurlTransferRequest{server.url("/hello")});
    run(zvt::CurlTransferRequest{server.url("/hello")});
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(CurlEngineTest, StopInMidBodyEndsAllReports) {
    auto client = std::make_shared<Recorder>();
    client->onData = [&] { engine.stop(transfer); };
    transfer = engine.start(zvt::CurlTransferRequest{server.url("/stall-body?n=5000")}, client);
    EXPECT_TRUE(loop.runUntil([&] { return !client->body.empty(); }));
    loop.runUntil([] { return false; }, 0.2);
    EXPECT_EQ(client->log, (std::vector<std::string>{"response 200", "data"}));
    EXPECT_EQ(engine.activeCount(), 0u);
}

TEST_F(CurlEngineTest, ReportsTransportFailures) {
    TestHTTPServer closed;
    std::string closedURL = closed.url("/");
    closed.stop();
    EXPECT_EQ(run(zvt::CurlTransferRequest{closedURL})->result, CURLE_COULDNT_CONNECT);
    auto dropped = run(zvt::CurlTransferRequest{server.url("/drop-body?n=1000")});
    EXPECT_TRUE(dropped->result == CURLE_PARTIAL_FILE || dropped->result == CURLE_RECV_ERROR) << dropped->result;
    int nothing = run(zvt::CurlTransferRequest{server.url("/drop")})->result;
    EXPECT_TRUE(nothing == CURLE_GOT_NOTHING || nothing == CURLE_RECV_ERROR) << nothing;
}

TEST_F(CurlEngineTest, AnExceptionFromTheClientLeavesTheRestQueued) {
    struct Throwing : Recorder {
        bool thrown = false;
        void transferDidReceiveResponse(int s, const std::string& v, const zvt::HTTPHeaderList& h) override {
            Recorder::transferDidReceiveResponse(s, v, h);
            if (!thrown) {
                thrown = true;
                throw std::runtime_error("delegate failure");
            }
        }
    };
    auto client = std::make_shared<Throwing>();
    transfer = engine.start(zvt::CurlTransferRequest{server.url("/hello")}, client);
    EXPECT_THROW(loop.runUntil([&] { return client->done; }), std::runtime_error);
    EXPECT_TRUE(loop.runUntil([&] { return client->done; }));
    EXPECT_EQ(client->body, "hello");
}

}  // namespace
