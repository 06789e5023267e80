#include "platform/foundation/NSOperation.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/PausePoints.h"
#include "platform/foundation/RuntimeInternal.h"

namespace {

// The queue whose operation the calling thread runs.
thread_local NSOperationQueue* runningQueue = nullptr;

struct RunningQueueScope {
  NSOperationQueue* outer;
  explicit RunningQueueScope(NSOperationQueue* queue) : outer(runningQueue) { runningQueue = queue; }
  ~RunningQueueScope() { runningQueue = outer; }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// NSOperation

NSOperation::~NSOperation() = default;

void NSOperation::start() {
  if (isFinished()) return;
  if (isExecuting()) zvt::raise(NSInvalidArgumentException, "-[NSOperation start]: receiver is already executing");
  if (!isReady()) zvt::raise(NSInvalidArgumentException, "-[NSOperation start]: receiver is not yet ready to execute");
  if (!isCancelled()) {
    setExecuting(true);
    struct Done {
      NSOperation* op;
      ~Done() {
        op->setExecuting(false);
        op->setFinished(true);
      }
    } done{this};
    main();
    return;
  }
  setFinished(true);
}

void NSOperation::main() {}

void NSOperation::cancel() {
  if (cancelled_.exchange(true)) return;
  willChangeValueForKey("isCancelled");
  didChangeValueForKey("isCancelled");
}

bool NSOperation::isReady() const {
  if (isCancelled()) return true;
  std::vector<std::shared_ptr<NSOperation>> deps;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!relations_ || relations_->dependencies.empty()) return true;
    deps = relations_->dependencies;
  }
  for (const auto& d : deps)
    if (!d->isFinished()) return false;
  return true;
}

void NSOperation::addDependency(const std::shared_ptr<NSOperation>& operation) {
  if (!operation || operation.get() == this) return;
  auto self = std::static_pointer_cast<NSOperation>(shared_from_this());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& dependencies = relations().dependencies;
    if (std::find(dependencies.begin(), dependencies.end(), operation) != dependencies.end()) return;
    dependencies.push_back(operation);
  }
  zvt::pause::at(zvt::pause::Point::kDependencyListed, this);
  {
    std::lock_guard<std::mutex> lock(operation->mutex_);
    operation->relations().dependents.push_back(self);
  }
  // A dependency that finished between our check and the registration has already told its
  // dependents; look again so that nobody waits for a notice that came too early.
  if (operation->isFinished()) readinessChanged();
}

void NSOperation::removeDependency(const std::shared_ptr<NSOperation>& operation) {
  if (!operation) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (relations_) {
      auto& dependencies = relations_->dependencies;
      dependencies.erase(std::remove(dependencies.begin(), dependencies.end(), operation), dependencies.end());
    }
  }
  {
    std::lock_guard<std::mutex> lock(operation->mutex_);
    if (operation->relations_) {  // else it never had dependents
      auto& v = operation->relations_->dependents;
      v.erase(std::remove_if(v.begin(), v.end(),
                             [this](const std::weak_ptr<NSOperation>& w) {
                               auto s = w.lock();
                               return !s || s.get() == this;
                             }),
              v.end());
    }
  }
  readinessChanged();
}

std::vector<std::shared_ptr<NSOperation>> NSOperation::dependencies() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return relations_ ? relations_->dependencies : std::vector<std::shared_ptr<NSOperation>>();
}

std::function<void()> NSOperation::completionBlock() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (completionMode_ == CompletionMode::kCalls) {
    auto self = std::static_pointer_cast<NSOperation>(std::const_pointer_cast<NSObject>(shared_from_this()));
    return [self] { self->handOffCompletion(); };
  }
  return completionBlock_;
}

void NSOperation::setCompletionBlock(std::function<void()> block) {
  std::function<void()> old;  // released outside the lock: it may hold the last owner
  std::lock_guard<std::mutex> lock(mutex_);
  old = std::move(completionBlock_);
  completionBlock_ = std::move(block);
  completionMode_ = CompletionMode::kQueued;
}

void NSOperation::setHandOffCompletionBlock(std::function<void()> block) {
  std::function<void()> old;
  std::lock_guard<std::mutex> lock(mutex_);
  old = std::move(completionBlock_);
  completionBlock_ = std::move(block);
  completionMode_ = completionBlock_ ? CompletionMode::kHandsOff : CompletionMode::kQueued;
}

void NSOperation::setHandOffCompletionCall() {
  std::function<void()> old;
  std::lock_guard<std::mutex> lock(mutex_);
  old = std::move(completionBlock_);
  completionBlock_ = nullptr;
  completionMode_ = CompletionMode::kCalls;
}

std::shared_ptr<NSString> NSOperation::name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return relations_ ? relations_->name : nullptr;
}

void NSOperation::setName(const std::shared_ptr<NSString>& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  relations().name = name;
}

void NSOperation::waitUntilFinished() {
  zvt::BlockingScope blocking;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!finishedCV_) finishedCV_ = std::make_unique<std::condition_variable>();
  finishedCV_->wait(lock, [this] { return finishHandled_.load(); });
}

void NSOperation::didChangeValueForKey(std::string_view key) {
  if (key == "isFinished") {
    // Finishing may let the queue drop its reference: keep the operation for its observers.
    auto keep = weak_from_this().lock();
    if (isFinished()) handleFinished();
    NSObject::didChangeValueForKey(key);
    return;
  }
  if (key == "isReady" || key == "isCancelled") {
    readinessChanged();
  }
  NSObject::didChangeValueForKey(key);
}

void NSOperation::stateDidChange(bool readiness, bool finished) {
  if (readiness) readinessChanged();
  if (finished) {
    auto keep = weak_from_this().lock();
    if (isFinished()) handleFinished();
  }
}

const zvt::KVCClass* NSOperation::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<NSOperation>()
                                         .readonlyProperty("isReady", &NSOperation::isReady)
                                         .readonlyProperty("isExecuting", &NSOperation::isExecuting)
                                         .readonlyProperty("isFinished", &NSOperation::isFinished)
                                         .readonlyProperty("isCancelled", &NSOperation::isCancelled)
                                         .readonlyProperty("isConcurrent", &NSOperation::isConcurrent)
                                         .readonlyProperty("isAsynchronous", &NSOperation::isAsynchronous)
                                         .build();
  return &table;
}

void NSOperation::setExecuting(bool executing) {
  willChangeValueForKey("isExecuting");
  executing_ = executing;
  didChangeValueForKey("isExecuting");
}

void NSOperation::setFinished(bool finished) {
  willChangeValueForKey("isFinished");
  finished_ = finished;
  didChangeValueForKey("isFinished");
}

void NSOperation::readinessChanged() {
  std::shared_ptr<NSOperationQueue> queue;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue = queue_.lock();
  }
  if (queue) queue->pump();
}

void NSOperation::handleFinished() {
  // The caller (the did-change of "isFinished") keeps the operation alive throughout.
  if (finishHandled_.exchange(true)) return;
  std::function<void()> completion;
  CompletionMode mode;
  bool hasDependents;
  std::shared_ptr<NSOperationQueue> queue;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    mode = completionMode_;
    if (mode != CompletionMode::kQueued) {
      // A call, or a block that only hands off: either runs once, right here (the block is
      // taken, not copied, and what it holds goes with it).
      completion = std::move(completionBlock_);
      completionBlock_ = nullptr;
      completionMode_ = CompletionMode::kQueued;
    } else {
      completion = completionBlock_;
    }
    hasDependents = relations_ && !relations_->dependents.empty();
    queue = queue_.lock();
    if (finishedCV_) [[unlikely]] finishedCV_->notify_all();
  }
  if (mode == CompletionMode::kCalls) [[likely]] {
    handOffCompletion();
  } else if (completion && mode == CompletionMode::kHandsOff) {
    completion();
  } else if (completion) {
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), std::move(completion));
  }
  if (queue) queue->operationFinished(this);
  if (hasDependents) [[unlikely]] notifyDependents();
}

void NSOperation::notifyDependents() {
  std::vector<std::shared_ptr<NSOperation>> dependents;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& w : relations_->dependents)
      if (auto d = w.lock()) dependents.push_back(std::move(d));
  }
  for (const auto& d : dependents) d->readinessChanged();
}

// ---------------------------------------------------------------------------------------------
// NSBlockOperation

std::shared_ptr<NSBlockOperation> NSBlockOperation::blockOperationWithBlock(std::function<void()> block) {
  auto op = std::make_shared<NSBlockOperation>();
  op->addExecutionBlock(std::move(block));
  return op;
}

void NSBlockOperation::addExecutionBlock(std::function<void()> block) {
  if (!block) return;
  if (isExecuting() || isFinished())
    zvt::raise(NSInvalidArgumentException,
               "-[NSBlockOperation addExecutionBlock:]: blocks cannot be added after the operation has started");
  std::lock_guard<std::mutex> lock(blocksMutex_);
  blocks_.push_back(std::move(block));
}

std::vector<std::function<void()>> NSBlockOperation::executionBlocks() const {
  std::lock_guard<std::mutex> lock(blocksMutex_);
  return blocks_;
}

void NSBlockOperation::main() {
  std::vector<std::function<void()>> blocks;
  {
    std::lock_guard<std::mutex> lock(blocksMutex_);
    blocks.swap(blocks_);  // run once; what they hold goes with them
  }
  for (auto& b : blocks) b();
}

// ---------------------------------------------------------------------------------------------
// NSOperationQueue

NSOperationQueue::~NSOperationQueue() = default;

std::shared_ptr<NSOperationQueue> NSOperationQueue::mainQueue() {
  static std::shared_ptr<NSOperationQueue>* queue = [] {
    auto* q = new std::shared_ptr<NSOperationQueue>(std::make_shared<NSOperationQueue>());
    (*q)->main_ = true;
    (*q)->maxConcurrent_ = 1;
    (*q)->name_ = NSString::stringWithUTF8String("NSOperationQueue Main Queue");
    return q;
  }();
  return *queue;
}

std::shared_ptr<NSOperationQueue> NSOperationQueue::currentQueue() {
  if (runningQueue) return std::static_pointer_cast<NSOperationQueue>(runningQueue->shared_from_this());
  if (zvt::onMainThread()) return mainQueue();
  return nullptr;
}

void NSOperationQueue::addOperation(const std::shared_ptr<NSOperation>& operation) {
  if (!operation) zvt::raise(NSInvalidArgumentException, "-[NSOperationQueue addOperation:]: operation is nil");
  auto self = std::static_pointer_cast<NSOperationQueue>(shared_from_this());
  {
    std::lock_guard<std::mutex> lock(operation->mutex_);
    if (operation->enqueued_)
      zvt::raise(NSInvalidArgumentException,
                 "-[NSOperationQueue addOperation:]: operation is already enqueued on a queue");
    if (operation->isExecuting() || operation->isFinished())
      zvt::raise(NSInvalidArgumentException,
                 "-[NSOperationQueue addOperation:]: operation is executing or finished and cannot be enqueued");
    operation->enqueued_ = true;
    operation->queue_ = self;
  }
  // Readiness is asked outside the queue's lock (see pumpWaiting). A ready operation added to a
  // queue where nothing waits and a slot is free is the one to start: it starts at once,
  // without a search of the queue.
  bool ready = operation->isReady();
  bool startNow = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(operation);
    if (ready && waiting_.load(std::memory_order_relaxed) == 0 && !suspended_ &&
        (maxConcurrent_ < 0 || executing_ < maxConcurrent_)) [[likely]] {
      operation->startedByQueue_ = true;
      ++executing_;
      startNow = true;
    } else {
      ++waiting_;
    }
  }
  // The caller holds none of our locks here: an operation that only hands its work off may
  // start on this thread.
  if (startNow) [[likely]] {
    launch(operation, true);
    return;
  }
  pump(true);
}

void NSOperationQueue::addOperations(const std::vector<std::shared_ptr<NSOperation>>& operations,
                                     bool waitUntilFinished) {
  for (const auto& op : operations) addOperation(op);
  if (waitUntilFinished)
    for (const auto& op : operations) op->waitUntilFinished();
}

void NSOperationQueue::addOperationWithBlock(std::function<void()> block) {
  addOperation(NSBlockOperation::blockOperationWithBlock(std::move(block)));
}

std::vector<std::shared_ptr<NSOperation>> NSOperationQueue::operations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

NSUInteger NSOperationQueue::operationCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

NSInteger NSOperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return maxConcurrent_;
}

void NSOperationQueue::setMaxConcurrentOperationCount(NSInteger count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (main_) return;  // the main queue runs one at a time
    maxConcurrent_ = count < 0 ? NSOperationQueueDefaultMaxConcurrentOperationCount : count;
  }
  pump();
}

bool NSOperationQueue::isSuspended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return suspended_;
}

void NSOperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    suspended_ = suspended;
  }
  pump();
}

std::shared_ptr<NSString> NSOperationQueue::name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return name_;
}

void NSOperationQueue::setName(const std::shared_ptr<NSString>& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = name;
}

void NSOperationQueue::cancelAllOperations() {
  for (const auto& op : operations()) op->cancel();
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
  zvt::BlockingScope blocking;
  std::unique_lock<std::mutex> lock(mutex_);
  ++emptyWaiters_;
  emptyCV_.wait(lock, [this] { return entries_.empty(); });
  --emptyWaiters_;
}

void NSOperationQueue::pumpWaiting(bool mayStartHere) {
  // Readiness is asked outside the queue's lock: an operation may answer under a lock of its
  // own, which it also holds when it announces a change to us.
  for (;;) {
    // The usual case is one waiting operation: it needs no list.
    std::shared_ptr<NSOperation> first;
    std::vector<std::shared_ptr<NSOperation>> others;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (suspended_ || waiting_ == 0) return;
      if (maxConcurrent_ >= 0 && executing_ >= maxConcurrent_) return;
      for (const auto& e : entries_) {
        if (e->startedByQueue_) continue;
        if (!first) [[likely]] {
          first = e;
        } else {
          others.push_back(e);
        }
      }
    }
    if (!first) return;
    const std::shared_ptr<NSOperation>* pick = nullptr;
    auto consider = [&pick](const std::shared_ptr<NSOperation>& c) {
      if (!c->isReady()) return;
      if (!pick || c->queuePriority() > (*pick)->queuePriority()) pick = &c;
    };
    consider(first);
    for (const auto& c : others) consider(c);
    if (!pick) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (suspended_ || (maxConcurrent_ >= 0 && executing_ >= maxConcurrent_)) return;
      if ((*pick)->startedByQueue_) continue;  // another thread took it
      if (std::find(entries_.begin(), entries_.end(), *pick) == entries_.end()) continue;
      (*pick)->startedByQueue_ = true;
      --waiting_;
      ++executing_;
    }
    launch(*pick, mayStartHere);
  }
}

void NSOperationQueue::launch(const std::shared_ptr<NSOperation>& operation, bool mayStartHere) {
  if (mayStartHere && !main_ && operation->startOnlyHandsOff()) {
    RunningQueueScope scope(this);
    operation->start();
    return;
  }
  auto self = std::static_pointer_cast<NSOperationQueue>(shared_from_this());
  auto run = [self, operation] {
    RunningQueueScope scope(self.get());
    operation->start();
  };
  if (main_) {
    dispatch_async(dispatch_get_main_queue(), std::move(run));
  } else {
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), std::move(run));
  }
}

void NSOperationQueue::operationFinished(const NSOperation* operation) {
  std::shared_ptr<NSOperation> removed;  // released outside the lock
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->get() == operation) {
        removed = std::move(*it);
        if (removed->startedByQueue_) {
          --executing_;
        } else {
          --waiting_;
        }
        entries_.erase(it);
        break;
      }
    }
    if (entries_.empty() && emptyWaiters_ != 0) emptyCV_.notify_all();
  }
  removed = nullptr;
  pump();  // returns at once when nothing waits
}
