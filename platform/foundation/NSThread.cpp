#include "platform/foundation/NSThread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/RuntimeInternal.h"

namespace zvt {

bool onMainThread() {
  static thread_local int cached = -1;
  if (cached < 0) cached = static_cast<pid_t>(syscall(SYS_gettid)) == getpid() ? 1 : 0;
  return cached == 1;
}

}  // namespace zvt

// The calling thread's NSThread; released when the thread ends.
struct ThreadRegistry {
  std::shared_ptr<NSThread> current;
  ~ThreadRegistry() {
    if (current && !current->main_) {
      std::shared_ptr<NSRunLoop> loop;
      {
        std::lock_guard<std::mutex> lock(current->mutex_);
        loop = std::move(current->runLoop_);
        current->runLoop_ = nullptr;
        current->executing_ = false;
        current->finished_ = true;
      }
    }
  }
};

namespace {
thread_local ThreadRegistry threadRegistry;
}

NSThread::~NSThread() = default;

std::shared_ptr<NSThread> NSThread::mainThread() {
  static std::shared_ptr<NSThread>* main = [] {
    auto* t = new std::shared_ptr<NSThread>(new NSThread());
    (*t)->main_ = true;
    (*t)->name_ = "main";
    (*t)->started_ = true;
    (*t)->executing_ = true;
    return t;
  }();
  return *main;
}

std::shared_ptr<NSThread> NSThread::adoptCurrent() {
  std::shared_ptr<NSThread> thread(new NSThread());
  thread->started_ = true;
  thread->executing_ = true;
  thread->bindToCallingThread();
  return thread;
}

void NSThread::bindToCallingThread() {
  std::shared_ptr<NSRunLoop> loop;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id_ = std::this_thread::get_id();
    loop = runLoop_;
  }
  if (loop) loop->thread_ = id_;
  threadRegistry.current = me();
}

std::shared_ptr<NSThread> NSThread::currentThread() {
  if (!threadRegistry.current) {
    if (zvt::onMainThread()) {
      mainThread()->bindToCallingThread();
    } else {
      return adoptCurrent();
    }
  }
  return threadRegistry.current;
}

bool NSThread::isMainThread() { return zvt::onMainThread(); }

bool NSThread::isMain() const { return main_; }

std::shared_ptr<NSThread> NSThread::initWithBlock(std::function<void()> block) {
  std::shared_ptr<NSThread> thread(new NSThread());
  thread->block_ = std::move(block);
  return thread;
}

void NSThread::detachNewThreadWithBlock(std::function<void()> block) {
  initWithBlock(std::move(block))->start();
}

void NSThread::start() {
  if (main_ || started_.exchange(true)) return;
  executing_ = true;
  auto self = me();
  std::thread([self] {
    self->bindToCallingThread();
    std::function<void()> block;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      block = std::move(self->block_);
      self->block_ = nullptr;
    }
    try {
      if (block) block();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "NSThread \"%s\": uncaught exception: %s\n", self->name().c_str(), e.what());
      std::abort();
    }
    block = nullptr;
    // The run loop goes with its thread: its timers, sources and waiting performers are
    // released (a caller waiting for a perform on this thread stops waiting).
    std::shared_ptr<NSRunLoop> loop;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      loop = std::move(self->runLoop_);
      self->runLoop_ = nullptr;
      self->executing_ = false;
      self->finished_ = true;
    }
    loop = nullptr;
  }).detach();
}

std::string NSThread::name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return name_;
}

void NSThread::setName(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = name;
}

void NSThread::sleepForTimeInterval(NSTimeInterval seconds) {
  zvt::WakeUpBatch::flush();
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(zvt::secondsToNanos(seconds)));
}

std::shared_ptr<NSRunLoop> NSThread::runLoop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!runLoop_ && !finished_) {
    runLoop_ = NSRunLoop::makeForThread(main_);
    runLoop_->thread_ = id_;
  }
  return runLoop_;
}

void performOnMainThread(std::function<void()> fn, bool wait) {
  performOnThread(NSThread::mainThread(), std::move(fn), wait);
}
