// The downloader and its download operations against a loopback server: joined requests, the
// order of downloads, requests as sent, every way a download ends, cancelling, partial images,
// hostile lengths, server trust and notifications.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestCertificates.h"
#include "tests/ui/images/ImageTestSupport.h"
#include "ui/images/WIWebImageDownloader.h"

namespace {

using namespace zvt::test;

// What the completed blocks of one requester received (they run on download threads).
struct Outcome {
  bool image = false;
  size_t bytes = 0;
  std::string error;  // "domain code" or ""
  bool finished = false;
};

class Requests {
 public:
  WIWebImageDownloaderCompletedBlock completed(int requester) {
    return [this, requester](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSData>& data,
                             const std::shared_ptr<NSError>& error, bool finished) {
      std::lock_guard<std::mutex> lock(mutex_);
      Outcome o{image != nullptr, data ? data->length() : 0,
                error ? error->domain()->utf8() + " " + std::to_string(error->code()) : "", finished};
      outcomes_[requester].push_back(o);
      if (finished) order_.push_back(requester);
    };
  }
  std::vector<Outcome> of(int requester) {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcomes_[requester];
  }
  std::vector<int> finishedOrder() {
    std::lock_guard<std::mutex> lock(mutex_);
    return order_;
  }
  bool waitForFinished(size_t count) {
    return runMainLoopUntil([&] { return finishedOrder().size() >= count; });
  }

 private:
  std::mutex mutex_;
  std::map<int, std::vector<Outcome>> outcomes_;
  std::vector<int> order_;
};

std::shared_ptr<NSURL> urlOf(const std::string& text) { return NSURL::URLWithString(text); }

TEST(ImageDownloader, JoinsRequestsForOneURLIntoOneDownload) {
  ImageServer server;
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  std::vector<std::pair<NSInteger, NSInteger>> progress[2];
  auto url = urlOf(server.url("/png/20x20"));
  downloader->setSuspended(true);  // both have joined before the download starts
  auto first = downloader->downloadImageWithURL(url, 0, [&](NSInteger r, NSInteger e) { progress[0].emplace_back(r, e); },
                                                requests.completed(0));
  auto second = downloader->downloadImageWithURL(url, 0, [&](NSInteger r, NSInteger e) { progress[1].emplace_back(r, e); },
                                                 requests.completed(1));
  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
  downloader->setSuspended(false);
  ASSERT_TRUE(requests.waitForFinished(2));
  ASSERT_TRUE(runMainLoopUntil([&] { return progress[1].size() == progress[0].size() && progress[0].size() >= 3; }));
  EXPECT_EQ(progress[0], progress[1]);
  EXPECT_EQ(progress[0].front(), std::make_pair(NSInteger{0}, NSInteger{-1}));
  for (int requester : {0, 1}) {
    auto outcomes = requests.of(requester);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].image && outcomes[0].finished && outcomes[0].bytes > 0);
  }
  EXPECT_EQ(server.hits("/png/20x20"), 1u);
  EXPECT_EQ(downloader->URLCallbacksCount(), 0u);

  // Once finished, the URL is downloaded anew.
  EXPECT_TRUE(downloader->downloadImageWithURL(url, 0, nullptr, requests.completed(2)));
  ASSERT_TRUE(requests.waitForFinished(3));
  EXPECT_EQ(server.hits("/png/20x20"), 2u);

  // A nil URL answers at once, unfinished, and queues nothing.
  EXPECT_FALSE(downloader->downloadImageWithURL(nullptr, 0, nullptr, requests.completed(3)));
  ASSERT_EQ(requests.of(3).size(), 1u);
  EXPECT_FALSE(requests.of(3)[0].finished);
}

TEST(ImageDownloader, ProgressGoesToEveryRequesterThatAskedForIt) {
  ImageServer server;
  using Reports = std::vector<std::pair<NSInteger, NSInteger>>;
  // Which of two requesters of one URL give a progress block, and whether the first leaves
  // before the download starts: the second hears the whole progress whenever it asked for it.
  const struct {
    bool firstFollows, secondFollows, firstLeaves;
  } cases[] = {{false, true, false}, {true, true, true}, {true, false, true}, {false, false, false}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    auto downloader = WIWebImageDownloader::make();
    Requests requests;
    Reports reports[2];
    auto follow = [&](bool follows, int requester) -> WIWebImageDownloaderProgressBlock {
      if (!follows) return nullptr;
      return [&reports, requester](NSInteger r, NSInteger e) { reports[requester].emplace_back(r, e); };
    };
    auto url = urlOf(server.url("/png/20x20?" + std::to_string(n++)));
    std::shared_ptr<WIWebImageDownloaderToken> first;
    downloader->setSuspended(true);
    downloader->downloadImageWithURL(url, 0, follow(c.firstFollows, 0), requests.completed(0), &first);
    downloader->downloadImageWithURL(url, 0, follow(c.secondFollows, 1), requests.completed(1));
    if (c.firstLeaves) downloader->cancelRequester(first);
    downloader->setSuspended(false);
    ASSERT_TRUE(runMainLoopUntil([&] { return !requests.of(1).empty(); }));
    EXPECT_TRUE(requests.of(1)[0].image);
    if (c.secondFollows) {
      ASSERT_TRUE(runMainLoopUntil([&] { return reports[1].size() >= 3; }));
      EXPECT_EQ(reports[1].front(), std::make_pair(NSInteger{0}, NSInteger{-1}));
    }
    // Whatever is still on its way to the main thread arrives before this is looked at.
    ASSERT_TRUE(runMainLoopUntil([&] { return !zvt::mainQueueHasBlocks(); }));
    if (c.firstLeaves) {
      EXPECT_TRUE(reports[0].empty());
      EXPECT_TRUE(requests.of(0).empty());
    } else if (c.firstFollows) {
      EXPECT_EQ(reports[0], reports[1]);
    }
    if (!c.secondFollows) {
      EXPECT_TRUE(reports[1].empty());
    }
  }
}

TEST(ImageDownloader, EveryJoinedRequesterHearsHowTheDownloadEnded) {
  ImageServer server;
  const struct {
    const char* path;
    bool image;
    const char* error;
  } cases[] = {
      {"/png/5x5", true, ""},
      {"/status/304", false, ""},  // not modified: nobody is left waiting
      {"/status/404", false, "NSURLErrorDomain 404"},
  };
  for (const auto& c : cases) {
    auto downloader = WIWebImageDownloader::make();
    Requests requests;
    downloader->setSuspended(true);  // all three join before the download starts
    for (int n = 0; n < 3; ++n) downloader->downloadImageWithURL(urlOf(server.url(c.path)), 0, nullptr, requests.completed(n));
    downloader->setSuspended(false);
    ASSERT_TRUE(requests.waitForFinished(3)) << c.path;
    for (int n = 0; n < 3; ++n) {
      auto outcomes = requests.of(n);
      ASSERT_EQ(outcomes.size(), 1u) << c.path;
      EXPECT_EQ(outcomes[0].image, c.image) << c.path;
      EXPECT_EQ(outcomes[0].error, c.error) << c.path;
    }
    EXPECT_EQ(server.hits(c.path), 1u) << c.path;
  }
}

TEST(ImageDownloader, SendsItsHeadersTimeOutAndCachePolicy) {
  ImageServer server;
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  downloader->setValue("zvt"_ns, "X-Client"_ns);
  downloader->setValue("gone"_ns, "X-Gone"_ns);
  downloader->setValue(nullptr, "X-Gone"_ns);
  EXPECT_EQ(downloader->valueForHTTPHeaderField("Accept"_ns)->utf8(), "image/*;q=0.8");
  const struct {
    NSTimeInterval timeout;
    WIImageDownloadOptions options;
    NSTimeInterval sent;
    NSURLRequestCachePolicy policy;
  } cases[] = {{0, 0, 15, NSURLRequestReloadIgnoringLocalCacheData},
               {30, WIImageDownloadUseURLCache, 30, NSURLRequestUseProtocolCachePolicy}};
  int n = 0;
  for (const auto& c : cases) {
    downloader->setDownloadTimeout(c.timeout);
    auto operation = downloader->downloadImageWithURL(urlOf(server.url("/png/2x2?" + std::to_string(n))), c.options, nullptr,
                                                      requests.completed(n));
    ++n;
    EXPECT_EQ(operation->request()->timeoutInterval(), c.sent);
    EXPECT_EQ(operation->request()->cachePolicy(), c.policy);
    EXPECT_TRUE(operation->request()->HTTPShouldUsePipelining());
  }
  downloader->setHeadersFilter([](const std::shared_ptr<NSURL>&, const std::shared_ptr<NSDictionary>& headers) {
    auto changed = headers->mutableCopy();
    changed->setObject("filtered"_ns, "X-Client"_ns);
    return std::static_pointer_cast<NSDictionary>(changed);
  });
  downloader->downloadImageWithURL(urlOf(server.url("/png/2x2?filtered")), 0, nullptr, requests.completed(n++));
  ASSERT_TRUE(requests.waitForFinished(3));
  auto sent = server.server().requests();
  ASSERT_EQ(sent.size(), 3u);
  for (const auto& request : sent) {
    EXPECT_EQ(request.header("Accept"), "image/*;q=0.8");
    EXPECT_EQ(request.header("X-Client"), request.query == "filtered" ? "filtered" : "zvt");
    EXPECT_FALSE(request.hasHeader("X-Gone"));
  }
}

TEST(ImageDownloader, RunsDownloadsInTheOrderAsked) {
  for (auto order : {WIImageDownloadOrderFIFO, WIImageDownloadOrderLIFO}) {
    ImageServer server;
    auto downloader = WIWebImageDownloader::make();
    downloader->setMaxConcurrentDownloads(1);
    downloader->setExecutionOrder(order);
    Requests requests;
    downloader->downloadImageWithURL(urlOf(server.url("/slow")), 0, nullptr, requests.completed(0));
    ASSERT_TRUE(server.server().waitForRequests(1));
    for (int i = 1; i <= 3; ++i) {
      downloader->downloadImageWithURL(urlOf(server.url("/png/2x2?" + std::to_string(i))), 0, nullptr, requests.completed(i));
    }
    EXPECT_EQ(downloader->currentDownloadCount(), 4u);
    server.release();
    ASSERT_TRUE(requests.waitForFinished(4));
    EXPECT_EQ(requests.finishedOrder(), order == WIImageDownloadOrderLIFO ? (std::vector<int>{0, 3, 2, 1})
                                                                          : (std::vector<int>{0, 1, 2, 3}))
        << order;
  }
}

TEST(ImageDownloader, ReportsEveryWayADownloadEnds) {
  ImageServer server;
  server.server().route("/auth", [](const HTTPRequest& request, HTTPResponder& reply) {
    if (request.header("Authorization").empty()) {
      reply.send(401, {{"WWW-Authenticate", "Basic realm=\"images\""}}, "");
    } else {
      reply.send(200, {{"Content-Type", "image/png"}}, textOf(pngImage(3, 3, false)));
    }
  });
  // A few dozen bytes of GIF that ask for 256 MiB: refused with an error, like any undecodable reply.
  server.server().route("/bomb", [](const HTTPRequest&, HTTPResponder& reply) {
    reply.send(200, {{"Content-Type", "image/gif"}}, textOf(gifOnScreen(8192, 8192, 1)));
  });
  const std::string refused = "http://127.0.0.1:1/a.png";
  auto downloader = WIWebImageDownloader::make();
  downloader->setUsername("user"_ns);
  downloader->setPassword("secret"_ns);
  Requests requests;
  const struct {
    std::string url;
    bool image;
    const char* error;
  } cases[] = {
      {server.url("/png/4x4"), true, ""},
      {server.url("/gif"), true, ""},
      {server.url("/auth"), true, ""},
      {server.url("/status/404"), false, "NSURLErrorDomain 404"},
      {server.url("/status/500"), false, "NSURLErrorDomain 500"},
      {server.url("/status/304"), false, ""},  // not modified: over, without an image or an error
      {server.url("/empty"), false, "WIWebImageErrorDomain 0"},
      {server.url("/text"), false, "WIWebImageErrorDomain 0"},
      {server.url("/bomb"), false, "WIWebImageErrorDomain 0"},
      {refused, false, "NSURLErrorDomain -1004"},
      {"ftp://127.0.0.1/a.png", false, "NSURLErrorDomain 0"},
  };
  int n = 0;
  for (const auto& c : cases) downloader->downloadImageWithURL(urlOf(c.url), 0, nullptr, requests.completed(n++));
  ASSERT_TRUE(requests.waitForFinished(std::size(cases)));
  n = 0;
  for (const auto& c : cases) {
    auto outcomes = requests.of(n++);
    ASSERT_EQ(outcomes.size(), 1u) << c.url;
    EXPECT_EQ(outcomes[0].image, c.image) << c.url;
    EXPECT_EQ(outcomes[0].error, c.error) << c.url;
    EXPECT_TRUE(outcomes[0].finished) << c.url;
  }
  EXPECT_EQ(downloader->URLCallbacksCount(), 0u);
}

TEST(ImageDownloader, ConnectionsThatCannotBeMadeFreeTheirSlots) {
  ImageServer server;
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  for (int i = 0; i < 6; ++i) {
    downloader->downloadImageWithURL(urlOf("ftp://127.0.0.1/" + std::to_string(i) + ".png"), 0, nullptr, requests.completed(i));
  }
  downloader->downloadImageWithURL(urlOf(server.url("/png/2x2")), 0, nullptr, requests.completed(6));
  ASSERT_TRUE(requests.waitForFinished(7));
  EXPECT_TRUE(requests.of(6)[0].image);
  ASSERT_TRUE(runMainLoopUntil([&] { return downloader->currentDownloadCount() == 0; }));
}

TEST(ImageDownloader, DownloadsWaitingOnTheNetworkLeaveThreadsForEverythingElse) {
  // Each running download keeps a thread of the shared pool turning its run loop until the
  // server answers. However many wait on a slow server, the cache's disk queue and every
  // other queue must still find a thread to run on.
  ImageServer server;
  auto downloader = WIWebImageDownloader::make();
  const size_t count = zvt::dispatchPoolSize() + 2;
  downloader->setMaxConcurrentDownloads(static_cast<NSInteger>(count));
  Requests requests;
  for (size_t i = 0; i < count; ++i) {
    downloader->downloadImageWithURL(urlOf(server.url("/slow?" + std::to_string(i))), 0, nullptr, requests.completed(static_cast<int>(i)));
  }
  ASSERT_TRUE(server.server().waitForRequests(count));

  std::atomic<int> ran{0};
  auto serial = dispatch_queue_create("test.serial", DISPATCH_QUEUE_SERIAL);
  dispatch_async(serial, [&] { ++ran; });
  dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] { ++ran; });
  EXPECT_TRUE(runMainLoopUntil([&] { return ran == 2; }));

  server.release();
  ASSERT_TRUE(requests.waitForFinished(count));
  for (size_t i = 0; i < count; ++i) EXPECT_TRUE(requests.of(static_cast<int>(i))[0].image) << i;
  ASSERT_TRUE(runMainLoopUntil([&] { return ran == 2 && downloader->currentDownloadCount() == 0; }));
}

TEST(ImageDownloader, CancellingARequesterLeavesTheOthersTheirDownload) {
  ImageServer server;
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  auto url = urlOf(server.url("/slow"));
  std::shared_ptr<WIWebImageDownloaderToken> tokens[3];
  EXPECT_TRUE(downloader->downloadImageWithURL(url, 0, nullptr, requests.completed(0), &tokens[0]));
  downloader->downloadImageWithURL(url, 0, nullptr, requests.completed(1), &tokens[1]);
  EXPECT_FALSE(downloader->cancelRequester(tokens[0]));  // the creator leaves, the download goes on
  server.release();
  ASSERT_TRUE(requests.waitForFinished(1));
  EXPECT_TRUE(requests.of(1)[0].image);
  EXPECT_TRUE(requests.of(0).empty());

  // The last requester to leave cancels the download; nobody is told.
  ImageServer stalled;
  int cancelled = 0;
  auto solo = WIWebImageDownloaderOperation::initWithRequest(NSURLRequest::requestWithURL(urlOf(stalled.url("/slow"))), 0,
                                                             nullptr, requests.completed(9), [&] { ++cancelled; });
  auto queue = NSOperationQueue::make();
  queue->addOperation(solo);
  ASSERT_TRUE(stalled.server().waitForRequests(1));
  solo->cancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return solo->isFinished(); }));
  EXPECT_EQ(cancelled, 1);
  EXPECT_TRUE(requests.of(9).empty());

  auto last = downloader->downloadImageWithURL(urlOf(stalled.url("/slow?again")), 0, nullptr, requests.completed(2), &tokens[2]);
  ASSERT_TRUE(stalled.server().waitForRequests(2));
  EXPECT_TRUE(downloader->cancelRequester(tokens[2]));
  ASSERT_TRUE(runMainLoopUntil([&] { return last->isFinished(); }));
  EXPECT_TRUE(last->isCancelled());
  EXPECT_TRUE(requests.of(2).empty());
  EXPECT_EQ(downloader->URLCallbacksCount(), 0u);
}

TEST(ImageDownloader, AnOperationCancelledBeforeItStartsFinishesWithoutConnecting) {
  ImageServer server;
  Requests requests;
  int cancelled = 0;
  auto operation = WIWebImageDownloaderOperation::initWithRequest(NSURLRequest::requestWithURL(urlOf(server.url("/png/2x2"))), 0,
                                                                  nullptr, requests.completed(0), [&] { ++cancelled; });
  operation->cancel();
  operation->cancel();
  EXPECT_EQ(cancelled, 1);
  auto queue = NSOperationQueue::make();
  queue->addOperation(operation);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(operation->isFinished());
  EXPECT_EQ(server.totalHits(), 0u);
  EXPECT_TRUE(requests.of(0).empty());
}

TEST(ImageDownloader, DeliversPartialImagesOfTheFullSizeOnTheMainThread) {
  // A 64 x 64 PNG of noise (so that it does not compress), the top half white, sent in pieces.
  PNGRecipe recipe;
  recipe.width = recipe.height = 64;
  recipe.rows.resize(64 * 64 * 3);
  uint32_t x = 7;
  for (size_t i = 0; i < recipe.rows.size(); ++i) {
    x = x * 1103515245u + 12345u;
    recipe.rows[i] = i < recipe.rows.size() / 2 ? 255 : static_cast<uint8_t>(x >> 16);
  }
  const std::string png = textOf(makePNG(recipe));
  std::mutex mutex;
  std::condition_variable delivered;
  std::vector<std::shared_ptr<UIImage>> partials;
  std::shared_ptr<UIImage> final;
  bool onMain = true;
  TestHTTPServer server;
  server.route("/progressive.png", [&](const HTTPRequest&, HTTPResponder& reply) {
    reply.writeHead(200, {{"Content-Type", "image/png"}, {"Content-Length", std::to_string(png.size())}});
    const size_t cuts[] = {0, png.size() / 2, png.size() * 3 / 4, png.size()};
    for (int i = 0; i < 3; ++i) {
      reply.writeRaw(std::string_view(png).substr(cuts[i], cuts[i + 1] - cuts[i]));
      // The next piece goes once this one's partial image is in: pieces sent after a mere pause
      // could reach a busy client as one.
      std::unique_lock<std::mutex> lock(mutex);
      if (i < 2) delivered.wait_for(lock, std::chrono::seconds(20), [&] { return partials.size() > static_cast<size_t>(i); });
    }
  });
  auto downloader = WIWebImageDownloader::make();
  downloader->downloadImageWithURL(urlOf(server.url("/progressive.png")), WIImageDownloadProgressive, nullptr,
                                   [&](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSData>&,
                                       const std::shared_ptr<NSError>&, bool finished) {
                                     std::lock_guard<std::mutex> lock(mutex);
                                     if (finished) {
                                       final = image;
                                     } else {
                                       onMain = onMain && NSThread::isMainThread();
                                       partials.push_back(image);
                                       delivered.notify_all();
                                     }
                                   });
  ASSERT_TRUE(runMainLoopUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return final != nullptr;
  }));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_TRUE(onMain);
  ASSERT_EQ(partials.size(), 2u);  // the last piece completes the data: no partial image for it
  for (const auto& partial : partials) {
    EXPECT_EQ(partial->CGImage()->width(), 64u);
    EXPECT_EQ(partial->CGImage()->height(), 64u);
  }
  // The rows that arrived are at the top: white there, nothing yet at the bottom.
  auto top = partials[0]->CGImage()->pixelData()->bytes();
  auto bottom = top + partials[0]->CGImage()->bytesPerRow() * 63;
  EXPECT_EQ(top[0] & top[1] & top[2] & top[3], 255);
  EXPECT_EQ(bottom[3], 0);
}

TEST(ImageDownloader, AnAnnouncedLengthIsNotReservedAhead) {
  TestHTTPServer server;
  server.route("/huge.png", [](const HTTPRequest&, HTTPResponder& reply) {
    reply.writeHead(200, {{"Content-Type", "image/png"}, {"Content-Length", "1125899906842624"}});
    reply.writeRaw(textOf(pngImage(2, 2, false)));
    reply.drop();
  });
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  downloader->downloadImageWithURL(urlOf(server.url("/huge.png")), WIImageDownloadProgressive, nullptr, requests.completed(0));
  ASSERT_TRUE(requests.waitForFinished(1));
  EXPECT_FALSE(requests.of(0).back().error.empty());
}

TEST(ImageDownloader, JudgesServerTrustUnlessInvalidCertificatesAreAllowed) {
  const auto& certificate = TestCertificates::shared().selfSigned;
  TestHTTPServer server(TLSIdentity{certificate.chainPEM, certificate.keyPEM});
  server.route("/a.png", [](const HTTPRequest&, HTTPResponder& reply) {
    reply.send(200, {{"Content-Type", "image/png"}}, textOf(pngImage(2, 2, false)));
  });
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  downloader->downloadImageWithURL(urlOf(server.url("/a.png")), 0, nullptr, requests.completed(0));
  downloader->downloadImageWithURL(urlOf(server.url("/a.png?any")), WIImageDownloadAllowInvalidCertificates, nullptr,
                                   requests.completed(1));
  ASSERT_TRUE(requests.waitForFinished(2));
  EXPECT_EQ(requests.of(0)[0].error, "NSURLErrorDomain -1202");
  EXPECT_TRUE(requests.of(1)[0].image);
}

TEST(ImageDownloader, PostsItsNotificationsOnTheMainQueue) {
  ImageServer server;
  std::vector<std::string> seen;
  std::vector<zvt::ObserverToken> tokens;
  auto downloader = WIWebImageDownloader::make();
  Requests requests;
  auto operation = downloader->downloadImageWithURL(urlOf(server.url("/png/2x2")), 0, nullptr, requests.completed(0));
  for (const zvt::StaticString* name : {&WIWebImageDownloadStartNotification, &WIWebImageDownloadReceiveResponseNotification,
                                        &WIWebImageDownloadStopNotification, &WIWebImageDownloadFinishNotification}) {
    tokens.push_back(zvt::observe(NSNotificationCenter::defaultCenter(), *name, operation, nullptr,
                                  [&](const std::shared_ptr<NSNotification>& n) {
                                    EXPECT_TRUE(NSThread::isMainThread());
                                    seen.push_back(n->name()->utf8());
                                  }));
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return seen.size() == 4; }));
  // The completion may still be on its way from the network thread: it writes into `requests`.
  ASSERT_TRUE(requests.waitForFinished(1));
  EXPECT_EQ(seen, (std::vector<std::string>{"WIWebImageDownloadStartNotification", "WIWebImageDownloadReceiveResponseNotification",
                                            "WIWebImageDownloadStopNotification", "WIWebImageDownloadFinishNotification"}));
}

}  // namespace

namespace {

TEST(ImageDownloader, MainThreadDeliveriesKeepTheOrderOfEachThread) {
  // Three download threads' reports, many batched together: each thread's arrive in its order,
  // none lost, and one queued by a delivered block comes after the batch it was queued from.
  constexpr int kThreads = 3, kEach = 200;
  std::vector<std::pair<int, int>> seen;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < kEach; ++i) {
        zvt::images::deliverOnMain([&seen, t, i] {
          EXPECT_TRUE(NSThread::isMainThread());
          seen.emplace_back(t, i);
          if (t == 0 && i == 0) zvt::images::deliverOnMain([&seen] { seen.emplace_back(-1, 0); });
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(runMainLoopUntil([&] { return seen.size() == kThreads * kEach + 1; }));
  int next[kThreads] = {};
  for (const auto& [t, i] : seen) {
    if (t < 0) continue;
    EXPECT_EQ(i, next[t]++) << "thread " << t;
  }
  EXPECT_EQ(seen.back(), std::make_pair(-1, 0));

  // A block that throws leaves the rest of its batch queued, in order.
  std::vector<int> order;
  zvt::images::deliverOnMain([&] { order.push_back(1); });
  zvt::images::deliverOnMain([] { throw std::runtime_error("observer failed"); });
  zvt::images::deliverOnMain([&] { order.push_back(3); });
  EXPECT_THROW(zvt::drainMainQueue(), std::runtime_error);
  zvt::images::deliverOnMain([&] { order.push_back(4); });
  while (zvt::drainMainQueue() > 0) {
  }
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4}));
}

}  // namespace

namespace {

// A download the queue starts on the thread that makes it ready (here the one asking for it),
// so the test knows, as each request returns, how many the queue has let start; the download
// itself then runs on a thread of the pool, where the queue would have run it.
class CountedDownload : public WIWebImageDownloaderOperation {
 public:
  using WIWebImageDownloaderOperation::WIWebImageDownloaderOperation;
  std::shared_ptr<std::atomic<int>> started;
  void start() override {
    started->fetch_add(1);
    auto self = std::static_pointer_cast<CountedDownload>(shared_from_this());
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
                   [self] { self->WIWebImageDownloaderOperation::start(); });
  }

 protected:
  bool startOnlyHandsOff() const override { return true; }
};

// Held replies, counted while they are held.
struct Holds {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  int held = 0, most = 0;
  void release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    changed.notify_all();
  }
};

TEST(ImageDownloader, SixDownloadsRunAtOnceByDefault) {
  ImageServer server;
  auto holds = std::make_shared<Holds>();
  server.server().route("/held", [holds](const HTTPRequest&, HTTPResponder& reply) {
    {
      std::unique_lock<std::mutex> lock(holds->mutex);
      holds->most = std::max(holds->most, ++holds->held);
      holds->changed.wait_for(lock, std::chrono::seconds(10), [&] { return holds->released; });
      --holds->held;  // before the reply: the next download starts only once this one ended
    }
    reply.send(200, {{"Content-Type", "image/png"}}, textOf(pngImage(2, 2, false)));
  });
  // A failed assertion leaves no reply held for the server to wait on as it stops.
  struct ReleaseAtEnd {
    std::shared_ptr<Holds> holds;
    ~ReleaseAtEnd() { holds->release(); }
  } releaseAtEnd{holds};
  auto downloader = WIWebImageDownloader::make();
  auto started = std::make_shared<std::atomic<int>>(0);
  downloader->setOperationClass([started](const std::shared_ptr<NSURLRequest>& request, WIImageDownloadOptions options,
                                          WIWebImageDownloaderProgressBlock progress, WIWebImageDownloaderCompletedBlock completed,
                                          WIWebImageDownloaderCancelBlock cancelled) {
    auto download = std::make_shared<CountedDownload>(request, options, std::move(progress), std::move(completed),
                                                      std::move(cancelled));
    download->started = started;
    return download;
  });
  Requests requests;
  const int count = 10;
  std::vector<int> startedAfter;
  for (int i = 0; i < count; ++i) {
    downloader->downloadImageWithURL(urlOf(server.url("/held?" + std::to_string(i))), 0, nullptr, requests.completed(i));
    startedAfter.push_back(started->load());
  }
  EXPECT_EQ(startedAfter, (std::vector<int>{1, 2, 3, 4, 5, 6, 6, 6, 6, 6}));
  EXPECT_EQ(downloader->currentDownloadCount(), static_cast<NSUInteger>(count));
  // Six handlers hold their replies (a request is logged before its handler runs).
  ASSERT_TRUE(runMainLoopUntil([&] {
    std::lock_guard<std::mutex> lock(holds->mutex);
    return holds->held == 6;
  }));

  holds->release();
  ASSERT_TRUE(requests.waitForFinished(count));
  for (int i = 0; i < count; ++i) EXPECT_TRUE(requests.of(i)[0].image) << i;
  EXPECT_EQ(started->load(), count);
  EXPECT_EQ(server.hits("/held"), static_cast<size_t>(count));
  std::lock_guard<std::mutex> lock(holds->mutex);
  EXPECT_EQ(holds->most, 6) << "at most six reached the server together";
}

}  // namespace
