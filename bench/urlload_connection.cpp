// URL loading side by side with libcurl. Both sides do the same work per request: a GET of a
// 1 KiB body on a kept-alive connection to the same loopback server (a child process, so that
// its CPU time is not counted; pin it elsewhere with ZVT_BENCH_SERVER_CPUS), counting the bytes
// received. Ours is NSURLConnection on the calling thread's run loop; the peer a plain libcurl
// easy handle that reuses its connection. Each reports wall-clock time per request (real time)
// and the whole process's CPU time per request (cpu_us_per_item) and context switches, on idle
// cores and with a busy loop on every core of the benchmark's affinity (GET_1KiB/busy/...),
// ours as configured by default (no spinning) and with the spin before sleep on (ours_spin).
// Pin the run with taskset to one or two cores.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "bench/support/HelperProcesses.h"
#include "bench/support/ProcessCPU.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/SpinWait.h"
#include "platform/network/NSURLConnection.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using namespace zvt::bench;

std::string& serverBase() {
  static std::string base;
  return base;
}

void startServer() {
  int port = forkServer([] {
    auto* created = new zvt::test::TestHTTPServer();
    created->installStandardRoutes();
    return static_cast<int>(created->port());
  });
  serverBase() = "http://127.0.0.1:" + std::to_string(port);
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

void GET_NSURLConnection(benchmark::State& state, bool busyCores, bool spinning) {
  auto url = NSURL::URLWithString(serverBase() + "/bytes?n=1024");
  auto runLoop = NSRunLoop::currentRunLoop();
  bool savedSpin = zvt::spinBeforeSleep();
  zvt::setSpinBeforeSleep(spinning);
  BusyCoresScope busy(busyCores);
  {
    ProcessCPUCounter cpu(state);
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
  zvt::setSpinBeforeSleep(savedSpin);
}

size_t discard(char*, size_t size, size_t count, void* total) {
  *static_cast<size_t*>(total) += size * count;
  return size * count;
}

void GET_CurlEasyHandle(benchmark::State& state, bool busyCores) {
  std::string url = serverBase() + "/bytes?n=1024";
  CURL* easy = curl_easy_init();
  size_t bytes = 0;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
  BusyCoresScope busy(busyCores);
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      bytes = 0;
      if (curl_easy_perform(easy) != CURLE_OK || bytes != 1024) {
        state.SkipWithError("load failed");
        break;
      }
    }
    state.SetItemsProcessed(state.iterations());
  }
  curl_easy_cleanup(easy);
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread exists: the helper processes are forked.
  startServer();
  CoreLoad::shared().prepare();
  // GET_1KiB/<cores>/<side>: "ours" with the default settings (no spinning), "ours_spin" with
  // the spin before sleep on, "curl" the peer; "idle" cores or "busy" ones.
  for (bool busyCores : {false, true}) {
    const std::string group = std::string("GET_1KiB/") + (busyCores ? "busy" : "idle") + "/";
    benchmark::RegisterBenchmark((group + "ours").c_str(), GET_NSURLConnection, busyCores, false)->UseRealTime();
    benchmark::RegisterBenchmark((group + "ours_spin").c_str(), GET_NSURLConnection, busyCores, true)->UseRealTime();
    benchmark::RegisterBenchmark((group + "curl").c_str(), GET_CurlEasyHandle, busyCores)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
