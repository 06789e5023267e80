// Many connections at once on several run-loop threads, with cancels from another thread:
// built and run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include "platform/network/NSURLConnection.h"
#include "tests/platform/network/ConnectionTestSupport.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::RecordingDelegate;
using zvt::test::requestFor;
using zvt::test::RunLoopThread;
using zvt::test::startOn;

TEST(URLConnectionStress, TwoHundredConnectionsOnFourRunLoopThreads) {
    zvt::test::TestHTTPServer server;
    server.installStandardRoutes();
    std::vector<std::unique_ptr<RunLoopThread>> threads;
    for (int i = 0; i < 4; ++i) threads.push_back(std::make_unique<RunLoopThread>());

    struct Load {
        std::shared_ptr<RecordingDelegate> delegate;
        std::shared_ptr<NSURLConnection> connection;
        size_t thread;
        size_t expected;  // body size, or 0 for a load that is cancelled
    };
    std::vector<Load> loads;
    for (size_t i = 0; i < 200; ++i) {
        size_t n = 100 + i * 37;
        std::string path;
        switch (i % 5) {
            case 0: path = "/bytes?n=" + std::to_string(n); break;
            case 1: path = "/chunked?n=" + std::to_string(n) + "&size=61"; break;
            case 2: path = "/gzip?n=" + std::to_string(n); break;
            case 3: path = "/redirect?n=2"; n = 5; break;
            case 4: path = "/stall-body?n=50"; n = 0; break;
        }
        auto delegate = std::make_shared<RecordingDelegate>();
        size_t t = i % threads.size();
        auto connection = startOn(*threads[t], requestFor(server.url(path)), delegate);
        loads.push_back({delegate, connection, t, n});
    }
    for (auto& load : loads) {
        if (load.expected == 0) {
            ASSERT_TRUE(load.delegate->waitForData());
            load.connection->cancel();
        }
    }
    for (auto& load : loads) {
        if (load.expected == 0) continue;
        ASSERT_TRUE(load.delegate->waitDone(30));
        EXPECT_FALSE(load.delegate->error());
        EXPECT_EQ(load.delegate->body().size(), load.expected);
        for (auto id : load.delegate->threads()) EXPECT_EQ(id, threads[load.thread]->threadId());
    }
    for (auto& load : loads) {
        if (load.expected == 0) {
            EXPECT_FALSE(load.delegate->done());
        }
    }
}

}  // namespace
