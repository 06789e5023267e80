// Views following the HTTP layer's work against a loopback server: an activity indicator that
// spins while its operation runs (and no longer follows it once unbound), a progress view that
// reaches the end of a download while the operation's own progress block still runs, and an
// alert that shows a failed operation's error once and shows nothing for a success.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "foundation/http/NWHTTPRequestOperation.h"
#include "foundation/http/NWURLSessionManager.h"
#include "foundation/http/UIKit+NWNetworking.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"

using zvt::test::runMainLoopUntil;

namespace {

std::shared_ptr<NWHTTPRequestOperation> operationFor(const std::string& url) {
  return NWHTTPRequestOperation::initWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(url)));
}

// A reply held back until the test lets it go.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  void wait() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return open; });
  }
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
};

class AlertLog : public UIAlertViewDelegate {
 public:
  std::vector<std::string> shown;
  std::shared_ptr<UIAlertView> alert;
  void willPresentAlertView(const std::shared_ptr<UIAlertView>& alert) override {
    this->alert = alert;
    shown.push_back(alert->title()->utf8() + " / " + alert->message()->utf8());
  }
};

std::shared_ptr<NSError> errorWith(std::initializer_list<std::pair<const zvt::StaticString*, const char*>> entries) {
  auto info = NSMutableDictionary::dictionary();
  for (const auto& [key, value] : entries) info->setObject(NSString::stringWithUTF8String(value), *key);
  return NSError::errorWithDomain(NSString::stringWithUTF8String("Test"), 7, info);
}

// A loopback port nobody listens on.
int closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace

TEST(UIKitBindings, AnIndicatorSpinsWhileItsOperationRunsAndAProgressViewReachesTheEnd) {
  zvt::test::TestHTTPServer server;
  Gate gate;
  server.route("/held", [&](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
    gate.wait();
    responder.send(200, std::string(4000, 'x'));
  });
  auto indicator = UIView::makeView<UIActivityIndicatorView>();
  auto progress = UIView::makeView<UIProgressView>();
  auto operation = operationFor(server.url("/held"));
  int ownProgressCalls = 0;
  operation->setDownloadProgressBlock([&](NSUInteger, int64_t, int64_t) { ++ownProgressCalls; });
  setAnimatingWithStateOfOperation(indicator, operation);
  setProgressWithDownloadProgressOfOperation(progress, operation, false);
  EXPECT_FALSE(indicator->isAnimating()) << "not started yet";
  operation->start();
  EXPECT_TRUE(runMainLoopUntil([&] { return indicator->isAnimating(); }));
  gate.release();
  EXPECT_TRUE(runMainLoopUntil([&] { return operation->isFinished() && !indicator->isAnimating(); }));
  zvt::test::drainMainLoop();
  EXPECT_FLOAT_EQ(progress->progress(), 1.0f);
  EXPECT_GT(ownProgressCalls, 0) << "the operation's own block still runs";

  // Unbound: another operation no longer moves it.
  auto next = operationFor(server.url("/held"));
  setAnimatingWithStateOfOperation(indicator, next);
  setAnimatingWithStateOfOperation(indicator, nullptr);
  next->start();
  EXPECT_TRUE(runMainLoopUntil([&] { return next->isFinished(); }));
  zvt::test::drainMainLoop();
  EXPECT_FALSE(indicator->isAnimating());
}

TEST(UIKitBindings, ARefreshControlFollowsARunningTaskOnlyAndAnOperationUntilItFinishes) {
  zvt::test::TestHTTPServer server;
  Gate gate;
  server.route("/held", [&](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
    gate.wait();
    responder.send(200, "done");
  });
  server.route("/quick", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) { responder.send(200, "ok"); });
  auto manager = NWURLSessionManager::make();
  auto control = UIRefreshControl::make();

  // A suspended task (not running): refreshing ends and the task is not followed.
  control->beginRefreshing();
  auto suspended = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/quick"))), nullptr);
  setRefreshingWithStateOfTask(control, suspended);
  EXPECT_FALSE(control->isRefreshing());
  suspended->resume();
  ASSERT_TRUE(runMainLoopUntil([&] { return suspended->state() == NSURLSessionTaskStateCompleted; }));
  zvt::test::drainMainLoop();
  EXPECT_FALSE(control->isRefreshing()) << "unbound: its resumption did not begin refreshing";

  // A running task: refreshing until it completes.
  auto running = manager->dataTaskWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/held"))), nullptr);
  running->resume();
  setRefreshingWithStateOfTask(control, running);
  EXPECT_TRUE(control->isRefreshing());
  gate.release();
  ASSERT_TRUE(runMainLoopUntil([&] { return running->state() == NSURLSessionTaskStateCompleted && !control->isRefreshing(); }));

  // An operation: refreshing once it starts, until it finishes; nil unbinds.
  auto operation = operationFor(server.url("/quick"));
  setRefreshingWithStateOfOperation(control, operation);
  EXPECT_FALSE(control->isRefreshing()) << "not started yet";
  bool began = false;
  auto watch = NSNotificationCenter::defaultCenter()->addObserverForName(
      NWNetworkingOperationDidStartNotification, operation, nullptr, [&](const std::shared_ptr<NSNotification>&) { began = true; });
  operation->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return began && operation->isFinished(); }));
  zvt::test::drainMainLoop();
  EXPECT_FALSE(control->isRefreshing());
  NSNotificationCenter::defaultCenter()->removeObserver(watch);

  auto unbound = operationFor(server.url("/quick"));
  setRefreshingWithStateOfOperation(control, unbound);
  setRefreshingWithStateOfOperation(control, nullptr);
  control->endRefreshing();
  bool started = false;
  auto startWatch = NSNotificationCenter::defaultCenter()->addObserverForName(
      NWNetworkingOperationDidStartNotification, unbound, nullptr, [&](const std::shared_ptr<NSNotification>&) { started = true; });
  unbound->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return started && unbound->isFinished(); }));
  zvt::test::drainMainLoop();
  EXPECT_FALSE(control->isRefreshing());
  NSNotificationCenter::defaultCenter()->removeObserver(startWatch);
  // The manager ends through invalidation; wait until it and its observations have gone.
  std::weak_ptr<NWURLSessionManager> weakManager = manager;
  manager->invalidateSessionCancelingTasks(true);
  manager.reset();
  suspended.reset();
  running.reset();
  EXPECT_TRUE(runMainLoopUntil([&] { return weakManager.expired(); }));
}

TEST(UIKitBindings, AProgressViewFollowsATasksBytesAgainstTheirKnownTotal) {
  zvt::test::TestHTTPServer server;
  const std::string body(200000, 'x');
  server.route("/body", [&](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) { responder.send(200, body); });
  server.route("/chunked", [&](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
    responder.sendChunked(200, {}, body, 50000);
  });
  server.route("/upload", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) { responder.send(200, "ok"); });
  auto manager = NWURLSessionManager::make();
  auto request = [&](const char* path) { return NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(path))); };

  const struct {
    const char* what;
    const char* path;
    bool upload;
    float expected;
  } cases[] = {
      {"download with a length", "/body", false, 1.0f},
      {"download of unknown length", "/chunked", false, 0.0f},
      {"upload", "/upload", true, 1.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto view = UIView::makeView<UIProgressView>();
    std::shared_ptr<NSURLSessionTask> task;
    if (c.upload) {
      auto mutableRequest = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url(c.path)));
      mutableRequest->setHTTPMethod("POST"_ns);
      task = manager->uploadTaskWithRequest(mutableRequest, NSData::dataWithBytes(body.data(), body.size()), nullptr, nullptr);
      setProgressWithUploadProgressOfTask(view, task, false);
    } else {
      task = manager->dataTaskWithRequest(request(c.path), nullptr);
      setProgressWithDownloadProgressOfTask(view, task, true);
    }
    task->resume();
    ASSERT_TRUE(runMainLoopUntil([&] { return task->state() == NSURLSessionTaskStateCompleted; }));
    zvt::test::drainMainLoop();
    EXPECT_FLOAT_EQ(view->progress(), c.expected);
    EXPECT_FALSE(task->error());
  }
  std::weak_ptr<NWURLSessionManager> weakManager = manager;
  manager->invalidateSessionCancelingTasks(true);
  manager.reset();
  EXPECT_TRUE(runMainLoopUntil([&] { return weakManager.expired(); }));
}

TEST(UIKitBindings, AnAlertShowsAFailedOperationsErrorOnce) {
  zvt::test::TestHTTPServer server;
  server.route("/ok", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) { responder.send(200, "ok"); });
  auto log = std::make_shared<AlertLog>();
  auto center = NSNotificationCenter::defaultCenter();
  const size_t observations = center->observationCount();

  auto fine = operationFor(server.url("/ok"));
  showAlertViewForRequestOperationWithErrorOnCompletion(fine, log);
  fine->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return fine->isFinished() && center->observationCount() == observations; }));

  auto failing = operationFor("http://127.0.0.1:" + std::to_string(closedPort()) + "/");
  showAlertViewForRequestOperationWithErrorOnCompletion(failing, log, NSString::stringWithUTF8String("好"));
  failing->start();
  ASSERT_TRUE(runMainLoopUntil([&] { return !log->shown.empty(); }));
  EXPECT_EQ(log->shown.front(), "Error / " + failing->error()->localizedDescription()->utf8());
  log->alert->dismissWithClickedButtonIndex(0, false);
  // Observed once only.
  center->postNotificationName(NWNetworkingOperationDidFinishNotification, failing);
  zvt::test::drainMainLoop();
  EXPECT_EQ(log->shown.size(), 1u);
  EXPECT_EQ(log->alert->buttonTitleAtIndex(0)->utf8(), "好");

  const struct {
    std::shared_ptr<NSError> error;
    const char* title;
    const char* message;
  } texts[] = {
      {errorWith({{&NSLocalizedDescriptionKey, "D"}, {&NSLocalizedRecoverySuggestionErrorKey, "S"},
                  {&NSLocalizedFailureReasonErrorKey, "R"}}),
       "D", "S"},
      {errorWith({{&NSLocalizedDescriptionKey, "D"}, {&NSLocalizedFailureReasonErrorKey, "R"}}), "D", "R"},
      {errorWith({{&NSLocalizedDescriptionKey, "D"}}), "Error", "D"},
      {errorWith({{&NSLocalizedFailureReasonErrorKey, "R"}}), "Error", "Test Error: 7"},
  };
  for (const auto& t : texts) {
    auto [title, message] = zvt::http::alertTextsForError(t.error);
    EXPECT_EQ(title->utf8(), t.title);
    EXPECT_EQ(message->utf8(), t.message);
  }
}
