#include "platform/network/NSURLSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/network/NSURLConnection.h"

namespace zvt {

namespace {

std::mutex& hookMutex() {
  static std::mutex mutex;
  return mutex;
}
SessionTaskStateHook& resumedHook() {
  static SessionTaskStateHook hook;
  return hook;
}
SessionTaskStateHook& suspendedHook() {
  static SessionTaskStateHook hook;
  return hook;
}

void callHook(SessionTaskStateHook& which, const std::shared_ptr<NSURLSessionTask>& task) {
  SessionTaskStateHook hook;
  {
    std::lock_guard lock(hookMutex());
    hook = which;
  }
  if (hook) hook(task);
}

// Every session's loads run on this thread's run loop, kept alive for the process.
std::shared_ptr<NSThread> sessionThread() {
  static std::once_flag once;
  static std::shared_ptr<NSThread>* thread = nullptr;
  std::call_once(once, [] {
    thread = new std::shared_ptr<NSThread>(NSThread::initWithBlock([] {
      NSThread::currentThread()->setName("com.zvt.NSURLSession");
      auto runLoop = NSRunLoop::currentRunLoop();
      runLoop->addPort(NSMachPort::port(), NSDefaultRunLoopMode);
      runLoop->run();
    }));
    (*thread)->start();
  });
  return *thread;
}

void onSessionThread(std::function<void()> fn) { performOnThread(sessionThread(), std::move(fn), false, {NSDefaultRunLoopMode}); }

std::shared_ptr<NSError> urlError(NSInteger code, const std::string& description, const std::shared_ptr<NSURLRequest>& request,
                                  std::vector<std::pair<id, id>> extra = {}) {
  std::vector<std::pair<id, id>> info = {{NSLocalizedDescriptionKey.get(), NSString::stringWithUTF8String(description)}};
  if (request && request->URL()) {
    info.emplace_back(NSURLErrorFailingURLErrorKey.get(), request->URL());
    info.emplace_back(NSURLErrorFailingURLStringErrorKey.get(), request->URL()->absoluteString());
  }
  for (auto& pair : extra) info.push_back(std::move(pair));
  return NSError::errorWithDomain(NSURLErrorDomain, code, NSDictionary::dictionaryWithPairs(std::move(info)));
}

// Asks the delegate on its queue and waits on the session thread for the answer given during
// the call; `fallback` when the handler was not called before the method returned.
template <class R>
R askDelegate(const std::shared_ptr<NSOperationQueue>& queue, std::function<void(const std::function<void(R)>&)> call, R fallback) {
  struct State {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool answered = false;
    R value{};
  };
  auto state = std::make_shared<State>();
  queue->addOperationWithBlock([state, call] {
    std::function<void(R)> handler = [state](R value) {
      std::lock_guard lock(state->mutex);
      if (state->done || state->answered) return;
      state->answered = true;
      state->value = std::move(value);
    };
    try {
      call(handler);
    } catch (const std::exception& e) {
      zvt::logMessage(zvt::LogLevel::Error, std::string("URL session delegate raised: ") + e.what());
    }
    std::lock_guard lock(state->mutex);
    state->done = true;
    state->cv.notify_all();
  });
  zvt::WakeUpBatch::flush();
  std::unique_lock lock(state->mutex);
  state->cv.wait(lock, [&] { return state->done; });
  return state->answered ? state->value : fallback;
}

struct ChallengeReply {
  NSURLSessionAuthChallengeDisposition disposition = NSURLSessionAuthChallengeCancelAuthenticationChallenge;
  std::shared_ptr<NSURLCredential> credential;
};

constexpr NSInteger kRequestBodyStreamExhaustedCode = -1021;

constexpr std::string_view kResumeURLKey = "NSURLSessionDownloadURL";
constexpr std::string_view kResumeBytesKey = "NSURLSessionResumeBytesReceived";
constexpr std::string_view kResumePathKey = "NSURLSessionResumeInfoLocalPath";
constexpr std::string_view kResumeValidatorKey = "NSURLSessionResumeEntityTag";

}  // namespace

void installSessionTaskStateHooks(SessionTaskStateHook resumed, SessionTaskStateHook suspended) {
  std::lock_guard lock(hookMutex());
  resumedHook() = std::move(resumed);
  suspendedHook() = std::move(suspended);
}

// The connection delegate of one task's load: turns connection events into session reports.
// Runs on the session thread only.
class SessionLoad final : public NSURLConnectionDelegate {
 public:
  explicit SessionLoad(std::shared_ptr<NSURLSessionTask> task) : task_(std::move(task)) {}

  std::shared_ptr<NSURLSessionTask> task_;

  bool live() const { return task_ && !task_->completed_; }
  std::shared_ptr<NSURLSession> session() const { return task_->session_; }
  std::shared_ptr<NSURLSessionDelegate> delegate() const { return session() ? session()->delegate() : nullptr; }
  std::shared_ptr<NSOperationQueue> queue() const { return session()->delegateQueue(); }

  void connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>& error) override {
    if (!live()) return;
    task_->complete(task_->pendingError_ ? task_->pendingError_ : error);
  }

  void connectionWillSendRequestForAuthenticationChallenge(const Connection&,
                                                           const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override {
    auto sender = challenge->sender();
    if (!sender) return;
    auto d = delegate();
    if (!live() || !d) {
      sender->performDefaultHandlingForAuthenticationChallenge(challenge);
      return;
    }
    auto s = session();
    auto task = task_;
    bool sessionLevel = zvt::objectsEqual(challenge->protectionSpace()->authenticationMethod(), NSURLAuthenticationMethodServerTrust) &&
                        d->respondsToSelector("URLSession:didReceiveChallenge:completionHandler:");
    ChallengeReply reply = askDelegate<ChallengeReply>(
        queue(),
        [d, s, task, challenge, sessionLevel](const std::function<void(ChallengeReply)>& answer) {
          auto handler = [answer](NSURLSessionAuthChallengeDisposition disposition, const std::shared_ptr<NSURLCredential>& credential) {
            answer(ChallengeReply{disposition, credential});
          };
          if (sessionLevel) {
            d->URLSessionDidReceiveChallenge(s, challenge, handler);
          } else {
            d->URLSessionTaskDidReceiveChallenge(s, task, challenge, handler);
          }
        },
        ChallengeReply{});
    switch (reply.disposition) {
      case NSURLSessionAuthChallengeUseCredential:
        if (reply.credential) {
          sender->useCredential(reply.credential, challenge);
        } else {
          sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
        }
        break;
      case NSURLSessionAuthChallengePerformDefaultHandling:
        sender->performDefaultHandlingForAuthenticationChallenge(challenge);
        break;
      case NSURLSessionAuthChallengeRejectProtectionSpace:
        sender->rejectProtectionSpaceAndContinueWithChallenge(challenge);
        break;
      default:
        sender->cancelAuthenticationChallenge(challenge);
        break;
    }
  }

  std::shared_ptr<NSURLRequest> connectionWillSendRequest(const Connection&, const std::shared_ptr<NSURLRequest>& request,
                                                          const std::shared_ptr<NSURLResponse>& redirectResponse) override {
    if (!live()) return nullptr;
    std::shared_ptr<NSURLRequest> chosen = request;
    auto d = delegate();
    if (d && d->respondsToSelector("URLSession:task:willPerformHTTPRedirection:newRequest:completionHandler:")) {
      auto s = session();
      auto task = task_;
      auto http = zvt::as<NSHTTPURLResponse>(redirectResponse);
      chosen = askDelegate<std::shared_ptr<NSURLRequest>>(
          queue(),
          [d, s, task, http, request](const std::function<void(std::shared_ptr<NSURLRequest>)>& answer) {
            d->URLSessionTaskWillPerformHTTPRedirection(s, task, http, request,
                                                        [answer](const std::shared_ptr<NSURLRequest>& r) { answer(r); });
          },
          nullptr);
    }
    if (chosen) {
      std::lock_guard lock(task_->mutex_);
      task_->currentRequest_ = chosen;
    }
    return chosen;
  }

  void connectionDidReceiveResponse(const Connection&, const std::shared_ptr<NSURLResponse>& response) override {
    if (!live()) return;
    {
      std::lock_guard lock(task_->mutex_);
      task_->response_ = response;
    }
    task_->expectedToReceive_ = response->expectedContentLength();
    if (task_->kind_ == NSURLSessionTask::Kind::Download) {
      openDownloadFile(response);
      return;
    }
    auto d = delegate();
    if (!d || !d->respondsToSelector("URLSession:dataTask:didReceiveResponse:completionHandler:")) return;
    auto s = session();
    auto dataTask = std::static_pointer_cast<NSURLSessionDataTask>(task_);
    NSURLSessionResponseDisposition disposition = askDelegate<NSURLSessionResponseDisposition>(
        queue(),
        [d, s, dataTask, response](const std::function<void(NSURLSessionResponseDisposition)>& answer) {
          d->URLSessionDataTaskDidReceiveResponse(s, dataTask, response, answer);
        },
        NSURLSessionResponseCancel);
    if (!live()) return;
    if (disposition == NSURLSessionResponseCancel) {
      task_->pendingError_ = urlError(NSURLErrorCancelled, "cancelled", task_->currentRequest());
      if (task_->connection_) task_->connection_->cancel();
      task_->complete(task_->pendingError_);
    } else if (disposition == NSURLSessionResponseBecomeDownload) {
      becomeDownload(response);
    }
  }

  void becomeDownload(const std::shared_ptr<NSURLResponse>& response) {
    auto s = session();
    auto dataTask = std::static_pointer_cast<NSURLSessionDataTask>(task_);
    auto download = std::make_shared<NSURLSessionDownloadTask>(s, task_->originalRequest_);
    {
      std::lock_guard lock(download->mutex_);
      download->started_ = true;
      download->currentRequest_ = task_->currentRequest();
      download->response_ = response;
    }
    download->state_ = NSURLSessionTaskStateRunning;
    download->expectedToReceive_ = response->expectedContentLength();
    download->connection_ = std::move(task_->connection_);
    download->load_ = std::move(task_->load_);
    s->adopt(download);
    // The data task ends here without a report of its own; the download carries on.
    {
      std::lock_guard lock(dataTask->mutex_);
      dataTask->state_ = NSURLSessionTaskStateCompleted;
    }
    dataTask->completed_ = true;
    auto d = delegate();
    if (d) dataTask->report([d, s, dataTask, download] { d->URLSessionDataTaskDidBecomeDownloadTask(s, dataTask, download); });
    s->taskEnded(dataTask);
    dataTask->session_.reset();
    task_ = download;
    openDownloadFile(response);
  }

  void openDownloadFile(const std::shared_ptr<NSURLResponse>& response) {
    auto http = zvt::as<NSHTTPURLResponse>(response);
    int status = http ? static_cast<int>(http->statusCode()) : 200;
    bool resuming = task_->resumeOffset_ > 0;
    bool append = resuming && status == 206;
    if (!append) task_->resumeOffset_ = 0;
    if (task_->downloadPath_.empty()) {
      std::string pattern = NSTemporaryDirectory()->utf8();
      if (!pattern.empty() && pattern.back() != '/') pattern += '/';
      pattern += "CFNetworkDownload_XXXXXX.tmp";
      std::vector<char> path(pattern.begin(), pattern.end());
      path.push_back('\0');
      int fd = mkstemps(path.data(), 4);
      if (fd < 0) {
        failLoad(urlError(NSURLErrorCannotCreateFile, "cannot create file", task_->currentRequest()));
        return;
      }
      task_->downloadFd_ = fd;
      task_->downloadPath_ = path.data();
    } else {
      int fd = ::open(task_->downloadPath_.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC) | O_CLOEXEC, 0600);
      if (fd < 0) {
        failLoad(urlError(NSURLErrorCannotOpenFile, "cannot open file", task_->currentRequest()));
        return;
      }
      task_->downloadFd_ = fd;
    }
    if (http) {
      auto validator = http->valueForHTTPHeaderField("ETag");
      if (!validator) validator = http->valueForHTTPHeaderField("Last-Modified");
      task_->resumeValidator_ = validator ? validator->utf8() : "";
    }
    if (resuming) {
      auto d = delegate();
      if (!d) return;
      auto s = session();
      auto download = std::static_pointer_cast<NSURLSessionDownloadTask>(task_);
      int64_t offset = task_->resumeOffset_;
      int64_t expected = response->expectedContentLength() < 0 ? NSURLSessionTransferSizeUnknown : offset + response->expectedContentLength();
      task_->report([d, s, download, offset, expected] { d->URLSessionDownloadTaskDidResumeAtOffset(s, download, offset, expected); });
    }
  }

  void failLoad(const std::shared_ptr<NSError>& error) {
    task_->pendingError_ = error;
    if (task_->connection_) task_->connection_->cancel();
    task_->complete(error);
  }

  void connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>& data) override {
    if (!live()) return;
    task_->willChangeValueForKey("countOfBytesReceived");
    int64_t total = task_->received_ += static_cast<int64_t>(data->length());
    task_->didChangeValueForKey("countOfBytesReceived");
    auto d = delegate();
    auto s = session();
    if (task_->kind_ == NSURLSessionTask::Kind::Download) {
      const uint8_t* bytes = static_cast<const uint8_t*>(data->bytes());
      size_t left = data->length();
      while (left > 0) {
        ssize_t n = ::write(task_->downloadFd_, bytes, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          failLoad(urlError(NSURLErrorCannotWriteToFile, "cannot write to file", task_->currentRequest()));
          return;
        }
        bytes += n;
        left -= static_cast<size_t>(n);
      }
      if (!d) return;
      auto download = std::static_pointer_cast<NSURLSessionDownloadTask>(task_);
      int64_t offset = task_->resumeOffset_;
      int64_t expected = task_->expectedToReceive_ < 0 ? NSURLSessionTransferSizeUnknown : offset + task_->expectedToReceive_;
      int64_t written = static_cast<int64_t>(data->length());
      task_->report([d, s, download, written, total, offset, expected] {
        d->URLSessionDownloadTaskDidWriteData(s, download, written, offset + total, expected);
      });
      return;
    }
    if (!d) return;
    auto dataTask = std::static_pointer_cast<NSURLSessionDataTask>(task_);
    task_->report([d, s, dataTask, data] { d->URLSessionDataTaskDidReceiveData(s, dataTask, data); });
  }

  void connectionDidSendBodyData(const Connection&, NSInteger bytesWritten, NSInteger totalBytesWritten, NSInteger) override {
    if (!live()) return;
    task_->willChangeValueForKey("countOfBytesSent");
    task_->sent_ = totalBytesWritten;
    task_->didChangeValueForKey("countOfBytesSent");
    auto d = delegate();
    if (!d) return;
    auto s = session();
    auto task = task_;
    int64_t expected = task_->expectedToSend_;
    task_->report([d, s, task, bytesWritten, totalBytesWritten, expected] {
      d->URLSessionTaskDidSendBodyData(s, task, bytesWritten, totalBytesWritten, expected);
    });
  }

  std::shared_ptr<NSInputStream> connectionNeedNewBodyStream(const Connection&, const std::shared_ptr<NSURLRequest>&) override {
    if (!live()) return nullptr;
    return askForBodyStream();
  }

  std::shared_ptr<NSInputStream> askForBodyStream() {
    auto d = delegate();
    if (!d) return nullptr;
    auto s = session();
    auto task = task_;
    return askDelegate<std::shared_ptr<NSInputStream>>(
        queue(),
        [d, s, task](const std::function<void(std::shared_ptr<NSInputStream>)>& answer) {
          d->URLSessionTaskNeedNewBodyStream(s, task, [answer](const std::shared_ptr<NSInputStream>& stream) { answer(stream); });
        },
        nullptr);
  }

  std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(const Connection&,
                                                                   const std::shared_ptr<NSCachedURLResponse>& proposed) override {
    if (!live() || task_->kind_ == NSURLSessionTask::Kind::Download) return proposed;
    auto d = delegate();
    if (!d || !d->respondsToSelector("URLSession:dataTask:willCacheResponse:completionHandler:")) return proposed;
    auto s = session();
    auto dataTask = std::static_pointer_cast<NSURLSessionDataTask>(task_);
    return askDelegate<std::shared_ptr<NSCachedURLResponse>>(
        queue(),
        [d, s, dataTask, proposed](const std::function<void(std::shared_ptr<NSCachedURLResponse>)>& answer) {
          d->URLSessionDataTaskWillCacheResponse(s, dataTask, proposed,
                                                 [answer](const std::shared_ptr<NSCachedURLResponse>& r) { answer(r); });
        },
        nullptr);
  }

  void connectionDidFinishLoading(const Connection&) override {
    if (!live()) return;
    task_->complete(nullptr);
  }
};

}  // namespace zvt

using zvt::SessionLoad;

// ---- delegate defaults

bool NSURLSessionDelegate::respondsToSelector(std::string_view selector) const {
  return selector != "URLSession:didReceiveChallenge:completionHandler:" && selector != "URLSessionDidFinishEventsForBackgroundURLSession:";
}

void NSURLSessionDelegate::URLSessionDidBecomeInvalidWithError(const Session&, const std::shared_ptr<NSError>&) {}
void NSURLSessionDelegate::URLSessionDidReceiveChallenge(const Session&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                         const ChallengeHandler& completionHandler) {
  completionHandler(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
}
void NSURLSessionDelegate::URLSessionDidFinishEventsForBackgroundURLSession(const Session&) {}
void NSURLSessionDelegate::URLSessionTaskWillPerformHTTPRedirection(
    const Session&, const Task&, const std::shared_ptr<NSHTTPURLResponse>&, const std::shared_ptr<NSURLRequest>& request,
    const std::function<void(const std::shared_ptr<NSURLRequest>&)>& completionHandler) {
  completionHandler(request);
}
void NSURLSessionDelegate::URLSessionTaskDidReceiveChallenge(const Session&, const Task&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                             const ChallengeHandler& completionHandler) {
  completionHandler(NSURLSessionAuthChallengePerformDefaultHandling, nullptr);
}
void NSURLSessionDelegate::URLSessionTaskNeedNewBodyStream(const Session&, const Task&,
                                                           const std::function<void(const std::shared_ptr<NSInputStream>&)>& completionHandler) {
  completionHandler(nullptr);
}
void NSURLSessionDelegate::URLSessionTaskDidSendBodyData(const Session&, const Task&, int64_t, int64_t, int64_t) {}
void NSURLSessionDelegate::URLSessionTaskDidCompleteWithError(const Session&, const Task&, const std::shared_ptr<NSError>&) {}
void NSURLSessionDelegate::URLSessionDataTaskDidReceiveResponse(const Session&, const std::shared_ptr<NSURLSessionDataTask>&,
                                                                const std::shared_ptr<NSURLResponse>&,
                                                                const std::function<void(NSURLSessionResponseDisposition)>& completionHandler) {
  completionHandler(NSURLSessionResponseAllow);
}
void NSURLSessionDelegate::URLSessionDataTaskDidBecomeDownloadTask(const Session&, const std::shared_ptr<NSURLSessionDataTask>&,
                                                                   const std::shared_ptr<NSURLSessionDownloadTask>&) {}
void NSURLSessionDelegate::URLSessionDataTaskDidReceiveData(const Session&, const std::shared_ptr<NSURLSessionDataTask>&,
                                                            const std::shared_ptr<NSData>&) {}
void NSURLSessionDelegate::URLSessionDataTaskWillCacheResponse(
    const Session&, const std::shared_ptr<NSURLSessionDataTask>&, const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
    const std::function<void(const std::shared_ptr<NSCachedURLResponse>&)>& completionHandler) {
  completionHandler(proposedResponse);
}
void NSURLSessionDelegate::URLSessionDownloadTaskDidFinishDownloadingToURL(const Session&, const std::shared_ptr<NSURLSessionDownloadTask>&,
                                                                           const std::shared_ptr<NSURL>&) {}
void NSURLSessionDelegate::URLSessionDownloadTaskDidWriteData(const Session&, const std::shared_ptr<NSURLSessionDownloadTask>&, int64_t,
                                                              int64_t, int64_t) {}
void NSURLSessionDelegate::URLSessionDownloadTaskDidResumeAtOffset(const Session&, const std::shared_ptr<NSURLSessionDownloadTask>&,
                                                                   int64_t, int64_t) {}

// ---- configuration

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::defaultSessionConfiguration() {
  return std::make_shared<NSURLSessionConfiguration>();
}

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::ephemeralSessionConfiguration() {
  auto configuration = std::make_shared<NSURLSessionConfiguration>();
  configuration->ephemeral_ = true;
  return configuration;
}

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
    const std::shared_ptr<NSString>& identifier) {
  auto configuration = std::make_shared<NSURLSessionConfiguration>();
  configuration->identifier_ = identifier ? identifier->copy() : nullptr;
  return configuration;
}

id NSURLSessionConfiguration::copyWithZone() const { return std::make_shared<NSURLSessionConfiguration>(*this); }

bool NSURLSessionConfiguration::isEqual(const id& other) const {
  auto o = zvt::as<NSURLSessionConfiguration>(other);
  if (!o) return false;
  return zvt::objectsEqual(identifier_, o->identifier_) && ephemeral_ == o->ephemeral_ && requestCachePolicy_ == o->requestCachePolicy_ &&
         timeoutIntervalForRequest_ == o->timeoutIntervalForRequest_ && timeoutIntervalForResource_ == o->timeoutIntervalForResource_ &&
         allowsCellularAccess_ == o->allowsCellularAccess_ && HTTPShouldSetCookies_ == o->HTTPShouldSetCookies_ &&
         HTTPMaximumConnectionsPerHost_ == o->HTTPMaximumConnectionsPerHost_ &&
         zvt::objectsEqual(HTTPAdditionalHeaders_, o->HTTPAdditionalHeaders_);
}

void NSURLSessionConfiguration::encodeWithCoder(NSCoder& coder) const {
  coder.encodeObject(identifier_, "identifier"_ns);
  coder.encodeBool(ephemeral_, "ephemeral"_ns);
  coder.encodeInteger(static_cast<NSInteger>(requestCachePolicy_), "requestCachePolicy"_ns);
  coder.encodeDouble(timeoutIntervalForRequest_, "timeoutIntervalForRequest"_ns);
  coder.encodeDouble(timeoutIntervalForResource_, "timeoutIntervalForResource"_ns);
  coder.encodeBool(allowsCellularAccess_, "allowsCellularAccess"_ns);
  coder.encodeBool(HTTPShouldSetCookies_, "HTTPShouldSetCookies"_ns);
  coder.encodeInteger(HTTPMaximumConnectionsPerHost_, "HTTPMaximumConnectionsPerHost"_ns);
  coder.encodeObject(HTTPAdditionalHeaders_, "HTTPAdditionalHeaders"_ns);
}

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::initWithCoder(NSCoder& coder) {
  auto c = std::make_shared<NSURLSessionConfiguration>();
  c->identifier_ = coder.decodeObjectOfClass<NSString>("identifier"_ns);
  c->ephemeral_ = coder.decodeBoolForKey("ephemeral"_ns);
  c->requestCachePolicy_ = static_cast<NSURLRequestCachePolicy>(coder.decodeIntegerForKey("requestCachePolicy"_ns));
  if (coder.containsValueForKey("timeoutIntervalForRequest"_ns)) c->timeoutIntervalForRequest_ = coder.decodeDoubleForKey("timeoutIntervalForRequest"_ns);
  if (coder.containsValueForKey("timeoutIntervalForResource"_ns)) c->timeoutIntervalForResource_ = coder.decodeDoubleForKey("timeoutIntervalForResource"_ns);
  if (coder.containsValueForKey("allowsCellularAccess"_ns)) c->allowsCellularAccess_ = coder.decodeBoolForKey("allowsCellularAccess"_ns);
  if (coder.containsValueForKey("HTTPShouldSetCookies"_ns)) c->HTTPShouldSetCookies_ = coder.decodeBoolForKey("HTTPShouldSetCookies"_ns);
  if (coder.containsValueForKey("HTTPMaximumConnectionsPerHost"_ns)) {
    c->HTTPMaximumConnectionsPerHost_ = coder.decodeIntegerForKey("HTTPMaximumConnectionsPerHost"_ns);
  }
  c->HTTPAdditionalHeaders_ = coder.decodeObjectOfClass<NSDictionary>("HTTPAdditionalHeaders"_ns);
  if (coder.error()) return nullptr;
  return c;
}

namespace {
const bool kConfigurationCoding = [] {
  zvt::registerCodingClass("NSURLSessionConfiguration", [](NSCoder& coder) -> id { return NSURLSessionConfiguration::initWithCoder(coder); });
  return true;
}();
}  // namespace

// ---- tasks

NSURLSessionTask::NSURLSessionTask(Kind kind, std::shared_ptr<NSURLSession> session, std::shared_ptr<NSURLRequest> request)
    : kind_(kind),
      identifier_(session ? session->nextIdentifier_++ : 0),
      session_(std::move(session)),
      originalRequest_(request ? request->copy() : nullptr),
      currentRequest_(originalRequest_) {}

NSURLSessionTask::~NSURLSessionTask() {
  if (downloadFd_ >= 0) ::close(downloadFd_);
  if (!downloadPath_.empty() && !keepPartialFile_) ::unlink(downloadPath_.c_str());
}

std::shared_ptr<NSURLRequest> NSURLSessionTask::currentRequest() const {
  std::lock_guard lock(mutex_);
  return currentRequest_;
}

std::shared_ptr<NSURLResponse> NSURLSessionTask::response() const {
  std::lock_guard lock(mutex_);
  return response_;
}

std::shared_ptr<NSError> NSURLSessionTask::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::shared_ptr<NSString> NSURLSessionTask::taskDescription() const {
  std::lock_guard lock(mutex_);
  return taskDescription_;
}

void NSURLSessionTask::setTaskDescription(const std::shared_ptr<NSString>& description) {
  std::lock_guard lock(mutex_);
  taskDescription_ = description ? description->copy() : nullptr;
}

std::shared_ptr<NSString> NSURLSessionTask::description() const {
  return NSString::stringWithFormat("<%s: %p>{ taskIdentifier: %lu }", className(), static_cast<const void*>(this), static_cast<unsigned long>(identifier_));
}

const zvt::KVCClass* NSURLSessionTask::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<NSURLSessionTask>()
                                         .readonlyProperty("state", &NSURLSessionTask::state)
                                         .readonlyProperty("countOfBytesSent", &NSURLSessionTask::countOfBytesSent)
                                         .readonlyProperty("countOfBytesReceived", &NSURLSessionTask::countOfBytesReceived)
                                         .readonlyProperty("countOfBytesExpectedToSend", &NSURLSessionTask::countOfBytesExpectedToSend)
                                         .readonlyProperty("countOfBytesExpectedToReceive",
                                                           &NSURLSessionTask::countOfBytesExpectedToReceive)
                                         .build();
  return &table;
}

// The state changes under the task's lock; observers hear of it once the lock is released (the
// change is announced after it happened, so an observer's old value is the new one).
void NSURLSessionTask::announceStateChange() {
  willChangeValueForKey("state");
  didChangeValueForKey("state");
}

void NSURLSessionTask::resume() {
  bool changed = false;
  bool start = false;
  bool finish = false;
  std::shared_ptr<NSError> error;
  {
    std::lock_guard lock(mutex_);
    if (state_ == NSURLSessionTaskStateSuspended) {
      state_ = NSURLSessionTaskStateRunning;
      changed = true;
      if (!started_) {
        started_ = true;
        start = true;
      } else {
        releaseHeld();
        finish = std::exchange(completionDeferred_, false);
        error = std::move(deferredError_);
      }
    }
  }
  auto self = selfTask();
  if (changed) announceStateChange();
  if (start) zvt::onSessionThread([self] { self->startLoad(); });
  if (finish) zvt::onSessionThread([self, error] { self->complete(error); });
  if (changed) zvt::callHook(zvt::resumedHook(), self);
}

void NSURLSessionTask::suspend() {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    if (state_ == NSURLSessionTaskStateRunning) {
      state_ = NSURLSessionTaskStateSuspended;
      changed = true;
    }
  }
  if (changed) announceStateChange();
  if (changed) zvt::callHook(zvt::suspendedHook(), selfTask());
}

void NSURLSessionTask::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != NSURLSessionTaskStateRunning && state_ != NSURLSessionTaskStateSuspended) return;
    state_ = NSURLSessionTaskStateCanceling;
  }
  announceStateChange();
  auto self = selfTask();
  zvt::onSessionThread([self] {
    if (self->completed_) return;
    auto error = zvt::urlError(NSURLErrorCancelled, "cancelled", self->currentRequest());
    self->pendingError_ = error;
    if (self->connection_) self->connection_->cancel();
    self->complete(error);
  });
}

void NSURLSessionDownloadTask::cancelByProducingResumeData(std::function<void(const std::shared_ptr<NSData>&)> completionHandler) {
  {
    std::lock_guard lock(mutex_);
    if (state_ != NSURLSessionTaskStateRunning && state_ != NSURLSessionTaskStateSuspended) {
      if (completionHandler && session_) session_->delegateQueue()->addOperationWithBlock([completionHandler] { completionHandler(nullptr); });
      return;
    }
    state_ = NSURLSessionTaskStateCanceling;
  }
  auto self = std::static_pointer_cast<NSURLSessionDownloadTask>(selfTask());
  zvt::onSessionThread([self, completionHandler] {
    if (self->completed_) {
      if (completionHandler) completionHandler(nullptr);
      return;
    }
    std::shared_ptr<NSData> resumeData;
    int64_t have = self->resumeOffset_ + self->received_.load();
    if (self->downloadFd_ >= 0 && have > 0 && self->originalRequest_ && self->originalRequest_->URL()) {
      auto plist = NSDictionary::make({
          {NSString::stringWithUTF8String(zvt::kResumeURLKey), self->originalRequest_->URL()->absoluteString()},
          {NSString::stringWithUTF8String(zvt::kResumeBytesKey), NSNumber::numberWithLongLong(have)},
          {NSString::stringWithUTF8String(zvt::kResumePathKey), NSString::stringWithUTF8String(self->downloadPath_)},
          {NSString::stringWithUTF8String(zvt::kResumeValidatorKey), NSString::stringWithUTF8String(self->resumeValidator_)},
      });
      resumeData = NSPropertyListSerialization::dataWithPropertyList(plist, NSPropertyListXMLFormat_v1_0, 0, nullptr);
      self->keepPartialFile_ = resumeData != nullptr;
    }
    std::vector<std::pair<id, id>> extra;
    if (resumeData) extra.emplace_back(NSURLSessionDownloadTaskResumeData.get(), resumeData);
    auto error = zvt::urlError(NSURLErrorCancelled, "cancelled", self->currentRequest(), std::move(extra));
    self->pendingError_ = error;
    if (self->connection_) self->connection_->cancel();
    if (completionHandler) self->report([completionHandler, resumeData] { completionHandler(resumeData); });
    self->complete(error);
  });
}

void NSURLSessionTask::releaseHeld() {
  auto held = std::move(held_);
  held_.clear();
  if (!session_) return;
  for (auto& fn : held) session_->delegateQueue()->addOperationWithBlock(std::move(fn));
}

void NSURLSessionTask::report(std::function<void()> fn) {
  std::lock_guard lock(mutex_);
  if (state_ == NSURLSessionTaskStateSuspended && started_) {
    held_.push_back(std::move(fn));
    return;
  }
  if (session_) session_->delegateQueue()->addOperationWithBlock(std::move(fn));
}

void NSURLSessionTask::startLoad() {
  if (completed_) return;
  auto session = session_;
  if (!session) return;
  if (pendingError_) {
    complete(pendingError_);
    return;
  }
  auto request = session->preparedRequest(originalRequest_);
  auto load = std::make_shared<SessionLoad>(selfTask());
  if (kind_ == Kind::Upload) {
    auto body = request->mutableCopy();
    if (uploadData_) {
      body->setHTTPBody(uploadData_);
    } else if (uploadFile_) {
      auto data = uploadFile_->isFileURL() ? NSData::dataWithContentsOfFile(uploadFile_->path()) : nullptr;
      if (!data) {
        complete(zvt::urlError(NSURLErrorFileDoesNotExist, "file does not exist", request));
        return;
      }
      body->setHTTPBody(data);
    } else if (streamed_) {
      auto stream = load->askForBodyStream();
      if (completed_) return;
      if (!stream) stream = originalRequest_->HTTPBodyStream();
      if (!stream) {
        complete(zvt::urlError(zvt::kRequestBodyStreamExhaustedCode, "request body stream exhausted", request));
        return;
      }
      body->setHTTPBodyStream(stream);
    }
    request = body;
  }
  if (kind_ == Kind::Download && resumeOffset_ > 0) {
    auto ranged = request->mutableCopy();
    ranged->setValue("bytes=" + std::to_string(resumeOffset_) + "-", "Range");
    if (!resumeValidator_.empty()) ranged->setValue(resumeValidator_, "If-Range");
    request = ranged;
  }
  {
    std::lock_guard lock(mutex_);
    currentRequest_ = request;
  }
  load_ = load;
  connection_ = NSURLConnection::initWithRequest(request, load, false);
  connection_->scheduleInRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
  connection_->start();
}

void NSURLSessionTask::closeDownloadFile(bool remove) {
  if (downloadFd_ >= 0) {
    ::close(downloadFd_);
    downloadFd_ = -1;
  }
  if (remove && !downloadPath_.empty()) {
    ::unlink(downloadPath_.c_str());
    downloadPath_.clear();
  }
}

void NSURLSessionTask::complete(const std::shared_ptr<NSError>& error) {
  if (completed_) return;
  {
    std::lock_guard lock(mutex_);
    if (state_ == NSURLSessionTaskStateSuspended && started_) {
      completionDeferred_ = true;
      deferredError_ = error;
      return;
    }
  }
  completed_ = true;
  auto self = selfTask();
  auto session = session_;
  {
    std::lock_guard lock(mutex_);
    state_ = NSURLSessionTaskStateCompleted;
    error_ = error;
    // Whatever was held back goes out before the end.
    auto held = std::move(held_);
    held_.clear();
    if (session) {
      for (auto& fn : held) session->delegateQueue()->addOperationWithBlock(std::move(fn));
    }
  }
  announceStateChange();
  auto connection = std::move(connection_);
  if (connection) connection->cancel();
  load_.reset();
  if (!session) return;
  auto delegate = session->delegate();
  bool finishedDownload = kind_ == Kind::Download && !error && !downloadPath_.empty();
  if (kind_ == Kind::Download) closeDownloadFile(error && !keepPartialFile_);
  if (finishedDownload) {
    auto location = NSURL::fileURLWithPath(NSString::stringWithUTF8String(downloadPath_), false);
    std::string path = downloadPath_;
    downloadPath_.clear();
    auto download = std::static_pointer_cast<NSURLSessionDownloadTask>(self);
    session->delegateQueue()->addOperationWithBlock([delegate, session, download, location, path] {
      if (delegate) delegate->URLSessionDownloadTaskDidFinishDownloadingToURL(session, download, location);
      // What the delegate did not move away is not kept.
      ::unlink(path.c_str());
    });
  } else if (keepPartialFile_) {
    downloadPath_.clear();  // handed over to the resume data
  }
  if (delegate) {
    session->delegateQueue()->addOperationWithBlock(
        [delegate, session, self, error] { delegate->URLSessionTaskDidCompleteWithError(session, self, error); });
  }
  session->taskEnded(self);
  session_.reset();
}

// ---- session

NSURLSession::NSURLSession(std::shared_ptr<NSURLSessionConfiguration> configuration, std::shared_ptr<NSURLSessionDelegate> delegate,
                           std::shared_ptr<NSOperationQueue> queue)
    : configuration_(configuration ? configuration->copy() : NSURLSessionConfiguration::defaultSessionConfiguration()),
      delegateQueue_(std::move(queue)),
      delegate_(std::move(delegate)) {
  if (!delegateQueue_) {
    delegateQueue_ = NSOperationQueue::make();
    delegateQueue_->setMaxConcurrentOperationCount(1);
  }
}

NSURLSession::~NSURLSession() = default;

std::shared_ptr<NSURLSession> NSURLSession::sessionWithConfiguration(const std::shared_ptr<NSURLSessionConfiguration>& configuration,
                                                                     const std::shared_ptr<NSURLSessionDelegate>& delegate,
                                                                     const std::shared_ptr<NSOperationQueue>& delegateQueue) {
  return std::make_shared<NSURLSession>(configuration, delegate, delegateQueue);
}

std::shared_ptr<NSURLSession> NSURLSession::sharedSession() {
  static std::shared_ptr<NSURLSession>* shared = [] {
    auto* s = new std::shared_ptr<NSURLSession>(std::make_shared<NSURLSession>(nullptr, nullptr, nullptr));
    (*s)->shared_ = true;
    return s;
  }();
  return *shared;
}

std::shared_ptr<NSURLSessionDelegate> NSURLSession::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_;
}

std::shared_ptr<NSString> NSURLSession::sessionDescription() const {
  std::lock_guard lock(mutex_);
  return sessionDescription_;
}

void NSURLSession::setSessionDescription(const std::shared_ptr<NSString>& description) {
  std::lock_guard lock(mutex_);
  sessionDescription_ = description ? description->copy() : nullptr;
}

std::shared_ptr<NSString> NSURLSession::description() const {
  return NSString::stringWithFormat("<NSURLSession: %p>", static_cast<const void*>(this));
}

std::shared_ptr<NSURLRequest> NSURLSession::preparedRequest(const std::shared_ptr<NSURLRequest>& request) const {
  auto prepared = request->mutableCopy();
  if (auto headers = configuration_->HTTPAdditionalHeaders()) {
    for (const id& key : *headers) {
      auto name = zvt::as<NSString>(key);
      auto value = zvt::as<NSString>(headers->objectForKey(key));
      if (name && value && !prepared->valueForHTTPHeaderField(name)) prepared->setValue(value, name);
    }
  }
  double limit = configuration_->timeoutIntervalForRequest();
  if (limit > 0 && (prepared->timeoutInterval() <= 0 || limit < prepared->timeoutInterval())) prepared->setTimeoutInterval(limit);
  if (configuration_->isEphemeral() || !configuration_->HTTPShouldSetCookies()) prepared->setHTTPShouldHandleCookies(false);
  return prepared;
}

bool NSURLSession::adopt(const std::shared_ptr<NSURLSessionTask>& task) {
  std::lock_guard lock(mutex_);
  if (invalidated_) return false;
  tasks_[task->taskIdentifier()] = task;
  return true;
}

void NSURLSession::taskEnded(const std::shared_ptr<NSURLSessionTask>& task) {
  {
    std::lock_guard lock(mutex_);
    auto it = tasks_.find(task->taskIdentifier());
    if (it != tasks_.end() && it->second == task) tasks_.erase(it);
  }
  finishInvalidationIfDone();
}

std::shared_ptr<NSURLSessionDataTask> NSURLSession::dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request) {
  if (!request) return nullptr;
  auto task = std::make_shared<NSURLSessionDataTask>(selfSession(), request);
  if (!adopt(task)) {
    task->session_.reset();
    return nullptr;
  }
  return task;
}

std::shared_ptr<NSURLSessionDataTask> NSURLSession::dataTaskWithURL(const std::shared_ptr<NSURL>& url) {
  return url ? dataTaskWithRequest(NSURLRequest::requestWithURL(url)) : nullptr;
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                            const std::shared_ptr<NSURL>& fileURL) {
  if (!request || !fileURL) return nullptr;
  auto task = std::make_shared<NSURLSessionUploadTask>(selfSession(), request);
  task->uploadFile_ = fileURL;
  if (fileURL->isFileURL()) {
    struct stat st {};
    if (::stat(fileURL->path()->UTF8String(), &st) == 0) task->expectedToSend_ = static_cast<int64_t>(st.st_size);
  }
  if (!adopt(task)) {
    task->session_.reset();
    return nullptr;
  }
  return task;
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                            const std::shared_ptr<NSData>& bodyData) {
  if (!request) return nullptr;
  auto task = std::make_shared<NSURLSessionUploadTask>(selfSession(), request);
  task->uploadData_ = bodyData ? bodyData : NSData::data();
  task->expectedToSend_ = static_cast<int64_t>(task->uploadData_->length());
  if (!adopt(task)) {
    task->session_.reset();
    return nullptr;
  }
  return task;
}

std::shared_ptr<NSURLSessionUploadTask> NSURLSession::uploadTaskWithStreamedRequest(const std::shared_ptr<NSURLRequest>& request) {
  if (!request) return nullptr;
  auto task = std::make_shared<NSURLSessionUploadTask>(selfSession(), request);
  task->streamed_ = true;
  // A stream's length is not known beforehand.
  task->expectedToSend_ = NSURLSessionTransferSizeUnknown;
  if (!adopt(task)) {
    task->session_.reset();
    return nullptr;
  }
  return task;
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request) {
  if (!request) return nullptr;
  auto task = std::make_shared<NSURLSessionDownloadTask>(selfSession(), request);
  if (!adopt(task)) {
    task->session_.reset();
    return nullptr;
  }
  return task;
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithURL(const std::shared_ptr<NSURL>& url) {
  return url ? downloadTaskWithRequest(NSURLRequest::requestWithURL(url)) : nullptr;
}

std::shared_ptr<NSURLSessionDownloadTask> NSURLSession::downloadTaskWithResumeData(const std::shared_ptr<NSData>& resumeData) {
  auto plist = resumeData ? zvt::as<NSDictionary>(NSPropertyListSerialization::propertyListWithData(resumeData, 0, nullptr, nullptr)) : nullptr;
  auto key = [](std::string_view k) { return NSString::stringWithUTF8String(k); };
  auto urlText = plist ? zvt::as<NSString>(plist->objectForKey(key(zvt::kResumeURLKey))) : nullptr;
  auto bytes = plist ? zvt::as<NSNumber>(plist->objectForKey(key(zvt::kResumeBytesKey))) : nullptr;
  auto path = plist ? zvt::as<NSString>(plist->objectForKey(key(zvt::kResumePathKey))) : nullptr;
  auto validator = plist ? zvt::as<NSString>(plist->objectForKey(key(zvt::kResumeValidatorKey))) : nullptr;
  auto url = urlText ? NSURL::URLWithString(urlText) : nullptr;
  // The partial file must still be there, no shorter than the data says, and in our temporary folder.
  bool usable = url && bytes && path && bytes->longLongValue() > 0;
  if (usable) {
    std::string tmp = NSTemporaryDirectory()->utf8();
    struct stat st {};
    usable = path->utf8().rfind(tmp, 0) == 0 && path->utf8().find("/../") == std::string::npos &&
             ::stat(path->UTF8String(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= bytes->longLongValue();
  }
  auto request = NSURLRequest::requestWithURL(url ? url : NSURL::URLWithString("about:blank"));
  auto task = std::make_shared<NSURLSessionDownloadTask>(selfSession(), request);
  if (usable) {
    task->downloadPath_ = path->utf8();
    task->resumeOffset_ = bytes->longLongValue();
    // Bytes beyond what the data promises are dropped before the rest is appended.
    if (::truncate(task->downloadPath_.c_str(), task->resumeOffset_) != 0) usable = false;
    task->resumeValidator_ = validator ? validator->utf8() : "";
  }
  if (!usable) {
    task->downloadPath_.clear();
    task->resumeOffset_ = 0;
    task->pendingError_ = zvt::urlError(NSURLErrorCannotResumeDownloadCode, "cannot resume download", request);
  }
  if (!adopt(task)) {
    task->session_.reset();
    return nullptr;
  }
  return task;
}

void NSURLSession::getTasksWithCompletionHandler(
    std::function<void(const std::shared_ptr<NSArray>&, const std::shared_ptr<NSArray>&, const std::shared_ptr<NSArray>&)> completionHandler) {
  auto data = NSMutableArray::array();
  auto upload = NSMutableArray::array();
  auto download = NSMutableArray::array();
  {
    std::lock_guard lock(mutex_);
    for (const auto& [identifier, task] : tasks_) {
      (void)identifier;
      if (task->state() == NSURLSessionTaskStateCompleted) continue;
      switch (task->kind_) {
        case NSURLSessionTask::Kind::Data:
          data->addObject(task);
          break;
        case NSURLSessionTask::Kind::Upload:
          upload->addObject(task);
          break;
        case NSURLSessionTask::Kind::Download:
          download->addObject(task);
          break;
      }
    }
  }
  if (!completionHandler) return;
  delegateQueue_->addOperationWithBlock([completionHandler, data, upload, download] {
    completionHandler(data->copy(), upload->copy(), download->copy());
  });
}

void NSURLSession::finishTasksAndInvalidate() { invalidate(false); }
void NSURLSession::invalidateAndCancel() { invalidate(true); }

void NSURLSession::invalidate(bool cancel) {
  std::vector<std::shared_ptr<NSURLSessionTask>> tasks;
  {
    std::lock_guard lock(mutex_);
    if (shared_ || invalidated_) return;
    invalidated_ = true;
    for (const auto& [identifier, task] : tasks_) {
      (void)identifier;
      tasks.push_back(task);
    }
  }
  if (cancel) {
    for (const auto& task : tasks) task->cancel();
  }
  finishInvalidationIfDone();
}

void NSURLSession::finishInvalidationIfDone() {
  std::shared_ptr<NSURLSessionDelegate> delegate;
  {
    std::lock_guard lock(mutex_);
    if (!invalidated_ || invalidationReported_ || !tasks_.empty()) return;
    invalidationReported_ = true;
    // The session lets its delegate go once it has heard of the end.
    delegate = std::move(delegate_);
    delegate_.reset();
  }
  if (!delegate) return;
  auto self = selfSession();
  delegateQueue_->addOperationWithBlock([delegate, self] { delegate->URLSessionDidBecomeInvalidWithError(self, nullptr); });
}
