// Sequential keep-alive GETs of a 1 KiB body on loopback: NSURLConnection on a run loop versus a
// plain libcurl easy handle that reuses its connection. Both talk to the same test server.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "platform/foundation/NSRunLoop.h"
#include "platform/network/NSURLConnection.h"
#include "tests/support/TestHTTPServer.h"

namespace {

zvt::test::TestHTTPServer& server() {
    static zvt::test::TestHTTPServer* s = [] {
        auto* created = new zvt::test::TestHTTPServer();
        created->installStandardRoutes();
        return created;
    }();
    return *s;
}

class Collector final : public NSURLConnectionDelegate {
public:
    size_t bytes = 0;
    bool done = false;
    bool failed = false;
    void connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>& data) override { bytes += data->length(); }
    void connectionDidFinishLoading(const Connection&) override { done = true; }
    void connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>&) override {
        failed = true;
        done = true;
    }
};

void BM_NSURLConnection(benchmark::State& state) {
    auto url = NSURL::URLWithString(server().url("/bytes?n=1024"));
    auto runLoop = NSRunLoop::currentRunLoop();
    for (auto _ : state) {
        auto delegate = std::make_shared<Collector>();
        auto connection = NSURLConnection::initWithRequest(NSURLRequest::requestWithURL(url), delegate);
        while (!delegate->done) runLoop->runModeWithin(NSDefaultRunLoopMode, 1.0);
        if (delegate->failed || delegate->bytes != 1024) {
            state.SkipWithError("load failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NSURLConnection)->UseRealTime();

size_t discard(char*, size_t size, size_t count, void* total) {
    *static_cast<size_t*>(total) += size * count;
    return size * count;
}

void BM_CurlEasyHandle(benchmark::State& state) {
    std::string url = server().url("/bytes?n=1024");
    CURL* easy = curl_easy_init();
    size_t bytes = 0;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
    for (auto _ : state) {
        bytes = 0;
        if (curl_easy_perform(easy) != CURLE_OK || bytes != 1024) {
            state.SkipWithError("load failed");
            break;
        }
    }
    curl_easy_cleanup(easy);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CurlEasyHandle)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
