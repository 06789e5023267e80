// The HTTP layer's speed side by side with its peers, in one run.
//
// POSTs: both sides do the same work per request: encode the same small dictionary with our
// JSON codec, POST it ("Content-Type: application/json") on a kept-alive connection to the same
// loopback server (a child process, so that its CPU time is not counted; pin it elsewhere with
// ZVT_BENCH_SERVER_CPUS), wait for the reply and decode its JSON object with our codec. Ours goes
// through NWHTTPRequestOperationManager with the JSON serializers (network thread, processing
// queue, success block on the main queue); the peer is a libcurl easy handle on the calling
// thread that sends the same request head (the header lines of our serializer's request, in its
// order; gzip and deflate offered and decoded, as our URL loading does; no signal handlers, as
// ours installs none) and checks the reply's status and content type as our serializer does.
// Each reports wall-clock time per request (real time) and the whole process's CPU time per
// request (cpu_us_per_item: every thread, spinning included) and its context switches, on
// idle cores and with a busy loop on every core of the benchmark's affinity (POST/busy/...),
// ours as configured by default (no spinning) and with the spin before sleep on (ours_spin).
// Pin the run with taskset to one or two cores.
//
// Images: a 1920 x 1080 PNG and JPEG through the image response serializer, against libpng and
// libjpeg-turbo called directly, on the same bytes into the same 8-bit RGB rows.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/http/NWHTTPRequestOperationManager.h"
#include "foundation/http/NWImageResponseSerializer.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Foundation.h"
#include "bench/support/BenchImages.h"
#include "bench/support/HelperProcesses.h"
#include "bench/support/ProcessCPU.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/SpinWait.h"
#include "platform/graphics/UIImage.h"
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
    created->route("/api/client.php", [](const zvt::test::HTTPRequest& q, zvt::test::HTTPResponder& r) {
      r.send(200, {{"Content-Type", "application/json"}}, "{\"code\":101,\"time\":\"1480000000\",\"len\":" + std::to_string(q.body.size()) + "}");
    });
    return static_cast<int>(created->port());
  });
  serverBase() = "http://127.0.0.1:" + std::to_string(port);
}

std::shared_ptr<NSDictionary> parameters() {
  return NSDictionary::make({{"code"_ns, "0123456789abcdef0123456789abcdef"_ns}, {"number"_ns, 1_n}, {"ps"_ns, 12_n}});
}

// Restores the spin setting a benchmark changed.
class SpinScope {
 public:
  explicit SpinScope(bool on) : saved_(zvt::spinBeforeSleep()) { zvt::setSpinBeforeSleep(on); }
  ~SpinScope() { zvt::setSpinBeforeSleep(saved_); }
  SpinScope(const SpinScope&) = delete;
  SpinScope& operator=(const SpinScope&) = delete;

 private:
  bool saved_;
};

void POST_Manager(benchmark::State& state, bool busyCores, bool spinning) {
  auto manager = NWHTTPRequestOperationManager::initWithBaseURL(NSURL::URLWithString(NSString::stringWithUTF8String(serverBase() + "/api")));
  manager->setRequestSerializer(NWJSONRequestSerializer::serializer());
  manager->setResponseSerializer(NWJSONResponseSerializer::serializer());
  auto params = parameters();
  auto loop = NSRunLoop::mainRunLoop();
  SpinScope spin(spinning);
  BusyCoresScope busy(busyCores);
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      bool done = false, ok = false;
      manager->POST("client.php?m=get_time"_ns, params,
                    [&](const std::shared_ptr<NWHTTPRequestOperation>&, const id& object) {
                      ok = zvt::isKind<NSDictionary>(object);
                      done = true;
                    },
                    [&](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) { done = true; });
      while (!done) loop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
      if (!ok) {
        state.SkipWithError("request failed");
        break;
      }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
}

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// The peer's easy handle: the URL, our serializer's header lines and the options our URL
// loading sets that change what goes on the wire or what the process does (encodings, signals).
struct PeerHandle {
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  std::string url = serverBase() + "/api/client.php?m=get_time";
  std::string reply;

  explicit PeerHandle(const std::shared_ptr<NSDictionary>& params) {
    // The header lines our manager sends with its default serializer (Accept-Language,
    // User-Agent, Content-Type), taken from the request it makes, in the same order.
    auto request = NWJSONRequestSerializer::serializer()->requestWithMethod("POST"_ns, NSString::stringWithUTF8String(url), params);
    auto fields = request->allHTTPHeaderFields();
    for (const id& name : *fields) {
      std::string line = zvt::as<NSString>(name)->UTF8String() + std::string(": ") + zvt::as<NSString>(fields->objectForKey(name))->UTF8String();
      headers = curl_slist_append(headers, line.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    // As our URL loading does: gzip and deflate offered (and decoded), no signal handlers.
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  }
  ~PeerHandle() {
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
  }
  PeerHandle(const PeerHandle&) = delete;
  PeerHandle& operator=(const PeerHandle&) = delete;

  // Posts the body and decodes the reply; nil when either fails.
  id post(const std::shared_ptr<NSData>& body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->length()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->bytes());
    reply.clear();
    if (curl_easy_perform(curl) != CURLE_OK) return nullptr;
    // The checks our JSON response serializer makes before it reads the body: an acceptable
    // status and a JSON content type.
    long status = 0;
    char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    if (status < 200 || status > 299 || !type || std::strncmp(type, "application/json", 16) != 0) return nullptr;
    return NSJSONSerialization::JSONObjectWithData(NSData::dataWithString(reply), 0, nullptr);
  }
};

void POST_CurlPlusCodec(benchmark::State& state, bool busyCores) {
  auto params = parameters();
  PeerHandle peer(params);
  BusyCoresScope busy(busyCores);
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      auto body = NSJSONSerialization::dataWithJSONObject(params, 0, nullptr);
      if (!zvt::isKind<NSDictionary>(peer.post(body))) {
        state.SkipWithError("request failed");
        break;
      }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
}

// The floor that our threading sets, not the goal's peer: the same easy handle on a thread of
// its own; the calling thread encodes the body and hands it over, the thread posts it, decodes
// the reply and hands the object back (a mutex and a condition variable each way, the cheapest
// wake-up there is). Our manager needs these two hand-offs too (to the network thread, back to
// the main queue), so ours against this case is the cost of our own code.
void POST_CurlThreadHandOffs(benchmark::State& state, bool busyCores) {
  auto params = parameters();
  PeerHandle peer(params);
  std::mutex mutex;
  std::condition_variable toWorker, toCaller;
  std::shared_ptr<NSData> pending;
  id result;
  bool answered = false, stop = false;
  std::thread worker([&] {
    std::unique_lock lock(mutex);
    for (;;) {
      toWorker.wait(lock, [&] { return pending || stop; });
      if (stop) return;
      auto body = std::move(pending);
      lock.unlock();
      id object = peer.post(body);
      lock.lock();
      result = std::move(object);
      answered = true;
      // Notified after unlocking, so that the woken thread does not wait for the mutex.
      lock.unlock();
      toCaller.notify_one();
      lock.lock();
    }
  });
  BusyCoresScope busy(busyCores);
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      auto body = NSJSONSerialization::dataWithJSONObject(params, 0, nullptr);
      id object;
      {
        std::unique_lock lock(mutex);
        pending = std::move(body);
        answered = false;
        lock.unlock();
        toWorker.notify_one();
        lock.lock();
        toCaller.wait(lock, [&] { return answered; });
        object = std::move(result);
      }
      if (!zvt::isKind<NSDictionary>(object)) {
        state.SkipWithError("request failed");
        break;
      }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
  {
    std::lock_guard lock(mutex);
    stop = true;
  }
  toWorker.notify_one();
  worker.join();
}

std::shared_ptr<NSHTTPURLResponse> imageReply(const char* type) {
  return NSHTTPURLResponse::initWithURL(NSURL::URLWithString("http://h.test/i"), 200, "HTTP/1.1"_ns,
                                        NSDictionary::make({{"Content-Type"_ns, NSString::stringWithUTF8String(type)}}));
}

void decodeThroughSerializer(benchmark::State& state, const std::shared_ptr<NSData>& data, const char* type) {
  auto serializer = NWImageResponseSerializer::serializer();
  auto response = imageReply(type);
  for (auto _ : state) {
    std::shared_ptr<NSError> error;
    auto image = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(response, data, &error));
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetLabel(std::to_string(data->length()) + " bytes");
}

void PNG_ImageSerializer(benchmark::State& state) { decodeThroughSerializer(state, pngData(), "image/png"); }
void JPEG_ImageSerializer(benchmark::State& state) { decodeThroughSerializer(state, jpegData(), "image/jpeg"); }

void PNG_libpng(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> out(kWidth * kHeight * 3);
    if (!pngDirect(pngData()->bytes(), pngData()->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void JPEG_libjpeg(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> out(kWidth * kHeight * 3);
    if (!jpegDirect(jpegData()->bytes(), jpegData()->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace


int main(int argc, char** argv) {
  // Before any thread exists: the helper processes are forked.
  startServer();
  CoreLoad::shared().prepare();
  // POST/<cores>/<side>: "ours" with the default settings (no spinning), "ours_spin" with the
  // spin before sleep on, "curl_codec" the peer, "curl_codec_handoffs" the peer on a thread of its
  // own with the two hand-offs our threading needs (the floor of the design, not the goal's
  // peer); "idle" cores or "busy" ones.
  for (bool busyCores : {false, true}) {
    const std::string group = std::string("POST/") + (busyCores ? "busy" : "idle") + "/";
    auto add = [&](const std::string& side, auto&&... args) {
      auto* b = benchmark::RegisterBenchmark((group + side).c_str(), args...)->UseRealTime()->Unit(benchmark::kMicrosecond);
      // A fixed count for instruction counting across threads (callgrind): runs of N and M
      // requests differ by exactly N - M requests, the manager's creation cancelling out.
      if (const char* n = std::getenv("ZVT_BENCH_ITERATIONS")) b->Iterations(std::atoll(n));
    };
    add("ours", POST_Manager, busyCores, false);
    add("ours_spin", POST_Manager, busyCores, true);
    add("curl_codec", POST_CurlPlusCodec, busyCores);
    add("curl_codec_handoffs", POST_CurlThreadHandOffs, busyCores);
  }
  using Function = void (*)(benchmark::State&);
  const std::pair<const char*, Function> images[] = {{"image/png/ours", PNG_ImageSerializer},
                                                     {"image/png/libpng", PNG_libpng},
                                                     {"image/jpeg/ours", JPEG_ImageSerializer},
                                                     {"image/jpeg/libjpeg", JPEG_libjpeg}};
  for (const auto& [name, function] : images) {
    benchmark::RegisterBenchmark(name, function)->UseRealTime()->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
