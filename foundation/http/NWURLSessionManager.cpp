#include "foundation/http/NWURLSessionManager.h"

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNumber.h"

#include <mutex>

namespace {

// The process-wide queues and group are never destroyed: a task made or finishing on another
// thread while the process exits still finds them.
dispatch_queue_t taskCreationQueue() {
  static const auto* queue = new dispatch_queue_t(dispatch_queue_create("com.netway.networking.session.manager.creation", nullptr));
  return *queue;
}

dispatch_queue_t processingQueue() {
  static const auto* queue =
      new dispatch_queue_t(dispatch_queue_create("com.netway.networking.session.manager.processing", DISPATCH_QUEUE_CONCURRENT));
  return *queue;
}

dispatch_group_t completionGroupDefault() {
  static const auto* group = new dispatch_group_t(dispatch_group_create());
  return *group;
}

void postOnMainQueue(const NSNotificationName& name, const id& object, const std::shared_ptr<NSDictionary>& userInfo = nullptr) {
  dispatch_async(dispatch_get_main_queue(),
                 [name, object, userInfo] { NSNotificationCenter::defaultCenter()->postNotificationName(name, object, userInfo); });
}

// What the progress of an upload counts to: the session's expectation, else the request's
// declared Content-Length, else unknown.
int64_t expectedUploadTotal(const std::shared_ptr<NSURLSessionTask>& task, int64_t expected) {
  if (expected != NSURLSessionTransferSizeUnknown) return expected;
  auto request = task->originalRequest();
  auto length = request ? request->valueForHTTPHeaderField("Content-Length") : nullptr;
  return length ? length->longLongValue() : NSURLSessionTransferSizeUnknown;
}

}  // namespace

// ---- resume and suspend notifications of tasks

void _NWURLSessionTaskSwizzling::load() {
  zvt::installSessionTaskStateHooks(
      [](const std::shared_ptr<NSURLSessionTask>& task) {
        NSNotificationCenter::defaultCenter()->postNotificationName(NWNSURLSessionTaskDidResumeNotification, task);
      },
      [](const std::shared_ptr<NSURLSessionTask>& task) {
        NSNotificationCenter::defaultCenter()->postNotificationName(NWNSURLSessionTaskDidSuspendNotification, task);
      });
}

// ---- task delegate

NWURLSessionManagerTaskDelegate::NWURLSessionManagerTaskDelegate()
    : progress(NSProgress::progressWithTotalUnitCount(0)), mutableData_(NSMutableData::data()) {}

std::shared_ptr<NSURL> NWURLSessionManagerTaskDelegate::downloadFileURL() const {
  std::lock_guard lock(mutex_);
  return downloadFileURL_;
}

void NWURLSessionManagerTaskDelegate::setDownloadFileURL(const std::shared_ptr<NSURL>& url) {
  std::lock_guard lock(mutex_);
  downloadFileURL_ = url ? std::static_pointer_cast<NSURL>(url->copy()) : nullptr;
}

void NWURLSessionManagerTaskDelegate::setDownloadMoveError(const std::shared_ptr<NSError>& error) {
  std::lock_guard lock(mutex_);
  moveError_ = error;
}

void NWURLSessionManagerTaskDelegate::didSendBodyData(int64_t totalBytesSent, int64_t totalBytesExpected) {
  progress->setTotalUnitCount(totalBytesExpected);
  progress->setCompletedUnitCount(totalBytesSent);
}

void NWURLSessionManagerTaskDelegate::didReceiveData(const std::shared_ptr<NSData>& data) {
  std::lock_guard lock(mutex_);
  if (mutableData_) mutableData_->appendData(data);
}

void NWURLSessionManagerTaskDelegate::didWriteData(int64_t totalBytesWritten, int64_t totalBytesExpected) {
  progress->setTotalUnitCount(totalBytesExpected);
  progress->setCompletedUnitCount(totalBytesWritten);
}

void NWURLSessionManagerTaskDelegate::didResumeAtOffset(int64_t fileOffset, int64_t expectedTotalBytes) {
  progress->setTotalUnitCount(expectedTotalBytes);
  progress->setCompletedUnitCount(fileOffset);
}

void NWURLSessionManagerTaskDelegate::didFinishDownloadingToURL(const std::shared_ptr<NSURLSession>& session,
                                                                const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                                                const std::shared_ptr<NSURL>& location) {
  setDownloadFileURL(nullptr);
  if (!downloadTaskDidFinishDownloading) return;
  auto destination = downloadTaskDidFinishDownloading(session, task, location);
  setDownloadFileURL(destination);
  if (destination) {
    auto self = std::static_pointer_cast<NWURLSessionManagerTaskDelegate>(shared_from_this());
    NWURLSessionManager::moveDownloadedFile(task, location, destination, self);
  }
}

void NWURLSessionManagerTaskDelegate::didCompleteWithError(const std::shared_ptr<NSURLSession>&, const std::shared_ptr<NSURLSessionTask>& task,
                                                           const std::shared_ptr<NSError>& taskError) {
  auto owner = manager.lock();
  auto serializer = owner ? owner->responseSerializer() : nullptr;
  auto userInfo = NSMutableDictionary::dictionary();
  if (serializer) userInfo->setObject(serializer, NWNetworkingTaskDidCompleteResponseSerializerKey);

  std::shared_ptr<NSData> data;
  std::shared_ptr<NSURL> fileURL;
  std::shared_ptr<NSError> error = taskError;
  {
    std::lock_guard lock(mutex_);
    if (mutableData_) data = NSData::dataWithData(mutableData_);
    // The buffer is not needed any more.
    mutableData_.reset();
    fileURL = downloadFileURL_;
    // A download that could not be put where the caller wanted it has failed for the caller.
    if (!error && moveError_) error = moveError_;
  }
  if (fileURL) {
    userInfo->setObject(fileURL, NWNetworkingTaskDidCompleteAssetPathKey);
  } else if (data) {
    userInfo->setObject(data, NWNetworkingTaskDidCompleteResponseDataKey);
  }

  dispatch_queue_t queue = owner && owner->completionQueue() ? owner->completionQueue() : dispatch_get_main_queue();
  dispatch_group_t group = owner && owner->completionGroup() ? owner->completionGroup() : completionGroupDefault();
  CompletionHandler handler = completionHandler;
  auto response = task->response();

  if (error) {
    userInfo->setObject(error, NWNetworkingTaskDidCompleteErrorKey);
    auto info = userInfo->copy();
    dispatch_group_async(group, queue, [handler, response, error, task, info] {
      if (handler) handler(response, nullptr, error);
      postOnMainQueue(NWNetworkingTaskDidCompleteNotification, task, info);
    });
    return;
  }
  dispatch_async(processingQueue(), [handler, response, data, fileURL, serializer, userInfo, queue, group, task] {
    std::shared_ptr<NSError> serializationError;
    id responseObject = serializer ? serializer->responseObjectForResponse(response, data, &serializationError) : id(data);
    if (fileURL) responseObject = fileURL;
    if (responseObject) userInfo->setObject(responseObject, NWNetworkingTaskDidCompleteSerializedResponseKey);
    if (serializationError) userInfo->setObject(serializationError, NWNetworkingTaskDidCompleteErrorKey);
    auto info = userInfo->copy();
    dispatch_group_async(group, queue, [handler, response, responseObject, serializationError, task, info] {
      if (handler) handler(response, responseObject, serializationError);
      postOnMainQueue(NWNetworkingTaskDidCompleteNotification, task, info);
    });
  });
}

// ---- manager

NWURLSessionManager::NWURLSessionManager() = default;

// The notification center holds its observers weakly: the manager's observations end with it.
NWURLSessionManager::~NWURLSessionManager() = default;

std::shared_ptr<NWURLSessionManager> NWURLSessionManager::initWithSessionConfiguration(
    const std::shared_ptr<NSURLSessionConfiguration>& configuration) {
  auto manager = std::make_shared<NWURLSessionManager>();
  manager->setUpWithSessionConfiguration(configuration);
  return manager;
}

void NWURLSessionManager::setUpWithSessionConfiguration(const std::shared_ptr<NSURLSessionConfiguration>& configuration) {
  // The task hooks go in before the first manager listens for them, once per process; calling
  // load() earlier (at start-up) is harmless.
  static std::once_flag hooksInstalled;
  std::call_once(hooksInstalled, [] { _NWURLSessionTaskSwizzling::load(); });

  sessionConfiguration_ = configuration ? configuration : NSURLSessionConfiguration::defaultSessionConfiguration();
  operationQueue_ = NSOperationQueue::make();
  operationQueue_->setMaxConcurrentOperationCount(1);
  auto self = selfManager();
  session_ = NSURLSession::sessionWithConfiguration(sessionConfiguration_, self, operationQueue_);
  responseSerializer_ = NWJSONResponseSerializer::serializer();
  securityPolicy_ = NWSecurityPolicy::defaultPolicy();
  reachabilityManager_ = NWNetworkReachabilityManager::sharedManager();

  // Tasks the session already has (a background session made again) are adopted as they are.
  std::weak_ptr<NWURLSessionManager> weak = self;
  session_->getTasksWithCompletionHandler([weak](const auto& dataTasks, const auto& uploadTasks, const auto& downloadTasks) {
    auto manager = weak.lock();
    if (!manager) return;
    for (const id& object : *dataTasks) {
      if (auto task = zvt::as<NSURLSessionDataTask>(object)) manager->addDelegateForTask(task, nullptr);
    }
    for (const id& object : *uploadTasks) {
      if (auto task = zvt::as<NSURLSessionUploadTask>(object)) manager->addDelegateForUploadTask(task, nullptr, nullptr);
    }
    for (const id& object : *downloadTasks) {
      if (auto task = zvt::as<NSURLSessionDownloadTask>(object)) manager->addDelegateForDownloadTask(task, nullptr, nullptr, nullptr);
    }
  });

  auto center = NSNotificationCenter::defaultCenter();
  center->addObserver(
      self,
      [weak](const std::shared_ptr<NSNotification>& note) {
        if (auto manager = weak.lock()) manager->taskDidResume(note);
      },
      NWNSURLSessionTaskDidResumeNotification, nullptr);
  center->addObserver(
      self,
      [weak](const std::shared_ptr<NSNotification>& note) {
        if (auto manager = weak.lock()) manager->taskDidSuspend(note);
      },
      NWNSURLSessionTaskDidSuspendNotification, nullptr);
}

std::shared_ptr<NWHTTPResponseSerializer> NWURLSessionManager::responseSerializer() const {
  std::lock_guard lock(serializerMutex_);
  return responseSerializer_;
}

void NWURLSessionManager::setResponseSerializer(const std::shared_ptr<NWHTTPResponseSerializer>& serializer) {
  std::lock_guard lock(serializerMutex_);
  responseSerializer_ = serializer;
}

std::shared_ptr<NSString> NWURLSessionManager::taskDescriptionForSessionTasks() const {
  return NSString::stringWithFormat("%p", static_cast<const void*>(this));
}

void NWURLSessionManager::taskDidResume(const std::shared_ptr<NSNotification>& notification) {
  auto task = zvt::as<NSURLSessionTask>(notification->object());
  if (task && zvt::objectsEqual(task->taskDescription(), taskDescriptionForSessionTasks())) {
    postOnMainQueue(NWNetworkingTaskDidResumeNotification, task);
  }
}

void NWURLSessionManager::taskDidSuspend(const std::shared_ptr<NSNotification>& notification) {
  auto task = zvt::as<NSURLSessionTask>(notification->object());
  if (task && zvt::objectsEqual(task->taskDescription(), taskDescriptionForSessionTasks())) {
    postOnMainQueue(NWNetworkingTaskDidSuspendNotification, task);
  }
}

void NWURLSessionManager::invalidateSessionCancelingTasks(bool cancelPendingTasks) {
  auto session = session_;
  dispatch_async(dispatch_get_main_queue(), [session, cancelPendingTasks] {
    if (cancelPendingTasks) {
      session->invalidateAndCancel();
    } else {
      session->finishTasksAndInvalidate();
    }
  });
}

std::shared_ptr<NSArray> NWURLSessionManager::tasksForKey(int which) const {
  auto result = std::make_shared<std::shared_ptr<NSArray>>();
  auto semaphore = dispatch_semaphore_create(0);
  session_->getTasksWithCompletionHandler([result, semaphore, which](const auto& dataTasks, const auto& uploadTasks, const auto& downloadTasks) {
    switch (which) {
      case 1:
        *result = dataTasks;
        break;
      case 2:
        *result = uploadTasks;
        break;
      case 3:
        *result = downloadTasks;
        break;
      default: {
        auto all = NSMutableArray::arrayWithArray(dataTasks);
        all->addObjectsFromArray(uploadTasks);
        all->addObjectsFromArray(downloadTasks);
        *result = all->copy();
        break;
      }
    }
    dispatch_semaphore_signal(semaphore);
  });
  dispatch_semaphore_wait(semaphore, DISPATCH_TIME_FOREVER);
  return *result;
}

// ---- delegate dictionary

void NWURLSessionManager::setDelegateForTask(const std::shared_ptr<NWURLSessionManagerTaskDelegate>& delegate, const Task& task) {
  if (!delegate || !task) return;
  std::lock_guard lock(lock_);
  taskDelegates_[task->taskIdentifier()] = delegate;
}

std::shared_ptr<NWURLSessionManagerTaskDelegate> NWURLSessionManager::delegateForTask(const Task& task) const {
  if (!task) return nullptr;
  std::lock_guard lock(lock_);
  auto it = taskDelegates_.find(task->taskIdentifier());
  return it == taskDelegates_.end() ? nullptr : it->second;
}

void NWURLSessionManager::removeDelegateForTask(const Task& task) {
  if (!task) return;
  std::lock_guard lock(lock_);
  taskDelegates_.erase(task->taskIdentifier());
}

void NWURLSessionManager::removeAllDelegates() {
  std::lock_guard lock(lock_);
  taskDelegates_.clear();
}

std::shared_ptr<NSDictionary> NWURLSessionManager::mutableTaskDelegatesKeyedByTaskIdentifier() const {
  auto copy = NSMutableDictionary::dictionary();
  std::lock_guard lock(lock_);
  for (const auto& [identifier, delegate] : taskDelegates_) {
    copy->setObject(delegate, NSNumber::numberWithUnsignedLongLong(identifier));
  }
  return copy->copy();
}

// ---- task creation

std::shared_ptr<NWURLSessionManagerTaskDelegate> NWURLSessionManager::addDelegateForTask(const Task& task, CompletionHandler completionHandler) {
  auto delegate = std::make_shared<NWURLSessionManagerTaskDelegate>();
  delegate->manager = selfManager();
  delegate->completionHandler = std::move(completionHandler);
  task->setTaskDescription(taskDescriptionForSessionTasks());
  setDelegateForTask(delegate, task);
  return delegate;
}

void NWURLSessionManager::addDelegateForUploadTask(const std::shared_ptr<NSURLSessionUploadTask>& task, std::shared_ptr<NSProgress>* progress,
                                                   CompletionHandler completionHandler) {
  auto delegate = addDelegateForTask(task, std::move(completionHandler));
  delegate->progress->setTotalUnitCount(expectedUploadTotal(task, task->countOfBytesExpectedToSend()));
  delegate->progress->setCancellable(true);
  delegate->progress->setPausable(true);
  std::weak_ptr<NSURLSessionUploadTask> weak = task;
  delegate->progress->setCancellationHandler([weak] {
    if (auto t = weak.lock()) t->cancel();
  });
  delegate->progress->setPausingHandler([weak] {
    if (auto t = weak.lock()) t->suspend();
  });
  if (progress) *progress = delegate->progress;
}

void NWURLSessionManager::addDelegateForDownloadTask(const DownloadTask& task, std::shared_ptr<NSProgress>* progress,
                                                     DestinationBlock destination, CompletionHandler completionHandler) {
  auto delegate = addDelegateForTask(task, std::move(completionHandler));
  if (destination) {
    delegate->downloadTaskDidFinishDownloading = [destination](const Session&, const DownloadTask& t, const std::shared_ptr<NSURL>& location) {
      return destination(location, t->response());
    };
  }
  if (progress) *progress = delegate->progress;
}

NWURLSessionManager::DataTask NWURLSessionManager::dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                      CompletionHandler completionHandler) {
  DataTask task;
  dispatch_sync(taskCreationQueue(), [&] { task = session_->dataTaskWithRequest(request); });
  if (!task) return nullptr;
  addDelegateForTask(task, std::move(completionHandler));
  return task;
}

std::shared_ptr<NSURLSessionUploadTask> NWURLSessionManager::uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                                   const std::shared_ptr<NSURL>& fileURL,
                                                                                   std::shared_ptr<NSProgress>* progress,
                                                                                   CompletionHandler completionHandler) {
  std::shared_ptr<NSURLSessionUploadTask> task;
  dispatch_sync(taskCreationQueue(), [&] { task = session_->uploadTaskWithRequest(request, fileURL); });
  if (!task && attemptsToRecreateUploadTasks_ && session_->configuration()->identifier()) {
    for (int attempt = 0; !task && attempt < 3; ++attempt) task = session_->uploadTaskWithRequest(request, fileURL);
  }
  if (!task) return nullptr;
  addDelegateForUploadTask(task, progress, std::move(completionHandler));
  return task;
}

std::shared_ptr<NSURLSessionUploadTask> NWURLSessionManager::uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                                   const std::shared_ptr<NSData>& bodyData,
                                                                                   std::shared_ptr<NSProgress>* progress,
                                                                                   CompletionHandler completionHandler) {
  std::shared_ptr<NSURLSessionUploadTask> task;
  dispatch_sync(taskCreationQueue(), [&] { task = session_->uploadTaskWithRequest(request, bodyData); });
  if (!task) return nullptr;
  addDelegateForUploadTask(task, progress, std::move(completionHandler));
  return task;
}

std::shared_ptr<NSURLSessionUploadTask> NWURLSessionManager::uploadTaskWithStreamedRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                                           std::shared_ptr<NSProgress>* progress,
                                                                                           CompletionHandler completionHandler) {
  std::shared_ptr<NSURLSessionUploadTask> task;
  dispatch_sync(taskCreationQueue(), [&] { task = session_->uploadTaskWithStreamedRequest(request); });
  if (!task) return nullptr;
  addDelegateForUploadTask(task, progress, std::move(completionHandler));
  return task;
}

NWURLSessionManager::DownloadTask NWURLSessionManager::downloadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                              std::shared_ptr<NSProgress>* progress,
                                                                              DestinationBlock destination,
                                                                              CompletionHandler completionHandler) {
  DownloadTask task;
  dispatch_sync(taskCreationQueue(), [&] { task = session_->downloadTaskWithRequest(request); });
  if (!task) return nullptr;
  addDelegateForDownloadTask(task, progress, std::move(destination), std::move(completionHandler));
  return task;
}

NWURLSessionManager::DownloadTask NWURLSessionManager::downloadTaskWithResumeData(const std::shared_ptr<NSData>& resumeData,
                                                                                 std::shared_ptr<NSProgress>* progress,
                                                                                 DestinationBlock destination,
                                                                                 CompletionHandler completionHandler) {
  DownloadTask task;
  dispatch_sync(taskCreationQueue(), [&] { task = session_->downloadTaskWithResumeData(resumeData); });
  if (!task) return nullptr;
  addDelegateForDownloadTask(task, progress, std::move(destination), std::move(completionHandler));
  return task;
}

std::shared_ptr<NSProgress> NWURLSessionManager::uploadProgressForTask(const Task& task) const {
  auto delegate = delegateForTask(task);
  return delegate ? delegate->progress : nullptr;
}

std::shared_ptr<NSProgress> NWURLSessionManager::downloadProgressForTask(const Task& task) const {
  auto delegate = delegateForTask(task);
  return delegate ? delegate->progress : nullptr;
}

// ---- block setters

void NWURLSessionManager::setSessionDidBecomeInvalidBlock(std::function<void(const Session&, const std::shared_ptr<NSError>&)> block) {
  sessionDidBecomeInvalid_ = std::move(block);
}
void NWURLSessionManager::setSessionDidReceiveAuthenticationChallengeBlock(
    std::function<NSURLSessionAuthChallengeDisposition(const Session&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                       std::shared_ptr<NSURLCredential>*)>
        block) {
  sessionDidReceiveAuthenticationChallenge_ = std::move(block);
}
void NWURLSessionManager::setDidFinishEventsForBackgroundURLSessionBlock(std::function<void(const Session&)> block) {
  didFinishEventsForBackgroundURLSession_ = std::move(block);
}
void NWURLSessionManager::setTaskWillPerformHTTPRedirectionBlock(
    std::function<std::shared_ptr<NSURLRequest>(const Session&, const Task&, const std::shared_ptr<NSURLResponse>&,
                                                const std::shared_ptr<NSURLRequest>&)>
        block) {
  taskWillPerformHTTPRedirection_ = std::move(block);
}
void NWURLSessionManager::setTaskDidReceiveAuthenticationChallengeBlock(
    std::function<NSURLSessionAuthChallengeDisposition(const Session&, const Task&, const std::shared_ptr<NSURLAuthenticationChallenge>&,
                                                       std::shared_ptr<NSURLCredential>*)>
        block) {
  taskDidReceiveAuthenticationChallenge_ = std::move(block);
}
void NWURLSessionManager::setTaskNeedNewBodyStreamBlock(std::function<std::shared_ptr<NSInputStream>(const Session&, const Task&)> block) {
  taskNeedNewBodyStream_ = std::move(block);
}
void NWURLSessionManager::setTaskDidSendBodyDataBlock(std::function<void(const Session&, const Task&, int64_t, int64_t, int64_t)> block) {
  taskDidSendBodyData_ = std::move(block);
}
void NWURLSessionManager::setTaskDidCompleteBlock(std::function<void(const Session&, const Task&, const std::shared_ptr<NSError>&)> block) {
  taskDidComplete_ = std::move(block);
}
void NWURLSessionManager::setDataTaskDidReceiveResponseBlock(
    std::function<NSURLSessionResponseDisposition(const Session&, const DataTask&, const std::shared_ptr<NSURLResponse>&)> block) {
  dataTaskDidReceiveResponse_ = std::move(block);
}
void NWURLSessionManager::setDataTaskDidBecomeDownloadTaskBlock(std::function<void(const Session&, const DataTask&, const DownloadTask&)> block) {
  dataTaskDidBecomeDownloadTask_ = std::move(block);
}
void NWURLSessionManager::setDataTaskDidReceiveDataBlock(
    std::function<void(const Session&, const DataTask&, const std::shared_ptr<NSData>&)> block) {
  dataTaskDidReceiveData_ = std::move(block);
}
void NWURLSessionManager::setDataTaskWillCacheResponseBlock(
    std::function<std::shared_ptr<NSCachedURLResponse>(const Session&, const DataTask&, const std::shared_ptr<NSCachedURLResponse>&)> block) {
  dataTaskWillCacheResponse_ = std::move(block);
}
void NWURLSessionManager::setDownloadTaskDidFinishDownloadingBlock(
    std::function<std::shared_ptr<NSURL>(const Session&, const DownloadTask&, const std::shared_ptr<NSURL>&)> block) {
  downloadTaskDidFinishDownloading_ = std::move(block);
}
void NWURLSessionManager::setDownloadTaskDidWriteDataBlock(
    std::function<void(const Session&, const DownloadTask&, int64_t, int64_t, int64_t)> block) {
  downloadTaskDidWriteData_ = std::move(block);
}
void NWURLSessionManager::setDownloadTaskDidResumeBlock(std::function<void(const Session&, const DownloadTask&, int64_t, int64_t)> block) {
  downloadTaskDidResume_ = std::move(block);
}

bool NWURLSessionManager::respondsToSelector(std::string_view selector) const {
  if (selector == "URLSession:task:willPerformHTTPRedirection:newRequest:completionHandler:") return bool(taskWillPerformHTTPRedirection_);
  if (selector == "URLSession:dataTask:didReceiveResponse:completionHandler:") return bool(dataTaskDidReceiveResponse_);
  if (selector == "URLSession:dataTask:willCacheResponse:completionHandler:") return bool(dataTaskWillCacheResponse_);
  if (selector == "URLSessionDidFinishEventsForBackgroundURLSession:") return bool(didFinishEventsForBackgroundURLSession_);
  // Every other method of the four protocols is implemented by the manager.
  return true;
}

// ---- session delegate

void NWURLSessionManager::URLSessionDidBecomeInvalidWithError(const Session& session, const std::shared_ptr<NSError>& error) {
  if (sessionDidBecomeInvalid_) sessionDidBecomeInvalid_(session, error);
  removeAllDelegates();
  NSNotificationCenter::defaultCenter()->postNotificationName(NWURLSessionDidInvalidateNotification, session);
}

void NWURLSessionManager::URLSessionDidReceiveChallenge(const Session& session, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                                        const ChallengeHandler& completionHandler) {
  NSURLSessionAuthChallengeDisposition disposition = NSURLSessionAuthChallengePerformDefaultHandling;
  std::shared_ptr<NSURLCredential> credential;
  if (sessionDidReceiveAuthenticationChallenge_) {
    disposition = sessionDidReceiveAuthenticationChallenge_(session, challenge, &credential);
  } else if (zvt::objectsEqual(challenge->protectionSpace()->authenticationMethod(), NSURLAuthenticationMethodServerTrust)) {
    const auto& space = challenge->protectionSpace();
    if (securityPolicy_ && securityPolicy_->evaluateServerTrust(space->serverTrust(), space->host())) {
      credential = NSURLCredential::credentialForTrust(space->serverTrust());
      disposition = credential ? NSURLSessionAuthChallengeUseCredential : NSURLSessionAuthChallengePerformDefaultHandling;
    } else {
      disposition = NSURLSessionAuthChallengeCancelAuthenticationChallenge;
    }
  }
  if (completionHandler) completionHandler(disposition, credential);
}

void NWURLSessionManager::URLSessionDidFinishEventsForBackgroundURLSession(const Session& session) {
  if (!didFinishEventsForBackgroundURLSession_) return;
  auto block = didFinishEventsForBackgroundURLSession_;
  dispatch_async(dispatch_get_main_queue(), [block, session] { block(session); });
}

void NWURLSessionManager::URLSessionTaskWillPerformHTTPRedirection(const Session& session, const Task& task,
                                                                   const std::shared_ptr<NSHTTPURLResponse>& response,
                                                                   const std::shared_ptr<NSURLRequest>& request,
                                                                   const std::function<void(const std::shared_ptr<NSURLRequest>&)>& completionHandler) {
  std::shared_ptr<NSURLRequest> redirect = request;
  if (taskWillPerformHTTPRedirection_) redirect = taskWillPerformHTTPRedirection_(session, task, response, request);
  if (completionHandler) completionHandler(redirect);
}

void NWURLSessionManager::URLSessionTaskDidReceiveChallenge(const Session& session, const Task& task,
                                                            const std::shared_ptr<NSURLAuthenticationChallenge>& challenge,
                                                            const ChallengeHandler& completionHandler) {
  NSURLSessionAuthChallengeDisposition disposition = NSURLSessionAuthChallengePerformDefaultHandling;
  std::shared_ptr<NSURLCredential> credential;
  if (taskDidReceiveAuthenticationChallenge_) {
    disposition = taskDidReceiveAuthenticationChallenge_(session, task, challenge, &credential);
  } else if (zvt::objectsEqual(challenge->protectionSpace()->authenticationMethod(), NSURLAuthenticationMethodServerTrust)) {
    const auto& space = challenge->protectionSpace();
    if (securityPolicy_ && securityPolicy_->evaluateServerTrust(space->serverTrust(), space->host())) {
      disposition = NSURLSessionAuthChallengeUseCredential;
      credential = NSURLCredential::credentialForTrust(space->serverTrust());
    } else {
      disposition = NSURLSessionAuthChallengeCancelAuthenticationChallenge;
    }
  }
  if (completionHandler) completionHandler(disposition, credential);
}

void NWURLSessionManager::URLSessionTaskNeedNewBodyStream(const Session& session, const Task& task,
                                                          const std::function<void(const std::shared_ptr<NSInputStream>&)>& completionHandler) {
  std::shared_ptr<NSInputStream> stream;
  if (taskNeedNewBodyStream_) {
    stream = taskNeedNewBodyStream_(session, task);
  } else if (auto request = task->originalRequest(); request && request->HTTPBodyStream()) {
    // Only a stream that can be copied can be sent again from its start.
    try {
      stream = zvt::as<NSInputStream>(request->HTTPBodyStream()->copy());
    } catch (const NSException&) {
      stream = nullptr;
    }
  }
  if (completionHandler) completionHandler(stream);
}

void NWURLSessionManager::URLSessionTaskDidSendBodyData(const Session& session, const Task& task, int64_t bytesSent, int64_t totalBytesSent,
                                                        int64_t totalBytesExpectedToSend) {
  int64_t totalUnitCount = expectedUploadTotal(task, totalBytesExpectedToSend);
  if (auto delegate = delegateForTask(task)) delegate->didSendBodyData(totalBytesSent, totalUnitCount);
  if (taskDidSendBodyData_) taskDidSendBodyData_(session, task, bytesSent, totalBytesSent, totalUnitCount);
}

void NWURLSessionManager::URLSessionTaskDidCompleteWithError(const Session& session, const Task& task, const std::shared_ptr<NSError>& error) {
  if (auto delegate = delegateForTask(task)) {
    // Out of the table before the completion is handed on: the completion handler, on another
    // thread, may otherwise run while the finished task still counts as pending.
    removeDelegateForTask(task);
    delegate->didCompleteWithError(session, task, error);
  }
  if (taskDidComplete_) taskDidComplete_(session, task, error);
}

void NWURLSessionManager::URLSessionDataTaskDidReceiveResponse(const Session& session, const DataTask& dataTask,
                                                               const std::shared_ptr<NSURLResponse>& response,
                                                               const std::function<void(NSURLSessionResponseDisposition)>& completionHandler) {
  NSURLSessionResponseDisposition disposition = NSURLSessionResponseAllow;
  if (dataTaskDidReceiveResponse_) disposition = dataTaskDidReceiveResponse_(session, dataTask, response);
  if (completionHandler) completionHandler(disposition);
}

void NWURLSessionManager::URLSessionDataTaskDidBecomeDownloadTask(const Session& session, const DataTask& dataTask,
                                                                  const DownloadTask& downloadTask) {
  if (auto delegate = delegateForTask(dataTask)) {
    removeDelegateForTask(dataTask);
    downloadTask->setTaskDescription(taskDescriptionForSessionTasks());
    setDelegateForTask(delegate, downloadTask);
  }
  if (dataTaskDidBecomeDownloadTask_) dataTaskDidBecomeDownloadTask_(session, dataTask, downloadTask);
}

void NWURLSessionManager::URLSessionDataTaskDidReceiveData(const Session& session, const DataTask& dataTask,
                                                           const std::shared_ptr<NSData>& data) {
  if (auto delegate = delegateForTask(dataTask)) delegate->didReceiveData(data);
  if (dataTaskDidReceiveData_) dataTaskDidReceiveData_(session, dataTask, data);
}

void NWURLSessionManager::URLSessionDataTaskWillCacheResponse(
    const Session& session, const DataTask& dataTask, const std::shared_ptr<NSCachedURLResponse>& proposedResponse,
    const std::function<void(const std::shared_ptr<NSCachedURLResponse>&)>& completionHandler) {
  std::shared_ptr<NSCachedURLResponse> cached = proposedResponse;
  if (dataTaskWillCacheResponse_) cached = dataTaskWillCacheResponse_(session, dataTask, proposedResponse);
  if (completionHandler) completionHandler(cached);
}

void NWURLSessionManager::moveDownloadedFile(const DownloadTask& task, const std::shared_ptr<NSURL>& location,
                                             const std::shared_ptr<NSURL>& destination,
                                             const std::shared_ptr<NWURLSessionManagerTaskDelegate>& delegate) {
  std::shared_ptr<NSError> error;
  bool moved = location && destination && destination->isFileURL() &&
               NSFileManager::defaultManager()->moveItemAtPath(location->path(), destination->path(), &error);
  if (moved) return;
  if (!error) {
    error = NSError::errorWithDomain(NSCocoaErrorDomain, NSFileWriteUnknownError,
                                     NSDictionary::make({{NSLocalizedDescriptionKey.get(), "The downloaded file could not be moved."_ns}}));
  }
  if (delegate) delegate->setDownloadMoveError(error);
  NSNotificationCenter::defaultCenter()->postNotificationName(NWURLSessionDownloadTaskDidFailToMoveFileNotification, task, error->userInfo());
}

void NWURLSessionManager::URLSessionDownloadTaskDidFinishDownloadingToURL(const Session& session, const DownloadTask& downloadTask,
                                                                          const std::shared_ptr<NSURL>& location) {
  auto delegate = delegateForTask(downloadTask);
  if (downloadTaskDidFinishDownloading_) {
    if (auto fileURL = downloadTaskDidFinishDownloading_(session, downloadTask, location)) {
      if (delegate) delegate->setDownloadFileURL(fileURL);
      moveDownloadedFile(downloadTask, location, fileURL, delegate);
      return;
    }
  }
  if (delegate) delegate->didFinishDownloadingToURL(session, downloadTask, location);
}

void NWURLSessionManager::URLSessionDownloadTaskDidWriteData(const Session& session, const DownloadTask& downloadTask, int64_t bytesWritten,
                                                             int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) {
  if (auto delegate = delegateForTask(downloadTask)) delegate->didWriteData(totalBytesWritten, totalBytesExpectedToWrite);
  if (downloadTaskDidWriteData_) downloadTaskDidWriteData_(session, downloadTask, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
}

void NWURLSessionManager::URLSessionDownloadTaskDidResumeAtOffset(const Session& session, const DownloadTask& downloadTask, int64_t fileOffset,
                                                                  int64_t expectedTotalBytes) {
  if (auto delegate = delegateForTask(downloadTask)) delegate->didResumeAtOffset(fileOffset, expectedTotalBytes);
  if (downloadTaskDidResume_) downloadTaskDidResume_(session, downloadTask, fileOffset, expectedTotalBytes);
}

// ---- description, coding, copying

std::shared_ptr<NSString> NWURLSessionManager::description() const {
  return NSString::stringWithFormat("<%s: %p, session: %@, operationQueue: %@>", className(), static_cast<const void*>(this), session_,
                                    operationQueue_);
}

void NWURLSessionManager::encodeWithCoder(NSCoder& coder) const {
  coder.encodeObject(session_ ? session_->configuration() : sessionConfiguration_, "sessionConfiguration"_ns);
}

std::shared_ptr<NWURLSessionManager> NWURLSessionManager::initWithCoder(NSCoder& coder) {
  auto configuration = coder.decodeObjectOfClass<NSURLSessionConfiguration>("sessionConfiguration"_ns);
  return initWithSessionConfiguration(configuration);
}

id NWURLSessionManager::copyWithZone() const {
  return initWithSessionConfiguration(session_ ? session_->configuration() : sessionConfiguration_);
}

namespace {
const bool kManagerCoding = [] {
  zvt::registerCodingClass("NWURLSessionManager", [](NSCoder& coder) -> id { return NWURLSessionManager::initWithCoder(coder); });
  return true;
}();
}  // namespace
