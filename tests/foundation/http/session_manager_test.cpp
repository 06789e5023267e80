// Session managers against the loopback server: the verbs and their outcome blocks, request
// errors, task notifications, task delegates and their end, downloads and upload progress.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/http/NWHTTPSessionManager.h"
#include "foundation/http/NWURLSessionManager.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSFileManager.h"
#include "tests/support/MainLoop.h"
#include "platform/security/SecOpenSSL.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::runMainLoopUntil;

// Counts notifications of one name per object on the main thread.
class NotificationCounter {
 public:
  explicit NotificationCounter(const NSNotificationName& name) {
    token_ = NSNotificationCenter::defaultCenter()->addObserverForName(name, nullptr, nullptr, [this](const auto& note) {
      std::lock_guard lock(mutex_);
      ++counts_[note->object().get()];
      last_ = note;
    });
  }
  ~NotificationCounter() { NSNotificationCenter::defaultCenter()->removeObserver(token_); }
  int count(const id& object) {
    std::lock_guard lock(mutex_);
    return counts_[object.get()];
  }
  int total() {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& [object, count] : counts_) n += count;
    return n;
  }
  std::shared_ptr<NSNotification> last() {
    std::lock_guard lock(mutex_);
    return last_;
  }
  void forgetLast() {
    std::lock_guard lock(mutex_);
    last_.reset();
  }

 private:
  id token_;
  std::mutex mutex_;
  std::map<const void*, int> counts_;
  std::shared_ptr<NSNotification> last_;
};

class SessionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.installStandardRoutes();
    server.route("/json", [](const zvt::test::HTTPRequest& q, zvt::test::HTTPResponder& r) {
      std::string body = "{\"method\":\"" + q.method + "\",\"length\":" + std::to_string(q.body.size()) + ",\"query\":\"" + q.query + "\"}";
      r.send(200, {{"Content-Type", "application/json"}}, body);
    });
    server.route("/fail", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
      r.send(500, {{"Content-Type", "application/json"}}, "{\"error\":1}");
    });
  }

  std::shared_ptr<NWHTTPSessionManager> makeManager() {
    auto manager = NWHTTPSessionManager::initWithBaseURL(NSURL::URLWithString(server.url("/")));
    managers.push_back(manager);
    return manager;
  }

  void TearDown() override {
    // Every manager ends through invalidation; then nothing keeps it or its session alive.
    std::vector<std::weak_ptr<NWURLSessionManager>> weakManagers;
    std::vector<std::weak_ptr<NSURLSession>> weakSessions;
    for (auto& manager : managers) {
      weakManagers.push_back(manager);
      weakSessions.push_back(manager->session());
      manager->invalidateSessionCancelingTasks(true);
    }
    managers.clear();
    EXPECT_TRUE(runMainLoopUntil([&] {
      for (auto& w : weakManagers) {
        if (!w.expired()) return false;
      }
      for (auto& w : weakSessions) {
        if (!w.expired()) return false;
      }
      return true;
    }));
  }

  zvt::test::TempHome home;
  zvt::test::TestHTTPServer server;
  std::vector<std::shared_ptr<NWHTTPSessionManager>> managers;
};

struct Outcome {
  std::atomic<int> successes{0};
  std::atomic<int> failures{0};
  id object;
  std::shared_ptr<NSError> error;
  std::shared_ptr<NSURLSessionDataTask> task;
  bool done() const { return successes + failures > 0; }
  NWHTTPSessionManager::SuccessBlock success() {
    return [this](const auto& t, const id& o) {
      task = t;
      object = o;
      ++successes;
    };
  }
  NWHTTPSessionManager::FailureBlock failure() {
    return [this](const auto& t, const auto& e) {
      task = t;
      error = e;
      ++failures;
    };
  }
};

std::string methodOf(const id& object) {
  auto dictionary = zvt::as<NSDictionary>(object);
  auto method = dictionary ? zvt::as<NSString>(dictionary->objectForKey("method"_ns)) : nullptr;
  return method ? method->utf8() : "";
}

TEST_F(SessionManagerTest, VerbsCallExactlyOneOfTheirBlocks) {
  auto manager = makeManager();
  auto params = NSDictionary::make({{"a"_ns, "1"_ns}});
  struct Case {
    std::string name;
    std::function<std::shared_ptr<NSURLSessionDataTask>(const std::shared_ptr<NSString>&, Outcome&)> call;
  };
  std::vector<Case> cases = {
      {"GET", [&](const auto& path, Outcome& o) { return manager->GET(path, params, o.success(), o.failure()); }},
      {"POST", [&](const auto& path, Outcome& o) { return manager->POST(path, params, o.success(), o.failure()); }},
      {"PUT", [&](const auto& path, Outcome& o) { return manager->PUT(path, params, o.success(), o.failure()); }},
      {"PATCH", [&](const auto& path, Outcome& o) { return manager->PATCH(path, params, o.success(), o.failure()); }},
      {"DELETE", [&](const auto& path, Outcome& o) { return manager->DELETE(path, params, o.success(), o.failure()); }},
      {"POST",
       [&](const auto& path, Outcome& o) {
         return manager->POST(
             path, params, [](NWMultipartFormData& form) { form.appendPartWithFormData(NSData::dataWithString("part"), "file"_ns); },
             o.success(), o.failure());
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome good;
    auto task = c.call("json"_ns, good);
    ASSERT_TRUE(task);
    EXPECT_NE(task->state(), NSURLSessionTaskStateSuspended);  // resumed (it may have finished already)
    ASSERT_TRUE(runMainLoopUntil([&] { return good.done(); }));
    EXPECT_EQ(good.successes.load(), 1);
    EXPECT_EQ(good.failures.load(), 0);
    EXPECT_EQ(methodOf(good.object), c.name);
    EXPECT_EQ(good.task, task);

    Outcome bad;
    c.call("fail"_ns, bad);
    ASSERT_TRUE(runMainLoopUntil([&] { return bad.done(); }));
    zvt::test::drainMainLoop();
    EXPECT_EQ(bad.successes.load(), 0);
    EXPECT_EQ(bad.failures.load(), 1);
    EXPECT_EQ(bad.error->code(), NSURLErrorBadServerResponse);
  }

  Outcome head;
  std::atomic<int> headSuccesses{0};
  manager->HEAD("json"_ns, nullptr, [&](const auto& task) { headSuccesses += task ? 1 : 100; }, head.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return headSuccesses.load() > 0; }));
  EXPECT_EQ(headSuccesses.load(), 1);
  EXPECT_EQ(head.failures.load(), 0);
  EXPECT_EQ(server.requests().back().method, "HEAD");
  EXPECT_EQ(server.requests().back().query, "");
}

TEST_F(SessionManagerTest, UnserializableRequestGivesNilAndOneLaterFailureWithoutTask) {
  auto manager = makeManager();
  manager->setRequestSerializer(NWJSONRequestSerializer::serializer());
  Outcome outcome;
  auto task = manager->POST("json"_ns, NSDictionary::make({{"bad"_ns, NSObject::make()}}), outcome.success(), outcome.failure());
  EXPECT_FALSE(task);
  EXPECT_EQ(outcome.failures.load(), 0);  // later, not from inside the call
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  zvt::test::drainMainLoop();
  EXPECT_EQ(outcome.failures.load(), 1);
  EXPECT_EQ(outcome.successes.load(), 0);
  EXPECT_FALSE(outcome.task);
  EXPECT_TRUE(outcome.error);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(SessionManagerTest, BaseURLGetsATrailingSlashWhenItHasAPath) {
  auto withPath = NWHTTPSessionManager::initWithBaseURL(NSURL::URLWithString(server.url("/api")));
  managers.push_back(withPath);
  EXPECT_EQ(withPath->baseURL()->absoluteString()->utf8(), server.url("/api/"));
  auto bare = NWHTTPSessionManager::initWithBaseURL(NSURL::URLWithString("http://example.invalid"));
  managers.push_back(bare);
  EXPECT_EQ(bare->baseURL()->absoluteString()->utf8(), "http://example.invalid");
  auto task = withPath->dataTaskWithHTTPMethod("GET"_ns, "json"_ns, nullptr, nullptr, nullptr);
  EXPECT_EQ(task->originalRequest()->URL()->absoluteString()->utf8(), server.url("/api/json"));
  task->cancel();
}

TEST_F(SessionManagerTest, ResumeIsAnnouncedOncePerRealChangeAndOnlyByTheOwningManager) {
  NotificationCounter raw(NWNSURLSessionTaskDidResumeNotification);
  NotificationCounter rawSuspend(NWNSURLSessionTaskDidSuspendNotification);
  NotificationCounter relayed(NWNetworkingTaskDidResumeNotification);
  NotificationCounter relayedSuspend(NWNetworkingTaskDidSuspendNotification);
  auto owner = makeManager();
  auto other = makeManager();
  server.route("/hold", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
    r.pause(0.2);
    r.send(200, {{"Content-Type", "application/json"}}, "{}");
  });
  Outcome outcome;
  auto task = owner->dataTaskWithHTTPMethod("GET"_ns, "hold"_ns, nullptr, outcome.success(), outcome.failure());
  task->resume();
  task->resume();  // already running
  task->suspend();
  task->suspend();  // already suspended
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  zvt::test::drainMainLoop();
  EXPECT_EQ(raw.count(task), 2);
  EXPECT_EQ(rawSuspend.count(task), 1);
  // Two managers observe, only the owner relays.
  EXPECT_EQ(relayed.count(task), 2);
  EXPECT_EQ(relayedSuspend.count(task), 1);
  EXPECT_EQ(relayed.total(), 2);

  // A task of a plain session (no manager's description) is announced but never relayed.
  auto plain = NSURLSession::sessionWithConfiguration(nullptr);
  auto foreign = plain->dataTaskWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/hello"))));
  foreign->resume();
  zvt::test::drainMainLoop();
  EXPECT_EQ(raw.count(foreign), 1);
  EXPECT_EQ(relayed.count(foreign), 0);
  plain->invalidateAndCancel();
}

TEST_F(SessionManagerTest, TaskDelegatesGoAtCompletionAndCompletionIsPosted) {
  NotificationCounter complete(NWNetworkingTaskDidCompleteNotification);
  auto manager = makeManager();
  Outcome outcome;
  auto task = manager->GET("json"_ns, nullptr, outcome.success(), outcome.failure());
  EXPECT_EQ(manager->mutableTaskDelegatesKeyedByTaskIdentifier()->count(), 1u);
  EXPECT_EQ(task->taskDescription()->utf8(), manager->taskDescriptionForSessionTasks()->utf8());
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done() && complete.count(task) == 1; }));
  EXPECT_EQ(manager->mutableTaskDelegatesKeyedByTaskIdentifier()->count(), 0u);
  auto info = complete.last()->userInfo();
  EXPECT_TRUE(info->objectForKey(NWNetworkingTaskDidCompleteResponseSerializerKey));
  EXPECT_TRUE(info->objectForKey(NWNetworkingTaskDidCompleteResponseDataKey));
  EXPECT_TRUE(info->objectForKey(NWNetworkingTaskDidCompleteSerializedResponseKey));
  EXPECT_FALSE(info->objectForKey(NWNetworkingTaskDidCompleteErrorKey));

  // A failing transfer: nil object, the error, and the received bytes kept in the notification.
  Outcome failed;
  auto broken = manager->GET("fail"_ns, nullptr, failed.success(), failed.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return failed.done() && complete.count(broken) == 1; }));
  auto failedInfo = complete.last()->userInfo();
  EXPECT_TRUE(failedInfo->objectForKey(NWNetworkingTaskDidCompleteErrorKey));
  auto data = zvt::as<NSData>(failedInfo->objectForKey(NWNetworkingTaskDidCompleteResponseDataKey));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->view(), "{\"error\":1}");
}

TEST_F(SessionManagerTest, InvalidationDropsDelegatesAndFreesManagerAndSession) {
  NotificationCounter invalidated(NWURLSessionDidInvalidateNotification);
  auto manager = NWHTTPSessionManager::initWithBaseURL(NSURL::URLWithString(server.url("/")));
  Outcome outcome;
  auto task = manager->GET("stall"_ns, nullptr, outcome.success(), outcome.failure());
  auto unstarted = manager->dataTaskWithHTTPMethod("GET"_ns, "json"_ns, nullptr, nullptr, nullptr);
  EXPECT_EQ(manager->mutableTaskDelegatesKeyedByTaskIdentifier()->count(), 2u);
  EXPECT_EQ(manager->tasks()->count(), 2u);
  EXPECT_EQ(manager->dataTasks()->count(), 2u);
  std::weak_ptr<NWHTTPSessionManager> weakManager = manager;
  std::weak_ptr<NSURLSession> weakSession = manager->session();
  auto session = manager->session();
  manager->invalidateSessionCancelingTasks(true);
  ASSERT_TRUE(runMainLoopUntil([&] { return invalidated.count(session) == 1; }));
  EXPECT_EQ(manager->mutableTaskDelegatesKeyedByTaskIdentifier()->count(), 0u);
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  EXPECT_EQ(outcome.error->code(), NSURLErrorCancelled);
  invalidated.forgetLast();
  session.reset();
  manager.reset();
  task.reset();
  unstarted.reset();
  outcome.task.reset();
  EXPECT_TRUE(runMainLoopUntil([&] { return weakManager.expired(); }));
  EXPECT_TRUE(runMainLoopUntil([&] { return weakSession.expired(); }));
}

TEST_F(SessionManagerTest, DownloadsMoveToTheirDestinationOrFailWithTheMoveError) {
  NotificationCounter moveFailed(NWURLSessionDownloadTaskDidFailToMoveFileNotification);
  auto manager = makeManager();
  manager->setResponseSerializer(NWHTTPResponseSerializer::serializer());
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/bytes?n=4096")));
  auto destination = NSURL::fileURLWithPath(NSString::stringWithUTF8String(home.pathFor("Documents/file.bin")));

  std::shared_ptr<NSProgress> progress;
  std::atomic<bool> done{false};
  id object;
  std::shared_ptr<NSError> error;
  auto task = manager->downloadTaskWithRequest(
      request, &progress, [&](const auto&, const auto&) { return destination; },
      [&](const auto&, const id& o, const auto& e) {
        object = o;
        error = e;
        done = true;
      });
  ASSERT_TRUE(progress);
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  EXPECT_FALSE(error);
  EXPECT_TRUE(zvt::objectsEqual(object, destination));
  std::ifstream in(destination->path()->utf8(), std::ios::binary);
  std::stringstream contents;
  contents << in.rdbuf();
  EXPECT_EQ(contents.str().size(), 4096u);
  EXPECT_EQ(progress->completedUnitCount(), 4096);
  EXPECT_EQ(progress->totalUnitCount(), 4096);

  // Into a folder that does not exist: the notification and an error for the caller.
  done = false;
  auto nowhere = NSURL::fileURLWithPath(NSString::stringWithUTF8String(home.pathFor("missing/dir/file.bin")));
  auto failing = manager->downloadTaskWithRequest(
      request, nullptr, [&](const auto&, const auto&) { return nowhere; },
      [&](const auto&, const id& o, const auto& e) {
        object = o;
        error = e;
        done = true;
      });
  failing->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  ASSERT_TRUE(error);
  EXPECT_FALSE(object);
  zvt::test::drainMainLoop();
  EXPECT_EQ(moveFailed.count(failing), 1);

  // A manager-level block that answers nil leaves the decision to the task's own block.
  done = false;
  manager->setDownloadTaskDidFinishDownloadingBlock([](const auto&, const auto&, const auto&) { return std::shared_ptr<NSURL>(); });
  auto fallback = NSURL::fileURLWithPath(NSString::stringWithUTF8String(home.pathFor("Documents/fallback.bin")));
  manager
      ->downloadTaskWithRequest(
          request, nullptr, [&](const auto&, const auto&) { return fallback; },
          [&](const auto&, const id& o, const auto& e) {
            object = o;
            error = e;
            done = true;
          })
      ->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  EXPECT_FALSE(error);
  EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath(fallback->path()));
}

TEST_F(SessionManagerTest, StreamedUploadProgressCountsToTheDeclaredContentLength) {
  auto manager = makeManager();
  auto serializer = NWHTTPRequestSerializer::serializer();
  auto request = serializer->multipartFormRequestWithMethod(
      "POST"_ns, NSString::stringWithUTF8String(server.url("/json")), NSDictionary::make({{"k"_ns, "v"_ns}}),
      [](NWMultipartFormData& form) { form.appendPartWithFormData(NSData::dataWithString(std::string(3000, 'z')), "blob"_ns); });
  ASSERT_TRUE(request);
  auto length = request->valueForHTTPHeaderField("Content-Length");
  ASSERT_TRUE(length);
  std::shared_ptr<NSProgress> progress;
  std::atomic<bool> done{false};
  std::shared_ptr<NSError> error;
  auto task = manager->uploadTaskWithStreamedRequest(request, &progress, [&](const auto&, const id&, const auto& e) {
    error = e;
    done = true;
  });
  EXPECT_EQ(task->countOfBytesExpectedToSend(), NSURLSessionTransferSizeUnknown);
  EXPECT_EQ(progress->totalUnitCount(), length->longLongValue());
  EXPECT_EQ(manager->uploadProgressForTask(task), progress);
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  EXPECT_FALSE(error);
  EXPECT_EQ(progress->totalUnitCount(), length->longLongValue());
  EXPECT_EQ(progress->completedUnitCount(), length->longLongValue());
  EXPECT_EQ(server.requests().back().body.size(), static_cast<size_t>(length->longLongValue()));
}

TEST_F(SessionManagerTest, UploadProgressPausesAndCancelsItsTask) {
  auto manager = makeManager();
  std::shared_ptr<NSProgress> progress;
  std::atomic<bool> done{false};
  std::shared_ptr<NSError> error;
  auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/stall")));
  request->setHTTPMethod("POST");
  auto task = manager->uploadTaskWithRequest(request, NSData::dataWithString("abc"), &progress, [&](const auto&, const id&, const auto& e) {
    error = e;
    done = true;
  });
  EXPECT_EQ(progress->totalUnitCount(), 3);
  task->resume();
  progress->pause();
  EXPECT_EQ(task->state(), NSURLSessionTaskStateSuspended);
  task->resume();
  progress->cancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  EXPECT_EQ(error->code(), NSURLErrorCancelled);
}

TEST_F(SessionManagerTest, OverrideBlocksDecideAndRespondsToSelectorFollowsThem) {
  auto manager = makeManager();
  EXPECT_FALSE(manager->respondsToSelector("URLSession:dataTask:didReceiveResponse:completionHandler:"));
  EXPECT_FALSE(manager->respondsToSelector("URLSession:task:willPerformHTTPRedirection:newRequest:completionHandler:"));
  EXPECT_FALSE(manager->respondsToSelector("URLSession:dataTask:willCacheResponse:completionHandler:"));
  EXPECT_FALSE(manager->respondsToSelector("URLSessionDidFinishEventsForBackgroundURLSession:"));
  EXPECT_TRUE(manager->respondsToSelector("URLSession:didReceiveChallenge:completionHandler:"));
  std::atomic<int> redirects{0};
  manager->setTaskWillPerformHTTPRedirectionBlock([&](const auto&, const auto&, const auto&, const auto&) {
    ++redirects;
    return std::shared_ptr<NSURLRequest>();
  });
  manager->setDataTaskDidReceiveResponseBlock([](const auto&, const auto&, const auto&) { return NSURLSessionResponseAllow; });
  EXPECT_TRUE(manager->respondsToSelector("URLSession:task:willPerformHTTPRedirection:newRequest:completionHandler:"));
  EXPECT_TRUE(manager->respondsToSelector("URLSession:dataTask:didReceiveResponse:completionHandler:"));
  Outcome outcome;
  manager->GET("redirect-to"_ns, NSDictionary::make({{"url"_ns, "/json"_ns}}), outcome.success(), outcome.failure());
  ASSERT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
  EXPECT_EQ(redirects.load(), 1);
  // The redirect was refused: the 302 itself is the reply, outside the acceptable codes.
  EXPECT_EQ(outcome.failures.load(), 1);
}

TEST_F(SessionManagerTest, CopyingAndArchivingKeepTheConfiguration) {
  auto configuration = NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("com.zvt.test"_ns);
  auto manager = NWHTTPSessionManager::initWithBaseURL(NSURL::URLWithString(server.url("/api/")), configuration);
  managers.push_back(manager);
  auto copy = std::static_pointer_cast<NWHTTPSessionManager>(manager->copy());
  managers.push_back(copy);
  EXPECT_NE(copy->session(), manager->session());
  EXPECT_TRUE(zvt::objectsEqual(copy->baseURL(), manager->baseURL()));
  EXPECT_EQ(copy->session()->configuration()->identifier()->utf8(), "com.zvt.test");
  EXPECT_NE(copy->requestSerializer(), manager->requestSerializer());

  auto data = NSKeyedArchiver::archivedDataWithRootObject(manager);
  auto back = zvt::as<NWHTTPSessionManager>(NSKeyedUnarchiver::unarchiveObjectWithData(data));
  ASSERT_TRUE(back);
  managers.push_back(back);
  EXPECT_TRUE(zvt::objectsEqual(back->baseURL(), manager->baseURL()));
  EXPECT_EQ(back->session()->configuration()->identifier()->utf8(), "com.zvt.test");
  EXPECT_TRUE(back->securityPolicy());
}

TEST_F(SessionManagerTest, NoTaskFromAnInvalidatedSessionEvenAfterUploadRetries) {
  auto configuration = NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("com.zvt.retry"_ns);
  auto manager = NWHTTPSessionManager::initWithBaseURL(nullptr, configuration);
  managers.push_back(manager);
  manager->setAttemptsToRecreateUploadTasksForBackgroundSessions(true);
  manager->session()->finishTasksAndInvalidate();
  std::string file = home.pathFor("tmp/body.txt");
  std::ofstream(file) << "body";
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/echo")));
  std::shared_ptr<NSProgress> progress;
  EXPECT_FALSE(manager->uploadTaskWithRequest(request, NSURL::fileURLWithPath(NSString::stringWithUTF8String(file)), &progress, nullptr));
  EXPECT_FALSE(progress);
  EXPECT_FALSE(manager->dataTaskWithRequest(request, nullptr));
  EXPECT_EQ(manager->mutableTaskDelegatesKeyedByTaskIdentifier()->count(), 0u);
}

TEST_F(SessionManagerTest, ServerTrustIsJudgedByTheSecurityPolicy) {
  using zvt::test::TestCertificates;
  const auto& certs = TestCertificates::shared();
  zvt::SecTrustSetSystemAnchorCertificates(std::vector<SecCertificateRef>{SecCertificateCreateWithData(certs.ca.der)});
  zvt::test::TestHTTPServer good({certs.localhost.chainPEM, certs.localhost.keyPEM});
  zvt::test::TestHTTPServer selfSigned({certs.selfSigned.chainPEM, certs.selfSigned.keyPEM});
  good.installStandardRoutes();
  selfSigned.installStandardRoutes();
  auto manager = makeManager();
  manager->setResponseSerializer(NWHTTPResponseSerializer::serializer());

  auto load = [&](const std::string& url) {
    Outcome outcome;
    manager->GET(NSString::stringWithUTF8String(url), nullptr, outcome.success(), outcome.failure());
    EXPECT_TRUE(runMainLoopUntil([&] { return outcome.done(); }));
    return outcome.error ? outcome.error->code() : 0;
  };
  EXPECT_EQ(load(good.localhostURL("/hello")), 0);
  // Refused by the default policy: the challenge is cancelled.
  EXPECT_EQ(load(selfSigned.localhostURL("/hello")), NSURLErrorCancelled);
  // Pinned to the self-signed certificate with invalid certificates allowed, it is accepted.
  auto pinned = NWSecurityPolicy::policyWithPinningMode(NWSSLPinningModeCertificate);
  pinned->setAllowInvalidCertificates(true);
  pinned->setPinnedCertificates(NSArray::arrayWithObject(NSData::dataWithBytes(certs.selfSigned.der.data(), certs.selfSigned.der.size())));
  manager->setSecurityPolicy(pinned);
  EXPECT_EQ(load(selfSigned.localhostURL("/hello")), 0);
  // A challenge block takes the decision away from the policy.
  std::atomic<int> asked{0};
  manager->setSessionDidReceiveAuthenticationChallengeBlock([&](const auto&, const auto&, std::shared_ptr<NSURLCredential>*) {
    ++asked;
    return NSURLSessionAuthChallengeCancelAuthenticationChallenge;
  });
  EXPECT_EQ(load(good.localhostURL("/hello")), NSURLErrorCancelled);
  EXPECT_EQ(asked.load(), 1);
  zvt::SecTrustSetSystemAnchorCertificates(std::nullopt);
}

}  // namespace

namespace {

// A manager still in use on another thread while the process exits: here from an exit handler
// registered before the manager made its first task (and with it the process-wide queues).
std::shared_ptr<NWHTTPSessionManager>* gLateManager = nullptr;

void makeATaskWhileExiting() {
  auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:9/late"));
  auto task = (*gLateManager)->dataTaskWithRequest(request, nullptr);
  std::fprintf(stderr, "late task %s\n", task ? "made" : "refused");
}

TEST(HttpSessionManagerDeathTest, ATaskMadeWhileTheProcessExitsFindsTheSharedQueues) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(makeATaskWhileExiting);
        gLateManager = new std::shared_ptr<NWHTTPSessionManager>(NWHTTPSessionManager::initWithBaseURL(nullptr, nullptr));
        auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:9/first"));
        (*gLateManager)->dataTaskWithRequest(request, nullptr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "late task made");
}

}  // namespace
