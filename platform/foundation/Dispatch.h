// Dispatch queues, groups, semaphores, once and timer sources, with the C-style names of the
// system library so that code written against it reads the same.
//
// - The main queue is drained only by the main run loop (NSRunLoop::mainRunLoop()), or by a
//   VirtualClock advanced on the main thread.
// - Global queues are concurrent queues on one fixed pool of worker threads; queues made with
//   dispatch_queue_create run on the same pool.
// - A serial queue runs one block at a time, in FIFO order. A barrier block on a concurrent
//   queue waits for the blocks before it and runs alone.
// - dispatch_sync runs the block on the calling thread once the queue lets it (the main queue:
//   on the main thread). A dispatch_sync that would wait for the caller itself (onto the
//   serial queue it runs on, a barrier onto its own concurrent queue, onto the main queue from
//   the main thread) stops the process with a message instead of deadlocking silently.
// - dispatch_after and timer sources are scheduled on Clock's monotonic time; a VirtualClock
//   fires them in deadline order when advanced.
//
// Objects are held by std::shared_ptr (what ARC does for dispatch objects); blocks are
// std::function.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

using dispatch_block_t = std::function<void()>;
using dispatch_function_t = void (*)(void*);

// Nanoseconds on Clock's monotonic time; 0 means "now", all ones "forever".
using dispatch_time_t = uint64_t;
inline constexpr dispatch_time_t DISPATCH_TIME_NOW = 0;
inline constexpr dispatch_time_t DISPATCH_TIME_FOREVER = ~0ull;
inline constexpr uint64_t NSEC_PER_SEC = 1000000000ull;
inline constexpr uint64_t NSEC_PER_MSEC = 1000000ull;
inline constexpr uint64_t NSEC_PER_USEC = 1000ull;
inline constexpr uint64_t USEC_PER_SEC = 1000000ull;

struct dispatch_queue_s;
struct dispatch_group_s;
struct dispatch_semaphore_s;
struct dispatch_source_s;
struct dispatch_source_type_s;
using dispatch_queue_t = std::shared_ptr<dispatch_queue_s>;
using dispatch_group_t = std::shared_ptr<dispatch_group_s>;
using dispatch_semaphore_t = std::shared_ptr<dispatch_semaphore_s>;
using dispatch_source_t = std::shared_ptr<dispatch_source_s>;
using dispatch_source_type_t = const dispatch_source_type_s*;

enum dispatch_queue_attr_t { DISPATCH_QUEUE_SERIAL = 0, DISPATCH_QUEUE_CONCURRENT = 1 };

inline constexpr long DISPATCH_QUEUE_PRIORITY_HIGH = 2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_DEFAULT = 0;
inline constexpr long DISPATCH_QUEUE_PRIORITY_LOW = -2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_BACKGROUND = -32768;

// dispatch_time(DISPATCH_TIME_NOW, delta) is now + delta; FOREVER stays FOREVER.
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);

// Queues.
// The main queue lives as long as the process: a reference to it costs nothing to hand on.
const dispatch_queue_t& dispatch_get_main_queue();
// One queue per priority; all of them share the worker pool (priorities are not enforced).
dispatch_queue_t dispatch_get_global_queue(long identifier, unsigned long flags);
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
// dispatch_queue_create(label, NULL): a serial queue.
dispatch_queue_t dispatch_queue_create(const char* label, std::nullptr_t);
// The queue's label ("" for none); with a null queue, the label of the queue the caller runs on.
const char* dispatch_queue_get_label(const dispatch_queue_t& queue);

void dispatch_async(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_sync(const dispatch_queue_t& queue, const dispatch_block_t& block);
void dispatch_after(dispatch_time_t when, const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_barrier_async(const dispatch_queue_t& queue, dispatch_block_t block);
void dispatch_barrier_sync(const dispatch_queue_t& queue, const dispatch_block_t& block);

// Suspension counts: a suspended queue starts no new block; a source starts suspended once.
void dispatch_suspend(const dispatch_queue_t& queue);
void dispatch_resume(const dispatch_queue_t& queue);

// Queue-specific values. The destructor (may be null) runs on the old context when it is
// replaced and when the queue goes away.
void dispatch_queue_set_specific(const dispatch_queue_t& queue, const void* key, void* context,
                                 dispatch_function_t destructor);
void* dispatch_queue_get_specific(const dispatch_queue_t& queue, const void* key);
// The value for `key` of the queue whose block the calling thread is running (the main queue
// for the main thread outside any block), or null.
void* dispatch_get_specific(const void* key);

// Groups.
dispatch_group_t dispatch_group_create();
void dispatch_group_enter(const dispatch_group_t& group);
// A leave without its enter is a programming error and stops the process.
void dispatch_group_leave(const dispatch_group_t& group);
void dispatch_group_async(const dispatch_group_t& group, const dispatch_queue_t& queue,
                          dispatch_block_t block);
void dispatch_group_notify(const dispatch_group_t& group, const dispatch_queue_t& queue,
                           dispatch_block_t block);
// 0 when the group emptied, non-zero when the time-out passed first.
long dispatch_group_wait(const dispatch_group_t& group, dispatch_time_t timeout);

// Semaphores.
dispatch_semaphore_t dispatch_semaphore_create(long value);
// Non-zero when a waiting thread was woken.
long dispatch_semaphore_signal(const dispatch_semaphore_t& semaphore);
// 0 when taken, non-zero when the time-out passed first.
long dispatch_semaphore_wait(const dispatch_semaphore_t& semaphore, dispatch_time_t timeout);

// Once.
using dispatch_once_t = std::once_flag;
inline void dispatch_once(dispatch_once_t* predicate, const dispatch_block_t& block) {
  std::call_once(*predicate, block);
}

// Timer sources (the only kind of source). Created suspended: set the timer and the handler,
// then dispatch_resume. Each expiry runs the event handler once, on the source's queue, never
// two at once; dispatch_source_get_data is 1 inside it. A resumed source keeps itself alive
// until cancelled. After dispatch_source_cancel no further handler starts; the cancel
// handler runs once, after a handler that is running has returned.
extern const dispatch_source_type_s kDispatchSourceTypeTimer;
#define DISPATCH_SOURCE_TYPE_TIMER (&kDispatchSourceTypeTimer)

dispatch_source_t dispatch_source_create(dispatch_source_type_t type, uintptr_t handle,
                                         unsigned long mask, const dispatch_queue_t& queue);
// start: first expiry; interval: nanoseconds between expiries (DISPATCH_TIME_FOREVER: once);
// leeway is ignored.
void dispatch_source_set_timer(const dispatch_source_t& source, dispatch_time_t start,
                               uint64_t interval, uint64_t leeway);
void dispatch_source_set_event_handler(const dispatch_source_t& source, dispatch_block_t handler);
void dispatch_source_set_cancel_handler(const dispatch_source_t& source, dispatch_block_t handler);
void dispatch_source_cancel(const dispatch_source_t& source);
long dispatch_source_testcancel(const dispatch_source_t& source);
unsigned long dispatch_source_get_data(const dispatch_source_t& source);
void dispatch_suspend(const dispatch_source_t& source);
void dispatch_resume(const dispatch_source_t& source);

namespace zvt {

// Runs the blocks that were on the main queue when called (not those they add), on the
// calling thread, which must be the main thread. Returns how many ran. The main run loop and
// a VirtualClock advanced on the main thread call this.
size_t drainMainQueue();
// True when blocks wait on the main queue.
bool mainQueueHasBlocks();
// The number of worker threads of the pool.
size_t dispatchPoolSize();
// Queues `block` on the main queue without waking the main run loop: it runs in order with the
// queue's other blocks on the loop's next pass, whatever wakes it. For notices that nobody may
// be waiting for (a progress report while no progress block is set); a sleeping main thread
// woken for each would pay a thread switch for nothing.
void dispatchAsyncOnMainQueueWithoutWakeUp(dispatch_block_t block);
// Runs `block` at once on the calling thread as one block of the concurrent queue `queue` (the
// queue's label and specific values apply while it runs), when the queue could start it right
// away: nothing waits on it, no barrier holds it, it is not suspended. Returns false, without
// running the block, otherwise (and for serial queues and the main queue). Spares a thread
// switch for short work that would only be handed to a worker; an exception stops the process
// as it would on a worker.
bool runNowOnConcurrentQueue(const dispatch_queue_t& queue, const dispatch_block_t& block);

}  // namespace zvt
