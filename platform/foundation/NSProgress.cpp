#include "platform/foundation/NSProgress.h"

#include "platform/foundation/NSString.h"

std::shared_ptr<NSProgress> NSProgress::progressWithTotalUnitCount(int64_t unitCount) {
  auto progress = std::make_shared<NSProgress>();
  progress->setTotalUnitCount(unitCount);
  return progress;
}

int64_t NSProgress::totalUnitCount() const {
  std::lock_guard lock(mutex_);
  return total_;
}

void NSProgress::setTotalUnitCount(int64_t count) {
  std::lock_guard lock(mutex_);
  total_ = count;
}

int64_t NSProgress::completedUnitCount() const {
  std::lock_guard lock(mutex_);
  return completed_;
}

void NSProgress::setCompletedUnitCount(int64_t count) {
  std::lock_guard lock(mutex_);
  completed_ = count;
}

double NSProgress::fractionCompleted() const {
  std::lock_guard lock(mutex_);
  if (total_ <= 0 || completed_ < 0) return 0.0;
  return static_cast<double>(completed_) / static_cast<double>(total_);
}

bool NSProgress::isIndeterminate() const {
  std::lock_guard lock(mutex_);
  return total_ < 0 || completed_ < 0;
}

bool NSProgress::isCancellable() const {
  std::lock_guard lock(mutex_);
  return cancellable_;
}

void NSProgress::setCancellable(bool cancellable) {
  std::lock_guard lock(mutex_);
  cancellable_ = cancellable;
}

bool NSProgress::isPausable() const {
  std::lock_guard lock(mutex_);
  return pausable_;
}

void NSProgress::setPausable(bool pausable) {
  std::lock_guard lock(mutex_);
  pausable_ = pausable;
}

bool NSProgress::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool NSProgress::isPaused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

void NSProgress::setCancellationHandler(std::function<void()> handler) {
  std::function<void()> now;
  {
    std::lock_guard lock(mutex_);
    cancellationHandler_ = handler;
    if (cancelled_) now = std::move(handler);
  }
  if (now) now();
}

void NSProgress::setPausingHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  pausingHandler_ = std::move(handler);
}

void NSProgress::setResumingHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  resumingHandler_ = std::move(handler);
}

void NSProgress::cancel() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    paused_ = false;
    handler = cancellationHandler_;
  }
  // Called outside the lock: the handler may read the progress back.
  if (handler) handler();
}

void NSProgress::pause() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    if (paused_ || cancelled_) return;
    paused_ = true;
    handler = pausingHandler_;
  }
  if (handler) handler();
}

void NSProgress::resume() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    if (!paused_) return;
    paused_ = false;
    handler = resumingHandler_;
  }
  if (handler) handler();
}

std::shared_ptr<NSString> NSProgress::description() const {
  std::lock_guard lock(mutex_);
  return NSString::stringWithFormat("<NSProgress: %p> : Fraction completed: %.4f / Completed: %lld of %lld", static_cast<const void*>(this),
                                    total_ > 0 && completed_ >= 0 ? static_cast<double>(completed_) / static_cast<double>(total_) : 0.0,
                                    static_cast<long long>(completed_), static_cast<long long>(total_));
}
