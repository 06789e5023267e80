#include "platform/foundation/Dispatch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/RuntimeInternal.h"

namespace {

[[noreturn]] void dispatchFatal(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::fputs("dispatch: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::fflush(stderr);
  std::abort();
}

// ---------------------------------------------------------------------------------------------
// The worker pool: a fixed number of threads, plus one more for each worker that blocks in a
// dispatch wait (so that what it waits for can still run).


class WorkerPool {
 public:
  static WorkerPool& shared() {
    static WorkerPool* pool = new WorkerPool();  // never destroyed: workers outlive main()
    return *pool;
  }

  void submit(std::function<void()> task) {
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
      queued_.store(tasks_.size(), std::memory_order_release);
      if (idle_ == 0 && running() < base_) spawnLocked();
      // A spinning worker takes the first task without being woken; it looks under this lock
      // before it sleeps, so it cannot miss one queued while it spun.
      wake = tasks_.size() > spinners_;
    }
    // Outside the lock: the woken worker takes it at once instead of waiting for us.
    if (wake) cv_.notify_one();
  }

  void willBlock() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++blocked_;
    if (running() < base_ && threads_ < kHardLimit) spawnLocked();
  }

  void didUnblock() {
    std::lock_guard<std::mutex> lock(mutex_);
    --blocked_;
  }

  size_t base() const { return base_; }

 private:
  static constexpr size_t kHardLimit = 512;

  WorkerPool() {
    size_t hw = std::thread::hardware_concurrency();
    base_ = std::clamp<size_t>(hw * 2, 8, 32);
  }

  size_t running() const { return threads_ - blocked_; }

  void spawnLocked() {
    ++threads_;
    std::thread([this] { work(); }).detach();
  }

  void work() {
    zvt::onDispatchWorker = true;
    bool justWorked = false;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ++idle_;
      // One worker at a time, right after a task, looks for the next before it sleeps: the
      // next block of a chain of hand-offs then finds a thread awake.
      if (justWorked && tasks_.empty() && spinners_ == 0) {
        int64_t budget = zvt::spin::budgetNanos();
        if (budget > 0) {
          ++spinners_;
          lock.unlock();
          zvt::spin::spinUntil(budget, [this] { return queued_.load(std::memory_order_acquire) > 0; });
          lock.lock();
          --spinners_;
        }
      }
      cv_.wait(lock, [this] { return !tasks_.empty(); });
      --idle_;
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      queued_.store(tasks_.size(), std::memory_order_relaxed);
      justWorked = true;
      lock.unlock();
      task();
      task = nullptr;  // release captures outside the lock
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
  size_t base_ = 8;
  size_t threads_ = 0;
  size_t idle_ = 0;
  size_t blocked_ = 0;
  size_t spinners_ = 0;              // idle workers spinning instead of waiting on cv_
  std::atomic<size_t> queued_{0};    // tasks_.size(), for spinners to watch without the lock
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Queues.

struct DispatchSyncGate {
  std::mutex mutex;
  std::condition_variable cv;
  bool granted = false;
  bool done = false;
  std::exception_ptr error;

  void grant() {
    std::lock_guard<std::mutex> lock(mutex);
    granted = true;
    cv.notify_all();
  }
  void finish() {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    cv.notify_all();
  }
};

namespace {

// A queue's waiting items in order: a ring that doubles when full and keeps its room, so that a
// queue whose few items come and go (the main queue's hand-offs) allocates nothing per item.
template <class T>
class ItemRing {
 public:
  ItemRing() = default;
  ItemRing(const ItemRing&) = delete;
  ItemRing& operator=(const ItemRing&) = delete;
  ~ItemRing() {
    while (count_ > 0) pop_front();
    ::operator delete(slots_);
  }
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  T& front() { return slots_[head_]; }
  void pop_front() {
    slots_[head_].~T();
    head_ = (head_ + 1) & (capacity_ - 1);
    --count_;
  }
  T& push_back(T&& item) { return emplace_back(std::move(item)); }
  template <class... Args>
  T& emplace_back(Args&&... args) {
    if (count_ == capacity_) grow();
    T* slot = new (&slots_[(head_ + count_) & (capacity_ - 1)]) T(std::forward<Args>(args)...);
    ++count_;
    return *slot;
  }

 private:
  [[gnu::noinline]] void grow() {
    size_t capacity = capacity_ ? capacity_ * 2 : 8;
    T* slots = static_cast<T*>(::operator new(capacity * sizeof(T)));
    for (size_t i = 0; i < count_; ++i) {
      T& from = slots_[(head_ + i) & (capacity_ - 1)];
      new (&slots[i]) T(std::move(from));
      from.~T();
    }
    ::operator delete(slots_);
    slots_ = slots;
    capacity_ = capacity;
    head_ = 0;
  }

  T* slots_ = nullptr;
  size_t capacity_ = 0;  // 0 or a power of two
  size_t head_ = 0;
  size_t count_ = 0;
};

}  // namespace

struct dispatch_queue_s : std::enable_shared_from_this<dispatch_queue_s> {
  enum class Kind { Serial, Concurrent, Main };

  struct Item {
    Item() = default;
    explicit Item(dispatch_block_t b) : block(std::move(b)) {}
    dispatch_block_t block;
    bool barrier = false;
    bool exclusive = false;  // decided when started
    // Rarely anything: without a block, the gate of a dispatch_sync waiting for its turn; with
    // one, the group of dispatch_group_async, left once the block has run. One pointer, so that
    // the usual item moves and goes cheaply.
    std::shared_ptr<void> tie;
    DispatchSyncGate* gate() const { return block ? nullptr : static_cast<DispatchSyncGate*>(tie.get()); }
    dispatch_group_s* group() const { return block ? static_cast<dispatch_group_s*>(tie.get()) : nullptr; }
  };
  struct Specific {
    void* context;
    dispatch_function_t destructor;
  };

  dispatch_queue_s(std::string l, Kind k) : label(std::move(l)), kind(k) {}
  ~dispatch_queue_s() {
    for (auto& entry : specifics)
      if (entry.second.destructor) entry.second.destructor(entry.second.context);
  }

  const std::string label;
  const Kind kind;
  std::mutex mutex;
  ItemRing<Item> items;
  int running = 0;         // non-exclusive blocks running
  bool exclusive = false;  // a serial block, a barrier or a sync caller holds the queue
  int suspended = 0;
  std::unordered_map<const void*, Specific> specifics;
};

namespace {

// The queues whose blocks the calling thread is running, innermost first.
struct Frame {
  dispatch_queue_s* queue;
  Frame* outer;
};
thread_local Frame* innermostFrame = nullptr;

struct FrameScope {
  Frame frame;
  explicit FrameScope(dispatch_queue_s* queue) : frame{queue, innermostFrame} { innermostFrame = &frame; }
  ~FrameScope() { innermostFrame = frame.outer; }
  FrameScope(const FrameScope&) = delete;
  FrameScope& operator=(const FrameScope&) = delete;
};

void leaveGroup(dispatch_group_s& group);

// The main queue's items.size(), kept under its lock and read without it: a pass of the main run
// loop that finds nothing waiting takes no lock (a block queued meanwhile wakes the loop).
std::atomic<size_t> mainQueueWaiting{0};

// Every push onto the main queue goes through here: the count a pass reads without the lock
// must follow the ring.
template <class... Args>
void pushOnMainQueue(dispatch_queue_s& q, Args&&... args) {
  std::lock_guard<std::mutex> lock(q.mutex);
  q.items.emplace_back(std::forward<Args>(args)...);
  mainQueueWaiting.store(q.items.size(), std::memory_order_release);
}
// The main queue once made: a queue that something waits on exists, so the main loop's drain
// reaches it without the look at the function-local static.
std::atomic<dispatch_queue_s*> mainQueueMade{nullptr};

bool runningOn(const dispatch_queue_s* queue) {
  for (Frame* f = innermostFrame; f; f = f->outer)
    if (f->queue == queue) return true;
  return false;
}

// Takes, under the queue's lock, the items that may start now.
void pumpLocked(dispatch_queue_s& q, std::vector<dispatch_queue_s::Item>& started) {
  if (q.kind == dispatch_queue_s::Kind::Main) return;  // the main run loop drains it
  while (!q.items.empty() && q.suspended == 0 && !q.exclusive) {
    dispatch_queue_s::Item& front = q.items.front();
    bool exclusive = q.kind == dispatch_queue_s::Kind::Serial || front.barrier;
    if (exclusive) {
      if (q.running > 0) break;
      q.exclusive = true;
    } else {
      ++q.running;
    }
    front.exclusive = exclusive;
    started.push_back(std::move(front));
    q.items.pop_front();
    if (exclusive) break;
  }
}

void launch(const dispatch_queue_t& q, std::vector<dispatch_queue_s::Item>& started);

void complete(const dispatch_queue_t& q, bool exclusive) {
  std::vector<dispatch_queue_s::Item> started;
  {
    std::lock_guard<std::mutex> lock(q->mutex);
    if (exclusive) {
      q->exclusive = false;
    } else {
      --q->running;
    }
    if (q->items.empty()) return;  // mostly: nothing waited for this block to end
    pumpLocked(*q, started);
  }
  launch(q, started);
}

void runBlockOnWorker(const dispatch_queue_t& q, dispatch_queue_s::Item& item) {
  {
    FrameScope scope(q.get());
    try {
      item.block();
      if (dispatch_group_s* group = item.group()) leaveGroup(*group);
    } catch (const std::exception& e) {
      dispatchFatal("uncaught exception in a block on queue \"%s\": %s", q->label.c_str(), e.what());
    } catch (...) {
      dispatchFatal("uncaught exception in a block on queue \"%s\"", q->label.c_str());
    }
  }
  item.block = nullptr;  // captures go before the queue moves on
  complete(q, item.exclusive);
}

void launch(const dispatch_queue_t& q, std::vector<dispatch_queue_s::Item>& started) {
  for (auto& item : started) {
    if (DispatchSyncGate* gate = item.gate()) {
      gate->grant();
    } else {
      WorkerPool::shared().submit(
          [q, item = std::move(item)]() mutable { runBlockOnWorker(q, item); });
    }
  }
}

void enqueue(const dispatch_queue_t& q, dispatch_queue_s::Item&& item) {
  if (q->kind == dispatch_queue_s::Kind::Main) {  // the main run loop drains it
    pushOnMainQueue(*q, std::move(item));
    zvt::wakeMainRunLoop();
    return;
  }
  std::vector<dispatch_queue_s::Item> started;
  {
    std::lock_guard<std::mutex> lock(q->mutex);
    q->items.push_back(std::move(item));
    pumpLocked(*q, started);
  }
  launch(q, started);
}

dispatch_queue_t makeQueue(const char* label, dispatch_queue_s::Kind kind) {
  return std::make_shared<dispatch_queue_s>(label ? label : "", kind);
}

void syncOn(const dispatch_queue_t& q, const dispatch_block_t& block, bool barrier) {
  if (!q) dispatchFatal("dispatch_sync onto a null queue");
  if (q->kind == dispatch_queue_s::Kind::Main) {
    if (zvt::onMainThread())
      dispatchFatal("dispatch_sync onto the main queue from the main thread would wait for itself");
    auto gate = std::make_shared<DispatchSyncGate>();
    dispatch_queue_s::Item item;
    item.block = [&block, gate] {
      try {
        block();
      } catch (...) {
        gate->error = std::current_exception();
      }
      gate->finish();
    };
    enqueue(q, std::move(item));
    {
      zvt::BlockingScope blocking;
      std::unique_lock<std::mutex> lock(gate->mutex);
      gate->cv.wait(lock, [&] { return gate->done; });
    }
    if (gate->error) std::rethrow_exception(gate->error);
    return;
  }

  bool exclusive = q->kind == dispatch_queue_s::Kind::Serial || barrier;
  if (runningOn(q.get())) {
    if (exclusive)
      dispatchFatal("dispatch_sync onto queue \"%s\", which the calling thread is running: it would "
                    "wait for itself",
                    q->label.c_str());
    // One more block of a concurrent queue this thread already runs on: run it at once
    // rather than behind a barrier that waits for this very thread.
    {
      std::lock_guard<std::mutex> lock(q->mutex);
      ++q->running;
    }
    struct Done {
      const dispatch_queue_t& q;
      ~Done() { complete(q, false); }
    } done{q};
    FrameScope scope(q.get());
    block();
    return;
  }

  auto gate = std::make_shared<DispatchSyncGate>();
  dispatch_queue_s::Item item;
  item.barrier = barrier;
  item.tie = gate;
  enqueue(q, std::move(item));
  {
    zvt::BlockingScope blocking;
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->cv.wait(lock, [&] { return gate->granted; });
  }
  struct Done {
    const dispatch_queue_t& q;
    bool exclusive;
    ~Done() { complete(q, exclusive); }
  } done{q, exclusive};
  FrameScope scope(q.get());
  block();
}

// ---------------------------------------------------------------------------------------------
// Delayed work: one manager keeps every pending dispatch_after block and timer expiry, fires
// them at their deadline on Clock's monotonic time from its own thread, and, under a virtual
// clock, from the thread that advances the clock.

class AfterManager : public zvt::TimeSource {
 public:
  using Key = std::pair<int64_t, uint64_t>;  // deadline, sequence

  static AfterManager& shared() {
    static std::shared_ptr<AfterManager>* manager = [] {
      auto* m = new std::shared_ptr<AfterManager>(new AfterManager());
      zvt::registerTimeSource(*m);
      std::thread([m = m->get()] { m->run(); }).detach();
      return m;
    }();
    return **manager;
  }

  Key add(int64_t deadline, std::function<void()> fire) {
    std::lock_guard<std::mutex> lock(mutex_);
    Key key{deadline, ++sequence_};
    entries_.emplace(key, std::move(fire));
    cv_.notify_all();
    return key;
  }

  void remove(const Key& key) {
    std::function<void()> dropped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = entries_.find(key);
      if (it == entries_.end()) return;
      dropped = std::move(it->second);
      entries_.erase(it);
    }
  }

  int64_t nextDeadlineAfter(int64_t after) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.upper_bound(Key{after, UINT64_MAX});
    return it == entries_.end() ? zvt::kNoDeadline : it->first.first;
  }

  void timeAdvanced() override {
    if (zvt::isAdvancingClockOnThisThread()) {
      fireDue();
      if (zvt::onMainThread()) zvt::drainMainQueue();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
    }
    cv_.notify_all();
  }

  int order() const override { return 0; }

 private:
  AfterManager() = default;

  // Hands every due entry to its queue, earliest first; one firer at a time so that the
  // queues receive them in deadline order.
  void fireDue() {
    std::lock_guard<std::mutex> firing(firing_);
    for (;;) {
      std::function<void()> fire;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (entries_.empty()) return;
        auto it = entries_.begin();
        if (it->first.first > Clock::nowNanos()) return;
        fire = std::move(it->second);
        entries_.erase(it);
      }
      fire();
    }
  }

  void run() {
    for (;;) {
      fireDue();
      std::unique_lock<std::mutex> lock(mutex_);
      auto clock = Clock::current();
      if (entries_.empty() || clock->isVirtual()) {
        // A virtual clock's advance fires from the advancing thread and then wakes us.
        cv_.wait(lock);
      } else {
        int64_t wait = entries_.begin()->first.first - clock->monotonicNanos();
        if (wait > 0) cv_.wait_for(lock, std::chrono::nanoseconds(wait));
      }
    }
  }

  std::mutex mutex_;
  std::mutex firing_;
  std::condition_variable cv_;
  std::map<Key, std::function<void()>> entries_;
  uint64_t sequence_ = 0;
};

int64_t deadlineOf(dispatch_time_t when) {
  if (when == DISPATCH_TIME_FOREVER) return zvt::kNoDeadline;
  if (when == DISPATCH_TIME_NOW) return Clock::nowNanos();
  if (when >= static_cast<dispatch_time_t>(INT64_MAX)) return zvt::kNoDeadline;
  return static_cast<int64_t>(when);
}

}  // namespace

namespace zvt {

thread_local constinit bool onDispatchWorker = false;

BlockingScope::BlockingScope() : worker_(onDispatchWorker) {
  // What the waiter waits for may need a run loop that this thread has yet to wake.
  WakeUpBatch::flush();
  if (worker_) willBlock();
}

void BlockingScope::willBlock() { WorkerPool::shared().willBlock(); }

void BlockingScope::didUnblock() { WorkerPool::shared().didUnblock(); }

size_t dispatchPoolSize() { return WorkerPool::shared().base(); }

size_t drainMainQueue() {
  if (mainQueueWaiting.load(std::memory_order_acquire) == 0) return 0;
  dispatch_queue_s& q = *mainQueueMade.load(std::memory_order_acquire);
  size_t count = 0;  // the blocks there when called, counted when the first is taken
  size_t ran = 0;
  for (;;) {
    std::unique_lock<std::mutex> lock(q.mutex);
    if (ran == 0) count = q.items.size();
    if (ran == count || q.items.empty() || q.suspended > 0) break;
    dispatch_queue_s::Item item(std::move(q.items.front()));
    q.items.pop_front();
    mainQueueWaiting.store(q.items.size(), std::memory_order_relaxed);
    lock.unlock();
    const bool last = ran + 1 == count;  // no second look when that was the last of them
    FrameScope scope(&q);
    if (dispatch_group_s* group = item.group()) [[unlikely]] {
      struct Leave {
        dispatch_group_s& group;
        ~Leave() { leaveGroup(group); }
      } leave{*group};
      item.block();
    } else {
      item.block();  // an exception goes to whoever runs the main run loop
    }
    ++ran;
    if (last) break;
  }
  return ran;
}

void dispatchAsyncOnMainQueueWithoutWakeUp(dispatch_block_t block) {
  if (!block) return;
  pushOnMainQueue(*dispatch_get_main_queue(), std::move(block));
}

bool runNowOnConcurrentQueue(const dispatch_queue_t& q, const dispatch_block_t& block) {
  if (!q || !block || q->kind != dispatch_queue_s::Kind::Concurrent) return false;
  {
    std::lock_guard<std::mutex> lock(q->mutex);
    if (q->suspended > 0 || q->exclusive || !q->items.empty()) return false;
    ++q->running;
  }
  struct Done {
    const dispatch_queue_t& q;
    ~Done() { complete(q, false); }
  } done{q};
  FrameScope scope(q.get());
  try {
    block();
  } catch (const std::exception& e) {
    dispatchFatal("uncaught exception in a block on queue \"%s\": %s", q->label.c_str(), e.what());
  } catch (...) {
    dispatchFatal("uncaught exception in a block on queue \"%s\"", q->label.c_str());
  }
  return true;
}

bool mainQueueHasBlocks() {
  if (mainQueueWaiting.load(std::memory_order_acquire) == 0) return false;
  dispatch_queue_s& q = *mainQueueMade.load(std::memory_order_acquire);
  std::lock_guard<std::mutex> lock(q.mutex);
  return !q.items.empty() && q.suspended == 0;
}

}  // namespace zvt

// ---------------------------------------------------------------------------------------------

dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta) {
  if (when == DISPATCH_TIME_FOREVER) return DISPATCH_TIME_FOREVER;
  int64_t base = when == DISPATCH_TIME_NOW ? Clock::nowNanos() : static_cast<int64_t>(when);
  int64_t t = zvt::addSaturating(base, delta);
  if (t <= 0) return 1;  // the earliest time that is not "now"
  if (t == INT64_MAX) return DISPATCH_TIME_FOREVER;
  return static_cast<dispatch_time_t>(t);
}

const dispatch_queue_t& dispatch_get_main_queue() {
  static const dispatch_queue_t& main = [] () -> const dispatch_queue_t& {
    auto* made = new dispatch_queue_t(makeQueue("com.apple.main-thread", dispatch_queue_s::Kind::Main));  // never destroyed
    mainQueueMade.store(made->get(), std::memory_order_release);
    return *made;
  }();
  return main;
}

dispatch_queue_t dispatch_get_global_queue(long identifier, unsigned long /*flags*/) {
  static dispatch_queue_t* queues = new dispatch_queue_t[4]{
      makeQueue("com.apple.root.high-priority", dispatch_queue_s::Kind::Concurrent),
      makeQueue("com.apple.root.default-priority", dispatch_queue_s::Kind::Concurrent),
      makeQueue("com.apple.root.low-priority", dispatch_queue_s::Kind::Concurrent),
      makeQueue("com.apple.root.background-priority", dispatch_queue_s::Kind::Concurrent)};
  if (identifier >= DISPATCH_QUEUE_PRIORITY_HIGH) return queues[0];
  if (identifier >= DISPATCH_QUEUE_PRIORITY_DEFAULT) return queues[1];
  if (identifier >= DISPATCH_QUEUE_PRIORITY_LOW) return queues[2];
  return queues[3];
}

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr) {
  return makeQueue(label, attr == DISPATCH_QUEUE_CONCURRENT ? dispatch_queue_s::Kind::Concurrent
                                                            : dispatch_queue_s::Kind::Serial);
}

dispatch_queue_t dispatch_queue_create(const char* label, std::nullptr_t) {
  return dispatch_queue_create(label, DISPATCH_QUEUE_SERIAL);
}

const char* dispatch_queue_get_label(const dispatch_queue_t& queue) {
  if (queue) return queue->label.c_str();
  if (innermostFrame) return innermostFrame->queue->label.c_str();
  if (zvt::onMainThread()) return dispatch_get_main_queue()->label.c_str();
  return "";
}

void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block) {
  if (!queue || !block) return;
  if (queue->kind == dispatch_queue_s::Kind::Main) {  // the main run loop drains it
    pushOnMainQueue(*queue, std::move(block));
    zvt::wakeMainRunLoop();
    return;
  }
  dispatch_queue_s::Item item;
  item.block = std::move(block);
  enqueue(queue, std::move(item));
}

void dispatch_barrier_async(const dispatch_queue_t& queue, dispatch_block_t block) {
  if (!queue || !block) return;
  dispatch_queue_s::Item item;
  item.block = std::move(block);
  item.barrier = true;
  enqueue(queue, std::move(item));
}

void dispatch_sync(const dispatch_queue_t& queue, const dispatch_block_t& block) {
  if (!block) return;
  syncOn(queue, block, false);
}

void dispatch_barrier_sync(const dispatch_queue_t& queue, const dispatch_block_t& block) {
  if (!block) return;
  syncOn(queue, block, true);
}

void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block) {
  if (!queue || !block) return;
  int64_t deadline = deadlineOf(when);
  if (deadline == zvt::kNoDeadline) return;  // "forever" never comes
  if (deadline <= Clock::nowNanos()) {
    dispatch_async(queue, std::move(block));
    return;
  }
  AfterManager::shared().add(deadline, [queue, block = std::move(block)]() mutable {
    dispatch_async(queue, std::move(block));
  });
}

void dispatch_suspend(const dispatch_queue_t& queue) {
  if (!queue) return;
  std::lock_guard<std::mutex> lock(queue->mutex);
  ++queue->suspended;
}

void dispatch_resume(const dispatch_queue_t& queue) {
  if (!queue) return;
  std::vector<dispatch_queue_s::Item> started;
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (queue->suspended == 0) dispatchFatal("over-resume of queue \"%s\"", queue->label.c_str());
    --queue->suspended;
    pumpLocked(*queue, started);
  }
  if (queue->kind == dispatch_queue_s::Kind::Main) zvt::wakeMainRunLoop();
  launch(queue, started);
}

void dispatch_queue_set_specific(const dispatch_queue_t& queue, const void* key, void* context,
                                 dispatch_function_t destructor) {
  if (!queue || !key) return;
  dispatch_queue_s::Specific old{nullptr, nullptr};
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    auto it = queue->specifics.find(key);
    if (it != queue->specifics.end()) {
      old = it->second;
      queue->specifics.erase(it);
    }
    if (context) queue->specifics[key] = {context, destructor};
  }
  if (old.destructor) old.destructor(old.context);
}

void* dispatch_queue_get_specific(const dispatch_queue_t& queue, const void* key) {
  if (!queue || !key) return nullptr;
  std::lock_guard<std::mutex> lock(queue->mutex);
  auto it = queue->specifics.find(key);
  return it == queue->specifics.end() ? nullptr : it->second.context;
}

void* dispatch_get_specific(const void* key) {
  if (!key) return nullptr;
  dispatch_queue_s* q = nullptr;
  if (innermostFrame) {
    q = innermostFrame->queue;
  } else if (zvt::onMainThread()) {
    q = dispatch_get_main_queue().get();
  }
  if (!q) return nullptr;
  std::lock_guard<std::mutex> lock(q->mutex);
  auto it = q->specifics.find(key);
  return it == q->specifics.end() ? nullptr : it->second.context;
}

// ---------------------------------------------------------------------------------------------
// Groups.

struct dispatch_group_s {
  std::mutex mutex;
  std::condition_variable cv;
  long count = 0;
  long waiters = 0;  // threads in dispatch_group_wait: an emptied group wakes only those
  std::vector<std::pair<dispatch_queue_t, dispatch_block_t>> notifications;
};

dispatch_group_t dispatch_group_create() { return std::make_shared<dispatch_group_s>(); }

void dispatch_group_enter(const dispatch_group_t& group) {
  if (!group) return;
  std::lock_guard<std::mutex> lock(group->mutex);
  ++group->count;
}

namespace {

void leaveGroup(dispatch_group_s& group) {
  std::vector<std::pair<dispatch_queue_t, dispatch_block_t>> due;
  {
    std::lock_guard<std::mutex> lock(group.mutex);
    if (group.count == 0) dispatchFatal("dispatch_group_leave without a matching dispatch_group_enter");
    if (--group.count == 0) {
      due.swap(group.notifications);
      if (group.waiters > 0) group.cv.notify_all();
    }
  }
  for (auto& n : due) dispatch_async(n.first, std::move(n.second));
}

}  // namespace

void dispatch_group_leave(const dispatch_group_t& group) {
  if (!group) return;
  leaveGroup(*group);
}

void dispatch_group_async(const dispatch_group_t& group, const dispatch_queue_t& queue,
                          dispatch_block_t block) {
  if (!group || !queue || !block) return;
  dispatch_group_enter(group);
  // The item leaves the group once its block has run: no second block around the first.
  dispatch_queue_s::Item item;
  item.block = std::move(block);
  item.tie = group;
  enqueue(queue, std::move(item));
}

void dispatch_group_notify(const dispatch_group_t& group, const dispatch_queue_t& queue,
                           dispatch_block_t block) {
  if (!group || !queue || !block) return;
  {
    std::lock_guard<std::mutex> lock(group->mutex);
    if (group->count > 0) {
      group->notifications.emplace_back(queue, std::move(block));
      return;
    }
  }
  dispatch_async(queue, std::move(block));
}

long dispatch_group_wait(const dispatch_group_t& group, dispatch_time_t timeout) {
  if (!group) return 0;
  int64_t deadline = deadlineOf(timeout);
  zvt::BlockingScope blocking;
  std::unique_lock<std::mutex> lock(group->mutex);
  ++group->waiters;
  bool emptied = zvt::waitUntilDeadline(lock, group->cv, deadline, [&] { return group->count == 0; });
  --group->waiters;
  return emptied ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Semaphores.

struct dispatch_semaphore_s {
  std::mutex mutex;
  std::condition_variable cv;
  long value = 0;
  long waiters = 0;
};

dispatch_semaphore_t dispatch_semaphore_create(long value) {
  if (value < 0) return nullptr;
  auto s = std::make_shared<dispatch_semaphore_s>();
  s->value = value;
  return s;
}

long dispatch_semaphore_signal(const dispatch_semaphore_t& semaphore) {
  if (!semaphore) return 0;
  std::lock_guard<std::mutex> lock(semaphore->mutex);
  ++semaphore->value;
  if (semaphore->waiters > 0) {
    semaphore->cv.notify_one();
    return 1;
  }
  return 0;
}

long dispatch_semaphore_wait(const dispatch_semaphore_t& semaphore, dispatch_time_t timeout) {
  if (!semaphore) return 0;
  int64_t deadline = deadlineOf(timeout);
  zvt::BlockingScope blocking;
  std::unique_lock<std::mutex> lock(semaphore->mutex);
  ++semaphore->waiters;
  bool taken = zvt::waitUntilDeadline(lock, semaphore->cv, deadline,
                                      [&] { return semaphore->value > 0; });
  --semaphore->waiters;
  if (!taken) return 1;
  --semaphore->value;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Timer sources.

struct dispatch_source_type_s {
  const char* name;
};
const dispatch_source_type_s kDispatchSourceTypeTimer{"timer"};

struct dispatch_source_s : std::enable_shared_from_this<dispatch_source_s> {
  dispatch_queue_t queue;
  std::mutex mutex;
  dispatch_block_t handler;
  dispatch_block_t cancelHandler;
  bool hasTimer = false;
  int64_t nextDeadline = zvt::kNoDeadline;
  int64_t interval = 0;  // 0: fires once
  int suspended = 1;
  bool cancelled = false;
  bool armed = false;
  AfterManager::Key armedKey{0, 0};
  uint64_t generation = 0;
  uint64_t pending = 0;
  bool runnerQueued = false;
  bool cancelHandlerRan = false;

  void disarmLocked() {
    if (armed) AfterManager::shared().remove(armedKey);
    armed = false;
    ++generation;
  }

  void armLocked() {
    if (!hasTimer || cancelled || suspended > 0 || nextDeadline == zvt::kNoDeadline) return;
    uint64_t gen = generation;
    int64_t deadline = nextDeadline;
    // The pending expiry holds the source: a resumed source lives until it is cancelled.
    auto self = shared_from_this();
    armedKey = AfterManager::shared().add(deadline, [self, gen, deadline] { self->expire(gen, deadline); });
    armed = true;
  }

  void queueRunnerLocked() {
    if (runnerQueued) return;
    runnerQueued = true;
    auto self = shared_from_this();
    dispatch_async(queue, [self] { self->runHandlers(); });
  }

  void expire(uint64_t gen, int64_t deadline) {
    std::lock_guard<std::mutex> lock(mutex);
    if (gen != generation || cancelled || suspended > 0) return;
    armed = false;
    ++pending;
    if (interval > 0) {
      int64_t next = zvt::addSaturating(deadline, interval);
      auto clock = Clock::current();
      if (!clock->isVirtual()) {
        // A late real clock skips the expiries it missed, as a run-loop timer does; a virtual
        // clock steps through each of them.
        int64_t now = clock->monotonicNanos();
        if (next <= now) next = zvt::addSaturating(next, ((now - next) / interval + 1) * interval);
      }
      nextDeadline = next;
      armLocked();
    } else {
      nextDeadline = zvt::kNoDeadline;
    }
    queueRunnerLocked();
  }

  void runHandlers() {
    for (;;) {
      dispatch_block_t call;
      bool last = false;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (cancelled) {
          runnerQueued = false;
          if (cancelHandlerRan) return;
          cancelHandlerRan = true;
          call = std::move(cancelHandler);
          cancelHandler = nullptr;
          handler = nullptr;  // nothing can fire any more: let go of what the blocks hold
          last = true;
        } else if (pending == 0 || suspended > 0) {
          runnerQueued = false;
          return;
        } else {
          --pending;
          call = handler;
        }
      }
      if (call) call();
      if (last) return;
    }
  }
};

dispatch_source_t dispatch_source_create(dispatch_source_type_t type, uintptr_t /*handle*/,
                                         unsigned long /*mask*/, const dispatch_queue_t& queue) {
  if (type != DISPATCH_SOURCE_TYPE_TIMER) return nullptr;
  auto source = std::make_shared<dispatch_source_s>();
  source->queue = queue ? queue : dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
  return source;
}

void dispatch_source_set_timer(const dispatch_source_t& source, dispatch_time_t start,
                               uint64_t interval, uint64_t /*leeway*/) {
  if (!source) return;
  std::lock_guard<std::mutex> lock(source->mutex);
  if (source->cancelled) return;
  source->disarmLocked();
  source->hasTimer = true;
  source->pending = 0;
  source->nextDeadline = deadlineOf(start);
  source->interval = (interval == DISPATCH_TIME_FOREVER || interval >= static_cast<uint64_t>(INT64_MAX))
                         ? 0
                         : static_cast<int64_t>(interval);
  source->armLocked();
}

void dispatch_source_set_event_handler(const dispatch_source_t& source, dispatch_block_t handler) {
  if (!source) return;
  std::lock_guard<std::mutex> lock(source->mutex);
  if (!source->cancelled) source->handler = std::move(handler);
}

void dispatch_source_set_cancel_handler(const dispatch_source_t& source, dispatch_block_t handler) {
  if (!source) return;
  std::lock_guard<std::mutex> lock(source->mutex);
  if (!source->cancelled) source->cancelHandler = std::move(handler);
}

void dispatch_source_cancel(const dispatch_source_t& source) {
  if (!source) return;
  std::lock_guard<std::mutex> lock(source->mutex);
  if (source->cancelled) return;
  source->cancelled = true;
  source->disarmLocked();
  source->pending = 0;
  source->queueRunnerLocked();
}

long dispatch_source_testcancel(const dispatch_source_t& source) {
  if (!source) return 0;
  std::lock_guard<std::mutex> lock(source->mutex);
  return source->cancelled ? 1 : 0;
}

unsigned long dispatch_source_get_data(const dispatch_source_t& source) { return source ? 1 : 0; }

void dispatch_suspend(const dispatch_source_t& source) {
  if (!source) return;
  std::lock_guard<std::mutex> lock(source->mutex);
  if (source->suspended++ == 0) source->disarmLocked();
}

void dispatch_resume(const dispatch_source_t& source) {
  if (!source) return;
  std::lock_guard<std::mutex> lock(source->mutex);
  if (source->suspended == 0) dispatchFatal("over-resume of a dispatch source");
  if (--source->suspended > 0) return;
  int64_t now = Clock::nowNanos();
  if (source->hasTimer && !source->cancelled && source->nextDeadline <= now) {
    // Expiries missed while suspended come as one, at once; the schedule keeps its grid.
    ++source->pending;
    if (source->interval > 0) {
      int64_t i = source->interval;
      source->nextDeadline = zvt::addSaturating(source->nextDeadline, ((now - source->nextDeadline) / i + 1) * i);
    } else {
      source->nextDeadline = zvt::kNoDeadline;
    }
  }
  source->armLocked();
  if (source->pending > 0) source->queueRunnerLocked();
}
