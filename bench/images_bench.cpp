// Remote images side by side with their peers, in one run. What each benchmark measures, the
// same work on every side:
//
// images/memory_hit/<side>   one lookup of an image by its URL text among 1,000 cached under
//                            URL keys, answering a strong reference to the same image object:
//                            "ours", WIImageCache::imageFromMemoryCacheForKey (the NSCache under
//                            it); "unordered_map", a std::unordered_map<std::string,
//                            shared_ptr<UIImage>> find and copy. Keys are made before timing.
// images/disk_hit_<kind>/<side>
//                            one disk-cache hit: the file's bytes read from disk and decoded into
//                            a bitmap: "ours", WIImageCache::diskImageForKey (read, decode, the
//                            key's scale, forced decode into the drawing layout); "libpng" /
//                            "libjpeg", the same file read with read(2) and decoded by the
//                            library into 8-bit RGB rows of a zeroed buffer. Kinds: the 1920 x
//                            1080 photo of the image benchmarks as PNG and as JPEG, and a 300 x
//                            300 product picture as JPEG. The files are written before timing
//                            (and stay in the page cache).
// images/download_<kind>/<side>
//                            200 distinct image URLs fetched from a loopback server (a child
//                            process; pin it elsewhere with ZVT_BENCH_SERVER_CPUS) over at most 6
//                            connections at once: "ours", WIWebImageDownloader with 6 slots,
//                            each download decoded and force-decoded on its thread as the
//                            downloader does (and the main queue's notifications drained);
//                            "curl_multi", libcurl's multi interface with 6 connections keeping
//                            each body in memory; "curl_multi_decode", the same plus decoding
//                            each body with libpng / libjpeg-turbo on the calling thread (the
//                            work our side does). Kinds: 64 x 64 PNG icons and 300 x 300 JPEG
//                            product pictures. Connections stay open between rounds on both
//                            sides. Times are per round of 200 images; items_per_second is the
//                            rate in images.
//
// Every benchmark reports wall clock (real time) and the whole process's CPU time per item
// (cpu_us_per_item).
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/support/BenchImages.h"
#include "bench/support/Smoke.h"
#include "bench/support/HelperProcesses.h"
#include "bench/support/ProcessCPU.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/graphics/CGBitmapContext.h"
#include "tests/support/TestHTTPServer.h"
#include "ui/images/WIImageCache.h"
#include "ui/images/WIWebImageDownloader.h"

namespace {

using namespace zvt::bench;

using zvt::bench::smokeRun;

// --------------------------------------------------------------------------------- inputs

constexpr size_t kProductSide = 300, kIconSide = 64, kDownloads = 200;

std::shared_ptr<NSData> productJPEG() {
  static const auto data = UIImageJPEGRepresentation(
      UIImage::imageWithCGImage(CGImageCreateWithImageInRect(sourceImage(), CGRectMake(400, 200, kProductSide, kProductSide))), 0.9);
  return data;
}

std::shared_ptr<NSData> iconPNG() {
  static const auto data = UIImagePNGRepresentation(
      UIImage::imageWithCGImage(CGImageCreateWithImageInRect(sourceImage(), CGRectMake(900, 500, kIconSide, kIconSide))));
  return data;
}

std::string& serverBase() {
  static std::string base;
  return base;
}

void startServer() {
  // The bodies are made before the fork, so the child only serves them.
  std::string jpeg(productJPEG()->view()), png(iconPNG()->view());
  int port = forkServer([jpeg, png] {
    auto* server = new zvt::test::TestHTTPServer();
    server->fallback([jpeg, png](const zvt::test::HTTPRequest& request, zvt::test::HTTPResponder& reply) {
      bool isPNG = request.path.find(".png") != std::string::npos;
      reply.send(200, {{"Content-Type", isPNG ? "image/png" : "image/jpeg"}}, isPNG ? png : jpeg);
    });
    return static_cast<int>(server->port());
  });
  serverBase() = "http://127.0.0.1:" + std::to_string(port);
}

std::string urlFor(const char* kind, size_t i) {
  return serverBase() + "/" + kind + "/" + std::to_string(i) + (std::string(kind) == "icon" ? ".png" : ".jpg");
}

// -------------------------------------------------------------------------- memory hits

constexpr size_t kKeys = 1000;

std::vector<std::string> keyTexts() {
  std::vector<std::string> keys;
  for (size_t i = 0; i < kKeys; ++i) keys.push_back("http://img.example.com/products/" + std::to_string(100000 + i) + "_300x300.jpg");
  return keys;
}

std::shared_ptr<UIImage> smallImage() {
  static const auto image = UIImage::imageWithData(iconPNG());
  return image;
}

__attribute__((noinline)) std::shared_ptr<UIImage> measuredMemoryHit(const WIImageCache& cache, const std::shared_ptr<NSString>& key) {
  return cache.imageFromMemoryCacheForKey(key);
}

void MemoryHit_Cache(benchmark::State& state) {
  auto cache = WIImageCache::initWithNamespace("bench"_ns);
  std::vector<std::shared_ptr<NSString>> keys;
  for (const auto& text : keyTexts()) {
    keys.push_back(NSString::stringWithUTF8String(text));
    cache->storeImage(smallImage(), keys.back(), false);
  }
  size_t i = 0;
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      auto image = measuredMemoryHit(*cache, keys[i]);
      if (!image) state.SkipWithError("miss");
      benchmark::DoNotOptimize(image.get());
      if (++i == kKeys) i = 0;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
}

__attribute__((noinline)) std::shared_ptr<UIImage> measuredMapHit(
    const std::unordered_map<std::string, std::shared_ptr<UIImage>>& map, const std::string& key) {
  auto found = map.find(key);
  return found == map.end() ? nullptr : found->second;
}

void MemoryHit_Map(benchmark::State& state) {
  std::unordered_map<std::string, std::shared_ptr<UIImage>> map;
  auto keys = keyTexts();
  for (const auto& key : keys) map.emplace(key, smallImage());
  size_t i = 0;
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      auto image = measuredMapHit(map, keys[i]);
      if (!image) state.SkipWithError("miss");
      benchmark::DoNotOptimize(image.get());
      if (++i == kKeys) i = 0;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
}

// ---------------------------------------------------------------------------- disk hits

struct DiskInput {
  const char* kind;
  std::shared_ptr<NSData> bytes;
  size_t width, height;
  bool png;
};

std::shared_ptr<WIImageCache> diskCache() {
  static const auto cache = WIImageCache::initWithNamespace("bench-disk"_ns);
  return cache;
}

std::string storedPath(const DiskInput& input) {
  auto key = NSString::stringWithFormat("http://img.example.com/%s.%s", input.kind, input.png ? "png" : "jpg");
  diskCache()->storeImage(UIImage::imageWithData(input.bytes), false, input.bytes, key, true);
  dispatch_sync(diskCache()->ioQueue(), [] {});
  diskCache()->clearMemory();
  return key->utf8();
}

__attribute__((noinline)) std::shared_ptr<UIImage> measuredDiskHit(const std::shared_ptr<NSString>& key) {
  return diskCache()->diskImageForKey(key);
}

void DiskHit_Cache(benchmark::State& state, DiskInput input) {
  auto key = NSString::stringWithUTF8String(storedPath(input));
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      auto image = measuredDiskHit(key);
      if (!image || !image->CGImage()->pixelData()) state.SkipWithError("no image");
      benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
}

std::vector<uint8_t> readWhole(const std::string& path) {
  std::vector<uint8_t> bytes;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  off_t size = lseek(fd, 0, SEEK_END);
  lseek(fd, 0, SEEK_SET);
  bytes.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  bytes.resize(done);
  return bytes;
}

__attribute__((noinline)) bool measuredDirect(const std::string& path, const DiskInput& input, std::vector<uint8_t>& out) {
  auto bytes = readWhole(path);
  out.assign(input.width * input.height * 3, 0);
  return input.png ? pngDirect(bytes.data(), bytes.size(), out.data()) : jpegDirect(bytes.data(), bytes.size(), out.data());
}

void DiskHit_Direct(benchmark::State& state, DiskInput input) {
  auto path = diskCache()->defaultCachePathForKey(NSString::stringWithUTF8String(storedPath(input)))->utf8();
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      std::vector<uint8_t> out;
      if (!measuredDirect(path, input, out)) state.SkipWithError("decode failed");
      benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  }
}

// ---------------------------------------------------------------------------- downloads

size_t roundsOf(benchmark::State& state) { return state.iterations() * kDownloads; }

__attribute__((noinline)) void measuredDownloads(WIWebImageDownloader& downloader, const std::vector<std::shared_ptr<NSURL>>& urls) {
  std::mutex mutex;
  std::condition_variable done;
  size_t finished = 0, failed = 0;
  for (const auto& url : urls) {
    downloader.downloadImageWithURL(url, 0, nullptr,
                                    [&](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSData>&,
                                        const std::shared_ptr<NSError>&, bool end) {
                                      if (!end) return;
                                      std::lock_guard<std::mutex> lock(mutex);
                                      ++finished;
                                      failed += image ? 0 : 1;
                                      if (finished == urls.size()) done.notify_one();
                                    });
  }
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [&] { return finished == urls.size(); });
  if (failed > 0) std::abort();
  lock.unlock();
  // The operations' notifications wait on the main queue, which the application's run loop
  // would drain.
  while (zvt::drainMainQueue() > 0) {
  }
}

void Download_Ours(benchmark::State& state, const char* kind) {
  auto downloader = WIWebImageDownloader::make();
  std::vector<std::shared_ptr<NSURL>> urls;
  for (size_t i = 0; i < kDownloads; ++i) urls.push_back(NSURL::URLWithString(urlFor(kind, i)));
  if (!smokeRun()) measuredDownloads(*downloader, urls);  // connections made before timing, as the peer's
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) measuredDownloads(*downloader, urls);
    state.SetItemsProcessed(static_cast<int64_t>(roundsOf(state)));
  }
}

struct Transfer {
  std::string body;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->body.append(data, size * count);
  return size * count;
}

bool decodeDirect(const std::string& body, bool png) {
  const size_t side = png ? kIconSide : kProductSide;
  std::vector<uint8_t> out(side * side * 3);
  const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
  return png ? pngDirect(bytes, body.size(), out.data()) : jpegDirect(bytes, body.size(), out.data());
}

__attribute__((noinline)) void measuredCurlMulti(CURLM* multi, const std::vector<std::string>& urls, bool decode, bool png) {
  std::vector<Transfer> transfers(urls.size());
  for (size_t i = 0; i < urls.size(); ++i) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, urls[i].c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfers[i]);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfers[i]);
    curl_multi_add_handle(multi, easy);
  }
  size_t finished = 0;
  while (finished < urls.size()) {
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      Transfer* transfer = nullptr;
      curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
      if (message->data.result != CURLE_OK || transfer->body.empty()) std::abort();
      if (decode && !decodeDirect(transfer->body, png)) std::abort();
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
      ++finished;
    }
    if (finished < urls.size()) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
}

void Download_Curl(benchmark::State& state, const char* kind, bool decode) {
  CURLM* multi = curl_multi_init();
  curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, 6L);
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
  const bool png = std::string(kind) == "icon";
  std::vector<std::string> urls;
  for (size_t i = 0; i < kDownloads; ++i) urls.push_back(urlFor(kind, i));
  if (!smokeRun()) measuredCurlMulti(multi, urls, decode, png);
  {
    ProcessCPUCounter cpu(state);
    for (auto _ : state) measuredCurlMulti(multi, urls, decode, png);
    state.SetItemsProcessed(static_cast<int64_t>(roundsOf(state)));
  }
  curl_multi_cleanup(multi);
}

}  // namespace

int main(int argc, char** argv) {
  // The inputs and the server child are made before any thread exists.
  productJPEG();
  iconPNG();
  pngData();
  jpegData();
  startServer();
  char home[] = "/tmp/zvt-images-bench-XXXXXX";
  if (!mkdtemp(home)) return 1;
  zvt::setSandboxHome(home);
  curl_global_init(CURL_GLOBAL_DEFAULT);

  benchmark::RegisterBenchmark("images/memory_hit/ours", MemoryHit_Cache)->UseRealTime();
  benchmark::RegisterBenchmark("images/memory_hit/unordered_map", MemoryHit_Map)->UseRealTime();

  const DiskInput disk[] = {{"photo_png", pngData(), kWidth, kHeight, true},
                            {"photo_jpeg", jpegData(), kWidth, kHeight, false},
                            {"product_jpeg", productJPEG(), kProductSide, kProductSide, false}};
  for (const auto& input : disk) {
    const std::string group = std::string("images/disk_hit_") + input.kind + "/";
    benchmark::RegisterBenchmark((group + "ours").c_str(), DiskHit_Cache, input)->UseRealTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((group + (input.png ? "libpng" : "libjpeg")).c_str(), DiskHit_Direct, input)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
  }
  for (const char* kind : {"icon", "product"}) {
    const std::string group = std::string("images/download_") + kind + "/";
    auto add = [&](const std::string& side, auto&&... args) {
      benchmark::RegisterBenchmark((group + side).c_str(), args...)->UseRealTime()->Unit(benchmark::kMicrosecond);
    };
    add("ours", Download_Ours, kind);
    add("curl_multi", Download_Curl, kind, false);
    add("curl_multi_decode", Download_Curl, kind, true);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::string remove = std::string("rm -rf ") + home;
  if (std::system(remove.c_str()) != 0) return 1;
  return 0;
}
