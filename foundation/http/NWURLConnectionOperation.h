// One URL request as a concurrent, cancellable, pausable operation. Every connection of the
// process runs on one long-lived thread named "NWNetworking"; the reply's body is written into
// an output stream (in memory by default). Progress blocks, the start and finish notifications
// and, by default, the completion block run on the main queue.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/http/NWSecurityPolicy.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSSet.h"
#include "platform/foundation/NSStream.h"
#include "platform/foundation/NSThread.h"
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/UIApplication.h"

inline const zvt::StaticString NWNetworkingOperationDidStartNotification{"com.netway.networking.operation.start"};
inline const zvt::StaticString NWNetworkingOperationDidFinishNotification{"com.netway.networking.operation.finish"};

class NWURLConnectionOperation : public NSOperation, public NSURLConnectionDelegate {
 public:
  enum State : NSInteger { kPaused = -1, kReady = 1, kExecuting = 2, kFinished = 3 };

  using ProgressBlock = std::function<void(NSUInteger bytes, int64_t totalBytes, int64_t totalBytesExpected)>;
  using AuthenticationChallengeBlock =
      std::function<void(const std::shared_ptr<NSURLConnection>&, const std::shared_ptr<NSURLAuthenticationChallenge>&)>;
  using CacheResponseBlock = std::function<std::shared_ptr<NSCachedURLResponse>(const std::shared_ptr<NSURLConnection>&,
                                                                                const std::shared_ptr<NSCachedURLResponse>&)>;
  using RedirectResponseBlock = std::function<std::shared_ptr<NSURLRequest>(
      const std::shared_ptr<NSURLConnection>&, const std::shared_ptr<NSURLRequest>&, const std::shared_ptr<NSURLResponse>&)>;

  // initWithRequest: (a nil request raises NSInvalidArgumentException).
  static std::shared_ptr<NWURLConnectionOperation> initWithRequest(const std::shared_ptr<NSURLRequest>& request);
  explicit NWURLConnectionOperation(const std::shared_ptr<NSURLRequest>& request);
  // The same with the security policy given at once (nil stays nil): a manager's operations
  // take its policy, and making the default first would be wasted.
  NWURLConnectionOperation(const std::shared_ptr<NSURLRequest>& request, std::shared_ptr<NWSecurityPolicy> policy);
  ~NWURLConnectionOperation() override;

  // --- properties
  std::set<std::string> runLoopModes() const;
  void setRunLoopModes(std::set<std::string> modes);
  std::shared_ptr<NSURLRequest> request() const;
  std::shared_ptr<NSURLResponse> response() const;
  virtual std::shared_ptr<NSError> error() const;
  std::shared_ptr<NSData> responseData() const;
  std::shared_ptr<NSString> responseString();
  NSStringEncoding responseStringEncoding();
  bool shouldUseCredentialStorage() const;
  void setShouldUseCredentialStorage(bool use);
  std::shared_ptr<NSURLCredential> credential() const;
  void setCredential(const std::shared_ptr<NSURLCredential>& credential);
  std::shared_ptr<NWSecurityPolicy> securityPolicy() const;
  void setSecurityPolicy(const std::shared_ptr<NWSecurityPolicy>& policy);
  std::shared_ptr<NSInputStream> inputStream() const;
  void setInputStream(const std::shared_ptr<NSInputStream>& stream);
  std::shared_ptr<NSOutputStream> outputStream();
  void setOutputStream(const std::shared_ptr<NSOutputStream>& stream);
  dispatch_queue_t completionQueue() const;
  void setCompletionQueue(const dispatch_queue_t& queue);
  dispatch_group_t completionGroup() const;
  void setCompletionGroup(const dispatch_group_t& group);
  std::shared_ptr<NSDictionary> userInfo() const;
  void setUserInfo(const std::shared_ptr<NSDictionary>& info);
  int64_t totalBytesRead() const { return totalBytesRead_.load(); }

  // --- state
  bool isReady() const override;
  bool isExecuting() const override { return state_.load() == kExecuting; }
  bool isFinished() const override { return state_.load() == kFinished; }
  bool isPaused() const { return state_.load() == kPaused; }
  // NSOperation's state flags and "isPaused", as key-value coded properties.
  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
  bool isConcurrent() const override { return true; }
  // Final: a state change that nobody observes skips these announcements.
  void willChangeValueForKey(std::string_view key) final { NSOperation::willChangeValueForKey(key); }
  void didChangeValueForKey(std::string_view key) final { NSOperation::didChangeValueForKey(key); }
  // Starting takes the lock and hands the connection work to the network thread.
  bool startOnlyHandsOff() const override { return true; }
  // The key announced for a state ("isPaused", "isReady", "isExecuting", "isFinished", "state").
  static const char* keyPathFromOperationState(NSInteger state);
  // Whether a transition is allowed (for tests of the state machine).
  static bool stateTransitionIsValid(NSInteger from, NSInteger to, bool cancelled);

  void start() override;
  void cancel() override;
  virtual void pause();
  void resume();

  void setCompletionBlock(std::function<void()> block) override;
  void setUploadProgressBlock(ProgressBlock block);
  void setDownloadProgressBlock(ProgressBlock block);
  // The blocks set (nil when none), for callers that chain their own before them.
  ProgressBlock uploadProgressBlock() const;
  ProgressBlock downloadProgressBlock() const;
  void setWillSendRequestForAuthenticationChallengeBlock(AuthenticationChallengeBlock block);
  void setCacheResponseBlock(CacheResponseBlock block);
  void setRedirectResponseBlock(RedirectResponseBlock block);
  void setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler);

  // The operations plus one operation that calls `completion` on the main queue once every
  // completion block of the others has run; `progress` gets (finished, total) after each.
  static std::vector<std::shared_ptr<NSOperation>> batchOfRequestOperations(
      const std::vector<std::shared_ptr<NWURLConnectionOperation>>& operations,
      std::function<void(NSUInteger finished, NSUInteger total)> progress,
      std::function<void(const std::vector<std::shared_ptr<NWURLConnectionOperation>>&)> completion);

  // The one network thread (started on first use).
  static std::shared_ptr<NSThread> networkRequestThread();

  std::shared_ptr<NSString> description() const override;
  id copyWithZone() const override;

  // --- NSURLConnectionDelegate (network thread)
  void connectionWillSendRequestForAuthenticationChallenge(const Connection& connection,
                                                           const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;
  bool connectionShouldUseCredentialStorage(const Connection& connection) override;
  std::shared_ptr<NSURLRequest> connectionWillSendRequest(const Connection& connection,
                                                          const std::shared_ptr<NSURLRequest>& request,
                                                          const std::shared_ptr<NSURLResponse>& redirectResponse) override;
  void connectionDidSendBodyData(const Connection& connection, NSInteger bytesWritten, NSInteger totalBytesWritten,
                                 NSInteger totalBytesExpectedToWrite) override;
  void connectionDidReceiveResponse(const Connection& connection, const std::shared_ptr<NSURLResponse>& response) override;
  void connectionDidReceiveData(const Connection& connection, const std::shared_ptr<NSData>& data) override;
  void connectionDidFinishLoading(const Connection& connection) override;
  void connectionDidFailWithError(const Connection& connection, const std::shared_ptr<NSError>& error) override;
  std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(const Connection& connection,
                                                                   const std::shared_ptr<NSCachedURLResponse>& cachedResponse) override;

 protected:
  std::shared_ptr<NWURLConnectionOperation> selfOperation() {
    return std::static_pointer_cast<NWURLConnectionOperation>(shared_from_this());
  }
  void setRequest(const std::shared_ptr<NSURLRequest>& request);
  void setResponseData(const std::shared_ptr<NSData>& data);
  // For copies: the blocks, the completion queue and group.
  void copyBlocksInto(NWURLConnectionOperation& other) const;
  // Called on the network thread when a response arrives, before it is stored; the HTTP
  // operation checks a resumed download there. Returning an error fails the operation.
  virtual std::shared_ptr<NSError> checkResponse(const std::shared_ptr<NSURLResponse>& response);
  // Replaces the default in-memory output stream by a fresh one (a resumed download whose reply
  // starts over).
  bool resetOutputStream();
  // Makes the completion block one that only hands work on (the HTTP operation's delivery of
  // its result): deliverResult() runs once, on the thread that finishes the operation, once the
  // finish notification is queued, rather than going through the completion queue first (it
  // enters the completion group itself). Setting a completion block afterwards drops the delivery (and calls
  // resultDeliveryDropped, under the lock).
  void setDeliversResult();
  // The same for a constructor, before anyone else can see the operation (no lock is taken).
  void initDeliversResult() {
    delivers_ = true;
    initHandOffCompletionCall();
  }
  virtual void deliverResult();
  virtual void resultDeliveryDropped();

  mutable std::recursive_mutex lock_;
  // The fields as they are, for a subclass that holds lock_ already.
  const std::shared_ptr<NSURLResponse>& responseLocked() const { return response_; }
  const std::shared_ptr<NSData>& responseDataLocked() const { return responseData_; }
  const std::shared_ptr<NSError>& errorLocked() const { return error_; }
  const dispatch_queue_t& completionQueueLocked() const { return completionQueue_; }
  const dispatch_group_t& completionGroupLocked() const { return completionGroup_; }

 private:
  bool setState(NSInteger state);  // under lock_
  [[gnu::noinline]] void announceState(NSInteger old, NSInteger state);
  void operationDidStart();
  // The completion of an operation that delivers a result (see setDeliversResult).
  void handOffCompletion() override;
  void runDelivery();
  void operationDidPause();
  void cancelConnection();
  void finish();
  void failWhileReceiving(const Connection& connection, const std::shared_ptr<NSError>& error);
  bool isCurrentConnection(const Connection& connection) const;
  bool isCurrentConnectionLocked(const Connection& connection) const {  // under lock_
    return connection && connection == connection_ && !isPaused();
  }
  const std::shared_ptr<NSOutputStream>& outputStreamLocked();  // under lock_
  // The modes for a perform on the network thread (under lock_): none means the common modes,
  // so the usual set costs no copies.
  std::vector<std::string> modesVectorLocked() const {
    if (commonModesOnly_) [[likely]] return {};
    return otherModesVector();
  }
  std::vector<std::string> otherModesVector() const;
  // The network thread, as a reference to the one kept for good.
  static const std::shared_ptr<NSThread>& networkThread();

  std::atomic<NSInteger> state_{kReady};
  bool delivers_ = false;         // see setDeliversResult
  bool deliveryPending_ = false;  // the delivery waits for finish() to queue its notification
  // The usual modes, the common set alone, are a flag: no other modes are kept then.
  bool commonModesOnly_ = true;
  std::shared_ptr<NSURLRequest> request_;
  std::shared_ptr<NSURLResponse> response_;
  std::shared_ptr<NSError> error_;
  std::shared_ptr<NSData> responseData_;
  bool shouldUseCredentialStorage_ = true;
  std::shared_ptr<NWSecurityPolicy> securityPolicy_;
  std::shared_ptr<NSOutputStream> outputStream_;
  bool outputStreamIsDefault_ = false;
  dispatch_queue_t completionQueue_;
  dispatch_group_t completionGroup_;
  std::shared_ptr<NSURLConnection> connection_;
  std::atomic<int64_t> totalBytesRead_{0};
  std::shared_ptr<ProgressBlock> uploadProgress_;
  std::shared_ptr<ProgressBlock> downloadProgress_;
  // What few operations use, made when first set (guarded by lock_): the usual operation
  // neither makes nor destroys it.
  struct Extras {
    std::set<std::string> runLoopModes;  // empty with commonModesOnly_
    std::shared_ptr<NSString> responseString;
    NSStringEncoding responseStringEncoding = 0;
    std::shared_ptr<NSURLCredential> credential;
    std::shared_ptr<NSDictionary> userInfo;
    // Taken from connection_ by a pause until the network thread cancels it.
    std::shared_ptr<NSURLConnection> pausedConnection;
    std::function<void()> backgroundTaskCleanup;
    UIBackgroundTaskIdentifier backgroundTaskIdentifier = UIBackgroundTaskInvalid;
    AuthenticationChallengeBlock authenticationChallenge;
    CacheResponseBlock cacheResponse;
    RedirectResponseBlock redirectResponse;
  };
  Extras& extras() {
    if (!extras_) extras_ = std::make_unique<Extras>();
    return *extras_;
  }
  std::unique_ptr<Extras> extras_;
};
