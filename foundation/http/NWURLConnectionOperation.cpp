#include "foundation/http/NWURLConnectionOperation.h"

#include <typeinfo>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSKeyValueObserving.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PausePoints.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSStringEncodings.h"

namespace {

dispatch_group_t sharedCompletionGroup() {
  static const auto* group = new dispatch_group_t(dispatch_group_create());
  return *group;
}

dispatch_queue_t operationProcessingQueue() {
  static const auto* queue =
      new dispatch_queue_t(dispatch_queue_create("com.netway.networking.operation.queue", DISPATCH_QUEUE_CONCURRENT));
  return *queue;
}

void postOnMainQueue(const zvt::StaticString& name, id object) {
  dispatch_async(dispatch_get_main_queue(), [name = &name, object = std::move(object)] {
    NSNotificationCenter::defaultCenter()->postNotificationName(name->get(), object);
  });
}

std::shared_ptr<NSError> outputStreamFullError(const std::shared_ptr<NSURLRequest>& request) {
  auto info = NSMutableDictionary::dictionary();
  info->setObject("The received data could not be written: the output stream has no space."_ns, NSLocalizedDescriptionKey);
  if (request && request->URL()) info->setObject(request->URL(), NSURLErrorFailingURLErrorKey);
  return NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorCannotWriteToFile, info);
}

}  // namespace

// --- creation

std::shared_ptr<NWURLConnectionOperation> NWURLConnectionOperation::initWithRequest(const std::shared_ptr<NSURLRequest>& request) {
  return std::make_shared<NWURLConnectionOperation>(request);
}

NWURLConnectionOperation::NWURLConnectionOperation(const std::shared_ptr<NSURLRequest>& request)
    : NWURLConnectionOperation(request, NWSecurityPolicy::defaultPolicy()) {}

NWURLConnectionOperation::NWURLConnectionOperation(const std::shared_ptr<NSURLRequest>& request,
                                                   std::shared_ptr<NWSecurityPolicy> policy) {
  if (!request) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: urlRequest");
  request_ = request;
  securityPolicy_ = std::move(policy);
}

NWURLConnectionOperation::~NWURLConnectionOperation() {
  if (outputStream_) outputStream_->close();
  if (extras_ && extras_->backgroundTaskCleanup) extras_->backgroundTaskCleanup();
}

std::shared_ptr<NSThread> NWURLConnectionOperation::networkRequestThread() { return networkThread(); }

const std::shared_ptr<NSThread>& NWURLConnectionOperation::networkThread() {
  static const auto* thread = [] {
    auto* made = new std::shared_ptr<NSThread>(NSThread::initWithBlock([] {
      // The network thread's body: a run loop kept alive forever by a port.
      NSThread::currentThread()->setName("NWNetworking");
      auto runLoop = NSRunLoop::currentRunLoop();
      runLoop->addPort(NSMachPort::port(), NSDefaultRunLoopMode);
      runLoop->run();
    }));
    (*made)->start();
    return made;
  }();
  return *thread;
}

// --- properties

std::set<std::string> NWURLConnectionOperation::runLoopModes() const {
  std::lock_guard lock(lock_);
  if (commonModesOnly_) return {NSRunLoopCommonModes};
  return extras_ ? extras_->runLoopModes : std::set<std::string>();
}
void NWURLConnectionOperation::setRunLoopModes(std::set<std::string> modes) {
  std::lock_guard lock(lock_);
  commonModesOnly_ = modes.size() == 1 && *modes.begin() == NSRunLoopCommonModes;
  if (!commonModesOnly_) {
    extras().runLoopModes = std::move(modes);
  } else if (extras_) {
    extras_->runLoopModes.clear();
  }
}
std::vector<std::string> NWURLConnectionOperation::otherModesVector() const {
  if (!extras_) return {};
  return std::vector<std::string>(extras_->runLoopModes.begin(), extras_->runLoopModes.end());
}
std::shared_ptr<NSURLRequest> NWURLConnectionOperation::request() const {
  std::lock_guard lock(lock_);
  return request_;
}
void NWURLConnectionOperation::setRequest(const std::shared_ptr<NSURLRequest>& request) {
  std::lock_guard lock(lock_);
  request_ = request;
}
std::shared_ptr<NSURLResponse> NWURLConnectionOperation::response() const {
  std::lock_guard lock(lock_);
  return response_;
}
std::shared_ptr<NSError> NWURLConnectionOperation::error() const {
  std::lock_guard lock(lock_);
  return error_;
}
std::shared_ptr<NSData> NWURLConnectionOperation::responseData() const {
  std::lock_guard lock(lock_);
  return responseData_;
}
void NWURLConnectionOperation::setResponseData(const std::shared_ptr<NSData>& data) {
  std::lock_guard lock(lock_);
  responseData_ = data ? NSData::dataWithData(data) : nullptr;
}

NSStringEncoding NWURLConnectionOperation::responseStringEncoding() {
  std::lock_guard lock(lock_);
  Extras& extra = extras();
  if (extra.responseStringEncoding == 0 && response_) {
    NSStringEncoding encoding = NSUTF8StringEncoding;
    if (response_->textEncodingName()) {
      NSStringEncoding named = zvt::encodingForIANACharSetName(response_->textEncodingName());
      if (named != kZVTInvalidStringEncoding) encoding = named;
    }
    extra.responseStringEncoding = encoding;
  }
  return extra.responseStringEncoding;
}

std::shared_ptr<NSString> NWURLConnectionOperation::responseString() {
  std::lock_guard lock(lock_);
  if (!response_ || !responseData_) return extras_ ? extras_->responseString : nullptr;
  Extras& extra = extras();
  if (!extra.responseString) extra.responseString = zvt::stringWithData(responseData_, responseStringEncoding());
  return extra.responseString;
}

bool NWURLConnectionOperation::shouldUseCredentialStorage() const {
  std::lock_guard lock(lock_);
  return shouldUseCredentialStorage_;
}
void NWURLConnectionOperation::setShouldUseCredentialStorage(bool use) {
  std::lock_guard lock(lock_);
  shouldUseCredentialStorage_ = use;
}
std::shared_ptr<NSURLCredential> NWURLConnectionOperation::credential() const {
  std::lock_guard lock(lock_);
  return extras_ ? extras_->credential : nullptr;
}
void NWURLConnectionOperation::setCredential(const std::shared_ptr<NSURLCredential>& credential) {
  std::lock_guard lock(lock_);
  extras().credential = credential;
}
std::shared_ptr<NWSecurityPolicy> NWURLConnectionOperation::securityPolicy() const {
  std::lock_guard lock(lock_);
  return securityPolicy_;
}
void NWURLConnectionOperation::setSecurityPolicy(const std::shared_ptr<NWSecurityPolicy>& policy) {
  std::lock_guard lock(lock_);
  securityPolicy_ = policy;
}
std::shared_ptr<NSInputStream> NWURLConnectionOperation::inputStream() const { return request()->HTTPBodyStream(); }
void NWURLConnectionOperation::setInputStream(const std::shared_ptr<NSInputStream>& stream) {
  std::lock_guard lock(lock_);
  auto mutableRequest = request_->mutableCopy();
  mutableRequest->setHTTPBodyStream(stream);
  request_ = mutableRequest;
}
std::shared_ptr<NSOutputStream> NWURLConnectionOperation::outputStream() {
  std::lock_guard lock(lock_);
  return outputStreamLocked();
}
const std::shared_ptr<NSOutputStream>& NWURLConnectionOperation::outputStreamLocked() {
  if (!outputStream_) {
    outputStream_ = NSOutputStream::outputStreamToMemory();
    outputStreamIsDefault_ = true;
  }
  return outputStream_;
}
void NWURLConnectionOperation::setOutputStream(const std::shared_ptr<NSOutputStream>& stream) {
  std::lock_guard lock(lock_);
  if (stream == outputStream_) return;
  if (outputStream_) outputStream_->close();
  outputStream_ = stream;
  outputStreamIsDefault_ = false;
}
bool NWURLConnectionOperation::resetOutputStream() {
  std::lock_guard lock(lock_);
  if (outputStream_ && !outputStreamIsDefault_) {
    // A file stream starts over at offset 0 (the stream truncates there).
    return outputStream_->setProperty(NSNumber::numberWithLongLong(0), NSStreamFileCurrentOffsetKey);
  }
  if (outputStream_) outputStream_->close();
  outputStream_ = NSOutputStream::outputStreamToMemory();
  outputStreamIsDefault_ = true;
  outputStream_->open();
  return true;
}
dispatch_queue_t NWURLConnectionOperation::completionQueue() const {
  std::lock_guard lock(lock_);
  return completionQueue_;
}
void NWURLConnectionOperation::setCompletionQueue(const dispatch_queue_t& queue) {
  std::lock_guard lock(lock_);
  completionQueue_ = queue;
}
dispatch_group_t NWURLConnectionOperation::completionGroup() const {
  std::lock_guard lock(lock_);
  return completionGroup_;
}
void NWURLConnectionOperation::setCompletionGroup(const dispatch_group_t& group) {
  std::lock_guard lock(lock_);
  completionGroup_ = group;
}
std::shared_ptr<NSDictionary> NWURLConnectionOperation::userInfo() const {
  std::lock_guard lock(lock_);
  return extras_ ? extras_->userInfo : nullptr;
}
void NWURLConnectionOperation::setUserInfo(const std::shared_ptr<NSDictionary>& info) {
  std::lock_guard lock(lock_);
  extras().userInfo = info;
}

// --- state machine

const char* NWURLConnectionOperation::keyPathFromOperationState(NSInteger state) {
  switch (state) {
    case kReady: return "isReady";
    case kExecuting: return "isExecuting";
    case kFinished: return "isFinished";
    case kPaused: return "isPaused";
    default: return "state";
  }
}

bool NWURLConnectionOperation::stateTransitionIsValid(NSInteger from, NSInteger to, bool cancelled) {
  switch (from) {
    case kReady:
      if (to == kPaused || to == kExecuting) return true;
      return to == kFinished && cancelled;
    case kExecuting:
      return to == kPaused || to == kFinished;
    case kFinished:
      return false;
    case kPaused:
      return to == kReady;
    default:
      return to == kPaused || to == kReady || to == kExecuting || to == kFinished;
  }
}

bool NWURLConnectionOperation::setState(NSInteger state) {
  NSInteger old = state_.load();
  if (!stateTransitionIsValid(old, state, isCancelled())) return false;
  if (zvt::mayBeObserved(*this)) [[unlikely]] {
    announceState(old, state);
    return true;
  }
  // Nobody can hear the announcements: only what their did-changes do besides.
  zvt::pause::at(zvt::pause::Point::kUnobservedStateChange, this);
  state_ = state;
  // An observer that came between the look above and the store may have read the old state
  // as its initial value: it hears the did-changes (without an old value), or it would wait
  // for a finish it never learns of. Both sides store, then look (sequentially consistent).
  if (zvt::mayBeObserved(*this)) [[unlikely]] {
    didChangeValueForKey(keyPathFromOperationState(old));
    didChangeValueForKey(keyPathFromOperationState(state));
    return true;
  }
  stateDidChange(old == kReady || state == kReady, state == kFinished);
  return true;
}

void NWURLConnectionOperation::announceState(NSInteger old, NSInteger state) {
  const char* newKey = keyPathFromOperationState(state);
  const char* oldKey = keyPathFromOperationState(old);
  willChangeValueForKey(newKey);
  willChangeValueForKey(oldKey);
  state_ = state;
  didChangeValueForKey(oldKey);
  didChangeValueForKey(newKey);
}

const zvt::KVCClass* NWURLConnectionOperation::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<NWURLConnectionOperation>(NSOperation::classTable())
                                         .readonlyProperty("isPaused", &NWURLConnectionOperation::isPaused)
                                         .build();
  return &table;
}

bool NWURLConnectionOperation::isReady() const { return state_.load() == kReady && NSOperation::isReady(); }

void NWURLConnectionOperation::start() {
  // The network thread takes the lock first thing: wake it once the lock is released.
  zvt::WakeUpBatch wakeAfterUnlocking;
  std::unique_lock lock(lock_);
  auto self = selfOperation();
  if (isCancelled()) {
    performOnThread(networkThread(), [self] { self->cancelConnection(); }, false, modesVectorLocked());
  } else if (isReady()) {
    setState(kExecuting);
    performOnThread(networkThread(), [self] { self->operationDidStart(); }, false, modesVectorLocked());
    // Posted by the thread that starts the operation rather than by the network thread once the
    // connection is made: requests start on the main thread, whose own queue takes the post
    // without a wake-up. It still comes before any finish notification of the operation.
    postOnMainQueue(NWNetworkingOperationDidStartNotification, std::move(self));
  }
}

void NWURLConnectionOperation::operationDidStart() {
  std::lock_guard lock(lock_);
  if (isCancelled()) return;
  auto self = selfOperation();
  connection_ = NSURLConnection::initWithRequest(request_, std::static_pointer_cast<NSURLConnectionDelegate>(self), false);
  auto runLoop = NSRunLoop::currentRunLoop();
  const auto& stream = outputStreamLocked();
  if (commonModesOnly_) {
    static const auto* common = new std::string(NSRunLoopCommonModes);
    connection_->scheduleInRunLoop(runLoop, *common);
    stream->scheduleInRunLoop(runLoop, *common);
  }
  if (!commonModesOnly_ && extras_) {
    for (const auto& mode : extras_->runLoopModes) {
      connection_->scheduleInRunLoop(runLoop, mode);
      stream->scheduleInRunLoop(runLoop, mode);
    }
  }
  if (stream->streamStatus() == NSStreamStatusNotOpen) stream->open();
  connection_->start();
}

namespace {

// The operation whose finish() the calling thread is in: its delivery block waits for the
// finish notification to be queued.
thread_local const NWURLConnectionOperation* finishingOperation = nullptr;

}  // namespace

void NWURLConnectionOperation::finish() {
  // Called with the operation held by the caller.
  bool finished;
  bool deliver = false;
  {
    std::lock_guard lock(lock_);
    const NWURLConnectionOperation* outer = finishingOperation;
    finishingOperation = this;
    finished = setState(kFinished);
    finishingOperation = outer;
    if (deliveryPending_) {
      deliveryPending_ = false;
      delivers_ = false;
      deliver = true;
    }
  }
  if (finished) postOnMainQueue(NWNetworkingOperationDidFinishNotification, shared_from_this());
  // The completion that called for this delivery has been taken already: nothing is left to drop.
  if (deliver) deliverResult();
}

void NWURLConnectionOperation::handOffCompletion() {
  {
    std::lock_guard lock(lock_);
    if (!delivers_) return;
    if (finishingOperation == this) {
      // Inside finish(): it delivers once the finish notification is queued.
      deliveryPending_ = true;
      return;
    }
    delivers_ = false;
  }
  runDelivery();
}

void NWURLConnectionOperation::runDelivery() {
  auto hold = selfOperation();
  deliverResult();
  // Used once: drop it and whatever it holds (the operation itself, often).
  NSOperation::setCompletionBlock(nullptr);
}

void NWURLConnectionOperation::cancel() {
  zvt::WakeUpBatch wakeAfterUnlocking;
  std::lock_guard lock(lock_);
  if (isFinished() || isCancelled()) return;
  NSOperation::cancel();
  if (isExecuting()) {
    auto self = selfOperation();
    performOnThread(networkThread(), [self] { self->cancelConnection(); }, false, modesVectorLocked());
  }
}

void NWURLConnectionOperation::cancelConnection() {
  auto hold = selfOperation();
  auto url = request()->URL();
  auto error = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorCancelled,
                                        url ? NSDictionary::make({{NSURLErrorFailingURLErrorKey, url}}) : nullptr);
  if (isFinished()) return;
  std::shared_ptr<NSURLConnection> connection;
  {
    std::lock_guard lock(lock_);
    connection = connection_;
  }
  if (connection) {
    connection->cancel();
    connectionDidFailWithError(connection, error);
  } else {
    {
      std::lock_guard lock(lock_);
      error_ = error;
    }
    finish();
  }
}

void NWURLConnectionOperation::pause() {
  if (isPaused() || isFinished() || isCancelled()) return;
  zvt::WakeUpBatch wakeAfterUnlocking;
  std::lock_guard lock(lock_);
  if (isExecuting()) {
    // The connection stops being ours at once: a report it makes before its cancellation
    // reaches the network thread (the server dropping it, say) must not end the operation,
    // even when a resume comes first.
    if (connection_) extras().pausedConnection = std::move(connection_);
    auto self = selfOperation();
    performOnThread(networkThread(), [self] { self->operationDidPause(); }, false, modesVectorLocked());
    postOnMainQueue(NWNetworkingOperationDidFinishNotification, shared_from_this());
  }
  setState(kPaused);
}

void NWURLConnectionOperation::operationDidPause() {
  auto hold = selfOperation();
  std::lock_guard lock(lock_);
  // Without a connection at pause time, the one the start made since is the one to stop.
  auto connection = extras_ && extras_->pausedConnection ? std::move(extras_->pausedConnection) : connection_;
  if (connection) connection->cancel();
}

void NWURLConnectionOperation::resume() {
  if (!isPaused()) return;
  std::lock_guard lock(lock_);
  setState(kReady);
  start();
}

// --- blocks

void NWURLConnectionOperation::setCompletionBlock(std::function<void()> block) {
  std::lock_guard lock(lock_);
  if (delivers_) resultDeliveryDropped();
  delivers_ = false;
  deliveryPending_ = false;
  if (!block) {
    NSOperation::setCompletionBlock(nullptr);
    return;
  }
  std::weak_ptr<NWURLConnectionOperation> weakSelf = selfOperation();
  // The wrapper only hands the block to its queue: it may run on the network thread as the
  // operation finishes.
  setHandOffCompletionBlock([weakSelf, block] {
    auto strongSelf = weakSelf.lock();
    dispatch_group_t group = strongSelf ? strongSelf->completionGroup() : nullptr;
    dispatch_queue_t queue = strongSelf ? strongSelf->completionQueue() : nullptr;
    if (!group) group = sharedCompletionGroup();
    if (!queue) queue = dispatch_get_main_queue();
    dispatch_group_async(group, queue, block);
    // Once the block has run, drop it (and whatever it holds).
    dispatch_group_notify(group, operationProcessingQueue(), [weakSelf] {
      if (auto operation = weakSelf.lock()) operation->NSOperation::setCompletionBlock(nullptr);
    });
  });
}

void NWURLConnectionOperation::setDeliversResult() {
  std::lock_guard lock(lock_);
  deliveryPending_ = false;
  delivers_ = true;
  // The operation's completion is a call of its own (no block): what it delivers is the
  // subclass's, kept until then. An operation under way is held by its connection or its queue.
  setHandOffCompletionCall();
}

void NWURLConnectionOperation::deliverResult() {}

void NWURLConnectionOperation::resultDeliveryDropped() {}

void NWURLConnectionOperation::setUploadProgressBlock(ProgressBlock block) {
  std::lock_guard lock(lock_);
  uploadProgress_ = block ? std::make_shared<ProgressBlock>(std::move(block)) : nullptr;
}
void NWURLConnectionOperation::setDownloadProgressBlock(ProgressBlock block) {
  std::lock_guard lock(lock_);
  downloadProgress_ = block ? std::make_shared<ProgressBlock>(std::move(block)) : nullptr;
}
NWURLConnectionOperation::ProgressBlock NWURLConnectionOperation::uploadProgressBlock() const {
  std::lock_guard lock(lock_);
  return uploadProgress_ ? *uploadProgress_ : nullptr;
}
NWURLConnectionOperation::ProgressBlock NWURLConnectionOperation::downloadProgressBlock() const {
  std::lock_guard lock(lock_);
  return downloadProgress_ ? *downloadProgress_ : nullptr;
}
void NWURLConnectionOperation::setWillSendRequestForAuthenticationChallengeBlock(AuthenticationChallengeBlock block) {
  std::lock_guard lock(lock_);
  extras().authenticationChallenge = std::move(block);
}
void NWURLConnectionOperation::setCacheResponseBlock(CacheResponseBlock block) {
  std::lock_guard lock(lock_);
  extras().cacheResponse = std::move(block);
}
void NWURLConnectionOperation::setRedirectResponseBlock(RedirectResponseBlock block) {
  std::lock_guard lock(lock_);
  extras().redirectResponse = std::move(block);
}

void NWURLConnectionOperation::setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
  std::lock_guard lock(lock_);
  Extras& extra = extras();
  if (extra.backgroundTaskCleanup) return;
  auto application = UIApplication::sharedApplication();
  // The identifier lives in a shared cell so that the cleanup can run from the destructor.
  auto identifier = std::make_shared<std::atomic<UIBackgroundTaskIdentifier>>(UIBackgroundTaskInvalid);
  extra.backgroundTaskCleanup = [application, identifier] {
    UIBackgroundTaskIdentifier current = identifier->exchange(UIBackgroundTaskInvalid);
    if (current != UIBackgroundTaskInvalid) application->endBackgroundTask(current);
  };
  std::weak_ptr<NWURLConnectionOperation> weakSelf = selfOperation();
  *identifier = application->beginBackgroundTaskWithExpirationHandler([weakSelf, handler, application, identifier] {
    if (handler) handler();
    if (auto strongSelf = weakSelf.lock()) {
      strongSelf->cancel();
      UIBackgroundTaskIdentifier current = identifier->exchange(UIBackgroundTaskInvalid);
      if (current != UIBackgroundTaskInvalid) application->endBackgroundTask(current);
    }
  });
  extra.backgroundTaskIdentifier = identifier->load();
}

// --- batches

std::vector<std::shared_ptr<NSOperation>> NWURLConnectionOperation::batchOfRequestOperations(
    const std::vector<std::shared_ptr<NWURLConnectionOperation>>& operations,
    std::function<void(NSUInteger, NSUInteger)> progress,
    std::function<void(const std::vector<std::shared_ptr<NWURLConnectionOperation>>&)> completion) {
  if (operations.empty()) {
    return {NSBlockOperation::blockOperationWithBlock([completion] {
      dispatch_async(dispatch_get_main_queue(), [completion] {
        if (completion) completion({});
      });
    })};
  }
  auto group = dispatch_group_create();
  auto batchedOperation = NSBlockOperation::blockOperationWithBlock([group, completion, operations] {
    dispatch_group_notify(group, dispatch_get_main_queue(), [completion, operations] {
      if (completion) completion(operations);
    });
  });
  std::vector<std::weak_ptr<NWURLConnectionOperation>> weakAll(operations.begin(), operations.end());
  for (const auto& operation : operations) {
    operation->setCompletionGroup(group);
    auto originalCompletion = operation->completionBlock();
    std::weak_ptr<NWURLConnectionOperation> weakOperation = operation;
    operation->setHandOffCompletionBlock([weakOperation, originalCompletion, group, progress, weakAll] {
      auto strongOperation = weakOperation.lock();
      dispatch_queue_t queue = strongOperation ? strongOperation->completionQueue() : nullptr;
      if (!queue) queue = dispatch_get_main_queue();
      dispatch_group_async(group, queue, [originalCompletion, group, progress, weakAll] {
        if (originalCompletion) originalCompletion();
        NSUInteger finished = 0;
        for (const auto& weak : weakAll) {
          auto candidate = weak.lock();
          if (candidate && candidate->isFinished()) ++finished;
        }
        if (progress) progress(finished, weakAll.size());
        dispatch_group_leave(group);
      });
    });
    dispatch_group_enter(group);
    batchedOperation->addDependency(operation);
  }
  std::vector<std::shared_ptr<NSOperation>> result(operations.begin(), operations.end());
  result.push_back(batchedOperation);
  return result;
}

// --- description and copying

std::shared_ptr<NSString> NWURLConnectionOperation::description() const {
  std::lock_guard lock(lock_);
  return NSString::stringWithFormat("<%s: %p, state: %s, cancelled: %s request: %@, response: %@>", className(),
                                    static_cast<const void*>(this), keyPathFromOperationState(state_.load()),
                                    isCancelled() ? "YES" : "NO", request_, response_);
}

void NWURLConnectionOperation::copyBlocksInto(NWURLConnectionOperation& other) const {
  std::lock_guard lock(lock_);
  other.uploadProgress_ = uploadProgress_;
  other.downloadProgress_ = downloadProgress_;
  if (extras_) {
    Extras& theirs = other.extras();
    theirs.authenticationChallenge = extras_->authenticationChallenge;
    theirs.cacheResponse = extras_->cacheResponse;
    theirs.redirectResponse = extras_->redirectResponse;
  }
  other.completionQueue_ = completionQueue_;
  other.completionGroup_ = completionGroup_;
}

id NWURLConnectionOperation::copyWithZone() const {
  auto copy = std::make_shared<NWURLConnectionOperation>(request());
  copyBlocksInto(*copy);
  return copy;
}

// --- connection delegate (network thread)

void NWURLConnectionOperation::connectionWillSendRequestForAuthenticationChallenge(
    const Connection& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
  AuthenticationChallengeBlock block;
  std::shared_ptr<NWSecurityPolicy> policy;
  std::shared_ptr<NSURLCredential> credential;
  {
    std::lock_guard lock(lock_);
    if (extras_) block = extras_->authenticationChallenge;
    policy = securityPolicy_;
    if (extras_) credential = extras_->credential;
  }
  if (block) {
    block(connection, challenge);
    return;
  }
  auto sender = challenge->sender();
  if (!sender) return;
  auto space = challenge->protectionSpace();
  if (space->authenticationMethod()->isEqualToString(NSURLAuthenticationMethodServerTrust.get())) {
    if (policy && policy->evaluateServerTrust(space->serverTrust(), space->host())) {
      sender->useCredential(NSURLCredential::credentialForTrust(space->serverTrust()), challenge);
    } else {
      sender->cancelAuthenticationChallenge(challenge);
    }
  } else if (challenge->previousFailureCount() == 0 && credential) {
    sender->useCredential(credential, challenge);
  } else {
    sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
  }
}

bool NWURLConnectionOperation::connectionShouldUseCredentialStorage(const Connection&) { return shouldUseCredentialStorage(); }

std::shared_ptr<NSURLRequest> NWURLConnectionOperation::connectionWillSendRequest(const Connection& connection,
                                                                                 const std::shared_ptr<NSURLRequest>& request,
                                                                                 const std::shared_ptr<NSURLResponse>& redirectResponse) {
  RedirectResponseBlock block;
  {
    std::lock_guard lock(lock_);
    if (extras_) block = extras_->redirectResponse;
  }
  if (block) return block(connection, request, redirectResponse);
  return request;
}

void NWURLConnectionOperation::connectionDidSendBodyData(const Connection&, NSInteger bytesWritten, NSInteger totalBytesWritten,
                                                         NSInteger totalBytesExpectedToWrite) {
  {
    // Without a progress block nobody listens: no report is made.
    std::lock_guard lock(lock_);
    if (!uploadProgress_) return;
  }
  dispatch_async(dispatch_get_main_queue(), [self = selfOperation(), bytesWritten, totalBytesWritten, totalBytesExpectedToWrite] {
    std::shared_ptr<ProgressBlock> block;
    {
      std::lock_guard lock(self->lock_);
      block = self->uploadProgress_;
    }
    if (block) (*block)(static_cast<NSUInteger>(bytesWritten), totalBytesWritten, totalBytesExpectedToWrite);
  });
}

std::shared_ptr<NSError> NWURLConnectionOperation::checkResponse(const std::shared_ptr<NSURLResponse>&) { return nullptr; }

void NWURLConnectionOperation::connectionDidReceiveResponse(const Connection& connection,
                                                            const std::shared_ptr<NSURLResponse>& response) {
  auto hold = selfOperation();
  if (!isCurrentConnection(connection)) return;
  if (auto refusal = checkResponse(response)) {
    {
      std::lock_guard lock(lock_);
      response_ = response;
    }
    connection->cancel();
    connectionDidFailWithError(connection, refusal);
    return;
  }
  std::lock_guard lock(lock_);
  response_ = response;
}

void NWURLConnectionOperation::failWhileReceiving(const Connection& connection, const std::shared_ptr<NSError>& error) {
  // Cancelling lets the connection drop its hold on us; keep ourselves alive to the end.
  auto hold = selfOperation();
  connection->cancel();
  connectionDidFailWithError(connection, error);
}

bool NWURLConnectionOperation::isCurrentConnection(const Connection& connection) const {
  // A paused operation's connection, or one it has replaced, may still report before its
  // cancellation reaches it: nothing it says may change the operation.
  std::lock_guard lock(lock_);
  return isCurrentConnectionLocked(connection);
}

void NWURLConnectionOperation::connectionDidReceiveData(const Connection& connection, const std::shared_ptr<NSData>& data) {
  NSUInteger length = data->length();
  std::shared_ptr<NSError> failure;
  bool watched;
  {
    // Under the lock, so that a pause sees every byte written before it or none after it.
    std::lock_guard lock(lock_);
    if (!isCurrentConnectionLocked(connection)) return;
    watched = static_cast<bool>(downloadProgress_);
    auto stream = outputStreamLocked();
    if (!stream->hasSpaceAvailable()) {
      auto streamError = stream->streamError();
      failure = streamError ? streamError : outputStreamFullError(request_);
    } else {
      const uint8_t* bytes = data->bytes();
      NSUInteger written = 0;
      while (written < length) {
        NSInteger n = stream->write(bytes + written, length - written);
        if (n <= 0) {
          // The bytes were not kept: the load cannot go on as if they had been.
          auto streamError = n < 0 ? stream->streamError() : nullptr;
          failure = streamError ? streamError : outputStreamFullError(request_);
          break;
        }
        written += static_cast<NSUInteger>(n);
      }
    }
  }
  if (failure) {
    failWhileReceiving(connection, failure);
    return;
  }
  if (!watched) {
    // Nobody listens: the count is kept here, and no report is made.
    totalBytesRead_ += static_cast<int64_t>(length);
    return;
  }
  // The count moves with the report, so that the block sees the total of the bytes it was told of.
  dispatch_async(dispatch_get_main_queue(), [self = selfOperation(), length] {
    int64_t total = self->totalBytesRead_ += static_cast<int64_t>(length);
    std::shared_ptr<ProgressBlock> block;
    std::shared_ptr<NSURLResponse> response;
    {
      std::lock_guard lock(self->lock_);
      block = self->downloadProgress_;
      response = self->response_;
    }
    if (block) (*block)(length, total, response ? response->expectedContentLength() : -1);
  });
}

void NWURLConnectionOperation::connectionDidFinishLoading(const Connection& connection) {
  auto hold = selfOperation();
  if (!isCurrentConnection(connection)) return;
  {
    std::lock_guard lock(lock_);
    auto stream = outputStreamLocked();  // a copy: outputStream_ is let go of below
    // A memory stream hands out an immutable copy of its bytes: kept as it is, not copied
    // again. Mutable data (a stream of the caller's own may keep writing into it) is copied.
    auto written = zvt::as<NSData>(stream->propertyForKey(NSStreamDataWrittenToMemoryStreamKey));
    if (written && typeid(*written) != typeid(NSData)) written = NSData::dataWithData(written);
    responseData_ = std::move(written);
    stream->close();
    if (responseData_) {
      outputStream_.reset();
      outputStreamIsDefault_ = false;
    }
    connection_.reset();
  }
  finish();
}

void NWURLConnectionOperation::connectionDidFailWithError(const Connection& connection, const std::shared_ptr<NSError>& error) {
  auto hold = selfOperation();
  if (!isCurrentConnection(connection)) return;
  {
    std::lock_guard lock(lock_);
    error_ = error;
    if (outputStream_) outputStream_->close();
    if (responseData_) {
      outputStream_.reset();
      outputStreamIsDefault_ = false;
    }
    connection_.reset();
  }
  finish();
}

std::shared_ptr<NSCachedURLResponse> NWURLConnectionOperation::connectionWillCacheResponse(
    const Connection& connection, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
  CacheResponseBlock block;
  {
    std::lock_guard lock(lock_);
    if (extras_) block = extras_->cacheResponse;
  }
  if (block) return block(connection, cachedResponse);
  if (isCancelled()) return nullptr;
  return cachedResponse;
}
