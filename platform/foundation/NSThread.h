// Threads. Every thread that asks for it has an NSThread object (threads started elsewhere get
// one on first use); each NSThread owns its thread's NSRunLoop, made on first use.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSObject.h"

class NSRunLoop;

class NSThread : public NSObject {
 public:
  ~NSThread() override;

  // The calling thread's object.
  static std::shared_ptr<NSThread> currentThread();
  // The process's first thread, which runs main() and the main run loop.
  static std::shared_ptr<NSThread> mainThread();
  // +isMainThread: is the calling thread the main thread?
  static bool isMainThread();
  // -isMainThread (renamed: C++ cannot overload a static and a member on the same arguments).
  bool isMain() const;

  // A thread that will run `block` once started.
  static std::shared_ptr<NSThread> initWithBlock(std::function<void()> block);
  // Starts a thread that runs `block` and forgets it.
  static void detachNewThreadWithBlock(std::function<void()> block);

  // Starts the thread; a second start is a programming error and is ignored.
  void start();
  void cancel() { cancelled_ = true; }
  bool isCancelled() const { return cancelled_; }
  bool isExecuting() const { return executing_; }
  bool isFinished() const { return finished_; }

  std::string name() const;
  void setName(const std::string& name);

  // Sleeps in real time; tests use the virtual clock instead.
  static void sleepForTimeInterval(NSTimeInterval seconds);

  // The thread's run loop (made on first use); the same object as NSRunLoop::currentRunLoop()
  // on that thread.
  std::shared_ptr<NSRunLoop> runLoop();

 private:
  NSThread() = default;
  static std::shared_ptr<NSThread> adoptCurrent();
  std::shared_ptr<NSThread> me() { return std::static_pointer_cast<NSThread>(shared_from_this()); }
  void bindToCallingThread();

  friend struct ThreadRegistry;

  mutable std::mutex mutex_;
  std::string name_;
  std::function<void()> block_;
  std::shared_ptr<NSRunLoop> runLoop_;
  std::thread::id id_{};
  bool main_ = false;
  std::atomic<bool> started_{false};
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};
};

// performSelector:onThread:withObject:waitUntilDone:modes: with a function in place of the
// selector and its object. The function runs on `thread`'s run loop in one of `modes` (the
// common modes when empty). With `wait`, the caller blocks until it has run; on the target
// thread itself it then runs at once. A finished thread runs nothing and nothing waits.
void performOnThread(const std::shared_ptr<NSThread>& thread, std::function<void()> fn, bool wait,
                     const std::vector<std::string>& modes = {});
// performSelectorOnMainThread:withObject:waitUntilDone:
void performOnMainThread(std::function<void()> fn, bool wait);
