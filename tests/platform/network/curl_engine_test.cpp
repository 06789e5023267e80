// The engine alone against the loopback server: what curl reports reaches the client in order,
// outside curl's callbacks, and a stopped transfer reports nothing more.
#include "platform/network/CurlEngine.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "tests/platform/network/PollLoop.h"
#include "tests/support/TestCertificates.h"
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
    std::string upload;  // a streamed body
    size_t uploaded = 0;

    void transferDidReceiveResponse(int s, const std::string&, zvt::HTTPHeaderList h) override {
        log.push_back("response " + std::to_string(s));
        status = s;
        headers = std::move(h);
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
    void transferDidComplete(int r, long, std::string_view m) override {
        log.push_back("done");
        result = r;
        message = m;
        done = true;
    }
    zvt::TrustAnswer transferEvaluateServerTrust(const std::vector<std::string>&, const std::string&, int) override {
        return zvt::TrustAnswer::Accept;
    }
    int64_t transferReadBody(char* buffer, size_t size) override {
        size_t n = std::min(size, upload.size() - uploaded);
        upload.copy(buffer, n, uploaded);
        uploaded += n;
        return static_cast<int64_t>(n);
    }
};

// Gives the request a body held in memory, kept with what the request kept before.
void giveBody(zvt::CurlTransferRequest& r, std::string body) {
    auto kept = std::make_shared<const std::pair<std::shared_ptr<const void>, std::string>>(r.owner, std::move(body));
    r.hasBody = true;
    r.body = kept->second;
    r.owner = std::move(kept);
}

class CurlEngineTest : public ::testing::Test {
protected:
    void SetUp() override { server.installStandardRoutes(); }
    std::shared_ptr<Recorder> run(zvt::CurlTransferRequest transferRequest, std::string upload = {}) {
        auto client = std::make_shared<Recorder>();
        client->upload = std::move(upload);
        transfer.reset();  // its handle goes back to the pool for this transfer
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
    giveBody(transferRequest, std::string(300000, 'q'));
    auto c = run(transferRequest);
    EXPECT_EQ(c->body, transferRequest.body);
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

// Handles are kept with their options from one transfer to the next: whatever ran on a handle
// before, a request goes out and comes back as it does on a fresh handle.
TEST_F(CurlEngineTest, AKeptHandleSendsEachRequestAsAFreshOne) {
    struct Case {
        std::string name;
        zvt::CurlTransferRequest request;
        std::string upload;
    };
    auto make = [&](std::string method, std::string path, zvt::HTTPHeaderList headers, int body, std::string upload = {}) {
        zvt::CurlTransferRequest r{server.url(path), std::move(method)};
        r.headers = std::make_shared<zvt::HTTPHeaderList>(std::move(headers));
        if (body == 1) {
            giveBody(r, "body of " + std::string(r.method));
        } else if (body == 2) {
            r.hasBody = true;
            r.streamLength = static_cast<int64_t>(upload.size());
        } else if (body == 3) {
            r.hasBody = true;  // streamed, length unknown: chunked
        }
        return Case{std::string(r.method) + " " + path, std::move(r), std::move(upload)};
    };
    std::vector<Case> cases = {
        make("GET", "/echo?a", {{"X-One", "1"}}, 0),
        make("HEAD", "/hello", {}, 0),
        make("POST", "/echo?b", {{"Content-Type", "application/json"}}, 1),
        make("PUT", "/echo?c", {}, 1),
        make("POST", "/echo?d", {}, 0),
        make("DELETE", "/echo?e", {{"X-Two", ""}}, 0),
        make("POST", "/echo?f", {}, 2, "streamed with a length"),
        make("PATCH", "/echo?g", {}, 3, "streamed in chunks"),
        make("GET", "/bytes?n=10", {}, 0),
    };
    cases.push_back(make("GET", "/echo?auth", {}, 0));
    cases.back().request.basicAuth = true;
    cases.back().request.user = "ann";
    cases.back().request.password = "secret";

    // What the server read and what the client got.
    auto outcome = [&](const Case& c, zvt::CurlEngine& on) {
        auto client = std::make_shared<Recorder>();
        client->upload = c.upload;
        transfer.reset();
        size_t before = server.requestCount();
        transfer = on.start(c.request, client);
        EXPECT_TRUE(loop.runUntil([&] { return client->done; })) << c.name;
        std::string text = std::to_string(client->status) + " " + std::to_string(client->result) + " " + client->body + "\n";
        auto requests = server.requests();
        if (requests.size() != before + 1) return text + "no single request";
        const auto& seen = requests.back();
        text += seen.method + " " + seen.target + "\n";
        for (const auto& [name, value] : seen.headers) text += name + ": " + value + "\n";
        return text + seen.body;
    };
    std::vector<std::string> fresh;
    for (const auto& c : cases) {
        zvt::CurlEngine own{loop};
        fresh.push_back(outcome(c, own));
    }
    EXPECT_NE(fresh[6].find("Content-Length: 22"), std::string::npos) << fresh[6];
    EXPECT_NE(fresh[7].find("Transfer-Encoding: chunked"), std::string::npos) << fresh[7];
    EXPECT_NE(fresh[9].find("Authorization: Basic"), std::string::npos) << fresh[9];
    for (const auto& before : cases) {
        for (size_t i = 0; i < cases.size(); ++i) {
            outcome(before, engine);
            EXPECT_EQ(outcome(cases[i], engine), fresh[i]) << cases[i].name << " after " << before.name;
        }
    }
}

TEST_F(CurlEngineTest, PlainRequestsShareAConnectionAgainAfterATLSOne) {
    auto tlsServer = std::make_unique<TestHTTPServer>(
        zvt::test::TLSIdentity{zvt::test::TestCertificates::shared().localhost.chainPEM, zvt::test::TestCertificates::shared().localhost.keyPEM});
    tlsServer->installStandardRoutes();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(run(zvt::CurlTransferRequest{tlsServer->localhostURL("/hello")})->body, "hello");
        EXPECT_EQ(run(zvt::CurlTransferRequest{tlsServer->localhostURL("/hello")})->body, "hello");
        run(zvt::CurlTransferRequest{server.url("/hello")});
        run(zvt::CurlTransferRequest{server.url("/hello")});
    }
    // Every TLS request has a connection of its own; plain ones keep theirs.
    EXPECT_EQ(tlsServer->connectionCount(), 4);
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

// A head, its body and the end come in one round: what the client does in the head's report
// decides what it gets of the rest.
TEST_F(CurlEngineTest, NothingMoreReachesAStoppedTransferOrAClientThatWentAway) {
    struct Client : zvt::CurlTransferClient {
        std::vector<std::string>* seen = nullptr;
        std::function<void()> onResponse;
        void transferDidReceiveResponse(int, const std::string&, zvt::HTTPHeaderList) override {
            seen->push_back("response");
            onResponse();
        }
        void transferDidReceiveData(std::string) override { seen->push_back("data"); }
        void transferDidSendBodyData(int64_t, int64_t, int64_t) override {}
        void transferDidComplete(int, long, std::string_view) override { seen->push_back("done"); }
        zvt::TrustAnswer transferEvaluateServerTrust(const std::vector<std::string>&, const std::string&, int) override {
            return zvt::TrustAnswer::Accept;
        }
    };
    enum What { Nothing, StopAndDropTheTransfer, DropTheClient };
    const std::vector<std::pair<What, std::vector<std::string>>> cases = {
        {Nothing, {"response", "data", "done"}},
        {StopAndDropTheTransfer, {"response"}},
        {DropTheClient, {"response"}},
    };
    // The reply waits until start() has returned the transfer (a fast reply could otherwise
    // be delivered from inside start()).
    std::mutex mutex;
    std::condition_variable started;
    bool go = false;
    server.route("/after-start", [&](const auto&, auto& r) {
        std::unique_lock lock(mutex);
        started.wait(lock, [&] { return go; });
        go = false;
        // Let go before replying: once the reply is out the test may end, and the mutex with it.
        lock.unlock();
        r.send(200, "hello");
    });
    for (const auto& [what, expected] : cases) {
        std::vector<std::string> seen;
        auto client = std::make_shared<Client>();
        std::weak_ptr<Client> weak = client;
        client->seen = &seen;
        client->onResponse = [&, what = what] {
            if (what == StopAndDropTheTransfer) {
                engine.stop(transfer);
                transfer.reset();
            } else if (what == DropTheClient) {
                client.reset();
            }
        };
        transfer = engine.start(zvt::CurlTransferRequest{server.url("/after-start")}, client);
        {
            std::lock_guard lock(mutex);
            go = true;
        }
        started.notify_one();
        EXPECT_TRUE(loop.runUntil([&] { return !seen.empty(); })) << what;
        EXPECT_EQ(seen, expected) << what;
        // The transfer has left the engine in every case, its client there or not.
        EXPECT_TRUE(loop.runUntil([&] { return engine.activeCount() == 0; })) << what;
        EXPECT_TRUE(weak.expired() || client) << what;
        client.reset();
        transfer.reset();
    }
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
        void transferDidReceiveResponse(int s, const std::string& v, zvt::HTTPHeaderList h) override {
            Recorder::transferDidReceiveResponse(s, v, std::move(h));
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
