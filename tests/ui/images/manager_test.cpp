// The image manager and the prefetcher against a loopback server: cache before download, one
// download for many loads, the failed list, cancelling at each stage, refreshing, the key
// filter and the delegate.

#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"
#include "tests/ui/images/ImageTestSupport.h"
#include "ui/images/UIImage+AnyFormat.h"
#include "ui/images/WIWebImageManager.h"
#include "ui/images/WIWebImagePrefetcher.h"

namespace {

using namespace zvt::test;

struct Delivery {
  bool image = false;
  NSInteger error = 0;  // 0: none
  WIImageCacheSource source = WIImageCacheSourceNone;
  bool finished = false;
  bool operator==(const Delivery&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Delivery& d) {
  return out << "{image " << d.image << ", error " << d.error << ", source " << d.source << ", finished " << d.finished << "}";
}

class ManagerTest : public ::testing::Test {
 protected:
  ImageServer server;
  std::shared_ptr<WIWebImageManager> manager = WIWebImageManager::make();
  std::map<int, std::vector<Delivery>> deliveries;

  WIWebImageCompletionWithFinishedBlock record(int load) {
    return [this, load](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error, WIImageCacheSource source,
                        bool finished, const std::shared_ptr<NSURL>&) {
      EXPECT_TRUE(NSThread::isMainThread());
      deliveries[load].push_back(Delivery{image != nullptr, error ? error->code() : 0, source, finished});
    };
  }
  std::shared_ptr<WIWebImageCombinedOperation> load(int n, const std::string& path, WIImageLoadOptions options = 0) {
    return manager->downloadImageWithURL(NSString::stringWithUTF8String(server.url(path)), options, nullptr, record(n));
  }
  bool waitFor(int n, size_t count = 1) {
    return runMainLoopUntil([&] { return deliveries[n].size() >= count; });
  }
  // Lets everything queued settle: the cache's queue, then the main queue.
  void settle() {
    drainQueue(manager->imageCache()->ioQueue());
    drainMainLoop();
  }
  // Nothing may still be hashing a key or writing a file when the process exits (OpenSSL's
  // clean-up at exit frees what a digest on the cache's queue is reading).
  void TearDown() override {
    runMainLoopUntil([&] { return !manager->isRunning(); });
    settle();
  }
};

const Delivery kDownloaded{true, 0, WIImageCacheSourceNone, true};

TEST_F(ManagerTest, LoadsOnceForManyAndAnswersFromMemoryThenDisk) {
  // The reply waits until both loads have asked the cache and joined the one download (a quick
  // reply could end the first download before the second load is past the cache).
  load(0, "/slow");
  load(1, "/slow");
  ASSERT_TRUE(runMainLoopUntil([&] { return server.hits("/slow") == 1; }));
  settle();
  server.release();
  ASSERT_TRUE(waitFor(0) && waitFor(1));
  EXPECT_EQ(deliveries[0], std::vector<Delivery>{kDownloaded});
  EXPECT_EQ(deliveries[1], std::vector<Delivery>{kDownloaded});
  EXPECT_EQ(server.hits("/slow"), 1u);
  EXPECT_TRUE(runMainLoopUntil([&] { return !manager->isRunning(); }));

  // A memory hit is delivered before the call returns.
  load(2, "/slow");
  EXPECT_EQ(deliveries[2], (std::vector<Delivery>{{true, 0, WIImageCacheSourceMemory, true}}));

  // A disk hit comes after the cache's queue.
  drainQueue(manager->imageCache()->ioQueue());
  manager->imageCache()->clearMemory();
  load(3, "/slow");
  EXPECT_TRUE(deliveries[3].empty());
  ASSERT_TRUE(waitFor(3));
  EXPECT_EQ(deliveries[3], (std::vector<Delivery>{{true, 0, WIImageCacheSourceDisk, true}}));
  EXPECT_EQ(server.hits("/slow"), 1u);
  EXPECT_TRUE(manager->cachedImageExistsForURL(NSURL::URLWithString(server.url("/slow"))));
}

TEST_F(ManagerTest, RemembersURLsThatFailedForGood) {
  const std::string refused = "http://127.0.0.1:1/a.png";
  const struct {
    std::string url;
    NSInteger firstError;
    bool listed;
  } cases[] = {
      {server.url("/status/404"), 404, true},
      {server.url("/text"), 0, true},
      {refused, -1004, false},  // the network may come back: tried again
  };
  int n = 0;
  for (const auto& c : cases) {
    manager->downloadImageWithURL(NSString::stringWithUTF8String(c.url), 0, nullptr, record(n));
    ASSERT_TRUE(waitFor(n)) << c.url;
    EXPECT_EQ(deliveries[n][0], (Delivery{false, c.firstError, WIImageCacheSourceNone, true})) << c.url;
    EXPECT_EQ(manager->isFailedURL(NSURL::URLWithString(c.url)), c.listed) << c.url;
    const size_t hits = server.totalHits();
    manager->downloadImageWithURL(NSURL::URLWithString(c.url), 0, nullptr, record(n + 100));
    ASSERT_TRUE(waitFor(n + 100)) << c.url;
    EXPECT_EQ(deliveries[n + 100][0].error, c.listed ? -1100 : c.firstError) << c.url;
    settle();
    EXPECT_EQ(server.totalHits(), hits) << c.url;
    ++n;
  }
  // Tried anyway on request.
  load(50, "/status/404", WIImageLoadRetryFailed);
  ASSERT_TRUE(waitFor(50));
  EXPECT_EQ(server.hits("/status/404"), 2u);

  // Nothing to load: answered at once.
  const id nothing[] = {nullptr, ""_ns, NSNumber::numberWithInt(3)};
  for (const auto& url : nothing) {
    deliveries[60].clear();
    manager->downloadImageWithURL(url, 0, nullptr, record(60));
    EXPECT_EQ(deliveries[60], (std::vector<Delivery>{{false, -1100, WIImageCacheSourceNone, true}}));
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return !manager->isRunning(); }));
}

TEST_F(ManagerTest, CancelledLoadsDeliverNothing) {
  // While the disk is asked.
  manager->imageCache()->storeImage(UIImage::imageWithData(dataOf(pngImage(2, 2, false))), false, dataOf(pngImage(2, 2, false)),
                                    NSString::stringWithUTF8String(server.url("/png/2x2")), true);
  drainQueue(manager->imageCache()->ioQueue());
  manager->imageCache()->clearMemory();
  dispatch_suspend(manager->imageCache()->ioQueue());
  load(0, "/png/2x2")->cancel();
  dispatch_resume(manager->imageCache()->ioQueue());

  // While downloading.
  auto downloading = load(1, "/slow");
  ASSERT_TRUE(runMainLoopUntil([&] { return server.totalHits() == 1; }));
  downloading->cancel();
  EXPECT_FALSE(manager->isRunning());
  server.release();
  settle();
  ASSERT_TRUE(runMainLoopUntil([&] { return manager->imageDownloader()->URLCallbacksCount() == 0; }));
  EXPECT_TRUE(deliveries[0].empty());
  EXPECT_TRUE(deliveries[1].empty());
}

// A caller's blocks hold its views (a cell, an advert that shows itself when its picture
// comes): however a load ends, what they hold is let go on the main thread, never on the
// download's or the cache's thread while the main thread may be drawing those views.
TEST_F(ManagerTest, WhatACallersBlocksHoldIsLetGoOnTheMainThread) {
  struct Witness {
    Witness(std::atomic<int>& main, std::atomic<int>& other) : onMain(main), elsewhere(other) {}
    std::atomic<int>& onMain;
    std::atomic<int>& elsewhere;
    ~Witness() { ++(NSThread::isMainThread() ? onMain : elsewhere); }
  };
  std::atomic<int> onMain{0}, elsewhere{0};
  const char* paths[] = {"/png/3x3", "/jpeg/5x4", "/status/404", "/png/6x6", "/slow"};
  std::vector<std::shared_ptr<WIWebImageCombinedOperation>> operations;
  int loads = 0;
  for (const char* path : paths) {
    for (int withProgress = 0; withProgress < 2; ++withProgress) {
      auto witness = std::make_shared<Witness>(onMain, elsewhere);
      WIWebImageDownloaderProgressBlock progress;
      if (withProgress) progress = [witness](NSInteger, NSInteger) {};
      const int n = loads++;
      operations.push_back(manager->downloadImageWithURL(
          NSString::stringWithUTF8String(server.url(path)) , 0, progress,
          [this, n, witness = withProgress ? nullptr : witness](const std::shared_ptr<UIImage>& image,
                                                               const std::shared_ptr<NSError>& error,
                                                               WIImageCacheSource source, bool finished,
                                                               const std::shared_ptr<NSURL>&) {
            deliveries[n].push_back(Delivery{image != nullptr, error ? error->code() : 0, source, finished});
          }));
    }
  }
  // The slow loads: one cancelled while it downloads, the other let finish.
  ASSERT_TRUE(runMainLoopUntil([&] { return server.hits("/slow") == 1; }));
  operations[8]->cancel();
  server.release();
  operations.clear();
  ASSERT_TRUE(runMainLoopUntil([&] { return onMain + elsewhere == loads; }));
  EXPECT_EQ(elsewhere, 0) << "of " << loads;
  EXPECT_EQ(deliveries.size(), 9u) << "every load but the cancelled one answered";
}

TEST_F(ManagerTest, CancellingOneOfTwoLoadsOfAURLLetsTheOtherFinish) {
  auto first = load(0, "/slow");
  load(1, "/slow");
  ASSERT_TRUE(runMainLoopUntil([&] { return server.totalHits() == 1; }));
  settle();  // the second load has joined the download too
  EXPECT_EQ(manager->runningOperationCount(), 2u);
  first->cancel();
  EXPECT_EQ(manager->runningOperationCount(), 1u);
  server.release();
  ASSERT_TRUE(waitFor(1));
  EXPECT_EQ(deliveries[1], std::vector<Delivery>{kDownloaded});
  EXPECT_TRUE(deliveries[0].empty());
  EXPECT_TRUE(runMainLoopUntil([&] { return !manager->isRunning(); }));
  EXPECT_EQ(server.hits("/slow"), 1u);
}

TEST_F(ManagerTest, ALoadWithoutCompletionStillFillsTheCache) {
  manager->downloadImageWithURL(NSString::stringWithUTF8String(server.url("/png/3x3")), 0, nullptr, nullptr);
  ASSERT_TRUE(runMainLoopUntil([&] { return !manager->isRunning(); }));
  EXPECT_TRUE(manager->imageCache()->imageFromMemoryCacheForKey(NSString::stringWithUTF8String(server.url("/png/3x3"))));

  // Memory only: nothing on disk.
  load(1, "/png/4x4", WIImageLoadMemoryCacheOnly);
  ASSERT_TRUE(waitFor(1));
  settle();
  EXPECT_FALSE(manager->diskImageExistsForURL(NSURL::URLWithString(server.url("/png/4x4"))));
  EXPECT_TRUE(manager->diskImageExistsForURL(NSURL::URLWithString(server.url("/png/3x3"))));
}

TEST_F(ManagerTest, RefreshingDeliversTheCachedImageThenWhatTheServerSays) {
  server.server().route("/etag.png", [](const HTTPRequest& request, HTTPResponder& reply) {
    if (request.header("If-None-Match") == "\"v1\"") {
      reply.send(304, {{"ETag", "\"v1\""}}, "");
    } else {
      reply.send(200, {{"Content-Type", "image/png"}, {"ETag", "\"v1\""}}, textOf(pngImage(5, 5, false)));
    }
  });
  manager->imageDownloader()->setValue("\"v1\""_ns, "If-None-Match"_ns);
  auto key = NSString::stringWithUTF8String(server.url("/etag.png"));
  manager->imageCache()->storeImage(UIImage::imageWithData(dataOf(pngImage(5, 5, false))), key, false);
  load(0, "/etag.png", WIImageLoadRefreshCached);
  ASSERT_TRUE(runMainLoopUntil([&] { return server.hits("/etag.png") == 1 && !manager->isRunning(); }));
  settle();
  // The cached image once; "not modified" adds nothing and is no failure.
  EXPECT_EQ(deliveries[0], (std::vector<Delivery>{{true, 0, WIImageCacheSourceMemory, true}}));
  EXPECT_FALSE(manager->isFailedURL(NSURL::URLWithString(key)));

  // Without a cached image, "not modified" still answers.
  manager->imageCache()->removeImageForKey(key, false);
  load(1, "/etag.png");
  ASSERT_TRUE(waitFor(1));
  EXPECT_EQ(deliveries[1], (std::vector<Delivery>{{false, 0, WIImageCacheSourceNone, true}}));
  manager->imageDownloader()->setValue(nullptr, "If-None-Match"_ns);

  // A changed picture: the cached one, then the new one.
  manager->imageCache()->storeImage(UIImage::imageWithData(dataOf(pngImage(5, 5, false))), key, false);
  load(2, "/etag.png", WIImageLoadRefreshCached);
  ASSERT_TRUE(waitFor(2, 2));
  EXPECT_EQ(deliveries[2], (std::vector<Delivery>{{true, 0, WIImageCacheSourceMemory, true}, kDownloaded}));
}

TEST_F(ManagerTest, TheKeyFilterAndTheDelegateShapeTheLoad) {
  manager->setCacheKeyFilter([](const std::shared_ptr<NSURL>& url) {
    auto text = url->absoluteString()->utf8();
    return NSString::stringWithUTF8String(text.substr(0, text.find('?')));
  });
  load(0, "/png/7x7?v=1");
  ASSERT_TRUE(waitFor(0));
  load(1, "/png/7x7?v=2");
  EXPECT_EQ(deliveries[1], (std::vector<Delivery>{{true, 0, WIImageCacheSourceMemory, true}}));
  EXPECT_EQ(server.totalHits(), 1u);

  struct Delegate : WIWebImageManagerDelegate {
    bool respondsToShouldDownloadImageForURL() const override { return true; }
    bool respondsToTransformDownloadedImage() const override { return true; }
    bool imageManagerShouldDownloadImageForURL(const std::shared_ptr<WIWebImageManager>&, const std::shared_ptr<NSURL>& url) override {
      return url->absoluteString()->utf8().find("forbidden") == std::string::npos;
    }
    std::shared_ptr<UIImage> imageManagerTransformDownloadedImage(const std::shared_ptr<WIWebImageManager>&,
                                                                  const std::shared_ptr<UIImage>& image,
                                                                  const std::shared_ptr<NSURL>&) override {
      return UIImage::imageWithCGImage(image->CGImage(), 4.0, UIImageOrientationUp);
    }
  };
  auto delegate = std::make_shared<Delegate>();
  manager->setDelegate(delegate);
  load(2, "/png/2x2?forbidden");
  ASSERT_TRUE(waitFor(2));
  EXPECT_EQ(deliveries[2], (std::vector<Delivery>{{false, 0, WIImageCacheSourceNone, true}}));
  std::shared_ptr<UIImage> transformed;
  manager->downloadImageWithURL(NSString::stringWithUTF8String(server.url("/png/8x8")), 0, nullptr,
                                [&](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>&, WIImageCacheSource, bool,
                                    const std::shared_ptr<NSURL>&) { transformed = image; });
  ASSERT_TRUE(runMainLoopUntil([&] { return transformed != nullptr; }));
  EXPECT_EQ(transformed->scale(), 4.0);
  EXPECT_EQ(server.totalHits(), 2u);
}

TEST_F(ManagerTest, PrefetchesAWholeListAFewAtATime) {
  auto prefetcher = WIWebImagePrefetcher::initWithImageManager(manager);
  EXPECT_EQ(manager->imageDownloader()->maxConcurrentDownloads(), 3);
  prefetcher->setMaxConcurrentDownloads(2);
  auto urls = NSMutableArray::array();
  for (int i = 1; i <= 5; ++i) urls->addObject(NSString::stringWithUTF8String(server.url("/png/" + std::to_string(i) + "x2")));
  urls->addObject(NSString::stringWithUTF8String(server.url("/status/404")));
  std::vector<NSUInteger> progress;
  NSUInteger finished = 0, skipped = 0;
  prefetcher->prefetchURLs(urls, [&](NSUInteger done, NSUInteger total) { progress.push_back(done * 10 + total); },
                           [&](NSUInteger done, NSUInteger skip) {
                             finished = done;
                             skipped = skip;
                           });
  ASSERT_TRUE(runMainLoopUntil([&] { return finished > 0; }));
  EXPECT_EQ(finished, 6u);
  EXPECT_EQ(skipped, 1u);
  EXPECT_EQ(progress, (std::vector<NSUInteger>{16, 26, 36, 46, 56, 66}));
  EXPECT_EQ(server.totalHits(), 6u);

  bool empty = false;
  prefetcher->prefetchURLs(NSArray::array(), nullptr, [&](NSUInteger done, NSUInteger skip) { empty = done == 0 && skip == 0; });
  EXPECT_TRUE(empty);
  prefetcher->setMaxConcurrentDownloads(6);
}

TEST_F(ManagerTest, PrefetchingAListThatStartsWithACachedPictureFetchesEachOtherOnce) {
  // The cached first picture answers at once, and its answer starts the next URL while the
  // first batch is still being started: that batch goes on from there, skipping none.
  auto prefetcher = WIWebImagePrefetcher::initWithImageManager(manager);
  prefetcher->setMaxConcurrentDownloads(2);
  auto urls = NSMutableArray::array();
  for (int i = 1; i <= 5; ++i) urls->addObject(NSString::stringWithUTF8String(server.url("/png/" + std::to_string(i) + "x3")));
  manager->imageCache()->storeImage(wi_imageWithData(dataOf(pngImage(1, 3, false))), zvt::as<NSString>(urls->objectAtIndex(0)), false);
  NSUInteger finished = 0;
  prefetcher->prefetchURLs(urls, nullptr, [&](NSUInteger done, NSUInteger) { finished = done; });
  ASSERT_TRUE(runMainLoopUntil([&] { return finished > 0; }));
  EXPECT_EQ(finished, 5u);
  for (int i = 2; i <= 5; ++i) EXPECT_EQ(server.hits("/png/" + std::to_string(i) + "x3"), 1u) << i;
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(manager->imageCache()->imageFromMemoryCacheForKey(zvt::as<NSString>(urls->objectAtIndex(i - 1)))) << i;
  prefetcher->setMaxConcurrentDownloads(6);
}

}  // namespace
