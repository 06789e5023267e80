// Operations and operation queues.
//
// Subclasses with a state machine of their own (asynchronous operations whose start returns at
// once and that finish later) override isReady/isExecuting/isFinished/isConcurrent/start and
// announce every change of those with willChangeValueForKey/didChangeValueForKey("isReady",
// "isExecuting", "isFinished", "isCancelled"). The did-change is also the hook through which
// the queue, the dependent operations and the completion block learn of the change (before
// key-value observers of the operation are told). After "isFinished" changes to true, the completion block runs once (on
// a global dispatch queue, or at once for one that only hands off, see
// setHandOffCompletionBlock), dependents re-check their readiness and the queue frees the slot.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSOperationQueue;

enum NSOperationQueuePriority : NSInteger {
  NSOperationQueuePriorityVeryLow = -8,
  NSOperationQueuePriorityLow = -4,
  NSOperationQueuePriorityNormal = 0,
  NSOperationQueuePriorityHigh = 4,
  NSOperationQueuePriorityVeryHigh = 8,
};

class NSOperation : public NSObject {
 public:
  NSOperation() = default;
  ~NSOperation() override;

  static std::shared_ptr<NSOperation> make() { return std::make_shared<NSOperation>(); }

  // The default start of a synchronous operation: a cancelled operation finishes without
  // running main(); otherwise it is executing while main() runs, then finished. Starting an
  // operation that is executing or not ready raises NSInvalidArgumentException; starting a
  // finished one does nothing.
  virtual void start();
  // The work of a synchronous operation; nothing by default.
  virtual void main();
  // Marks the operation cancelled (once); a queue then starts it at once so that it finishes.
  virtual void cancel();

  virtual bool isCancelled() const { return cancelled_; }
  virtual bool isExecuting() const { return executing_; }
  virtual bool isFinished() const { return finished_; }
  // True for an operation whose start returns before it finishes.
  virtual bool isConcurrent() const { return false; }
  virtual bool isAsynchronous() const { return isConcurrent(); }
  // Every dependency finished, or the operation is cancelled (a cancelled operation no longer
  // waits for its dependencies).
  virtual bool isReady() const;

  // A dependency must finish before this operation is ready. Dependencies are held strongly;
  // a dependency holds its dependents weakly.
  void addDependency(const std::shared_ptr<NSOperation>& operation);
  void removeDependency(const std::shared_ptr<NSOperation>& operation);
  std::vector<std::shared_ptr<NSOperation>> dependencies() const;

  // Runs once, after the operation finished, on a global dispatch queue.
  virtual std::function<void()> completionBlock() const;
  virtual void setCompletionBlock(std::function<void()> block);

  std::shared_ptr<NSString> name() const;
  void setName(const std::shared_ptr<NSString>& name);
  NSOperationQueuePriority queuePriority() const { return priority_; }
  void setQueuePriority(NSOperationQueuePriority priority) { priority_ = priority; }

  // Blocks until the operation finished.
  void waitUntilFinished();

  // The state-change hook (see the top of this file).
  void didChangeValueForKey(std::string_view key) override;

  // The state flags as read-only key-value coded properties "isReady", "isExecuting",
  // "isFinished", "isCancelled", "isConcurrent", "isAsynchronous".
  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

 protected:
  // For the default start(): stores the flag and announces it.
  void setExecuting(bool executing);
  void setFinished(bool finished);

  // True for an operation whose start() only hands its work on to another thread, never
  // blocks for long and never raises: a queue then calls it at once on the thread that made
  // the operation ready (the one adding it, or the one finishing its last dependency) instead
  // of on a thread of its own, which costs a thread switch before the hand-off.
  virtual bool startOnlyHandsOff() const { return false; }
  // Stores a completion block that only hands its work on to a dispatch queue (and so may run
  // on the thread that finishes the operation, under the locks that thread holds): it runs
  // there once the operation has finished, without a trip through a global queue first.
  // It is taken when it runs: completionBlock() is nil afterwards.
  void setHandOffCompletionBlock(std::function<void()> block);
  // The same for a completion that is a call of handOffCompletion() (no block is made for it:
  // completionBlock() hands out one that makes the call). Setting a completion block ends it.
  void setHandOffCompletionCall();
  // The same for a constructor, before anyone else can see the operation (no lock is taken).
  void initHandOffCompletionCall() { completionMode_ = CompletionMode::kCalls; }
  virtual void handOffCompletion() {}
  // What the did-changes of a state change do besides telling key-value observers: for a
  // subclass that found nobody observes it (zvt::mayBeObserved) and so skips the announcements.
  // `readiness`: "isReady" changed; `finished`: "isFinished" changed.
  void stateDidChange(bool readiness, bool finished);

 private:
  friend class NSOperationQueue;
  void handleFinished();
  void readinessChanged();

  // Which completion there is: a block run on a global queue, a block that only hands off (taken
  // when it runs), or a call of handOffCompletion (no block).
  enum class CompletionMode : uint8_t { kQueued, kHandsOff, kCalls };
  [[gnu::noinline]] void notifyDependents();

  mutable std::mutex mutex_;
  // Made by the first thread that waits for the finish (guarded by mutex_).
  std::unique_ptr<std::condition_variable> finishedCV_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> finishHandled_{false};
  std::atomic<NSOperationQueuePriority> priority_{NSOperationQueuePriorityNormal};
  std::function<void()> completionBlock_;
  CompletionMode completionMode_ = CompletionMode::kQueued;
  // What few operations have (a name, dependencies, dependents): made when first set, so that
  // the usual operation neither makes nor destroys them (guarded by mutex_).
  struct Relations {
    std::shared_ptr<NSString> name;
    std::vector<std::shared_ptr<NSOperation>> dependencies;
    std::vector<std::weak_ptr<NSOperation>> dependents;
  };
  Relations& relations() {
    if (!relations_) relations_ = std::make_unique<Relations>();
    return *relations_;
  }
  std::unique_ptr<Relations> relations_;
  std::weak_ptr<NSOperationQueue> queue_;
  bool enqueued_ = false;
  bool startedByQueue_ = false;  // guarded by the queue's mutex
};

// An operation that runs one or more blocks, one after another, in main().
class NSBlockOperation : public NSOperation {
 public:
  static std::shared_ptr<NSBlockOperation> blockOperationWithBlock(std::function<void()> block);
  static std::shared_ptr<NSBlockOperation> make() { return std::make_shared<NSBlockOperation>(); }
  void addExecutionBlock(std::function<void()> block);
  std::vector<std::function<void()>> executionBlocks() const;
  void main() override;

 private:
  mutable std::mutex blocksMutex_;
  std::vector<std::function<void()>> blocks_;
};

inline constexpr NSInteger NSOperationQueueDefaultMaxConcurrentOperationCount = -1;

class NSOperationQueue : public NSObject {
 public:
  NSOperationQueue() = default;
  ~NSOperationQueue() override;

  static std::shared_ptr<NSOperationQueue> make() { return std::make_shared<NSOperationQueue>(); }
  // The queue of the main thread: its operations start on the main run loop, one at a time.
  static std::shared_ptr<NSOperationQueue> mainQueue();
  // The queue whose operation the calling thread is running (the main queue on the main
  // thread outside any operation), or nil.
  static std::shared_ptr<NSOperationQueue> currentQueue();

  // Adding an operation that is already in a queue, executing or finished raises
  // NSInvalidArgumentException.
  void addOperation(const std::shared_ptr<NSOperation>& operation);
  void addOperations(const std::vector<std::shared_ptr<NSOperation>>& operations, bool waitUntilFinished);
  void addOperationWithBlock(std::function<void()> block);

  // The operations not yet finished, in the order they were added.
  std::vector<std::shared_ptr<NSOperation>> operations() const;
  NSUInteger operationCount() const;

  // -1 (the default): as many as the worker pool runs.
  NSInteger maxConcurrentOperationCount() const;
  void setMaxConcurrentOperationCount(NSInteger count);
  bool isSuspended() const;
  void setSuspended(bool suspended);
  std::shared_ptr<NSString> name() const;
  void setName(const std::shared_ptr<NSString>& name);

  void cancelAllOperations();
  // Blocks until every operation added so far has finished.
  void waitUntilAllOperationsAreFinished();

 private:
  friend class NSOperation;
  // mayStartHere: the calling thread holds no lock of an operation (it is adding one), so an
  // operation whose start only hands off may start on it.
  void pump(bool mayStartHere = false) {
    // Nothing waits (the usual case once the queue has started its operation): an operation
    // added meanwhile is pumped by the thread adding it.
    if (waiting_.load(std::memory_order_acquire) != 0) pumpWaiting(mayStartHere);
  }
  void pumpWaiting(bool mayStartHere);
  void launch(const std::shared_ptr<NSOperation>& operation, bool mayStartHere);
  void operationFinished(const NSOperation* operation);

  bool main_ = false;
  mutable std::mutex mutex_;
  std::condition_variable emptyCV_;
  unsigned emptyWaiters_ = 0;  // threads in waitUntilAllOperationsAreFinished (guarded by mutex_)
  // The operations not finished, in the order added (an operation is in one queue at most, for
  // good: whether the queue started it is a flag of its own).
  std::vector<std::shared_ptr<NSOperation>> entries_;
  NSInteger maxConcurrent_ = NSOperationQueueDefaultMaxConcurrentOperationCount;
  NSInteger executing_ = 0;
  std::atomic<NSInteger> waiting_{0};  // entries not started yet (changed under the lock)
  bool suspended_ = false;
  std::shared_ptr<NSString> name_;
};
