// Request operations and the manager against the loopback server: the application's road, the
// failure matrix, batches, pause and resume, many operations at once.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <set>

#include "foundation/http/NWHTTPRequestOperationManager.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSThread.h"
#include "tests/support/MainLoop.h"
#include "tests/support/PausePoint.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHTTPServer.h"

using zvt::test::HTTPRequest;
using zvt::test::HTTPResponder;
using zvt::test::runMainLoopUntil;

namespace {

std::shared_ptr<NSString> ns(const std::string& text) { return NSString::stringWithUTF8String(text); }

id parseJSON(const std::string& text) {
  return NSJSONSerialization::JSONObjectWithData(NSData::dataWithString(text), 0, nullptr);
}

// Whatever happens in a test, the replies it holds end before the server stops.
struct ReleaseAtEnd {
  std::atomic<bool>& flag;
  zvt::test::TestHTTPServer& server;
  ~ReleaseAtEnd() {
    flag = true;
    server.stop();
  }
};

// Counts the calls of both blocks of one request.
struct Outcome {
  int successes = 0;
  int failures = 0;
  bool onMain = true;
  id object;
  std::shared_ptr<NSError> error;
  std::shared_ptr<NWHTTPRequestOperation> operation;
  bool done() const { return successes + failures > 0; }
  NWHTTPRequestOperation::SuccessBlock success() {
    return [this](const std::shared_ptr<NWHTTPRequestOperation>& op, const id& obj) {
      onMain = onMain && NSThread::isMainThread();
      ++successes;
      object = obj;
      operation = op;
    };
  }
  NWHTTPRequestOperation::FailureBlock failure() {
    return [this](const std::shared_ptr<NWHTTPRequestOperation>& op, const std::shared_ptr<NSError>& e) {
      onMain = onMain && NSThread::isMainThread();
      ++failures;
      error = e;
      operation = op;
    };
  }
};

// The application's JSON client is a manager subclass made once with its base URL.
class ServerClient : public NWHTTPRequestOperationManager {
 public:
  static std::shared_ptr<ServerClient> make(const std::string& base) {
    auto client = std::make_shared<ServerClient>();
    client->setUpWithBaseURL(NSURL::URLWithString(base));
    client->setRequestSerializer(NWJSONRequestSerializer::serializer());
    auto response = NWJSONResponseSerializer::serializer();
    response->setAcceptableContentTypes(NSSet::make({"application/json"_ns, "text/json"_ns, "text/javascript"_ns, "text/html"_ns}));
    client->setResponseSerializer(response);
    return client;
  }
};

class HttpOperation : public ::testing::Test {
 protected:
  void SetUp() override { zvt::setPreferredLanguages({"zh-Hans-CN", "en"}); }
  void TearDown() override {
    zvt::resetPreferredLanguages();
    // Let the last deliveries (notifications, cleared completion blocks) run.
    zvt::test::drainMainLoop();
  }
  zvt::test::TestHTTPServer server;
};

TEST_F(HttpOperation, TheApplicationsRoadGetTimeThenGetGoods) {
  server.route("/api/client.php", [](const HTTPRequest& q, HTTPResponder& r) {
    if (q.queryValue("m") == "get_time") {
      r.send(200, {{"Content-Type", "text/html; charset=utf-8"}}, "{\"code\":101,\"time\":\"1480000000\"}");
    } else {
      r.send(200, {{"Content-Type", "application/json"}},
             "{\"code\":101,\"end\":0,\"data\":[{\"id\":\"7\",\"good_Name\":\"\\u978b\"}]}");
    }
  });
  auto client = ServerClient::make(server.url("/api"));
  EXPECT_EQ(client->baseURL()->absoluteString()->utf8(), server.url("/api/"));
  Outcome timeReply, goodsReply;
  client->POST("client.php?m=get_time"_ns, NSDictionary::make({{"code"_ns, "c0de"_ns}}),
               [&](const std::shared_ptr<NWHTTPRequestOperation>& op, const id& object) {
                 timeReply.success()(op, object);
                 auto time = zvt::as<NSDictionary>(object)->objectForKey("time"_ns);
                 client->POST("client.php?m=get_goods"_ns,
                              NSDictionary::make({{"number"_ns, 1_n}, {"userLevel"_ns, 0_n}, {"type"_ns, 3_n}, {"cid"_ns, 0_n},
                                                  {"ps"_ns, 12_n}, {"time"_ns, time}, {"code"_ns, "s1gn"_ns}}),
                              goodsReply.success(), goodsReply.failure());
               },
               timeReply.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return goodsReply.done(); }));
  EXPECT_EQ(timeReply.successes, 1);
  EXPECT_EQ(timeReply.failures, 0);
  EXPECT_EQ(goodsReply.successes, 1);
  EXPECT_EQ(goodsReply.failures, 0);
  EXPECT_TRUE(timeReply.onMain && goodsReply.onMain);
  auto goods = zvt::as<NSDictionary>(goodsReply.object);
  ASSERT_TRUE(goods);
  EXPECT_TRUE(zvt::objectsEqual(goods->objectForKey("code"_ns), 101_n));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/client.php?m=get_time");
  EXPECT_EQ(requests[0].body, "{\"code\":\"c0de\"}");
  EXPECT_EQ(requests[1].target, "/api/client.php?m=get_goods");
  EXPECT_TRUE(zvt::objectsEqual(parseJSON(requests[1].body),
                                NSDictionary::make({{"number"_ns, 1_n}, {"userLevel"_ns, 0_n}, {"type"_ns, 3_n}, {"cid"_ns, 0_n},
                                                    {"ps"_ns, 12_n}, {"time"_ns, "1480000000"_ns}, {"code"_ns, "s1gn"_ns}})))
      << requests[1].body;
  for (const auto& request : requests) {
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Accept-Language"), "zh-Hans-CN;q=1, en;q=0.9");
    EXPECT_EQ(request.header("User-Agent"), NWHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("User-Agent"_ns)->utf8());
  }
}

TEST_F(HttpOperation, PlainManagerWithRawDataAndEightSecondTimeout) {
  server.route("/page", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "text/html"}}, "<b>\xE4\xB8\xAD</b>"); });
  auto manager = NWHTTPRequestOperationManager::manager();
  manager->setResponseSerializer(NWHTTPResponseSerializer::serializer());
  manager->requestSerializer()->setTimeoutInterval(8);
  Outcome outcome;
  auto operation = manager->GET(ns(server.url("/page")), NSDictionary::make({{"q"_ns, "鞋 子"_ns}}), outcome.success(), outcome.failure());
  ASSERT_TRUE(operation);
  EXPECT_DOUBLE_EQ(operation->request()->timeoutInterval(), 8.0);
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  ASSERT_EQ(outcome.successes, 1);
  auto data = zvt::as<NSData>(outcome.object);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->view(), "<b>\xE4\xB8\xAD</b>");
  EXPECT_EQ(server.requests()[0].target, "/page?q=%E9%9E%8B%20%E5%AD%90");
  EXPECT_EQ(operation->responseString()->utf8(), "<b>中</b>");
}

TEST_F(HttpOperation, ConnectionCallbacksRunOnlyOnTheNetworkThread) {
  server.route("/r", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[1]"); });
  struct Recording : NWHTTPRequestOperation {
    using NWHTTPRequestOperation::NWHTTPRequestOperation;
    std::mutex mutex;
    std::set<std::string> threads;
    void note() {
      std::lock_guard lock(mutex);
      threads.insert(NSThread::currentThread()->name());
    }
    void connectionDidReceiveResponse(const Connection& c, const std::shared_ptr<NSURLResponse>& r) override {
      note();
      NWHTTPRequestOperation::connectionDidReceiveResponse(c, r);
    }
    void connectionDidReceiveData(const Connection& c, const std::shared_ptr<NSData>& d) override {
      note();
      NWHTTPRequestOperation::connectionDidReceiveData(c, d);
    }
    void connectionDidFinishLoading(const Connection& c) override {
      note();
      NWHTTPRequestOperation::connectionDidFinishLoading(c);
    }
  };
  auto operation = std::make_shared<Recording>(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/r")))));
  operation->setResponseSerializer(NWJSONResponseSerializer::serializer());
  Outcome outcome;
  operation->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
  std::atomic<int> started{0}, finished{0};
  auto center = NSNotificationCenter::defaultCenter();
  auto a = center->addObserverForName(NWNetworkingOperationDidStartNotification, operation, nullptr,
                                      [&](const std::shared_ptr<NSNotification>&) { started += NSThread::isMainThread() ? 1 : 100; });
  auto b = center->addObserverForName(NWNetworkingOperationDidFinishNotification, operation, nullptr,
                                      [&](const std::shared_ptr<NSNotification>&) { finished += NSThread::isMainThread() ? 1 : 100; });
  auto queue = NSOperationQueue::make();
  queue->addOperation(operation);
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done() && finished.load() > 0; }));
  center->removeObserver(a);
  center->removeObserver(b);
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_EQ(started.load(), 1);
  EXPECT_EQ(finished.load(), 1);
  EXPECT_EQ(operation->threads, (std::set<std::string>{"NWNetworking"}));
}

// A connection that fails at once (a scheme it cannot load) still announces its start before
// its finish.
TEST_F(HttpOperation, StartIsAnnouncedBeforeFinishAlsoWhenTheConnectionFailsAtOnce) {
  server.route("/r", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[1]"); });
  auto center = NSNotificationCenter::defaultCenter();
  std::vector<std::pair<const NSObject*, std::string>> events;  // main thread only
  auto a = center->addObserverForName(NWNetworkingOperationDidStartNotification, nullptr, nullptr,
                                      [&](const std::shared_ptr<NSNotification>& n) { events.emplace_back(n->object().get(), "start"); });
  auto b = center->addObserverForName(NWNetworkingOperationDidFinishNotification, nullptr, nullptr,
                                      [&](const std::shared_ptr<NSNotification>& n) { events.emplace_back(n->object().get(), "finish"); });
  auto manager = NWHTTPRequestOperationManager::manager();
  Outcome loaded, refused;
  auto good = manager->GET(ns(server.url("/r")), nullptr, loaded.success(), loaded.failure());
  auto bad = manager->GET("ftp://h.test/file"_ns, nullptr, refused.success(), refused.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return loaded.done() && refused.done() && events.size() == 4; }));
  zvt::test::drainMainLoop();
  center->removeObserver(a);
  center->removeObserver(b);
  EXPECT_EQ(loaded.successes, 1);
  EXPECT_EQ(refused.failures, 1);
  for (const NSObject* op : {static_cast<const NSObject*>(good.get()), static_cast<const NSObject*>(bad.get())}) {
    std::vector<std::string> seen;
    for (const auto& [object, name] : events)
      if (object == op) seen.push_back(name);
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "finish"}));
  }
}

// Short plain and JSON replies are serialized where the operation finishes, others on a worker;
// either way the serializer runs as a block of the processing queue, the start and finish
// notifications come before the result on the main thread, and the used-up completion block
// lets go of the operation.
TEST_F(HttpOperation, ResultFollowsBothNotificationsOnMainAndLetsGoOfTheOperation) {
  static int key;
  int processing = 1;
  dispatch_queue_set_specific(NWHTTPRequestOperation::processingQueue(), &key, &processing, nullptr);
  class Watching : public NWJSONResponseSerializer {
   public:
    std::atomic<bool> onProcessingQueue{false};
    id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& r, const std::shared_ptr<NSData>& d,
                                 std::shared_ptr<NSError>* e) override {
      onProcessingQueue = dispatch_get_specific(&key) != nullptr;
      return NWJSONResponseSerializer::responseObjectForResponse(r, d, e);
    }
  };
  std::string large = "[\"" + std::string(100 * 1024, 'x') + "\"]";
  server.route("/small", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[1]"); });
  server.route("/large", [&](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, large); });
  struct Case {
    const char* path;
    bool watching;
  };
  for (const Case& c : {Case{"/small", false}, Case{"/large", false}, Case{"/small", true}}) {
    SCOPED_TRACE(std::string(c.path) + (c.watching ? " watching" : ""));
    auto manager = NWHTTPRequestOperationManager::manager();
    auto watching = std::make_shared<Watching>();
    if (c.watching) manager->setResponseSerializer(watching);
    std::vector<std::string> events;  // main thread only
    auto center = NSNotificationCenter::defaultCenter();
    auto a = center->addObserverForName(NWNetworkingOperationDidStartNotification, nullptr, nullptr,
                                        [&](const std::shared_ptr<NSNotification>&) { events.push_back("start"); });
    auto b = center->addObserverForName(NWNetworkingOperationDidFinishNotification, nullptr, nullptr,
                                        [&](const std::shared_ptr<NSNotification>&) { events.push_back("finish"); });
    Outcome outcome;
    std::weak_ptr<NWHTTPRequestOperation> weak =
        manager->GET(ns(server.url(c.path)), nullptr,
                     [&](const std::shared_ptr<NWHTTPRequestOperation>& op, const id& object) {
                       events.push_back("success");
                       outcome.success()(op, object);
                     },
                     outcome.failure());
    ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
    center->removeObserver(a);
    center->removeObserver(b);
    EXPECT_EQ(outcome.successes, 1);
    EXPECT_TRUE(outcome.onMain);
    EXPECT_TRUE(zvt::isKind<NSArray>(outcome.object));
    EXPECT_EQ(events, (std::vector<std::string>{"start", "finish", "success"}));
    if (c.watching) {
      EXPECT_TRUE(watching->onProcessingQueue.load());
    }
    outcome.operation.reset();
    EXPECT_TRUE(runMainLoopUntil([&] { return weak.expired(); }));
  }
  dispatch_queue_set_specific(NWHTTPRequestOperation::processingQueue(), &key, nullptr, nullptr);
}

TEST_F(HttpOperation, FailureMatrixEachBlockOnceNeverBoth) {
  server.route("/404", [](const HTTPRequest&, HTTPResponder& r) { r.send(404, {{"Content-Type", "application/json"}}, "{\"msg\":\"none\"}"); });
  server.route("/500", [](const HTTPRequest&, HTTPResponder& r) { r.send(500, {{"Content-Type", "text/plain"}}, "broken"); });
  server.route("/gbk", [](const HTTPRequest&, HTTPResponder& r) {
    r.send(200, {{"Content-Type", "application/json; charset=GBK"}}, "{\"k\":\"\xD6\xD0\xCE\xC4\"}");
  });
  server.route("/bad", [](const HTTPRequest&, HTTPResponder& r) {
    r.send(200, {{"Content-Type", "application/json; charset=utf-8"}}, "{\"k\":\"\xD6\xD0\xCE\xC4\"}");
  });
  server.route("/empty-html", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "text/html"}}, ""); });
  auto manager = NWHTTPRequestOperationManager::manager();
  Outcome notFound, serverError, gbk, bad, emptyHTML;
  manager->GET(ns(server.url("/404")), nullptr, notFound.success(), notFound.failure());
  manager->GET(ns(server.url("/500")), nullptr, serverError.success(), serverError.failure());
  manager->GET(ns(server.url("/gbk")), nullptr, gbk.success(), gbk.failure());
  manager->GET(ns(server.url("/bad")), nullptr, bad.success(), bad.failure());
  manager->GET(ns(server.url("/empty-html")), nullptr, emptyHTML.success(), emptyHTML.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return notFound.done() && serverError.done() && gbk.done() && bad.done() && emptyHTML.done(); }));
  zvt::test::drainMainLoop();

  EXPECT_EQ(notFound.failures, 1);
  EXPECT_EQ(notFound.successes, 0);
  EXPECT_EQ(notFound.error->code(), -1011);
  EXPECT_TRUE(zvt::objectsEqual(notFound.operation->responseObject(), NSDictionary::make({{"msg"_ns, "none"_ns}})));

  EXPECT_EQ(serverError.failures, 1);
  EXPECT_EQ(serverError.successes, 0);
  EXPECT_EQ(serverError.error->code(), -1011);
  auto under = std::dynamic_pointer_cast<NSError>(serverError.error->userInfo()->objectForKey(NSUnderlyingErrorKey));
  ASSERT_TRUE(under);
  EXPECT_EQ(under->code(), -1016);
  EXPECT_FALSE(serverError.operation->responseObject());

  EXPECT_EQ(gbk.successes, 1);
  EXPECT_EQ(gbk.failures, 0);
  EXPECT_TRUE(zvt::objectsEqual(gbk.object, NSDictionary::make({{"k"_ns, "中文"_ns}})));

  EXPECT_EQ(bad.failures, 1);
  EXPECT_EQ(bad.successes, 0);
  EXPECT_EQ(bad.error->code(), -1016);

  EXPECT_EQ(emptyHTML.failures, 1) << "an unacceptable content type never passes as an empty success";
  EXPECT_EQ(emptyHTML.error->code(), -1016);
  for (Outcome* o : {&notFound, &serverError, &gbk, &bad, &emptyHTML}) EXPECT_TRUE(o->onMain);
}

TEST_F(HttpOperation, ACompletionBlockSetAfterTheResultBlocksReplacesThem) {
  server.route("/r", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[1]"); });
  auto manager = NWHTTPRequestOperationManager::manager();
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/r"))));
  struct Case {
    const char* name;
    bool replacement;  // a block of its own, or none
  };
  for (const Case& c : {Case{"none", false}, Case{"own block", true}}) {
    SCOPED_TRACE(c.name);
    Outcome outcome;
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> weakCaptured = captured;
    auto op = manager->HTTPRequestOperationWithRequest(
        request, [&, captured](const std::shared_ptr<NWHTTPRequestOperation>& o, const id& object) { outcome.success()(o, object); },
        outcome.failure());
    captured.reset();
    std::atomic<int> ran{0};
    if (c.replacement) {
      op->setCompletionBlock([&ran] { ++ran; });
    } else {
      op->setCompletionBlock(nullptr);
    }
    EXPECT_TRUE(weakCaptured.expired()) << "the result blocks are let go at once";
    manager->operationQueue()->addOperation(op);
    ASSERT_TRUE(runMainLoopUntil([&] { return op->isFinished() && (!c.replacement || ran.load() == 1); }));
    zvt::test::drainMainLoop();
    EXPECT_EQ(outcome.successes + outcome.failures, 0);
    EXPECT_EQ(ran.load(), c.replacement ? 1 : 0);
    EXPECT_TRUE(zvt::isKind<NSArray>(op->responseObject()));
  }
}

TEST_F(HttpOperation, AnOperationThatNeverStartsIsLetGoWithItsResultBlocks) {
  // A screen may make an operation and drop it unsent: neither it nor what its blocks hold may
  // stay behind.
  auto manager = NWHTTPRequestOperationManager::manager();
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/never"))));
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> weakCaptured = captured;
  auto op = manager->HTTPRequestOperationWithRequest(
      request, [captured](const std::shared_ptr<NWHTTPRequestOperation>&, const id&) {}, nullptr);
  captured.reset();
  std::weak_ptr<NWHTTPRequestOperation> weak = op;
  op.reset();
  zvt::test::drainMainLoop();
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(weakCaptured.expired());
}

TEST_F(HttpOperation, TheManagersSettingsReachItsOperations) {
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/r"))));
  auto plain = NWHTTPRequestOperationManager::manager()->HTTPRequestOperationWithRequest(request, nullptr, nullptr);
  EXPECT_TRUE(plain->shouldUseCredentialStorage());
  EXPECT_FALSE(plain->credential());
  EXPECT_FALSE(plain->completionQueue());
  EXPECT_FALSE(plain->completionGroup());
  auto manager = NWHTTPRequestOperationManager::manager();
  auto credential = NSURLCredential::credentialWithUser("u"_ns, "p"_ns, NSURLCredentialPersistenceNone);
  auto queue = dispatch_queue_create("zvt.test.completion", nullptr);
  auto group = dispatch_group_create();
  manager->setShouldUseCredentialStorage(false);
  manager->setCredential(credential);
  manager->setCompletionQueue(queue);
  manager->setCompletionGroup(group);
  auto set = manager->HTTPRequestOperationWithRequest(request, nullptr, nullptr);
  EXPECT_FALSE(set->shouldUseCredentialStorage());
  EXPECT_EQ(set->credential(), credential);
  EXPECT_EQ(set->completionQueue(), queue);
  EXPECT_EQ(set->completionGroup(), group);
  for (const auto& op : {plain, set}) op->setCompletionBlock(nullptr);  // never started
}

TEST_F(HttpOperation, RunLoopModesDefaultToTheCommonSetAndMayBeNamed) {
  server.route("/r", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[2]"); });
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/r"))));
  using Modes = std::set<std::string>;
  for (const Modes& modes : {Modes{NSRunLoopCommonModes}, Modes{NSDefaultRunLoopMode}, Modes{NSDefaultRunLoopMode, "zvt.test.other"}}) {
    SCOPED_TRACE(*modes.begin());
    auto op = NWHTTPRequestOperation::initWithRequest(request);
    EXPECT_EQ(op->runLoopModes(), Modes{NSRunLoopCommonModes});
    op->setRunLoopModes(modes);
    EXPECT_EQ(op->runLoopModes(), modes);
    op->setResponseSerializer(NWJSONResponseSerializer::serializer());
    Outcome outcome;
    op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
    NSOperationQueue::make()->addOperation(op);
    ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
    EXPECT_EQ(outcome.successes, 1);
  }
}

TEST_F(HttpOperation, CancelBeforeAndDuringAndTimeout) {
  std::atomic<bool> release{false};
  ReleaseAtEnd releaseAtEnd{release, server};
  server.route("/slow", [&](const HTTPRequest&, HTTPResponder& r) {
    for (int i = 0; i < 3000 && !release.load(); ++i) r.pause(0.01);
    r.send(200, "late");
  });
  auto manager = NWHTTPRequestOperationManager::manager();
  manager->setResponseSerializer(NWHTTPResponseSerializer::serializer());

  // Cancelled before it starts: finishes at its start with -999 and no network traffic.
  Outcome before;
  auto queue = manager->operationQueue();
  queue->setSuspended(true);
  auto op1 = manager->GET(ns(server.url("/never")), nullptr, before.success(), before.failure());
  op1->cancel();
  queue->setSuspended(false);
  ASSERT_TRUE(runMainLoopUntil([&] { return before.done(); }));
  EXPECT_EQ(before.failures, 1);
  EXPECT_EQ(before.successes, 0);
  EXPECT_EQ(before.error->code(), NSURLErrorCancelled);
  EXPECT_EQ(before.error->domain()->utf8(), "NSURLErrorDomain");

  // Cancelled while the server holds the reply.
  Outcome during;
  auto op2 = manager->GET(ns(server.url("/slow")), nullptr, during.success(), during.failure());
  ASSERT_TRUE(server.waitForRequests(1));
  op2->cancel();
  op2->cancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return during.done(); }));
  release = true;
  zvt::test::drainMainLoop();
  EXPECT_EQ(during.failures, 1);
  EXPECT_EQ(during.successes, 0);
  EXPECT_EQ(during.error->code(), NSURLErrorCancelled);
  EXPECT_TRUE(op2->isFinished());

  // A time-out on the virtual clock.
  release = false;
  {
    zvt::test::VirtualClockScope clock;
    manager->requestSerializer()->setTimeoutInterval(5);
    Outcome late;
    manager->GET(ns(server.url("/slow")), nullptr, late.success(), late.failure());
    ASSERT_TRUE(server.waitForRequests(2));
    // Let the network thread arm its timer before time moves on.
    ASSERT_TRUE(runMainLoopUntil([&] {
      clock.advanceBy(1);
      return late.done();
    }, 20));
    EXPECT_EQ(late.failures, 1);
    EXPECT_EQ(late.error->code(), NSURLErrorTimedOut);
  }
  release = true;
}

TEST_F(HttpOperation, AResumedOperationTakesItsQueueSlot) {
  std::atomic<bool> release{false};
  ReleaseAtEnd releaseAtEnd{release, server};
  server.route("/held", [&](const HTTPRequest&, HTTPResponder& r) {
    for (int i = 0; i < 3000 && !release.load(); ++i) r.pause(0.01);
    r.send(200, "held");
  });
  server.route("/next", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, "next"); });
  auto make = [&](const char* path, Outcome& outcome) {
    auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url(path)))));
    op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
    return op;
  };
  auto queue = NSOperationQueue::make();
  queue->setMaxConcurrentOperationCount(1);
  // Paused before it is queued, the operation waits there; once resumed it holds the one slot,
  // so the next operation waits until it has finished.
  Outcome first;
  Outcome second;
  auto held = make("/held", first);
  held->pause();
  queue->addOperation(held);
  EXPECT_FALSE(held->isExecuting());
  held->resume();
  EXPECT_TRUE(held->isExecuting());
  auto next = make("/next", second);
  queue->addOperation(next);
  EXPECT_FALSE(next->isExecuting());
  release = true;
  ASSERT_TRUE(runMainLoopUntil([&] { return first.done() && second.done(); }));
  EXPECT_EQ(first.successes, 1);
  EXPECT_EQ(second.successes, 1);
}

TEST_F(HttpOperation, TheOperationsCredentialAnswersAPasswordChallenge) {
  server.route("/private", [](const HTTPRequest& q, HTTPResponder& r) {
    if (q.header("Authorization") == "Basic dXNlcjpwYXNz") {  // user:pass
      r.send(200, "welcome");
    } else {
      r.send(401, {{"WWW-Authenticate", "Basic realm=\"zone\""}}, "denied");
    }
  });
  struct Case {
    const char* password;  // nil: no credential
    int successes, status;
  };
  for (auto [password, successes, status] : {Case{"pass", 1, 200}, Case{"wrong", 0, 401}, Case{nullptr, 0, 401}}) {
    auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/private")))));
    if (password) {
      op->setCredential(NSURLCredential::credentialWithUser("user"_ns, NSString::stringWithUTF8String(password),
                                                            NSURLCredentialPersistenceNone));
    }
    Outcome outcome;
    op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
    op->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
    EXPECT_EQ(outcome.successes, successes) << (password ? password : "(none)");
    ASSERT_TRUE(op->httpResponse());
    EXPECT_EQ(op->httpResponse()->statusCode(), status);
  }
}

TEST_F(HttpOperation, SerializerErrorIsDeliveredOnceWithoutAnOperation) {
  auto manager = NWHTTPRequestOperationManager::manager();
  manager->requestSerializer()->setQueryStringSerializationWithBlock(
      [](const std::shared_ptr<NSURLRequest>&, const id&, std::shared_ptr<NSError>* error) {
        *error = NSError::errorWithDomain("Query"_ns, 3);
        return std::shared_ptr<NSString>();
      });
  Outcome outcome;
  auto operation = manager->GET(ns(server.url("/x")), NSDictionary::make({{"a"_ns, 1_n}}), outcome.success(), outcome.failure());
  EXPECT_FALSE(operation);
  EXPECT_EQ(manager->operationQueue()->operationCount(), 0u);
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  zvt::test::drainMainLoop();
  EXPECT_EQ(outcome.failures, 1);
  EXPECT_FALSE(outcome.operation);
  EXPECT_EQ(outcome.error->code(), 3);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpOperation, BaseURLRules) {
  for (auto [given, kept] : {std::pair{"http://h.test/api", "http://h.test/api/"}, std::pair{"http://h.test", "http://h.test"}}) {
    EXPECT_EQ(NWHTTPRequestOperationManager::initWithBaseURL(NSURL::URLWithString(given))->baseURL()->absoluteString()->utf8(), kept);
  }
  auto manager = NWHTTPRequestOperationManager::initWithBaseURL(NSURL::URLWithString("http://h.test/api"));
  manager->operationQueue()->setSuspended(true);
  for (auto [path, url] : {std::pair{"client.php?m=x", "http://h.test/api/client.php?m=x"}, std::pair{"/other", "http://h.test/other"},
                           std::pair{"http://x.test/y", "http://x.test/y"}}) {
    auto op = manager->HTTPRequestOperationWithHTTPMethod("GET"_ns, NSString::stringWithUTF8String(path), nullptr, nullptr, nullptr);
    EXPECT_EQ(op->request()->URL()->absoluteString()->utf8(), url);
    op->setCompletionBlock(nullptr);  // never started: drop the completion block so nothing leaks
  }
}

TEST_F(HttpOperation, UnresolvableURLEndsInTheFailureBlock) {
  auto manager = NWHTTPRequestOperationManager::manager();
  Outcome outcome;
  manager->GET("not a url at all"_ns, nullptr, outcome.success(), outcome.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  EXPECT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.successes, 0);
}

TEST_F(HttpOperation, HeadAndMultipartPost) {
  server.route("/head", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, ""); });
  server.route("/upload", [](const HTTPRequest& q, HTTPResponder& r) {
    r.send(200, {{"Content-Type", "application/json"}}, "{\"got\":" + std::to_string(q.body.size()) + "}");
  });
  auto manager = NWHTTPRequestOperationManager::manager();
  int heads = 0;
  Outcome headFailure;
  manager->HEAD(ns(server.url("/head")), nullptr, [&](const std::shared_ptr<NWHTTPRequestOperation>& op) {
    EXPECT_TRUE(op);
    ++heads;
  }, headFailure.failure());
  Outcome upload;
  auto op = manager->POST(ns(server.url("/upload")), NSDictionary::make({{"k"_ns, "v"_ns}}),
                          [](NWMultipartFormData& form) {
                            form.appendPartWithFileData(NSData::dataWithString(std::string(70000, 'z')), "file"_ns, "z.bin"_ns,
                                                        "application/octet-stream"_ns);
                          },
                          upload.success(), upload.failure());
  ASSERT_TRUE(op);
  ASSERT_TRUE(runMainLoopUntil([&] { return heads == 1 && upload.done(); }));
  EXPECT_EQ(headFailure.failures, 0);
  ASSERT_EQ(upload.successes, 1) << (upload.error ? upload.error->description()->utf8() : "");
  auto requests = server.requests();
  const HTTPRequest* post = nullptr;
  for (const auto& r : requests)
    if (r.path == "/upload") post = &r;
  ASSERT_TRUE(post);
  EXPECT_EQ(post->header("Content-Length"), std::to_string(post->body.size()));
  EXPECT_EQ(op->request()->valueForHTTPHeaderField("Content-Length")->utf8(), std::to_string(post->body.size()));
  EXPECT_NE(post->body.find(std::string(70000, 'z')), std::string::npos);
}

TEST_F(HttpOperation, AMultipartBodyIsSentWhileTheMainThreadWaitsForIt) {
  // The parts change phase on the thread that reads the body; were that a synchronous hop to
  // the main thread, a main thread waiting for the request would never see it finish.
  server.route("/upload", [](const HTTPRequest& q, HTTPResponder& r) {
    r.send(200, {{"Content-Type", "application/json"}}, "{\"got\":" + std::to_string(q.body.size()) + "}");
  });
  zvt::test::TempHome home;
  const std::string path = home.pathFor("tmp/part.bin");
  {
    std::ofstream file(path, std::ios::binary);
    file << std::string(50000, 'f');
  }
  auto manager = NWHTTPRequestOperationManager::manager();
  std::shared_ptr<NSError> buildError;
  auto request = manager->requestSerializer()->multipartFormRequestWithMethod(
      "POST"_ns, ns(server.url("/upload")), NSDictionary::make({{"a"_ns, "1"_ns}, {"b"_ns, "2"_ns}}),
      [&](NWMultipartFormData& form) {
        form.appendPartWithFileURL(NSURL::fileURLWithPath(ns(path)), "file"_ns, &buildError);
        form.appendPartWithFileData(NSData::dataWithString(std::string(30000, 'd')), "data"_ns, "d.bin"_ns,
                                    "application/octet-stream"_ns);
      },
      &buildError);
  ASSERT_TRUE(request);
  ASSERT_FALSE(buildError);
  Outcome outcome;
  auto op = manager->HTTPRequestOperationWithRequest(request, outcome.success(), outcome.failure());
  auto finished = dispatch_semaphore_create(0);
  auto signal = NSBlockOperation::blockOperationWithBlock([finished] { dispatch_semaphore_signal(finished); });
  signal->addDependency(op);
  manager->operationQueue()->addOperation(op);
  manager->operationQueue()->addOperation(signal);
  // The main thread blocks here, neither running its run loop nor draining its queue.
  EXPECT_EQ(dispatch_semaphore_wait(finished, dispatch_time(DISPATCH_TIME_NOW, 20 * NSEC_PER_SEC)), 0)
      << "the upload needed the blocked main thread";
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  ASSERT_EQ(outcome.successes, 1) << (outcome.error ? outcome.error->description()->utf8() : "");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].header("Content-Length"), std::to_string(requests[0].body.size()));
  EXPECT_NE(requests[0].body.find(std::string(50000, 'f')), std::string::npos);
  EXPECT_NE(requests[0].body.find(std::string(30000, 'd')), std::string::npos);
}

TEST_F(HttpOperation, BrokenPartStreamFailsTheRequestInsteadOfSendingItShort) {
  server.route("/upload", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "{}"); });
  auto manager = NWHTTPRequestOperationManager::manager();
  Outcome outcome;
  manager->POST(ns(server.url("/upload")), nullptr,
                [](NWMultipartFormData& form) {
                  // Declares 1000 bytes, delivers 10.
                  form.appendPartWithInputStream(NSInputStream::inputStreamWithData(NSData::dataWithString("0123456789")), "f"_ns,
                                                 "f.bin"_ns, 1000, "application/octet-stream"_ns);
                },
                outcome.success(), outcome.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  EXPECT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.successes, 0);
}

TEST_F(HttpOperation, BatchOfThreeReportsProgressAndCompletesOnce) {
  server.route("/n", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[1]"); });
  std::vector<std::shared_ptr<NWURLConnectionOperation>> operations;
  std::vector<int> completions(3, 0);
  for (int i = 0; i < 3; ++i) {
    auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/n")))));
    op->setCompletionBlock([&completions, i] { ++completions[i]; });
    operations.push_back(op);
  }
  std::vector<std::pair<NSUInteger, NSUInteger>> progress;
  int batchCompletions = 0;
  bool completionAfterAll = false;
  auto batch = NWURLConnectionOperation::batchOfRequestOperations(
      operations, [&](NSUInteger finished, NSUInteger total) { progress.emplace_back(finished, total); },
      [&](const std::vector<std::shared_ptr<NWURLConnectionOperation>>& ops) {
        ++batchCompletions;
        completionAfterAll = ops.size() == 3 && completions == std::vector<int>{1, 1, 1};
      });
  ASSERT_EQ(batch.size(), 4u);
  auto queue = NSOperationQueue::make();
  for (const auto& op : batch) queue->addOperation(op);
  ASSERT_TRUE(runMainLoopUntil([&] { return batchCompletions > 0; }));
  zvt::test::drainMainLoop();
  EXPECT_EQ(batchCompletions, 1);
  EXPECT_TRUE(completionAfterAll);
  ASSERT_EQ(progress.size(), 3u);
  for (const auto& [finished, total] : progress) {
    EXPECT_EQ(total, 3u);
    EXPECT_GE(finished, 1u);
    EXPECT_LE(finished, 3u);
  }
  EXPECT_EQ(progress.back().first, 3u);

  int emptyCompletions = 0;
  auto empty = NWURLConnectionOperation::batchOfRequestOperations(
      {}, nullptr, [&](const std::vector<std::shared_ptr<NWURLConnectionOperation>>& ops) { emptyCompletions += ops.empty() ? 1 : 100; });
  ASSERT_EQ(empty.size(), 1u);
  queue->addOperation(empty[0]);
  ASSERT_TRUE(runMainLoopUntil([&] { return emptyCompletions > 0; }));
  EXPECT_EQ(emptyCompletions, 1);
}

TEST_F(HttpOperation, ABatchOfOperationsWithResultBlocksDeliversEveryResultBeforeItsCompletion) {
  server.route("/n", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "application/json"}}, "[1]"); });
  std::vector<std::shared_ptr<NWURLConnectionOperation>> operations;
  std::vector<Outcome> outcomes(2);
  for (auto& outcome : outcomes) {
    auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/n")))));
    op->setResponseSerializer(NWJSONResponseSerializer::serializer());
    op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
    EXPECT_TRUE(op->completionBlock());
    operations.push_back(op);
  }
  int successesAtCompletion = -1;
  auto batch = NWURLConnectionOperation::batchOfRequestOperations(
      operations, nullptr, [&](const std::vector<std::shared_ptr<NWURLConnectionOperation>>&) {
        successesAtCompletion = outcomes[0].successes + outcomes[1].successes;
      });
  auto queue = NSOperationQueue::make();
  for (const auto& op : batch) queue->addOperation(op);
  ASSERT_TRUE(runMainLoopUntil([&] { return successesAtCompletion >= 0; }));
  zvt::test::drainMainLoop();
  EXPECT_EQ(successesAtCompletion, 2);
  for (const auto& outcome : outcomes) {
    EXPECT_EQ(outcome.successes, 1);
    EXPECT_EQ(outcome.failures, 0);
    EXPECT_TRUE(zvt::isKind<NSArray>(outcome.object));
  }
  // A completion runs once, and is let go of then.
  for (const auto& op : operations) EXPECT_FALSE(op->completionBlock());
}

TEST_F(HttpOperation, ProgressBlocksHearOfEveryByteAndTheCountIsKeptWithoutThem) {
  const std::string reply(3000, 'r');
  server.route("/echo", [&](const HTTPRequest&, HTTPResponder& r) { r.send(200, {{"Content-Type", "text/plain"}}, reply); });
  for (bool watched : {true, false}) {
    SCOPED_TRACE(watched ? "with progress blocks" : "without");
    auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/echo"))));
    request->setHTTPMethod("POST");
    request->setHTTPBody(NSData::dataWithString(std::string(5000, 'b')));
    auto op = NWHTTPRequestOperation::initWithRequest(request);
    int64_t sent = 0, lastWritten = 0, received = 0, lastRead = 0;
    bool onMain = true;
    if (watched) {
      op->setUploadProgressBlock([&](NSUInteger bytes, int64_t total, int64_t) {
        onMain = onMain && NSThread::isMainThread();
        sent += static_cast<int64_t>(bytes);
        lastWritten = total;
      });
      op->setDownloadProgressBlock([&](NSUInteger bytes, int64_t total, int64_t) {
        onMain = onMain && NSThread::isMainThread();
        received += static_cast<int64_t>(bytes);
        lastRead = total;
      });
    }
    Outcome outcome;
    op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
    auto queue = NSOperationQueue::make();
    queue->addOperation(op);
    ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
    ASSERT_EQ(outcome.successes, 1);
    zvt::test::drainMainLoop();
    EXPECT_EQ(op->totalBytesRead(), 3000);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(sent, watched ? 5000 : 0);
    EXPECT_EQ(lastWritten, watched ? 5000 : 0);
    EXPECT_EQ(received, watched ? 3000 : 0);
    EXPECT_EQ(lastRead, watched ? 3000 : 0);
  }
}

TEST_F(HttpOperation, PauseAndResumeSendRangeAndSurviveAFullReply) {
  // Shared with the server's threads, which may outlive a failed assertion.
  auto fullBody = std::make_shared<std::string>(200000, 'a');
  for (size_t i = 0; i < fullBody->size(); ++i) (*fullBody)[i] = static_cast<char>('a' + i % 26);
  const std::string& full = *fullBody;
  std::atomic<bool> honourRange{true};
  std::atomic<bool> holdFirst{true};
  struct Release {
    std::atomic<bool>& flag;
    zvt::test::TestHTTPServer& server;
    ~Release() {
      flag = false;
      server.stop();  // no handler outlives the locals it refers to
    }
  } releaseAtEnd{holdFirst, server};
  server.route("/file", [&, fullBody](const HTTPRequest& q, HTTPResponder& r) {
    const std::string& full = *fullBody;
    if (!q.hasHeader("Range")) {
      // First request: half the body, then hold the rest until the client pauses.
      r.writeHead(200, {{"Content-Type", "application/octet-stream"}, {"ETag", "\"v1\""},
                        {"Content-Length", std::to_string(full.size())}});
      r.writeRaw(std::string_view(full).substr(0, 1000));
      while (holdFirst.load()) r.pause(0.01);
      r.drop();
      return;
    }
    if (honourRange.load()) {
      r.sendWithRange(q, full, {{"ETag", "\"v1\""}});
    } else {
      r.send(200, {{"Content-Type", "application/octet-stream"}}, full);
    }
  });
  zvt::test::TempHome home;
  // In memory and into a file, with a server that honours the range and one that sends the
  // whole body again.
  for (auto [toFile, honour] : {std::pair{false, true}, {false, false}, {true, true}, {true, false}}) {
    SCOPED_TRACE(std::string(toFile ? "file" : "memory") + (honour ? ", range honoured" : ", whole body again"));
    honourRange = honour;
    holdFirst = true;
    size_t before = server.requestCount();
    auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/file")))));
    const std::string path = home.pathFor("tmp/download-" + std::to_string(honour) + ".bin");
    if (toFile) op->setOutputStream(NSOutputStream::outputStreamToFileAtPath(ns(path), false));
    Outcome outcome;
    op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
    auto queue = NSOperationQueue::make();
    queue->addOperation(op);
    ASSERT_TRUE(runMainLoopUntil([&] { return op->totalBytesRead() >= 1000; }));
    op->pause();
    EXPECT_TRUE(op->isPaused());
    holdFirst = false;
    EXPECT_EQ(op->request()->valueForHTTPHeaderField("Range")->utf8(), "bytes=1000-");
    EXPECT_EQ(op->request()->valueForHTTPHeaderField("If-Range")->utf8(), "\"v1\"");
    op->resume();
    ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
    ASSERT_EQ(outcome.successes, 1) << (outcome.error ? outcome.error->description()->utf8() : "");
    std::string received;
    if (toFile) {
      std::ifstream in(path, std::ios::binary);
      received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      auto data = zvt::as<NSData>(outcome.object);
      ASSERT_TRUE(data);
      received = data->view();
    }
    EXPECT_EQ(received.size(), full.size());
    EXPECT_TRUE(received == full) << "the body is whole and in order";
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests.back().header("Range"), "bytes=1000-");
    EXPECT_EQ(requests.back().header("If-Range"), "\"v1\"");
  }
}

TEST_F(HttpOperation, TwoHundredConcurrentOperationsShareOneSerializer) {
  server.route("/c", [](const HTTPRequest& q, HTTPResponder& r) {
    r.send(200, {{"Content-Type", "application/json"}}, "{\"n\":" + q.queryValue("n") + "}");
  });
  auto manager = NWHTTPRequestOperationManager::manager();
  std::atomic<int> successes{0}, failures{0};
  std::vector<int> seen(200, 0);
  for (int i = 0; i < 200; ++i) {
    manager->GET(ns(server.url("/c")), NSDictionary::make({{"n"_ns, NSNumber::numberWithInt(i)}}),
                 [&, i](const std::shared_ptr<NWHTTPRequestOperation>&, const id& object) {
                   auto n = zvt::as<NSNumber>(zvt::as<NSDictionary>(object)->objectForKey("n"_ns));
                   if (n && n->intValue() == i) ++seen[i];
                   ++successes;
                 },
                 [&](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) { ++failures; });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return successes.load() + failures.load() == 200; }, 60));
  EXPECT_EQ(successes.load(), 200);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(seen, std::vector<int>(200, 1));
  manager->operationQueue()->waitUntilAllOperationsAreFinished();
}

// Records "key old->new" of each key-value observed change, from whatever thread.
class StateObserver : public NSObject {
 public:
  void observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id&, const std::shared_ptr<NSDictionary>& change,
                              void*) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(keyPath->utf8() + " " + NSStringFromObject(change->objectForKey(NSKeyValueChangeOldKey)) + "->" +
                     NSStringFromObject(change->objectForKey(NSKeyValueChangeNewKey)));
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

TEST_F(HttpOperation, StateMachineAndOutputStreamFailures) {
  struct Transition {
    NSInteger from, to;
    bool cancelled, valid;
  };
  for (auto [from, to, cancelled, valid] : {Transition{1, 2, false, true}, Transition{1, 3, false, false}, Transition{1, 3, true, true},
                                            Transition{3, 1, false, false}, Transition{-1, 2, false, false},
                                            Transition{-1, 1, false, true}}) {
    EXPECT_EQ(NWURLConnectionOperation::stateTransitionIsValid(from, to, cancelled), valid) << from << "->" << to;
  }

  server.route("/big", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, std::string(5000, 'q')); });
  // Pause on a ready operation, resume starts it; key-value observers see each state change.
  auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/big")))));
  Outcome outcome;
  op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
  auto observer = std::make_shared<StateObserver>();
  for (auto key : {"isPaused"_ns, "isExecuting"_ns, "isFinished"_ns})
    op->addObserver(observer, key, NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew, nullptr);
  op->resume();
  EXPECT_FALSE(op->isPaused());
  op->pause();
  EXPECT_TRUE(op->isPaused());
  op->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_EQ(zvt::as<NSData>(outcome.object)->length(), 5000u);
  // Observers are told after the operation's own hook has handed the completion on.
  ASSERT_TRUE(runMainLoopUntil([&] { return observer->lines().size() >= 5; }));
  EXPECT_EQ(observer->lines(), (std::vector<std::string>{"isPaused 0->1", "isPaused 1->0", "isExecuting 0->1",
                                                         "isExecuting 1->0", "isFinished 0->1"}));

  // An output stream that runs out of space fails the operation instead of hanging.
  std::vector<uint8_t> small(100);
  auto full = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/big")))));
  full->setOutputStream(NSOutputStream::outputStreamToBuffer(small.data(), small.size()));
  Outcome fullOutcome;
  full->setCompletionBlockWithSuccess(fullOutcome.success(), fullOutcome.failure());
  full->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return fullOutcome.done(); }));
  EXPECT_EQ(fullOutcome.failures, 1);
  EXPECT_EQ(fullOutcome.error->domain()->utf8(), "NSURLErrorDomain");
}

// Notes the values of "isFinished" it is told (the first from the registration itself).
class FinishWatcher : public NSObject {
 public:
  void observeValueForKeyPath(const std::shared_ptr<NSString>&, const id&, const std::shared_ptr<NSDictionary>& change,
                              void*) override {
    auto value = zvt::as<NSNumber>(change->objectForKey(NSKeyValueChangeNewKey));
    std::lock_guard<std::mutex> lock(mutex_);
    values_.push_back(value && value->boolValue());
  }
  std::vector<bool> values() {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
  }

 private:
  std::mutex mutex_;
  std::vector<bool> values_;
};

// Nobody observed the operation when it looked, so it finishes without announcements; an
// observer that registers before the new state is stored reads "not finished" as its first
// value, and must still hear the finish, or it waits for good.
TEST_F(HttpOperation, AnObserverThatComesWhileAnUnobservedFinishIsUnderWayHearsIt) {
  std::atomic<bool> release{false};
  ReleaseAtEnd releaseAtEnd{release, server};
  server.route("/late", [&](const HTTPRequest&, HTTPResponder& r) {
    for (int i = 0; i < 3000 && !release.load(); ++i) r.pause(0.01);
    r.send(200, "late");
  });
  // Observations are kept in a few shards by address, and the operation counts as perhaps
  // observed when another object of its shard is: it must find nobody there, or it announces.
  auto make = [&] {
    return NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url("/late")))));
  };
  std::vector<std::shared_ptr<NWHTTPRequestOperation>> inBusyShards;
  auto op = make();
  while (zvt::mayBeObserved(*op) && inBusyShards.size() < 64) {
    inBusyShards.push_back(op);  // kept, so that the next one lies elsewhere
    op = make();
  }
  ASSERT_FALSE(zvt::mayBeObserved(*op)) << zvt::observedObjectCount() << " objects observed";
  Outcome outcome;
  op->setCompletionBlockWithSuccess(outcome.success(), outcome.failure());
  auto queue = NSOperationQueue::make();
  queue->addOperation(op);
  ASSERT_TRUE(runMainLoopUntil([&] { return op->isExecuting(); }));
  auto watcher = std::make_shared<FinishWatcher>();
  {
    // Executing, the operation's next change of state is its finish.
    zvt::test::HoldAt hold(zvt::pause::Point::kUnobservedStateChange, static_cast<NWURLConnectionOperation*>(op.get()));
    release = true;
    const bool held = hold.waitUntilHeld();
    EXPECT_TRUE(held);
    op->addObserver(watcher, "isFinished"_ns, NSKeyValueObservingOptionNew | NSKeyValueObservingOptionInitial, nullptr);
    if (held) {
      EXPECT_EQ(watcher->values(), std::vector<bool>{false});
    }
  }
  EXPECT_TRUE(runMainLoopUntil([&] { return watcher->values().size() >= 2; }, 5));
  EXPECT_EQ(watcher->values(), (std::vector<bool>{false, true}));
  op->removeObserver(watcher, "isFinished"_ns);
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  EXPECT_EQ(outcome.successes, 1);
}

// The completion group holds a request's result until its block has run: whoever waits on the
// group (or is notified when it empties) finds the block's work done.
TEST_F(HttpOperation, TheCompletionGroupIsLeftOnlyOnceTheBlockHasRun) {
  server.route("/ok", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, "ok"); });
  server.route("/bad", [](const HTTPRequest&, HTTPResponder& r) { r.send(500, "bad"); });
  enum class Block { kSuccess, kFailure, kPlainCompletion };
  const struct {
    const char* what;
    const char* path;
    Block block;
  } cases[] = {
      {"the success block", "/ok", Block::kSuccess},
      {"the failure block", "/bad", Block::kFailure},
      {"a plain completion block", "/ok", Block::kPlainCompletion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto group = dispatch_group_create();
    auto op = NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(ns(server.url(c.path)))));
    op->setCompletionGroup(group);
    std::atomic<int> ran{0};
    std::atomic<bool> inGroup{false};
    auto inside = [group, &ran, &inGroup] {
      inGroup = dispatch_group_wait(group, DISPATCH_TIME_NOW) != 0;
      ++ran;
    };
    if (c.block == Block::kPlainCompletion) {
      op->setCompletionBlock(inside);
    } else {
      op->setCompletionBlockWithSuccess(
          [&, inside](const std::shared_ptr<NWHTTPRequestOperation>&, const id&) {
            if (c.block == Block::kSuccess) inside();
          },
          [&, inside](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) {
            if (c.block == Block::kFailure) inside();
          });
    }
    std::atomic<int> ranAtNotify{-1};
    auto queue = NSOperationQueue::make();
    queue->addOperation(op);
    ASSERT_TRUE(runMainLoopUntil([&] { return ran.load() == 1; }));
    EXPECT_TRUE(inGroup.load());
    dispatch_group_notify(group, dispatch_get_main_queue(), [&] { ranAtNotify = ran.load(); });
    ASSERT_TRUE(runMainLoopUntil([&] { return ranAtNotify.load() >= 0; }));
    EXPECT_EQ(ranAtNotify.load(), 1);
    queue->waitUntilAllOperationsAreFinished();
  }
}

}  // namespace
