// The HTTP layer's speed side by side with its peers, in one run:
// - sequential keep-alive POSTs of a small JSON body through NWHTTPRequestOperationManager with
//   the JSON serializers, against a plain libcurl easy handle plus our JSON codec;
// - a 1920 x 1080 PNG and JPEG through the image response serializer, against libpng and
//   libjpeg-turbo called directly.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/http/NWHTTPRequestOperationManager.h"
#include "foundation/http/NWImageResponseSerializer.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Foundation.h"
#include "bench/support/BenchImages.h"
#include "platform/graphics/UIImage.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"

namespace {


using namespace zvt::bench;

zvt::test::TestHTTPServer& server() {
  static auto* s = [] {
    auto* created = new zvt::test::TestHTTPServer();
    created->route("/api/client.php", [](const zvt::test::HTTPRequest& q, zvt::test::HTTPResponder& r) {
      r.send(200, {{"Content-Type", "application/json"}}, "{\"code\":101,\"time\":\"1480000000\",\"len\":" + std::to_string(q.body.size()) + "}");
    });
    return created;
  }();
  return *s;
}

std::shared_ptr<NSDictionary> parameters() {
  return NSDictionary::make({{"code"_ns, "0123456789abcdef0123456789abcdef"_ns}, {"number"_ns, 1_n}, {"ps"_ns, 12_n}});
}

void POST_Manager(benchmark::State& state) {
  auto manager = NWHTTPRequestOperationManager::initWithBaseURL(NSURL::URLWithString(NSString::stringWithUTF8String(server().url("/api"))));
  manager->setRequestSerializer(NWJSONRequestSerializer::serializer());
  manager->setResponseSerializer(NWJSONResponseSerializer::serializer());
  auto params = parameters();
  for (auto _ : state) {
    bool done = false, ok = false;
    manager->POST("client.php?m=get_time"_ns, params,
                  [&](const std::shared_ptr<NWHTTPRequestOperation>&, const id& object) {
                    ok = zvt::isKind<NSDictionary>(object);
                    done = true;
                  },
                  [&](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) { done = true; });
    zvt::test::runMainLoopUntil([&] { return done; }, 10);
    if (!ok) state.SkipWithError("request failed");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

size_t collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void POST_CurlPlusCodec(benchmark::State& state) {
  CURL* curl = curl_easy_init();
  std::string url = server().url("/api/client.php?m=get_time");
  auto params = parameters();
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  std::string reply;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  for (auto _ : state) {
    auto body = NSJSONSerialization::dataWithJSONObject(params, 0, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->length()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->bytes());
    reply.clear();
    if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("request failed");
    id object = NSJSONSerialization::JSONObjectWithData(NSData::dataWithString(reply), 0, nullptr);
    if (!zvt::isKind<NSDictionary>(object)) state.SkipWithError("bad reply");
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
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

BENCHMARK(POST_Manager)->Unit(benchmark::kMicrosecond);
BENCHMARK(POST_CurlPlusCodec)->Unit(benchmark::kMicrosecond);
BENCHMARK(PNG_ImageSerializer)->Unit(benchmark::kMillisecond);
BENCHMARK(PNG_libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(JPEG_ImageSerializer)->Unit(benchmark::kMillisecond);
BENCHMARK(JPEG_libjpeg)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  std::printf("PNG %zu bytes, JPEG %zu bytes\n", static_cast<size_t>(pngData()->length()), static_cast<size_t>(jpegData()->length()));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
