// URL sessions against the loopback server: task kinds, delegate reports and their order,
// suspension, cancellation with resume data, invalidation, configurations.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSProgress.h"
#include "platform/foundation/NSStream.h"
#include "platform/network/NSURLSession.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHTTPServer.h"

namespace {

using zvt::test::runMainLoopUntil;

class Recorder : public NSURLSessionDelegate {
 public:
  std::mutex mutex;
  std::vector<std::string> events;
  std::string body;
  std::shared_ptr<NSError> error;
  std::atomic<bool> completed{false};
  std::atomic<bool> invalidated{false};
  std::atomic<int> completions{0};
  std::string downloaded;  // contents of the file at didFinishDownloading
  std::shared_ptr<NSURL> location;
  int64_t lastExpectedToSend = 0;
  std::vector<std::pair<int64_t, int64_t>> resumes;
  NSURLSessionResponseDisposition disposition = NSURLSessionResponseAllow;
  bool refuseRedirects = false;
  std::shared_ptr<NSURLSessionDownloadTask> becameDownload;

  void add(const std::string& e) {
    std::lock_guard lock(mutex);
    events.push_back(e);
  }
  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex);
    return events;
  }

  void URLSessionDidBecomeInvalidWithError(const Session&, const std::shared_ptr<NSError>&) override {
    add("invalid");
    invalidated = true;
  }
  void URLSessionTaskWillPerformHTTPRedirection(const Session&, const Task&, const std::shared_ptr<NSHTTPURLResponse>& response,
                                                const std::shared_ptr<NSURLRequest>& request,
                                                const std::function<void(const std::shared_ptr<NSURLRequest>&)>& handler) override {
    add("redirect " + std::to_string(response ? response->statusCode() : 0));
    handler(refuseRedirects ? nullptr : request);
  }
  void URLSessionTaskDidSendBodyData(const Session&, const Task&, int64_t, int64_t, int64_t expected) override {
    std::lock_guard lock(mutex);
    lastExpectedToSend = expected;
  }
  void URLSessionTaskDidCompleteWithError(const Session&, const Task&, const std::shared_ptr<NSError>& e) override {
    add(e ? "complete " + std::to_string(e->code()) : "complete");
    {
      std::lock_guard lock(mutex);
      error = e;
    }
    ++completions;
    completed = true;
  }
  void URLSessionDataTaskDidReceiveResponse(const Session&, const std::shared_ptr<NSURLSessionDataTask>&,
                                            const std::shared_ptr<NSURLResponse>&,
                                            const std::function<void(NSURLSessionResponseDisposition)>& handler) override {
    add("response");
    handler(disposition);
  }
  void URLSessionDataTaskDidBecomeDownloadTask(const Session&, const std::shared_ptr<NSURLSessionDataTask>&,
                                               const std::shared_ptr<NSURLSessionDownloadTask>& download) override {
    add("became-download");
    std::lock_guard lock(mutex);
    becameDownload = download;
  }
  void URLSessionDataTaskDidReceiveData(const Session&, const std::shared_ptr<NSURLSessionDataTask>&,
                                        const std::shared_ptr<NSData>& data) override {
    std::lock_guard lock(mutex);
    body += data->view();
  }
  void URLSessionDownloadTaskDidFinishDownloadingToURL(const Session&, const std::shared_ptr<NSURLSessionDownloadTask>&,
                                                       const std::shared_ptr<NSURL>& url) override {
    add("finished-download");
    std::ifstream in(url->path()->utf8(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::lock_guard lock(mutex);
    downloaded = text.str();
    location = url;
  }
  void URLSessionDownloadTaskDidResumeAtOffset(const Session&, const std::shared_ptr<NSURLSessionDownloadTask>&, int64_t offset,
                                               int64_t expected) override {
    std::lock_guard lock(mutex);
    resumes.emplace_back(offset, expected);
  }
};

class URLSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.installStandardRoutes();
    recorder = std::make_shared<Recorder>();
    session = NSURLSession::sessionWithConfiguration(NSURLSessionConfiguration::defaultSessionConfiguration(), recorder);
  }
  void TearDown() override {
    if (session) {
      session->invalidateAndCancel();
      EXPECT_TRUE(runMainLoopUntil([&] { return recorder->invalidated.load(); }));
    }
  }
  std::shared_ptr<NSURLRequest> request(const std::string& path) {
    return NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(path)));
  }

  zvt::test::TempHome home;
  zvt::test::TestHTTPServer server;
  std::shared_ptr<Recorder> recorder;
  std::shared_ptr<NSURLSession> session;
};

TEST_F(URLSessionTest, DataTaskRunsOnlyOnceResumedAndReportsInOrder) {
  // The reply waits until the test has seen the task running: a loopback load may otherwise
  // complete on the session's thread before this one looks.
  auto replyMayGo = std::make_shared<std::atomic<bool>>(false);
  server.route("/held-hello", [replyMayGo](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
    for (int i = 0; i < 2000 && !replyMayGo->load(); ++i) r.pause(0.005);
    r.send(200, "hello");
  });
  auto task = session->dataTaskWithRequest(request("/held-hello"));
  ASSERT_TRUE(task);
  EXPECT_EQ(task->state(), NSURLSessionTaskStateSuspended);
  EXPECT_EQ(server.requestCount(), 0u);
  task->resume();
  EXPECT_EQ(task->state(), NSURLSessionTaskStateRunning);
  *replyMayGo = true;
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->body, "hello");
  EXPECT_EQ(recorder->snapshot(), (std::vector<std::string>{"response", "complete"}));
  EXPECT_EQ(task->state(), NSURLSessionTaskStateCompleted);
  EXPECT_EQ(task->countOfBytesReceived(), 5);
  EXPECT_EQ(task->countOfBytesExpectedToReceive(), 5);
  auto http = zvt::as<NSHTTPURLResponse>(task->response());
  ASSERT_TRUE(http);
  EXPECT_EQ(http->statusCode(), 200);
  EXPECT_FALSE(task->error());
}

TEST_F(URLSessionTest, ResponseDispositionsCancelOrTurnIntoDownload) {
  recorder->disposition = NSURLSessionResponseCancel;
  auto task = session->dataTaskWithRequest(request("/hello"));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->error->code(), NSURLErrorCancelled);
  EXPECT_EQ(recorder->body, "");

  recorder->completed = false;
  recorder->disposition = NSURLSessionResponseBecomeDownload;
  auto second = session->dataTaskWithRequest(request("/bytes?n=3000"));
  second->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  auto events = recorder->snapshot();
  EXPECT_EQ(std::vector<std::string>(events.end() - 4, events.end()),
            (std::vector<std::string>{"response", "became-download", "finished-download", "complete"}));
  EXPECT_EQ(recorder->downloaded.size(), 3000u);
  ASSERT_TRUE(recorder->becameDownload);
  EXPECT_NE(recorder->becameDownload->taskIdentifier(), second->taskIdentifier());
  // The temporary file is gone once the delegate has returned.
  EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(recorder->location->path()));
}

TEST_F(URLSessionTest, RedirectsAskTheDelegateAndMayBeRefused) {
  recorder->refuseRedirects = true;
  auto task = session->dataTaskWithRequest(request("/redirect-to?url=/hello&status=302"));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  auto events = recorder->snapshot();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "redirect 302");
  EXPECT_EQ(zvt::as<NSHTTPURLResponse>(task->response())->statusCode(), 302);
}

TEST_F(URLSessionTest, UploadsSendDataFilesAndStreams) {
  auto echo = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/echo")));
  echo->setHTTPMethod("POST");
  auto fromData = session->uploadTaskWithRequest(echo, NSData::dataWithString("payload"));
  EXPECT_EQ(fromData->countOfBytesExpectedToSend(), 7);
  fromData->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(fromData->countOfBytesSent(), 7);
  ASSERT_TRUE(server.waitForRequests(1));
  EXPECT_EQ(server.requests().back().body, "payload");

  std::string file = home.pathFor("tmp/upload.bin");
  std::ofstream(file) << "file body";
  recorder->completed = false;
  auto fromFile = session->uploadTaskWithRequest(echo, NSURL::fileURLWithPath(NSString::stringWithUTF8String(file)));
  EXPECT_EQ(fromFile->countOfBytesExpectedToSend(), 9);
  fromFile->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(server.requests().back().body, "file body");

  recorder->completed = false;
  auto missing = session->uploadTaskWithRequest(echo, NSURL::fileURLWithPath("/nonexistent/zvt"_ns));
  missing->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->error->code(), NSURLErrorFileDoesNotExist);

  recorder->completed = false;
  auto streamed = echo->mutableCopy();
  streamed->setHTTPBodyStream(NSInputStream::inputStreamWithData(NSData::dataWithString("streamed")));
  auto fromStream = session->uploadTaskWithStreamedRequest(streamed);
  EXPECT_EQ(fromStream->countOfBytesExpectedToSend(), NSURLSessionTransferSizeUnknown);
  fromStream->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_FALSE(recorder->error);
  EXPECT_EQ(server.requests().back().body, "streamed");
  EXPECT_EQ(recorder->lastExpectedToSend, NSURLSessionTransferSizeUnknown);
}

TEST_F(URLSessionTest, SuspendedTaskHoldsItsReportsUntilResumed) {
  std::vector<std::string> seen;
  zvt::installSessionTaskStateHooks([&](const auto&) { seen.push_back("resume"); }, [&](const auto&) { seen.push_back("suspend"); });
  // The reply goes once the task is suspended: a loopback load may otherwise complete on the
  // session's thread before this one suspends it.
  auto replyMayGo = std::make_shared<std::atomic<bool>>(false);
  server.route("/held-bytes", [replyMayGo](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& r) {
    for (int i = 0; i < 2000 && !replyMayGo->load(); ++i) r.pause(0.005);
    r.send(200, std::string(100, 'b'));
  });
  auto task = session->dataTaskWithRequest(request("/held-bytes"));
  task->resume();
  task->resume();  // already running: no change
  task->suspend();
  task->suspend();  // already suspended: no change
  *replyMayGo = true;
  ASSERT_TRUE(server.waitForRequests(1));
  EXPECT_FALSE(runMainLoopUntil([&] { return recorder->completed.load(); }, 0.3));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->body.size(), 100u);
  task->resume();  // completed: nothing changes
  zvt::installSessionTaskStateHooks(nullptr, nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"resume", "suspend", "resume"}));
}

TEST_F(URLSessionTest, CancelEndsTaskOnceWithCancelledError) {
  auto unstarted = session->dataTaskWithRequest(request("/hello"));
  unstarted->cancel();
  unstarted->cancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->error->code(), NSURLErrorCancelled);
  EXPECT_EQ(unstarted->state(), NSURLSessionTaskStateCompleted);

  recorder->completed = false;
  auto stalled = session->dataTaskWithRequest(request("/stall"));
  stalled->resume();
  ASSERT_TRUE(server.waitForRequests(1));
  stalled->cancel();
  EXPECT_EQ(stalled->state() == NSURLSessionTaskStateCanceling || stalled->state() == NSURLSessionTaskStateCompleted, true);
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->completions.load(), 2);
  EXPECT_EQ(stalled->error()->code(), NSURLErrorCancelled);
}

TEST_F(URLSessionTest, DownloadGoesToTemporaryFileThatIsRemovedAfterwards) {
  auto task = session->downloadTaskWithRequest(request("/bytes?n=5000"));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->downloaded.size(), 5000u);
  ASSERT_TRUE(recorder->location);
  EXPECT_EQ(recorder->location->path()->utf8().rfind(home.pathFor("tmp/"), 0), 0u) << recorder->location->path()->utf8();
  EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(recorder->location->path()));
  EXPECT_EQ(task->countOfBytesReceived(), 5000);
}

TEST_F(URLSessionTest, CancelledDownloadResumesWithARangeRequest) {
  std::string body(20000, 'x');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  // The cut-off handler may still be waking from its pause when the test ends: what it reads
  // lives as long as the server, not on this stack.
  auto release = std::make_shared<std::atomic<bool>>(false);
  server.route("/big", [body, release](const zvt::test::HTTPRequest& q, zvt::test::HTTPResponder& r) {
    if (q.hasHeader("Range")) {
      r.sendWithRange(q, body, {{"ETag", "\"v1\""}});
      return;
    }
    r.writeHead(200, {{"Content-Length", std::to_string(body.size())}, {"ETag", "\"v1\""}});
    r.writeRaw(std::string_view(body).substr(0, 8000));
    while (!*release) r.pause(0.01);
    r.drop();
  });
  auto task = session->downloadTaskWithRequest(request("/big"));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return task->countOfBytesReceived() == 8000; }));
  std::shared_ptr<NSData> resumeData;
  std::atomic<bool> produced{false};
  task->cancelByProducingResumeData([&](const std::shared_ptr<NSData>& data) {
    resumeData = data;
    produced = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return produced.load() && recorder->completed.load(); }));
  *release = true;
  ASSERT_TRUE(resumeData);
  EXPECT_EQ(recorder->error->code(), NSURLErrorCancelled);
  EXPECT_TRUE(recorder->error->userInfo()->objectForKey(NSURLSessionDownloadTaskResumeData));

  recorder->completed = false;
  auto resumed = session->downloadTaskWithResumeData(resumeData);
  resumed->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_FALSE(recorder->error);
  EXPECT_EQ(recorder->downloaded, body);
  ASSERT_EQ(recorder->resumes.size(), 1u);
  EXPECT_EQ(recorder->resumes[0], (std::pair<int64_t, int64_t>{8000, 20000}));
  auto last = server.requests().back();
  EXPECT_EQ(last.header("Range"), "bytes=8000-");
  EXPECT_EQ(last.header("If-Range"), "\"v1\"");

  // Data that is not resume data, or points outside the temporary folder, cannot be resumed.
  recorder->completed = false;
  auto bogus = session->downloadTaskWithResumeData(NSData::dataWithString("not a property list"));
  bogus->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->error->code(), NSURLErrorCannotResumeDownloadCode);
}

TEST_F(URLSessionTest, ConfigurationTimeOutEndsAStalledLoadOnTheVirtualClock) {
  zvt::test::VirtualClockScope clock;
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  configuration->setTimeoutIntervalForRequest(0.5);
  auto timed = NSURLSession::sessionWithConfiguration(configuration, recorder);
  auto task = timed->dataTaskWithRequest(request("/stall-body?n=10"));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] {
    std::lock_guard lock(recorder->mutex);
    return !recorder->body.empty();
  }));
  clock.advanceBy(0.4);
  EXPECT_FALSE(runMainLoopUntil([&] { return recorder->completed.load(); }, 0.2));
  clock.advanceBy(0.2);
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(recorder->error->code(), NSURLErrorTimedOut);
  timed->invalidateAndCancel();
}

TEST_F(URLSessionTest, GetTasksListsUnfinishedTasksByKind) {
  auto data = session->dataTaskWithRequest(request("/hello"));
  auto upload = session->uploadTaskWithRequest(request("/echo"), NSData::dataWithString("x"));
  auto download = session->downloadTaskWithRequest(request("/hello"));
  std::atomic<bool> done{false};
  std::vector<size_t> counts;
  session->getTasksWithCompletionHandler([&](const auto& d, const auto& u, const auto& l) {
    counts = {d->count(), u->count(), l->count()};
    done = true;
  });
  ASSERT_TRUE(runMainLoopUntil([&] { return done.load(); }));
  EXPECT_EQ(counts, (std::vector<size_t>{1, 1, 1}));
  EXPECT_NE(data->taskIdentifier(), upload->taskIdentifier());
  EXPECT_NE(upload->taskIdentifier(), download->taskIdentifier());
}

TEST_F(URLSessionTest, FinishTasksAndInvalidateWaitsForRunningTasksAndReleasesDelegate) {
  auto task = session->dataTaskWithRequest(request("/slow?ms=100"));
  task->resume();
  session->finishTasksAndInvalidate();
  EXPECT_FALSE(session->dataTaskWithRequest(request("/hello")));
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->invalidated.load(); }));
  auto events = recorder->snapshot();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "complete");
  EXPECT_EQ(events.back(), "invalid");
  EXPECT_FALSE(recorder->error);
  EXPECT_FALSE(session->delegate());
  std::weak_ptr<NSURLSession> weak = session;
  session.reset();
  task.reset();
  EXPECT_TRUE(runMainLoopUntil([&] { return weak.expired(); }));
}

TEST(URLSessionConfigurationTest, KindsCopiesAndArchives) {
  auto background = NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("com.zvt.bg"_ns);
  EXPECT_EQ(background->identifier()->utf8(), "com.zvt.bg");
  EXPECT_FALSE(NSURLSessionConfiguration::defaultSessionConfiguration()->identifier());
  EXPECT_TRUE(NSURLSessionConfiguration::ephemeralSessionConfiguration()->isEphemeral());

  background->setTimeoutIntervalForRequest(12);
  background->setHTTPAdditionalHeaders(NSDictionary::make({{"X-A"_ns, "1"_ns}}));
  auto copy = background->copy();
  EXPECT_NE(copy, background);
  EXPECT_TRUE(copy->isEqual(background));
  copy->setTimeoutIntervalForRequest(3);
  EXPECT_EQ(background->timeoutIntervalForRequest(), 12);

  auto data = NSKeyedArchiver::archivedDataWithRootObject(background);
  auto back = zvt::as<NSURLSessionConfiguration>(NSKeyedUnarchiver::unarchiveObjectWithData(data));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isEqual(background));
}

TEST(URLSessionConfigurationTest, EphemeralSessionKeepsNoCookiesAndAddsHeaders) {
  zvt::test::TempHome home;
  zvt::test::TestHTTPServer server;
  server.installStandardRoutes();
  auto configuration = NSURLSessionConfiguration::ephemeralSessionConfiguration();
  configuration->setHTTPAdditionalHeaders(NSDictionary::make({{"X-Session"_ns, "on"_ns}}));
  auto recorder = std::make_shared<Recorder>();
  auto session = NSURLSession::sessionWithConfiguration(configuration, recorder);
  auto task = session->dataTaskWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/set-cookie?name=a&value=b"))));
  task->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(server.requests().back().header("X-Session"), "on");
  recorder->completed = false;
  auto again = session->dataTaskWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/cookies"))));
  again->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->completed.load(); }));
  EXPECT_EQ(server.requests().back().header("Cookie"), "");
  session->invalidateAndCancel();
  ASSERT_TRUE(runMainLoopUntil([&] { return recorder->invalidated.load(); }));
}

TEST(NSProgressTest, CountsAndHandlers) {
  auto progress = NSProgress::progressWithTotalUnitCount(0);
  EXPECT_EQ(progress->fractionCompleted(), 0.0);
  progress->setTotalUnitCount(200);
  progress->setCompletedUnitCount(50);
  EXPECT_DOUBLE_EQ(progress->fractionCompleted(), 0.25);
  progress->setTotalUnitCount(-1);
  EXPECT_TRUE(progress->isIndeterminate());

  int paused = 0, resumed = 0, cancelled = 0;
  progress->setPausingHandler([&] { ++paused; });
  progress->setResumingHandler([&] { ++resumed; });
  progress->setCancellationHandler([&] { ++cancelled; });
  progress->resume();  // not paused
  progress->pause();
  progress->pause();
  EXPECT_TRUE(progress->isPaused());
  progress->resume();
  progress->cancel();
  progress->cancel();
  progress->pause();  // cancelled: no pause
  EXPECT_EQ(paused, 1);
  EXPECT_EQ(resumed, 1);
  EXPECT_EQ(cancelled, 1);
  EXPECT_TRUE(progress->isCancelled());
  int late = 0;
  progress->setCancellationHandler([&] { ++late; });
  EXPECT_EQ(late, 1);
}

}  // namespace
