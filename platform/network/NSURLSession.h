// URL sessions over the same curl engine as NSURLConnection. Each task loads through its own
// connection on one process-wide session thread; the session reports to its delegate on its
// delegate queue (an operation queue of width 1 when none is given), one call after another.
//
// Questions the session asks its delegate (response disposition, redirect, challenge, caching,
// a new body stream) are answered through a completion handler that must be called before the
// delegate method returns: the load waits for the call on the session thread and treats an
// unanswered question as a cancel. Ordinary reports (data, progress, completion) do not wait.
//
// A task is created suspended. While a running task is suspended its load goes on, but its
// reports are held back and delivered in order when it is resumed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSStream.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLAuthenticationChallenge.h"
#include "platform/network/NSURLRequest.h"

class NSURLSession;
class NSURLSessionTask;
class NSURLSessionDataTask;
class NSURLSessionUploadTask;
class NSURLSessionDownloadTask;
class NSURLConnection;

using NSURLSessionTaskState = NSInteger;
enum : NSURLSessionTaskState {
  NSURLSessionTaskStateRunning = 0,
  NSURLSessionTaskStateSuspended = 1,
  NSURLSessionTaskStateCanceling = 2,
  NSURLSessionTaskStateCompleted = 3,
};

using NSURLSessionResponseDisposition = NSInteger;
enum : NSURLSessionResponseDisposition {
  NSURLSessionResponseCancel = 0,
  NSURLSessionResponseAllow = 1,
  NSURLSessionResponseBecomeDownload = 2,
};

using NSURLSessionAuthChallengeDisposition = NSInteger;
enum : NSURLSessionAuthChallengeDisposition {
  NSURLSessionAuthChallengeUseCredential = 0,
  NSURLSessionAuthChallengePerformDefaultHandling = 1,
  NSURLSessionAuthChallengeCancelAuthenticationChallenge = 2,
  NSURLSessionAuthChallengeRejectProtectionSpace = 3,
};

inline constexpr int64_t NSURLSessionTransferSizeUnknown = -1;

// The user-info key under which a failed download's error carries its resume data.
inline const zvt::StaticString NSURLSessionDownloadTaskResumeData{"NSURLSessionDownloadTaskResumeData"};
// NSURLErrorCannotResumeDownload doesn't exist in the shared list yet.
inline constexpr NSInteger NSURLErrorCannotResumeDownloadCode = -3006;

class NSURLSessionConfiguration : public NSObject, public NSCoding {
 public:
  NSURLSessionConfiguration() = default;
  static std::shared_ptr<NSURLSessionConfiguration> defaultSessionConfiguration();
  // Keeps nothing beyond the session: no cookies are sent from or stored in the shared store.
  static std::shared_ptr<NSURLSessionConfiguration> ephemeralSessionConfiguration();
  // A background session loads like a default one here; the identifier names it.
  static std::shared_ptr<NSURLSessionConfiguration> backgroundSessionConfigurationWithIdentifier(
      const std::shared_ptr<NSString>& identifier);

  const std::shared_ptr<NSString>& identifier() const { return identifier_; }
  bool isEphemeral() const { return ephemeral_; }
  NSURLRequestCachePolicy requestCachePolicy() const { return requestCachePolicy_; }
  void setRequestCachePolicy(NSURLRequestCachePolicy policy) { requestCachePolicy_ = policy; }
  // Inactivity time-out of each request (the request's own, when shorter, wins).
  NSTimeInterval timeoutIntervalForRequest() const { return timeoutIntervalForRequest_; }
  void setTimeoutIntervalForRequest(NSTimeInterval interval) { timeoutIntervalForRequest_ = interval; }
  NSTimeInterval timeoutIntervalForResource() const { return timeoutIntervalForResource_; }
  void setTimeoutIntervalForResource(NSTimeInterval interval) { timeoutIntervalForResource_ = interval; }
  bool allowsCellularAccess() const { return allowsCellularAccess_; }
  void setAllowsCellularAccess(bool allows) { allowsCellularAccess_ = allows; }
  bool HTTPShouldSetCookies() const { return HTTPShouldSetCookies_; }
  void setHTTPShouldSetCookies(bool set) { HTTPShouldSetCookies_ = set; }
  NSInteger HTTPMaximumConnectionsPerHost() const { return HTTPMaximumConnectionsPerHost_; }
  void setHTTPMaximumConnectionsPerHost(NSInteger count) { HTTPMaximumConnectionsPerHost_ = count; }
  // Added to every request that does not set the field itself.
  const std::shared_ptr<NSDictionary>& HTTPAdditionalHeaders() const { return HTTPAdditionalHeaders_; }
  void setHTTPAdditionalHeaders(const std::shared_ptr<NSDictionary>& headers) { HTTPAdditionalHeaders_ = headers; }

  id copyWithZone() const override;
  std::shared_ptr<NSURLSessionConfiguration> copy() const {
    return std::static_pointer_cast<NSURLSessionConfiguration>(copyWithZone());
  }
  bool isEqual(const id& other) const override;
  void encodeWithCoder(NSCoder& coder) const override;
  static std::shared_ptr<NSURLSessionConfiguration> initWithCoder(NSCoder& coder);
  static bool supportsSecureCoding() { return true; }

 private:
  std::shared_ptr<NSString> identifier_;
  bool ephemeral_ = false;
  NSURLRequestCachePolicy requestCachePolicy_ = NSURLRequestUseProtocolCachePolicy;
  NSTimeInterval timeoutIntervalForRequest_ = 60;
  NSTimeInterval timeoutIntervalForResource_ = 7 * 24 * 3600;
  bool allowsCellularAccess_ = true;
  bool HTTPShouldSetCookies_ = true;
  NSInteger HTTPMaximumConnectionsPerHost_ = 4;
  std::shared_ptr<NSDictionary> HTTPAdditionalHeaders_;
};

// NSURLSessionDelegate, NSURLSessionTaskDelegate, NSURLSessionDataDelegate and
// NSURLSessionDownloadDelegate in one class. Every selector begins with "URLSession", so each
// method joins its pieces (URLSession:task:didCompleteWithError: is
// URLSessionTaskDidCompleteWithError). The defaults do what the session does for a delegate
// without the method.
class NSURLSessionDelegate {
 public:
  using Session = std::shared_ptr<NSURLSession>;
  using Task = std::shared_ptr<NSURLSessionTask>;
  using ChallengeHandler = std::function<void(NSURLSessionAuthChallengeDisposition, const std::shared_ptr<NSURLCredential>&)>;
  virtual ~NSURLSessionDelegate() = default;

  // Whether the delegate implements a method, by its Objective-C selector. The session asks it
  // before the optional methods that change its behaviour. The default answers YES, except for
  // "URLSession:didReceiveChallenge:completionHandler:" (without it, server-trust challenges go
  // to the task-level method) and "URLSessionDidFinishEventsForBackgroundURLSession:": a
  // delegate that implements those says so by overriding this.
  virtual bool respondsToSelector(std::string_view selector) const;

  virtual void URLSessionDidBecomeInvalidWithError(const Session& session, const std::shared_ptr<NSError>& error);
  virtual void URLSessionDidReceiveChallenge(const Session& session, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                             const ChallengeHandler& completionHandler);
  virtual void URLSessionDidFinishEventsForBackgroundURLSession(const Session& session);

  virtual void URLSessionTaskWillPerformHTTPRedirection(const Session& session, const Task& task,
                                                        const std::shared_ptr<NSHTTPURLResponse>& response,
                                                        const std::shared_ptr<NSURLRequest>& request,
                                                        const std::function<void(const std::shared_ptr<NSURLRequest>&)>& completionHandler);
  virtual void URLSessionTaskDidReceiveChallenge(const Session& session, const Task& task,
                                                 const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                                 const ChallengeHandler& completionHandler);
  virtual void URLSessionTaskNeedNewBodyStream(const Session& session, const Task& task,
                                               const std::function<void(const std::shared_ptr<NSInputStream>&)>& completionHandler);
  virtual void URLSessionTaskDidSendBodyData(const Session& session, const Task& task, int64_t bytesSent, int64_t totalBytesSent,
                                             int64_t totalBytesExpectedToSend);
  virtual void URLSessionTaskDidCompleteWithError(const Session& session, const Task& task, const std::shared_ptr<NSError>& error);

  virtual void URLSessionDataTaskDidReceiveResponse(const Session& session, const std::shared_ptr<NSURLSessionDataTask>& dataTask,
                                                    const std::shared_ptr<NSURLResponse>& response,
                                                    const std::function<void(NSURLSessionResponseDisposition)>& completionHandler);
  virtual void URLSessionDataTaskDidBecomeDownloadTask(const Session& session, const std::shared_ptr<NSURLSessionDataTask>& dataTask,
                                                       const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask);
  virtual void URLSessionDataTaskDidReceiveData(const Session& session, const std::shared_ptr<NSURLSessionDataTask>& dataTask,
                                                const std::shared_ptr<NSData>& data);
  virtual void URLSessionDataTaskWillCacheResponse(
      const Session& session, const std::shared_ptr<NSURLSessionDataTask>& dataTask,
      const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
      const std::function<void(const std::shared_ptr<NSCachedURLResponse>&)>& completionHandler);

  // The file at `location` is removed when this returns: move it away to keep it.
  virtual void URLSessionDownloadTaskDidFinishDownloadingToURL(const Session& session,
                                                               const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                               const std::shared_ptr<NSURL>& location);
  virtual void URLSessionDownloadTaskDidWriteData(const Session& session, const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                  int64_t bytesWritten, int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite);
  virtual void URLSessionDownloadTaskDidResumeAtOffset(const Session& session,
                                                       const std::shared_ptr<NSURLSessionDownloadTask>& downloadTask,
                                                       int64_t fileOffset, int64_t expectedTotalBytes);
};

namespace zvt {
class SessionLoad;
// Called on the thread that resumes or suspends a task, after the call, when the state read
// before the call was not already running (resume) or not already suspended (suspend). One
// pair of hooks for the process; installed once at start-up by the HTTP layer.
using SessionTaskStateHook = std::function<void(const std::shared_ptr<NSURLSessionTask>& task)>;
void installSessionTaskStateHooks(SessionTaskStateHook resumed, SessionTaskStateHook suspended);
}  // namespace zvt

class NSURLSessionTask : public NSObject {
 public:
  ~NSURLSessionTask() override;

  NSUInteger taskIdentifier() const { return identifier_; }
  std::shared_ptr<NSURLRequest> originalRequest() const { return originalRequest_; }
  std::shared_ptr<NSURLRequest> currentRequest() const;
  std::shared_ptr<NSURLResponse> response() const;
  std::shared_ptr<NSError> error() const;
  NSURLSessionTaskState state() const { return state_.load(); }
  std::shared_ptr<NSString> taskDescription() const;
  void setTaskDescription(const std::shared_ptr<NSString>& description);

  int64_t countOfBytesReceived() const { return received_.load(); }
  int64_t countOfBytesSent() const { return sent_.load(); }
  // NSURLSessionTransferSizeUnknown (-1) for a streamed body and for replies without a length.
  int64_t countOfBytesExpectedToSend() const { return expectedToSend_.load(); }
  int64_t countOfBytesExpectedToReceive() const { return expectedToReceive_.load(); }

  // Key-value coding (read only) of "state" and the byte counts. Observers hear "state" when it
  // changes and "countOfBytesSent" / "countOfBytesReceived" as bytes go out or come in, on the
  // thread that changed them (the caller's, or the session's thread).
  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 private:
  // Tells the observers of "state" (after the change, outside the task's lock).
  void announceStateChange();

 public:

  // A suspended task runs (its first resume starts the load); a running one stays as it is.
  void resume();
  // A running task holds its reports back until it is resumed.
  void suspend();
  // Ends the task with NSURLErrorCancelled (-999) unless it has completed already.
  void cancel();

  std::shared_ptr<NSString> description() const override;

 protected:
  friend class NSURLSession;
  friend class zvt::SessionLoad;
  enum class Kind { Data, Upload, Download };
  NSURLSessionTask(Kind kind, std::shared_ptr<NSURLSession> session, std::shared_ptr<NSURLRequest> request);
  std::shared_ptr<NSURLSessionTask> selfTask() { return std::static_pointer_cast<NSURLSessionTask>(shared_from_this()); }
  void startLoad();
  // Runs `fn` on the delegate queue in report order, holding it back while suspended.
  void report(std::function<void()> fn);
  void releaseHeld();
  // The task's end: session thread only, once.
  void complete(const std::shared_ptr<NSError>& error);
  void closeDownloadFile(bool remove);

  const Kind kind_;
  const NSUInteger identifier_;
  std::shared_ptr<NSURLSession> session_;  // from creation to completion
  std::shared_ptr<NSURLRequest> originalRequest_;
  mutable std::mutex mutex_;
  std::shared_ptr<NSURLRequest> currentRequest_;
  std::shared_ptr<NSURLResponse> response_;
  std::shared_ptr<NSError> error_;
  std::shared_ptr<NSString> taskDescription_;
  std::atomic<NSURLSessionTaskState> state_{NSURLSessionTaskStateSuspended};
  std::atomic<int64_t> received_{0}, sent_{0}, expectedToSend_{0}, expectedToReceive_{NSURLSessionTransferSizeUnknown};
  bool started_ = false;       // under mutex_
  bool completed_ = false;     // session thread
  std::vector<std::function<void()>> held_;  // under mutex_
  // A load that ended while the task was suspended completes when it is resumed (under mutex_).
  bool completionDeferred_ = false;
  std::shared_ptr<NSError> deferredError_;
  std::shared_ptr<NSURLConnection> connection_;
  std::shared_ptr<zvt::SessionLoad> load_;
  // Upload sources.
  std::shared_ptr<NSData> uploadData_;
  std::shared_ptr<NSURL> uploadFile_;
  bool streamed_ = false;
  // Download state (session thread).
  std::string downloadPath_;
  int downloadFd_ = -1;
  int64_t resumeOffset_ = 0;
  std::string resumeValidator_;  // ETag or Last-Modified of the partial file
  bool keepPartialFile_ = false;
  std::function<void(const std::shared_ptr<NSData>&)> resumeDataHandler_;
  std::shared_ptr<NSError> pendingError_;  // set when the load is stopped on purpose
};

class NSURLSessionDataTask : public NSURLSessionTask {
 public:
  NSURLSessionDataTask(std::shared_ptr<NSURLSession> session, std::shared_ptr<NSURLRequest> request)
      : NSURLSessionTask(Kind::Data, std::move(session), std::move(request)) {}

 protected:
  using NSURLSessionTask::NSURLSessionTask;
};

class NSURLSessionUploadTask : public NSURLSessionDataTask {
 public:
  NSURLSessionUploadTask(std::shared_ptr<NSURLSession> session, std::shared_ptr<NSURLRequest> request)
      : NSURLSessionDataTask(Kind::Upload, std::move(session), std::move(request)) {}
};

class NSURLSessionDownloadTask : public NSURLSessionTask {
 public:
  NSURLSessionDownloadTask(std::shared_ptr<NSURLSession> session, std::shared_ptr<NSURLRequest> request)
      : NSURLSessionTask(Kind::Download, std::move(session), std::move(request)) {}
  // Cancels the task; the handler gets, on the delegate queue, data from which
  // downloadTaskWithResumeData: continues the download, or nil when it cannot be resumed
  // (nothing received yet, or the task has ended).
  void cancelByProducingResumeData(std::function<void(const std::shared_ptr<NSData>&)> completionHandler);
};

class NSURLSession : public NSObject {
 public:
  // sessionWithConfiguration:delegate:delegateQueue:. The configuration is copied; the session
  // holds its delegate until it has been invalidated.
  static std::shared_ptr<NSURLSession> sessionWithConfiguration(const std::shared_ptr<NSURLSessionConfiguration>& configuration,
                                                                const std::shared_ptr<NSURLSessionDelegate>& delegate = nullptr,
                                                                const std::shared_ptr<NSOperationQueue>& delegateQueue = nullptr);
  // One session without delegate for the process; it cannot be invalidated.
  static std::shared_ptr<NSURLSession> sharedSession();

  std::shared_ptr<NSURLSessionConfiguration> configuration() const { return configuration_->copy(); }
  std::shared_ptr<NSURLSessionDelegate> delegate() const;
  const std::shared_ptr<NSOperationQueue>& delegateQueue() const { return delegateQueue_; }
  std::shared_ptr<NSString> sessionDescription() const;
  void setSessionDescription(const std::shared_ptr<NSString>& description);

  // Task factories: each task starts suspended. Nil once the session has been invalidated.
  std::shared_ptr<NSURLSessionDataTask> dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request);
  std::shared_ptr<NSURLSessionDataTask> dataTaskWithURL(const std::shared_ptr<NSURL>& url);
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                const std::shared_ptr<NSURL>& fileURL);
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                const std::shared_ptr<NSData>& bodyData);
  // The body comes from the delegate's URLSessionTaskNeedNewBodyStream, else from the request's
  // own body stream.
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithStreamedRequest(const std::shared_ptr<NSURLRequest>& request);
  std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request);
  std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithURL(const std::shared_ptr<NSURL>& url);
  // Data that cannot be read gives a task that fails with NSURLErrorCannotResumeDownloadCode.
  std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithResumeData(const std::shared_ptr<NSData>& resumeData);

  // The tasks not yet completed, by kind; the handler runs on the delegate queue.
  void getTasksWithCompletionHandler(
      std::function<void(const std::shared_ptr<NSArray>& dataTasks, const std::shared_ptr<NSArray>& uploadTasks,
                         const std::shared_ptr<NSArray>& downloadTasks)>
          completionHandler);

  // No new tasks; once every task has ended the delegate hears of the invalidation and is let go.
  void finishTasksAndInvalidate();
  // The same, cancelling every task first.
  void invalidateAndCancel();

  std::shared_ptr<NSString> description() const override;

  NSURLSession(std::shared_ptr<NSURLSessionConfiguration> configuration, std::shared_ptr<NSURLSessionDelegate> delegate,
               std::shared_ptr<NSOperationQueue> queue);
  ~NSURLSession() override;

 private:
  friend class NSURLSessionTask;
  friend class zvt::SessionLoad;
  std::shared_ptr<NSURLSession> selfSession() { return std::static_pointer_cast<NSURLSession>(shared_from_this()); }
  bool adopt(const std::shared_ptr<NSURLSessionTask>& task);
  void taskEnded(const std::shared_ptr<NSURLSessionTask>& task);
  void invalidate(bool cancel);
  void finishInvalidationIfDone();
  // The request as sent: configuration headers, time-out, cookie handling.
  std::shared_ptr<NSURLRequest> preparedRequest(const std::shared_ptr<NSURLRequest>& request) const;

  std::shared_ptr<NSURLSessionConfiguration> configuration_;
  std::shared_ptr<NSOperationQueue> delegateQueue_;
  bool shared_ = false;
  mutable std::mutex mutex_;
  std::shared_ptr<NSURLSessionDelegate> delegate_;
  std::shared_ptr<NSString> sessionDescription_;
  std::map<NSUInteger, std::shared_ptr<NSURLSessionTask>> tasks_;
  bool invalidated_ = false;
  bool invalidationReported_ = false;
  std::atomic<NSUInteger> nextIdentifier_{1};
};
