// The session manager: owns one URL session, is its delegate for every session, task, data and
// download event, and keeps one task delegate per task that collects the body, keeps an
// NSProgress and, when the task ends, runs the response serializer and calls the caller's
// completion handler on the completion queue inside the completion group. Optional blocks
// override each delegate decision; life-cycle events are also posted as notifications.
//
// The session holds the manager until the session is invalidated:
// invalidateSessionCancelingTasks is the way to end a manager.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "foundation/http/NWNetworkReachabilityManager.h"
#include "foundation/http/NWSecurityPolicy.h"
#include "foundation/http/NWURLResponseSerialization.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSProgress.h"
#include "platform/network/NSURLSession.h"

// Posted by URL-session tasks themselves once _NWURLSessionTaskSwizzling::load() has run.
inline const zvt::StaticString NWNSURLSessionTaskDidResumeNotification{"com.netway.networking.nsurlsessiontask.resume"};
inline const zvt::StaticString NWNSURLSessionTaskDidSuspendNotification{"com.netway.networking.nsurlsessiontask.suspend"};
// Posted by a manager for its own tasks, on the main queue.
inline const zvt::StaticString NWNetworkingTaskDidResumeNotification{"com.netway.networking.task.resume"};
inline const zvt::StaticString NWNetworkingTaskDidSuspendNotification{"com.netway.networking.task.suspend"};
inline const zvt::StaticString NWNetworkingTaskDidCompleteNotification{"com.netway.networking.task.complete"};
inline const zvt::StaticString NWURLSessionDidInvalidateNotification{"com.netway.networking.session.invalidate"};
inline const zvt::StaticString NWURLSessionDownloadTaskDidFailToMoveFileNotification{
    "com.netway.networking.session.download.file-manager-error"};

// Keys of the completion notification's user info.
inline const zvt::StaticString NWNetworkingTaskDidCompleteResponseSerializerKey{"com.netway.networking.task.complete.responseserializer"};
inline const zvt::StaticString NWNetworkingTaskDidCompleteAssetPathKey{"com.netway.networking.task.complete.assetpath"};
inline const zvt::StaticString NWNetworkingTaskDidCompleteResponseDataKey{"com.netway.networking.complete.finish.responsedata"};
inline const zvt::StaticString NWNetworkingTaskDidCompleteSerializedResponseKey{"com.netway.networking.task.complete.serializedresponse"};
inline const zvt::StaticString NWNetworkingTaskDidCompleteErrorKey{"com.netway.networking.task.complete.error"};

// Makes URL-session tasks post the two "nsurlsessiontask" notifications when a resume or a
// suspend really changes their state. Called once at start-up, before anything creates a task.
class _NWURLSessionTaskSwizzling {
 public:
  static void load();
};

class NWURLSessionManager;

class NWURLSessionManagerTaskDelegate : public NSObject {
 public:
  using CompletionHandler = std::function<void(const std::shared_ptr<NSURLResponse>&, const id&, const std::shared_ptr<NSError>&)>;
  using DestinationBlock = std::function<std::shared_ptr<NSURL>(const std::shared_ptr<NSURLSession>&,
                                                                 const std::shared_ptr<NSURLSessionDownloadTask>&,
                                                                 const std::shared_ptr<NSURL>&)>;

  NWURLSessionManagerTaskDelegate();

  std::weak_ptr<NWURLSessionManager> manager;
  std::shared_ptr<NSProgress> progress;
  CompletionHandler completionHandler;
  DestinationBlock downloadTaskDidFinishDownloading;

  std::shared_ptr<NSURL> downloadFileURL() const;
  void setDownloadFileURL(const std::shared_ptr<NSURL>& url);
  // A failed move of the downloaded file, reported to the completion handler.
  void setDownloadMoveError(const std::shared_ptr<NSError>& error);

  void didSendBodyData(int64_t totalBytesSent, int64_t totalBytesExpected);
  void didReceiveData(const std::shared_ptr<NSData>& data);
  void didWriteData(int64_t totalBytesWritten, int64_t totalBytesExpected);
  void didResumeAtOffset(int64_t fileOffset, int64_t expectedTotalBytes);
  void didFinishDownloadingToURL(const std::shared_ptr<NSURLSession>& session, const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                 const std::shared_ptr<NSURL>& location);
  void didCompleteWithError(const std::shared_ptr<NSURLSession>& session, const std::shared_ptr<NSURLSessionTask>& task,
                            const std::shared_ptr<NSError>& error);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<NSMutableData> mutableData_;
  std::shared_ptr<NSURL> downloadFileURL_;
  std::shared_ptr<NSError> moveError_;
};

class NWURLSessionManager : public NSObject, public NSURLSessionDelegate, public NSCoding {
 public:
  using CompletionHandler = NWURLSessionManagerTaskDelegate::CompletionHandler;
  using DestinationBlock =
      std::function<std::shared_ptr<NSURL>(const std::shared_ptr<NSURL>& targetPath, const std::shared_ptr<NSURLResponse>& response)>;
  using Session = std::shared_ptr<NSURLSession>;
  using Task = std::shared_ptr<NSURLSessionTask>;
  using DataTask = std::shared_ptr<NSURLSessionDataTask>;
  using DownloadTask = std::shared_ptr<NSURLSessionDownloadTask>;

  NWURLSessionManager();
  ~NWURLSessionManager() override;

  // -init and -initWithSessionConfiguration: (nil means the default configuration).
  static std::shared_ptr<NWURLSessionManager> make() { return initWithSessionConfiguration(nullptr); }
  static std::shared_ptr<NWURLSessionManager> initWithSessionConfiguration(const std::shared_ptr<NSURLSessionConfiguration>& configuration);
  // The set-up of initWithSessionConfiguration on an object made with make_shared (subclasses).
  void setUpWithSessionConfiguration(const std::shared_ptr<NSURLSessionConfiguration>& configuration);

  std::shared_ptr<NSURLSession> session() const { return session_; }
  std::shared_ptr<NSOperationQueue> operationQueue() const { return operationQueue_; }
  std::shared_ptr<NSURLSessionConfiguration> sessionConfiguration() const { return sessionConfiguration_; }
  std::shared_ptr<NWHTTPResponseSerializer> responseSerializer() const;
  virtual void setResponseSerializer(const std::shared_ptr<NWHTTPResponseSerializer>& serializer);
  std::shared_ptr<NWSecurityPolicy> securityPolicy() const { return securityPolicy_; }
  void setSecurityPolicy(const std::shared_ptr<NWSecurityPolicy>& policy) { securityPolicy_ = policy; }
  std::shared_ptr<NWNetworkReachabilityManager> reachabilityManager() const { return reachabilityManager_; }
  void setReachabilityManager(const std::shared_ptr<NWNetworkReachabilityManager>& manager) { reachabilityManager_ = manager; }
  dispatch_queue_t completionQueue() const { return completionQueue_; }
  void setCompletionQueue(const dispatch_queue_t& queue) { completionQueue_ = queue; }
  dispatch_group_t completionGroup() const { return completionGroup_; }
  void setCompletionGroup(const dispatch_group_t& group) { completionGroup_ = group; }
  bool attemptsToRecreateUploadTasksForBackgroundSessions() const { return attemptsToRecreateUploadTasks_; }
  void setAttemptsToRecreateUploadTasksForBackgroundSessions(bool attempts) { attemptsToRecreateUploadTasks_ = attempts; }

  // The session's tasks; they block until the session answers, so never ask them on the
  // operation queue.
  std::shared_ptr<NSArray> tasks() const { return tasksForKey(0); }
  std::shared_ptr<NSArray> dataTasks() const { return tasksForKey(1); }
  std::shared_ptr<NSArray> uploadTasks() const { return tasksForKey(2); }
  std::shared_ptr<NSArray> downloadTasks() const { return tasksForKey(3); }
  // "%p" of the manager: every task it creates or adopts carries it as its description.
  std::shared_ptr<NSString> taskDescriptionForSessionTasks() const;

  void invalidateSessionCancelingTasks(bool cancelPendingTasks);

  // Tasks, not resumed. `progress` (may be null) receives the task delegate's progress.
  DataTask dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request, CompletionHandler completionHandler);
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                const std::shared_ptr<NSURL>& fileURL,
                                                                std::shared_ptr<NSProgress>* progress, CompletionHandler completionHandler);
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                const std::shared_ptr<NSData>& bodyData,
                                                                std::shared_ptr<NSProgress>* progress, CompletionHandler completionHandler);
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithStreamedRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                        std::shared_ptr<NSProgress>* progress,
                                                                        CompletionHandler completionHandler);
  DownloadTask downloadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request, std::shared_ptr<NSProgress>* progress,
                                       DestinationBlock destination, CompletionHandler completionHandler);
  DownloadTask downloadTaskWithResumeData(const std::shared_ptr<NSData>& resumeData, std::shared_ptr<NSProgress>* progress,
                                          DestinationBlock destination, CompletionHandler completionHandler);

  std::shared_ptr<NSProgress> uploadProgressForTask(const Task& task) const;
  std::shared_ptr<NSProgress> downloadProgressForTask(const Task& task) const;

  // The task-delegate dictionary, under `lock`.
  void setDelegateForTask(const std::shared_ptr<NWURLSessionManagerTaskDelegate>& delegate, const Task& task);
  std::shared_ptr<NWURLSessionManagerTaskDelegate> delegateForTask(const Task& task) const;
  void removeDelegateForTask(const Task& task);
  void removeAllDelegates();
  // A copy of the dictionary (task identifier number -> task delegate).
  std::shared_ptr<NSDictionary> mutableTaskDelegatesKeyedByTaskIdentifier() const;

  // Block hooks.
  void setSessionDidBecomeInvalidBlock(std::function<void(const Session&, const std::shared_ptr<NSError>&)> block);
  void setSessionDidReceiveAuthenticationChallengeBlock(
      std::function<NSURLSessionAuthChallengeDisposition(const Session&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                         std::shared_ptr<NSURLCredential>*)>
          block);
  void setDidFinishEventsForBackgroundURLSessionBlock(std::function<void(const Session&)> block);
  void setTaskWillPerformHTTPRedirectionBlock(
      std::function<std::shared_ptr<NSURLRequest>(const Session&, const Task&, const std::shared_ptr<NSURLResponse>&,
                                                  const std::shared_ptr<NSURLRequest>&)>
          block);
  void setTaskDidReceiveAuthenticationChallengeBlock(
      std::function<NSURLSessionAuthChallengeDisposition(const Session&, const Task&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                         std::shared_ptr<NSURLCredential>*)>
          block);
  void setTaskNeedNewBodyStreamBlock(std::function<std::shared_ptr<NSInputStream>(const Session&, const Task&)> block);
  void setTaskDidSendBodyDataBlock(std::function<void(const Session&, const Task&, int64_t, int64_t, int64_t)> block);
  void setTaskDidCompleteBlock(std::function<void(const Session&, const Task&, const std::shared_ptr<NSError>&)> block);
  void setDataTaskDidReceiveResponseBlock(
      std::function<NSURLSessionResponseDisposition(const Session&, const DataTask&, const std::shared_ptr<NSURLResponse>&)> block);
  void setDataTaskDidBecomeDownloadTaskBlock(std::function<void(const Session&, const DataTask&, const DownloadTask&)> block);
  void setDataTaskDidReceiveDataBlock(std::function<void(const Session&, const DataTask&, const std::shared_ptr<NSData>&)> block);
  void setDataTaskWillCacheResponseBlock(
      std::function<std::shared_ptr<NSCachedURLResponse>(const Session&, const DataTask&, const std::shared_ptr<NSCachedURLResponse>&)>
          block);
  void setDownloadTaskDidFinishDownloadingBlock(
      std::function<std::shared_ptr<NSURL>(const Session&, const DownloadTask&, const std::shared_ptr<NSURL>&)> block);
  void setDownloadTaskDidWriteDataBlock(std::function<void(const Session&, const DownloadTask&, int64_t, int64_t, int64_t)> block);
  void setDownloadTaskDidResumeBlock(std::function<void(const Session&, const DownloadTask&, int64_t, int64_t)> block);

  // -respondsToSelector: for the session: the four optional methods that change its default
  // behaviour answer whether their block is set.
  bool respondsToSelector(std::string_view selector) const override;

  // Session delegate.
  void URLSessionDidBecomeInvalidWithError(const Session& session, const std::shared_ptr<NSError>& error) override;
  void URLSessionDidReceiveChallenge(const Session& session, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                     const ChallengeHandler& completionHandler) override;
  void URLSessionDidFinishEventsForBackgroundURLSession(const Session& session) override;
  void URLSessionTaskWillPerformHTTPRedirection(const Session& session, const Task& task, const std::shared_ptr<NSHTTPURLResponse>& response,
                                                const std::shared_ptr<NSURLRequest>& request,
                                                const std::function<void(const std::shared_ptr<NSURLRequest>&)>& completionHandler) override;
  void URLSessionTaskDidReceiveChallenge(const Session& session, const Task& task,
                                         const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                         const ChallengeHandler& completionHandler) override;
  void URLSessionTaskNeedNewBodyStream(const Session& session, const Task& task,
                                       const std::function<void(const std::shared_ptr<NSInputStream>&)>& completionHandler) override;
  void URLSessionTaskDidSendBodyData(const Session& session, const Task& task, int64_t bytesSent, int64_t totalBytesSent,
                                     int64_t totalBytesExpectedToSend) override;
  void URLSessionTaskDidCompleteWithError(const Session& session, const Task& task, const std::shared_ptr<NSError>& error) override;
  void URLSessionDataTaskDidReceiveResponse(const Session& session, const DataTask& dataTask, const std::shared_ptr<NSURLResponse>& response,
                                            const std::function<void(NSURLSessionResponseDisposition)>& completionHandler) override;
  void URLSessionDataTaskDidBecomeDownloadTask(const Session& session, const DataTask& dataTask, const DownloadTask& downloadTask) override;
  void URLSessionDataTaskDidReceiveData(const Session& session, const DataTask& dataTask, const std::shared_ptr<NSData>& data) override;
  void URLSessionDataTaskWillCacheResponse(const Session& session, const DataTask& dataTask,
                                           const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
                                           const std::function<void(const std::shared_ptr<NSCachedURLResponse>&)>& completionHandler) override;
  void URLSessionDownloadTaskDidFinishDownloadingToURL(const Session& session, const DownloadTask& downloadTask,
                                                       const std::shared_ptr<NSURL>& location) override;
  void URLSessionDownloadTaskDidWriteData(const Session& session, const DownloadTask& downloadTask, int64_t bytesWritten,
                                          int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override;
  void URLSessionDownloadTaskDidResumeAtOffset(const Session& session, const DownloadTask& downloadTask, int64_t fileOffset,
                                               int64_t expectedTotalBytes) override;

  std::shared_ptr<NSString> description() const override;
  void encodeWithCoder(NSCoder& coder) const override;
  static std::shared_ptr<NWURLSessionManager> initWithCoder(NSCoder& coder);
  static bool supportsSecureCoding() { return true; }
  id copyWithZone() const override;

  // The file move of a finished download; a failure is posted and kept for the completion.
  static void moveDownloadedFile(const DownloadTask& task, const std::shared_ptr<NSURL>& location, const std::shared_ptr<NSURL>& destination,
                                 const std::shared_ptr<NWURLSessionManagerTaskDelegate>& delegate);

 protected:
  std::shared_ptr<NWURLSessionManager> selfManager() const {
    return std::static_pointer_cast<NWURLSessionManager>(std::const_pointer_cast<NSObject>(shared_from_this()));
  }

 private:
  std::shared_ptr<NSArray> tasksForKey(int which) const;
  void taskDidResume(const std::shared_ptr<NSNotification>& notification);
  void taskDidSuspend(const std::shared_ptr<NSNotification>& notification);
  std::shared_ptr<NWURLSessionManagerTaskDelegate> addDelegateForTask(const Task& task, CompletionHandler completionHandler);
  void addDelegateForUploadTask(const std::shared_ptr<NSURLSessionUploadTask>& task, std::shared_ptr<NSProgress>* progress,
                                CompletionHandler completionHandler);
  void addDelegateForDownloadTask(const DownloadTask& task, std::shared_ptr<NSProgress>* progress, DestinationBlock destination,
                                  CompletionHandler completionHandler);

  std::shared_ptr<NSURLSessionConfiguration> sessionConfiguration_;
  std::shared_ptr<NSOperationQueue> operationQueue_;
  std::shared_ptr<NSURLSession> session_;
  mutable std::mutex serializerMutex_;
  std::shared_ptr<NWHTTPResponseSerializer> responseSerializer_;
  std::shared_ptr<NWSecurityPolicy> securityPolicy_;
  std::shared_ptr<NWNetworkReachabilityManager> reachabilityManager_;
  dispatch_queue_t completionQueue_;
  dispatch_group_t completionGroup_;
  bool attemptsToRecreateUploadTasks_ = false;
  mutable std::mutex lock_;  // "com.netway.networking.session.manager.lock"
  std::map<NSUInteger, std::shared_ptr<NWURLSessionManagerTaskDelegate>> taskDelegates_;

  std::function<void(const Session&, const std::shared_ptr<NSError>&)> sessionDidBecomeInvalid_;
  std::function<NSURLSessionAuthChallengeDisposition(const Session&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                     std::shared_ptr<NSURLCredential>*)>
      sessionDidReceiveAuthenticationChallenge_;
  std::function<void(const Session&)> didFinishEventsForBackgroundURLSession_;
  std::function<std::shared_ptr<NSURLRequest>(const Session&, const Task&, const std::shared_ptr<NSURLResponse>&,
                                              const std::shared_ptr<NSURLRequest>&)>
      taskWillPerformHTTPRedirection_;
  std::function<NSURLSessionAuthChallengeDisposition(const Session&, const Task&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                     std::shared_ptr<NSURLCredential>*)>
      taskDidReceiveAuthenticationChallenge_;
  std::function<std::shared_ptr<NSInputStream>(const Session&, const Task&)> taskNeedNewBodyStream_;
  std::function<void(const Session&, const Task&, int64_t, int64_t, int64_t)> taskDidSendBodyData_;
  std::function<void(const Session&, const Task&, const std::shared_ptr<NSError>&)> taskDidComplete_;
  std::function<NSURLSessionResponseDisposition(const Session&, const DataTask&, const std::shared_ptr<NSURLResponse>&)>
      dataTaskDidReceiveResponse_;
  std::function<void(const Session&, const DataTask&, const DownloadTask&)> dataTaskDidBecomeDownloadTask_;
  std::function<void(const Session&, const DataTask&, const std::shared_ptr<NSData>&)> dataTaskDidReceiveData_;
  std::function<std::shared_ptr<NSCachedURLResponse>(const Session&, const DataTask&, const std::shared_ptr<NSCachedURLResponse>&)>
      dataTaskWillCacheResponse_;
  std::function<std::shared_ptr<NSURL>(const Session&, const DownloadTask&, const std::shared_ptr<NSURL>&)>
      downloadTaskDidFinishDownloading_;
  std::function<void(const Session&, const DownloadTask&, int64_t, int64_t, int64_t)> downloadTaskDidWriteData_;
  std::function<void(const Session&, const DownloadTask&, int64_t, int64_t)> downloadTaskDidResume_;
};
